// SPDX-License-Identifier: GPL-3.0-or-later
// What a receiver measures of its peer's traffic beyond the report's
// counters: which datagrams came late or twice and which never came (from a
// window of recently seen sequence numbers), the one-way delay above the
// smallest seen, the interarrival jitter and the round-trip time. Everything
// here belongs to the send thread, which receives; the figures of a closed
// interval are handed to the other threads as plain values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "cNetWire.h"

// A histogram of durations in nanoseconds with log-linear buckets: exact below
// 128 ns, then 128 buckets per power of two, so that a quantile is within
// 0.8 % of the true value. Values above 2^32 - 1 ns (4.3 s) count as that.
class TbNHistogram final {
public:
    void Add(std::uint64_t ns);
    void Clear();
    std::uint32_t Count() const { return m_count; }
    std::uint32_t Min() const { return m_count > 0 ? m_min : 0; }
    std::uint32_t Max() const { return m_max; }
    // The value below which a share q (0..1) of the samples lies: the middle
    // of its bucket, kept within [Min, Max]; 0 when empty.
    std::uint32_t Quantile(double q) const;

    static constexpr std::size_t kSubBits = 7;
    static constexpr std::size_t kSub = std::size_t{1} << kSubBits;
    static constexpr std::size_t kBuckets = kSub + (32 - kSubBits) * kSub;
    static std::size_t Index(std::uint32_t value);
    static std::uint32_t BucketLow(std::size_t index);
    static std::uint32_t BucketWidth(std::size_t index);

private:
    std::array<std::uint32_t, kBuckets> m_buckets{};
    std::uint32_t m_count = 0;
    std::uint32_t m_min = 0;
    std::uint32_t m_max = 0;
    std::size_t m_lowIndex = kBuckets; // range of buckets in use, for clearing
    std::size_t m_highIndex = 0;
};

// Sequence numbers of one sender, in arrival order. A number above the
// highest seen leaves a gap (counted lost); a number inside the window below
// it is late (taking back one lost) or, when seen before, a duplicate. A
// number older than the window counts as late; one very far behind is a
// sender that started its numbering again.
class TbNSeqWindow final {
public:
    static constexpr std::uint32_t kWidth = 4096;
    // A step back this large is a restart of the sender's numbering.
    static constexpr std::uint32_t kRestart = 65536;

    enum class tArrival { First, InOrder, Late, Duplicate };
    tArrival Add(std::uint32_t sequence);
    void Clear();

    std::uint64_t Received() const { return m_received; }
    std::uint64_t Lost() const { return m_lost; }
    std::uint64_t Late() const { return m_late; }
    std::uint64_t Duplicate() const { return m_duplicate; }

private:
    bool Seen(std::uint32_t sequence) const;
    void Mark(std::uint32_t sequence);
    void Unmark(std::uint32_t sequence);

    bool m_seeded = false;
    std::uint32_t m_highest = 0;
    std::array<std::uint64_t, kWidth / 64> m_bits{};
    std::uint64_t m_received = 0;
    std::uint64_t m_lost = 0;
    std::uint64_t m_late = 0;
    std::uint64_t m_duplicate = 0;
};

// The figures of one closed interval of this side's measurements.
struct TbNDelayInterval {
    std::uint32_t Number = 0; // counts up with every interval closed
    bool DelayKnown = false;  // send times came with the peer's datagrams since the reset
    bool RttKnown = false;    // echoes came back since the reset
    TbNExtFigures Figures{};
    std::uint32_t RttP50Ns = 0;
    std::uint32_t RttP99Ns = 0;
    std::uint32_t RttMaxNs = 0;
    std::uint32_t RttSamples = 0;
};

class TbNDelayMeter final {
public:
    // A statistics restart: counters, the smallest delay and the jitter
    // start again.
    void Reset();
    // The peer's clock may have changed (another peer): the delay base and
    // the jitter start again, the counters go on.
    void RestartDelayBase();

    // One valid datagram of the peer's.
    TbNSeqWindow::tArrival AddDatagram(std::uint32_t sequence) { return m_window.Add(sequence); }
    // Its send time on the peer's clock and its arrival on the own one.
    void AddDelay(std::uint64_t sendNs, std::int64_t arrivalNs);
    void AddRtt(std::int64_t rttNs);

    // Closes the interval: the figures as of now, with the byte and drop
    // counters the engine keeps; the interval's samples start again.
    TbNDelayInterval Close(std::uint64_t bytes, std::uint64_t rcvbufDrops);

    const TbNSeqWindow& Window() const { return m_window; }
    double JitterNs() const { return m_jitter; }

private:
    TbNSeqWindow m_window;
    TbNHistogram m_delay;
    TbNHistogram m_rtt;
    bool m_baseKnown = false;
    std::int64_t m_minTransit = 0;
    std::int64_t m_lastTransit = 0;
    double m_jitter = 0.0;
    bool m_delayKnown = false;
    bool m_rttKnown = false;
    std::uint32_t m_number = 0;
};
