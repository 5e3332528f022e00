// SPDX-License-Identifier: GPL-3.0-or-later
// Millisecond clock and periodic timer in the shape the engine is written
// against. Each running timer is one thread that sleeps to absolute deadlines
// on the monotonic clock, so the period does not drift.
#pragma once

#include <cstdint>

using MMRESULT = std::uint32_t;
inline constexpr MMRESULT TIMERR_NOERROR = 0;
inline constexpr MMRESULT TIMERR_NOCANDO = 97;
inline constexpr unsigned TIME_ONESHOT = 0;
inline constexpr unsigned TIME_PERIODIC = 1;

using LPTIMECALLBACK = void (*)(unsigned id, unsigned msg, std::uintptr_t user, std::uintptr_t,
                                std::uintptr_t);

// Monotonic milliseconds, wrapping at 32 bits.
std::uint32_t timeGetTime();

// Accept periods of 1 to 1000 ms.
MMRESULT timeBeginPeriod(unsigned period);
MMRESULT timeEndPeriod(unsigned period);

// Starts a periodic (or one-shot) timer; returns its id, 0 on failure.
// The callback runs on the timer's own thread; its fourth argument is the
// number of periods since the timer started (1 at the first call), so a
// callback that let the timer sleep knows how many periods passed.
unsigned timeSetEvent(unsigned delay, unsigned resolution, LPTIMECALLBACK callback,
                      std::uintptr_t user, unsigned mode);
// From the timer's own callback: the next call comes `periods` periods later,
// on the same grid, unless timeWakeEvent comes first.
MMRESULT timeSleepEvent(unsigned periods);
// Any thread: a timer asleep after timeSleepEvent calls back at its next
// period boundary; a timer about to sleep does not sleep.
MMRESULT timeWakeEvent(unsigned id);

// Stops the timer and waits until a running callback has returned. Must not be
// called from the timer's own callback.
MMRESULT timeKillEvent(unsigned id);
