// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliCsv.h"

#include <gtest/gtest.h>

#include "uCliOut.h"

namespace {

TEST(CliCsv, AnIntervalBecomesTheColumnsOfItsJsonFields) {
    TCliInterval interval;
    interval.TimeMs = 1500;
    interval.Local = {8000, 4000, 2, 0, true, 1U, {}};
    interval.Remote = {4000, 7990, 0, 1, true, std::nullopt, {}};
    TCsvWriter writer;
    const std::vector<std::string> first = writer.Lines(IntervalJson(interval).at("interval"));
    ASSERT_EQ(first.size(), 2U);
    EXPECT_EQ(first[0],
              "rtt_max_us,rtt_p50_us,rtt_p99_us,t_ms,local_bad,local_delay_max_us,"
              "local_delay_p50_us,local_delay_p99_us,local_duplicate,local_input_kbps,"
              "local_jitter_us,local_late,local_lost,local_output_kbps,local_rcvbuf_drops,"
              "local_reported,remote_bad,remote_delay_max_us,remote_delay_p50_us,"
              "remote_delay_p99_us,remote_duplicate,remote_input_kbps,remote_jitter_us,"
              "remote_late,remote_lost,remote_output_kbps,remote_rcvbuf_drops,remote_reported");
    // null (the peer does not tell its drops, no delay figures) is an empty cell.
    EXPECT_EQ(first[1], ",,,1500,0,,,,,4000,,,2,8000,1,true,1,,,,,7990,,,0,4000,,true");
    // Later rows: no header, the same columns.
    const std::vector<std::string> next = writer.Lines(IntervalJson(interval).at("interval"));
    ASSERT_EQ(next.size(), 1U);
    EXPECT_EQ(next[0], first[1]);
}

TEST(CliCsv, TextWithACommaOrQuoteIsQuoted) {
    const auto cells = CsvCells({{"a", "x,y"}, {"b", "say \"hi\""}, {"c", 1.5}});
    ASSERT_EQ(cells.size(), 3U);
    EXPECT_EQ(cells[0].second, "\"x,y\"");
    EXPECT_EQ(cells[1].second, "\"say \"\"hi\"\"\"");
    EXPECT_EQ(cells[2].second, "1.5");
}

} // namespace
