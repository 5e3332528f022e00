// SPDX-License-Identifier: GPL-3.0-or-later
#include "uVerdict.h"

#include <array>
#include <cstdio>

namespace {

// One entry per kind, in the order of tThresholdKind.
constexpr std::array<TThresholdInfo, tk__Count> kThresholds{{
    {"max_loss", "--max-loss", "pct", "loss", true, false},
    {"min_rate", "--min-rate", "kbps", "arrived", false, false},
    {"max_rtt", "--max-rtt", "us", "round trip p99", true, true},
    {"max_jitter", "--max-jitter", "us", "jitter", true, true},
}};

double Measure(tThresholdKind kind, const TVerdictInput& input, tVerdictDirection direction,
               bool& known) {
    known = true;
    switch (kind) {
    case tkMaxLoss: {
        const std::optional<double> loss = LossPercent(input, direction);
        known = loss.has_value();
        return loss.value_or(0.0);
    }
    case tkMinRate:
        return ArrivedKbps(input, direction);
    case tkMaxRtt: {
        // This host measures the round trip from the peer's echoes.
        const std::optional<TDelayQuantiles>& rtt = input.LocalDelay.Rtt;
        known = rtt.has_value() && rtt->Samples > 0;
        return rtt ? rtt->P99Us : 0.0;
    }
    case tkMaxJitter: {
        // The receiving end measures a direction's jitter: the peer this
        // host's sending, this host the peer's.
        const std::optional<double>& jitter =
            direction == vdLocal ? input.RemoteDelay.JitterUs : input.LocalDelay.JitterUs;
        known = jitter.has_value();
        return jitter.value_or(0.0);
    }
    case tk__Count:
        break;
    }
    known = false;
    return 0.0;
}

bool Tested(const TVerdictInput& input, tVerdictDirection direction) {
    switch (direction) {
    case vdLocal:
        return input.LocalTested;
    case vdRemote:
        return input.RemoteTested;
    case vdRoundTrip:
        // Echoes ride on data and on answers: either direction's traffic.
        return input.LocalTested || input.RemoteTested;
    }
    return false;
}

std::string Number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

std::string Figure(tThresholdKind kind, double value) {
    if (kind == tkMinRate)
        return Number(value / 1000.0) + " Mbit/s";
    if (ThresholdInfo(kind).Delay)
        return Number(value / 1000.0) + " ms";
    return Number(value) + " %";
}

} // namespace

const TThresholdInfo& ThresholdInfo(tThresholdKind kind) {
    return kThresholds.at(static_cast<std::size_t>(kind));
}

const char* VerdictDirectionName(tVerdictDirection direction) {
    switch (direction) {
    case vdLocal:
        return "local";
    case vdRemote:
        return "remote";
    case vdRoundTrip:
        return "round_trip";
    }
    return "";
}

std::optional<double> LossPercent(const TVerdictInput& input, tVerdictDirection direction) {
    const TSummary& s = input.Summary;
    // This host -> peer: the peer counted the loss and received RR bytes of
    // this host's datagrams; the other way this host did, with LR.
    const bool local = direction == vdLocal;
    const double lost = static_cast<double>(local ? s.RemoteLost : s.LocalLost);
    const double bytes = (local ? s.RR : s.LR) * s.ElapsedMs / 1000.0;
    const std::int32_t length = local ? input.LocalLength : input.RemoteLength;
    const double received = length > 0 ? bytes / length : 0.0;
    if (lost + received <= 0.0)
        return std::nullopt;
    return lost / (lost + received) * 100.0;
}

double ArrivedKbps(const TVerdictInput& input, tVerdictDirection direction) {
    return BytesPerSecondToKbps(direction == vdLocal ? input.Summary.RR : input.Summary.LR);
}

bool TVerdict::Passed() const {
    for (const TVerdictCheck& check : Checks) {
        if (!check.Held)
            return false;
    }
    return true;
}

TVerdict CheckThresholds(const std::vector<TThreshold>& thresholds, const TVerdictInput& input) {
    TVerdict verdict;
    for (const TThreshold& threshold : thresholds) {
        TVerdictCheck check;
        check.Threshold = threshold;
        if (ThresholdInfo(threshold.Kind).Delay && !input.PeerHasExtension) {
            check.NoExtension = true;
            verdict.Checks.push_back(check);
            continue;
        }
        bool known = false;
        const double value = Measure(threshold.Kind, input, threshold.Direction, known);
        if (known && Tested(input, threshold.Direction)) {
            check.Measured = value;
            check.Held = ThresholdInfo(threshold.Kind).AtMost ? value <= threshold.Limit
                                                              : value >= threshold.Limit;
        }
        verdict.Checks.push_back(check);
    }
    return verdict;
}

std::string VerdictCheckText(const TVerdictCheck& check) {
    const TThresholdInfo& info = ThresholdInfo(check.Threshold.Kind);
    const tVerdictDirection direction = check.Threshold.Direction;
    const std::string way = direction == vdLocal    ? " this host -> peer"
                            : direction == vdRemote ? " peer -> this host"
                                                    : "";
    const std::string limit = std::string(info.AtMost ? "at most " : "at least ") +
                              Figure(check.Threshold.Kind, check.Threshold.Limit);
    const std::string figure = check.NoExtension
                                   ? "cannot be judged: the peer does not report delay"
                               : check.Measured ? Figure(check.Threshold.Kind, *check.Measured)
                                                : "not measured";
    return std::string(check.Held ? "held" : "FAILED") + ": " + info.Text + way + " " + figure +
           " (" + limit + ")";
}
