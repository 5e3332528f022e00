// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliMetrics.h"

#include <vector>

#include <gtest/gtest.h>

#include "tHelpers.h"

namespace {

TbNReport Report(std::uint32_t received, std::uint16_t lost) {
    TbNReport r;
    r.BytesReceived = received;
    r.BytesSent = received / 2;
    r.Lost = lost;
    return r;
}

TEST(CliMetrics, CountersAddTheReportsDifferencesAcrossWrapsAndResets) {
    TMetricsCounters counters;
    const std::vector<TbNReport> first{Report(1000, 0), Report(3000, 2)};
    const std::vector<TbNRcvbufDrops> drops{{true, 0}, {true, 1}};
    counters.Add(first, drops, true, "198.18.0.1"); // the first report is the baseline
    EXPECT_EQ(counters.Totals().ReceivedBytes.at("198.18.0.1"), 2000U);
    EXPECT_EQ(counters.Totals().Lost, 2U);
    EXPECT_EQ(counters.Totals().RcvbufDrops, 1U);
    // The 32-bit byte counter wraps: 4294967000 -> 704 is 1000 bytes.
    counters.Add(std::vector<TbNReport>{Report(4294967000U, 2)}, {}, false, "198.18.0.1");
    counters.Add(std::vector<TbNReport>{Report(704, 3)}, {}, false, "198.18.0.1");
    EXPECT_EQ(counters.Totals().ReceivedBytes.at("198.18.0.1"), 2000ULL + 4294964000ULL + 1000ULL);
    // A reset: the engine counts from zero again; the totals go on growing.
    const std::uint64_t before = counters.Totals().ReceivedBytes.at("198.18.0.1");
    counters.Add(std::vector<TbNReport>{Report(500, 0), Report(1500, 1)}, {}, true, "198.18.0.3");
    EXPECT_EQ(counters.Totals().ReceivedBytes.at("198.18.0.1"), before);
    EXPECT_EQ(counters.Totals().ReceivedBytes.at("198.18.0.3"), 1000U);
    EXPECT_EQ(counters.Totals().Lost, 4U);
}

TbNDelayRecord Figures(std::uint64_t received, std::uint64_t late, std::uint64_t duplicate) {
    TbNDelayRecord r;
    r.Known = true;
    r.Figures.Received = received;
    r.Figures.Late = late;
    r.Figures.Duplicate = duplicate;
    return r;
}

// The extension's 64-bit running counts: differences from a baseline, a new
// baseline after a reset or a count that went back, nothing while unknown.
TEST(CliMetrics, LateAndDuplicateCountOnlyWhileMeasured) {
    TMetricsCounters counters;
    counters.AddDelay(std::vector<TbNDelayRecord>{TbNDelayRecord{}}, true, "198.18.0.1");
    EXPECT_FALSE(counters.Totals().Late.has_value());
    EXPECT_EQ(MetricsText(counters.Totals()).find("late"), std::string::npos);

    counters.AddDelay(std::vector<TbNDelayRecord>{Figures(100, 1, 0), Figures(350, 4, 2)}, false,
                      "198.18.0.1");
    EXPECT_EQ(counters.Totals().ReceivedDatagrams.at("198.18.0.1"), 250U);
    EXPECT_EQ(counters.Totals().Late, 3U);
    EXPECT_EQ(counters.Totals().Duplicate, 2U);
    // The peer's counts began again (its statistics restarted): a baseline.
    counters.AddDelay(std::vector<TbNDelayRecord>{Figures(10, 0, 0), Figures(60, 1, 1)}, false,
                      "198.18.0.1");
    EXPECT_EQ(counters.Totals().ReceivedDatagrams.at("198.18.0.1"), 300U);
    EXPECT_EQ(counters.Totals().Late, 4U);
    EXPECT_EQ(counters.Totals().Duplicate, 3U);
    // After the engine's reset the first record is the baseline.
    counters.AddDelay(std::vector<TbNDelayRecord>{Figures(900, 9, 9), Figures(1000, 9, 10)}, true,
                      "198.18.0.2");
    EXPECT_EQ(counters.Totals().ReceivedDatagrams.at("198.18.0.2"), 100U);
    EXPECT_EQ(counters.Totals().Duplicate, 4U);

    const std::string text = MetricsText(counters.Totals());
    EXPECT_NE(text.find("ravelox_received_datagrams_total{peer=\"198.18.0.1\"} 300\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("ravelox_late_datagrams_total 4\n"), std::string::npos) << text;
    EXPECT_NE(text.find("ravelox_duplicate_datagrams_total 4\n"), std::string::npos) << text;
}

TEST(CliMetrics, TextIsOpenMetricsWithBaseUnitsAndWrittenWhole) {
    TMetricsTotals totals;
    totals.ReceivedBytes["198.18.0.1"] = 125000;
    totals.Lost = 7;
    totals.Sending = true;
    totals.SpeedKbps = 8000;
    const std::string text = MetricsText(totals);
    EXPECT_NE(text.find("# TYPE ravelox_received_bytes counter\n# UNIT ravelox_received_bytes "
                        "bytes\n"),
              std::string::npos);
    EXPECT_NE(text.find("ravelox_received_bytes_total{peer=\"198.18.0.1\"} 125000\n"),
              std::string::npos);
    EXPECT_NE(text.find("ravelox_lost_datagrams_total 7\n"), std::string::npos);
    EXPECT_NE(text.find("ravelox_sending 1\n"), std::string::npos);
    EXPECT_NE(text.find("ravelox_send_rate_bits_per_second 8000000\n"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 6), "# EOF\n");

    testhelp::TempDir dir;
    EXPECT_EQ(WriteMetricsFile(dir / "m.prom", text), "");
    EXPECT_EQ(testhelp::ReadFile(dir / "m.prom"), text);
    EXPECT_FALSE(std::filesystem::exists(dir / "m.prom.tmp"));
    EXPECT_NE(WriteMetricsFile("/nonexistent-dir/m.prom", text), "");
}

} // namespace
