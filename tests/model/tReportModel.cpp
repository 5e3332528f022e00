// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "uReportModel.h"
#include "uSummary.h"
#include "uSpeedStr.h"

namespace {

// A side's cumulative counters, advanced one report interval at a time the way
// the engine's report ring records them.
struct TStream {
    TbNReport r{};
    TbNReport Next(std::uint32_t dtMs, std::uint32_t sent, std::uint32_t received,
                   std::uint16_t lost = 0, std::uint32_t others = 0) {
        r.Stamp = static_cast<std::uint16_t>(r.Stamp + dtMs);
        r.BytesSent += sent;
        r.BytesReceived += received;
        r.Lost = static_cast<std::uint16_t>(r.Lost + lost);
        r.BytesFromOthers += others;
        return r;
    }
};

TCfgOpt Options(std::int32_t viewTime = 1000, std::int32_t graphTime = 30) {
    TCfgOpt o;
    o.ViewTime = viewTime;
    o.GraphTime = graphTime;
    return o;
}

// Drives one processor with a clock that advances with the reports.
struct TSide {
    explicit TSide(const TCfgOpt& options = Options()) : proc('L', options) {
        proc.RestartStatistics(now);
    }
    std::vector<TSample> Take(bool first, std::vector<TbNReport> batch, std::uint32_t advance = 0) {
        now.Tick += advance;
        now.Time += advance / 1000.0;
        return proc.ProcessReports(first, batch, now);
    }
    // First take (two records) and the baseline: from here each report of
    // the stream makes a point.
    void Baseline(TStream& s, std::uint32_t sent = 0, std::uint32_t received = 0) {
        const TbNReport a = s.Next(0, 0, 0);
        const TbNReport b = s.Next(1000, sent, received);
        EXPECT_TRUE(Take(true, {a, b}, 1000).empty());
        EXPECT_FALSE(proc.Resyncing());
    }
    // Baseline plus the two reports that only reset the statistics clock.
    void Primed(TStream& s, std::uint32_t sent = 125000, std::uint32_t received = 125000) {
        Baseline(s, sent, received);
        Take(false, {s.Next(1000, sent, received)}, 1000);
        Take(false, {s.Next(1000, sent, received)}, 1000);
        EXPECT_EQ(proc.Statistics().ReportsToSkip, 0);
    }
    TClockNow now{500000, 1.0e9};
    TReportProcessor proc;
};

TEST(ReportProcessing, SteadyTrafficGivesThousandKbpsPointsAndCountsAfterTheSkippedReports) {
    TSide side;
    TStream s;
    side.Baseline(s, 125000, 125000);
    std::vector<TSample> all;
    for (int i = 0; i < 10; ++i) {
        for (const TSample& p : side.Take(false, {s.Next(1000, 125000, 125000)}, 1000))
            all.push_back(p);
    }
    ASSERT_EQ(all.size(), 10U);
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].Output, 1000U);
        EXPECT_EQ(all[i].Input, 1000U);
        EXPECT_EQ(all[i].Lost, 0U);
        EXPECT_EQ(all[i].X, 1000U * (i + 1));
        EXPECT_EQ(all[i].ReportTime, 1000U * (i + 1));
    }
    EXPECT_EQ(side.proc.OutputRateText(), SpeedResToStr(125000));
    EXPECT_EQ(side.proc.InputRateText(), "1.00 Mbps  ");
    // The first two reports after the restart set the clock only.
    EXPECT_DOUBLE_EQ(side.proc.Statistics().BytesSent, 8 * 125000.0);
    EXPECT_DOUBLE_EQ(side.proc.Statistics().BytesReceived, 8 * 125000.0);
    EXPECT_EQ(side.proc.ElapsedMs(side.now), 8000U);
}

