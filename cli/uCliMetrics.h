// SPDX-License-Identifier: GPL-3.0-or-later
// `ravelox-cli respond --metrics-file PATH`: the responder's counters as
// OpenMetrics text (which the node exporter's textfile collector also
// reads), rewritten atomically every print interval: a new file beside the
// old one, then renamed over it, so a reader never sees half a file.
//
// The counters add up the differences between consecutive reports of this
// host (modulo 2^32 for bytes, 2^16 for datagram counts, as the reports
// carry them); after a reset of the engine's counters the next report is a
// new baseline, so the totals only grow. Main thread only.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "cNet0.h"

struct TMetricsTotals {
    std::map<std::string, std::uint64_t> ReceivedBytes; // per peer address
    std::uint64_t OtherBytes = 0;                       // from senders not accepted
    std::uint64_t SentBytes = 0;
    std::uint64_t Lost = 0;        // datagrams, by sequence gaps
    std::uint64_t Bad = 0;         // datagrams with a bad checksum or pattern
    std::uint64_t RcvbufDrops = 0; // datagrams the own socket dropped for want of buffer
    // From the delay extension's receive-side figures; empty while this copy
    // does not measure them (the extension switched off).
    std::map<std::string, std::uint64_t> ReceivedDatagrams; // per peer address
    std::optional<std::uint64_t> Late;      // arrived after a higher sequence number
    std::optional<std::uint64_t> Duplicate; // arrived again
    bool Sending = false;
    std::int32_t SpeedKbps = 0; // own send rate asked
};

class TMetricsCounters final {
public:
    // One take of this host's reports; `first`: the engine's counters were
    // reset before them (GetReports' answer). The peer is the sender the
    // received bytes are put down to.
    void Add(std::span<const TbNReport> reports, std::span<const TbNRcvbufDrops> drops, bool first,
             const std::string& peer);
    // The extension's figures of the same take (this host's ring): counted
    // only while they are measured; `first` as for Add.
    void AddDelay(std::span<const TbNDelayRecord> records, bool first, const std::string& peer);
    TMetricsTotals& Totals() { return m_totals; }
    const TMetricsTotals& Totals() const { return m_totals; }

private:
    std::optional<TbNReport> m_last;
    std::optional<std::uint16_t> m_lastDrops;
    std::optional<TbNExtFigures> m_lastFigures;
    TMetricsTotals m_totals;
};

// The OpenMetrics text: # TYPE, # UNIT and # HELP of each family, the
// samples, "# EOF" last.
std::string MetricsText(const TMetricsTotals& totals);

// Writes `text` to PATH.tmp and renames it to PATH; the problem, or empty.
std::string WriteMetricsFile(const std::string& path, const std::string& text);
