// SPDX-License-Identifier: GPL-3.0-or-later
#include "uSpeedStr.h"

#include <cstdio>

std::string Str_Mbps = "Mbps";

namespace {

std::string FormatKbps(double v) {
    const char* format = nullptr;
    if (v >= 100000.0)
        format = "%.0f %s  ";
    else if (v >= 10000.0)
        format = "%.1f %s  ";
    else if (v > 0.0)
        format = "%.2f %s  ";
    else
        return {};
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, v / 1000.0, Str_Mbps.c_str());
    if (n < 0)
        return {};
    if (static_cast<std::size_t>(n) < sizeof buffer)
        return std::string(buffer, static_cast<std::size_t>(n));
    // A long translated unit word: format again into a buffer that fits.
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, v / 1000.0, Str_Mbps.c_str());
    text.resize(static_cast<std::size_t>(n));
    return text;
}

} // namespace

std::string SpeedToStr(std::int32_t speed) {
    return FormatKbps(static_cast<double>(speed));
}

std::string SpeedResToStr(std::int32_t rate) {
    return FormatKbps(static_cast<double>(rate) * 8.0 / 1000.0);
}
