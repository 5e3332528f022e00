// SPDX-License-Identifier: GPL-3.0-or-later
#include "uDelayLog.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

constexpr const char* kHeader = "# Ravelox delay figures 1: side,report_time_ms,delay_p50_us,"
                                "delay_p99_us,delay_max_us,jitter_us,rtt_p50_us,rtt_p99_us";

void AppendField(std::string& out, const std::optional<double>& value) {
    out += ',';
    if (!value || !std::isfinite(*value))
        return;
    // Whole microseconds, independent of the locale.
    const auto us = static_cast<std::int64_t>(std::llround(std::max(0.0, *value)));
    out += std::to_string(us);
}

bool ParseField(std::string_view text, std::optional<double>& value) {
    if (text.empty()) {
        value.reset();
        return true;
    }
    std::uint64_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc{} || end != text.data() + text.size())
        return false;
    value = static_cast<double>(n);
    return true;
}

} // namespace

std::optional<TDelayLogLine> MakeDelayLogLine(char side, std::uint32_t reportTime,
                                              const TDelayFigures& figures) {
    TDelayLogLine line;
    line.Side = side;
    line.ReportTime = reportTime;
    if (figures.Delay) {
        line.DelayP50Us = figures.Delay->P50Us;
        line.DelayP99Us = figures.Delay->P99Us;
        line.DelayMaxUs = figures.Delay->MaxUs;
    }
    line.JitterUs = figures.JitterUs;
    if (figures.Rtt) {
        line.RttP50Us = figures.Rtt->P50Us;
        line.RttP99Us = figures.Rtt->P99Us;
    }
    if (!line.DelayP99Us && !line.JitterUs && !line.RttP50Us)
        return std::nullopt;
    return line;
}

std::string FormatDelayLogLine(const TDelayLogLine& line) {
    std::string out(1, line.Side);
    out += ',';
    out += std::to_string(line.ReportTime);
    for (const auto* value : {&line.DelayP50Us, &line.DelayP99Us, &line.DelayMaxUs, &line.JitterUs,
                              &line.RttP50Us, &line.RttP99Us})
        AppendField(out, *value);
    return out;
}

std::optional<TDelayLogLine> ParseDelayLogLine(std::string_view text) {
    if (!text.empty() && text.back() == '\r')
        text.remove_suffix(1);
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == ',') {
            fields.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    // Later versions may add fields at the end.
    if (fields.size() < 8 || fields[0].size() != 1 ||
        (fields[0][0] != kSideLocal && fields[0][0] != kSideRemote))
        return std::nullopt;
    TDelayLogLine line;
    line.Side = fields[0][0];
    const auto [end, ec] =
        std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), line.ReportTime);
    if (ec != std::errc{} || end != fields[1].data() + fields[1].size())
        return std::nullopt;
    std::optional<double>* values[] = {&line.DelayP50Us, &line.DelayP99Us, &line.DelayMaxUs,
                                       &line.JitterUs,   &line.RttP50Us,   &line.RttP99Us};
    for (std::size_t i = 0; i < 6; ++i)
        if (!ParseField(fields[i + 2], *values[i]))
            return std::nullopt;
    return line;
}

std::string DelayLogPath(const std::string& logPath) {
    return std::filesystem::path(logPath).replace_extension(".delay").string();
}

TDelayLog::~TDelayLog() {
    Close();
}

TLogResult TDelayLog::Open(const std::string& logPath, const std::string& keptAs) {
    Close();
    namespace fs = std::filesystem;
    TLogResult result;
    const std::string path = DelayLogPath(logPath);
    std::error_code ec;
    if (fs::exists(path, ec)) {
        if (!keptAs.empty())
            fs::rename(path, DelayLogPath(keptAs), ec);
        else
            fs::remove(path, ec);
        // Never leave the figures of another log beside this one.
        if (fs::exists(path, ec) && !fs::remove(path, ec)) {
            result.Status = lsKeepFailed;
            result.Message = "cannot move the previous '" + path + "' aside: " + ec.message() +
                             "; delay figures not stored";
            return result;
        }
    }
    m_out = std::fopen(path.c_str(), "w");
    if (m_out == nullptr) {
        result.Status = lsOpenFailed;
        result.Message = "cannot create '" + path + "': " + std::strerror(errno);
        return result;
    }
    m_path = path;
    std::fprintf(m_out, "%s\n", kHeader);
    return result;
}

