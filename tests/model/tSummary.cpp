// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <limits>

#include "uSpeedStr.h"
#include "uSummary.h"

namespace {

TStatBlock Block(double sent, double received, std::int64_t lost) {
    TStatBlock b;
    b.BytesSent = sent;
    b.BytesReceived = received;
    b.Lost = lost;
    return b;
}

struct TSummaryCase {
    const char* name;
    TStatBlock local;
    TStatBlock remote;
    const char* lQuality;
    const char* lErrors;
    const char* rQuality;
    const char* rErrors;
    double quality; // -1: nothing received
    const char* qualityText;
};
void PrintTo(const TSummaryCase& c, std::ostream* os) {
    *os << c.name;
}

class SummaryTable : public testing::TestWithParam<TSummaryCase> {};

// Ten seconds elapsed throughout; 1.25e6 bytes in 10 s is 125000 bytes/s.
TEST_P(SummaryTable, QualityAndErrorTexts) {
    const TSummaryCase& c = GetParam();
    const auto s = UpdateSummary(c.local, c.remote, 10000);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->LQuality, c.lQuality);
    EXPECT_EQ(s->LErrors, c.lErrors);
    EXPECT_EQ(s->RQuality, c.rQuality);
    EXPECT_EQ(s->RErrors, c.rErrors);
    EXPECT_NEAR(s->Quality, c.quality, 1e-9);
    EXPECT_EQ(s->QualityText, c.qualityText);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SummaryTable,
    testing::Values(TSummaryCase{"NoLoss", Block(1.25e6F, 1.25e6F, 0), Block(1.25e6F, 1.25e6F, 0),
                                 "100%", "", "100%", "", 100.0, "100%"},
                    // 10 of 1000 packets lost from the peer to this host.
                    TSummaryCase{"OnePerCentToHere", Block(1.25e6F, 1.2375e6F, 10),
                                 Block(1.25e6F, 1.25e6F, 0), "99%", "1", "100%", "", 99.0, "99%"},
                    TSummaryCase{"LossToPeer", Block(1.25e6F, 1.25e6F, 0),
                                 Block(1.25e6F, 1.2e6F, 20), "100%", "", "96%", "2", 96.0, "96%"},
                    // More received than the sender reports sent, with losses: 99.9 at most.
                    TSummaryCase{"CounterSkew", Block(1.25e6F, 1.26e6F, 3),
                                 Block(1.25e6F, 1.25e6F, 0), "99.9%", "0.3", "100%", "", 99.9,
                                 "99.9%"},
                    // 0.9996 would print as 100 with three digits although packets were lost.
                    TSummaryCase{"AlmostAll", Block(1.25e6F, 1.2495e6F, 1),
                                 Block(1.25e6F, 1.25e6F, 0), "99.9%", "0.1", "100%", "", 99.9,
                                 "99.9%"},
                    // Losses counted while the peer reports nothing sent: no quality.
                    TSummaryCase{"SenderSilent", Block(0.0F, 1.25e6F, 5), Block(0.0F, 0.0F, 0), "",
                                 "0.5", "", "", 0.0, ""},
                    TSummaryCase{"NothingReceived", Block(1.25e6F, 0.0F, 0), Block(0.0F, 0.0F, 0),
                                 "", "", "", "", -1.0, ""}),
    [](const testing::TestParamInfo<TSummaryCase>& info) { return info.param.name; });

TEST(Summary, EachGroupShowsOneDirectionSendRateAndReceiveRate) {
    // LS 125000, LR 187500, RS 250000, RR 62500 bytes per second.
    const auto s =
        UpdateSummary(Block(1.25e6F, 1.875e6F, 0), Block(2.5e6F, 0.625e6F, 0), 10000).value();
    EXPECT_DOUBLE_EQ(s.LS, 125000.0);
    EXPECT_DOUBLE_EQ(s.LR, 187500.0);
    EXPECT_DOUBLE_EQ(s.RS, 250000.0);
    EXPECT_DOUBLE_EQ(s.RR, 62500.0);
    // This host -> peer: what we sent, what the peer received.
    EXPECT_EQ(s.LSAvrgSpd, "1.00 Mbps  ");
    EXPECT_EQ(s.LRAvrgSpd, "0.50 Mbps  ");
    // Peer -> this host: what the peer sent, what we received.
    EXPECT_EQ(s.RSAvrgSpd, "2.00 Mbps  ");
    EXPECT_EQ(s.RRAvrgSpd, "1.50 Mbps  ");
    EXPECT_DOUBLE_EQ(s.Bandwidth, 250000.0);
    EXPECT_EQ(s.BandwidthText, SpeedResToStr(250000));
    EXPECT_DOUBLE_EQ(BytesPerSecondToKbps(s.Bandwidth), 2000.0);
}

TEST(Summary, NoElapsedTimeKeepsTheLastTexts) {
    EXPECT_FALSE(UpdateSummary(Block(1e6F, 1e6F, 1), Block(1e6F, 1e6F, 1), 0).has_value());
}

TEST(Summary, RemoteTotalsAreDividedByTheLocalElapsedTime) {
    const auto s = UpdateSummary(Block(0, 0, 0), Block(1e6F, 5e5F, 4), 4000).value();
    EXPECT_DOUBLE_EQ(s.RS, 250000.0);
    EXPECT_DOUBLE_EQ(s.RR, 125000.0);
    EXPECT_DOUBLE_EQ(s.RemoteLostPerSecond, 1.0);
    EXPECT_EQ(s.RemoteLost, 4);
    // Nothing sent here to compare with: the peer's quality stays empty.
    EXPECT_EQ(s.RQuality, "");
    EXPECT_EQ(s.QR, 0.0);
}

// A short run whose Remote statistics began a sample (500 ms) before the
// Local ones: both sides carry 1 Mbit/s, and the figures say so.
TEST(Summary, WithItsOwnSpanTheRemoteRatesAndLossesAreOverThatSpan) {
    // 4 s here, 4.5 s on the Remote side: 125000 bytes/s each way.
    const auto s =
        UpdateSummary(Block(5e5, 5e5, 0), Block(5.625e5, 5.625e5, 9), 4000, 4500).value();
    EXPECT_EQ(s.ElapsedMs, 4000u);
    EXPECT_DOUBLE_EQ(s.LS, 125000.0);
    EXPECT_DOUBLE_EQ(s.RS, 125000.0);
    EXPECT_DOUBLE_EQ(s.RR, 125000.0);
    EXPECT_DOUBLE_EQ(s.RemoteLostPerSecond, 2.0);
    EXPECT_EQ(s.RemoteLost, 9);
    EXPECT_EQ(s.LQuality, "100%");
    EXPECT_EQ(s.RQuality, "99.9%") << "received equals sent, with losses";
    // Without a Remote span both divide by the Local one.
    const auto same = UpdateSummary(Block(5e5, 5e5, 0), Block(5.625e5, 5.625e5, 9), 4000, 0);
    EXPECT_DOUBLE_EQ(same.value().RS, 140625.0);
}

TEST(Summary, BandwidthOfTenGigabitBothWaysPassesThirtyTwoBits) {
    // 1.25e9 bytes/s each way for 10 s: the sum, 2.5e9 bytes/s, passes 2^31.
    const auto s = UpdateSummary(Block(1.25e10, 1.25e10, 0), Block(1.25e10, 1.25e10, 0), 10000);
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->BandwidthText, "20000 Mbps  ");
    EXPECT_EQ(s->LSAvrgSpd, "10000 Mbps  ");
    EXPECT_EQ(s->QualityText, "100%");
}

} // namespace
