// SPDX-License-Identifier: GPL-3.0-or-later
// Pass/fail of a measurement: thresholds a script gives (`--max-loss`,
// `--min-rate`, ...) checked against the Centre panel's figures of a test.
// Each kind of threshold is one entry of a table (uVerdict.cpp) that names
// its option, its unit and how the figure is taken from the summary or the
// delay figures; a new figure is one more entry.
// No Qt, no sockets: the CLI and the windows only present the answer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "uDelayModel.h"
#include "uSummary.h"

enum tThresholdKind : int {
    tkMaxLoss = 0,   // lost datagrams / datagrams sent, per cent; at most the limit
    tkMinRate = 1,   // what arrived at the receiving end, kbit/s; at least the limit
    tkMaxRtt = 2,    // the round trip's 99th percentile over the test, us; at most the limit
    tkMaxJitter = 3, // the direction's jitter (mean of the intervals'), us; at most the limit
    tk__Count = 4,
};

// The direction a threshold is checked in: this host -> peer ("local", the
// own sending) or peer -> this host ("remote", the peer's sending); the
// round trip is both at once ("round_trip").
enum tVerdictDirection : int { vdLocal = 0, vdRemote = 1, vdRoundTrip = 2 };

struct TThreshold {
    tThresholdKind Kind = tkMaxLoss;
    tVerdictDirection Direction = vdLocal;
    double Limit = 0.0; // in the kind's unit

    friend bool operator==(const TThreshold&, const TThreshold&) = default;
};

// What a kind is called and measured in.
struct TThresholdInfo {
    const char* Name;   // "max_loss": the key in JSON
    const char* Option; // "--max-loss"
    const char* Unit;   // "pct", "kbps", "us": the unit in JSON names
    const char* Text;   // "loss": what a summary line calls the figure
    bool AtMost;        // the figure must stay at or under the limit (else at or over)
    bool Delay;         // a delay extension figure: the peer must report it
};
const TThresholdInfo& ThresholdInfo(tThresholdKind kind);
// "local", "remote", "round_trip"
const char* VerdictDirectionName(tVerdictDirection direction);

// The figures of a finished test that thresholds are checked against.
struct TVerdictInput {
    TSummary Summary;
    std::int32_t LocalLength = 0;  // own datagram length, bytes
    std::int32_t RemoteLength = 0; // the peer's datagram length, bytes
    bool LocalTested = true;       // this host sent to the peer
    bool RemoteTested = true;      // the peer sent to this host
    // The delay figures over the test: Local as this host measured the
    // peer's traffic (peer -> this host, and the round trip), Remote as the
    // peer measured this host's. Without the peer's delay extension they
    // cannot be judged.
    TDelayFigures LocalDelay;
    TDelayFigures RemoteDelay;
    bool PeerHasExtension = false;
};

// The loss in a direction: lost datagrams / (lost + received datagrams) x
// 100, the received ones counted from the receiving end's bytes and the
// sender's datagram length. The counts are exact where the bytes-based
// quality box shifts by the report interval the two ends lag each other.
// Empty when nothing was sent that way.
std::optional<double> LossPercent(const TVerdictInput& input, tVerdictDirection direction);
// What arrived at the receiving end, kbit/s.
double ArrivedKbps(const TVerdictInput& input, tVerdictDirection direction);

struct TVerdictCheck {
    TThreshold Threshold;
    std::optional<double> Measured; // empty: nothing was measured that way
    bool Held = false;              // a threshold without a figure has not held
    // A delay threshold against a peer without the delay extension: it
    // cannot be judged and so has not held.
    bool NoExtension = false;
};

struct TVerdict {
    std::vector<TVerdictCheck> Checks;
    bool Passed() const;
};

TVerdict CheckThresholds(const std::vector<TThreshold>& thresholds, const TVerdictInput& input);

// "held: loss this host -> peer 0.02 % (at most 0.1 %)", one per check.
// A delay figure shows in ms.
std::string VerdictCheckText(const TVerdictCheck& check);
