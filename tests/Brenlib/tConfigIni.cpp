// SPDX-License-Identifier: GPL-3.0-or-later
// The test settings (options, colours, current values) in the settings store.
#include "tStoreFixture.h"
#include "uConfigIni.h"
#include "zUtils.h"

namespace {

class TConfigIniTest : public TStoreTest {
protected:
    void SetUp() override {
        TStoreTest::SetUp();
        CfgOpt = {};
        Cfg = {};
        Colors = kDefaultColors;
    }
};

TEST_F(TConfigIniTest, EmptyStoreGivesTheDefaultsAndCreatesNothing) {
    CfgOpt.Port = -1;
    Cfg.MaxPacket = -1;
    CfgOpt = {};
    Cfg = {};
    EXPECT_EQ(ReadTestSettings(), "");
    EXPECT_EQ(CfgOpt.TimerPeriod, 10);
    EXPECT_EQ(CfgOpt.InfoTime, 200);
    EXPECT_EQ(CfgOpt.ViewTime, 1000);
    EXPECT_EQ(CfgOpt.GraphTime, 30);
    EXPECT_EQ(CfgOpt.Port, 2222);
    EXPECT_EQ(CfgOpt.SockRecvBuf, 262144);
    EXPECT_EQ(CfgOpt.SockSendBuf, 262144);
    EXPECT_EQ(Colors, (TColorArray{0x00FF0000, 0x00008000, 0x000000FF}));
    EXPECT_EQ(Cfg.LocalSpeed, 1000);
    EXPECT_EQ(Cfg.RemoteSpeed, 1000);
    EXPECT_EQ(Cfg.MaxSpeed, 1000);
    EXPECT_EQ(Cfg.SizeOfPacket, 1450);
    EXPECT_EQ(Cfg.RemotePacket, 1000);
    EXPECT_EQ(Cfg.MaxPacket, 0);
    EXPECT_FALSE(Exists(IniPath()));
    EXPECT_FALSE(Exists(Path("user/Brenvik/Quindle.conf")));
}

TEST_F(TConfigIniTest, SaveWritesFileAndPerUserBranch) {
    TCfgOpt::Save();
    TCfg::Save();
    EXPECT_EQ(ReadFile(IniPath()),
              "[Config]\nTimerPeriod=10\nInfoTime=200\nViewTime=1000\nGraphTime=30\nPort=2222\n"
              "SockRecvBuf=262144\nSockSendBuf=262144\nColors=16711680,32768,255\n"
              "PeerSilence=10\nPeerMaxSpeed=0\nPeerMaxSendTime=0\nPeerAllow=\nExtension=1\n"
              "[Current]\nLocalSpeed=1000\nRemoteSpeed=1000\nMaxSpeed=1000\n"
              "SizeOfPacket=1450\nRemotePacket=1000\nMaxPacket=0\n");
    EXPECT_EQ(UserValue("Config/Colors"), "16711680,32768,255");
    EXPECT_EQ(UserValue("Config/Port"), "2222");
    EXPECT_EQ(UserValue("Current/SizeOfPacket"), "1450");
    EXPECT_EQ(MachineValue("Config/Port"), "<absent>");
}

TEST_F(TConfigIniTest, ValuesRoundTripAndRegistryWins) {
    CfgOpt.Port = 3456;
    CfgOpt.TimerPeriod = 2;
    Colors = {1, 2, 3};
    Cfg.LocalSpeed = 250000;
    Cfg.MaxPacket = 64;
    TCfgOpt::Save();
    TCfg::Save();
    RegCurrentUser->WriteString("Config", "Port", "4567");
    RegCurrentUser->WriteString("Current", "LocalSpeed", "777");
    CfgOpt = {};
    Cfg = {};
    Colors = kDefaultColors;
    EXPECT_EQ(ReadTestSettings(), "");
    EXPECT_EQ(CfgOpt.Port, 4567);
    EXPECT_EQ(CfgOpt.TimerPeriod, 2);
    EXPECT_EQ(Colors, (TColorArray{1, 2, 3}));
    EXPECT_EQ(Cfg.LocalSpeed, 777);
    EXPECT_EQ(Cfg.MaxPacket, 64);
}

TEST_F(TConfigIniTest, TwoColoursChangeOnlyTheFirstTwo) {
    WriteFile(IniPath(), "[Config]\nColors=1,2\n");
    TCfgOpt::Read();
    EXPECT_EQ(Colors, (TColorArray{1, 2, 0x000000FF}));
}

// The compiled-in buffer sizes changed; a size stored in a file is kept.
TEST_F(TConfigIniTest, StoredSocketBuffersKeepTheirValues) {
    WriteFile(IniPath(), "[Config]\nSockRecvBuf=8192\nSockSendBuf=4096\n");
    TCfgOpt::Read();
    EXPECT_EQ(CfgOpt.SockRecvBuf, 8192);
    EXPECT_EQ(CfgOpt.SockSendBuf, 4096);
}

TEST_F(TConfigIniTest, HandWrittenFileSurvivesASave) {
    const auto original = ReadFile(RV_SETTINGS_DATA "/handwritten.ini");
    WriteFile(IniPath(), original);
    EXPECT_EQ(ReadTestSettings(), "");
    EXPECT_EQ(CfgOpt.TimerPeriod, 20);
    EXPECT_EQ(CfgOpt.Port, 3000);
    EXPECT_EQ(CfgOpt.InfoTime, 200); // only in the second [Config], which is not read
    EXPECT_EQ(Cfg.LocalSpeed, 5000);
    EXPECT_EQ(Cfg.RemoteSpeed, 250);
    TCfgOpt::Save();
    TCfg::Save();
    const auto saved = ReadFile(IniPath());
    // Every line of the hand-written file is still there, in order, except
    // the two values that were normalised.
    std::string expected = original;
    expected.replace(expected.find("  timerperiod = 20   "), 21, "  timerperiod = 20");
    std::size_t from = 0;
    std::size_t pos = 0;
    while (from < expected.size()) {
        const auto end = expected.find('\n', from);
        const auto line = expected.substr(from, end - from + 1);
        pos = saved.find(line, pos);
        ASSERT_NE(pos, std::string::npos) << "lost: " << line;
        pos += line.size();
        from = end + 1;
    }
    EXPECT_NE(saved.find("[CONFIG]\n  timerperiod = 20\nPort=3000\n; Port=4000 was too high for "
                         "the firewall\nport=9999\nInfoTime=200\n"),
              std::string::npos);
    EXPECT_NE(saved.find("remotespeed=250\nMaxSpeed=1000\n"), std::string::npos);
    EXPECT_EQ(IniMain->ReadSections(),
              (std::vector<std::string>{"CONFIG", "Operator Notes", "current"}));
}

TEST_F(TConfigIniTest, BadNumberGivesAReadableMessageAndKeepsTheRest) {
    WriteFile(IniPath(), "[Current]\nLocalSpeed=5000\nRemoteSpeed=fast\nMaxSpeed=7\n"
                         "[Config]\nPort=3000\n");
    const auto message = ReadTestSettings();
    EXPECT_EQ(message, "Settings file " + IniPath() +
                           ": [Current] RemoteSpeed: 'fast' is not a valid integer value");
    EXPECT_EQ(Cfg.LocalSpeed, 5000);
    EXPECT_EQ(Cfg.RemoteSpeed, 1000);
    EXPECT_EQ(Cfg.MaxSpeed, 1000);
    EXPECT_EQ(CfgOpt.Port, 2222);
    EXPECT_THROW(TCfg::Read(), EConvertError);
}

} // namespace
