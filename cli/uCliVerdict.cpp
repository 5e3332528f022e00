// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliVerdict.h"

#include <charconv>
#include <cmath>
#include <system_error>

double ParsePercent(std::string_view text, std::string_view option) {
    const std::string original(text);
    if (!text.empty() && text.back() == '%')
        text.remove_suffix(1);
    double value = 0.0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() ||
        !std::isfinite(value))
        throw ECliArgError(std::string(option) + ": '" + original +
                           "' is not a share in per cent, e.g. 0.1% or 2");
    if (value < 0.0 || value > 100.0)
        throw ECliArgError(std::string(option) + ": '" + original + "' is outside 0..100 %");
    return value;
}

double ParseDelay(std::string_view text, std::string_view option) {
    const std::string original(text);
    double scale = 1000.0; // a bare number: ms
    const auto suffix = [&](std::string_view unit, double factor) {
        if (text.size() > unit.size() && text.substr(text.size() - unit.size()) == unit) {
            text.remove_suffix(unit.size());
            scale = factor;
            return true;
        }
        return false;
    };
    if (!suffix("us", 1.0) && !suffix("ms", 1000.0))
        suffix("s", 1e6);
    double value = 0.0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size() ||
        !std::isfinite(value))
        throw ECliArgError(std::string(option) + ": '" + original +
                           "' is not a time, e.g. 50ms, 500us or 0.05s");
    const double us = value * scale;
    if (us <= 0.0 || us > 60e6)
        throw ECliArgError(std::string(option) + ": '" + original + "' is outside 0..60 s");
    return us;
}

std::vector<TThreshold> ParseThresholds(const TCliThresholdArgs& args, tCliDirection direction) {
    const bool local = direction != cdRemote;
    const bool remote = direction != cdLocal;
    std::vector<TThreshold> thresholds;
    const auto both = [&](tThresholdKind kind, double limit) {
        if (local)
            thresholds.push_back({kind, vdLocal, limit});
        if (remote)
            thresholds.push_back({kind, vdRemote, limit});
    };
    if (!args.MaxLoss.empty())
        both(tkMaxLoss, ParsePercent(args.MaxLoss, "--max-loss"));
    if (!args.MinRate.empty())
        both(tkMinRate, ParseRate(args.MinRate, "--min-rate"));
    if (!args.MaxRtt.empty())
        thresholds.push_back({tkMaxRtt, vdRoundTrip, ParseDelay(args.MaxRtt, "--max-rtt")});
    if (!args.MaxJitter.empty())
        both(tkMaxJitter, ParseDelay(args.MaxJitter, "--max-jitter"));
    const auto one = [&](const std::string& text, const char* option, tVerdictDirection way,
                         bool tested) {
        if (text.empty())
            return;
        const double limit = ParseRate(text, option);
        if (!tested)
            throw ECliArgError(std::string(option) +
                               ": the test does not send that way (--direction " +
                               DirectionName(direction) + ")");
        thresholds.push_back({tkMinRate, way, limit});
    };
    one(args.MinRateLocal, "--min-rate-local", vdLocal, local);
    one(args.MinRateRemote, "--min-rate-remote", vdRemote, remote);
    return thresholds;
}

std::vector<std::string> VerdictText(const TVerdict& verdict) {
    std::size_t held = 0;
    for (const TVerdictCheck& check : verdict.Checks)
        held += check.Held ? 1 : 0;
    const std::size_t count = verdict.Checks.size();
    std::vector<std::string> lines;
    lines.push_back(verdict.Passed() ? "Verdict: all " + std::to_string(count) + " thresholds held"
                                     : "Verdict: FAILED, " + std::to_string(held) + " of " +
                                           std::to_string(count) + " thresholds held");
    for (const TVerdictCheck& check : verdict.Checks)
        lines.push_back("  " + VerdictCheckText(check));
    return lines;
}

nlohmann::json VerdictJson(const TVerdict& verdict) {
    nlohmann::json checks = nlohmann::json::array();
    for (const TVerdictCheck& check : verdict.Checks) {
        const TThresholdInfo& info = ThresholdInfo(check.Threshold.Kind);
        const std::string unit = info.Unit;
        checks.push_back({{"name", info.Name},
                          {"direction", VerdictDirectionName(check.Threshold.Direction)},
                          {"limit_" + unit, check.Threshold.Limit},
                          {"measured_" + unit,
                           check.Measured ? nlohmann::json(*check.Measured) : nlohmann::json()},
                          {"held", check.Held},
                          {"reason", check.NoExtension ? nlohmann::json("no_delay_extension")
                                                       : nlohmann::json()}});
    }
    return {{"passed", verdict.Passed()}, {"checks", checks}};
}
