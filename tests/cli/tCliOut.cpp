// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>

#include <gtest/gtest.h>

#include "uCliOut.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// 1 % lost from the peer to this host, nothing lost the other way: the
// figures the Centre panel computes for 10 s of 125000 bytes per second.
TSummary LossySummary() {
    TStatBlock local;
    local.BytesSent = 1250000.0F;
    local.BytesReceived = 1237500.0F;
    local.Lost = 86;
    TStatBlock remote;
    remote.BytesSent = 1250000.0F;
    remote.BytesReceived = 1250000.0F;
    return *UpdateSummary(local, remote, 10000);
}

TEST(CliSummary, JsonCarriesTheCentrePanelFiguresInKilobits) {
    const nlohmann::json j = SummaryJson(LossySummary()).at("summary");
    EXPECT_DOUBLE_EQ(j.at("local_output_kbps").get<double>(), 1000.0);
    EXPECT_DOUBLE_EQ(j.at("local_input_kbps").get<double>(), 990.0);
    EXPECT_DOUBLE_EQ(j.at("remote_output_kbps").get<double>(), 1000.0);
    EXPECT_DOUBLE_EQ(j.at("remote_input_kbps").get<double>(), 1000.0);
    EXPECT_NEAR(j.at("local_quality_pct").get<double>(), 99.0, 1e-9);
    EXPECT_DOUBLE_EQ(j.at("remote_quality_pct").get<double>(), 100.0);
    EXPECT_NEAR(j.at("quality_pct").get<double>(), 99.0, 1e-9);
    EXPECT_EQ(j.at("local_lost").get<int>(), 86);
    EXPECT_EQ(j.at("remote_lost").get<int>(), 0);
    EXPECT_NEAR(j.at("local_lost_per_s").get<double>(), 8.6, 1e-9);
    EXPECT_DOUBLE_EQ(j.at("bandwidth_kbps").get<double>(), 1990.0);
    EXPECT_EQ(j.at("elapsed_ms").get<int>(), 10000);
    EXPECT_EQ(j.at("texts").at("local_quality").get<std::string>(), "99%");
    EXPECT_EQ(j.at("texts").at("local_errors").get<std::string>(), "8.6");
    EXPECT_EQ(j.at("texts").at("local_send").get<std::string>(), "1.00 Mbps");
}

TEST(CliSummary, QualitiesAreNullWhereThePanelShowsNothing) {
    TStatBlock local;
    local.BytesSent = 1250000.0F; // this host sends, the peer receives nothing
    const nlohmann::json j = SummaryJson(*UpdateSummary(local, TStatBlock{}, 10000)).at("summary");
    EXPECT_TRUE(j.at("local_quality_pct").is_null());
    EXPECT_TRUE(j.at("remote_quality_pct").is_null());
    EXPECT_TRUE(j.at("quality_pct").is_null());
    EXPECT_DOUBLE_EQ(j.at("bandwidth_kbps").get<double>(), 0.0);
    // One JSON object on one line.
    EXPECT_FALSE(Contains(JsonLine(SummaryJson(LossySummary())), "\n"));
}

TEST(CliSummary, TextShowsBothDirectionsWithTheSpeedTexts) {
    const std::vector<std::string> lines = SummaryText(LossySummary());
    ASSERT_EQ(lines.size(), 5U); // the last: receive-buffer drops
    EXPECT_EQ(lines[0], "Summary over 10.00 s");
    EXPECT_TRUE(Contains(lines[1], "sent 1.00 Mbps, peer received 1.00 Mbps, quality 100%, lost 0"))
        << lines[1];
    EXPECT_TRUE(Contains(lines[2], "received 0.99 Mbps, quality 99%, lost 86 (8.6/s)")) << lines[2];
    EXPECT_TRUE(Contains(lines[3], "bandwidth 1.99 Mbps, quality 99%")) << lines[3];
}

struct DropsCase {
    const char* name;
    TCliDrops drops;
    bool hint;
    const char* text; // the summary's drops line
};

class CliDrops : public testing::TestWithParam<DropsCase> {};

