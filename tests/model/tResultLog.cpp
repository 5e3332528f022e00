// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include <unistd.h>

#include "uResultLog.h"
#include "uSpeedStr.h"
#include "uSummary.h"

namespace fs = std::filesystem;

namespace {

class LogFiles : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() /
                ("ravelox-model-" + std::to_string(getpid()) + "-" + info->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    std::string WriteBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        const std::string path = Path(name);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    std::string WriteRecords(const std::string& name, const std::vector<TLogRecord>& records) {
        std::vector<std::uint8_t> bytes(records.size() * kLogRecordSize);
        for (std::size_t i = 0; i < records.size(); ++i)
            EncodeLogRecord(records[i], bytes.data() + i * kLogRecordSize);
        return WriteBytes(name, bytes);
    }

    fs::path m_dir;
};

const TLogRecord kSample{'R', 0x1234, 0x01020304, 0xA0B0C0D0, 7};
const std::array<std::uint8_t, 16> kSampleBytes{0x52, 0x00, 0x34, 0x12, 0x04, 0x03, 0x02, 0x01,
                                                0xD0, 0xC0, 0xB0, 0xA0, 0x07, 0x00, 0x00, 0x00};

TEST(LogRecord, SixteenLittleEndianBytesWithAZeroReservedByte) {
    std::array<std::uint8_t, 16> bytes{};
    bytes.fill(0xEE);
    EncodeLogRecord(kSample, bytes.data());
    EXPECT_EQ(bytes, kSampleBytes);
    auto withReserved = kSampleBytes;
    withReserved[1] = 0x99;
    EXPECT_EQ(DecodeLogRecord(withReserved.data()), kSample);
    const TSample s{12345, 900, 800, 3, 61000};
    EXPECT_EQ(MakeLogRecord('L', s), (TLogRecord{'L', 3, 61000, 800, 900}));
}

TEST_F(LogFiles, WrittenLogReadsBackRecordForRecord) {
    const std::string path = Path("Ravelox.log");
    TResultLog log;
    ASSERT_TRUE(log.OpenLog(path).Ok());
    EXPECT_TRUE(log.Storing());
    std::vector<TLogRecord> written{kSample};
    for (std::uint32_t i = 1; i <= 4; ++i)
        written.push_back({i % 2 ? 'L' : 'R', static_cast<std::uint16_t>(i), 1000 * i, 10 * i, i});
    for (const TLogRecord& r : written)
        ASSERT_TRUE(log.WriteSample(r).Ok());
    EXPECT_EQ(log.RecordsWritten(), 5U);
    log.CloseLog();
    EXPECT_FALSE(log.Storing());

    EXPECT_EQ(fs::file_size(path), 5 * kLogRecordSize);
    std::ifstream in(path, std::ios::binary);
    std::array<char, 16> head{};
    in.read(head.data(), head.size());
    EXPECT_EQ(0, std::memcmp(head.data(), kSampleBytes.data(), 16));

    const TLogReadResult read = ReadResultLog(path);
    ASSERT_TRUE(read.Ok()) << read.Message;
    EXPECT_EQ(read.Records, written);
}

TEST_F(LogFiles, AStoreKeepsThePreviousLogUnderItsTime) {
    const std::string path = WriteBytes("Ravelox.log", std::vector<std::uint8_t>(100, 0x4C));
    // 2026-03-04 05:06:07 local time.
    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 2;
    when.tm_mday = 4;
    when.tm_hour = 5;
    when.tm_min = 6;
    when.tm_sec = 7;
    when.tm_isdst = -1;
    const std::time_t now = std::mktime(&when);
    TResultLog log;
    const TLogResult first = log.OpenLog(path, now);
    ASSERT_TRUE(first.Ok()) << first.Message;
    EXPECT_EQ(first.KeptAs, Path("Ravelox-20260304-050607.log"));
    EXPECT_EQ(fs::file_size(first.KeptAs), 100U);
    ASSERT_TRUE(log.WriteSample(kSample).Ok());
    ASSERT_TRUE(log.WriteSample(kSample).Ok());
    // A second store within the same second keeps the first one's log too.
    const TLogResult second = log.OpenLog(path, now);
    ASSERT_TRUE(second.Ok()) << second.Message;
    EXPECT_EQ(second.KeptAs, Path("Ravelox-20260304-050607-2.log"));
    EXPECT_EQ(fs::file_size(second.KeptAs), 2 * kLogRecordSize);
    EXPECT_EQ(fs::file_size(first.KeptAs), 100U);
    log.CloseLog();
    EXPECT_EQ(fs::file_size(path), 0U);
    // An empty log is not worth keeping: it is simply created anew.
    const TLogResult third = log.OpenLog(path, now);
    ASSERT_TRUE(third.Ok());
    EXPECT_TRUE(third.KeptAs.empty());
    log.CloseLog();
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator{}), 3);
}

