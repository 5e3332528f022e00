// SPDX-License-Identifier: GPL-3.0-or-later
// The result log: a file of 16-byte little-endian records without header,
// written by both sides while storing is on, and read back for view mode;
// and the view of one side drawn from it (averaged points and the totals the
// Centre panel reads in view mode). A view streams the file (two passes, a
// chunk at a time), so every log that was written can be viewed whatever its
// length; memory holds only the points (about 4000 per side).
//
// User-interface thread (or the CLI's one thread) only.
//
// Record: 0 side letter 'L'/'R' | 1 reserved (0) | 2 u16 lost as plotted |
//         4 u32 report time ms | 8 u32 input Kbps | 12 u32 output Kbps
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "uReportModel.h"
#include "uSummary.h"

inline constexpr std::size_t kLogRecordSize = 16;
inline constexpr char kSideLocal = 'L';
inline constexpr char kSideRemote = 'R';
// A view draws not much more than this many points per graph.
inline constexpr std::uint32_t kViewPoints = 4000;

struct TLogRecord {
    char Side = kSideLocal;
    std::uint16_t Lost = 0;
    std::uint32_t ReportTime = 0; // ms
    std::uint32_t Input = 0;      // Kbps
    std::uint32_t Output = 0;     // Kbps

    friend bool operator==(const TLogRecord&, const TLogRecord&) = default;
};

TLogRecord MakeLogRecord(char side, const TSample& sample);
void EncodeLogRecord(const TLogRecord& record, std::uint8_t* out); // 16 bytes
TLogRecord DecodeLogRecord(const std::uint8_t* in);                // 16 bytes

enum tLogStatus : int {
    lsOk = 0,
    lsOpenFailed,     // cannot open or create the file
    lsNotAFile,       // a directory or other non-regular file
    lsTooShort,       // 16 bytes or less: nothing to show
    lsTruncated,      // ends in a partial record; the whole records were loaded
    lsReadFailed,     // reading stopped early
    lsWriteFailed,    // a record could not be written; the log was closed
    lsKeepFailed,     // the previous log could not be renamed; nothing was created
    lsEndedByRestart, // not an error: the statistics restarted, storing ended
};

struct TLogResult {
    tLogStatus Status = lsOk;
    std::string Message; // what went wrong, naming the file; empty when lsOk
    std::string KeptAs;  // OpenLog: the name the previous log was renamed to
    bool Ok() const { return Status == lsOk; }
};

struct TLogReadResult : TLogResult {
    std::vector<TLogRecord> Records;
    std::uint64_t TrailingBytes = 0; // bytes of a partial last record
    // The records can be shown: whole, or whole but for a partial tail.
    bool Loaded() const { return Status == lsOk || Status == lsTruncated; }
};

// Reads the whole file into memory (for small logs and checks; a view
// streams with ViewResultLog). Never throws for a bad file: the status says why.
TLogReadResult ReadResultLog(const std::string& path);

// "<folder>/<name>-yyyyMMdd-HHmmss.log" for the log "<folder>/<name>.log",
// in local time: where a new store puts a previous log that is not empty.
std::string KeptLogName(const std::string& path, std::time_t when);

// One side's view of a loaded log. The first record of the side is passed
// over; the points run from its second record to its last.
struct TLogView {
    bool HasData = false;    // at least two records of the side to show
    std::uint32_t Count = 0; // records of the side from first to last
    std::uint32_t Step = 1;  // records averaged into one point
    std::uint32_t Span = 0;  // ms from first to last: the elapsed time in view mode
    float MaxOutput = 0.0F;  // largest values among those records
    float MaxInput = 0.0F;
    float MaxLost = 0.0F;
    std::vector<TSample> Points; // X in ms from the first record (the axis shows minutes)
    TStatBlock Stats;            // totals over the span, read like the live block
};

// The program-wide log state shared by both sides: the output stream while
// storing, the restart mark, and the records loaded for view mode. Storing
// and viewing exclude each other.
class TResultLog final {
public:
    TResultLog() = default;
    ~TResultLog();
    TResultLog(const TResultLog&) = delete;
    TResultLog& operator=(const TResultLog&) = delete;

    // Ends storing and viewing, then creates the file anew. A previous log
    // that is not empty is first renamed to KeptLogName(path, now) (with
    // "-2", "-3", ... when that name is taken); if that fails, nothing is
    // created and the previous log stays as it was.
    TLogResult OpenLog(const std::string& path, std::time_t now = std::time(nullptr));
    // Lowers the restart mark and closes the output stream.
    void CloseLog();
    bool Storing() const { return m_out != nullptr; }
    std::uint32_t RecordsWritten() const { return m_recordsWritten; }

    // Raised when the statistics restart; the next sample of either side
    // then ends storing and viewing.
    void RaiseRestartMark() { m_restartMark = true; }
    bool RestartMark() const { return m_restartMark; }

    // Every sample a side adds: honours the restart mark, then writes the
    // record while storing. A failed write closes the log and says why; a
    // restart mark that ends storing answers lsEndedByRestart, so the user
    // can be told why storing stopped.
    TLogResult WriteSample(const TLogRecord& record);

    // Ends storing and viewing, then builds the view of both sides from the
    // file. View mode is on afterwards exactly when the answer is lsOk or
    // lsTruncated (the whole records are shown).
    TLogResult LoadView(const std::string& path);
    void CloseView();
    bool Viewing() const { return m_viewing; }
    std::uint64_t ViewRecordCount() const { return m_viewRecordCount; }
    // The view of side kSideLocal or kSideRemote; empty while not viewing.
    const TLogView& View(char side) const;

private:
    std::FILE* m_out = nullptr;
    std::string m_path;
    std::uint32_t m_recordsWritten = 0;
    bool m_restartMark = false;
    bool m_viewing = false;
    std::uint64_t m_viewRecordCount = 0;
    TLogView m_viewLocal;
    TLogView m_viewRemote;
};

TLogView BuildLogView(std::span<const TLogRecord> records, char side);

struct TLogViewResult : TLogResult {
    std::uint64_t Records = 0;       // whole records in the file
    std::uint64_t TrailingBytes = 0; // bytes of a partial last record
    TLogView Local;
    TLogView Remote;
    bool Loaded() const { return Status == lsOk || Status == lsTruncated; }
};

// Both sides' views of the file in two streaming passes; the same views as
// BuildLogView of the whole file read into memory.
TLogViewResult ViewResultLog(const std::string& path);

// The Centre panel's figures in view mode. Each side's averages are over its
// own span (its records may start and end elsewhere than the other side's);
// the elapsed time is the Local side's span, or the Remote side's when the
// Local side has no data. Nothing when neither side has data.
std::optional<TSummary> ViewSummary(const TLogView& local, const TLogView& remote);

// The width of a view's time axis in minutes: the span, at least one second,
// so that a log shorter than a minute (or of equal report times) still gets
// an axis with a width. Points lie at X / 60000.0 minutes.
double ViewAxisMinutes(const TLogView& view);
