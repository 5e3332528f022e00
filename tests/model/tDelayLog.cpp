// SPDX-License-Identifier: GPL-3.0-or-later
// The delay figures beside a result log: the line format, the file that
// follows its log when a new store keeps the previous one, and the lines
// placed on a view's time axis.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "uDelayLog.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A line with a delay p99 and a round trip, the other figures unknown.
TDelayLogLine Line(char side, std::uint32_t reportTime, std::optional<double> p99,
                   std::optional<double> rtt) {
    TDelayLogLine line;
    line.Side = side;
    line.ReportTime = reportTime;
    line.DelayP99Us = p99;
    line.RttP50Us = rtt;
    return line;
}

TSample Point(std::uint32_t x, std::uint32_t reportTime) {
    TSample p;
    p.X = x;
    p.ReportTime = reportTime;
    return p;
}

TEST(DelayLog, LinesRoundTripAndUnknownFiguresStayEmpty) {
    TDelayFigures figures;
    figures.Known = true;
    figures.Delay = TDelayQuantiles{1234.4, 3999.6, 4100.0, 80};
    figures.JitterUs = 310.2;
    const auto toRemote = MakeDelayLogLine(kSideRemote, 4'294'967'000u, figures);
    ASSERT_TRUE(toRemote);
    EXPECT_EQ(FormatDelayLogLine(*toRemote), "R,4294967000,1234,4000,4100,310,,");
    figures.Rtt = TDelayQuantiles{20'050.0, 21'000.0, 22'000.0, 40};
    const auto toLocal = MakeDelayLogLine(kSideLocal, 7, figures);
    ASSERT_TRUE(toLocal);
    const auto parsed = ParseDelayLogLine(FormatDelayLogLine(*toLocal));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Side, kSideLocal);
    EXPECT_EQ(parsed->ReportTime, 7u);
    EXPECT_EQ(parsed->DelayP99Us, 4000.0);
    EXPECT_EQ(parsed->RttP50Us, 20'050.0);
    // A tick without figures writes no line.
    TDelayFigures none;
    none.Known = true;
    EXPECT_FALSE(MakeDelayLogLine(kSideLocal, 9, none));
}

TEST(DelayLog, LinesThatDoNotParseAreRefused) {
    const char* const bad[] = {
        "",                          // empty
        "X,1,2,3,4,5,6,7",           // not a side
        "LL,1,2,3,4,5,6,7",          // not one letter
        "L,1,2,3,4,5,6",             // a field short
        "L,-1,2,3,4,5,6,7",          // a negative time
        "L,1,2,3x,4,5,6,7",          // not a number
        "L,99999999999,2,3,4,5,6,7", // a time beyond 32 bits
        "R,1,2,3,4,5,6,1e5",         // no exponents
    };
    for (const char* text : bad)
        EXPECT_FALSE(ParseDelayLogLine(text)) << '"' << text << '"';
    // More fields at the end (a later version) and a CR line end are fine.
    EXPECT_TRUE(ParseDelayLogLine("L,1,2,3,4,5,6,7,8,9\r"));
    EXPECT_TRUE(ParseDelayLogLine("R,1,,,,,,"));
}

class DelayLogFiles : public testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("ravelox-delaylog-" + std::to_string(getpid()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    fs::path m_dir;
};

// The file goes with its log: kept beside a kept log, removed when the log
// it described is gone, so no log ever shows another one's delay.
TEST_F(DelayLogFiles, ThePreviousFileFollowsItsLogOrGoes) {
    const std::string log = Path("ravelox.log");
    EXPECT_EQ(DelayLogPath(log), Path("ravelox.delay"));
    const TDelayLogLine line = Line(kSideLocal, 1000, std::nullopt, 20000.0);
    {
        TDelayLog delays;
        ASSERT_TRUE(delays.Open(log, "").Ok());
        ASSERT_TRUE(delays.Write(line).Ok());
    }
    ASSERT_EQ(ReadDelayLog(log), std::vector<TDelayLogLine>{line});

    // A new store that kept the previous log as ravelox-1.log.
    {
        TDelayLog delays;
        ASSERT_TRUE(delays.Open(log, Path("ravelox-1.log")).Ok());
    }
    EXPECT_EQ(ReadDelayLog(Path("ravelox-1.log")), std::vector<TDelayLogLine>{line});
    EXPECT_TRUE(ReadDelayLog(log).empty());

    // A store whose previous log was empty (not kept): the old figures go.
    fs::copy_file(DelayLogPath(Path("ravelox-1.log")), DelayLogPath(log),
                  fs::copy_options::overwrite_existing);
    {
        TDelayLog delays;
        ASSERT_TRUE(delays.Open(log, "").Ok());
    }
    EXPECT_TRUE(ReadDelayLog(log).empty());
    EXPECT_EQ(ReadAll(DelayLogPath(log)).rfind("# Ravelox delay figures 1:", 0), 0u);
    // A log without the file (written before the delay figures) has none.
    EXPECT_TRUE(ReadDelayLog(Path("old.log")).empty());
}

TEST_F(DelayLogFiles, AFileThatCannotBeCreatedSaysSo) {
    const std::string log = Path("missing/ravelox.log");
    TDelayLog delays;
    const TLogResult opened = delays.Open(log, "");
    EXPECT_EQ(opened.Status, lsOpenFailed);
    EXPECT_NE(opened.Message.find("ravelox.delay"), std::string::npos) << opened.Message;
    EXPECT_FALSE(delays.Storing());
    EXPECT_TRUE(delays.Write(Line(kSideLocal, 1, 2.0, 3.0)).Ok())
        << "nothing to write to is no failure";
}

// Lines stand where the view put the records of the same report time, also
// across the 32-bit wrap of report times.
TEST(DelayLog, ViewPointsFollowTheViewsTimeAxis) {
    TLogView view;
    view.HasData = true;
    view.Points = {Point(500, 4'294'967'000u), Point(1500, 704u)};
    const std::vector<TDelayLogLine> lines = {
        Line(kSideLocal, 4'294'967'000u, std::nullopt, 1.0),
        Line(kSideRemote, 4'294'967'100u, 2.0, std::nullopt),
        Line(kSideLocal, 704u, std::nullopt, 3.0),
        Line(kSideLocal, 4'294'966'000u, std::nullopt, 4.0), // before the view
    };
    const auto local = DelayViewPoints(lines, kSideLocal, view);
    ASSERT_EQ(local.size(), 3u);
    EXPECT_DOUBLE_EQ(local[0].Minutes, 500.0 / 60000.0);
    EXPECT_DOUBLE_EQ(local[1].Minutes, 1500.0 / 60000.0);
    EXPECT_DOUBLE_EQ(local[2].Minutes, 500.0 / 60000.0);
    EXPECT_EQ(DelayViewPoints(lines, kSideRemote, view).size(), 1u);
    EXPECT_TRUE(DelayViewPoints(lines, kSideLocal, TLogView{}).empty());
}

} // namespace
