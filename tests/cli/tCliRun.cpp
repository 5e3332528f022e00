// SPDX-License-Identifier: GPL-3.0-or-later
// ravelox-cli end to end: the real program, started with `ip netns exec` in
// the hosts of a test topology (each test process lives in a private world
// namespace, so nothing leaves it).
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "NetNs.h"
#include "tChildProcess.h"
#include "tHelpers.h"
#include "uDelayLog.h"

namespace {

using nlohmann::json;

constexpr int kPort = 2345; // from the settings file each test writes

using testhelp::ReadFile;
using testhelp::TempDir;
using testhelp::WriteFile;

// One run of ravelox-cli, in a host's namespace or in the test's own world.
class Cli final {
public:
    Cli(const TempDir& dir, const std::string& ns, const std::vector<std::string>& args)
        : m_number(++s_count),
          m_process(ns, Arguments(args), dir.Path(), dir / ("out" + std::to_string(m_number)),
                    dir / ("out" + std::to_string(m_number) + ".err")) {}

    // The exit code once the program ended within timeoutMs; -1 when it was
    // killed by a signal; empty when it still runs.
    std::optional<int> Wait(int timeoutMs) { return m_process.Wait(timeoutMs); }
    void Signal(int signal) const { m_process.Signal(signal); }

    // Waits until stdout holds `part`.
    bool WaitForOutput(const std::string& part, int timeoutMs) const {
        return testhelp::WaitUntil([&] { return Out().find(part) != std::string::npos; },
                                   std::chrono::milliseconds(timeoutMs),
                                   std::chrono::milliseconds(20));
    }

    std::string Out() const { return m_process.Out(); }
    std::string Err() const { return m_process.Err(); }

    std::vector<json> JsonLines() const {
        std::vector<json> lines;
        std::istringstream in(Out());
        for (std::string line; std::getline(in, line);)
            lines.push_back(json::parse(line));
        return lines;
    }

private:
    static std::vector<std::string> Arguments(const std::vector<std::string>& args) {
        std::vector<std::string> argv{RAVELOX_CLI};
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }

    static inline int s_count = 0;
    int m_number;
    testhelp::ChildProcess m_process;
};

// The settings file the desktop program would leave: port 2345 instead of
// 2222, and test values the command line then overrides.
const char* const kSettings = "[Config]\n"
                              "Port=2345\n"
                              "InfoTime=100\n"
                              "ViewTime=500\n"
                              "[Current]\n"
                              "LocalSpeed=1234\n"
                              "RemoteSpeed=1234\n"
                              "SizeOfPacket=700\n"
                              "RemotePacket=700\n";

class CliRun : public testing::Test {
protected:
    void SetUp() override { WriteFile(m_dir / "ravelox.INI", kSettings); }

    std::unique_ptr<Cli> Start(int host, const std::vector<std::string>& args) {
        // host -1: the test's own private world.
        return std::make_unique<Cli>(m_dir, host >= 0 ? m_net->Name(host) : std::string{}, args);
    }
    std::unique_ptr<Cli> Responder(int host) {
        // Buffers that hold a few timer periods of datagrams: with the
        // default 8 KB a busy machine drops some at the socket.
        auto responder = Start(host, {"respond", "--json", "--duration", "60", "--recv-buf", "256",
                                      "--send-buf", "256"});
        // Serving as soon as it knows its own address.
        EXPECT_TRUE(responder->WaitForOutput("\"address\"", 5000)) << responder->Err();
        return responder;
    }

    TempDir m_dir;
    std::unique_ptr<netns::Topology> m_net;
};

json Summary(const Cli& test) {
    const std::vector<json> lines = test.JsonLines();
    if (lines.empty() || !lines.back().contains("summary"))
        return {};
    return lines.back().at("summary");
}

// The field paths docs/json.md documents: the first cell of every table row,
// "a.{b,c}.d" standing for "a.b.d" and "a.c.d".
std::set<std::string> DocumentedFields() {
    std::set<std::string> fields;
    std::istringstream in(ReadFile(RAVELOX_JSON_DOC));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| `", 0) != 0)
            continue;
        const std::size_t end = line.find('`', 3);
        if (end == std::string::npos)
            continue;
        const std::string path = line.substr(3, end - 3);
        const std::size_t open = path.find('{');
        const std::size_t close = path.find('}');
        if (open == std::string::npos || close == std::string::npos) {
            fields.insert(path);
            continue;
        }
        std::istringstream names(path.substr(open + 1, close - open - 1));
        for (std::string name; std::getline(names, name, ',');)
            fields.insert(path.substr(0, open) + name + path.substr(close + 1));
    }
    return fields;
}

// Every key of a line as a path ("interval.local.lost", "lookup.found[].port").
void FieldPaths(const json& value, const std::string& path, std::set<std::string>& out) {
    if (value.is_object()) {
        for (const auto& [key, child] : value.items()) {
            const std::string childPath = path.empty() ? key : path + "." + key;
            out.insert(childPath);
            FieldPaths(child, childPath, out);
        }
    } else if (value.is_array()) {
        for (const json& element : value)
            FieldPaths(element, path + "[]", out);
    }
}

// A field written without a line in docs/json.md fails here; so does a line
// without the stream's fields.
void ExpectDocumented(const std::vector<json>& lines) {
    static const std::set<std::string> documented = DocumentedFields();
    ASSERT_GT(documented.size(), 50U) << "docs/json.md not read";
    for (const json& line : lines) {
        EXPECT_TRUE(line.contains("event") && line.contains("time") && line.contains("t_s"))
            << line;
        std::set<std::string> paths;
        FieldPaths(line, "", paths);
        for (const std::string& path : paths)
            EXPECT_TRUE(documented.count(path) == 1) << path << " is not in docs/json.md: " << line;
    }
}