TEST(ReportProcessing, RestartStartsTheClockOneViewTimeBackAndSkipsTwoReports) {
    TSide side;
    TStream s;
    side.Baseline(s);
    side.proc.RestartStatistics(side.now);
    EXPECT_EQ(side.proc.ElapsedMs(side.now), 1000U);
    EXPECT_EQ(side.proc.Statistics().ReportsToSkip, 2);
    // Lost packets of the skipped reports stay out of the total too.
    side.Take(false, {s.Next(1000, 5000, 5000, 3)}, 1000);
    side.Take(false, {s.Next(1000, 5000, 5000, 3)}, 1000);
    EXPECT_EQ(side.proc.Statistics().BytesSent, 0.0);
    EXPECT_EQ(side.proc.Statistics().Lost, 0);
    EXPECT_EQ(side.proc.ElapsedMs(side.now), 0U);
    side.Take(false, {s.Next(1000, 5000, 5000, 3)}, 1000);
    EXPECT_EQ(side.proc.Statistics().BytesSent, 5000.0);
    EXPECT_EQ(side.proc.Statistics().Lost, 3);
    EXPECT_EQ(side.proc.ElapsedMs(side.now), 1000U);
}

TEST(ReportProcessing, FirstTakeLooksForABaselineAtLeast200msAfterTheFirstRecord) {
    TSide side;
    TStream s;
    // Reports every 200 ms as the engine records them with InfoTime 200.
    std::vector<TbNReport> batch{s.Next(0, 0, 0), s.Next(100, 2500, 2500)};
    for (int i = 0; i < 8; ++i)
        batch.push_back(s.Next(200, 25000, 25000));
    // 0 (dropped), 100 (too early), 300 (baseline), 500 .. 1100 (under 1000 ms
    // after it), 1300 (a point over 1000 ms), 1500 (too early again).
    const auto points = side.Take(true, batch, 1500);
    ASSERT_EQ(points.size(), 1U);
    EXPECT_EQ(points[0].Output, 125000U * 8 / 1000);
    EXPECT_EQ(points[0].ReportTime, 1000U);
    EXPECT_EQ(side.proc.LastReport().Stamp, 1300U);
}

TEST(ReportProcessing, NewFirstTakeAfterAnEngineResetTakesAFreshBaseline) {
    TSide side;
    TStream s;
    side.Primed(s);
    side.Take(false, {s.Next(1000, 125000, 125000)}, 1000);
    EXPECT_GT(side.proc.ReportTime(), 0U);
    // The engine's counters start again from zero: no rate may come from the
    // counters going back.
    TStream fresh;
    fresh.r.Stamp = static_cast<std::uint16_t>(s.r.Stamp + 700);
    const TbNReport a = fresh.Next(0, 0, 0);
    const TbNReport b = fresh.Next(300, 30000, 30000);
    EXPECT_TRUE(side.Take(true, {a, b}, 1000).empty());
    EXPECT_EQ(side.proc.ReportTime(), 0U);
    const auto points = side.Take(false, {fresh.Next(1000, 125000, 125000)}, 1000);
    ASSERT_EQ(points.size(), 1U);
    EXPECT_EQ(points[0].Output, 1000U);
    EXPECT_EQ(points[0].ReportTime, 1000U);
}

TEST(ReportProcessing, GapOfSixSecondsDrawsADropAFlatLineAndTheNewPoint) {
    TSide side;
    TStream s;
    side.Primed(s);
    const std::uint32_t x0 = side.proc.XPosition();
    const std::uint32_t t0 = side.proc.ReportTime();
    const auto points = side.Take(false, {s.Next(6000, 750000, 750000)}, 6000);
    ASSERT_EQ(points.size(), 3U);
    EXPECT_EQ(points[0], (TSample{x0, 0, 0, 0, t0}));
    EXPECT_EQ(points[1], (TSample{x0 + 6000, 0, 0, 0, t0}));
    // The new rates stand at the new x; the gap does not advance report time.
    EXPECT_EQ(points[2], (TSample{x0 + 6000, 1000, 1000, 0, t0}));
    const auto next = side.Take(false, {s.Next(1000, 125000, 125000)}, 1000);
    ASSERT_EQ(next.size(), 1U);
    EXPECT_EQ(next[0].X, x0 + 7000);
    EXPECT_EQ(next[0].ReportTime, t0 + 1000);
}

