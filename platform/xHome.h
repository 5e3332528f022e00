// SPDX-License-Identifier: GPL-3.0-or-later
// The program's folder: every file that lives beside the program (settings,
// developer settings, result log, language folders) resolves through it.
#pragma once

#include <string>

// RAVELOX_HOME when set and not empty, otherwise the folder of the executable.
// Always ends without a slash.
std::string ProgramFolder();

// The program's own path without extension inside ProgramFolder(), e.g.
// "/opt/ravelox/ravelox"; callers append ".INI", ".dbg", ".log".
std::string ProgramBasePath();

// The folder of the files the program ships read-only (language folders,
// message files): ProgramFolder() for a build tree or a copy of its own.
// Always ends without a slash. Every shipped file resolves through it, so an
// installed program can read them from its install prefix's data folder.
std::string ShippedDataFolder();
