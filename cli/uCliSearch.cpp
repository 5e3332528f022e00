// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliSearch.h"

#include <algorithm>
#include <cstdio>

#include "uSpeedStr.h"

namespace {

const char* const kWay[2] = {"this host -> peer", "peer -> this host"};
const char* const kName[2] = {"local", "remote"};

std::string Speed(double kbps) {
    std::string text = SpeedToStr(static_cast<std::int32_t>(std::clamp(kbps, 0.0, 2.0e9)));
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text.empty() ? "-" : text;
}

const char* OutcomeName(tStepOutcome outcome) {
    switch (outcome) {
    case soHeld:
        return "held";
    case soLost:
        return "lost";
    case soBufferBound:
        return "buffer_bound";
    case soSenderLimited:
        break;
    }
    return "sender_limited";
}

nlohmann::json OrNull(const std::optional<std::int32_t>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json();
}

} // namespace

TStepJudgement JudgeStep(const TStepFigures& f, double maxLossPct) {
    TStepJudgement judgement;
    const double received =
        f.Length > 0 ? f.ArrivedKbps * 1000.0 / 8.0 * f.ElapsedMs / 1000.0 / f.Length : 0.0;
    const double lost = static_cast<double>(std::max<std::int64_t>(f.Lost, 0));
    const double drops = std::min<double>(f.RcvbufDrops.value_or(0), lost);
    const double total = lost + received;
    if (total > 0.0) {
        judgement.ChannelLossPct = (lost - drops) / total * 100.0;
        judgement.DropsPct = drops / total * 100.0;
    }
    if (f.SentKbps < kSenderShare * f.RateKbps)
        judgement.Outcome = soSenderLimited;
    else if (judgement.DropsPct > maxLossPct)
        judgement.Outcome = soBufferBound;
    else if (judgement.ChannelLossPct > maxLossPct || received <= 0.0)
        judgement.Outcome = soLost;
    else
        judgement.Outcome = soHeld;
    return judgement;
}

std::string StepText(std::uint32_t step, std::uint32_t timeMs, const TStepPair& pair) {
    char head[48];
    std::snprintf(head, sizeof head, "step %2u %6.1f s", step, timeMs / 1000.0);
    std::string line = head;
    for (std::size_t i = 0; i < pair.size(); ++i) {
        if (!pair[i])
            continue;
        const auto& [f, j] = *pair[i];
        char text[200];
        std::snprintf(text, sizeof text, "  %s %s: arrived %s, loss %.3f %%, drops %.3f %%, %s",
                      kName[i], Speed(f.RateKbps).c_str(), Speed(f.ArrivedKbps).c_str(),
                      j.ChannelLossPct, j.DropsPct, OutcomeName(j.Outcome));
        line += text;
    }
    return line;
}

nlohmann::json StepJson(std::uint32_t step, std::uint32_t timeMs, const TStepPair& pair) {
    nlohmann::json object{{"n", step}, {"t_ms", timeMs}};
    for (std::size_t i = 0; i < pair.size(); ++i) {
        if (!pair[i]) {
            object[kName[i]] = nullptr;
            continue;
        }
        const auto& [f, j] = *pair[i];
        object[kName[i]] = {
            {"rate_kbps", f.RateKbps},
            {"sent_kbps", f.SentKbps},
            {"arrived_kbps", f.ArrivedKbps},
            {"lost", f.Lost},
            {"rcvbuf_drops", f.RcvbufDrops ? nlohmann::json(*f.RcvbufDrops) : nlohmann::json()},
            {"channel_loss_pct", j.ChannelLossPct},
            {"rcvbuf_drops_pct", j.DropsPct},
            {"outcome", OutcomeName(j.Outcome)},
        };
    }
    return {{"step", object}};
}

std::vector<std::string> CapacityText(const TSearchPair& searches) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < searches.size(); ++i) {
        if (!searches[i])
            continue;
        const TCapacitySearch& s = *searches[i];
        std::string line = std::string("Capacity ") + kWay[i] + ": ";
        const std::string held = s.Held() ? Speed(*s.Held()) : "-";
        switch (s.Result()) {
        case srFound:
            line += held + " (within 2 %; " + Speed(*s.Failed()) + " lost too much)";
            break;
        case srAtMax:
            line += "at least " + held + " (the highest rate allowed, --max, held)";
            break;
        case srNoRateHeld:
            line += "none: already the lowest rate (--min) lost too much";
            break;
        case srBufferBound:
            line += "not found: a receiving socket dropped datagrams for want of buffer "
                    "(highest rate that held: " +
                    held +
                    "); raise the receive buffer with --recv-buf here and on the peer, or the "
                    "Network settings";
            break;
        case srSenderLimited:
            line += std::string("not found: the ") + (i == 0 ? "own sending" : "peer") +
                    " did not reach the rate asked (highest rate that held: " + held + ")";
            break;
        case srRunning:
        case srNotSettled:
            line += "not settled within the time limit (highest rate that held: " + held + ")";
            break;
        }
        line += ", " + std::to_string(s.Steps()) + " steps";
        lines.push_back(line);
    }
    return lines;
}

nlohmann::json CapacityJson(const TSearchPair& searches) {
    nlohmann::json object;
    for (std::size_t i = 0; i < searches.size(); ++i) {
        if (!searches[i]) {
            object[kName[i]] = nullptr;
            continue;
        }
        const TCapacitySearch& s = *searches[i];
        const bool found = s.Result() == srFound || s.Result() == srAtMax;
        object[kName[i]] = {{"result", SearchResultName(s.Result())},
                            {"capacity_kbps", found ? OrNull(s.Held()) : nlohmann::json()},
                            {"held_kbps", OrNull(s.Held())},
                            {"failed_kbps", OrNull(s.Failed())},
                            {"steps", s.Steps()}};
    }
    return {{"capacity", object}};
}

int SearchExitCode(const TSearchPair& searches) {
    int code = kExitOk;
    const auto rank = [](int c) {
        switch (c) {
        case kExitBufferBound:
            return 3;
        case kExitSenderLimited:
            return 2;
        case kExitNotFound:
            return 1;
        default:
            return 0;
        }
    };
    for (const auto& search : searches) {
        if (!search)
            continue;
        int c = kExitOk;
        switch (search->Result()) {
        case srFound:
        case srAtMax:
            break;
        case srBufferBound:
            c = kExitBufferBound;
            break;
        case srSenderLimited:
            c = kExitSenderLimited;
            break;
        case srNoRateHeld:
        case srNotSettled:
        case srRunning:
            c = kExitNotFound;
            break;
        }
        if (rank(c) > rank(code))
            code = c;
    }
    return code;
}
