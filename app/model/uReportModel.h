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
inline constexpr std::uint32_t kGapTime = 5000;      // ms: at least this long is drawn as a gap
inline constexpr std::uint32_t kTitleTimeout = 3000; // ms without reports before titles lose rates
// A gap is also at least this many view or information intervals, so that
// long intervals (both may be up to 10 s) do not turn every point into a gap.
inline constexpr std::uint32_t kGapIntervals = 3;
inline constexpr std::int32_t kSkipReports = 2; // reports after a restart that reset the clock
// A lost difference above this is a counter that went back, drawn as kLostBackwardMark.
inline constexpr std::uint32_t kLostBackward = 32000;
inline constexpr std::uint16_t kLostBackwardMark = 10;
// Bytes one pair of reports may plausibly add: twice the fastest speed a copy
// sends (10 Gbit/s), and never half the 32-bit counter or more. A larger
// difference is a counter that went back (a reset on another thread), not
// traffic: the record becomes a new baseline.
inline constexpr std::uint64_t kMaxBytesPerMs = 2'500'000;
inline constexpr std::uint64_t kMaxPairBytes = 1ULL << 31;

// The gap threshold for the given view and information intervals (ms).
std::uint32_t GapThreshold(std::uint32_t viewTime, std::uint32_t infoTime);
// True when one information interval at this speed moves the 32-bit byte
// counters so far that a difference cannot tell traffic from a counter that
// went back (speed kbit/s, interval ms).
bool CounterAmbiguous(std::int64_t speedKbps, std::int32_t infoTimeMs);

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
    // Doubles: a float stops counting single datagrams after 16 MB and
    // drifts on long runs.
    double BytesSent = 0.0;
    double BytesReceived = 0.0;
    std::int64_t Lost = 0; // lost packets
    std::int32_t ReportsToSkip = 0;

    friend bool operator==(const TStatBlock&, const TStatBlock&) = default;
};

// One graph point: the three series share their x values.
struct TSample {
    std::uint32_t X = 0;          // ms from the left edge of the time window
    std::uint32_t Output = 0;     // Kbps
    std::uint32_t Input = 0;      // Kbps
    std::uint32_t Lost = 0;       // lost packets in the interval, as plotted
    std::uint32_t ReportTime = 0; // ms of report intervals since the baseline (log field)

    friend bool operator==(const TSample&, const TSample&) = default;
};

// A duration, not a time of day: hours run on past 24.
struct TElapsed {
    std::uint32_t Hours = 0;
    std::uint32_t Minutes = 0;
    std::uint32_t Seconds = 0;
    std::uint32_t Milliseconds = 0;
};
TElapsed SplitElapsed(std::uint64_t ms);
// "H:MM:SS"; 25 hours read "25:00:00".
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
//   bool first = engine->GetReports(ring, buf, count = kRingSize, side);
//   for (const TSample& s : proc.ProcessReports(first, {buf, count}, ClockNow()))
//       log.WriteSample(MakeLogRecord(proc.SideLetter(), s));
// Call RestartStatistics once before the first batch, as the panel does when it
// is created, and again whenever the statistics restart.
class TReportProcessor final {
public:
    explicit TReportProcessor(char sideLetter, const TCfgOpt& options = {});

    // ViewTime, InfoTime and GraphTime; values below 1 count as 1 (a zero
    // ViewTime would make a zero-length interval, a zero or negative GraphTime
    // a window that cannot hold a point).
    void ApplyOptions(const TCfgOpt& options);
    std::uint32_t ViewTime() const { return m_viewTime; }
    std::uint32_t GraphWidth() const { return m_graphWidth; } // ms
    std::uint32_t GapTime() const { return m_gapTime; }

    char SideLetter() const { return m_sideLetter; }

    // Sets or clears bit 1 of the indicator state.
    void UpdateSendingFlag(bool sending);

    // One batch exactly as GetReports handed it out: `first` is its answer
    // (the first record is then a baseline only). Answers the samples added,
    // in order; their X is the position each had when it was added.
    // Every consecutive pair of records is taken, also those that make no
    // point of their own: lost packets are summed per pair (the 16-bit
    // counter cannot wrap between two records) and bytes in 64 bits. A
    // zeroed record, or one whose counters went back, starts a new baseline.
    std::vector<TSample> ProcessReports(bool first, std::span<const TbNReport> reports,
                                        const TClockNow& now);

    // No engine: both titles go back to their base text.
    void ResetTitles();
    void ClearGraphs();
    void RestartStatistics(const TClockNow& now);

    const TStatBlock& Statistics() const { return m_live; }
    // From the monotonic clock: a wall-clock change does not move it.
    std::uint32_t ElapsedMs(const TClockNow& now) const;
    // Records taken as new baselines since the processor was made.
    std::uint32_t Baselines() const { return m_baselines; }

    // The graph window: points oldest first, and the largest value of each
    // series among them. A point's X is stored from a moving origin so that
    // scrolling costs nothing per point: its x from the left edge is
    // X - XOrigin() (modulo 2^32). The maxima are kept by sliding-window
    // queues, so a full graph of 100 000 points scrolls in constant time.
    const std::deque<TSample>& Points() const { return m_points; }
    std::uint32_t XOrigin() const { return m_xOrigin; }
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
    // What the pairs since the last point added up to.
    struct TPending {
        std::uint64_t Dt = 0; // ms
        std::uint64_t Sent = 0;
        std::uint64_t Received = 0;
        std::uint64_t FromOthers = 0;
        std::uint64_t Lost = 0;        // counted
        std::uint64_t LostPlotted = 0; // counted plus the marks of counters that went back
    };
    void NewBaseline(const TbNReport& r);
    void AddSample(std::uint32_t dx, std::uint32_t output, std::uint32_t input, std::uint32_t lost,
                   std::vector<TSample>& added);
    void ScrollPoints(std::uint32_t overflow);
    // Candidates for the largest value of one series: x (stored) and value,
    // values decreasing from the front.
    struct TMaxEntry {
        std::uint32_t X = 0;
        std::uint32_t Value = 0;
    };
    static void PushMax(std::deque<TMaxEntry>& queue, std::uint32_t x, std::uint32_t value);

    char m_sideLetter = 'L';
    std::uint32_t m_viewTime = 1000;
    std::uint32_t m_graphWidth = 30000;
    std::uint32_t m_gapTime = kGapTime;

    TbNReport m_last{}; // the record of the last point
    TbNReport m_prev{}; // the record of the last pair
    TPending m_pending{};
    std::uint32_t m_baselines = 0;
    bool m_rebase = false; // a zeroed record was seen: the next one is a baseline
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
    std::uint32_t m_xOrigin = 0;
    std::deque<TMaxEntry> m_maxOutputQueue;
    std::deque<TMaxEntry> m_maxInputQueue;
    std::deque<TMaxEntry> m_maxLostQueue;
    std::string m_outputRateText;
    std::string m_inputRateText;
    int m_indicatorState = 0;
};