// The responder's last word on its own sending, once it came, is "off".
bool PeerStopsSending(const Cli& responder) {
    return testhelp::WaitUntil(
        [&] {
            std::optional<bool> sending;
            for (const json& line : responder.JsonLines()) {
                if (line.contains("settings"))
                    sending = line.at("settings").at("sending").get<bool>();
            }
            return sending == false;
        },
        std::chrono::milliseconds(3000), std::chrono::milliseconds(20));
}

void ExpectNear(const json& summary, const char* field, double expected, double share) {
    ASSERT_TRUE(summary.contains(field)) << field;
    EXPECT_NEAR(summary.at(field).get<double>(), expected, expected * share) << field;
}

TEST_F(CliRun, TestAgainstResponderMeasuresWhatWasAskedAndSavesNothing) {
    m_net = std::make_unique<netns::Topology>(2);
    auto responder = Responder(1);
    const std::vector<json> start = responder->JsonLines();
    ASSERT_GE(start.size(), 2U);
    EXPECT_EQ(start[0].at("listening").at("port").get<int>(), kPort); // read from the settings
    EXPECT_EQ(start[1].at("address").get<std::string>(), m_net->Address(1));
    // The first line of a command names the layout of the stream.
    EXPECT_EQ(start[0].at("event"), "start");
    EXPECT_EQ(start[0].at("schema").get<int>(), 1);

    // The averages of both sides share one elapsed time while each side's
    // bytes run between its own reports: 8 s keep that offset (up to a
    // couple of 100 ms report intervals) well inside the few per cent.
    auto test =
        Start(0, {"test", m_net->Address(1), "--time", "8", "--local-speed", "8M", "--remote-speed",
                  "4M", "--local-length", "1000", "--remote-length", "500", "--recv-buf", "256",
                  "--send-buf", "256", "--json", "--log", m_dir / "result.log"});
    ASSERT_EQ(test->Wait(20000), 0) << test->Err();
    const std::vector<json> lines = test->JsonLines();
    ASSERT_GE(lines.size(), 3U);
    const json& head = lines.front().at("test");
    EXPECT_EQ(lines.front().at("event"), "start");
    EXPECT_EQ(lines.front().at("schema").get<int>(), 1);
    EXPECT_TRUE(lines.front().at("program_version").is_string());
    EXPECT_EQ(lines.back().at("event"), "summary");
    ExpectDocumented(lines);
    EXPECT_EQ(head.at("local_speed_kbps").get<int>(), 8000);
    EXPECT_EQ(head.at("remote_length").get<int>(), 500);
    int intervals = 0;
    for (const json& line : lines)
        intervals += line.contains("interval") ? 1 : 0;
    EXPECT_GE(intervals, 14) << test->Out(); // 8 s at 500 ms

    const json s = Summary(*test);
    ASSERT_FALSE(s.empty()) << test->Out();
    ExpectNear(s, "local_output_kbps", 8000, 0.05);
    ExpectNear(s, "remote_input_kbps", 8000, 0.05);
    ExpectNear(s, "remote_output_kbps", 4000, 0.05);
    ExpectNear(s, "local_input_kbps", 4000, 0.05);
    ExpectNear(s, "bandwidth_kbps", 12000, 0.05);
    // A loaded machine may still drop a datagram at a socket now and then:
    // less than 0.5 % of the ~1000 (500 a second each way) counted.
    EXPECT_GE(s.at("quality_pct").get<double>(), 99.5);
    EXPECT_LE(s.at("local_lost").get<int>(), 5);
    EXPECT_LE(s.at("remote_lost").get<int>(), 5);
    EXPECT_GT(s.at("elapsed_ms").get<int>(), 1000);

    // The responder saw the commands; the settings file stays as it was.
    EXPECT_NE(responder->Out().find("\"speed_kbps\":4000"), std::string::npos) << responder->Out();
    responder->Signal(SIGTERM);
    EXPECT_EQ(responder->Wait(5000), 0) << responder->Err();
    EXPECT_EQ(ReadFile(m_dir / "ravelox.INI"), kSettings);
    ExpectDocumented(responder->JsonLines());

    // The log it wrote reads back.
    auto view = Start(-1, {"view", m_dir / "result.log", "--json"});
    ASSERT_EQ(view->Wait(5000), 0) << view->Err();
    const json v = view->JsonLines().at(0);
    ExpectDocumented(view->JsonLines());
    EXPECT_EQ(v.at("event"), "view");
    EXPECT_TRUE(v.at("view").at("local").at("has_data").get<bool>());
    ExpectNear(v.at("summary"), "local_output_kbps", 8000, 0.05);
    ExpectNear(v.at("summary"), "remote_input_kbps", 8000, 0.05);
}

// A copy pointed at its own address measures its own loop, and answers as a
// peer would. --time counts from the start of the statistics.
TEST_F(CliRun, SelfLoopMeasuresForTheWholeTimeAndShowsDrops) {
    auto test = Start(-1, {"test", "127.0.0.1", "--time", "3", "--local-speed", "4M", "--direction",
                           "local", "--json"});
    ASSERT_EQ(test->Wait(15000), 0) << test->Err() << test->Out();
    const std::vector<json> lines = test->JsonLines();
    const json& head = lines.front().at("test");
    EXPECT_EQ(head.at("recv_buf_bytes").get<int>(), 2 * 256 * 1024); // the default, doubled
    const json s = Summary(*test);
    ASSERT_FALSE(s.empty()) << test->Out();
    EXPECT_GE(s.at("elapsed_ms").get<int>(), 2800) << test->Out();
    EXPECT_LE(s.at("elapsed_ms").get<int>(), 3300) << test->Out();
    ExpectNear(s, "local_output_kbps", 4000, 0.05);
    ExpectNear(s, "remote_input_kbps", 4000, 0.05);
    EXPECT_EQ(s.at("local_rcvbuf_drops").get<int>(), 0);
    EXPECT_EQ(s.at("remote_rcvbuf_drops").get<int>(), 0);
    bool intervalDrops = false;
    for (const json& line : lines)
        intervalDrops = intervalDrops || (line.contains("interval") &&
                                          line.at("interval").at("local").at("rcvbuf_drops") == 0);
    EXPECT_TRUE(intervalDrops) << test->Out();
}

