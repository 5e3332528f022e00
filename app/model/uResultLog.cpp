// SPDX-License-Identifier: GPL-3.0-or-later
#include "uResultLog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

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

TLogReadResult ReadResultLog(const std::string& path) {
    TLogReadResult result;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        result.Status = lsOpenFailed;
        result.Message = "cannot open " + Quoted(path) + ": " + SystemError(errno);
        return result;
    }
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(file);
        result.Status = lsNotAFile;
        result.Message = Quoted(path) + " is not a regular file";
        return result;
    }
    bool tooLarge = static_cast<std::uint64_t>(info.st_size) > kMaxLogBytes;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(tooLarge ? 0 : static_cast<std::size_t>(info.st_size));
    std::uint8_t chunk[65536];
    while (!tooLarge) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (bytes.size() > kMaxLogBytes) {
            tooLarge = true;
            break;
        }
        if (n < sizeof chunk)
            break;
    }
    const bool readError = std::ferror(file) != 0;
    const int readErrno = errno;
    std::fclose(file);
    if (tooLarge) {
        result.Status = lsTooLarge;
        result.Message =
            Quoted(path) + " is larger than " + std::to_string(kMaxLogBytes) + " bytes; not loaded";
        return result;
    }
    if (readError) {
        result.Status = lsReadFailed;
        result.Message = "cannot read " + Quoted(path) + ": " + SystemError(readErrno);
        return result;
    }
    if (bytes.size() <= kLogRecordSize) {
        result.Status = lsTooShort;
        result.Message = Quoted(path) + " holds " + std::to_string(bytes.size()) +
                         " bytes; a log to show needs more than one 16-byte record";
        return result;
    }
    const std::size_t count = bytes.size() / kLogRecordSize;
    result.Records.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        result.Records.push_back(DecodeLogRecord(bytes.data() + i * kLogRecordSize));
    result.TrailingBytes = bytes.size() % kLogRecordSize;
    if (result.TrailingBytes != 0) {
        result.Status = lsTruncated;
        result.Message = Quoted(path) + " is truncated: it ends in a partial record of " +
                         std::to_string(result.TrailingBytes) + " bytes after " +
                         std::to_string(count) + " whole records";
    }
    return result;
}

TResultLog::~TResultLog() {
    CloseLog();
}

TLogResult TResultLog::OpenLog(const std::string& path) {
    CloseLog();
    CloseView();
    TLogResult result;
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
        CloseLog();
        CloseView();
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
    TLogReadResult read = ReadResultLog(path);
    if (read.Loaded())
        m_viewRecords = std::move(read.Records);
    return {read.Status, std::move(read.Message)};
}

void TResultLog::CloseView() {
    m_viewRecords.clear();
    m_viewRecords.shrink_to_fit();
}

TLogView BuildLogView(std::span<const TLogRecord> records, char side) {
    TLogView view;
    const std::size_t npos = records.size();
    std::size_t first = npos;
    int seen = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].Side == side && ++seen == 2) {
            first = i;
            break;
        }
    }
    std::size_t last = npos;
    for (std::size_t i = records.size(); i-- > 1;) {
        if (records[i].Side == side) {
            last = i;
            break;
        }
    }
    if (first == npos || last == npos || last < first)
        return view;

    std::uint32_t count = 0;
    std::uint64_t span = 0;
    TTimeLine scan(records[first].ReportTime);
    for (std::size_t i = first; i <= last; ++i) {
        const TLogRecord& r = records[i];
        if (r.Side != side)
            continue;
        ++count;
        span = scan.At(r.ReportTime);
        view.MaxInput = std::max(view.MaxInput, static_cast<float>(r.Input));
        view.MaxOutput = std::max(view.MaxOutput, static_cast<float>(r.Output));
        view.MaxLost = std::max(view.MaxLost, static_cast<float>(r.Lost));
    }
    view.Count = count;
    if (count < 2)
        return view;
    view.HasData = true;
    view.Span = ClampToU32(span);
    view.Step = count / kViewPoints + 1;
    view.Points.reserve(count / view.Step);

    std::uint64_t inputSum = 0;
    std::uint64_t outputSum = 0;
    std::uint64_t lostSum = 0;
    std::uint64_t inputTotal = 0;
    std::uint64_t outputTotal = 0;
    std::uint64_t lostTotal = 0;
    std::uint32_t n = 0;
    TTimeLine walk(records[first].ReportTime);
    for (std::size_t i = first; i <= last; ++i) {
        const TLogRecord& r = records[i];
        if (r.Side != side)
            continue;
        const std::uint64_t x = walk.At(r.ReportTime);
        inputSum += r.Input;
        outputSum += r.Output;
        lostSum += r.Lost;
        inputTotal += r.Input;
        outputTotal += r.Output;
        lostTotal += r.Lost;
        if (++n % view.Step == 0) {
            view.Points.push_back({ClampToU32(x), static_cast<std::uint32_t>(outputSum / view.Step),
                                   static_cast<std::uint32_t>(inputSum / view.Step),
                                   static_cast<std::uint32_t>(lostSum / view.Step), r.ReportTime});
            inputSum = 0;
            outputSum = 0;
            lostSum = 0;
        }
    }
    // Mean rate (Kbps) x span (ms) / 8 is bytes. The mean takes every record
    // walked, the ones of a last unfinished group included.
    const double bytesPerKbps = static_cast<double>(view.Span / 8);
    view.Stats.BytesSent = bytesPerKbps * static_cast<double>(outputTotal) / n;
    view.Stats.BytesReceived = bytesPerKbps * static_cast<double>(inputTotal) / n;
    // The log holds lost packets per report interval: their sum is the count
    // of lost packets over the records shown, like the live total.
    view.Stats.Lost = static_cast<std::int64_t>(lostTotal);
    return view;
}
