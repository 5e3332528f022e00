// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliVerdict.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

TEST(CliThresholds, PercentTakesASignOrNoneAndRefusesTheRest) {
    EXPECT_DOUBLE_EQ(ParsePercent("0.1%", "--max-loss"), 0.1);
    EXPECT_DOUBLE_EQ(ParsePercent("2", "--max-loss"), 2.0);
    EXPECT_DOUBLE_EQ(ParsePercent("0", "--max-loss"), 0.0);
    for (const char* bad : {"", "%", "x", "1%%", "0.1 %", "-1", "101", "nan"})
        EXPECT_THROW(ParsePercent(bad, "--max-loss"), ECliArgError) << bad;
}

TEST(CliThresholds, DelayTakesAUnitOrMillisecondsAndRefusesTheRest) {
    EXPECT_DOUBLE_EQ(ParseDelay("50ms", "--max-rtt"), 50000.0);
    EXPECT_DOUBLE_EQ(ParseDelay("500us", "--max-rtt"), 500.0);
    EXPECT_DOUBLE_EQ(ParseDelay("0.05s", "--max-rtt"), 50000.0);
    EXPECT_DOUBLE_EQ(ParseDelay("2.5", "--max-jitter"), 2500.0);
    for (const char* bad : {"", "ms", "s", "0", "-1ms", "5 ms", "5m", "61s", "nan", "1e3"})
        EXPECT_THROW(ParseDelay(bad, "--max-rtt"), ECliArgError) << bad;
}

struct ThresholdCase {
    const char* name;
    TCliThresholdArgs args;
    tCliDirection direction;
    std::vector<TThreshold> expected;
};

class CliThresholdTable : public testing::TestWithParam<ThresholdCase> {};

TEST_P(CliThresholdTable, OptionsBecomeOneThresholdPerDirection) {
    EXPECT_EQ(ParseThresholds(GetParam().args, GetParam().direction), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliThresholdTable,
    testing::Values(ThresholdCase{"None", {}, cdBoth, {}},
                    ThresholdCase{"LossBothWays",
                                  {"0.5%", "", "", "", "", ""},
                                  cdBoth,
                                  {{tkMaxLoss, vdLocal, 0.5}, {tkMaxLoss, vdRemote, 0.5}}},
                    ThresholdCase{"RateOnlyWhereSent",
                                  {"", "10M", "", "", "", ""},
                                  cdRemote,
                                  {{tkMinRate, vdRemote, 10000}}},
                    ThresholdCase{"RatePerDirection",
                                  {"", "", "8M", "1.5M", "", ""},
                                  cdBoth,
                                  {{tkMinRate, vdLocal, 8000}, {tkMinRate, vdRemote, 1500}}},
                    ThresholdCase{"RttOnceJitterPerDirection",
                                  {"", "", "", "", "40ms", "2ms"},
                                  cdBoth,
                                  {{tkMaxRtt, vdRoundTrip, 40000},
                                   {tkMaxJitter, vdLocal, 2000},
                                   {tkMaxJitter, vdRemote, 2000}}},
                    ThresholdCase{"JitterOnlyWhereSent",
                                  {"", "", "", "", "", "300us"},
                                  cdLocal,
                                  {{tkMaxJitter, vdLocal, 300}}}),
    [](const testing::TestParamInfo<ThresholdCase>& info) { return std::string(info.param.name); });

TEST(CliThresholds, AThresholdForADirectionNotSentInIsRefused) {
    TCliThresholdArgs args;
    args.MinRateRemote = "1M";
    EXPECT_THROW(ParseThresholds(args, cdLocal), ECliArgError);
    args = {};
    args.MinRate = "0";
    EXPECT_THROW(ParseThresholds(args, cdBoth), ECliArgError);
}

TEST(CliThresholds, VerdictJsonNamesEveryCheckWithUnitsInItsKeys) {
    TVerdict verdict;
    verdict.Checks.push_back({{tkMaxLoss, vdRemote, 0.1}, 0.25, false, false});
    verdict.Checks.push_back({{tkMinRate, vdLocal, 5000}, std::nullopt, false, false});
    verdict.Checks.push_back({{tkMaxRtt, vdRoundTrip, 40000}, std::nullopt, false, true});
    const nlohmann::json j = VerdictJson(verdict);
    EXPECT_FALSE(j.at("passed").get<bool>());
    ASSERT_EQ(j.at("checks").size(), 3U);
    const nlohmann::json& loss = j.at("checks")[0];
    EXPECT_EQ(loss.at("name"), "max_loss");
    EXPECT_EQ(loss.at("direction"), "remote");
    EXPECT_DOUBLE_EQ(loss.at("limit_pct").get<double>(), 0.1);
    EXPECT_DOUBLE_EQ(loss.at("measured_pct").get<double>(), 0.25);
    EXPECT_FALSE(loss.at("held").get<bool>());
    EXPECT_TRUE(loss.at("reason").is_null());
    EXPECT_TRUE(j.at("checks")[1].at("measured_kbps").is_null());
    const nlohmann::json& rtt = j.at("checks")[2];
    EXPECT_EQ(rtt.at("name"), "max_rtt");
    EXPECT_EQ(rtt.at("direction"), "round_trip");
    EXPECT_DOUBLE_EQ(rtt.at("limit_us").get<double>(), 40000.0);
    EXPECT_TRUE(rtt.at("measured_us").is_null());
    EXPECT_EQ(rtt.at("reason"), "no_delay_extension");
    const std::vector<std::string> lines = VerdictText(verdict);
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(lines[0], "Verdict: FAILED, 0 of 3 thresholds held");
}

} // namespace
