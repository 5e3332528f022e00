// SPDX-License-Identifier: GPL-3.0-or-later
// The result log's exports: CSV rows and the SVG picture of a view.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tHelpers.h"
#include "uLogCsv.h"
#include "uLogSvg.h"

namespace {

using testhelp::ReadFile;
using testhelp::TempDir;
using testhelp::WriteFile;

std::string Encoded(const std::vector<TLogRecord>& records) {
    std::string bytes;
    for (const TLogRecord& r : records) {
        std::array<std::uint8_t, kLogRecordSize> raw{};
        EncodeLogRecord(r, raw.data());
        bytes.append(reinterpret_cast<const char*>(raw.data()), raw.size());
    }
    return bytes;
}

// Ten seconds of both sides, one record a second, the peer losing 3 at 5 s.
std::vector<TLogRecord> TenSeconds() {
    std::vector<TLogRecord> records;
    for (std::uint32_t i = 0; i <= 10; ++i) {
        records.push_back({kSideLocal, 0, i * 1000, 4000, 8000});
        records.push_back(
            {kSideRemote, static_cast<std::uint16_t>(i == 5 ? 3 : 0), i * 1000, 8000, 4000});
    }
    return records;
}

std::string Csv(const std::string& path, TLogResult& result) {
    TempDir out;
    std::FILE* file = std::fopen((out / "out.csv").c_str(), "w");
    result = WriteLogCsv(path, file);
    std::fclose(file);
    return ReadFile(out / "out.csv");
}

TEST(LogCsv, OneRowPerRecordInTheOrderStoredAfterTheHeader) {
    TempDir dir;
    WriteFile(dir / "r.log", Encoded(TenSeconds()));
    TLogResult result;
    const std::string csv = Csv(dir / "r.log", result);
    EXPECT_TRUE(result.Ok()) << result.Message;
    std::vector<std::string> lines;
    for (std::size_t at = 0, end = 0; (end = csv.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(csv.substr(at, end - at));
    ASSERT_EQ(lines.size(), 23U);
    EXPECT_EQ(lines[0], "side,report_time_ms,input_kbps,output_kbps,lost");
    EXPECT_EQ(lines[1], "L,0,4000,8000,0");
    EXPECT_EQ(lines[12], "R,5000,8000,4000,3");
}

TEST(LogCsv, APartialTailIsReportedAfterTheWholeRecordsAndAShortLogWritesNothing) {
    TempDir dir;
    WriteFile(dir / "cut.log", Encoded(TenSeconds()) + std::string(5, '\0'));
    TLogResult result;
    const std::string csv = Csv(dir / "cut.log", result);
    EXPECT_EQ(result.Status, lsTruncated);
    EXPECT_NE(csv.find("R,10000,8000,4000,0\n"), std::string::npos);
    WriteFile(dir / "short.log", std::string(16, '\0'));
    EXPECT_EQ(Csv(dir / "short.log", result), "");
    EXPECT_EQ(result.Status, lsTooShort);
    Csv(dir / "missing.log", result);
    EXPECT_EQ(result.Status, lsOpenFailed);
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(LogSvg, BothSidesOutputInputAndLostInTheirColoursWithTitleAndDuration) {
    const std::vector<TLogRecord> records = TenSeconds();
    const TLogView local = BuildLogView(records, kSideLocal);
    const TLogView remote = BuildLogView(records, kSideRemote);
    TLogSvgInfo info;
    info.Title = "198.18.0.1 -> 198.18.0.2 <both>";
    info.Date = "2026-12-10 13:08";
    const std::string svg = LogSvg(local, remote, info);
    EXPECT_EQ(svg.rfind("<?xml", 0), 0U);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
    EXPECT_EQ(Count(svg, "<polyline"), 6U);
    EXPECT_EQ(Count(svg, "stroke=\"#0000ff\""), 2U); // output: the stored 0x00FF0000
    EXPECT_EQ(Count(svg, "stroke=\"#008000\""), 2U);
    EXPECT_EQ(Count(svg, "stroke=\"#ff0000\""), 2U);
    EXPECT_NE(svg.find("198.18.0.1 -&gt; 198.18.0.2 &lt;both&gt;"), std::string::npos);
    EXPECT_NE(svg.find("2026-12-10 13:08, duration 0:00:09"), std::string::npos);
    // The axis labels are the program's: the largest output, 8.00 Mbps.
    EXPECT_NE(svg.find(">8.00 Mbps<"), std::string::npos);
    EXPECT_NE(svg.find(">3<"), std::string::npos); // the peer's largest lost count
}

TEST(LogSvg, ASideWithoutDataSaysSoInsteadOfEmptyGraphs) {
    const std::vector<TLogRecord> records = TenSeconds();
    const TLogView local = BuildLogView(records, kSideLocal);
    const std::string svg = LogSvg(local, TLogView{}, TLogSvgInfo{});
    EXPECT_EQ(Count(svg, "<polyline"), 3U);
    EXPECT_NE(svg.find("fewer than two records"), std::string::npos);
    EXPECT_EQ(SvgColor(0x00336699), "#996633");
}

} // namespace
