// SPDX-License-Identifier: GPL-3.0-or-later
// ravelox-cli's commands: respond (an idle copy that serves its peer), test
// (a scripted measurement as the desktop program runs it), lookup and view.
// Each answers the process exit code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "uCliArgs.h"
#include "uCliLimits.h"
#include "uVerdict.h"

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;   // socket error; view: a log that cannot be shown
inline constexpr int kExitUsage = 2;     // bad arguments
inline constexpr int kExitNoPeer = 3;    // the peer (or the own broadcast) never answered
inline constexpr int kExitThreshold = 4; // test: a threshold (--max-loss, --min-rate...) failed

// Options shared by the commands that open the engine. Empty ones keep the
// value of the settings file (or the compiled-in default).
struct TCliEngineOptions {
    std::optional<std::int32_t> Port;
    std::optional<std::int32_t> RecvBuf;     // bytes
    std::optional<std::int32_t> SendBuf;     // bytes
    std::optional<std::int32_t> TimerPeriod; // ms
    std::optional<std::int32_t> InfoTime;    // ms
    std::optional<std::int32_t> Interval;    // ms between printed lines (ViewTime)
    std::optional<bool> Extension;           // the delay extension (settings: Extension)
    bool Json = false;
};

struct TRespondOptions {
    TCliEngineOptions Engine;
    TCliLimitOptions Limits;
    std::int32_t Duration = 0; // s; 0 = until SIGINT or SIGTERM
    std::string MetricsFile;   // OpenMetrics text rewritten every interval; empty: none
};

struct TTestOptions {
    TCliEngineOptions Engine;
    std::string Host;
    std::int32_t Time = 10;                  // s
    std::optional<std::int32_t> LocalSpeed;  // kbit/s
    std::optional<std::int32_t> RemoteSpeed; // kbit/s
    std::optional<std::int32_t> LocalLength; // datagram length
    std::optional<std::int32_t> RemoteLength;
    tCliDirection Direction = cdBoth;
    std::string LogPath;                // empty: no log
    std::vector<TThreshold> Thresholds; // checked against the summary; exit 4 when one fails
    bool Csv = false; // intervals as CSV rows on stdout, the other lines on stderr
};

struct TLookupOptions {
    TCliEngineOptions Engine;
    std::int32_t Time = 2; // s
};

struct TViewOptions {
    std::string File;
    bool Json = false;
    bool Csv = false;     // the records as CSV on stdout, nothing else
    std::string SvgPath;  // draw the log into this SVG file
    std::string SvgTitle; // its title; empty: the log's name
};

// Blocks SIGINT and SIGTERM in the calling thread, and so in every thread
// started after it; the commands take them only where they wait. Call it
// first thing, before any thread exists.
void BlockStopSignals();

// Opens the settings store on the program's settings file and reads the test
// settings into CfgOpt, Cfg and Colors; never writes. A problem is reported on
// stderr and the values not read keep their defaults.
void LoadSettings();

// Puts the options given over the values read (in CfgOpt only, never saved)
// and checks the rules between them: the info time not shorter than the timer
// period, the print interval not shorter than the info time. Raises
// ECliArgError.
void ApplyEngineOptions(const TCliEngineOptions& options);

int RunRespond(const TRespondOptions& options);
int RunTest(const TTestOptions& options);
int RunLookup(const TLookupOptions& options);
int RunView(const TViewOptions& options);
