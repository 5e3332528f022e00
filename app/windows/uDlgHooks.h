// SPDX-License-Identifier: GPL-3.0-or-later
// What the settings dialogs change outside themselves, as program-wide
// references that the main window sets at start (and clears at its end);
// empty references are skipped. User-interface thread only.
#pragma once

#include <functional>

// The colour hook: refreshes both channel panels from the settings (series
// colours from Colors, time axis from GraphTime, the report processing's
// view and information intervals), Local then Remote.
extern std::function<void()> ColorHook;
// The main window's SetViewTime: interval of its view timer, in ms.
extern std::function<void(int)> ViewTimeHook;
