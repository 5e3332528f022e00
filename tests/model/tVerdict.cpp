// SPDX-License-Identifier: GPL-3.0-or-later
#include "uVerdict.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// 10 s of 1000-byte datagrams: 125000 bytes per second this host -> peer
// with 20 of 1270 lost at the peer (1250 arrived), and 62500 bytes per
// second peer -> this host with nothing lost.
TVerdictInput TenSeconds() {
    TStatBlock local;
    local.BytesSent = 1270000.0F;
    local.BytesReceived = 625000.0F;
    TStatBlock remote;
    remote.BytesSent = 625000.0F;
    remote.BytesReceived = 1250000.0F;
    remote.Lost = 20;
    TVerdictInput input;
    input.Summary = *UpdateSummary(local, remote, 10000);
    input.LocalLength = 1000;
    input.RemoteLength = 1000;
    return input;
}

TEST(Verdict, LossIsCountedInDatagramsOfTheSendersLength) {
    const TVerdictInput input = TenSeconds();
    ASSERT_TRUE(LossPercent(input, vdLocal).has_value());
    EXPECT_NEAR(*LossPercent(input, vdLocal), 20.0 / 1270.0 * 100.0, 1e-6);
    EXPECT_DOUBLE_EQ(*LossPercent(input, vdRemote), 0.0);
    EXPECT_DOUBLE_EQ(ArrivedKbps(input, vdLocal), 1000.0);
    EXPECT_DOUBLE_EQ(ArrivedKbps(input, vdRemote), 500.0);
    // Nothing went that way: no figure rather than 0 % lost.
    TVerdictInput silent = input;
    silent.Summary.LR = 0.0;
    EXPECT_FALSE(LossPercent(silent, vdRemote).has_value());
}

struct VerdictCase {
    const char* name;
    TThreshold threshold;
    bool held;
};

class VerdictTable : public testing::TestWithParam<VerdictCase> {};

TEST_P(VerdictTable, EachThresholdHoldsOrFailsOnItsOwn) {
    const VerdictCase& c = GetParam();
    const TVerdict verdict = CheckThresholds({c.threshold}, TenSeconds());
    ASSERT_EQ(verdict.Checks.size(), 1U);
    EXPECT_EQ(verdict.Checks[0].Held, c.held);
    EXPECT_TRUE(verdict.Checks[0].Measured.has_value());
    EXPECT_EQ(verdict.Passed(), c.held);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VerdictTable,
    testing::Values(VerdictCase{"LossUnderTheLimit", {tkMaxLoss, vdLocal, 2.0}, true},
                    VerdictCase{"LossOverTheLimit", {tkMaxLoss, vdLocal, 1.0}, false},
                    VerdictCase{"NoLossAtZeroLimit", {tkMaxLoss, vdRemote, 0.0}, true},
                    VerdictCase{"RateAtTheLimitHolds", {tkMinRate, vdLocal, 1000.0}, true},
                    VerdictCase{"RateBelowTheLimit", {tkMinRate, vdRemote, 501.0}, false},
                    VerdictCase{"RateAboveTheLimit", {tkMinRate, vdRemote, 400.0}, true}),
    [](const testing::TestParamInfo<VerdictCase>& info) { return std::string(info.param.name); });

TEST(Verdict, OneFailedCheckFailsTheWholeAndAnUntestedDirectionNeverHolds) {
    TVerdictInput input = TenSeconds();
    const std::vector<TThreshold> thresholds{{tkMinRate, vdLocal, 900.0},
                                             {tkMaxLoss, vdLocal, 1.0}};
    const TVerdict verdict = CheckThresholds(thresholds, input);
    EXPECT_TRUE(verdict.Checks[0].Held);
    EXPECT_FALSE(verdict.Checks[1].Held);
    EXPECT_FALSE(verdict.Passed());
    EXPECT_EQ(VerdictCheckText(verdict.Checks[1]),
              "FAILED: loss this host -> peer 1.57 % (at most 1 %)");
    EXPECT_EQ(VerdictCheckText(verdict.Checks[0]),
              "held: arrived this host -> peer 1 Mbit/s (at least 0.9 Mbit/s)");

    input.RemoteTested = false;
    const TVerdict untested = CheckThresholds({{tkMinRate, vdRemote, 1.0}}, input);
    EXPECT_FALSE(untested.Checks[0].Measured.has_value());
    EXPECT_FALSE(untested.Passed());
    EXPECT_EQ(VerdictCheckText(untested.Checks[0]),
              "FAILED: arrived peer -> this host not measured (at least 0.001 Mbit/s)");
    EXPECT_TRUE(CheckThresholds({}, input).Passed());
}

} // namespace