void TDelayLog::Close() {
    if (m_out != nullptr) {
        std::fclose(m_out);
        m_out = nullptr;
    }
}

TLogResult TDelayLog::Write(const TDelayLogLine& line) {
    TLogResult result;
    if (m_out == nullptr)
        return result;
    const std::string text = FormatDelayLogLine(line) + "\n";
    if (std::fwrite(text.data(), 1, text.size(), m_out) != text.size() || std::fflush(m_out) != 0) {
        result.Status = lsWriteFailed;
        result.Message = "cannot write to '" + m_path + "': " + std::strerror(errno);
        Close();
    }
    return result;
}

std::vector<TDelayLogLine> ReadDelayLog(const std::string& logPath) {
    std::vector<TDelayLogLine> lines;
    std::ifstream in(DelayLogPath(logPath));
    std::string text;
    while (std::getline(in, text)) {
        if (text.empty() || text[0] == '#')
            continue;
        if (const auto line = ParseDelayLogLine(text))
            lines.push_back(*line);
    }
    return lines;
}

std::vector<TDelayViewPoint> DelayViewPoints(std::span<const TDelayLogLine> lines, char side,
                                             const TLogView& view) {
    std::vector<TDelayViewPoint> points;
    if (!view.HasData || view.Points.empty())
        return points;
    const TSample& origin = view.Points.front();
    std::size_t count = 0;
    for (const TDelayLogLine& line : lines)
        count += line.Side == side ? 1 : 0;
    const std::size_t step = count / kViewPoints + 1;
    std::size_t n = 0;
    for (const TDelayLogLine& line : lines) {
        if (line.Side != side || n++ % step != 0)
            continue;
        // Report times run modulo 2^32 ms, as the log's records do; a line
        // from before the view's first point stands at its left edge.
        const auto after = static_cast<std::int32_t>(line.ReportTime - origin.ReportTime);
        const double ms = static_cast<double>(origin.X) + std::max(0, after);
        points.push_back({ms / 60000.0, line});
    }
    return points;
}

TDelayFigures StoredDelayFigures(std::span<const TDelayLogLine> lines, char side) {
    TDelayFigures figures;
    std::vector<std::pair<double, std::uint64_t>> p50, p99, jitter, rtt50, rtt99;
    double max = 0.0;
    for (const TDelayLogLine& line : lines) {
        if (line.Side != side)
            continue;
        figures.Known = true;
        if (line.DelayP99Us) {
            p99.emplace_back(*line.DelayP99Us, 1);
            p50.emplace_back(line.DelayP50Us.value_or(*line.DelayP99Us), 1);
            max = std::max(max, line.DelayMaxUs.value_or(*line.DelayP99Us));
        }
        if (line.JitterUs)
            jitter.emplace_back(*line.JitterUs, 1);
        if (line.RttP50Us) {
            rtt50.emplace_back(*line.RttP50Us, 1);
            rtt99.emplace_back(line.RttP99Us.value_or(*line.RttP50Us), 1);
        }
    }
    if (!p99.empty())
        figures.Delay = TDelayQuantiles{WeightedMedian(p50), WeightedMedian(p99), max, p99.size()};
    if (!jitter.empty())
        figures.JitterUs = WeightedMedian(jitter);
    if (!rtt50.empty())
        figures.Rtt =
            TDelayQuantiles{WeightedMedian(rtt50), WeightedMedian(rtt99), 0.0, rtt50.size()};
    return figures;
}
