// SPDX-License-Identifier: GPL-3.0-or-later
#include "uVerdict.h"

#include <array>
#include <cstdio>

namespace {

// One entry per kind, in the order of tThresholdKind.
constexpr std::array<TThresholdInfo, tk__Count> kThresholds{{
    {"max_loss", "--max-loss", "pct", "loss", true},
    {"min_rate", "--min-rate", "kbps", "arrived", false},
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
    case tk__Count:
        break;
    }
    known = false;
    return 0.0;
}

bool Tested(const TVerdictInput& input, tVerdictDirection direction) {
    return direction == vdLocal ? input.LocalTested : input.RemoteTested;
}

std::string Number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

std::string Figure(tThresholdKind kind, double value) {
    if (kind == tkMinRate)
        return Number(value / 1000.0) + " Mbit/s";
    return Number(value) + " %";
}

} // namespace

const TThresholdInfo& ThresholdInfo(tThresholdKind kind) {
    return kThresholds.at(static_cast<std::size_t>(kind));
}

const char* VerdictDirectionName(tVerdictDirection direction) {
    return direction == vdLocal ? "local" : "remote";
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
    const std::string way =
        check.Threshold.Direction == vdLocal ? "this host -> peer" : "peer -> this host";
    const std::string limit = std::string(info.AtMost ? "at most " : "at least ") +
                              Figure(check.Threshold.Kind, check.Threshold.Limit);
    const std::string figure =
        check.Measured ? Figure(check.Threshold.Kind, *check.Measured) : "not measured";
    return std::string(check.Held ? "held" : "FAILED") + ": " + info.Text + " " + way + " " +
           figure + " (" + limit + ")";
}
