// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCapacitySearch.h"

#include <string>

#include <gtest/gtest.h>

namespace {

// A channel that carries up to `limit` kbit/s without loss.
struct SearchCase {
    const char* name;
    std::int32_t min;
    std::int32_t max;
    std::int32_t limit;
    tSearchResult result;
};

class CapacitySearchTable : public testing::TestWithParam<SearchCase> {};

TEST_P(CapacitySearchTable, SettlesWithinTheToleranceBelowTheLimit) {
    const SearchCase& c = GetParam();
    TCapacitySearch search(c.min, c.max);
    std::int32_t lastRate = 0;
    while (search.Running()) {
        ASSERT_LT(search.Steps(), 40U) << "the search does not end";
        ASSERT_GE(search.Rate(), c.min);
        ASSERT_LE(search.Rate(), c.max);
        ASSERT_NE(search.Rate(), lastRate) << "a step repeated";
        lastRate = search.Rate();
        search.Report(search.Rate() <= c.limit ? soHeld : soLost);
    }
    EXPECT_EQ(search.Result(), c.result);
    switch (c.result) {
    case srFound:
        ASSERT_TRUE(search.Held().has_value());
        EXPECT_LE(*search.Held(), c.limit);
        EXPECT_GE(*search.Held(), c.limit * 0.98);
        EXPECT_GT(*search.Failed(), c.limit);
        break;
    case srAtMax:
        EXPECT_EQ(search.Held(), c.max);
        break;
    default:
        EXPECT_FALSE(search.Held().has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CapacitySearchTable,
    testing::Values(SearchCase{"LimitInside", 500, 100000, 2000, srFound},
                    SearchCase{"LimitJustAboveARampStep", 1000, 100000, 4001, srFound},
                    SearchCase{"LimitJustBelowARampStep", 1000, 100000, 3999, srFound},
                    SearchCase{"LimitNearTheLowest", 1000, 100000, 1010, srFound},
                    SearchCase{"LimitAboveTheHighest", 1000, 8000, 50000, srAtMax},
                    SearchCase{"LimitBelowTheLowest", 1000, 8000, 900, srNoRateHeld},
                    SearchCase{"LimitBetweenLastRampStepAndMax", 1000, 6000, 5000, srFound}),
    [](const testing::TestParamInfo<SearchCase>& info) { return std::string(info.param.name); });

TEST(CapacitySearch, RampsByDoublingThenHalvesTheGap) {
    TCapacitySearch search(1000, 100000);
    EXPECT_EQ(search.Rate(), 1000);
    search.Report(soHeld);
    EXPECT_EQ(search.Rate(), 2000);
    search.Report(soHeld);
    EXPECT_EQ(search.Rate(), 4000);
    search.Report(soLost);
    EXPECT_EQ(search.Rate(), 3000);
    search.Report(soLost);
    EXPECT_EQ(search.Rate(), 2500);
}

TEST(CapacitySearch, ASpoiledStepEndsTheSearchWithItsKindAndKeepsWhatHeld) {
    TCapacitySearch buffers(1000, 8000);
    buffers.Report(soHeld);
    buffers.Report(soBufferBound);
    EXPECT_EQ(buffers.Result(), srBufferBound);
    EXPECT_EQ(buffers.Held(), 1000);
    EXPECT_EQ(buffers.Steps(), 2U);

    TCapacitySearch sender(1000, 8000);
    sender.Report(soSenderLimited);
    EXPECT_EQ(sender.Result(), srSenderLimited);
    sender.Report(soHeld); // after the end nothing changes
    EXPECT_EQ(sender.Steps(), 1U);

    TCapacitySearch stopped(1000, 8000);
    stopped.Report(soHeld);
    stopped.Stop();
    EXPECT_EQ(stopped.Result(), srNotSettled);
    EXPECT_EQ(stopped.Held(), 1000);
    EXPECT_STREQ(SearchResultName(stopped.Result()), "not_settled");
}

} // namespace
