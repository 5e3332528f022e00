// SPDX-License-Identifier: GPL-3.0-or-later
// The test settings in the settings store: the options table (section
// "Config", mirrored in the per-user registry branch) and the current-values
// table (section "Current", every entry mirrored there). TCfgOpt::Read/Save
// and TCfg::Read/Save (uConfig.h) are defined here; they work on the global
// records CfgOpt, Colors and Cfg through IniMain and do nothing while IniMain
// is empty. A value that does not convert raises EConvertError (zUtils.h).
#pragma once

#include <string>

#include "uConfig.h"

// Reads TCfg, then TCfgOpt, as the main window does at start. Returns the
// empty text, or the readable message of a value that did not convert (the
// values before it are read, the rest keep their defaults).
std::string ReadTestSettings();