// --csv: the intervals as rows with the JSON's fields, the rest on stderr;
// the log it stored converts to CSV and to a picture.
TEST_F(CliRun, CsvRowsCarryTheJsonFieldsAndAStoredLogExports) {
    auto test = Start(-1, {"test", "127.0.0.1", "--time", "2", "--local-speed", "2M", "--direction",
                           "local", "--csv", "--log", m_dir / "r.log"});
    ASSERT_EQ(test->Wait(15000), 0) << test->Err() << test->Out();
    std::istringstream rows(test->Out());
    std::string header;
    ASSERT_TRUE(std::getline(rows, header));
    int count = 0;
    for (std::string row; std::getline(rows, row); ++count)
        EXPECT_EQ(std::count(row.begin(), row.end(), ','),
                  std::count(header.begin(), header.end(), ','))
            << row;
    EXPECT_GE(count, 3) << test->Out(); // 2 s and the start-up at 500 ms
    EXPECT_NE(test->Err().find("Summary over"), std::string::npos) << test->Err();
    // The same fields as an interval event of the JSON stream.
    auto json = Start(-1, {"test", "127.0.0.1", "--time", "1", "--direction", "local", "--json"});
    ASSERT_EQ(json->Wait(15000), 0) << json->Err();
    std::set<std::string> jsonFields;
    for (const nlohmann::json& line : json->JsonLines()) {
        if (line.contains("interval"))
            FieldPaths(line.at("interval"), "", jsonFields);
    }
    std::set<std::string> csvFields;
    std::istringstream columns(header);
    for (std::string column; std::getline(columns, column, ',');)
        csvFields.insert(column);
    std::set<std::string> leaves;
    for (std::string field : jsonFields) {
        if (field == "local" || field == "remote")
            continue;
        std::replace(field.begin(), field.end(), '.', '_');
        leaves.insert(field);
    }
    EXPECT_EQ(csvFields, leaves);

    auto csv = Start(-1, {"view", m_dir / "r.log", "--csv"});
    ASSERT_EQ(csv->Wait(5000), 0) << csv->Err();
    const std::string records = csv->Out();
    EXPECT_EQ(records.rfind("side,report_time_ms,input_kbps,output_kbps,lost\n", 0), 0U);
    const std::size_t size = ReadFile(m_dir / "r.log").size();
    EXPECT_EQ(static_cast<std::size_t>(std::count(records.begin(), records.end(), '\n')),
              size / 16 + 1);

    auto svg =
        Start(-1, {"view", m_dir / "r.log", "--svg", m_dir / "r.svg", "--title", "own loop"});
    ASSERT_EQ(svg->Wait(5000), 0) << svg->Err();
    const std::string picture = ReadFile(m_dir / "r.svg");
    EXPECT_NE(picture.find(">own loop</text>"), std::string::npos);
    std::size_t lines = 0;
    for (std::size_t at = picture.find("<polyline"); at != std::string::npos;
         at = picture.find("<polyline", at + 1))
        ++lines;
    EXPECT_EQ(lines, 6U) << picture;
    auto unwritable = Start(-1, {"view", m_dir / "r.log", "--svg", "/nonexistent-dir/r.svg"});
    EXPECT_EQ(unwritable->Wait(5000), 1);
    EXPECT_NE(unwritable->Err().find("--svg: cannot write"), std::string::npos)
        << unwritable->Err();
}

// A small reader of OpenMetrics text: every sample by its name and labels;
// fails on a line it does not know, a sample of a family without # TYPE, a
// counter sample without _total, or text after # EOF or without it.
std::map<std::string, double> ParseOpenMetrics(const std::string& text) {
    std::map<std::string, double> samples;
    std::map<std::string, std::string> types;
    std::istringstream in(text);
    bool eof = false;
    for (std::string line; std::getline(in, line);) {
        EXPECT_FALSE(eof) << "text after # EOF: " << line;
        if (line == "# EOF") {
            eof = true;
            continue;
        }
        if (line.rfind("# ", 0) == 0) {
            std::istringstream words(line.substr(2));
            std::string keyword, family, rest;
            words >> keyword >> family;
            EXPECT_TRUE(keyword == "TYPE" || keyword == "UNIT" || keyword == "HELP") << line;
            if (keyword == "TYPE") {
                words >> rest;
                types[family] = rest;
            }
            continue;
        }
        const std::size_t space = line.rfind(' ');
        EXPECT_NE(space, std::string::npos) << line;
        if (space == std::string::npos)
            continue;
        const std::string series = line.substr(0, space);
        const std::string name = series.substr(0, series.find('{'));
        std::string family = name;
        if (name.size() > 6 && name.substr(name.size() - 6) == "_total")
            family = name.substr(0, name.size() - 6);
        EXPECT_EQ(types.count(family), 1U) << "no # TYPE for " << line;
        if (types[family] == "counter") {
            EXPECT_NE(family, name) << "a counter sample without _total: " << line;
        }
        samples[series] = std::stod(line.substr(space + 1));
    }
    EXPECT_TRUE(eof) << "no # EOF";
    return samples;
}

