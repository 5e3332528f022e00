// SPDX-License-Identifier: GPL-3.0-or-later
// The Centre panel's figures: average speeds of both directions, receive
// quality, lost packets per second and the channel bandwidth, from the two
// sides' statistics blocks and the Local side's elapsed time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "uReportModel.h"

// With losses a quality never shows more than this share.
inline constexpr double kQualityWithLosses = 0.999;

struct TSummary {
    std::uint32_t ElapsedMs = 0;

    // Average rates in bytes per second: this host's (L) and the peer's (R)
    // send (S) and receive (R) totals, all over the Local side's elapsed time
    // (the peer's over its own span when one is given).
    double LS = 0.0;
    double LR = 0.0;
    double RS = 0.0;
    double RR = 0.0;

    std::int64_t LocalLost = 0;  // lost packets seen here (peer -> this host)
    std::int64_t RemoteLost = 0; // lost packets the peer saw (this host -> peer)
    double LocalLostPerSecond = 0.0;
    double RemoteLostPerSecond = 0.0;

    // Share of the sent bytes that arrived: qL for peer -> this host, qR for
    // this host -> peer. 1 without losses, at most 0.999 with losses, 0 when
    // losses were counted but the sender reported nothing sent.
    double QL = 1.0;
    double QR = 1.0;

    double Bandwidth = 0.0; // LR + RR, bytes per second
    double Quality = -1.0;  // QL x QR x 100, or -1 while nothing is received

    // Texts of the boxes; the top group shows this host -> peer, the bottom
    // group peer -> this host.
    std::string LSAvrgSpd; // LS
    std::string LRAvrgSpd; // RR: what the peer received of this host's data
    std::string RQuality;
    std::string RErrors;
    std::string RSAvrgSpd; // RS
    std::string RRAvrgSpd; // LR: what this host received of the peer's data
    std::string LQuality;
    std::string LErrors;

    // Status bar values: empty when the figure is not above 0 (bare label).
    std::string BandwidthText; // SpeedResToStr64 of the rounded bandwidth (both ways
                               // at 10 Gbit/s pass 32 bits)
    std::string QualityText;   // e.g. "99.9%"
};

// Answers nothing when no time has elapsed: the boxes keep their last texts.
// In view mode pass the view blocks and the Local side's span.
std::optional<TSummary> UpdateSummary(const TStatBlock& local, const TStatBlock& remote,
                                      std::uint32_t elapsedMs);
// The same with the Remote block over its own span: its rates and lost
// packets per second divide by `remoteElapsedMs` (0: the Local span). For a
// run of seconds, where the two sides' statistics may begin a sample apart.
std::optional<TSummary> UpdateSummary(const TStatBlock& local, const TStatBlock& remote,
                                      std::uint32_t elapsedMs, std::uint32_t remoteElapsedMs);

// General floating format with 3 significant digits ("99.9", "100", "0.5").
std::string FormatGeneral3(double value);

inline double BytesPerSecondToKbps(double bytesPerSecond) {
    return bytesPerSecond * 8.0 / 1000.0;
}