TEST(ReportProcessing, StampsAndByteCountersWrapWithoutBreakingTheRates) {
    TSide side;
    TStream s;
    s.r.Stamp = 65536 - 2500;
    s.r.BytesSent = 0xFFFFFFFFU - 300000;
    s.r.BytesReceived = 0xFFFFFFFFU - 10;
    side.Baseline(s, 125000, 125000);
    for (int i = 0; i < 6; ++i) {
        const auto points = side.Take(false, {s.Next(1000, 125000, 125000)}, 1000);
        ASSERT_EQ(points.size(), 1U) << i;
        EXPECT_EQ(points[0].Output, 1000U) << i;
        EXPECT_EQ(points[0].Input, 1000U) << i;
        EXPECT_EQ(points[0].X, 1000U * (i + 1)) << i;
    }
    EXPECT_LT(s.r.Stamp, 6000U);
    EXPECT_LT(s.r.BytesSent, 1000000U);
}

TEST(ReportProcessing, QuietTimeAcrossAStampWrapCountsTheRealSpan) {
    TSide side;
    TStream s;
    s.r.Stamp = 65536 - 4000;
    side.Primed(s);
    // The peer stops sending to us just as the stamps wrap to 0.
    side.Take(false, {s.Next(1000, 125000, 0)}, 1000);
    ASSERT_EQ(s.r.Stamp, 0U);
    EXPECT_EQ(side.proc.InputRateText(), "1.00 Mbps  ") << "one quiet period keeps the rate";
    side.Take(false, {s.Next(1000, 125000, 0)}, 1000);
    EXPECT_FALSE(side.proc.InputRateText().empty());
    side.Take(false, {s.Next(1000, 125000, 0)}, 1000);
    EXPECT_TRUE(side.proc.InputRateText().empty()) << "more than two periods of zero input";
    EXPECT_EQ(side.proc.OutputRateText(), "1.00 Mbps  ");
}

TEST(ReportProcessing, TitlesLoseTheirRatesAfterMoreThan3000msWithoutReports) {
    TSide side;
    TStream s;
    side.Primed(s);
    for (int tick = 1; tick <= 3; ++tick) {
        side.Take(false, {}, 1000);
        EXPECT_FALSE(side.proc.OutputRateText().empty()) << tick;
        EXPECT_FALSE(side.proc.InputRateText().empty()) << tick;
    }
    side.Take(false, {}, 1000);
    EXPECT_TRUE(side.proc.OutputRateText().empty());
    EXPECT_TRUE(side.proc.InputRateText().empty());
}

struct TLostCase {
    const char* name;
    std::uint16_t before;    // lost counter of the previous report
    std::uint16_t after;     // lost counter of the new report
    std::uint32_t received;  // bytes received in the interval
    std::uint16_t plotted;   // lost drawn and logged
    std::int64_t totalAdded; // added to the live lost total
};
void PrintTo(const TLostCase& c, std::ostream* os) {
    *os << c.name;
}

class LostPerSample : public testing::TestWithParam<TLostCase> {};

TEST_P(LostPerSample, TakesTheSixteenBitDifferenceWhileSomethingIsReceived) {
    const TLostCase& c = GetParam();
    TSide side;
    TStream s;
    s.r.Lost = c.before;
    side.Primed(s);
    TbNReport r = s.Next(1000, 125000, c.received);
    r.Lost = c.after;
    const auto points = side.Take(false, {r}, 1000);
    ASSERT_EQ(points.size(), 1U);
    EXPECT_EQ(points[0].Lost, c.plotted);
    EXPECT_EQ(side.proc.Statistics().Lost, c.totalAdded);
    EXPECT_EQ(side.proc.MaxLost(), static_cast<float>(c.plotted));
}

