// SPDX-License-Identifier: GPL-3.0-or-later
// Every speed on screen: megabits per second with 0 to 2 decimals, the unit
// word and two trailing blanks; empty for 0 and below.
#pragma once

#include <cstdint>
#include <string>

// The unit word; the main window keeps it equal to its translated label.
extern std::string Str_Mbps;

// speed in kbit/s
std::string SpeedToStr(std::int32_t speed);
// rate in bytes per second
std::string SpeedResToStr(std::int32_t rate);
