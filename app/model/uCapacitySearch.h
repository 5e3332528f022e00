// SPDX-License-Identifier: GPL-3.0-or-later
// The capacity search of one direction: the highest rate whose channel loss
// stays at or under a threshold. An exponential ramp from the lowest rate
// doubles until a step fails (or the highest rate held), then a binary
// search between the highest rate that held and the lowest that failed
// narrows them to within a tolerance (2 %) of each other, as the throughput
// search of RFC 2544 does. The caller runs each step on the channel and
// reports its outcome; this class only decides the next rate. No clock, no
// sockets: the CLI drives it, and a test drives it with a simulated channel.
#pragma once

#include <cstdint>
#include <optional>

enum tStepOutcome : int {
    soHeld = 0,          // the channel loss stayed at or under the threshold
    soLost = 1,          // more channel loss than the threshold
    soBufferBound = 2,   // a receiving socket dropped datagrams: the step tells nothing
    soSenderLimited = 3, // the sender did not reach the rate asked
};

enum tSearchResult : int {
    srRunning = 0,
    srFound = 1,         // capacity within the tolerance
    srAtMax = 2,         // the highest rate allowed held: the capacity is at least that
    srNoRateHeld = 3,    // already the lowest rate lost too much
    srBufferBound = 4,   // a step was spoiled by receive-buffer drops
    srSenderLimited = 5, // the sender (for the remote direction: the peer) could not send the rate
    srNotSettled = 6,    // stopped (time limit, signal) before the search settled
};

const char* SearchResultName(tSearchResult result); // "found", "at_max", ...

class TCapacitySearch final {
public:
    // Rates in kbit/s; tolerance as a share (0.02: within 2 %).
    TCapacitySearch(std::int32_t minKbps, std::int32_t maxKbps, double tolerance = 0.02);

    // The rate the next step runs at; meaningful while Running().
    std::int32_t Rate() const { return m_rate; }
    bool Running() const { return m_result == srRunning; }
    void Report(tStepOutcome outcome);
    // Ends a search that is still running: not settled.
    void Stop();

    tSearchResult Result() const { return m_result; }
    // The highest rate that held so far (the capacity once found).
    std::optional<std::int32_t> Held() const { return m_held; }
    // The lowest rate that lost too much so far.
    std::optional<std::int32_t> Failed() const { return m_failed; }
    std::uint32_t Steps() const { return m_steps; }

private:
    void Next();

    std::int32_t m_min = 0;
    std::int32_t m_max = 0;
    double m_tolerance = 0.02;
    std::int32_t m_rate = 0;
    std::optional<std::int32_t> m_held;
    std::optional<std::int32_t> m_failed;
    std::uint32_t m_steps = 0;
    tSearchResult m_result = srRunning;
};