INSTANTIATE_TEST_SUITE_P(
    Table, LostPerSample,
    testing::Values(TLostCase{"Loss", 100, 110, 125000, 10, 10},
                    TLostCase{"None", 100, 100, 125000, 0, 0},
                    TLostCase{"CounterWrapsForward", 65530, 4, 125000, 10, 10},
                    TLostCase{"Largest", 0, 32000, 125000, 32000, 32000},
                    TLostCase{"AboveLargest", 0, 32001, 125000, kLostBackwardMark, 0},
                    TLostCase{"CounterWentBack", 110, 109, 125000, kLostBackwardMark, 0},
                    TLostCase{"NothingReceived", 100, 110, 0, 0, 0}),
    [](const testing::TestParamInfo<TLostCase>& info) { return info.param.name; });

TEST(ReportProcessing, FullGraphHolds31PointsAndScrollsOneSecondPerPoint) {
    TSide side(Options(1000, 30));
    TStream s;
    side.Baseline(s, 125000, 125000);
    // A peak first, so the output scale must come down once it leaves.
    side.Take(false, {s.Next(1000, 625000, 125000)}, 1000);
    EXPECT_EQ(side.proc.MaxOutput(), 5000.0F);
    for (int n = 2; n <= 35; ++n) {
        side.Take(false, {s.Next(1000, 125000, 125000)}, 1000);
        const auto& pts = side.proc.Points();
        if (n == 30) {
            ASSERT_EQ(pts.size(), 30U);
            EXPECT_EQ(pts.front().X - side.proc.XOrigin(), 1000U);
            EXPECT_EQ(pts.back().X - side.proc.XOrigin(), 30000U);
        }
        if (n >= 31) {
            ASSERT_EQ(pts.size(), 31U) << n;
            for (std::size_t i = 0; i < pts.size(); ++i)
                EXPECT_EQ(pts[i].X - side.proc.XOrigin(), 1000U * i) << n;
        }
        if (n == 31) {
            EXPECT_EQ(side.proc.MaxOutput(), 5000.0F) << "the peak now stands at x = 0";
        }
        if (n == 32) {
            EXPECT_EQ(side.proc.MaxOutput(), 1000.0F) << "the peak has left the window";
        }
    }
    EXPECT_EQ(side.proc.XPosition(), 30000U);
    side.proc.ClearGraphs();
    EXPECT_TRUE(side.proc.Points().empty());
    EXPECT_EQ(side.proc.MaxOutput(), 0.0F);
    EXPECT_EQ(side.proc.XPosition(), 0U);
}

TEST(ReportProcessing, GigabytesPerIntervalDoNotOverflowTheRate) {
    TSide side;
    TStream s;
    side.Primed(s);
    // 1 GB in one second: a 32-bit bytes x 8 would wrap.
    const auto points = side.Take(false, {s.Next(1000, 1000000000U, 0)}, 1000);
    ASSERT_EQ(points.size(), 1U);
    EXPECT_EQ(points[0].Output, 8000000U);
    EXPECT_EQ(side.proc.OutputRateText(), SpeedResToStr(1000000000));
    // A minute-long gap at 100 Mbps.
    const auto gap = side.Take(false, {s.Next(60000, 750000000U, 0)}, 60000);
    ASSERT_EQ(gap.size(), 3U);
    EXPECT_EQ(gap[2].Output, 100000U);
}

TEST(ReportProcessing, ZeroViewTimeFromTheSettingsFileNeverDividesByZero) {
    TSide side(Options(0, 0));
    EXPECT_EQ(side.proc.ViewTime(), 1U);
    EXPECT_EQ(side.proc.GraphWidth(), 1000U);
    TStream s;
    const TbNReport a = s.Next(0, 0, 0);
    const TbNReport b = s.Next(200, 100, 100);
    const TbNReport same = s.Next(0, 100, 100); // same stamp: no interval
    const TbNReport c = s.Next(2, 100, 100);
    const auto points = side.Take(true, {a, b, same, c}, 1);
    ASSERT_EQ(points.size(), 1U);
    EXPECT_EQ(points[0].Output, 200U * 8 / 2);
}

