// SPDX-License-Identifier: GPL-3.0-or-later
#include "uResultLog.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <system_error>

#include <sys/stat.h>

#include "cNetWire.h"

namespace {

std::string Quoted(const std::string& path) {
    return "result log '" + path + "'";
}

std::string SystemError(int error) {
    return std::strerror(error);
}

// Report times restart at 0 when a side takes a new baseline while storing
// goes on (the engine's statistics were reset by the peer). The new baseline
// lies about where the previous record stood, so the times after it continue
// from there: the time line of a view keeps increasing, and neither the span
// nor an x value can go negative.
class TTimeLine final {
public:
    explicit TTimeLine(std::uint32_t start) : m_previous(start), m_start(start) {}
    std::uint64_t At(std::uint32_t reportTime) {
        if (reportTime < m_previous)
            m_offset += m_previous;
        m_previous = reportTime;
        return static_cast<std::uint64_t>(reportTime) + m_offset - m_start;
    }

private:
    std::uint32_t m_previous = 0;
    std::uint32_t m_start = 0;
    std::uint64_t m_offset = 0;
};

std::uint32_t ClampToU32(std::uint64_t value) {
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace

TLogRecord MakeLogRecord(char side, const TSample& sample) {
    // The record's field is 16 bits: a larger count is written as its top.
    const auto lost = static_cast<std::uint16_t>(std::min<std::uint32_t>(sample.Lost, 0xFFFFU));
    return {side, lost, sample.ReportTime, sample.Input, sample.Output};
}

void EncodeLogRecord(const TLogRecord& record, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(record.Side);
    out[1] = 0;
    PutU16(out + 2, record.Lost);
    PutU32(out + 4, record.ReportTime);
    PutU32(out + 8, record.Input);
    PutU32(out + 12, record.Output);
}

TLogRecord DecodeLogRecord(const std::uint8_t* in) {
    return {static_cast<char>(in[0]), GetU16(in + 2), GetU32(in + 4), GetU32(in + 8),
            GetU32(in + 12)};
}

namespace {

// Opens a log for reading and checks it is a regular file; answers the size.
std::FILE* OpenForReading(const std::string& path, TLogResult& result, std::uint64_t& size) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        result.Status = lsOpenFailed;
        result.Message = "cannot open " + Quoted(path) + ": " + SystemError(errno);
        return nullptr;
    }
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        result.Status = lsNotAFile;
        result.Message = Quoted(path) + " is not a regular file";
        return nullptr;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return file;
}

// Hands every whole record of the file to `each`, a chunk at a time, from the
// start. Answers the bytes read; `error` is errno of a failed read, else 0.
std::uint64_t ForEachRecord(std::FILE* file,
                            const std::function<void(std::uint64_t, const TLogRecord&)>& each,
                            int& error) {
    constexpr std::size_t kChunkRecords = 4096;
    std::array<std::uint8_t, kChunkRecords * kLogRecordSize> chunk{};
    std::rewind(file);
    error = 0;
    std::uint64_t bytes = 0;
    std::uint64_t index = 0;
    std::size_t carried = 0; // bytes of a record split between two reads
    for (;;) {
        const std::size_t n = std::fread(chunk.data() + carried, 1, chunk.size() - carried, file);
        const std::size_t have = carried + n;
        bytes += n;
        const std::size_t whole = have / kLogRecordSize;
        for (std::size_t i = 0; i < whole; ++i)
            each(index++, DecodeLogRecord(chunk.data() + i * kLogRecordSize));
        carried = have % kLogRecordSize;
        std::memmove(chunk.data(), chunk.data() + whole * kLogRecordSize, carried);
        if (n == 0 || std::feof(file) || std::ferror(file))
            break;
    }
    if (std::ferror(file))
        error = errno != 0 ? errno : EIO;
    return bytes;
}

std::string TooShortMessage(const std::string& path, std::uint64_t bytes) {
    return Quoted(path) + " holds " + std::to_string(bytes) +
           " bytes; a log to show needs more than one 16-byte record";
}

std::string TruncatedMessage(const std::string& path, std::uint64_t trailing,
                             std::uint64_t records) {
    return Quoted(path) + " is truncated: it ends in a partial record of " +
           std::to_string(trailing) + " bytes after " + std::to_string(records) + " whole records";
}

} // namespace

