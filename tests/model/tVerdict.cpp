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

// A peer with the delay extension: a round trip of 12 ms at the 99th
// percentile, 300 us jitter on this host's traffic (measured by the peer),
// 900 us on the peer's.
TVerdictInput WithDelays() {
    TVerdictInput input = TenSeconds();
    input.PeerHasExtension = true;
    input.LocalDelay.Known = true;
    input.LocalDelay.Rtt = TDelayQuantiles{10000.0, 12000.0, 15000.0, 400};
    input.LocalDelay.JitterUs = 900.0;
    input.RemoteDelay.Known = true;
    input.RemoteDelay.JitterUs = 300.0;
    return input;
}

struct DelayCase {
    const char* name;
    TThreshold threshold;
    double measured;
    bool held;
};

class DelayVerdictTable : public testing::TestWithParam<DelayCase> {};

TEST_P(DelayVerdictTable, RttAndJitterAreTakenWhereTheyAreMeasured) {
    const DelayCase& c = GetParam();
    const TVerdict verdict = CheckThresholds({c.threshold}, WithDelays());
    ASSERT_EQ(verdict.Checks.size(), 1U);
    ASSERT_TRUE(verdict.Checks[0].Measured.has_value());
    EXPECT_DOUBLE_EQ(*verdict.Checks[0].Measured, c.measured);
    EXPECT_EQ(verdict.Checks[0].Held, c.held);
    EXPECT_FALSE(verdict.Checks[0].NoExtension);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DelayVerdictTable,
    testing::Values(
        DelayCase{"RttP99AtTheLimit", {tkMaxRtt, vdRoundTrip, 12000.0}, 12000.0, true},
        DelayCase{"RttP99OverTheLimit", {tkMaxRtt, vdRoundTrip, 11000.0}, 12000.0, false},
        // This host -> peer: the peer's figure of this host's traffic.
        DelayCase{"JitterLocalFromThePeer", {tkMaxJitter, vdLocal, 500.0}, 300.0, true},
        DelayCase{"JitterRemoteFromThisHost", {tkMaxJitter, vdRemote, 500.0}, 900.0, false}),
    [](const testing::TestParamInfo<DelayCase>& info) { return std::string(info.param.name); });

TEST(Verdict, ADelayThresholdAgainstAPeerWithoutTheExtensionCannotHold) {
    TVerdictInput input = WithDelays();
    input.PeerHasExtension = false;
    const TVerdict verdict = CheckThresholds(
        {{tkMaxRtt, vdRoundTrip, 1e6}, {tkMaxJitter, vdLocal, 1e6}, {tkMaxLoss, vdLocal, 5.0}},
        input);
    EXPECT_FALSE(verdict.Passed());
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(verdict.Checks[i].NoExtension) << i;
        EXPECT_FALSE(verdict.Checks[i].Held) << i;
        EXPECT_FALSE(verdict.Checks[i].Measured.has_value()) << i;
    }
    EXPECT_TRUE(verdict.Checks[2].Held);
    EXPECT_EQ(VerdictCheckText(verdict.Checks[0]),
              "FAILED: round trip p99 cannot be judged: the peer does not report delay "
              "(at most 1e+03 ms)");

    // With the extension but no figure yet (no echo came back): not measured.
    input.PeerHasExtension = true;
    input.LocalDelay.Rtt.reset();
    const TVerdict unmeasured = CheckThresholds({{tkMaxRtt, vdRoundTrip, 50000.0}}, input);
    EXPECT_FALSE(unmeasured.Checks[0].Held);
    EXPECT_FALSE(unmeasured.Checks[0].NoExtension);
    EXPECT_EQ(VerdictCheckText(unmeasured.Checks[0]),
              "FAILED: round trip p99 not measured (at most 50 ms)");

    // The round trip rides on either direction's traffic.
    input = WithDelays();
    input.LocalTested = false;
    EXPECT_TRUE(CheckThresholds({{tkMaxRtt, vdRoundTrip, 50000.0}}, input).Passed());
}

} // namespace