TEST(ReportProcessing, IndicatorBlinksWithTrafficAndShowsASendError) {
    TSide side;
    TStream s;
    side.Primed(s);
    const int a = side.proc.IndicatorState();
    side.Take(false, {s.Next(1000, 125000, 0)}, 1000);
    const int b = side.proc.IndicatorState();
    EXPECT_EQ(a & 2, 2);
    EXPECT_EQ(b & 2, 2);
    EXPECT_NE(a & 1, b & 1);
    TbNReport failed = s.Next(1000, 0, 0);
    failed.Status = kStatusSendFailed;
    side.Take(false, {failed}, 1000);
    EXPECT_EQ(side.proc.IndicatorState(), 1);
    side.proc.UpdateSendingFlag(true);
    EXPECT_EQ(side.proc.IndicatorState(), 3);
}

struct TAxisCase {
    const char* name;
    double maximum;
    bool isCount;
    double top;
    const char* label;
};
void PrintTo(const TAxisCase& c, std::ostream* os) {
    *os << c.name;
}

class AxisScaleTable : public testing::TestWithParam<TAxisCase> {};

TEST_P(AxisScaleTable, LeavesFivePerCentHeadroomAndLabelsTheRoundedMaximum) {
    const TAxisCase& c = GetParam();
    const TAxisScale scale = AxisScale(c.maximum, c.isCount);
    EXPECT_DOUBLE_EQ(scale.Top, c.top);
    EXPECT_EQ(scale.Label, c.label);
}

INSTANTIATE_TEST_SUITE_P(Table, AxisScaleTable,
                         testing::Values(TAxisCase{"ZeroSpeed", 0.0, false, 1.0, ""},
                                         TAxisCase{"ZeroCount", 0.0, true, 1.0, ""},
                                         TAxisCase{"Speed", 1000.0, false, 1050.0, "1.00 Mbps  "},
                                         TAxisCase{"Count", 12.6, true, 12.6 * 1.05, "13"}),
                         [](const testing::TestParamInfo<TAxisCase>& info) {
                             return info.param.name;
                         });

TEST(Elapsed, IsADurationWhoseHoursRunOnPast24) {
    const TElapsed e = SplitElapsed(((25ULL * 60 + 2) * 60 + 3) * 1000 + 4);
    EXPECT_EQ(e.Hours, 25U);
    EXPECT_EQ(e.Minutes, 2U);
    EXPECT_EQ(e.Seconds, 3U);
    EXPECT_EQ(e.Milliseconds, 4U);
    EXPECT_EQ(FormatElapsed(e), "25:02:03");
}

TEST(Elapsed, ComesFromTheMonotonicClockNotTheTimeOfDay) {
    TSide side;
    side.proc.RestartStatistics(side.now);
    // The wall clock jumps back an hour: the elapsed time does not notice.
    side.now.Time -= 3600.0;
    side.now.Tick += 90000;
    EXPECT_EQ(side.proc.ElapsedMs(side.now), 91000U);
}

// ---------------------------------------------------------------- every pair

// Reports every InfoTime as the engine records them.
struct TPairRun {
    TPairRun(std::int32_t viewTime, std::int32_t infoTime)
        : side(OptionsWithInfo(viewTime, infoTime)) {}
    static TCfgOpt OptionsWithInfo(std::int32_t viewTime, std::int32_t infoTime) {
        TCfgOpt o = Options(viewTime);
        o.InfoTime = infoTime;
        return o;
    }
    // `reports` records of one view tick, each `info` ms apart.
    std::vector<TSample> Tick(int reports, std::uint32_t info, std::uint32_t sent,
                              std::uint32_t received, std::uint16_t lost) {
        std::vector<TbNReport> batch;
        for (int i = 0; i < reports; ++i)
            batch.push_back(s.Next(info, sent, received, lost));
        return side.Take(false, batch, reports * info);
    }
    TSide side;
    TStream s;
};

