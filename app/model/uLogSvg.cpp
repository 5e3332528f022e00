// SPDX-License-Identifier: GPL-3.0-or-later
#include "uLogSvg.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kWidth = 1040;
constexpr int kSideWidth = 440;
constexpr int kChartHeight = 150;
constexpr int kChartGap = 46;
constexpr int kTop = 84;
constexpr int kLeft[2] = {70, 580};

std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Num(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Trim(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

std::string Text(double x, double y, const std::string& text, const char* extra = "") {
    return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\"" + extra + ">" + Escape(text) +
           "</text>\n";
}

// One graph: frame, the axis labels and the series as one polyline.
std::string Chart(const TLogView& view, int left, int top, const char* name, double maximum,
                  bool isCount, const std::string& color, std::uint32_t TSample::*field) {
    const TAxisScale scale = AxisScale(maximum, isCount);
    const double minutes = ViewAxisMinutes(view);
    std::string svg = "<rect x=\"" + Num(left) + "\" y=\"" + Num(top) + "\" width=\"" +
                      Num(kSideWidth) + "\" height=\"" + Num(kChartHeight) +
                      "\" fill=\"white\" stroke=\"#808080\"/>\n";
    svg += Text(left + 4, top - 6, name, " font-weight=\"bold\"");
    // The label stands at the height of the largest value, below the 5 %
    // headroom of the axis.
    const double labelY = top + kChartHeight * (1.0 - maximum / scale.Top) + 4.0;
    svg += Text(left - 4, labelY, Trim(scale.Label), " text-anchor=\"end\" font-size=\"10\"");
    svg += Text(left - 4, top + kChartHeight, "0", " text-anchor=\"end\" font-size=\"10\"");
    svg += Text(left, top + kChartHeight + 14, "0", " font-size=\"10\"");
    svg += Text(left + kSideWidth, top + kChartHeight + 14, Num(minutes) + " min",
                " text-anchor=\"end\" font-size=\"10\"");
    if (view.Points.empty())
        return svg;
    svg += "<polyline fill=\"none\" stroke=\"" + color + "\" stroke-width=\"1.2\" points=\"";
    for (const TSample& p : view.Points) {
        const double x = left + std::min(p.X / 60000.0 / minutes, 1.0) * kSideWidth;
        const double y = top + kChartHeight - std::min((p.*field) / scale.Top, 1.0) * kChartHeight;
        svg += Num(x) + "," + Num(y) + " ";
    }
    svg += "\"/>\n";
    return svg;
}

} // namespace

std::string SvgColor(std::uint32_t stored) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", stored & 0xFFU, (stored >> 8) & 0xFFU,
                  (stored >> 16) & 0xFFU);
    return text;
}

std::string LogSvg(const TLogView& local, const TLogView& remote, const TLogSvgInfo& info) {
    const int height = kTop + 3 * (kChartHeight + kChartGap) + 10;
    const TLogView& timed = local.HasData ? local : remote;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      std::to_string(kWidth) + "\" height=\"" + std::to_string(height) +
                      "\" viewBox=\"0 0 " + std::to_string(kWidth) + " " + std::to_string(height) +
                      "\" font-family=\"sans-serif\" font-size=\"12\">\n"
                      "<rect width=\"100%\" height=\"100%\" fill=\"#f0f0f0\"/>\n";
    svg += Text(kWidth / 2.0, 24, info.Title,
                " text-anchor=\"middle\" font-size=\"16\" "
                "font-weight=\"bold\"");
    svg += Text(kWidth / 2.0, 44,
                info.Date + (info.Date.empty() ? "" : ", ") + "duration " +
                    FormatElapsed(SplitElapsed(timed.Span)),
                " text-anchor=\"middle\"");
    const TLogView* views[2] = {&local, &remote};
    const char* captions[2] = {"Local (this host)", "Remote (peer)"};
    for (int side = 0; side < 2; ++side) {
        const TLogView& view = *views[side];
        const int left = kLeft[side];
        svg += Text(left + kSideWidth / 2.0, kTop - 22, captions[side],
                    " text-anchor=\"middle\" font-weight=\"bold\" font-size=\"14\"");
        if (!view.HasData) {
            svg += Text(left + kSideWidth / 2.0, kTop + kChartHeight / 2.0,
                        "fewer than two records: nothing to show", " text-anchor=\"middle\"");
            continue;
        }
        svg += Chart(view, left, kTop, "Output", view.MaxOutput, false, SvgColor(info.Colors[0]),
                     &TSample::Output);
        svg += Chart(view, left, kTop + kChartHeight + kChartGap, "Input", view.MaxInput, false,
                     SvgColor(info.Colors[1]), &TSample::Input);
        svg += Chart(view, left, kTop + 2 * (kChartHeight + kChartGap), "Lost packets",
                     view.MaxLost, true, SvgColor(info.Colors[2]), &TSample::Lost);
    }
    svg += "</svg>\n";
    return svg;
}
