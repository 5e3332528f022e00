// SPDX-License-Identifier: GPL-3.0-or-later
// What `ravelox-cli respond` obeys of its peers: the options that limit it
// (over the settings file's PeerSilence, PeerMaxSpeed, PeerMaxSendTime and
// PeerAllow), and the texts that tell them and the stops they cause. Nothing
// here opens a socket.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "cNetLimits.h"

// The limit options of respond; empty ones keep the settings file's values.
struct TCliLimitOptions {
    std::optional<std::int32_t> PeerSilence; // s, 0: never
    std::optional<std::int32_t> MaxSpeed;    // kbit/s
    std::optional<std::int32_t> MaxSendTime; // s
    std::optional<std::string> Allow;        // "CIDR[,CIDR...]"
};

// Puts the options given over CfgOpt and reads the limits from there; raises
// ECliArgError for an allow list that cannot be read (naming --allow or the
// settings key, whichever gave it).
TbNLimits ApplyLimitOptions(const TCliLimitOptions& options);

// "peer silence 10 s, max speed 1000 Mbps, max send time 600 s, allow
// 198.18.0.0/15" ("off" and "any" where there is no limit). `silenceMs` is
// the silence in force (PeerSilence raised to its lowest).
std::string LimitsText(const TbNLimits& limits, std::int32_t silenceMs);
nlohmann::json LimitsJson(const TbNLimits& limits, std::int32_t silenceMs);

// The line for a sending the engine ended: "Peer silent for 10 s: sending
// stopped" or "Sending ran for 600 s, the longest allowed: sending stopped".
std::string StopText(tNetStopCause cause, std::int32_t silenceMs, std::int32_t maxSendTime);
nlohmann::json StopJson(tNetStopCause cause, std::int32_t silenceMs, std::int32_t maxSendTime);
