// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliSearch.h"

#include <string>

#include <gtest/gtest.h>

namespace {

// One second of 1000-byte datagrams asked at 8 Mbit/s: 1000 a second.
TStepFigures Step(double sent, double arrived, std::int64_t lost,
                  std::optional<std::uint32_t> drops) {
    TStepFigures f;
    f.RateKbps = 8000;
    f.SentKbps = sent;
    f.ArrivedKbps = arrived;
    f.Lost = lost;
    f.RcvbufDrops = drops;
    f.Length = 1000;
    f.ElapsedMs = 1000;
    return f;
}

struct JudgeCase {
    const char* name;
    TStepFigures figures;
    tStepOutcome outcome;
    double channelLossPct;
};

class CliSearchJudge : public testing::TestWithParam<JudgeCase> {};

TEST_P(CliSearchJudge, OnlyTheChannelsOwnLossCounts) {
    const JudgeCase& c = GetParam();
    const TStepJudgement j = JudgeStep(c.figures, 0.1);
    EXPECT_EQ(j.Outcome, c.outcome);
    EXPECT_NEAR(j.ChannelLossPct, c.channelLossPct, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliSearchJudge,
    testing::Values(JudgeCase{"NoLoss", Step(8000, 8000, 0, 0), soHeld, 0.0},
                    JudgeCase{"LossAtTheThreshold", Step(8000, 7992, 1, 0), soHeld, 0.1},
                    JudgeCase{"LossOverTheThreshold", Step(8000, 7840, 20, 0), soLost, 2.0},
                    // 20 lost, all of them the receiving socket's: the step says nothing.
                    JudgeCase{"DropsSpoilTheStep", Step(8000, 7840, 20, 20), soBufferBound, 0.0},
                    // A drop below the threshold is taken out of the loss, and the step counts.
                    JudgeCase{"AFewDropsAreTakenOut", Step(8000, 7984, 2, 1), soHeld, 0.1},
                    JudgeCase{"UnknownDropsCountAsChannelLoss", Step(8000, 7840, 20, std::nullopt),
                              soLost, 2.0},
                    JudgeCase{"SenderBelowNinetyPerCent", Step(7000, 7000, 0, 0), soSenderLimited,
                              0.0},
                    JudgeCase{"NothingArrived", Step(8000, 0, 0, 0), soLost, 0.0}),
    [](const testing::TestParamInfo<JudgeCase>& info) { return std::string(info.param.name); });

TEST(CliSearch, TheWorstEndOfEitherDirectionGivesTheExitCode) {
    TSearchPair searches;
    searches[0].emplace(1000, 1000);
    searches[0]->Report(soHeld); // at max
    EXPECT_EQ(SearchExitCode(searches), kExitOk);
    searches[1].emplace(1000, 8000);
    searches[1]->Report(soLost); // nothing held
    EXPECT_EQ(SearchExitCode(searches), kExitNotFound);
    searches[0].emplace(1000, 8000);
    searches[0]->Report(soSenderLimited);
    EXPECT_EQ(SearchExitCode(searches), kExitSenderLimited);
    searches[1].emplace(1000, 8000);
    searches[1]->Report(soBufferBound);
    EXPECT_EQ(SearchExitCode(searches), kExitBufferBound);

    const std::vector<std::string> lines = CapacityText(searches);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_NE(lines[0].find("own sending did not reach"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("raise the receive buffer"), std::string::npos) << lines[1];
    const nlohmann::json j = CapacityJson(searches).at("capacity");
    EXPECT_EQ(j.at("remote").at("result"), "buffer_bound");
    EXPECT_TRUE(j.at("remote").at("capacity_kbps").is_null());
}

} // namespace
