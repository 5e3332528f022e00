// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON stream of ravelox-cli: every object printed becomes one NDJSON
// event line. The object keeps the key that has always named its kind
// ({"interval": {...}}), so scripts written against it go on working; the
// line gains "event" (the kind), "time" (UTC wall time, RFC 3339 with
// milliseconds) and "t_s" (seconds since the program started, on the
// monotonic clock). The first line of every command carries "schema" and
// "program_version". Fields are documented in docs/json.md.
//
// Main thread and the engine's threads (errors): the clock is read-only
// after StartEventClock.
#pragma once

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

// The version of the stream's layout: raised when a field changes meaning or
// goes away (new fields do not raise it).
inline constexpr int kJsonSchema = 1;

// Marks the start that "t_s" counts from; call first thing in main.
void StartEventClock();

// "2026-12-10T13:08:32.123Z"
std::string Rfc3339Utc(std::chrono::system_clock::time_point when);

// The event an object is: "start" for a command's first line ("test",
// "listening", "search"), otherwise the key that names it ("interval",
// "step", "summary", "error", "address", "settings", "lookup", "view").
std::string EventName(const nlohmann::json& object);

// The object with "event", "time", "t_s" and, on a command's first line,
// "schema" and "program_version" added. An object that is not one (a bare
// value) is passed through.
nlohmann::json EventLine(const nlohmann::json& object, std::chrono::system_clock::time_point wall,
                         std::chrono::steady_clock::time_point monotonic);
nlohmann::json EventLine(const nlohmann::json& object);
