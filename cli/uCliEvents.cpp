// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliEvents.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "xVersion.h"

namespace {

struct TEventKind {
    std::string_view Key;   // the key that names the object
    std::string_view Event; // what "event" says
    bool First;             // a command's first line: schema and version
};

// The first key of this table that an object holds decides: a view carries
// a "summary" too, a summary a "verdict".
constexpr std::array<TEventKind, 13> kKinds{{
    {"test", "start", true},
    {"listening", "start", true},
    {"search", "start", true},
    {"lookup", "lookup", true},
    {"view", "view", true},
    {"summary", "summary", false},
    {"interval", "interval", false},
    {"step", "step", false},
    {"capacity", "summary", false},
    {"address", "address", false},
    {"settings", "settings", false},
    {"stopped", "stopped", false},
    {"error", "error", false},
}};

const TEventKind* KindOf(const nlohmann::json& object) {
    for (const TEventKind& kind : kKinds) {
        if (object.contains(kind.Key))
            return &kind;
    }
    return nullptr;
}

std::chrono::steady_clock::time_point& Start() {
    static std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    return start;
}

} // namespace

void StartEventClock() {
    Start() = std::chrono::steady_clock::now();
}

std::string Rfc3339Utc(std::chrono::system_clock::time_point when) {
    const auto ms = std::chrono::floor<std::chrono::milliseconds>(when.time_since_epoch());
    const auto seconds = std::chrono::floor<std::chrono::seconds>(ms);
    const std::time_t time = static_cast<std::time_t>(seconds.count());
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>((ms - seconds).count()));
    return text;
}

std::string EventName(const nlohmann::json& object) {
    if (const TEventKind* kind = KindOf(object))
        return std::string(kind->Event);
    if (object.is_object() && !object.empty())
        return object.begin().key();
    return {};
}

nlohmann::json EventLine(const nlohmann::json& object, std::chrono::system_clock::time_point wall,
                         std::chrono::steady_clock::time_point monotonic) {
    if (!object.is_object())
        return object;
    nlohmann::json line = object;
    const TEventKind* kind = KindOf(object);
    line["event"] = EventName(object);
    line["time"] = Rfc3339Utc(wall);
    const double seconds = std::chrono::duration<double>(monotonic - Start()).count();
    line["t_s"] = std::round(seconds * 1000.0) / 1000.0;
    if (kind != nullptr && kind->First) {
        line["schema"] = kJsonSchema;
        line["program_version"] = VersionRecord().FileVersion;
    }
    return line;
}

nlohmann::json EventLine(const nlohmann::json& object) {
    return EventLine(object, std::chrono::system_clock::now(), std::chrono::steady_clock::now());
}