TEST_F(LogFiles, APreviousLogThatCannotBeKeptIsNotDestroyed) {
    const std::string path = WriteBytes("Ravelox.log", std::vector<std::uint8_t>(32, 0x4C));
    const std::time_t now = 1'700'000'000;
    // The name it would be kept under is taken by a folder with content.
    fs::create_directories(KeptLogName(path, now));
    fs::create_directories(fs::path(KeptLogName(path, now)) / "x");
    for (int n = 2; n < 1000; ++n) {
        const fs::path kept = KeptLogName(path, now);
        const fs::path taken =
            kept.parent_path() / (kept.stem().string() + "-" + std::to_string(n) + ".log");
        fs::create_directories(taken / "x");
    }
    TResultLog log;
    const TLogResult opened = log.OpenLog(path, now);
    EXPECT_EQ(opened.Status, lsKeepFailed) << opened.Message;
    EXPECT_NE(opened.Message.find(path), std::string::npos) << opened.Message;
    EXPECT_FALSE(log.Storing());
    EXPECT_EQ(fs::file_size(path), 32U);
}

TEST(LogRecord, KeptNameCarriesTheLocalTime) {
    std::tm when{};
    when.tm_year = 127;
    when.tm_mon = 11;
    when.tm_mday = 31;
    when.tm_hour = 23;
    when.tm_min = 59;
    when.tm_sec = 58;
    when.tm_isdst = -1;
    const std::time_t t = std::mktime(&when);
    EXPECT_EQ(KeptLogName("/a/b.c/ravelox.log", t), "/a/b.c/ravelox-20271231-235958.log");
    EXPECT_EQ(KeptLogName("/a/result", t), "/a/result-20271231-235958.log");
}

TEST_F(LogFiles, StoringAndViewingExcludeEachOther) {
    const std::string shown = WriteRecords("shown.log", {kSample, kSample, kSample});
    TResultLog log;
    ASSERT_TRUE(log.OpenLog(Path("Ravelox.log")).Ok());
    ASSERT_TRUE(log.LoadView(shown).Ok());
    EXPECT_FALSE(log.Storing());
    EXPECT_TRUE(log.Viewing());
    EXPECT_EQ(log.ViewRecordCount(), 3U);
    ASSERT_TRUE(log.OpenLog(Path("Ravelox.log")).Ok());
    EXPECT_FALSE(log.Viewing());
    // The restart mark drops view records too.
    ASSERT_TRUE(log.LoadView(shown).Ok());
    log.RaiseRestartMark();
    log.WriteSample(kSample);
    EXPECT_FALSE(log.Viewing());
}