TLogReadResult ReadResultLog(const std::string& path) {
    TLogReadResult result;
    std::uint64_t size = 0;
    std::FILE* file = OpenForReading(path, result, size);
    if (file == nullptr)
        return result;
    result.Records.reserve(static_cast<std::size_t>(size / kLogRecordSize));
    int error = 0;
    const std::uint64_t bytes = ForEachRecord(
        file, [&](std::uint64_t, const TLogRecord& r) { result.Records.push_back(r); }, error);
    std::fclose(file);
    if (error != 0) {
        result.Records.clear();
        result.Status = lsReadFailed;
        result.Message = "cannot read " + Quoted(path) + ": " + SystemError(error);
        return result;
    }
    if (bytes <= kLogRecordSize) {
        result.Records.clear();
        result.Status = lsTooShort;
        result.Message = TooShortMessage(path, bytes);
        return result;
    }
    result.TrailingBytes = bytes % kLogRecordSize;
    if (result.TrailingBytes != 0) {
        result.Status = lsTruncated;
        result.Message = TruncatedMessage(path, result.TrailingBytes, result.Records.size());
    }
    return result;
}

std::string KeptLogName(const std::string& path, std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "-%Y%m%d-%H%M%S", &local);
    const std::filesystem::path p(path);
    const std::string extension = p.has_extension() ? p.extension().string() : std::string{".log"};
    return (p.parent_path() / (p.stem().string() + stamp + extension)).string();
}

TResultLog::~TResultLog() {
    CloseLog();
}

TLogResult TResultLog::OpenLog(const std::string& path, std::time_t now) {
    CloseLog();
    CloseView();
    TLogResult result;
    // A new store never destroys a previous log: it moves aside under a name
    // with the time, and only then is the file created anew.
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_regular_file(path, ec) && fs::file_size(path, ec) > 0 && !ec) {
        const fs::path kept = KeptLogName(path, now);
        fs::path target = kept;
        for (int n = 2; fs::exists(target, ec) && n < 1000; ++n)
            target = kept.parent_path() /
                     (kept.stem().string() + "-" + std::to_string(n) + kept.extension().string());
        fs::rename(path, target, ec);
        if (ec || !fs::exists(target, ec)) {
            result.Status = lsKeepFailed;
            result.Message = "cannot keep the previous " + Quoted(path) + " as '" +
                             target.string() +
                             "': " + (ec ? ec.message() : std::string{"it was not moved"}) +
                             "; storing not started";
            return result;
        }
        result.KeptAs = target.string();
    }
    m_out = std::fopen(path.c_str(), "wb");
    if (m_out == nullptr) {
        result.Status = lsOpenFailed;
        result.Message = "cannot create " + Quoted(path) + ": " + SystemError(errno);
        return result;
    }
    m_path = path;
    m_recordsWritten = 0;
    return result;
}

void TResultLog::CloseLog() {
    m_restartMark = false;
    if (m_out != nullptr) {
        std::fclose(m_out);
        m_out = nullptr;
    }
}

TLogResult TResultLog::WriteSample(const TLogRecord& record) {
    TLogResult result;
    if (m_restartMark) {
        const bool wasStoring = Storing();
        CloseLog();
        CloseView();
        if (wasStoring) {
            result.Status = lsEndedByRestart;
            result.Message = "storing to " + Quoted(m_path) +
                             " ended: the statistics restarted after " +
                             std::to_string(m_recordsWritten) + " records";
        }
        return result;
    }
    if (m_out == nullptr)
        return result;
    std::uint8_t bytes[kLogRecordSize];
    EncodeLogRecord(record, bytes);
    // Flushed record by record: a full disk shows at once, and a log cut short
    // by a crash still holds every record written before it.
    if (std::fwrite(bytes, 1, sizeof bytes, m_out) != sizeof bytes || std::fflush(m_out) != 0) {
        const int error = errno;
        CloseLog();
        result.Status = lsWriteFailed;
        result.Message =
            "cannot write " + Quoted(m_path) + ": " + SystemError(error) + "; storing stopped";
        return result;
    }
    ++m_recordsWritten;
    return result;
}

