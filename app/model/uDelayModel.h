// SPDX-License-Identifier: GPL-3.0-or-later
// The delay extension's figures of one direction over a span of reports: the
// round-trip time, the one-way delay above the minimum, the jitter, and the
// datagrams that came late, twice or never. The engine hands out per-interval
// quantiles; a span of several intervals takes, for each quantile, the median
// of the intervals' values weighted by their samples (an interval's p99 is the
// 99th percentile of that interval), and the largest maximum. Counters are
// cumulative in the records; a span takes their differences, and a record
// whose counters went back (a reset of the measuring side) starts a new
// baseline. Unknown figures stay unknown: a peer without the extension shows
// no delay, never a delay of 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cNet0.h"

struct TDelayQuantiles {
    double P50Us = 0.0;
    double P99Us = 0.0;
    double MaxUs = 0.0;
    std::uint64_t Samples = 0;
    friend bool operator==(const TDelayQuantiles&, const TDelayQuantiles&) = default;
};

// One direction's figures over a span.
struct TDelayFigures {
    bool Known = false; // the measuring side reported its figures in the span
    std::uint64_t Received = 0;
    std::uint64_t Lost = 0; // never seen
    std::uint64_t Late = 0;
    std::uint64_t Duplicate = 0;
    std::optional<TDelayQuantiles> Delay; // above the minimum; empty: not measured
    std::optional<double> JitterUs;       // mean of the intervals' jitter
    std::optional<TDelayQuantiles> Rtt;   // measured by this host only
    friend bool operator==(const TDelayFigures&, const TDelayFigures&) = default;
};

// Usage: Add every record of one ring as it is taken, Restart when the
// statistics restart; Take gives the figures since the last Take, Total
// those since the restart.
class TDelayTrack final {
public:
    void Restart();
    void Add(const TbNDelayRecord& record);
    TDelayFigures Take();
    TDelayFigures Total() const;

private:
    struct TSpan {
        bool Known = false;
        bool DelayKnown = false;
        std::uint64_t Received = 0;
        std::int64_t Lost = 0; // a late datagram takes one back
        std::uint64_t Late = 0;
        std::uint64_t Duplicate = 0;
        // Per interval: value and weight (samples).
        std::vector<std::pair<double, std::uint64_t>> DelayP50, DelayP99, RttP50, RttP99;
        double DelayMax = 0.0;
        double RttMax = 0.0;
        std::uint64_t DelaySamples = 0;
        std::uint64_t RttSamples = 0;
        double JitterSum = 0.0;
        std::uint64_t JitterCount = 0;
        void Add(const TbNDelayRecord& r, const TbNExtFigures* previous);
        TDelayFigures Figures() const;
    };
    TSpan m_interval;
    TSpan m_total;
    std::optional<TbNDelayRecord> m_last;
};

// The weighted median of (value, weight) pairs; 0 for none.
double WeightedMedian(std::vector<std::pair<double, std::uint64_t>> values);

// A delay in milliseconds with two significant digits, for a label:
// "0.35", "4.2", "38", "120"; at most three decimals (a microsecond).
std::string DelayMsText(double us);
