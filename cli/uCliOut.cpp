// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliOut.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "uCliEvents.h"
#include "uSpeedStr.h"

namespace {

// The speed texts end in two blanks for the panels' layout; a line does not
// want them.
std::string TrimRight(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string OrDash(std::string text) {
    text = TrimRight(std::move(text));
    return text.empty() ? "-" : text;
}

std::string Kbps(std::uint64_t kbps) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::int32_t>::max();
    return OrDash(SpeedToStr(static_cast<std::int32_t>(std::min(kbps, kMax))));
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

nlohmann::json OrNull(const std::optional<std::uint32_t>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json();
}

std::string OrUnknown(const std::optional<std::uint32_t>& value) {
    return value ? std::to_string(*value) : std::string("?");
}

// Microseconds in JSON: one decimal, null where not measured.
nlohmann::json Us(double us) {
    return std::round(us * 10.0) / 10.0;
}

nlohmann::json CountOrNull(bool known, std::uint64_t count) {
    return known ? nlohmann::json(count) : nlohmann::json();
}

// A duration for the text lines with three significant digits, below a
// millisecond in microseconds; "-" where not measured.
std::string Ms(const std::optional<double>& us) {
    if (!us)
        return "-";
    return *us < 999.5 ? FormatGeneral3(*us) + " us" : FormatGeneral3(*us / 1000.0) + " ms";
}

std::string CountOrDash(bool known, std::uint64_t count) {
    return known ? std::to_string(count) : std::string("-");
}

nlohmann::json SideJson(const TCliSide& side) {
    const TDelayFigures& d = side.Delay;
    return {{"output_kbps", side.OutputKbps},
            {"input_kbps", side.InputKbps},
            {"lost", side.Lost},
            {"bad", side.Bad},
            {"rcvbuf_drops", OrNull(side.RcvbufDrops)},
            {"reported", side.Reported},
            {"late", CountOrNull(d.Known, d.Late)},
            {"duplicate", CountOrNull(d.Known, d.Duplicate)},
            {"jitter_us", d.JitterUs ? Us(*d.JitterUs) : nlohmann::json()},
            {"delay_p50_us", d.Delay ? Us(d.Delay->P50Us) : nlohmann::json()},
            {"delay_p99_us", d.Delay ? Us(d.Delay->P99Us) : nlohmann::json()},
            {"delay_max_us", d.Delay ? Us(d.Delay->MaxUs) : nlohmann::json()}};
}

std::string SideText(const char* name, const TCliSide& side) {
    const TDelayFigures& d = side.Delay;
    char text[300];
    std::snprintf(text, sizeof text,
                  "%s out %-11s in %-11s lost %5u bad %3u drops %5s late %3s dup %3s jitter %8s "
                  "d99 %8s",
                  name, Kbps(side.OutputKbps).c_str(), Kbps(side.InputKbps).c_str(), side.Lost,
                  side.Bad, OrUnknown(side.RcvbufDrops).c_str(),
                  CountOrDash(d.Known, d.Late).c_str(), CountOrDash(d.Known, d.Duplicate).c_str(),
                  Ms(d.JitterUs).c_str(),
                  Ms(d.Delay ? std::optional<double>(d.Delay->P99Us) : std::nullopt).c_str());
    return text;
}

std::optional<double> RttP50(const TDelayFigures& d) {
    return d.Rtt ? std::optional<double>(d.Rtt->P50Us) : std::nullopt;
}

// One direction's summary line of the extension's figures.
std::string DelayLine(const char* direction, const TDelayFigures& d) {
    std::string line = std::string("  ") + direction + ": ";
    if (d.Delay)
        line += "delay above the minimum median " + Ms(d.Delay->P50Us) + ", p99 " +
                Ms(d.Delay->P99Us) + ", max " + Ms(d.Delay->MaxUs) + ", jitter " + Ms(d.JitterUs);
    else
        line += "delay -";
    line += "; late " + CountOrDash(d.Known, d.Late) + ", duplicates " +
            CountOrDash(d.Known, d.Duplicate) + ", never arrived " + CountOrDash(d.Known, d.Lost);
    return line;
}

void DelayJson(nlohmann::json& summary, const char* prefix, const TDelayFigures& d) {
    const std::string p = prefix;
    summary[p + "delay_p50_us"] = d.Delay ? Us(d.Delay->P50Us) : nlohmann::json();
    summary[p + "delay_p99_us"] = d.Delay ? Us(d.Delay->P99Us) : nlohmann::json();
    summary[p + "delay_max_us"] = d.Delay ? Us(d.Delay->MaxUs) : nlohmann::json();
    summary[p + "jitter_us"] = d.JitterUs ? Us(*d.JitterUs) : nlohmann::json();
    summary[p + "late"] = CountOrNull(d.Known, d.Late);
    summary[p + "duplicate"] = CountOrNull(d.Known, d.Duplicate);
    summary[p + "never_arrived"] = CountOrNull(d.Known, d.Lost);
}

// Most of the loss in one direction was the receiving socket's own.
bool Explains(const std::optional<std::uint32_t>& drops, std::int32_t lost) {
    return drops && lost > 0 && *drops * 2 >= static_cast<std::uint32_t>(lost);
}

// The figure a quality box shows, or null where the box is empty.
nlohmann::json QualityJson(const std::string& text, double quality) {
    if (text.empty())
        return nullptr;
    return quality;
}

std::string Lost(std::int32_t lost, const std::string& perSecond) {
    std::string text = "lost " + std::to_string(lost);
    if (!perSecond.empty())
        text += " (" + perSecond + "/s)";
    return text;
}

nlohmann::json ViewSideJson(const TLogView& view) {
    return {{"has_data", view.HasData},
            {"count", view.Count},
            {"step", view.Step},
            {"span_ms", view.Span},
            {"max_output_kbps", view.MaxOutput},
            {"max_input_kbps", view.MaxInput},
            {"max_lost", view.MaxLost},
            {"bytes_sent", view.Stats.BytesSent},
            {"bytes_received", view.Stats.BytesReceived},
            {"lost", view.Stats.Lost}};
}

std::string ViewSideText(const char* name, const TLogView& view) {
    if (!view.HasData)
        return std::string("  ") + name + ": fewer than two records, nothing to show";
    char text[240];
    std::snprintf(text, sizeof text,
                  "  %s: %u records over %s (one point per %u), largest output %s, input %s, "
                  "lost %.0f per interval",
                  name, view.Count, FormatElapsed(SplitElapsed(view.Span)).c_str(), view.Step,
                  Kbps(static_cast<std::uint64_t>(view.MaxOutput)).c_str(),
                  Kbps(static_cast<std::uint64_t>(view.MaxInput)).c_str(),
                  static_cast<double>(view.MaxLost));
    return text;
}

} // namespace

// The Centre panel's summary lines, without what only a live test knows.
std::vector<std::string> SummaryLines(const TSummary& s);
nlohmann::json SummaryJsonBase(const TSummary& s, const TCliDrops& drops);

std::string IntervalText(const TCliInterval& interval) {
    return Format("%7.1f s  ", interval.TimeMs / 1000.0) + SideText("Local", interval.Local) +
           "  |  " + SideText("Remote", interval.Remote) + "  |  rtt " +
           Ms(RttP50(interval.Local.Delay));
}

nlohmann::json IntervalJson(const TCliInterval& interval) {
    const std::optional<TDelayQuantiles>& rtt = interval.Local.Delay.Rtt;
    return {{"interval",
             {{"t_ms", interval.TimeMs},
              {"local", SideJson(interval.Local)},
              {"remote", SideJson(interval.Remote)},
              {"rtt_p50_us", rtt ? Us(rtt->P50Us) : nlohmann::json()},
              {"rtt_p99_us", rtt ? Us(rtt->P99Us) : nlohmann::json()},
              {"rtt_max_us", rtt ? Us(rtt->MaxUs) : nlohmann::json()}}}};
}

std::string RcvbufHint(const TSummary& s, const TCliDrops& drops) {
    if (!Explains(drops.Local, s.LocalLost) && !Explains(drops.Remote, s.RemoteLost))
        return {};
    return "  most of the loss was dropped by a receiving socket's own buffer, not by the "
           "channel: raise the receive buffer with --recv-buf or the Network settings";
}

std::string BuffersText(std::int32_t recvBuf, std::int32_t sendBuf) {
    return "socket buffers in force: receive " + std::to_string(recvBuf / 1024) + " KB, send " +
           std::to_string(sendBuf / 1024) + " KB";
}

std::vector<std::string> SummaryText(const TSummary& s, const TCliDrops& drops,
                                     const std::optional<TCliDelays>& delays) {
    std::vector<std::string> lines = SummaryLines(s);
    lines.push_back("  receive-buffer drops: this host " + OrUnknown(drops.Local) + ", peer " +
                    OrUnknown(drops.Remote));
    if (delays) {
        lines.push_back(DelayLine("this host -> peer", delays->Remote));
        lines.push_back(DelayLine("peer -> this host", delays->Local));
        const std::optional<TDelayQuantiles>& rtt = delays->Local.Rtt;
        lines.push_back(rtt ? "  round trip: median " + Ms(rtt->P50Us) + ", p99 " + Ms(rtt->P99Us) +
                                  ", max " + Ms(rtt->MaxUs) + " (" + std::to_string(rtt->Samples) +
                                  " samples)"
                            : std::string("  round trip: -"));
        if (!delays->PeerHasExtension)
            lines.emplace_back("  the peer does not report delay (no delay extension)");
    }
    if (std::string hint = RcvbufHint(s, drops); !hint.empty())
        lines.push_back(std::move(hint));
    return lines;
}

std::vector<std::string> SummaryLines(const TSummary& s) {
    return {
        "Summary over " + Format("%.2f", s.ElapsedMs / 1000.0) + " s",
        "  this host -> peer: sent " + OrDash(s.LSAvrgSpd) + ", peer received " +
            OrDash(s.LRAvrgSpd) + ", quality " + OrDash(s.RQuality) + ", " +
            Lost(s.RemoteLost, s.RErrors),
        "  peer -> this host: sent " + OrDash(s.RSAvrgSpd) + ", received " + OrDash(s.RRAvrgSpd) +
            ", quality " + OrDash(s.LQuality) + ", " + Lost(s.LocalLost, s.LErrors),
        "  bandwidth " + OrDash(s.BandwidthText) + ", quality " + OrDash(s.QualityText),
    };
}

nlohmann::json SummaryJson(const TSummary& s, const TCliDrops& drops,
                           const std::optional<TCliDelays>& delays) {
    nlohmann::json object = SummaryJsonBase(s, drops);
    if (delays) {
        nlohmann::json& summary = object["summary"];
        const std::optional<TDelayQuantiles>& rtt = delays->Local.Rtt;
        summary["rtt_p50_us"] = rtt ? Us(rtt->P50Us) : nlohmann::json();
        summary["rtt_p99_us"] = rtt ? Us(rtt->P99Us) : nlohmann::json();
        summary["rtt_max_us"] = rtt ? Us(rtt->MaxUs) : nlohmann::json();
        DelayJson(summary, "local_", delays->Local);
        DelayJson(summary, "remote_", delays->Remote);
        summary["peer_delay_extension"] = delays->PeerHasExtension;
    }
    return object;
}

nlohmann::json SummaryJsonBase(const TSummary& s, const TCliDrops& drops) {
    return {{"summary",
             {
                 {"local_rcvbuf_drops", OrNull(drops.Local)},
                 {"remote_rcvbuf_drops", OrNull(drops.Remote)},
                 {"local_output_kbps", BytesPerSecondToKbps(s.LS)},
                 {"local_input_kbps", BytesPerSecondToKbps(s.LR)},
                 {"remote_output_kbps", BytesPerSecondToKbps(s.RS)},
                 {"remote_input_kbps", BytesPerSecondToKbps(s.RR)},
                 {"local_quality_pct", QualityJson(s.LQuality, s.QL * 100.0)},
                 {"remote_quality_pct", QualityJson(s.RQuality, s.QR * 100.0)},
                 {"quality_pct", QualityJson(s.QualityText, s.Quality)},
                 {"local_lost", s.LocalLost},
                 {"remote_lost", s.RemoteLost},
                 {"local_lost_per_s", s.LocalLostPerSecond},
                 {"remote_lost_per_s", s.RemoteLostPerSecond},
                 {"bandwidth_kbps", BytesPerSecondToKbps(s.Bandwidth)},
                 {"elapsed_ms", s.ElapsedMs},
                 {"texts",
                  {{"local_send", TrimRight(s.LSAvrgSpd)},
                   {"remote_receive", TrimRight(s.LRAvrgSpd)},
                   {"remote_quality", s.RQuality},
                   {"remote_errors", s.RErrors},
                   {"remote_send", TrimRight(s.RSAvrgSpd)},
                   {"local_receive", TrimRight(s.RRAvrgSpd)},
                   {"local_quality", s.LQuality},
                   {"local_errors", s.LErrors},
                   {"bandwidth", TrimRight(s.BandwidthText)},
                   {"quality", s.QualityText}}},
             }}};
}

std::vector<std::string> ViewText(const TLogView& local, const TLogView& remote,
                                  std::size_t records, const TSummary* summary) {
    std::vector<std::string> lines{std::to_string(records) + " records",
                                   ViewSideText("Local  (L)", local),
                                   ViewSideText("Remote (R)", remote)};
    if (summary != nullptr) {
        for (std::string& line : SummaryLines(*summary))
            lines.push_back(std::move(line));
    } else {
        lines.emplace_back("No time elapsed in the Local records: no summary");
    }
    return lines;
}

nlohmann::json ViewJson(const TLogView& local, const TLogView& remote, std::size_t records,
                        const TSummary* summary) {
    nlohmann::json object{
        {"view",
         {{"records", records}, {"local", ViewSideJson(local)}, {"remote", ViewSideJson(remote)}}}};
    object["summary"] = summary != nullptr ? SummaryJson(*summary)["summary"] : nlohmann::json();
    return object;
}

std::vector<std::string> LookupText(const std::vector<TCliFound>& found) {
    std::vector<std::string> lines;
    if (found.empty()) {
        lines.emplace_back("No copy answered the lookup");
        return lines;
    }
    lines.push_back(std::to_string(found.size()) + (found.size() == 1 ? " copy" : " copies") +
                    " answered:");
    for (const TCliFound& f : found)
        lines.push_back("  " + f.Address + " port " + std::to_string(f.Port));
    return lines;
}

nlohmann::json LookupJson(const std::vector<TCliFound>& found) {
    nlohmann::json list = nlohmann::json::array();
    for (const TCliFound& f : found)
        list.push_back({{"address", f.Address}, {"port", f.Port}});
    return {{"lookup", {{"count", found.size()}, {"found", list}}}};
}

std::string JsonLine(const nlohmann::json& object) {
    return EventLine(object).dump();
}