TLogResult TResultLog::LoadView(const std::string& path) {
    CloseLog();
    CloseView();
    TLogViewResult read = ViewResultLog(path);
    if (read.Loaded()) {
        m_viewing = true;
        m_viewRecordCount = read.Records;
        m_viewLocal = std::move(read.Local);
        m_viewRemote = std::move(read.Remote);
    }
    TLogResult result;
    result.Status = read.Status;
    result.Message = std::move(read.Message);
    return result;
}

void TResultLog::CloseView() {
    m_viewing = false;
    m_viewRecordCount = 0;
    m_viewLocal = TLogView{};
    m_viewRemote = TLogView{};
}

const TLogView& TResultLog::View(char side) const {
    return side == kSideRemote ? m_viewRemote : m_viewLocal;
}

namespace {

// One side's view built from the records in file order, in two passes: the
// scan finds the records shown (the side's second record to its last), their
// count, maxima and span; the walk, knowing the group size, makes the points
// and the totals.
class TLogViewBuilder final {
public:
    explicit TLogViewBuilder(char side) : m_side(side) {}

    void Scan(std::uint64_t index, const TLogRecord& r) {
        if (r.Side != m_side)
            return;
        if (!m_first) {
            // The side's first record is passed over.
            if (++m_seen < 2)
                return;
            m_first = index;
            m_scan.emplace(r.ReportTime);
        }
        ++m_view.Count;
        m_span = m_scan->At(r.ReportTime);
        m_view.MaxInput = std::max(m_view.MaxInput, static_cast<float>(r.Input));
        m_view.MaxOutput = std::max(m_view.MaxOutput, static_cast<float>(r.Output));
        m_view.MaxLost = std::max(m_view.MaxLost, static_cast<float>(r.Lost));
    }

    // Between the passes: answers whether there is anything to walk.
    bool StartWalk() {
        if (m_view.Count < 2)
            return false;
        m_view.HasData = true;
        m_view.Span = ClampToU32(m_span);
        m_view.Step = m_view.Count / kViewPoints + 1;
        m_view.Points.reserve(m_view.Count / m_view.Step);
        return true;
    }

    void Walk(std::uint64_t index, const TLogRecord& r) {
        if (r.Side != m_side || index < *m_first)
            return;
        if (!m_walk)
            m_walk.emplace(r.ReportTime);
        const std::uint64_t x = m_walk->At(r.ReportTime);
        m_inputSum += r.Input;
        m_outputSum += r.Output;
        m_lostSum += r.Lost;
        m_inputTotal += r.Input;
        m_outputTotal += r.Output;
        m_lostTotal += r.Lost;
        if (++m_n % m_view.Step == 0) {
            m_view.Points.push_back(
                {ClampToU32(x), static_cast<std::uint32_t>(m_outputSum / m_view.Step),
                 static_cast<std::uint32_t>(m_inputSum / m_view.Step),
                 static_cast<std::uint16_t>(m_lostSum / m_view.Step), r.ReportTime});
            m_inputSum = 0;
            m_outputSum = 0;
            m_lostSum = 0;
        }
    }

    TLogView Finish() {
        if (!m_view.HasData || m_n == 0)
            return std::move(m_view);
        // Mean rate (Kbps) x span (ms) / 8 is bytes. The mean takes every
        // record walked, the ones of a last unfinished group included.
        const double bytesPerKbps = static_cast<double>(m_view.Span / 8);
        m_view.Stats.BytesSent = bytesPerKbps * static_cast<double>(m_outputTotal) / m_n;
        m_view.Stats.BytesReceived = bytesPerKbps * static_cast<double>(m_inputTotal) / m_n;
        // The log holds lost packets per report interval. The span covers
        // the intervals of all records walked but the first (whose interval
        // ends where the span starts), so the count over the span is the
        // mean per record times n - 1: lost per second then comes out as the
        // live figure for a steady loss. A loss never rounds away to 0.
        if (m_lostTotal != 0) {
            const double overSpan =
                std::round(static_cast<double>(m_lostTotal) * static_cast<double>(m_n - 1) / m_n);
            m_view.Stats.Lost = static_cast<std::int32_t>(std::clamp(
                overSpan, 1.0, static_cast<double>(std::numeric_limits<std::int32_t>::max())));
        }
        return std::move(m_view);
    }

private:
    char m_side;
    TLogView m_view;
    int m_seen = 0;
    std::optional<std::uint64_t> m_first;
    std::optional<TTimeLine> m_scan;
    std::uint64_t m_span = 0;
    std::optional<TTimeLine> m_walk;
    std::uint64_t m_inputSum = 0;
    std::uint64_t m_outputSum = 0;
    std::uint64_t m_lostSum = 0;
    std::uint64_t m_inputTotal = 0;
    std::uint64_t m_outputTotal = 0;
    std::uint64_t m_lostTotal = 0;
    std::uint64_t m_n = 0;
};

} // namespace