// The responder's metrics file over a test of 2 s at 1 Mbit/s to it.
TEST_F(CliRun, RespondWritesOpenMetricsCountersOfWhatArrived) {
    m_net = std::make_unique<netns::Topology>(2);
    auto responder = Start(1, {"respond", "--json", "--duration", "60", "--recv-buf", "256",
                               "--metrics-file", m_dir / "ravelox.prom"});
    ASSERT_TRUE(responder->WaitForOutput("\"address\"", 5000)) << responder->Err();
    auto test = Start(0, {"test", m_net->Address(1), "--time", "2", "--local-speed", "1M",
                          "--local-length", "1000", "--direction", "local", "--json"});
    ASSERT_EQ(test->Wait(15000), 0) << test->Err();
    // Once the responder has written what arrived (its own sending stays off).
    std::map<std::string, double> samples;
    const std::string peer = "ravelox_received_bytes_total{peer=\"" + m_net->Address(0) + "\"}";
    EXPECT_TRUE(testhelp::WaitUntil(
        [&] {
            samples = ParseOpenMetrics(ReadFile(m_dir / "ravelox.prom"));
            return samples.count(peer) == 1 && samples[peer] >= 2 * 125000.0;
        },
        std::chrono::milliseconds(5000), std::chrono::milliseconds(100)))
        << ReadFile(m_dir / "ravelox.prom");
    // 2 s of statistics and the start-up before them: at most a few seconds' worth.
    EXPECT_LE(samples[peer], 6 * 125000.0);
    // A loaded machine may drop a datagram now and then.
    EXPECT_LE(samples["ravelox_lost_datagrams_total"], 5.0);
    EXPECT_EQ(samples["ravelox_rcvbuf_drops_total"], 0.0);
    EXPECT_EQ(samples["ravelox_sending"], 0.0);
    // The delay extension's counts: the datagrams of the bytes (its figures
    // close with the interval, so they may lag the bytes by one), and on a
    // plain veth pair none late or twice.
    const std::string datagrams =
        "ravelox_received_datagrams_total{peer=\"" + m_net->Address(0) + "\"}";
    ASSERT_EQ(samples.count(datagrams), 1U) << ReadFile(m_dir / "ravelox.prom");
    EXPECT_GE(samples[datagrams], samples[peer] / 1000.0 * 0.5);
    EXPECT_LE(samples[datagrams], samples[peer] / 1000.0 + 1.0);
    EXPECT_EQ(samples.count("ravelox_late_datagrams_total"), 1U);
    EXPECT_EQ(samples["ravelox_late_datagrams_total"], 0.0);
    EXPECT_EQ(samples.count("ravelox_duplicate_datagrams_total"), 1U);
    EXPECT_EQ(samples["ravelox_duplicate_datagrams_total"], 0.0);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "ravelox.prom.tmp"));
    responder->Signal(SIGTERM);
    EXPECT_EQ(responder->Wait(5000), 0) << responder->Err();
}

// The own address as the peer: the copy would obey its own start commands
// and restart its counters for ever, so a test or search that commands the
// peer's sending is refused once the broadcast has told the address; its
// own loop is measured.
TEST_F(CliRun, ThisHostsOwnAddressCannotBeThePeerWhoseSendingIsCommanded) {
    m_net = std::make_unique<netns::Topology>(2);
    for (const char* command : {"test", "search"}) {
        auto refused = Start(0, {command, m_net->Address(0), "--direction", "both"});
        ASSERT_EQ(refused->Wait(15000), 2) << refused->Err() << refused->Out();
        EXPECT_NE(refused->Err().find(m_net->Address(0) + " is this host itself"),
                  std::string::npos)
            << refused->Err();
    }
    auto loop = Start(0, {"test", m_net->Address(0), "--direction", "local", "--time", "2",
                          "--local-speed", "1M", "--json"});
    ASSERT_EQ(loop->Wait(15000), 0) << loop->Err();
    const json s = Summary(*loop);
    ASSERT_FALSE(s.is_null()) << loop->Out();
    EXPECT_GT(s.at("local_output_kbps").get<double>(), 500.0) << s;
}

// The first echo of the own broadcast is lost (the first datagram that
// arrives at the port is dropped): the broadcast goes out again and the test
// runs.
TEST_F(CliRun, ALostBroadcastEchoIsSentAgain) {
    m_net = std::make_unique<netns::Topology>(2);
    auto responder = Responder(1);
    netns::DropEveryNth drop(*m_net, 0, 100000, kPort);
    auto test = Start(0, {"test", m_net->Address(1), "--time", "1", "--local-speed", "1M",
                          "--direction", "local", "--json"});
    EXPECT_EQ(test->Wait(15000), 0) << test->Err() << test->Out();
    EXPECT_EQ(drop.Dropped(), 1u);
    EXPECT_FALSE(Summary(*test).empty()) << test->Out();
}

TEST_F(CliRun, LossShowsAsQualityBelowFullAndMatchingLostCounts) {
    m_net = std::make_unique<netns::Topology>(2);
    auto responder = Responder(1);
    netns::DropEveryNth drop(*m_net, 1, 50, kPort);
    // 4 Mbit/s of 1000-byte datagrams: 500 a second, 10 a second dropped.
    auto test = Start(0, {"test", m_net->Address(1), "--time", "8", "--local-speed", "4M",
                          "--local-length", "1000", "--direction", "local", "--recv-buf", "256",
                          "--send-buf", "256", "--json"});
    ASSERT_EQ(test->Wait(20000), 0) << test->Err();
    const json s = Summary(*test);
    ASSERT_FALSE(s.empty()) << test->Out();
    ASSERT_FALSE(s.at("remote_quality_pct").is_null()) << test->Out();
    // Received / sent bytes, each side's totals over its own reports: 98 %
    // give or take a report interval's share of the time.
    EXPECT_LT(s.at("remote_quality_pct").get<double>(), 100.0);
    EXPECT_NEAR(s.at("remote_quality_pct").get<double>(), 98.0, 2.0);
    EXPECT_EQ(s.at("quality_pct").get<double>(), s.at("remote_quality_pct").get<double>());
    ExpectNear(s, "remote_lost_per_s", 10.0, 0.25);
    EXPECT_GT(s.at("remote_lost").get<int>(), 0);
    EXPECT_LE(static_cast<std::uint64_t>(s.at("remote_lost").get<int>()), drop.Dropped());
    EXPECT_EQ(s.at("local_lost").get<int>(), 0);

    // Every loss the peer reported per interval was a datagram the rule dropped.
    std::uint64_t perInterval = 0;
    for (const json& line : test->JsonLines()) {
        if (line.contains("interval"))
            perInterval += line.at("interval").at("remote").at("lost").get<std::uint64_t>();
    }
    EXPECT_GT(perInterval, 0U);
    EXPECT_LE(perInterval, drop.Dropped());
    EXPECT_GE(perInterval + 25, drop.Dropped()); // drops before the first and after the last poll
}