TEST(EveryPair, FortyPerCentLossAtOneGigabitCountsEveryLostPacket) {
    // 1 Gbit/s offered with 1450-byte datagrams: about 86200 a second, 40 %
    // lost, i.e. about 6900 per 200 ms report and 34 500 per second, more
    // than 32000 and more than a 16-bit counter holds over a few seconds.
    TPairRun run(1000, 200);
    run.side.Baseline(run.s);
    constexpr std::uint16_t kLostPerReport = 6900;
    constexpr std::uint32_t kReceivedPerReport = 10340 * 1450; // 60 % of 17240
    for (int t = 0; t < 2; ++t) // the two reports that only set the clock
        run.Tick(5, 200, 0, kReceivedPerReport, kLostPerReport);
    std::uint64_t plotted = 0;
    for (int t = 0; t < 10; ++t) {
        const auto points = run.Tick(5, 200, 0, kReceivedPerReport, kLostPerReport);
        ASSERT_EQ(points.size(), 1U) << t;
        EXPECT_EQ(points[0].Lost, 5U * kLostPerReport) << t;
        plotted += points[0].Lost;
    }
    EXPECT_EQ(run.side.proc.Statistics().Lost, 10 * 5 * kLostPerReport);
    EXPECT_EQ(plotted, 10U * 5 * kLostPerReport);
    // Quality as the Centre panel computes it: about 60 %, never 100 %.
    TStatBlock sender;
    sender.BytesSent = run.side.proc.Statistics().BytesReceived / 0.6;
    const auto summary = UpdateSummary(run.side.proc.Statistics(), sender, 10000);
    ASSERT_TRUE(summary.has_value());
    EXPECT_NEAR(summary->QL, 0.6, 1e-6);
    EXPECT_EQ(summary->LQuality, "60%");
}

TEST(EveryPair, ByteCountersWrappingEveryFewSecondsAtTenGigabitKeepTheirRate) {
    // 10 Gbit/s moves 1.25 GB a second: the 32-bit counters wrap every 3.4 s,
    // so a difference over a ViewTime of 5000 ms is ambiguous, while one
    // over a 200 ms pair is not.
    TPairRun run(5000, 200);
    run.side.Baseline(run.s);
    constexpr std::uint32_t kPerReport = 250'000'000; // 1.25 GB/s x 200 ms
    for (int t = 0; t < 2; ++t)
        run.Tick(25, 200, kPerReport, kPerReport, 0);
    for (int t = 0; t < 4; ++t) {
        const auto points = run.Tick(25, 200, kPerReport, kPerReport, 0);
        ASSERT_EQ(points.size(), 1U) << "a 5000 ms point is no gap at ViewTime 5000; tick " << t;
        EXPECT_EQ(points[0].Output, 10'000'000U) << t;
        EXPECT_EQ(points[0].Input, 10'000'000U) << t;
    }
    EXPECT_DOUBLE_EQ(run.side.proc.Statistics().BytesSent, 4 * 25 * 250'000'000.0);
    EXPECT_EQ(run.side.proc.OutputRateText(), "10000 Mbps  ");
    // At this speed a 10 s information interval cannot be told from a reset.
    EXPECT_FALSE(CounterAmbiguous(10'000'000, 200));
    EXPECT_TRUE(CounterAmbiguous(10'000'000, 10000));
    EXPECT_FALSE(CounterAmbiguous(1'000'000, 10000));
}

struct TGapCase {
    const char* name;
    std::int32_t viewTime;
    std::int32_t infoTime;
    std::uint32_t threshold;
};
void PrintTo(const TGapCase& c, std::ostream* os) {
    *os << c.name;
}
class GapTable : public testing::TestWithParam<TGapCase> {};

TEST_P(GapTable, ThresholdFollowsTheIntervalsAndPointsOneIntervalApartAreNoGap) {
    const TGapCase& c = GetParam();
    TPairRun run(c.viewTime, c.infoTime);
    EXPECT_EQ(run.side.proc.GapTime(), c.threshold);
    run.side.Baseline(run.s);
    const int perTick = std::max(1, c.viewTime / c.infoTime);
    const auto info = static_cast<std::uint32_t>(c.infoTime);
    const auto points = run.Tick(perTick, info, 1000, 1000, 0);
    EXPECT_EQ(points.size(), 1U) << "a point one interval on is drawn once, not as a gap";
    // Silence of more than the threshold is still a gap: drop, flat, point.
    const auto gap = run.Tick(1, c.threshold, 1000, 1000, 0);
    EXPECT_EQ(gap.size(), 3U);
}

