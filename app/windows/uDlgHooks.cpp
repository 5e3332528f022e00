// SPDX-License-Identifier: GPL-3.0-or-later
#include "uDlgHooks.h"

std::function<void()> ColorHook;
std::function<void(int)> ViewTimeHook;