// LossySummary lost 86 from the peer to this host and none the other way.
TEST_P(CliDrops, SummaryShowsTheDropsAndSaysWhenTheyExplainTheLoss) {
    const DropsCase& c = GetParam();
    const nlohmann::json j = SummaryJson(LossySummary(), c.drops).at("summary");
    EXPECT_EQ(j.at("local_rcvbuf_drops"),
              c.drops.Local ? nlohmann::json(*c.drops.Local) : nlohmann::json());
    EXPECT_EQ(j.at("remote_rcvbuf_drops"),
              c.drops.Remote ? nlohmann::json(*c.drops.Remote) : nlohmann::json());
    const std::vector<std::string> lines = SummaryText(LossySummary(), c.drops);
    EXPECT_TRUE(Contains(lines.at(4), c.text)) << lines.at(4);
    const bool hinted = lines.size() > 5 && Contains(lines.at(5), "raise the receive buffer with "
                                                                  "--recv-buf or the Network "
                                                                  "settings");
    EXPECT_EQ(hinted, c.hint);
    EXPECT_EQ(RcvbufHint(LossySummary(), c.drops).empty(), !c.hint);
}

INSTANTIATE_TEST_SUITE_P(
    Summary, CliDrops,
    testing::Values(DropsCase{"unknown", {}, false, "this host ?, peer ?"},
                    DropsCase{"all_drops", {86, 0}, true, "this host 86, peer 0"},
                    DropsCase{"half", {43, std::nullopt}, true, "this host 43, peer ?"},
                    DropsCase{"few", {10, 0}, false, "this host 10, peer 0"},
                    // Drops where nothing was lost explain nothing.
                    DropsCase{"peer_without_loss", {0, 50}, false, "this host 0, peer 50"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliInterval, DropsShowPerSideAndUnknownAsSuch) {
    TCliInterval interval;
    interval.Local.RcvbufDrops = 12;
    const std::string text = IntervalText(interval);
    EXPECT_TRUE(Contains(text, "drops    12")) << text;
    EXPECT_TRUE(Contains(text, "drops     ?")) << text;
    const nlohmann::json j = IntervalJson(interval).at("interval");
    EXPECT_EQ(j.at("local").at("rcvbuf_drops").get<int>(), 12);
    EXPECT_TRUE(j.at("remote").at("rcvbuf_drops").is_null());
}

TEST(CliInterval, TextAndJsonShowBothSides) {
    TCliInterval interval;
    interval.TimeMs = 2500;
    interval.Local = {10000, 0, 0, 0, true, std::nullopt, {}};
    interval.Remote = {0, 9900, 12, 1, true, std::nullopt, {}};
    const std::string text = IntervalText(interval);
    EXPECT_TRUE(Contains(text, "2.5 s")) << text;
    EXPECT_TRUE(Contains(text, "Local out 10.0 Mbps")) << text;
    EXPECT_TRUE(Contains(text, "in -")) << text;
    EXPECT_TRUE(Contains(text, "Remote out -")) << text;
    EXPECT_TRUE(Contains(text, "in 9.90 Mbps")) << text;
    EXPECT_TRUE(Contains(text, "lost    12 bad   1")) << text;

    const nlohmann::json j = IntervalJson(interval).at("interval");
    EXPECT_EQ(j.at("t_ms").get<int>(), 2500);
    EXPECT_EQ(j.at("local").at("output_kbps").get<int>(), 10000);
    EXPECT_EQ(j.at("remote").at("input_kbps").get<int>(), 9900);
    EXPECT_EQ(j.at("remote").at("lost").get<int>(), 12);
    EXPECT_EQ(j.at("remote").at("bad").get<int>(), 1);
    EXPECT_TRUE(j.at("remote").at("reported").get<bool>());
}

// Delay figures: measured ones in microseconds (ms in the text), unknown
// ones null and "-", never 0.
TEST(CliDelay, IntervalShowsMeasuredFiguresAndUnknownAsSuch) {
    TCliInterval interval;
    TDelayFigures& here = interval.Local.Delay;
    here.Known = true;
    here.Late = 3;
    here.Duplicate = 1;
    here.Delay = TDelayQuantiles{1500.0, 2234.5, 4000.0, 900};
    here.JitterUs = 250.04;
    here.Rtt = TDelayQuantiles{40123.4, 41000.0, 45000.0, 20};
    const std::string text = IntervalText(interval);
    EXPECT_TRUE(Contains(text, "late   3 dup   1 jitter   250 us d99  2.23 ms")) << text;
    EXPECT_TRUE(Contains(text, "rtt 40.1 ms")) << text;
    EXPECT_TRUE(Contains(text, "late   - dup   - jitter        - d99        -")) << text;

    const nlohmann::json j = IntervalJson(interval).at("interval");
    EXPECT_DOUBLE_EQ(j.at("rtt_p50_us").get<double>(), 40123.4);
    EXPECT_DOUBLE_EQ(j.at("local").at("delay_p99_us").get<double>(), 2234.5);
    EXPECT_DOUBLE_EQ(j.at("local").at("jitter_us").get<double>(), 250.0);
    EXPECT_EQ(j.at("local").at("late").get<int>(), 3);
    for (const char* key :
         {"late", "duplicate", "jitter_us", "delay_p50_us", "delay_p99_us", "delay_max_us"})
        EXPECT_TRUE(j.at("remote").at(key).is_null()) << key;

    interval.Local.Delay = {};
    const nlohmann::json none = IntervalJson(interval).at("interval");
    EXPECT_TRUE(none.at("rtt_p50_us").is_null());
    EXPECT_TRUE(Contains(IntervalText(interval), "rtt -"));
}

TEST(CliDelay, SummaryHasBothDirectionsAndSaysWhenThePeerDoesNotReport) {
    TCliDelays delays;
    delays.Local.Known = true;
    delays.Local.Lost = 2;
    delays.Local.Delay = TDelayQuantiles{100.0, 900.0, 1200.0, 5000};
    delays.Local.JitterUs = 30.0;
    delays.Local.Rtt = TDelayQuantiles{40000.0, 42000.0, 50000.0, 70};
    const nlohmann::json j = SummaryJson(LossySummary(), {}, delays).at("summary");
    EXPECT_DOUBLE_EQ(j.at("rtt_p99_us").get<double>(), 42000.0);
    EXPECT_DOUBLE_EQ(j.at("local_delay_p99_us").get<double>(), 900.0);
    EXPECT_EQ(j.at("local_never_arrived").get<int>(), 2);
    EXPECT_TRUE(j.at("remote_delay_p99_us").is_null());
    EXPECT_TRUE(j.at("remote_late").is_null());
    EXPECT_FALSE(j.at("peer_delay_extension").get<bool>());

    const std::vector<std::string> lines = SummaryText(LossySummary(), {}, delays);
    const std::string all = [&] {
        std::string a;
        for (const auto& l : lines)
            a += l + "\n";
        return a;
    }();
    EXPECT_TRUE(Contains(all, "this host -> peer: delay -; late -")) << all;
    EXPECT_TRUE(Contains(all,
                         "peer -> this host: delay above the minimum median 100 us, p99 900 "
                         "us, max 1.2 ms, jitter 30 us; late 0, duplicates 0, never arrived 2"))
        << all;
    EXPECT_TRUE(Contains(all, "round trip: median 40 ms, p99 42 ms, max 50 ms (70 samples)"))
        << all;
    EXPECT_TRUE(Contains(all, "the peer does not report delay")) << all;
    // Without delay figures (view mode) the summary is as before.
    EXPECT_FALSE(SummaryJson(LossySummary()).at("summary").contains("rtt_p50_us"));
}

TEST(CliLookup, ListsEveryCopyOrSaysNoneAnswered) {
    EXPECT_EQ(LookupText({}), std::vector<std::string>{"No copy answered the lookup"});
    const std::vector<TCliFound> found{{"198.18.0.2", 2222}, {"198.18.0.3", 2222}};
    const std::vector<std::string> lines = LookupText(found);
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_EQ(lines[0], "2 copies answered:");
    EXPECT_EQ(lines[2], "  198.18.0.3 port 2222");
    const nlohmann::json j = LookupJson(found).at("lookup");
    EXPECT_EQ(j.at("count").get<int>(), 2);
    EXPECT_EQ(j.at("found").at(1).at("address").get<std::string>(), "198.18.0.3");
}

} // namespace
