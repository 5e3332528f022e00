// SPDX-License-Identifier: GPL-3.0-or-later
// The delay figures of a result log, in a file of their own beside it: the
// log "<folder>/<name>.log" has "<folder>/<name>.delay". The result log
// keeps its 16-byte records exactly as before, so a reader of that format
// never meets a record it does not know, and a log written before the delay
// extension simply has no such file (view mode then draws no delay).
//
// The file is text, one line per view tick and side that brought figures:
//   side,report_time_ms,delay_p50_us,delay_p99_us,delay_max_us,jitter_us,rtt_p50_us,rtt_p99_us
// side 'L' is the traffic peer -> this host (with the round trips this host
// measured), 'R' the traffic this host -> peer as the peer measured it;
// report_time_ms is the ReportTime of that side's last sample of the tick
// (the time base of its log records). An empty field is a figure not
// measured. Lines beginning with '#' and lines that do not parse are
// skipped.
//
// User-interface thread (or the CLI's one thread) only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "uDelayModel.h"
#include "uResultLog.h"

struct TDelayLogLine {
    char Side = kSideLocal;
    std::uint32_t ReportTime = 0; // ms
    std::optional<double> DelayP50Us;
    std::optional<double> DelayP99Us;
    std::optional<double> DelayMaxUs;
    std::optional<double> JitterUs;
    std::optional<double> RttP50Us;
    std::optional<double> RttP99Us;
    friend bool operator==(const TDelayLogLine&, const TDelayLogLine&) = default;
};

// The line of one side's figures of a tick; nothing when they hold nothing.
std::optional<TDelayLogLine> MakeDelayLogLine(char side, std::uint32_t reportTime,
                                              const TDelayFigures& figures);
std::string FormatDelayLogLine(const TDelayLogLine& line); // without the newline
std::optional<TDelayLogLine> ParseDelayLogLine(std::string_view text);

// "<folder>/<name>.delay" for the log "<folder>/<name>.log".
std::string DelayLogPath(const std::string& logPath);

class TDelayLog final {
public:
    TDelayLog() = default;
    ~TDelayLog();
    TDelayLog(const TDelayLog&) = delete;
    TDelayLog& operator=(const TDelayLog&) = delete;

    // Right after the result log was opened: a previous file goes along
    // with the previous log (beside keptAs, when the log was kept) or away
    // (it described a log that is gone), then the file is created anew.
    TLogResult Open(const std::string& logPath, const std::string& keptAs);
    void Close();
    bool Storing() const { return m_out != nullptr; }
    // A failed write closes the file and says why.
    TLogResult Write(const TDelayLogLine& line);

private:
    std::FILE* m_out = nullptr;
    std::string m_path;
};

// Every line of the log's delay file; none when it has none.
std::vector<TDelayLogLine> ReadDelayLog(const std::string& logPath);

// One side's lines on a view's time axis: minutes from the view's first
// point, placed by their report time as the view placed its records; at
// most about kViewPoints of them (evenly taken).
struct TDelayViewPoint {
    double Minutes = 0.0;
    TDelayLogLine Line;
};
std::vector<TDelayViewPoint> DelayViewPoints(std::span<const TDelayLogLine> lines, char side,
                                             const TLogView& view);

// One side's figures over a stored log, as the Centre panel shows them:
// the median of the lines' values (each line one tick), the largest
// maximum; unknown where no line has the figure.
TDelayFigures StoredDelayFigures(std::span<const TDelayLogLine> lines, char side);
