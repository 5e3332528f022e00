// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "uDelayModel.h"

namespace {

// A record of a side that measures, as its ring holds it after `number`
// closed intervals.
TbNDelayRecord Record(std::uint32_t number, std::uint64_t received, std::uint64_t late = 0,
                      std::uint32_t p99Us = 0, std::uint32_t samples = 0) {
    TbNDelayRecord r;
    r.Known = true;
    r.DelayKnown = true;
    r.Interval = number;
    r.Figures.Received = received;
    r.Figures.Late = late;
    r.Figures.DelayP50Ns = p99Us * 500;
    r.Figures.DelayP99Ns = p99Us * 1000;
    r.Figures.DelayMaxNs = p99Us * 1500;
    r.Figures.DelaySamples = samples;
    r.Figures.JitterNs = 2000;
    return r;
}

TEST(DelayModel, WeightedMedianFollowsTheSamples) {
    EXPECT_DOUBLE_EQ(WeightedMedian({}), 0.0);
    EXPECT_DOUBLE_EQ(WeightedMedian({{5.0, 1}}), 5.0);
    // One busy interval outweighs two quiet ones.
    EXPECT_DOUBLE_EQ(WeightedMedian({{1.0, 10}, {9.0, 100}, {2.0, 10}}), 9.0);
    EXPECT_DOUBLE_EQ(WeightedMedian({{1.0, 1}, {2.0, 1}, {3.0, 1}}), 2.0);
}

TEST(DelayModel, CountersAreDifferencesAndARepeatedIntervalCountsOnce) {
    TDelayTrack t;
    t.Add(Record(1, 100, 1, 10, 50)); // the baseline for the counters
    t.Add(Record(2, 150, 3, 20, 50));
    t.Add(Record(2, 150, 3, 20, 50)); // the same interval again: an idle ring
    t.Add(Record(3, 300, 4, 30, 100));
    const TDelayFigures f = t.Take();
    EXPECT_TRUE(f.Known);
    EXPECT_EQ(f.Received, 200U);
    EXPECT_EQ(f.Late, 3U);
    ASSERT_TRUE(f.Delay.has_value());
    EXPECT_EQ(f.Delay->Samples, 200U) << "quantiles of all three intervals count";
    EXPECT_DOUBLE_EQ(f.Delay->P99Us, 20.0);
    EXPECT_DOUBLE_EQ(f.Delay->MaxUs, 45.0);
    ASSERT_TRUE(f.JitterUs.has_value());
    EXPECT_DOUBLE_EQ(*f.JitterUs, 2.0);
    EXPECT_FALSE(f.Rtt.has_value()) << "no round trips, no figure";

    // The next span starts after the last record; the total goes on.
    t.Add(Record(4, 310, 4, 30, 10));
    EXPECT_EQ(t.Take().Received, 10U);
    EXPECT_EQ(t.Total().Received, 210U);
}

TEST(DelayModel, AResetOfTheMeasuringSideCountsOnFromZero) {
    TDelayTrack t;
    t.Add(Record(1, 1000));
    t.Add(Record(2, 1100));
    t.Add(Record(3, 40)); // the side reset its statistics: 40 since then
    EXPECT_EQ(t.Total().Received, 140U);
}

TEST(DelayModel, UnknownStaysUnknown) {
    TDelayTrack t;
    TbNDelayRecord described; // a peer without the extension
    t.Add(described);
    const TDelayFigures f = t.Take();
    EXPECT_FALSE(f.Known);
    EXPECT_FALSE(f.Delay.has_value());
    EXPECT_FALSE(f.JitterUs.has_value());

    // Measured, but no send times came (the peer lacks the extension): the
    // counts are known, the delay is not.
    TbNDelayRecord counts = Record(1, 10);
    counts.DelayKnown = false;
    t.Add(counts);
    const TDelayFigures g = t.Take();
    EXPECT_TRUE(g.Known);
    EXPECT_FALSE(g.Delay.has_value());
    // A span in which the side closed no interval still knows that it measures.
    EXPECT_TRUE(t.Take().Known);
    t.Restart();
    EXPECT_FALSE(t.Take().Known);
}

} // namespace

// Two significant digits at every size, rounding across a decade, and no
// exponent or microsecond fractions.
TEST(DelayModel, DelayTextsHaveTwoSignificantDigits) {
    const std::pair<double, const char*> cases[] = {
        {0.0, "0"},           {-5.0, "0"},     {0.4, "0"},       {1.0, "0.001"},
        {12.3, "0.012"},      {99.6, "0.10"},  {350.0, "0.35"},  {999.0, "1.0"},
        {4'240.0, "4.2"},     {9'960.0, "10"}, {38'400.0, "38"}, {123'456.0, "120"},
        {1'250'000.0, "1300"}};
    for (const auto& [us, text] : cases)
        EXPECT_EQ(DelayMsText(us), text) << us << " us";
}
