// SPDX-License-Identifier: GPL-3.0-or-later
#include "cDelay.h"

#include <algorithm>
#include <bit>
#include <cmath>

// ---------------------------------------------------------------- histogram

std::size_t TbNHistogram::Index(std::uint32_t value) {
    if (value < kSub)
        return value;
    const auto msb = static_cast<std::size_t>(std::bit_width(value)) - 1;
    const std::size_t shift = msb - kSubBits;
    return kSub + shift * kSub + ((value >> shift) - kSub);
}

std::uint32_t TbNHistogram::BucketLow(std::size_t index) {
    if (index < kSub)
        return static_cast<std::uint32_t>(index);
    const std::size_t shift = (index - kSub) / kSub;
    const std::size_t mantissa = kSub + (index - kSub) % kSub;
    return static_cast<std::uint32_t>(mantissa << shift);
}

std::uint32_t TbNHistogram::BucketWidth(std::size_t index) {
    return index < kSub ? 1u : std::uint32_t{1} << ((index - kSub) / kSub);
}

void TbNHistogram::Add(std::uint64_t ns) {
    const auto value = static_cast<std::uint32_t>(std::min<std::uint64_t>(ns, 0xFFFFFFFFu));
    const std::size_t index = Index(value);
    ++m_buckets[index];
    m_lowIndex = std::min(m_lowIndex, index);
    m_highIndex = std::max(m_highIndex, index);
    m_min = m_count == 0 ? value : std::min(m_min, value);
    m_max = std::max(m_max, value);
    ++m_count;
}

void TbNHistogram::Clear() {
    if (m_count > 0)
        std::fill(m_buckets.begin() + static_cast<std::ptrdiff_t>(m_lowIndex),
                  m_buckets.begin() + static_cast<std::ptrdiff_t>(m_highIndex) + 1, 0u);
    m_count = 0;
    m_min = 0;
    m_max = 0;
    m_lowIndex = kBuckets;
    m_highIndex = 0;
}

std::uint32_t TbNHistogram::Quantile(double q) const {
    if (m_count == 0)
        return 0;
    // The rank of the sample asked for, 1 .. count (nearest-rank method).
    const auto rank = static_cast<std::uint64_t>(
        std::clamp(std::ceil(q * static_cast<double>(m_count)), 1.0, static_cast<double>(m_count)));
    // The ends are known exactly.
    if (rank == 1)
        return m_min;
    if (rank == m_count)
        return m_max;
    std::uint64_t seen = 0;
    for (std::size_t i = m_lowIndex; i <= m_highIndex; ++i) {
        seen += m_buckets[i];
        if (seen >= rank) {
            const std::uint64_t middle = std::uint64_t{BucketLow(i)} + BucketWidth(i) / 2;
            return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(middle, m_min, m_max));
        }
    }
    return m_max;
}

// ---------------------------------------------------------------- sequence window

bool TbNSeqWindow::Seen(std::uint32_t s) const {
    const std::uint32_t bit = s % kWidth;
    return (m_bits[bit / 64] >> (bit % 64) & 1u) != 0;
}

void TbNSeqWindow::Mark(std::uint32_t s) {
    const std::uint32_t bit = s % kWidth;
    m_bits[bit / 64] |= std::uint64_t{1} << (bit % 64);
}

void TbNSeqWindow::Unmark(std::uint32_t s) {
    const std::uint32_t bit = s % kWidth;
    m_bits[bit / 64] &= ~(std::uint64_t{1} << (bit % 64));
}

void TbNSeqWindow::Clear() {
    *this = TbNSeqWindow{};
}