// Thresholds on a channel that drops every 50th datagram (2 %): the loss
// threshold under it fails, the rate threshold holds, and the test ends
// with exit code 4 and says which held.
TEST_F(CliRun, AFailedThresholdEndsWithCodeFourAndTheVerdictNamesEachCheck) {
    m_net = std::make_unique<netns::Topology>(2);
    auto responder = Responder(1);
    netns::DropEveryNth drop(*m_net, 1, 50, kPort);
    std::vector<std::string> args{"test", m_net->Address(1), "--time", "3", "--direction", "local"};
    args.insert(args.end(), {"--local-speed", "4M", "--local-length", "1000", "--recv-buf", "256"});
    args.insert(args.end(), {"--max-loss", "1%", "--min-rate-local", "3M"});
    std::vector<std::string> jsonArgs = args;
    jsonArgs.push_back("--json");
    auto test = Start(0, jsonArgs);
    ASSERT_EQ(test->Wait(20000), 4) << test->Err() << test->Out();
    const std::vector<json> lines = test->JsonLines();
    ASSERT_FALSE(lines.empty());
    ASSERT_TRUE(lines.back().contains("verdict")) << test->Out();
    const json& verdict = lines.back().at("verdict");
    ExpectDocumented(lines);
    EXPECT_FALSE(verdict.at("passed").get<bool>());
    ASSERT_EQ(verdict.at("checks").size(), 2U) << verdict;
    const json& loss = verdict.at("checks")[0];
    EXPECT_EQ(loss.at("name"), "max_loss");
    EXPECT_FALSE(loss.at("held").get<bool>());
    EXPECT_NEAR(loss.at("measured_pct").get<double>(), 2.0, 0.3) << loss;
    const json& rate = verdict.at("checks")[1];
    EXPECT_EQ(rate.at("name"), "min_rate");
    EXPECT_TRUE(rate.at("held").get<bool>()) << rate;

    // The text summary says the same; a threshold that holds ends with 0.
    auto text = Start(0, args);
    ASSERT_EQ(text->Wait(20000), 4) << text->Err();
    EXPECT_NE(text->Out().find("Verdict: FAILED, 1 of 2 thresholds held"), std::string::npos)
        << text->Out();
    EXPECT_NE(text->Out().find("FAILED: loss this host -> peer"), std::string::npos);
    EXPECT_NE(text->Out().find("held: arrived this host -> peer"), std::string::npos);
    auto passing = Start(0, {"test", m_net->Address(1), "--time", "2", "--local-speed", "4M",
                             "--local-length", "1000", "--direction", "local", "--max-loss", "5%"});
    EXPECT_EQ(passing->Wait(20000), 0) << passing->Err() << passing->Out();
    EXPECT_NE(passing->Out().find("Verdict: all 1 thresholds held"), std::string::npos)
        << passing->Out();
}

// Both directions searched at once, each at its own rate: this host -> peer
// through an nftables rule that drops every datagram above 2 Mbit/s of IP
// packets (the rule counts the 28 bytes of IP and UDP header too), peer ->
// this host over the plain veth pair, where the highest rate allowed holds.
TEST_F(CliRun, SearchFindsTheLimitOfARateRuleAndTheHighestRateOnAPlainLink) {
    m_net = std::make_unique<netns::Topology>(2);
    auto responder = Responder(1);
    m_net->Exec(1, "nft add table ip rvlimit && "
                   "nft add chain ip rvlimit in \\{ type filter hook input priority 0\\; \\} && "
                   "nft add rule ip rvlimit in udp dport " +
                       std::to_string(kPort) +
                       " limit rate over 250000 bytes/second burst 12000 bytes drop");
    constexpr double kLength = 1000.0;
    constexpr double kLimitKbps = 2000.0 * kLength / (kLength + 28.0); // 1945
    std::vector<std::string> args{"search", m_net->Address(1), "--direction", "both", "--json"};
    args.insert(args.end(), {"--step-time", "1", "--min", "500k", "--max", "6M"});
    args.insert(args.end(), {"--local-length", "1000", "--remote-length", "1000"});
    args.insert(args.end(), {"--recv-buf", "256", "--send-buf", "256", "--time-limit", "60"});
    auto search = Start(0, args);
    ASSERT_EQ(search->Wait(90000), 0) << search->Err() << search->Out();
    const std::vector<json> lines = search->JsonLines();
    ExpectDocumented(lines);
    ASSERT_GE(lines.size(), 3U);
    EXPECT_EQ(lines.front().at("event"), "start");
    EXPECT_EQ(lines.front().at("search").at("max_loss_pct").get<double>(), 0.1);
    int steps = 0;
    for (const json& line : lines)
        steps += line.at("event") == "step" ? 1 : 0;
    EXPECT_GE(steps, 5) << search->Out();
    ASSERT_EQ(lines.back().at("event"), "summary");
    const json& capacity = lines.back().at("capacity");
    EXPECT_EQ(capacity.at("local").at("result"), "found") << capacity;
    EXPECT_NEAR(capacity.at("local").at("capacity_kbps").get<double>(), kLimitKbps,
                kLimitKbps * 0.05)
        << search->Out();
    EXPECT_EQ(capacity.at("remote").at("result"), "at_max") << capacity;
    EXPECT_EQ(capacity.at("remote").at("capacity_kbps").get<int>(), 6000);
    // The peer was told to stop.
    EXPECT_TRUE(PeerStopsSending(*responder)) << responder->Out();
}

