// SPDX-License-Identifier: GPL-3.0-or-later
// respond's limits: the options over the settings file, and what is printed.
#include <string>

#include <gtest/gtest.h>

#include "uCliArgs.h"
#include "uCliLimits.h"
#include "uConfig.h"

namespace {

class CliLimits : public testing::Test {
protected:
    void SetUp() override { CfgOpt = TCfgOpt{}; }
    void TearDown() override { CfgOpt = TCfgOpt{}; }
};

TEST_F(CliLimits, OptionsGoOverTheSettingsAndAreAllOffByDefault) {
    const TbNLimits defaults = ApplyLimitOptions({});
    EXPECT_EQ(defaults.PeerSilence, 10);
    EXPECT_EQ(defaults.MaxSpeed, 0);
    EXPECT_EQ(defaults.MaxSendTime, 0);
    EXPECT_FALSE(defaults.Allow.Active);
    EXPECT_EQ(LimitsText(defaults, 10000),
              "limits: peer silence 10 s, max speed off, max send time off, allow any");

    CfgOpt.PeerMaxSpeed = 2000;
    CfgOpt.PeerAllow = "10.0.0.0/8";
    TCliLimitOptions options;
    options.MaxSpeed = 1'000'000;
    options.MaxSendTime = 600;
    options.PeerSilence = 0;
    const TbNLimits limits = ApplyLimitOptions(options);
    EXPECT_EQ(limits.MaxSpeed, 1'000'000);
    EXPECT_EQ(limits.MaxSendTime, 600);
    EXPECT_EQ(limits.PeerSilence, 0);
    EXPECT_EQ(LimitsText(limits, 0), "limits: peer silence off, max speed 1000 Mbps, max send "
                                     "time 600 s, allow 10.0.0.0/8");
    const nlohmann::json j = LimitsJson(limits, 0);
    EXPECT_EQ(j.at("max_speed_kbps").get<int>(), 1'000'000);
    EXPECT_EQ(j.at("allow"), nlohmann::json::array({"10.0.0.0/8"}));
    EXPECT_FALSE(j.at("allow_any").get<bool>());
}

TEST_F(CliLimits, AnUnreadableAllowListNamesWhereItCameFrom) {
    CfgOpt.PeerAllow = "10.0.0.0/99";
    try {
        ApplyLimitOptions({});
        FAIL() << "no error";
    } catch (const ECliArgError& error) {
        EXPECT_NE(std::string(error.what()).find("PeerAllow (settings)"), std::string::npos);
    }
    TCliLimitOptions options;
    options.Allow = "10.0.0.0/8,nohost";
    try {
        ApplyLimitOptions(options);
        FAIL() << "no error";
    } catch (const ECliArgError& error) {
        EXPECT_NE(std::string(error.what()).find("--allow: 'nohost'"), std::string::npos)
            << error.what();
    }
}

TEST_F(CliLimits, StopLinesSayWhyAndAfterHowLong) {
    EXPECT_EQ(StopText(nsPeerSilent, 10000, 0), "Peer silent for 10 s: sending stopped");
    EXPECT_EQ(StopText(nsMaxSendTime, 10000, 600),
              "Sending ran for 600 s, the longest allowed: sending stopped");
    EXPECT_EQ(StopJson(nsPeerSilent, 3000, 0).at("stopped").at("seconds").get<int>(), 3);
    EXPECT_EQ(StopJson(nsMaxSendTime, 3000, 600).at("stopped").at("cause"), "max_send_time");
}

} // namespace
