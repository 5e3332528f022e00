// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliEvents.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "uCliOut.h"

namespace {

using nlohmann::json;
using namespace std::chrono_literals;

TEST(CliEvents, WallTimeIsUtcWithMilliseconds) {
    // 2026-12-10 13:08:32 UTC
    const std::chrono::system_clock::time_point when{1796908112s};
    EXPECT_EQ(Rfc3339Utc(when + 7ms), "2026-12-10T13:08:32.007Z");
    EXPECT_EQ(Rfc3339Utc(when + 999ms), "2026-12-10T13:08:32.999Z");
    EXPECT_EQ(Rfc3339Utc(std::chrono::system_clock::time_point{}), "1970-01-01T00:00:00.000Z");
}

struct NameCase {
    const char* name;
    json object;
    const char* event;
    bool first; // schema and version on it
};

class CliEventNames : public testing::TestWithParam<NameCase> {};

TEST_P(CliEventNames, TheKeyThatNamesAnObjectGivesItsEvent) {
    const NameCase& c = GetParam();
    const auto wall = std::chrono::system_clock::now();
    const json line = EventLine(c.object, wall, std::chrono::steady_clock::now());
    EXPECT_EQ(line.at("event"), c.event);
    EXPECT_EQ(line.at("time"), Rfc3339Utc(wall));
    EXPECT_TRUE(line.at("t_s").is_number());
    EXPECT_EQ(line.contains("schema"), c.first);
    EXPECT_EQ(line.contains("program_version"), c.first);
    if (c.first) {
        EXPECT_EQ(line.at("schema").get<int>(), kJsonSchema);
    }
    // The object a script read before is still there, unchanged.
    for (const auto& [key, value] : c.object.items())
        EXPECT_EQ(line.at(key), value) << key;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliEventNames,
    testing::Values(NameCase{"Test", {{"test", {{"host", "198.18.0.2"}}}}, "start", true},
                    NameCase{"Respond", {{"listening", {{"port", 2222}}}}, "start", true},
                    NameCase{"Search", {{"search", {{"host", "198.18.0.2"}}}}, "start", true},
                    NameCase{"Interval", {{"interval", {{"t_ms", 500}}}}, "interval", false},
                    NameCase{"Summary", {{"summary", nullptr}, {"verdict", {}}}, "summary", false},
                    NameCase{"View", {{"view", {}}, {"summary", nullptr}}, "view", true},
                    NameCase{"Error", {{"error", {{"message", "x"}}}}, "error", false},
                    NameCase{"Address", {{"address", "198.18.0.1"}}, "address", false}),
    [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST(CliEvents, SecondsCountFromTheStartOnTheMonotonicClock) {
    StartEventClock();
    const auto now = std::chrono::steady_clock::now();
    const json line = EventLine({{"interval", {}}}, std::chrono::system_clock::now(), now + 2500ms);
    EXPECT_NEAR(line.at("t_s").get<double>(), 2.5, 0.01);
}

TEST(CliEvents, NoNumberThatJsonCannotCarryReachesTheLine) {
    const json object{{"summary",
                       {{"quality_pct", std::numeric_limits<double>::quiet_NaN()},
                        {"local_lost_per_s", std::numeric_limits<double>::infinity()}}}};
    const json back = json::parse(JsonLine(object));
    EXPECT_TRUE(back.at("summary").at("quality_pct").is_null());
    EXPECT_TRUE(back.at("summary").at("local_lost_per_s").is_null());
    EXPECT_EQ(back.at("event"), "summary");
}

} // namespace
