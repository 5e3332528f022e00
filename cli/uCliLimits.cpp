// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliLimits.h"

#include <algorithm>

#include "uCliArgs.h"
#include "uConfig.h"
#include "uSpeedStr.h"

namespace {

std::string Seconds(std::int32_t ms) {
    return std::to_string((ms + 999) / 1000) + " s";
}

std::string Speed(std::int32_t kbps) {
    std::string text = SpeedToStr(kbps);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace

TbNLimits ApplyLimitOptions(const TCliLimitOptions& options) {
    if (options.PeerSilence)
        CfgOpt.PeerSilence = *options.PeerSilence;
    if (options.MaxSpeed)
        CfgOpt.PeerMaxSpeed = *options.MaxSpeed;
    if (options.MaxSendTime)
        CfgOpt.PeerMaxSendTime = *options.MaxSendTime;
    if (options.Allow)
        CfgOpt.PeerAllow = *options.Allow;
    TbNLimits limits;
    limits.PeerSilence = std::max(CfgOpt.PeerSilence, 0);
    limits.MaxSpeed = std::clamp(CfgOpt.PeerMaxSpeed, 0, kCliMaxSpeed);
    limits.MaxSendTime = std::max(CfgOpt.PeerMaxSendTime, 0);
    if (std::string error; !ParseAllowList(CfgOpt.PeerAllow, limits.Allow, error))
        throw ECliArgError(std::string(options.Allow ? "--allow" : "PeerAllow (settings)") + ": " +
                           error);
    return limits;
}

std::string LimitsText(const TbNLimits& limits, std::int32_t silenceMs) {
    return "limits: peer silence " + (silenceMs > 0 ? Seconds(silenceMs) : "off") + ", max speed " +
           (limits.MaxSpeed > 0 ? Speed(limits.MaxSpeed) : "off") + ", max send time " +
           (limits.MaxSendTime > 0 ? std::to_string(limits.MaxSendTime) + " s" : "off") +
           ", allow " + (limits.Allow.Active ? AllowListText(limits.Allow) : "any");
}

nlohmann::json LimitsJson(const TbNLimits& limits, std::int32_t silenceMs) {
    nlohmann::json allow = nlohmann::json::array();
    if (limits.Allow.Active) {
        const std::string text = AllowListText(limits.Allow);
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t comma = std::min(text.find(',', at), text.size());
            allow.push_back(text.substr(at, comma - at));
            at = comma + 1;
        }
    }
    return {{"peer_silence_s", (silenceMs + 999) / 1000},
            {"max_speed_kbps", limits.MaxSpeed},
            {"max_send_time_s", limits.MaxSendTime},
            {"allow_any", !limits.Allow.Active},
            {"allow", allow}};
}

std::string StopText(tNetStopCause cause, std::int32_t silenceMs, std::int32_t maxSendTime) {
    if (cause == nsMaxSendTime)
        return "Sending ran for " + std::to_string(maxSendTime) +
               " s, the longest allowed: sending stopped";
    return "Peer silent for " + Seconds(silenceMs) + ": sending stopped";
}

nlohmann::json StopJson(tNetStopCause cause, std::int32_t silenceMs, std::int32_t maxSendTime) {
    if (cause == nsMaxSendTime)
        return {{"stopped", {{"cause", "max_send_time"}, {"seconds", maxSendTime}}}};
    return {{"stopped", {{"cause", "peer_silent"}, {"seconds", (silenceMs + 999) / 1000}}}};
}
