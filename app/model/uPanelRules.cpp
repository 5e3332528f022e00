// SPDX-License-Identifier: GPL-3.0-or-later
#include "uPanelRules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "uReportModel.h"
#include "uSpeedStr.h"

std::int32_t ClampSpeed(std::int64_t kbps) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(kbps, kMinSpeed, kMaxSpeed));
}

std::int32_t PositionToSpeed(int position) {
    const int p = std::clamp(position, 0, kSpeedPositions);
    return static_cast<std::int32_t>(std::lround(100.0 * std::pow(10.0, p / 1000.0)));
}

int SpeedToPosition(std::int64_t kbps) {
    const double position = 1000.0 * std::log10(ClampSpeed(kbps) * 0.01);
    return static_cast<int>(
        std::clamp(std::lround(position), 0L, static_cast<long>(kSpeedPositions)));
}

std::int32_t SpeedAfterStep(std::int64_t currentKbps, int before, int after) {
    if (before == after)
        return ClampSpeed(currentKbps);
    return PositionToSpeed(after);
}

int PacketSizeIndex(std::int32_t size) {
    for (std::size_t i = 0; i < PacketSizes.size(); ++i)
        if (PacketSizes[i] >= size)
            return static_cast<int>(i);
    return static_cast<int>(PacketSizes.size() - 1);
}

TCfgOpt ClampTimingOptions(const TCfgOpt& options) {
    TCfgOpt o = options;
    o.TimerPeriod = std::clamp(o.TimerPeriod, 1, 100);
    const std::int32_t low = std::max(100, o.TimerPeriod);
    o.InfoTime = std::clamp(o.InfoTime, low, 10000);
    o.ViewTime = std::clamp(o.ViewTime, low, 10000);
    o.GraphTime = std::clamp(o.GraphTime, 10, 10000);
    return o;
}

std::string SpeedResToStr64(std::int64_t rate) {
    if (rate <= std::numeric_limits<std::int32_t>::max())
        return SpeedResToStr(static_cast<std::int32_t>(std::max<std::int64_t>(rate, 0)));
    // Above 2^31 bytes per second every text takes the branch without
    // decimals.
    const double mbps = static_cast<double>(rate) * 8.0 / 1000.0 / 1000.0;
    char text[64];
    std::snprintf(text, sizeof text, "%.0f ", mbps);
    return text + Str_Mbps + "  ";
}

std::string FormatDuration(std::uint64_t ms) {
    return FormatElapsed(SplitElapsed(ms));
}
