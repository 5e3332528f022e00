// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "uConfig.h"
#include "uSpeedStr.h"

namespace {

struct SpeedCase {
    bool bytesPerSecond; // SpeedResToStr instead of SpeedToStr
    std::int32_t value;
    const char* text;
};

class SpeedText : public testing::TestWithParam<SpeedCase> {};

TEST_P(SpeedText, PrintsMegabitsWithShrinkingDecimalsAndTwoBlanks) {
    const auto& c = GetParam();
    EXPECT_EQ(c.bytesPerSecond ? SpeedResToStr(c.value) : SpeedToStr(c.value), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpeedText,
    testing::Values(SpeedCase{false, 100, "0.10 Mbps  "}, SpeedCase{false, 1000, "1.00 Mbps  "},
                    SpeedCase{false, 9999, "10.00 Mbps  "}, SpeedCase{false, 10000, "10.0 Mbps  "},
                    SpeedCase{false, 30000, "30.0 Mbps  "}, SpeedCase{false, 99999, "100.0 Mbps  "},
                    SpeedCase{false, 100000, "100 Mbps  "},
                    SpeedCase{false, 1000000, "1000 Mbps  "}, SpeedCase{false, 0, ""},
                    SpeedCase{false, -5, ""}, SpeedCase{true, 125000, "1.00 Mbps  "},
                    SpeedCase{true, 1250, "0.01 Mbps  "}, SpeedCase{true, 12, "0.00 Mbps  "},
                    SpeedCase{true, 0, ""}, SpeedCase{true, -1, ""},
                    SpeedCase{true, 2147483647, "17180 Mbps  "}),
    [](const auto& info) {
        const auto& c = info.param;
        return std::string(c.bytesPerSecond ? "Res_" : "Kbps_") + (c.value < 0 ? "minus" : "") +
               std::to_string(c.value < 0 ? -static_cast<long>(c.value) : c.value);
    });

TEST(SpeedTextUnit, FollowsTheTranslatedUnitWordOfAnyLength) {
    const std::string saved = Str_Mbps;
    Str_Mbps = "Mbit/s";
    EXPECT_EQ(SpeedToStr(1000), "1.00 Mbit/s  ");
    Str_Mbps = std::string(200, 'x');
    EXPECT_EQ(SpeedToStr(100000), "100 " + std::string(200, 'x') + "  ");
    Str_Mbps = saved;
}

TEST(TestSettings, CompiledInDefaults) {
    const TCfgOpt opt;
    EXPECT_EQ(opt.TimerPeriod, 10);
    EXPECT_EQ(opt.InfoTime, 200);
    EXPECT_EQ(opt.ViewTime, 1000);
    EXPECT_EQ(opt.GraphTime, 30);
    EXPECT_EQ(opt.Port, 2222);
    EXPECT_EQ(opt.SockRecvBuf, 256 * 1024);
    EXPECT_EQ(opt.SockSendBuf, 256 * 1024);
    EXPECT_EQ(opt.PeerSilence, 10);
    EXPECT_EQ(opt.PeerMaxSpeed, 0);
    EXPECT_EQ(opt.PeerMaxSendTime, 0);
    EXPECT_EQ(opt.PeerAllow, "");
    const TCfg cfg;
    EXPECT_EQ(cfg.LocalSpeed, 1000);
    EXPECT_EQ(cfg.RemoteSpeed, 1000);
    EXPECT_EQ(cfg.MaxSpeed, 1000);
    EXPECT_EQ(cfg.SizeOfPacket, 1450);
    EXPECT_EQ(cfg.RemotePacket, 1000);
    EXPECT_EQ(cfg.MaxPacket, 0);
    EXPECT_EQ(kDefaultColors[coSend], 16711680);
    EXPECT_EQ(kDefaultColors[coRecv], 32768);
    EXPECT_EQ(kDefaultColors[coErrp], 255);
    EXPECT_EQ(co__Count, 3);
}

} // namespace
