// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliMetrics.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "uReportModel.h"

void TMetricsCounters::Add(std::span<const TbNReport> reports,
                           std::span<const TbNRcvbufDrops> drops, bool first,
                           const std::string& peer) {
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const TbNReport& r = reports[i];
        // After a reset the first report is the new baseline, as the
        // graphs take it: what came between the reset and it (one report
        // interval at most) is not counted.
        if (first && i == 0) {
            m_last.reset();
            m_lastDrops.reset();
        }
        if (m_last) {
            m_totals.ReceivedBytes[peer] += r.BytesReceived - m_last->BytesReceived;
            m_totals.OtherBytes += r.BytesFromOthers - m_last->BytesFromOthers;
            m_totals.SentBytes += r.BytesSent - m_last->BytesSent;
            // A 16-bit count that went back is a counter that was not reset
            // with the others: not counted, as the graphs do.
            const auto lost = static_cast<std::uint16_t>(r.Lost - m_last->Lost);
            if (lost <= kLostBackward)
                m_totals.Lost += lost;
            const auto bad = static_cast<std::uint16_t>(r.Bad - m_last->Bad);
            if (bad <= kLostBackward)
                m_totals.Bad += bad;
        }
        m_last = r;
        if (i < drops.size() && drops[i].Known) {
            if (m_lastDrops) {
                const auto delta = static_cast<std::uint16_t>(drops[i].Count - *m_lastDrops);
                if (delta <= kLostBackward)
                    m_totals.RcvbufDrops += delta;
            }
            m_lastDrops = drops[i].Count;
        }
    }
}

void TMetricsCounters::AddDelay(std::span<const TbNDelayRecord> records, bool first,
                                const std::string& peer) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        const TbNDelayRecord& r = records[i];
        if (first && i == 0)
            m_lastFigures.reset();
        if (!r.Known) {
            m_lastFigures.reset();
            continue;
        }
        const TbNExtFigures& f = r.Figures;
        // 64-bit running counters: one that went back was reset and is the
        // new baseline.
        if (m_lastFigures && f.Received >= m_lastFigures->Received &&
            f.Late >= m_lastFigures->Late && f.Duplicate >= m_lastFigures->Duplicate) {
            m_totals.ReceivedDatagrams[peer] += f.Received - m_lastFigures->Received;
            m_totals.Late = m_totals.Late.value_or(0) + (f.Late - m_lastFigures->Late);
            m_totals.Duplicate =
                m_totals.Duplicate.value_or(0) + (f.Duplicate - m_lastFigures->Duplicate);
        } else {
            m_totals.ReceivedDatagrams.try_emplace(peer, 0);
            m_totals.Late = m_totals.Late.value_or(0);
            m_totals.Duplicate = m_totals.Duplicate.value_or(0);
        }
        m_lastFigures = f;
    }
}

namespace {

void Family(std::string& text, const char* name, const char* type, const char* unit,
            const char* help) {
    text += std::string("# TYPE ") + name + " " + type + "\n";
    if (unit[0] != '\0')
        text += std::string("# UNIT ") + name + " " + unit + "\n";
    text += std::string("# HELP ") + name + " " + help + "\n";
}

void Sample(std::string& text, const std::string& name, std::uint64_t value,
            const std::string& labels = {}) {
    text += name + labels + " " + std::to_string(value) + "\n";
}

} // namespace

std::string MetricsText(const TMetricsTotals& t) {
    std::string text;
    Family(text, "ravelox_received_bytes", "counter", "bytes",
           "Bytes of data datagrams received from the peer, per peer address.");
    for (const auto& [peer, bytes] : t.ReceivedBytes)
        Sample(text, "ravelox_received_bytes_total", bytes, "{peer=\"" + peer + "\"}");
    if (!t.ReceivedDatagrams.empty()) {
        Family(text, "ravelox_received_datagrams", "counter", "",
               "Data datagrams received from the peer, each counted once, per peer address.");
        for (const auto& [peer, count] : t.ReceivedDatagrams)
            Sample(text, "ravelox_received_datagrams_total", count, "{peer=\"" + peer + "\"}");
    }
    Family(text, "ravelox_received_other_bytes", "counter", "bytes",
           "Bytes received from senders other than the accepted peer.");
    Sample(text, "ravelox_received_other_bytes_total", t.OtherBytes);
    Family(text, "ravelox_sent_bytes", "counter", "bytes", "Bytes of data datagrams sent.");
    Sample(text, "ravelox_sent_bytes_total", t.SentBytes);
    Family(text, "ravelox_lost_datagrams", "counter", "",
           "Datagrams lost on the way here, by gaps in the sequence numbers.");
    Sample(text, "ravelox_lost_datagrams_total", t.Lost);
    if (t.Late) {
        Family(text, "ravelox_late_datagrams", "counter", "",
               "Datagrams that arrived after one with a higher sequence number.");
        Sample(text, "ravelox_late_datagrams_total", *t.Late);
    }
    if (t.Duplicate) {
        Family(text, "ravelox_duplicate_datagrams", "counter", "",
               "Datagrams that arrived a second time.");
        Sample(text, "ravelox_duplicate_datagrams_total", *t.Duplicate);
    }
    Family(text, "ravelox_bad_datagrams", "counter", "",
           "Datagrams received with a bad checksum or check pattern.");
    Sample(text, "ravelox_bad_datagrams_total", t.Bad);
    Family(text, "ravelox_rcvbuf_drops", "counter", "",
           "Datagrams this host's socket dropped because its receive buffer was full.");
    Sample(text, "ravelox_rcvbuf_drops_total", t.RcvbufDrops);
    Family(text, "ravelox_sending", "gauge", "", "1 while this copy sends, else 0.");
    Sample(text, "ravelox_sending", t.Sending ? 1 : 0);
    Family(text, "ravelox_send_rate_bits_per_second", "gauge", "bits_per_second",
           "The send rate asked of this copy.");
    Sample(text, "ravelox_send_rate_bits_per_second",
           static_cast<std::uint64_t>(t.SpeedKbps > 0 ? t.SpeedKbps : 0) * 1000U);
    text += "# EOF\n";
    return text;
}

std::string WriteMetricsFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "w");
    if (out == nullptr)
        return "cannot write '" + temporary + "': " + std::strerror(errno);
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        return "writing '" + temporary + "' failed";
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string problem = std::strerror(errno);
        std::remove(temporary.c_str());
        return "cannot rename '" + temporary + "' to '" + path + "': " + problem;
    }
    return {};
}
