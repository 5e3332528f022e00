// SPDX-License-Identifier: GPL-3.0-or-later
// ravelox-cli search: the capacity of each direction to a peer. Each step
// sets the rate of the directions still searched (this host's own, and the
// peer's through its commands: each at its own rate), lets the channel
// settle, takes the statistics over the step time and judges the step by
// its channel loss (uCapacitySearch.h decides the next rate). Here: the
// options, the judging of a step and what prints; RunSearch (uCliRun.cpp)
// runs the engine.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "uCapacitySearch.h"
#include "uCliRun.h"

inline constexpr int kExitSenderLimited = 5; // search: a sender could not send the rate asked
inline constexpr int kExitBufferBound = 6;   // search: receive-buffer drops spoiled a step
inline constexpr int kExitNotFound = 7;      // search: no rate held, or not settled in time

// The channel is given this long after each change of rate before the step
// is measured.
inline constexpr std::uint32_t kSearchSettleMs = 1000;
// A sender that sends less than this share of the rate asked is limited.
inline constexpr double kSenderShare = 0.9;

struct TSearchOptions {
    TCliEngineOptions Engine;
    std::string Host;
    tCliDirection Direction = cdBoth;
    double MaxLossPct = 0.1;
    std::int32_t StepTime = 3;               // s of statistics per step
    std::int32_t MinKbps = 100;              // the ramp starts here
    std::int32_t MaxKbps = 1'000'000;        // and never goes above this
    std::int32_t TimeLimit = 120;            // s for the whole search
    std::optional<std::int32_t> LocalLength; // datagram lengths
    std::optional<std::int32_t> RemoteLength;
};

// What one direction did in one step, from the statistics of the step.
struct TStepFigures {
    std::int32_t RateKbps = 0;                // asked of the sender
    double SentKbps = 0.0;                    // what the sender reported sending
    double ArrivedKbps = 0.0;                 // what the receiver reported receiving
    std::int64_t Lost = 0;                    // datagrams the receiver counted lost
    std::optional<std::uint32_t> RcvbufDrops; // of those, the receiving socket's own
    std::int32_t Length = 0;                  // the sender's datagram length
    std::uint32_t ElapsedMs = 0;              // the statistics time the figures cover
};

struct TStepJudgement {
    tStepOutcome Outcome = soHeld;
    double ChannelLossPct = 0.0; // lost but for the socket's own drops / all, per cent
    double DropsPct = 0.0;       // the socket's own drops / all, per cent
};

// A step held when the channel loss (sequence gaps less the receiving
// socket's own drops) stays at or under the threshold. Drops above the
// threshold spoil the step (the host, not the channel, lost them); a sender
// below kSenderShare of its rate is limited.
TStepJudgement JudgeStep(const TStepFigures& figures, double maxLossPct);

// The two directions: index 0 this host -> peer (local), 1 peer -> this
// host (remote); empty where not searched or already ended.
using TStepPair = std::array<std::optional<std::pair<TStepFigures, TStepJudgement>>, 2>;

std::string StepText(std::uint32_t step, std::uint32_t timeMs, const TStepPair& pair);
nlohmann::json StepJson(std::uint32_t step, std::uint32_t timeMs, const TStepPair& pair);

using TSearchPair = std::array<std::optional<TCapacitySearch>, 2>;
std::vector<std::string> CapacityText(const TSearchPair& searches);
nlohmann::json CapacityJson(const TSearchPair& searches);
// The exit code of the searches: the worst kind of end.
int SearchExitCode(const TSearchPair& searches);

int RunSearch(const TSearchOptions& options);
