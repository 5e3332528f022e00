// SPDX-License-Identifier: GPL-3.0-or-later
// ravelox-cli test's thresholds: the options that give them, and how their
// verdict prints (summary lines and the JSON `verdict` object). The checks
// themselves are the model's (uVerdict.h). Nothing here opens a socket.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "uCliArgs.h"
#include "uVerdict.h"

// A loss threshold in per cent, "0.1%" or "0.1", 0 .. 100.
double ParsePercent(std::string_view text, std::string_view option);

// A delay threshold in microseconds: "50ms", "500us", "0.05s"; a bare
// number is milliseconds. Greater than 0, at most 60 s.
double ParseDelay(std::string_view text, std::string_view option);

// The thresholds given on the command line, as text (empty: not given).
// --max-loss and --min-rate hold in every direction the test sends in;
// --min-rate-local (this host -> peer) and --min-rate-remote (peer -> this
// host) in one. A one-direction threshold for a direction the test does not
// send in is refused. --max-rtt holds for the round trip (its 99th
// percentile over the test), --max-jitter in every direction the test sends
// in (so the worse direction decides).
struct TCliThresholdArgs {
    std::string MaxLoss;
    std::string MinRate;
    std::string MinRateLocal;
    std::string MinRateRemote;
    std::string MaxRtt;
    std::string MaxJitter;
};
std::vector<TThreshold> ParseThresholds(const TCliThresholdArgs& args, tCliDirection direction);

// "Verdict: all 3 thresholds held" and one line per check.
std::vector<std::string> VerdictText(const TVerdict& verdict);
// {"passed": bool, "checks": [{"name", "direction", "limit_<unit>",
// "measured_<unit>", "held", "reason"}, ...]}
nlohmann::json VerdictJson(const TVerdict& verdict);