struct TReadCase {
    const char* name;
    int bytes; // file length; -1: no file, -2: a directory
    tLogStatus status;
    std::size_t records;
};
void PrintTo(const TReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadLog : public LogFiles, public testing::WithParamInterface<TReadCase> {};

TEST_P(ReadLog, AnswersAStatusAndAMessageInsteadOfFailing) {
    const TReadCase& c = GetParam();
    std::string path = Path("Ravelox.log");
    if (c.bytes == -2)
        fs::create_directory(path);
    else if (c.bytes >= 0)
        WriteBytes("Ravelox.log",
                   std::vector<std::uint8_t>(static_cast<std::size_t>(c.bytes), 'L'));
    const TLogReadResult read = ReadResultLog(path);
    EXPECT_EQ(read.Status, c.status) << read.Message;
    EXPECT_EQ(read.Records.size(), c.records);
    if (c.status == lsOk) {
        EXPECT_TRUE(read.Message.empty());
    } else {
        EXPECT_NE(read.Message.find(path), std::string::npos) << read.Message;
    }

    const TLogViewResult viewed = ViewResultLog(path);
    EXPECT_EQ(viewed.Status, c.status) << viewed.Message;
    EXPECT_EQ(viewed.Records, c.records);
    EXPECT_EQ(viewed.Message, read.Message);

    TResultLog log;
    EXPECT_EQ(log.LoadView(path).Status, c.status);
    EXPECT_EQ(log.Viewing(), c.records > 0);
}

INSTANTIATE_TEST_SUITE_P(Table, ReadLog,
                         testing::Values(TReadCase{"Missing", -1, lsOpenFailed, 0},
                                         TReadCase{"Directory", -2, lsNotAFile, 0},
                                         TReadCase{"Empty", 0, lsTooShort, 0},
                                         TReadCase{"OneRecord", 16, lsTooShort, 0},
                                         TReadCase{"OneRecordAndAByte", 17, lsTruncated, 1},
                                         TReadCase{"PartialTail", 40, lsTruncated, 2},
                                         TReadCase{"TwoRecords", 32, lsOk, 2}),
                         [](const testing::TestParamInfo<TReadCase>& info) {
                             return info.param.name;
                         });

TEST_F(LogFiles, FailedCreateOrWriteSaysWhyAndStopsStoring) {
    TResultLog log;
    const TLogResult create = log.OpenLog(Path("no-such-folder/Ravelox.log"));
    EXPECT_EQ(create.Status, lsOpenFailed);
    EXPECT_FALSE(log.Storing());

    ASSERT_TRUE(log.OpenLog("/dev/full").Ok());
    const TLogResult write = log.WriteSample(kSample);
    EXPECT_EQ(write.Status, lsWriteFailed);
    EXPECT_NE(write.Message.find("/dev/full"), std::string::npos) << write.Message;
    EXPECT_FALSE(log.Storing());
    EXPECT_EQ(log.RecordsWritten(), 0U);
}

// Records of both sides interleaved as the two panels write them within one
// tick: `perSide` records each, one report a second.
std::vector<TLogRecord> Interleaved(std::uint32_t perSide) {
    std::vector<TLogRecord> records;
    for (std::uint32_t i = 1; i <= perSide; ++i) {
        records.push_back({'L', 1, 1000 * i, 800, 1000});
        records.push_back({'R', 0, 1000 * i, 1000, 800});
    }
    return records;
}

TEST(LogView, TenMinutesOfReportsGiveOnePointPerRecordAndByteTotalsOverTheSpan) {
    const auto records = Interleaved(600);
    const TLogView local = BuildLogView(records, 'L');
    ASSERT_TRUE(local.HasData);
    // The first record of the side is passed over.
    EXPECT_EQ(local.Count, 599U);
    EXPECT_EQ(local.Step, 1U);
    EXPECT_EQ(local.Span, 598000U);
    ASSERT_EQ(local.Points.size(), 599U);
    EXPECT_EQ(local.Points.front(), (TSample{0, 1000, 800, 1, 2000}));
    EXPECT_EQ(local.Points.back().X, 598000U);
    EXPECT_EQ(local.MaxOutput, 1000.0F);
    EXPECT_EQ(local.MaxInput, 800.0F);
    EXPECT_EQ(local.MaxLost, 1.0F);
    // 1000 Kbps over 598 s.
    EXPECT_FLOAT_EQ(local.Stats.BytesSent, 598000 / 8 * 1000.0F);
    EXPECT_FLOAT_EQ(local.Stats.BytesReceived, 598000 / 8 * 800.0F);
    EXPECT_EQ(local.Stats.Lost, 598); // 1 a second over 598 s
    EXPECT_EQ(local.Stats.ReportsToSkip, 0);

    const TLogView remote = BuildLogView(records, 'R');
    const auto s = UpdateSummary(local.Stats, remote.Stats, local.Span).value();
    EXPECT_EQ(s.LSAvrgSpd, SpeedResToStr(125000));
    EXPECT_EQ(s.RRAvrgSpd, SpeedResToStr(100000));
    EXPECT_EQ(s.LErrors, "1");
    EXPECT_EQ(s.RQuality, "100%");
}

// `count` records of side L walked after the first one, input = walk index.
std::vector<TLogRecord> Walk(std::uint32_t count) {
    std::vector<TLogRecord> records{{'L', 0, 0, 0, 0}};
    for (std::uint32_t k = 0; k < count; ++k)
        records.push_back(
            {'L', static_cast<std::uint16_t>(k % 3 == 0 ? 3 : 0), 1000 * (k + 1), k, 500});
    return records;
}

TEST(LogView, MoreThan4000RecordsAreAveragedInGroups) {
    const auto records = Walk(9000);
    const TLogView view = BuildLogView(records, 'L');
    EXPECT_EQ(view.Count, 9000U);
    EXPECT_EQ(view.Step, 3U);
    ASSERT_EQ(view.Points.size(), 3000U);
    for (std::uint32_t j = 0; j < view.Points.size(); ++j) {
        const TSample& p = view.Points[j];
        ASSERT_EQ(p.Input, 3 * j + 1) << j; // mean of 3j, 3j+1, 3j+2
        ASSERT_EQ(p.Output, 500U) << j;
        ASSERT_EQ(p.Lost, 1U) << j;
        ASSERT_EQ(p.X, 1000 * (3 * j + 2)) << j; // at the group's last record
    }
    EXPECT_EQ(view.Stats.Lost, 3000 * 3 - 1); // 3 per 3 s of the 8999 s span
}

TEST(LogView, GroupSizeKeepsPointsNearFourThousand) {
    struct {
        std::uint32_t count, step, points;
    } const cases[] = {{2, 1, 2}, {3999, 1, 3999}, {4000, 2, 2000}, {8000, 3, 2666}};
    for (const auto& c : cases) {
        const TLogView view = BuildLogView(Walk(c.count), 'L');
        EXPECT_EQ(view.Step, c.step) << c.count;
        EXPECT_EQ(view.Points.size(), c.points) << c.count;
    }
}

TEST(LogView, AverageRateTakesTheRecordsOfAnUnfinishedLastGroup) {
    auto records = Walk(4001); // step 2: the last record stands alone
    records.back().Output = 4500;
    const TLogView view = BuildLogView(records, 'L');
    ASSERT_EQ(view.Step, 2U);
    const double mean = (4000.0 * 500 + 4500) / 4001;
    EXPECT_FLOAT_EQ(view.Stats.BytesSent, static_cast<float>(view.Span / 8 * mean));
}

TEST(LogView, SidesWithFewerThanTwoRecordsAfterTheFirstStayEmpty) {
    const std::vector<std::vector<TLogRecord>> logs{
        {{'L', 0, 0, 1, 1}, {'R', 0, 0, 1, 1}},
        {{'L', 0, 0, 1, 1}, {'L', 0, 1000, 1, 1}, {'R', 0, 0, 1, 1}},
        {{'R', 0, 0, 1, 1}, {'L', 0, 1000, 1, 1}, {'Q', 0, 2000, 1, 1}},
    };
    for (std::size_t i = 0; i < logs.size(); ++i) {
        const TLogView view = BuildLogView(logs[i], 'L');
        EXPECT_FALSE(view.HasData) << i;
        EXPECT_TRUE(view.Points.empty()) << i;
        EXPECT_EQ(view.Span, 0U) << i;
        EXPECT_EQ(view.Stats, TStatBlock{}) << i;
    }
}

TEST(LogView, ReportTimeStartingAgainInsideALogKeepsTheTimeLineGoingForward) {
    // The side took a new baseline while storing went on.
    const std::vector<TLogRecord> records{
        {'L', 0, 1000, 8, 8}, {'L', 0, 2000, 8, 8}, {'L', 0, 3000, 8, 8}, {'L', 0, 1000, 8, 8}};
    const TLogView view = BuildLogView(records, 'L');
    ASSERT_TRUE(view.HasData);
    EXPECT_EQ(view.Span, 2000U);
    ASSERT_EQ(view.Points.size(), 3U);
    EXPECT_EQ(view.Points[0].X, 0U);
    EXPECT_EQ(view.Points[1].X, 1000U);
    EXPECT_EQ(view.Points[2].X, 2000U);
    EXPECT_GT(view.Stats.BytesSent, 0.0F);
}

// From reports to the log file and back: a stored steady test views with the
// averages it had live.
TEST_F(LogFiles, StoredTestViewsWithItsLiveAverages) {
    TReportProcessor local('L');
    TReportProcessor remote('R');
    TClockNow now{1000, 0.0};
    local.RestartStatistics(now);
    remote.RestartStatistics(now);
    TResultLog log;
    const std::string path = Path("Ravelox.log");
    ASSERT_TRUE(log.OpenLog(path).Ok());
    TbNReport l{};
    TbNReport r{};
    for (int tick = 0; tick < 30; ++tick) {
        const bool first = tick == 0;
        std::vector<TbNReport> lb;
        std::vector<TbNReport> rb;
        for (int k = 0; k < (first ? 2 : 1); ++k) {
            l.Stamp = r.Stamp = static_cast<std::uint16_t>(l.Stamp + 1000);
            l.BytesSent += 125000;
            l.BytesReceived += 62500;
            r.BytesSent += 62500;
            r.BytesReceived += 125000;
            lb.push_back(l);
            rb.push_back(r);
        }
        now.Tick += 1000;
        for (const TSample& s : local.ProcessReports(first, lb, now))
            ASSERT_TRUE(log.WriteSample(MakeLogRecord(local.SideLetter(), s)).Ok());
        for (const TSample& s : remote.ProcessReports(first, rb, now))
            ASSERT_TRUE(log.WriteSample(MakeLogRecord(remote.SideLetter(), s)).Ok());
    }
    EXPECT_EQ(log.RecordsWritten(), 2U * 29);
    const auto live =
        UpdateSummary(local.Statistics(), remote.Statistics(), local.ElapsedMs(now)).value();
    ASSERT_TRUE(log.LoadView(path).Ok());
    const auto viewed = ViewSummary(log.View('L'), log.View('R')).value();
    EXPECT_EQ(live.LSAvrgSpd, "1.00 Mbps  ");
    EXPECT_EQ(live.RRAvrgSpd, "0.50 Mbps  ");
    EXPECT_EQ(viewed.LSAvrgSpd, live.LSAvrgSpd);
    EXPECT_EQ(viewed.LRAvrgSpd, live.LRAvrgSpd);
    EXPECT_EQ(viewed.RSAvrgSpd, live.RSAvrgSpd);
    EXPECT_EQ(viewed.RRAvrgSpd, live.RRAvrgSpd);
    EXPECT_EQ(viewed.QualityText, "100%");
}

// The view of a file streamed in chunks is the view of the file read whole,
// for logs that end inside a chunk, on a chunk edge, and in a partial record.
TEST_F(LogFiles, StreamedViewEqualsTheViewOfTheWholeFile) {
    for (const std::uint32_t perSide : {3U, 2048U, 2049U, 4500U}) {
        std::vector<TLogRecord> records;
        for (std::uint32_t i = 0; i < perSide; ++i) {
            records.push_back({'L', static_cast<std::uint16_t>(i % 7), 200 * i, i % 1000, 3 * i});
            records.push_back({'R', static_cast<std::uint16_t>(i % 5), 200 * i, 2 * i, i % 900});
        }
        const std::string path = WriteRecords("log-" + std::to_string(perSide), records);
        for (const bool cut : {false, true}) {
            if (cut)
                std::ofstream(path, std::ios::binary | std::ios::app).write("LR", 2);
            const TLogViewResult viewed = ViewResultLog(path);
            ASSERT_EQ(viewed.Status, cut ? lsTruncated : lsOk) << viewed.Message;
            EXPECT_EQ(viewed.Records, records.size());
            const TLogView local = BuildLogView(records, 'L');
            const TLogView remote = BuildLogView(records, 'R');
            EXPECT_EQ(viewed.Local.Points, local.Points) << perSide;
            EXPECT_EQ(viewed.Local.Stats, local.Stats) << perSide;
            EXPECT_EQ(viewed.Local.Span, local.Span) << perSide;
            EXPECT_EQ(viewed.Remote.Points, remote.Points) << perSide;
            EXPECT_EQ(viewed.Remote.Stats, remote.Stats) << perSide;
            EXPECT_EQ(viewed.Remote.MaxLost, remote.MaxLost) << perSide;
        }
    }
}

// Over 64 MiB: more than 2.4 days of both sides at a report every 100 ms.
// Generated here, in a temporary folder, never kept.
TEST_F(LogFiles, ALogLargerThan64MiBIsViewedInAStreamingPass) {
    constexpr std::uint32_t kPerSide = 2'200'000; // 2 x 2.2 M x 16 bytes = 70.4 MB
    const std::string path = Path("big.log");
    {
        std::ofstream out(path, std::ios::binary);
        std::vector<std::uint8_t> chunk;
        chunk.reserve(2 * 65536 * kLogRecordSize);
        std::uint8_t bytes[kLogRecordSize];
        for (std::uint32_t i = 0; i < kPerSide; ++i) {
            // Local sends 8000 Kbps throughout; the peer's input steps up
            // halfway; one packet lost every 100th report here.
            EncodeLogRecord({'L', static_cast<std::uint16_t>(i % 100 == 0 ? 1 : 0), 100 * i,
                             i < kPerSide / 2 ? 4000U : 6000U, 8000},
                            bytes);
            chunk.insert(chunk.end(), bytes, bytes + kLogRecordSize);
            EncodeLogRecord({'R', 0, 100 * i, 8000, i < kPerSide / 2 ? 4000U : 6000U}, bytes);
            chunk.insert(chunk.end(), bytes, bytes + kLogRecordSize);
            if (chunk.size() >= 2 * 65536 * kLogRecordSize || i + 1 == kPerSide) {
                out.write(reinterpret_cast<const char*>(chunk.data()),
                          static_cast<std::streamsize>(chunk.size()));
                chunk.clear();
            }
        }
    }
    ASSERT_GT(fs::file_size(path), 64ULL * 1024 * 1024);

    TResultLog log;
    const TLogResult loaded = log.LoadView(path);
    ASSERT_TRUE(loaded.Ok()) << loaded.Message;
    ASSERT_TRUE(log.Viewing());
    EXPECT_EQ(log.ViewRecordCount(), 2ULL * kPerSide);
    const TLogView& local = log.View('L');
    ASSERT_TRUE(local.HasData);
    EXPECT_EQ(local.Count, kPerSide - 1);
    EXPECT_EQ(local.Step, (kPerSide - 1) / kViewPoints + 1);
    EXPECT_LE(local.Points.size(), kViewPoints);
    EXPECT_GT(local.Points.size(), kViewPoints / 2);
    EXPECT_EQ(local.Span, 100U * (kPerSide - 2));
    EXPECT_EQ(local.Points.front().Output, 8000U);
    EXPECT_EQ(local.Points.front().Input, 4000U);
    EXPECT_EQ(local.Points.back().Input, 6000U);
    EXPECT_EQ(local.MaxInput, 6000.0F);
    EXPECT_NEAR(local.Stats.Lost, kPerSide / 100.0, 1.0);
    const auto summary = ViewSummary(local, log.View('R')).value();
    EXPECT_EQ(summary.LSAvrgSpd, SpeedResToStr(1'000'000)); // 8000 Kbps
    EXPECT_NEAR(summary.LR, 625'000.0, 625.0);              // mean of 4000 and 6000 Kbps
    EXPECT_EQ(summary.ElapsedMs, local.Span);
}

struct TViewCase {
    const char* name;
    std::vector<TLogRecord> records;
    double localAxisMinutes;
    double remoteAxisMinutes;
    std::uint32_t localSpan;
    std::uint32_t remoteSpan;
    double ls; // bytes per second in the summary
    double rs;
    double rr;
};
void PrintTo(const TViewCase& c, std::ostream* os) {
    *os << c.name;
}

// Records of one side at `periodMs` from `fromMs` to `toMs`.
std::vector<TLogRecord> Side(char side, std::uint32_t fromMs, std::uint32_t toMs,
                             std::uint32_t periodMs, std::uint32_t input, std::uint32_t output) {
    std::vector<TLogRecord> records;
    for (std::uint32_t t = fromMs; t <= toMs; t += periodMs)
        records.push_back({side, 0, t, input, output});
    return records;
}
std::vector<TLogRecord> Both(std::vector<TLogRecord> a, const std::vector<TLogRecord>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class ViewArithmetic : public testing::TestWithParam<TViewCase> {};

TEST_P(ViewArithmetic, AxisAndAveragesOfEachSide) {
    const TViewCase& c = GetParam();
    const TLogView local = BuildLogView(c.records, 'L');
    const TLogView remote = BuildLogView(c.records, 'R');
    EXPECT_DOUBLE_EQ(ViewAxisMinutes(local), c.localAxisMinutes);
    EXPECT_DOUBLE_EQ(ViewAxisMinutes(remote), c.remoteAxisMinutes);
    EXPECT_EQ(local.Span, c.localSpan);
    EXPECT_EQ(remote.Span, c.remoteSpan);
    // Every point lies inside the axis.
    for (const TLogView* v : {&local, &remote})
        for (const TSample& p : v->Points)
            ASSERT_LE(p.X / 60000.0, ViewAxisMinutes(*v));
    const auto s = ViewSummary(local, remote);
    if (c.localSpan == 0 && c.remoteSpan == 0) {
        EXPECT_FALSE(s.has_value()) << "no time elapsed: the boxes keep their texts";
        return;
    }
    ASSERT_TRUE(s.has_value());
    EXPECT_NEAR(s->LS, c.ls, c.ls * 0.001 + 1);
    EXPECT_NEAR(s->RS, c.rs, c.rs * 0.001 + 1);
    EXPECT_NEAR(s->RR, c.rr, c.rr * 0.001 + 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ViewArithmetic,
    testing::Values(
        // 20 s of reports: the axis is a third of a minute wide, not 0.
        TViewCase{"ShorterThanAMinute",
                  Both(Side('L', 0, 21000, 1000, 0, 800), Side('R', 0, 21000, 1000, 800, 0)),
                  20000 / 60000.0, 20000 / 60000.0, 20000, 20000, 100000, 0, 100000},
        // Two records of a side at one report time: an axis of one second.
        TViewCase{"EqualReportTimes",
                  Both(Side('L', 5000, 5000, 1, 0, 800),
                       Both(Side('L', 5000, 5000, 1, 0, 800), Side('L', 5000, 5000, 1, 0, 800))),
                  1 / 60.0, 1 / 60.0, 0, 0, 0, 0, 0},
        // The peer's records cover only the last 30 s of a 60 s log: its
        // rates are over its own 30 s, not halved by the Local span.
        TViewCase{"RemoteSpanShorterThanLocal",
                  Both(Side('L', 0, 61000, 1000, 0, 800), Side('R', 31000, 61000, 1000, 800, 400)),
                  1.0, 29000 / 60000.0, 60000, 29000, 100000, 50000, 100000},
        // The Local side's records stop early: its own span, the peer's own.
        TViewCase{"LocalSpanShorterThanRemote",
                  Both(Side('L', 0, 11000, 1000, 0, 1600), Side('R', 0, 121000, 1000, 1600, 0)),
                  10000 / 60000.0, 2.0, 10000, 120000, 200000, 0, 200000}),
    [](const testing::TestParamInfo<TViewCase>& info) { return info.param.name; });

TEST(ViewArithmetic, NoSummaryWithoutDataAndTheRemoteSpanWhenOnlyThePeerHasData) {
    EXPECT_FALSE(ViewSummary(TLogView{}, TLogView{}).has_value());
    const auto records = Side('R', 0, 11000, 1000, 800, 800);
    const auto s = ViewSummary(BuildLogView(records, 'L'), BuildLogView(records, 'R'));
    ASSERT_TRUE(s.has_value());
    EXPECT_EQ(s->ElapsedMs, 10000U);
    EXPECT_NEAR(s->RS, 100000, 1);
}

TEST(ViewArithmetic, LostPerSecondOfTheRemoteSideIsOverItsOwnSpan) {
    // Remote: 30 s, 3 lost per record of 1 s -> 3 lost/s, whatever the Local span.
    auto remote = Side('R', 31000, 61000, 1000, 800, 400);
    for (TLogRecord& r : remote)
        r.Lost = 3;
    const auto records = Both(Side('L', 0, 61000, 1000, 0, 800), remote);
    const auto s = ViewSummary(BuildLogView(records, 'L'), BuildLogView(records, 'R')).value();
    EXPECT_EQ(s.RErrors, "3");
}

} // namespace
