// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "uPanelRules.h"
#include "uSpeedStr.h"

namespace {

struct TPositionCase {
    const char* name;
    int position;
    std::int32_t speed;
};
void PrintTo(const TPositionCase& c, std::ostream* os) {
    *os << c.name;
}
class SpeedTrack : public testing::TestWithParam<TPositionCase> {};

TEST_P(SpeedTrack, PositionAndSpeedAreLogarithmic) {
    const TPositionCase& c = GetParam();
    EXPECT_EQ(PositionToSpeed(c.position), c.speed);
    EXPECT_EQ(SpeedToPosition(c.speed), std::clamp(c.position, 0, kSpeedPositions));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpeedTrack,
    testing::Values(TPositionCase{"Left", 0, 100}, TPositionCase{"OnePage", 250, 178},
                    TPositionCase{"OneMbit", 1000, 1000},
                    TPositionCase{"PageAboveOneMbit", 1250, 1778},
                    TPositionCase{"TenMbit", 2000, 10000}, TPositionCase{"Right", 3000, 100000},
                    TPositionCase{"BeyondRight", 3400, 100000}),
    [](const testing::TestParamInfo<TPositionCase>& info) { return info.param.name; });

struct TClampCase {
    const char* name;
    std::int64_t speed;
    std::int32_t clamped;
    int position;
};
void PrintTo(const TClampCase& c, std::ostream* os) {
    *os << c.name;
}
class SpeedClamp : public testing::TestWithParam<TClampCase> {};

TEST_P(SpeedClamp, EverySpeedShownOrAppliedStaysWithinOneKbitAndTenGbit) {
    const TClampCase& c = GetParam();
    EXPECT_EQ(ClampSpeed(c.speed), c.clamped);
    EXPECT_EQ(SpeedToPosition(c.speed), c.position);
    EXPECT_FALSE(SpeedToStr(ClampSpeed(c.speed)).empty());
}

INSTANTIATE_TEST_SUITE_P(Table, SpeedClamp,
                         testing::Values(TClampCase{"Zero", 0, 1, 0},
                                         TClampCase{"Negative", -5, 1, 0},
                                         TClampCase{"PeerWireU32", 0xFFFFFFFFLL, 10'000'000, 3000},
                                         TClampCase{"TenGbit", 10'000'000, 10'000'000, 3000},
                                         TClampCase{"OneGbit", 1'000'000, 1'000'000, 3000},
                                         TClampCase{"Ordinary", 3000, 3000, 1477}),
                         [](const testing::TestParamInfo<TClampCase>& info) {
                             return info.param.name;
                         });

TEST(SpeedStep, AStepThatDoesNotMoveTheBarKeepsTheSpeed) {
    // A peer asked for 10 Gbit/s; the bar stands at its end. RemoteSpeed+
    // cannot move it: the speed stays, it is not lowered to 100 Mbit/s.
    EXPECT_EQ(SpeedAfterStep(10'000'000, 3000, 3000), 10'000'000);
    EXPECT_EQ(SpeedAfterStep(100, 0, 0), 100);
    EXPECT_EQ(SpeedAfterStep(0, 0, 0), 1) << "a stored 0 is clamped";
    // When it moved, the bar's speed holds.
    EXPECT_EQ(SpeedAfterStep(10'000'000, 3000, 2750), 56234);
    EXPECT_EQ(SpeedAfterStep(1000, 1000, 1250), 1778);
}

struct TPacketCase {
    const char* name;
    std::int32_t size;
    int index;
};
void PrintTo(const TPacketCase& c, std::ostream* os) {
    *os << c.name;
}
class PacketSnap : public testing::TestWithParam<TPacketCase> {};

TEST_P(PacketSnap, SnapsUpToTheTableAndAboveItToTheLastEntry) {
    EXPECT_EQ(PacketSizeIndex(GetParam().size), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PacketSnap,
    testing::Values(TPacketCase{"Smallest", 118, 0}, TPacketCase{"Exact128", 128, 0},
                    TPacketCase{"Between", 700, 3}, TPacketCase{"Thousand", 1000, 3},
                    TPacketCase{"Exact1514", 1514, 4}, TPacketCase{"Above", 1600, 4},
                    TPacketCase{"Zero", 0, 0}),
    [](const testing::TestParamInfo<TPacketCase>& info) { return info.param.name; });

TEST(TimingOptions, ClampedToTheDialogLimitsWhereverTheyAreApplied) {
    TCfgOpt o;
    o.TimerPeriod = 0;
    o.InfoTime = 50;
    o.ViewTime = 0;
    o.GraphTime = 0;
    TCfgOpt c = ClampTimingOptions(o);
    EXPECT_EQ(c.TimerPeriod, 1);
    EXPECT_EQ(c.InfoTime, 100);
    EXPECT_EQ(c.ViewTime, 100);
    EXPECT_EQ(c.GraphTime, 10);
    o.TimerPeriod = 500;
    o.InfoTime = 1'000'000;
    o.ViewTime = 90;
    o.GraphTime = 99999;
    c = ClampTimingOptions(o);
    EXPECT_EQ(c.TimerPeriod, 100);
    EXPECT_EQ(c.InfoTime, 10000);
    EXPECT_EQ(c.ViewTime, 100);
    EXPECT_EQ(c.GraphTime, 10000);
    const TCfgOpt defaults;
    const TCfgOpt same = ClampTimingOptions(defaults);
    EXPECT_EQ(same.ViewTime, defaults.ViewTime);
    EXPECT_EQ(same.InfoTime, defaults.InfoTime);
    EXPECT_EQ(same.Port, defaults.Port);
}

struct TRateTextCase {
    const char* name;
    std::int64_t rate;
    const char* text;
};
void PrintTo(const TRateTextCase& c, std::ostream* os) {
    *os << c.name;
}
class RateText64 : public testing::TestWithParam<TRateTextCase> {};

TEST_P(RateText64, AgreesWithTheThirtyTwoBitTextAndGoesOnBeyondIt) {
    EXPECT_EQ(SpeedResToStr64(GetParam().rate), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RateText64,
    testing::Values(TRateTextCase{"Zero", 0, ""}, TRateTextCase{"Negative", -1, ""},
                    TRateTextCase{"OneMbit", 125000, "1.00 Mbps  "},
                    TRateTextCase{"Int32Max", 2147483647, "17180 Mbps  "},
                    TRateTextCase{"TwentyGbit", 2'500'000'000LL, "20000 Mbps  "}),
    [](const testing::TestParamInfo<TRateTextCase>& info) { return info.param.name; });

TEST(Duration, HoursRunOnPast24) {
    EXPECT_EQ(FormatDuration(0), "0:00:00");
    EXPECT_EQ(FormatDuration(59999), "0:00:59");
    EXPECT_EQ(FormatDuration(3600000ULL * 26 + 61000), "26:01:01");
}

} // namespace