TbNSeqWindow::tArrival TbNSeqWindow::Add(std::uint32_t s) {
    if (m_seeded) {
        const auto ahead = static_cast<std::int32_t>(s - m_highest);
        if (ahead > 0) {
            const auto step = static_cast<std::uint32_t>(ahead);
            // The numbers passed over leave the window's memory of older ones.
            if (step >= kWidth)
                m_bits.fill(0);
            else
                for (std::uint32_t i = 1; i < step; ++i)
                    Unmark(m_highest + i);
            Mark(s);
            m_lost += step - 1;
            m_highest = s;
            ++m_received;
            return tArrival::InOrder;
        }
        const std::uint32_t behind = m_highest - s;
        if (behind < kWidth) {
            if (Seen(s)) {
                ++m_duplicate;
                return tArrival::Duplicate;
            }
            Mark(s);
        } else if (behind >= kRestart) {
            m_seeded = false;
        }
        if (m_seeded) {
            // Late: it was counted lost when a higher number came first.
            ++m_late;
            ++m_received;
            if (m_lost > 0)
                --m_lost;
            return tArrival::Late;
        }
    }
    m_seeded = true;
    m_highest = s;
    m_bits.fill(0);
    Mark(s);
    ++m_received;
    return tArrival::First;
}

// ---------------------------------------------------------------- meter

void TbNDelayMeter::Reset() {
    m_window.Clear();
    m_delay.Clear();
    m_rtt.Clear();
    RestartDelayBase();
    m_delayKnown = false;
    m_rttKnown = false;
}

void TbNDelayMeter::RestartDelayBase() {
    m_baseKnown = false;
    m_jitter = 0.0;
}

void TbNDelayMeter::AddDelay(std::uint64_t sendNs, std::int64_t arrivalNs) {
    // The two clocks differ by an unknown offset: only the transit time's
    // changes mean something.
    // (Modulo 2^64: a send time from a peer is any 64-bit value.)
    const auto transit = static_cast<std::int64_t>(static_cast<std::uint64_t>(arrivalNs) - sendNs);
    if (!m_baseKnown) {
        m_baseKnown = true;
        m_minTransit = transit;
        m_lastTransit = transit;
    } else {
        // Interarrival jitter as RTP receivers estimate it (RFC 3550 6.4.1).
        const double d =
            std::fabs(static_cast<double>(transit) - static_cast<double>(m_lastTransit));
        m_jitter += (d - m_jitter) / 16.0;
        m_lastTransit = transit;
        m_minTransit = std::min(m_minTransit, transit);
    }
    m_delay.Add(static_cast<std::uint64_t>(transit) - static_cast<std::uint64_t>(m_minTransit));
    m_delayKnown = true;
}

void TbNDelayMeter::AddRtt(std::int64_t rttNs) {
    m_rtt.Add(static_cast<std::uint64_t>(std::max<std::int64_t>(rttNs, 0)));
    m_rttKnown = true;
}

TbNDelayInterval TbNDelayMeter::Close(std::uint64_t bytes, std::uint64_t rcvbufDrops) {
    TbNDelayInterval closed;
    closed.Number = ++m_number;
    closed.DelayKnown = m_delayKnown;
    closed.RttKnown = m_rttKnown;
    TbNExtFigures& f = closed.Figures;
    f.Received = m_window.Received();
    f.Lost = m_window.Lost();
    f.Late = m_window.Late();
    f.Duplicate = m_window.Duplicate();
    f.RcvbufDrops = rcvbufDrops;
    f.Bytes = bytes;
    f.JitterNs = static_cast<std::uint32_t>(std::min(std::llround(m_jitter), 0xFFFFFFFFLL));
    f.DelayMinNs = m_delay.Min();
    f.DelayP50Ns = m_delay.Quantile(0.50);
    f.DelayP99Ns = m_delay.Quantile(0.99);
    f.DelayMaxNs = m_delay.Max();
    f.DelaySamples = m_delay.Count();
    closed.RttP50Ns = m_rtt.Quantile(0.50);
    closed.RttP99Ns = m_rtt.Quantile(0.99);
    closed.RttMaxNs = m_rtt.Max();
    closed.RttSamples = m_rtt.Count();
    m_delay.Clear();
    m_rtt.Clear();
    return closed;
}