TEST_F(CliRun, ASearchStoppedBySignalStopsThePeerAndIsNotSettled) {
    m_net = std::make_unique<netns::Topology>(2);
    auto responder = Responder(1);
    auto search = Start(0, {"search", m_net->Address(1), "--direction", "remote", "--step-time",
                            "1", "--min", "500k", "--max", "4M", "--json"});
    ASSERT_TRUE(search->WaitForOutput("\"step\"", 15000)) << search->Err();
    search->Signal(SIGINT);
    ASSERT_EQ(search->Wait(10000), 7) << search->Err() << search->Out();
    const json capacity = search->JsonLines().back().at("capacity");
    EXPECT_EQ(capacity.at("remote").at("result"), "not_settled") << capacity;
    EXPECT_TRUE(capacity.at("local").is_null());
    EXPECT_EQ(capacity.at("remote").at("held_kbps").get<int>(), 500);
    EXPECT_TRUE(PeerStopsSending(*responder)) << responder->Out();
}

TEST_F(CliRun, LookupFindsTwoRespondersAndBothStopOnTheirSignal) {
    m_net = std::make_unique<netns::Topology>(3);
    auto first = Responder(1);
    auto second = Responder(2);
    auto lookup = Start(0, {"lookup", "--time", "2", "--json"});
    ASSERT_EQ(lookup->Wait(10000), 0) << lookup->Err();
    const json found = lookup->JsonLines().at(0).at("lookup");
    ExpectDocumented(lookup->JsonLines());
    EXPECT_EQ(found.at("count").get<int>(), 2) << lookup->Out();
    std::vector<std::string> addresses;
    for (const json& f : found.at("found"))
        addresses.push_back(f.at("address").get<std::string>());
    std::sort(addresses.begin(), addresses.end());
    EXPECT_EQ(addresses, (std::vector<std::string>{m_net->Address(1), m_net->Address(2)}));

    first->Signal(SIGINT);
    second->Signal(SIGTERM);
    EXPECT_EQ(first->Wait(5000), 0) << first->Err();
    EXPECT_EQ(second->Wait(5000), 0) << second->Err();
}

TEST_F(CliRun, PeerThatNeverAnswersEndsWithCodeThreeAndAReason) {
    m_net = std::make_unique<netns::Topology>(2);
    // Only the peer is asked to send, at a speed above 2^31 bit/s, which the
    // engine keeps as asked.
    auto test = Start(0, {"test", m_net->Address(1), "--time", "10", "--direction", "remote",
                          "--remote-speed", "2.5G", "--json"});
    EXPECT_EQ(test->Wait(15000), 3) << test->Out() << test->Err();
    EXPECT_NE(test->Err().find("no answer from " + m_net->Address(1)), std::string::npos)
        << test->Err();
    const std::vector<json> lines = test->JsonLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().at("test").at("remote_speed_kbps").get<int>(), 2500000);
    for (const json& line : lines)
        EXPECT_FALSE(line.contains("summary")) << line;
}

// With --json a failure is also an event on stdout, for a script that reads
// only that.
TEST_F(CliRun, AnErrorIsAnEventOfTheStream) {
    auto view = Start(-1, {"view", m_dir / "missing.log", "--json"});
    ASSERT_EQ(view->Wait(5000), 1) << view->Err();
    const std::vector<json> lines = view->JsonLines();
    ASSERT_EQ(lines.size(), 1U) << view->Out();
    EXPECT_EQ(lines[0].at("event"), "error");
    EXPECT_NE(lines[0].at("error").at("message").get<std::string>().find("missing.log"),
              std::string::npos);
    ExpectDocumented(lines);
}

TEST_F(CliRun, PortInUseIsASocketErrorWithTheEnginesCaption) {
    m_net = std::make_unique<netns::Topology>(2);
    auto responder = Responder(1);
    auto second = Start(1, {"respond", "--duration", "5"});
    EXPECT_EQ(second->Wait(10000), 1) << second->Out();
    EXPECT_NE(second->Err().find("ERROR Socket:98 Bind"), std::string::npos) << second->Err();
}

// The tester vanishes (kill -9) while the responder sends at its command:
// the responder stops after the peer silence and says so; the commanded
// speed was lowered to its limit.
TEST_F(CliRun, KillingTheTesterStopsTheRespondersSending) {
    m_net = std::make_unique<netns::Topology>(2);
    auto responder = Start(1, {"respond", "--json", "--duration", "60", "--peer-silence", "3",
                               "--max-speed", "5M", "--allow", "198.18.0.0/24"});
    ASSERT_TRUE(responder->WaitForOutput("\"address\"", 5000)) << responder->Err();
    const json limits = responder->JsonLines().at(0).at("listening").at("limits");
    EXPECT_EQ(limits.at("peer_silence_s").get<int>(), 3);
    EXPECT_EQ(limits.at("max_speed_kbps").get<int>(), 5000);
    EXPECT_EQ(limits.at("allow"), json::array({"198.18.0.0/24"}));

    auto tester = Start(0, {"test", m_net->Address(1), "--time", "30", "--direction", "remote",
                            "--remote-speed", "50M", "--json"});
    ASSERT_TRUE(responder->WaitForOutput("\"sending\":true", 5000)) << responder->Out();
    EXPECT_NE(responder->Out().find("\"speed_kbps\":5000"), std::string::npos) << responder->Out();
    tester->Signal(SIGKILL);
    ASSERT_EQ(tester->Wait(2000), -1);
    const auto killed = std::chrono::steady_clock::now();
    ASSERT_TRUE(responder->WaitForOutput("\"stopped\"", 4500)) << responder->Out();
    EXPECT_LE(std::chrono::steady_clock::now() - killed, std::chrono::milliseconds(4500));
    for (const json& line : responder->JsonLines()) {
        if (line.contains("stopped")) {
            EXPECT_EQ(line.at("stopped").at("cause"), "peer_silent");
            EXPECT_EQ(line.at("stopped").at("seconds").get<int>(), 3);
        }
    }
    responder->Signal(SIGTERM);
    EXPECT_EQ(responder->Wait(5000), 0) << responder->Err();
}

