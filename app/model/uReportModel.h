// SPDX-License-Identifier: GPL-3.0-or-later
// One side's report processing. The engine hands out cumulative reports; this
// turns the differences between them into rate samples for the three graphs
// (output, input, lost packets), records for the result log and the running
// totals that the Centre panel averages. Nothing here draws: the graph window
// is kept as plain points that a view copies over in one batch.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "cNetWire.h"
#include "uConfig.h"

inline constexpr std::uint32_t kFirstPeriod = 200;   // ms: baseline search after a first take
inline constexpr std::uint32_t kGapTime = 5000;      // ms: an interval this long is drawn as a gap
inline constexpr std::uint32_t kTitleTimeout = 3000; // ms without reports before titles lose rates
inline constexpr std::int32_t kReportBatch = 20;     // reports to ask GetReports for per tick
inline constexpr std::int32_t kSkipReports = 2;      // reports after a restart that reset the clock
// A lost difference above this is a counter that went back, drawn as kLostBackwardMark.
inline constexpr std::uint32_t kLostBackward = 32000;
inline constexpr std::uint16_t kLostBackwardMark = 10;

// The clocks as the processing sees them at one moment.
struct TClockNow {
    std::uint32_t Tick = 0; // monotonic ms, wrapping at 32 bits (timeGetTime)
    double Time = 0.0;      // wall-clock seconds since 1970: time of day with its date
};
TClockNow ClockNow();

// Running totals since the last statistics restart (or, in view mode, over the
// log shown).
struct TStatBlock {
    std::uint32_t StartTick = 0;
    double StartTime = 0.0; // seconds, as TClockNow::Time
    float BytesSent = 0.0F;
    float BytesReceived = 0.0F;
    std::int32_t Lost = 0; // lost packets
    std::int32_t ReportsToSkip = 0;

    friend bool operator==(const TStatBlock&, const TStatBlock&) = default;
};

// One graph point: the three series share their x values.
struct TSample {
    std::uint32_t X = 0;          // ms from the left edge of the time window
    std::uint32_t Output = 0;     // Kbps
    std::uint32_t Input = 0;      // Kbps
    std::uint16_t Lost = 0;       // lost packets in the interval, as plotted
    std::uint32_t ReportTime = 0; // ms of report intervals since the baseline (log field)

    friend bool operator==(const TSample&, const TSample&) = default;
};

struct TElapsed {
    std::uint32_t Hours = 0; // modulo 24
    std::uint32_t Minutes = 0;
    std::uint32_t Seconds = 0;
    std::uint32_t Milliseconds = 0;
};
TElapsed SplitElapsed(std::uint64_t ms);
// "H:MM:SS", hours modulo 24.
std::string FormatElapsed(const TElapsed& elapsed);

// Left-axis scale of one graph: top of the axis and the text of its maximum
// label. Speeds in Kbps print with SpeedToStr; counts (lost packets) as
// decimals. A maximum not above 0 gives 0 .. 1 and an empty label.
struct TAxisScale {
    double Top = 1.0;
    std::string Label;
};
TAxisScale AxisScale(double maximum, bool isCount);

// Rates and byte counts fit the texts: Kbps -> bytes per second, clamped to
// what SpeedResToStr takes.
std::int32_t KbpsToBytesPerSecond(std::uint64_t kbps);

// Usage, once per Timer tick of one side:
//   bool first = engine->GetReports(ring, buf, count = kReportBatch, side);
//   for (const TSample& s : proc.ProcessReports(first, {buf, count}, ClockNow()))
//       log.WriteSample(MakeLogRecord(proc.SideLetter(), s));
// Call RestartStatistics once before the first batch, as the panel does when it
// is created, and again whenever the statistics restart.
class TReportProcessor final {
public:
    explicit TReportProcessor(char sideLetter, const TCfgOpt& options = {});

    // ViewTime and GraphTime; values below 1 count as 1 (a zero ViewTime would
    // make a zero-length interval, a zero or negative GraphTime a window that
    // cannot hold a point).
    void ApplyOptions(const TCfgOpt& options);
    std::uint32_t ViewTime() const { return m_viewTime; }
    std::uint32_t GraphWidth() const { return m_graphWidth; } // ms

    char SideLetter() const { return m_sideLetter; }

    // Sets or clears bit 1 of the indicator state.
    void UpdateSendingFlag(bool sending);

    // One batch exactly as GetReports handed it out: `first` is its answer
    // (the first record is then a baseline only). Answers the samples added,
    // in order; their X is the position each had when it was added.
    std::vector<TSample> ProcessReports(bool first, std::span<const TbNReport> reports,
                                        const TClockNow& now);

    // No engine: both titles go back to their base text.
    void ResetTitles();
    void ClearGraphs();
    void RestartStatistics(const TClockNow& now);

    const TStatBlock& Statistics() const { return m_live; }
    std::uint32_t ElapsedMs(const TClockNow& now) const;
    TElapsed ElapsedTimeOfDay(const TClockNow& now) const;

    // The graph window: points from the left edge, oldest first, and the
    // largest value of each series among them.
    const std::deque<TSample>& Points() const { return m_points; }
    float MaxOutput() const { return m_maxOutput; }
    float MaxInput() const { return m_maxInput; }
    float MaxLost() const { return m_maxLost; }
    std::uint32_t XPosition() const { return m_xPosition; }

    std::uint32_t ReportTime() const { return m_reportTime; }
    bool Resyncing() const { return m_resync != 0; }
    const TbNReport& LastReport() const { return m_last; }

    // Rate texts the legends append to their base titles; empty = base only.
    const std::string& OutputRateText() const { return m_outputRateText; }
    const std::string& InputRateText() const { return m_inputRateText; }
    // Bit 0: blink phase, bit 1: traffic or sending; 1 alone: send error.
    int IndicatorState() const { return m_indicatorState; }

private:
    void AddSample(const TbNReport& r, std::uint32_t dx, std::uint32_t output, std::uint32_t input,
                   bool counted, std::vector<TSample>& added);
    void ScrollPoints(std::uint32_t overflow);

    char m_sideLetter = 'L';
    std::uint32_t m_viewTime = 1000;
    std::uint32_t m_graphWidth = 30000;

    TbNReport m_last{};
    int m_resync = 0;
    std::uint32_t m_outputQuietTime = 0;
    std::uint32_t m_inputQuietTime = 0;
    std::uint32_t m_idleTime = 0;
    float m_maxOutput = 0.0F;
    float m_maxInput = 0.0F;
    float m_maxLost = 0.0F;
    std::uint32_t m_xPosition = 0;
    std::uint32_t m_reportTime = 0;
    TStatBlock m_live{};
    std::deque<TSample> m_points;
    std::string m_outputRateText;
    std::string m_inputRateText;
    int m_indicatorState = 0;
};
