// SPDX-License-Identifier: GPL-3.0-or-later
// A stored result log drawn as the desktop program draws it in view mode:
// for each side (Local, Remote) its output, input and lost-packet graphs over
// the log's span in minutes, each scaled to its largest value with 5 %
// headroom and labelled as the program labels its axes (AxisScale). Plain
// SVG text, written here so that the CLI needs no widget library.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "uResultLog.h"

struct TLogSvgInfo {
    std::string Title; // e.g. the log's name, or the hosts a script gives
    std::string Date;  // when the log was written, as text
    // The graph colours as the settings store them (0x00BBGGRR): output,
    // input, lost, in the order of tColorList.
    std::array<std::uint32_t, 3> Colors{0x00FF0000, 0x00008000, 0x000000FF};
};

// "#rrggbb" of a stored colour.
std::string SvgColor(std::uint32_t stored);

std::string LogSvg(const TLogView& local, const TLogView& remote, const TLogSvgInfo& info);