INSTANTIATE_TEST_SUITE_P(Table, GapTable,
                         testing::Values(TGapCase{"Defaults", 1000, 200, 5000},
                                         TGapCase{"ViewTime5000", 5000, 200, 15000},
                                         TGapCase{"InfoTime5000", 1000, 5000, 15000},
                                         TGapCase{"Longest", 10000, 10000, 30000}),
                         [](const testing::TestParamInfo<TGapCase>& info) {
                             return info.param.name;
                         });

struct TBackwardCase {
    const char* name;
    TbNReport bad; // the record that arrives after a reset on another thread
};
void PrintTo(const TBackwardCase& c, std::ostream* os) {
    *os << c.name;
}
class BackwardRecord : public testing::TestWithParam<TBackwardCase> {};

TEST_P(BackwardRecord, StartsANewBaselineAndNeverAddsZeroMinusTheLast) {
    TPairRun run(1000, 200);
    run.side.Primed(run.s);
    run.s.r.BytesSent = 3'000'000;
    run.s.r.BytesReceived = 3'000'000;
    run.Tick(5, 200, 25000, 25000, 0);
    const TStatBlock before = run.side.proc.Statistics();
    const std::uint32_t baselines = run.side.proc.Baselines();

    // The bad record, then the engine counting again from small values.
    TbNReport bad = GetParam().bad;
    if (bad.Stamp != 0)
        bad.Stamp = static_cast<std::uint16_t>(run.s.r.Stamp + 200);
    TStream fresh;
    fresh.r.Stamp = static_cast<std::uint16_t>(run.s.r.Stamp + 400);
    std::vector<TbNReport> batch{bad};
    for (int i = 0; i < 5; ++i)
        batch.push_back(fresh.Next(200, 25000, 25000));
    const auto points = run.side.Take(false, batch, 1000);
    for (const TSample& p : points) {
        EXPECT_LE(p.Output, 1000U) << "no rate from a counter going back";
        EXPECT_LE(p.Input, 1000U);
        EXPECT_EQ(p.Lost, 0U);
    }
    EXPECT_GT(run.side.proc.Baselines(), baselines);
    EXPECT_LE(run.side.proc.Statistics().BytesSent, before.BytesSent + 5 * 25000.0);
    EXPECT_EQ(run.side.proc.Statistics().Lost, before.Lost);
    // And it goes on measuring from the new baseline.
    std::vector<TbNReport> next;
    for (int i = 0; i < 5; ++i)
        next.push_back(fresh.Next(200, 25000, 25000));
    const auto after = run.side.Take(false, next, 1000);
    ASSERT_EQ(after.size(), 1U);
    EXPECT_EQ(after[0].Output, 1000U);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BackwardRecord,
    testing::Values(TBackwardCase{"Zeroed", TbNReport{}},
                    TBackwardCase{"CountersBack", TbNReport{1, 0, 0, 100, 100, 0, 0, 0}}),
    [](const testing::TestParamInfo<TBackwardCase>& info) { return info.param.name; });

TEST(EveryPair, AllWaitingRecordsOfALongViewTimeAreTaken) {
    // ViewTime 10000 with InfoTime 100: 100 records per tick, five times the
    // old batch of 20; all of them make one point, nothing lags.
    TPairRun run(10000, 100);
    run.side.Baseline(run.s);
    for (int t = 0; t < 3; ++t) {
        const auto points = run.Tick(100, 100, 12500, 12500, 1);
        ASSERT_EQ(points.size(), 1U) << t;
        EXPECT_EQ(points[0].Output, 1000U) << t;
        EXPECT_EQ(points[0].Lost, 100U) << t;
    }
}

} // namespace