struct BadCase {
    const char* name;
    std::vector<std::string> args;
    int code;
    const char* says; // part of stderr
};

class CliBadInput : public CliRun, public testing::WithParamInterface<BadCase> {};

TEST_P(CliBadInput, ExitsWithItsCodeAndAClearMessage) {
    const BadCase& c = GetParam();
    std::vector<std::string> args;
    for (const std::string& a : c.args)
        args.push_back(a.rfind("@", 0) == 0 ? m_dir / a.substr(1) : a);
    WriteFile(m_dir / "short.log", std::string(16, '\0'));
    // Two whole records and the start of a third.
    std::string cut(36, '\0');
    cut[0] = 'L';
    cut[16] = 'L';
    cut[32] = 'R';
    WriteFile(m_dir / "cut.log", cut);
    auto cli = Start(-1, args);
    ASSERT_EQ(cli->Wait(10000), c.code) << cli->Out() << cli->Err();
    EXPECT_NE(cli->Err().find(c.says), std::string::npos) << cli->Err();
}

const std::string kHost = "198.18.0.2";

INSTANTIATE_TEST_SUITE_P(
    Table, CliBadInput,
    testing::Values(
        BadCase{"UnknownUnit", {"test", kHost, "--local-speed", "10X"}, 2, "unknown unit 'X'"},
        BadCase{"SpeedZero", {"test", kHost, "--remote-speed", "0"}, 2, "must be above 0"},
        BadCase{"SpeedNegative", {"test", kHost, "--remote-speed", "-3M"}, 2, "must be above 0"},
        BadCase{"SpeedAbove10G", {"test", kHost, "--local-speed", "11G"}, 2, "above the largest"},
        BadCase{"LengthBelow64", {"test", kHost, "--local-length", "63"}, 2, "outside 64..2000"},
        BadCase{
            "LengthAbove2000", {"test", kHost, "--remote-length", "2001"}, 2, "outside 64..2000"},
        BadCase{"PortBelow1024", {"test", kHost, "--port", "1023"}, 2, "outside 1024..9000"},
        BadCase{"PortAbove9000", {"respond", "--port", "9001"}, 2, "outside 1024..9000"},
        BadCase{"AllowNotANetwork",
                {"respond", "--allow", "198.18.0.0/24,peer"},
                2,
                "--allow: 'peer' is not an IPv4 network"},
        BadCase{"MaxSendTimeZero", {"respond", "--max-send-time", "0"}, 2, "outside 1..86400"},
        BadCase{"MaxSpeedZero", {"respond", "--max-speed", "0"}, 2, "must be above 0"},
        BadCase{"HostName", {"test", "peer.example"}, 2, "not an IPv4 address"},
        BadCase{"SearchBothAgainstItself",
                {"search", "127.0.0.1", "--direction", "both"},
                2,
                "127.0.0.1 is this host itself"},
        BadCase{"TestRemoteAgainstItself",
                {"test", "127.0.0.2", "--direction", "remote"},
                2,
                "is this host itself"},
        BadCase{"HostBroadcast", {"test", "255.255.255.255"}, 2, "broadcast address"},
        BadCase{"DirectionUnknown",
                {"test", kHost, "--direction", "up"},
                2,
                "not one of both, local, remote"},
        BadCase{"LogNotWritable",
                {"test", kHost, "--log", "/nonexistent-dir/result.log"},
                2,
                "--log: "},
        BadCase{"InfoTimeTooShort",
                {"test", kHost, "--info-time", "5", "--timer-period", "10"},
                2,
                "outside 10..60000"},
        BadCase{"InfoTimeBelowTimerPeriod",
                {"test", kHost, "--info-time", "20", "--timer-period", "50"},
                2,
                "shorter than the timer period"},
        BadCase{"TimeZero", {"test", kHost, "--time", "0"}, 2, "--time"},
        BadCase{"MaxLossNotAShare", {"test", kHost, "--max-loss", "lots"}, 2, "--max-loss"},
        BadCase{"MaxRttNotATime", {"test", kHost, "--max-rtt", "soon"}, 2, "--max-rtt"},
        BadCase{"MinRateForADirectionNotSent",
                {"test", kHost, "--direction", "local", "--min-rate-remote", "1M"},
                2,
                "does not send that way"},
        BadCase{"HostMissing", {"test"}, 2, "HOST is required"},
        BadCase{"ViewMissingFile", {"view", "@missing.log"}, 1, "missing.log"},
        BadCase{"ViewShortFile", {"view", "@short.log"}, 1, "short.log"},
        BadCase{"ViewTruncatedFile", {"view", "@cut.log"}, 1, "cut.log"},
        BadCase{"ViewDirectory", {"view", "@"}, 1, "not a regular file"}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

} // namespace

namespace {

// The delay figures of a real run across the impairment bridge: 20 ms each
// way, and 0..2 ms more peer -> this host.
TEST_F(CliRun, AcrossTheBridgeTheDelayFiguresAreTheBridges) {
    const netns::Impairment toPeer{.delayUs = 20000};
    // In order: reordering is another test's matter.
    const netns::Impairment toHere{
        .delayUs = 20000, .spreadUs = 2000, .seed = 5, .keepOrder = true};
    m_net = std::make_unique<netns::Topology>(netns::Bridged{toPeer, toHere});
    auto responder = Responder(1);
    m_net->Bridge().Reset(netns::Direction::BToA);
    auto test =
        Start(0, {"test", m_net->Address(1), "--time", "4", "--json", "--local-speed", "2M",
                  "--remote-speed", "2M", "--local-length", "500", "--remote-length", "500",
                  "--log", m_dir / "bridged.log", "--max-rtt", "30ms", "--max-jitter", "1s"});
    // The round trip of about 41 ms breaks the 30 ms threshold.
    ASSERT_EQ(test->Wait(30000), 4) << test->Err() << test->Out();
    ExpectDocumented(test->JsonLines());
    const json s = Summary(*test);
    ASSERT_FALSE(s.is_null()) << test->Out();
    EXPECT_TRUE(s.at("peer_delay_extension").get<bool>());
    // The log's delay file beside it holds the round trips of the run.
    std::vector<double> rtts;
    for (const TDelayLogLine& line : ReadDelayLog(m_dir / "bridged.log"))
        if (line.Side == kSideLocal && line.RttP50Us)
            rtts.push_back(*line.RttP50Us);
    ASSERT_GE(rtts.size(), 5U);
    std::sort(rtts.begin(), rtts.end());
    EXPECT_NEAR(rtts[rtts.size() / 2], 41000.0, 1500.0);
    // The round trip: 40 ms and half the spread on the median.
    EXPECT_NEAR(s.at("rtt_p50_us").get<double>(), 41000.0, 1000.0) << s;
    for (const char* key : {"local_late", "local_duplicate", "local_never_arrived", "remote_late",
                            "remote_duplicate", "remote_never_arrived"})
        EXPECT_EQ(s.at(key).get<int>(), 0) << key;
    // This host -> peer has no spread: less delay above the minimum than the
    // other way, and only the hosts' scheduling (a few ms at most on a
    // loaded machine).
    EXPECT_LT(s.at("remote_delay_p99_us").get<double>(), s.at("local_delay_p99_us").get<double>())
        << s;
    EXPECT_LT(s.at("remote_delay_p99_us").get<double>(), 5000.0) << s;

    // Peer -> this host: the bridge's record says what a receiver must see.
    const auto record = m_net->Bridge().Record(netns::Direction::BToA);
    const netns::DelaySummary added = netns::AddedDelay(record);
    // The summary's p99 is the median of the intervals' (a few late
    // wake-ups of a busy machine lift the bridge's overall p99, not that).
    const double addedP99Us = static_cast<double>(added.p99Ns - added.minNs) / 1000.0;
    EXPECT_NEAR(s.at("local_delay_p99_us").get<double>(), addedP99Us,
                std::max(400.0, addedP99Us * 0.25))
        << s;
    // The jitter estimate averaged over the run, from the bridge's own
    // record of the delays it added.
    double jitter = 0.0;
    double sum = 0.0;
    std::size_t n = 0;
    std::int64_t previous = 0;
    for (const netns::Passage& p : record) {
        if ((p.flags & netns::Passage::kCopy) != 0)
            continue;
        const std::int64_t added = p.departureNs - p.arrivalNs;
        if (n > 0)
            jitter += (std::abs(static_cast<double>(added - previous)) - jitter) / 16.0;
        previous = added;
        sum += jitter;
        ++n;
    }
    ASSERT_GT(n, 100U);
    const double expectedUs = sum / static_cast<double>(n) / 1000.0;
    EXPECT_NEAR(s.at("local_jitter_us").get<double>(), expectedUs, expectedUs * 0.2) << s;

    // The verdict takes the summary's figures: the round trip's p99, and
    // each direction's jitter as its receiving end measured it (the summary
    // rounds to 0.1 us).
    const json verdict = test->JsonLines().back().at("verdict");
    ASSERT_EQ(verdict.at("checks").size(), 3U) << verdict;
    const json& rtt = verdict.at("checks")[0];
    EXPECT_EQ(rtt.at("direction"), "round_trip");
    EXPECT_FALSE(rtt.at("held").get<bool>());
    EXPECT_NEAR(rtt.at("measured_us").get<double>(), s.at("rtt_p99_us").get<double>(), 0.06);
    const json& jitterLocal = verdict.at("checks")[1];
    EXPECT_TRUE(jitterLocal.at("held").get<bool>()) << jitterLocal;
    EXPECT_NEAR(jitterLocal.at("measured_us").get<double>(), s.at("remote_jitter_us").get<double>(),
                0.06);
    EXPECT_NEAR(verdict.at("checks")[2].at("measured_us").get<double>(),
                s.at("local_jitter_us").get<double>(), 0.06);
    responder->Signal(SIGTERM);
    EXPECT_EQ(responder->Wait(5000), 0);
}

// Against a copy without the extension the delay figures are unknown, never 0.
TEST_F(CliRun, APeerWithoutTheExtensionHasNoDelayFigures) {
    m_net = std::make_unique<netns::Topology>(2);
    auto responder = Start(1, {"respond", "--json", "--duration", "60", "--extension", "off"});
    ASSERT_TRUE(responder->WaitForOutput("\"address\"", 5000)) << responder->Err();
    auto test = Start(0, {"test", m_net->Address(1), "--time", "2", "--json"});
    ASSERT_EQ(test->Wait(30000), 0) << test->Err() << test->Out();
    const json s = Summary(*test);
    ASSERT_FALSE(s.is_null()) << test->Out();
    EXPECT_FALSE(s.at("peer_delay_extension").get<bool>());
    for (const char* key : {"rtt_p50_us", "local_delay_p99_us", "local_jitter_us",
                            "remote_delay_p99_us", "remote_late", "remote_never_arrived"})
        EXPECT_TRUE(s.at(key).is_null()) << key << ": " << s;
    // What this host counts itself needs nothing of the peer.
    EXPECT_EQ(s.at("local_late").get<int>(), 0);

    // A delay threshold cannot be judged against it: never held, exit 4.
    auto text = Start(0, {"test", m_net->Address(1), "--time", "2", "--max-rtt", "10s"});
    ASSERT_EQ(text->Wait(30000), 4) << text->Err();
    EXPECT_NE(text->Out().find("the peer does not report delay"), std::string::npos) << text->Out();
    EXPECT_NE(text->Out().find("round trip: -"), std::string::npos) << text->Out();
    EXPECT_NE(text->Out().find("FAILED: round trip p99 cannot be judged: the peer does not "
                               "report delay"),
              std::string::npos)
        << text->Out();
    responder->Signal(SIGTERM);
    EXPECT_EQ(responder->Wait(5000), 0);
}

} // namespace
