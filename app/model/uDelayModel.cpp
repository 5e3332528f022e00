// SPDX-License-Identifier: GPL-3.0-or-later
#include "uDelayModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kNsPerUs = 1000.0;

} // namespace

double WeightedMedian(std::vector<std::pair<double, std::uint64_t>> values) {
    std::uint64_t total = 0;
    for (const auto& [value, weight] : values)
        total += weight;
    if (total == 0)
        return 0.0;
    std::sort(values.begin(), values.end());
    std::uint64_t seen = 0;
    for (const auto& [value, weight] : values) {
        seen += weight;
        if (seen * 2 >= total)
            return value;
    }
    return values.back().first;
}

void TDelayTrack::TSpan::Add(const TbNDelayRecord& r, const TbNExtFigures* previous) {
    Known = true;
    const TbNExtFigures& f = r.Figures;
    // Counters that went back belong to a reset of the measuring side: they
    // count from 0 again.
    const bool rebased = previous == nullptr || f.Received < previous->Received;
    if (previous != nullptr) {
        const TbNExtFigures base = rebased ? TbNExtFigures{} : *previous;
        Received += f.Received - base.Received;
        Lost += static_cast<std::int64_t>(f.Lost) - static_cast<std::int64_t>(base.Lost);
        Late += f.Late - base.Late;
        Duplicate += f.Duplicate - base.Duplicate;
    }
    if (r.DelayKnown) {
        DelayKnown = true;
        if (f.DelaySamples > 0) {
            DelayP50.emplace_back(f.DelayP50Ns / kNsPerUs, f.DelaySamples);
            DelayP99.emplace_back(f.DelayP99Ns / kNsPerUs, f.DelaySamples);
            DelayMax = std::max(DelayMax, f.DelayMaxNs / kNsPerUs);
            DelaySamples += f.DelaySamples;
        }
        JitterSum += f.JitterNs / kNsPerUs;
        ++JitterCount;
    }
    if (r.RttSamples > 0) {
        RttP50.emplace_back(r.RttP50Ns / kNsPerUs, r.RttSamples);
        RttP99.emplace_back(r.RttP99Ns / kNsPerUs, r.RttSamples);
        RttMax = std::max(RttMax, r.RttMaxNs / kNsPerUs);
        RttSamples += r.RttSamples;
    }
}

TDelayFigures TDelayTrack::TSpan::Figures() const {
    TDelayFigures f;
    f.Known = Known;
    f.Received = Received;
    f.Lost = static_cast<std::uint64_t>(std::max<std::int64_t>(Lost, 0));
    f.Late = Late;
    f.Duplicate = Duplicate;
    if (DelayKnown) {
        f.Delay = TDelayQuantiles{WeightedMedian(DelayP50), WeightedMedian(DelayP99), DelayMax,
                                  DelaySamples};
        if (JitterCount > 0)
            f.JitterUs = JitterSum / static_cast<double>(JitterCount);
    }
    if (RttSamples > 0)
        f.Rtt = TDelayQuantiles{WeightedMedian(RttP50), WeightedMedian(RttP99), RttMax, RttSamples};
    return f;
}

void TDelayTrack::Restart() {
    m_interval = {};
    m_total = {};
    // The next record is a baseline for the counters; its quantiles count.
    m_last.reset();
}

void TDelayTrack::Add(const TbNDelayRecord& record) {
    if (!record.Known)
        return;
    // A ring repeats the last figures when the measuring side closed no new
    // interval (an idle peer's block, a send thread with nothing to do).
    if (m_last && m_last->Interval == record.Interval)
        return;
    const TbNExtFigures* previous = m_last ? &m_last->Figures : nullptr;
    m_interval.Add(record, previous);
    m_total.Add(record, previous);
    m_last = record;
}

TDelayFigures TDelayTrack::Take() {
    TDelayFigures f = m_interval.Figures();
    // Whether the side measures is known since the restart, also over a
    // span in which it closed no interval.
    f.Known = m_total.Known;
    m_interval = {};
    return f;
}

TDelayFigures TDelayTrack::Total() const {
    return m_total.Figures();
}

std::string DelayMsText(double us) {
    const double ms = std::max(0.0, us) / 1000.0;
    if (!std::isfinite(ms))
        return "?";
    if (ms < 0.0005)
        return "0";
    // Decimals for two significant digits, from the value rounded to them
    // (0.0996 rounds to 0.10, not 0.100).
    const int exponent = static_cast<int>(std::floor(std::log10(ms)));
    const double scale = std::pow(10.0, exponent - 1);
    const double rounded = std::round(ms / scale) * scale;
    const int digits = std::clamp(1 - static_cast<int>(std::floor(std::log10(rounded))), 0, 3);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, rounded);
    return buffer;
}