TLogView BuildLogView(std::span<const TLogRecord> records, char side) {
    TLogViewBuilder builder(side);
    for (std::size_t i = 0; i < records.size(); ++i)
        builder.Scan(i, records[i]);
    if (builder.StartWalk()) {
        for (std::size_t i = 0; i < records.size(); ++i)
            builder.Walk(i, records[i]);
    }
    return builder.Finish();
}

TLogViewResult ViewResultLog(const std::string& path) {
    TLogViewResult result;
    std::uint64_t size = 0;
    std::FILE* file = OpenForReading(path, result, size);
    if (file == nullptr)
        return result;
    TLogViewBuilder local(kSideLocal);
    TLogViewBuilder remote(kSideRemote);
    int error = 0;
    const std::uint64_t bytes = ForEachRecord(
        file,
        [&](std::uint64_t i, const TLogRecord& r) {
            local.Scan(i, r);
            remote.Scan(i, r);
        },
        error);
    if (error == 0 && bytes > kLogRecordSize) {
        const bool walkLocal = local.StartWalk();
        const bool walkRemote = remote.StartWalk();
        if (walkLocal || walkRemote) {
            // The second pass reads the records the first one counted, even
            // if the file grew in between.
            const std::uint64_t whole = bytes / kLogRecordSize;
            ForEachRecord(
                file,
                [&](std::uint64_t i, const TLogRecord& r) {
                    if (i >= whole)
                        return;
                    if (walkLocal)
                        local.Walk(i, r);
                    if (walkRemote)
                        remote.Walk(i, r);
                },
                error);
        }
    }
    std::fclose(file);
    if (error != 0) {
        result.Status = lsReadFailed;
        result.Message = "cannot read " + Quoted(path) + ": " + SystemError(error);
        return result;
    }
    if (bytes <= kLogRecordSize) {
        result.Status = lsTooShort;
        result.Message = TooShortMessage(path, bytes);
        return result;
    }
    result.Records = bytes / kLogRecordSize;
    result.TrailingBytes = bytes % kLogRecordSize;
    if (result.TrailingBytes != 0) {
        result.Status = lsTruncated;
        result.Message = TruncatedMessage(path, result.TrailingBytes, result.Records);
    }
    result.Local = local.Finish();
    result.Remote = remote.Finish();
    return result;
}

namespace {

// A side's totals as they would stand over `elapsedMs` at the side's own mean
// rates: UpdateSummary divides both sides' totals by one elapsed time.
TStatBlock StatsOver(const TLogView& view, std::uint32_t elapsedMs) {
    TStatBlock block = view.Stats;
    if (!view.HasData || view.Span == 0 || view.Span == elapsedMs)
        return block;
    const double scale = static_cast<double>(elapsedMs) / view.Span;
    block.BytesSent = view.Stats.BytesSent * scale;
    block.BytesReceived = view.Stats.BytesReceived * scale;
    if (view.Stats.Lost != 0) {
        // Lost packets per second stay those of the side's own span; a
        // count that was not 0 stays not 0 (it decides the quality text).
        const double lost = std::round(static_cast<double>(view.Stats.Lost) * scale);
        block.Lost = static_cast<std::int64_t>(std::max(lost, 1.0));
    }
    return block;
}

} // namespace

std::optional<TSummary> ViewSummary(const TLogView& local, const TLogView& remote) {
    const std::uint32_t elapsed = local.HasData ? local.Span : remote.HasData ? remote.Span : 0;
    if (elapsed == 0)
        return std::nullopt;
    return UpdateSummary(StatsOver(local, elapsed), StatsOver(remote, elapsed), elapsed);
}

double ViewAxisMinutes(const TLogView& view) {
    constexpr std::uint32_t kShortestAxisMs = 1000;
    return std::max(view.Span, kShortestAxisMs) / 60000.0;
}
