// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCapacitySearch.h"

#include <algorithm>

const char* SearchResultName(tSearchResult result) {
    switch (result) {
    case srRunning:
        return "running";
    case srFound:
        return "found";
    case srAtMax:
        return "at_max";
    case srNoRateHeld:
        return "no_rate_held";
    case srBufferBound:
        return "buffer_bound";
    case srSenderLimited:
        return "sender_limited";
    case srNotSettled:
        break;
    }
    return "not_settled";
}

TCapacitySearch::TCapacitySearch(std::int32_t minKbps, std::int32_t maxKbps, double tolerance)
    : m_min(std::max(minKbps, 1)), m_max(std::max(maxKbps, std::max(minKbps, 1))),
      m_tolerance(tolerance), m_rate(m_min) {}

void TCapacitySearch::Report(tStepOutcome outcome) {
    if (!Running())
        return;
    ++m_steps;
    switch (outcome) {
    case soBufferBound:
        m_result = srBufferBound;
        return;
    case soSenderLimited:
        m_result = srSenderLimited;
        return;
    case soHeld:
        m_held = m_rate;
        break;
    case soLost:
        m_failed = m_rate;
        break;
    }
    Next();
}

void TCapacitySearch::Stop() {
    if (Running())
        m_result = srNotSettled;
}

void TCapacitySearch::Next() {
    if (!m_failed) {
        // The ramp: double until a step fails; the highest rate allowed is
        // tried once.
        if (*m_held >= m_max) {
            m_result = srAtMax;
            return;
        }
        m_rate = static_cast<std::int32_t>(std::min<std::int64_t>(2LL * *m_held, m_max));
        return;
    }
    if (!m_held) {
        // The ramp starts at the lowest rate: it lost too much already.
        m_result = srNoRateHeld;
        return;
    }
    const std::int32_t low = *m_held;
    const std::int32_t high = *m_failed;
    if (high - low <= m_tolerance * low) {
        m_result = srFound;
        return;
    }
    m_rate = low + (high - low) / 2;
}
