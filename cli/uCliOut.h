// SPDX-License-Identifier: GPL-3.0-or-later
// What ravelox-cli prints: one text line or one JSON object per interval, the
// Centre panel's summary, a stored log's view statistics and the lookup list.
// Rates print as the program's speed texts; JSON carries plain numbers.
// Nothing here opens a socket or a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "uDelayModel.h"
#include "uResultLog.h"
#include "uSummary.h"

// One side's figures over one print interval.
struct TCliSide {
    std::uint32_t OutputKbps = 0;
    std::uint32_t InputKbps = 0;
    std::uint32_t Lost = 0; // lost packets in the interval
    std::uint32_t Bad = 0;  // bad datagrams in the interval
    bool Reported = false;  // a report of this side was used in the interval
    // Datagrams this side's own socket dropped for want of receive buffer in
    // the interval (not channel loss); empty when that side does not tell.
    std::optional<std::uint32_t> RcvbufDrops;
    // The delay extension's figures of the traffic that arrived at this side
    // (the Local side's include the round trips); unknown for a side without
    // the extension.
    TDelayFigures Delay;

    friend bool operator==(const TCliSide&, const TCliSide&) = default;
};

struct TCliInterval {
    std::uint32_t TimeMs = 0; // since the command started
    TCliSide Local;           // this host, from its own reports
    TCliSide Remote;          // the peer, from the reports its datagrams carry
};

// The texts print "-" where the program leaves a box empty.
std::string IntervalText(const TCliInterval& interval);
nlohmann::json IntervalJson(const TCliInterval& interval);

// Receive-buffer drops over the summary's time: this host's (they explain
// loss peer -> this host) and the peer's (this host -> peer); empty where
// unknown.
struct TCliDrops {
    std::optional<std::uint32_t> Local;
    std::optional<std::uint32_t> Remote;
};

// The delay extension's figures over the summary's time: of the traffic
// peer -> this host (Local, with the round trips) and this host -> peer
// (Remote, as the peer measured it). Empty: not a live test.
struct TCliDelays {
    TDelayFigures Local;
    TDelayFigures Remote;
    bool PeerHasExtension = false;
};

std::vector<std::string> SummaryText(const TSummary& summary, const TCliDrops& drops = {},
                                     const std::optional<TCliDelays>& delays = {});
// {"local_output_kbps": .., ...}: see README.md, section ravelox-cli.
nlohmann::json SummaryJson(const TSummary& summary, const TCliDrops& drops = {},
                           const std::optional<TCliDelays>& delays = {});
// The hint for a summary whose loss the receive-buffer drops mostly
// explain; empty otherwise.
std::string RcvbufHint(const TSummary& summary, const TCliDrops& drops);

// Socket buffer sizes in force, for the first line.
std::string BuffersText(std::int32_t recvBuf, std::int32_t sendBuf);

// A stored log: the view statistics of both sides and the summary computed
// from them as the Centre panel does in view mode (nullptr summary: no time).
std::vector<std::string> ViewText(const TLogView& local, const TLogView& remote,
                                  std::size_t records, const TSummary* summary);
nlohmann::json ViewJson(const TLogView& local, const TLogView& remote, std::size_t records,
                        const TSummary* summary);

struct TCliFound {
    std::string Address; // dotted IPv4
    std::uint16_t Port = 0;
};
std::vector<std::string> LookupText(const std::vector<TCliFound>& found);
nlohmann::json LookupJson(const std::vector<TCliFound>& found);

// One JSON object as one event line of the stream (uCliEvents.h).
std::string JsonLine(const nlohmann::json& object);
