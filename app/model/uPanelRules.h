// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of the channel panels' controls that are arithmetic, not drawing:
// the logarithmic speed track bar, the packet-size snap, the speed limits,
// the timing options as the windows apply them, 64-bit speed texts and the
// elapsed-time text. No Qt; the panels only assign what these answer.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "uConfig.h"

// Track bar of the speed: positions 0 .. 3000 stand for 100 kbit/s .. 100
// Mbit/s on a log scale; a page is 250 positions (a factor of 10^0.25).
inline constexpr int kSpeedPositions = 3000;
inline constexpr int kSpeedPage = 250;
inline constexpr int kSpeedTickFrequency = 500;

// Every speed shown or applied stays within what a copy can be asked for:
// 1 kbit/s .. 10 Gbit/s (a stored 0 or a peer's garbage never reaches log10).
inline constexpr std::int32_t kMinSpeed = 1;
inline constexpr std::int32_t kMaxSpeed = 10'000'000;

inline constexpr std::array<std::int32_t, 5> PacketSizes{128, 256, 512, 1024, 1514};
inline constexpr std::array<std::int32_t, 7> SpeedScale{100, 300, 1000, 3000, 10000, 30000, 100000};
inline constexpr std::array<std::int32_t, 9> SpeedChoices{100,   300,    1000,   3000,   10000,
                                                          30000, 100000, 300000, 1000000};

std::int32_t ClampSpeed(std::int64_t kbps);
// 100 x 10^(position / 1000), rounded; the position is clamped to the bar.
std::int32_t PositionToSpeed(int position);
// 1000 x log10(speed / 100), rounded and clamped to 0 .. 3000.
int SpeedToPosition(std::int64_t kbps);
// The speed after the bar moved from `before` to `after` (a shortcut's page
// step): the bar's speed when the position changed; when it did not (at
// either end), the current speed is kept, so a speed above the bar's top
// (a peer may ask for 10 Gbit/s) is not lowered to 100 Mbit/s.
std::int32_t SpeedAfterStep(std::int64_t currentKbps, int before, int after);

// Index of the first table entry not smaller than the size; above the last
// entry, the last.
int PacketSizeIndex(std::int32_t size);

// The timing options clamped to the limits the dialogs allow: TimerPeriod
// 1 .. 100, InfoTime and ViewTime 100 .. 10000 and not below the timer
// period, GraphTime 10 .. 10000. Applied wherever the windows use them, so
// a hand-edited file cannot make a busy timer or a zero division.
TCfgOpt ClampTimingOptions(const TCfgOpt& options);

// SpeedResToStr for rates beyond 32 bits (bytes per second): the sum of both
// directions at 10 Gbit/s is one.
std::string SpeedResToStr64(std::int64_t rate);

// "H:MM:SS" of a duration in ms; hours run on past 24.
std::string FormatDuration(std::uint64_t ms);
