// SPDX-License-Identifier: GPL-3.0-or-later
// The framework's own settings records and the start-up of the settings store.
#pragma once

#include <cstdint>
#include <string>

// Section "Params" (file only); UpLang and UpHelp come from the command line.
struct TCfgPar {
    std::string Language; // "Language"; empty = none chosen
    bool UpLang = false;  // switch "UpLang"
    bool UpHelp = false;  // switch "UpHelp"

    // Sets the switches, reads the section, then lets a command-line value
    // "-Lang=<name>" (or "/Lang:<name>") replace Language; returns whether
    // such a value was given.
    bool Read();
    void Save();
};

// Section "BrenlibConfig", mirrored in the per-user registry branch.
struct TbCfgOpt {
    std::int32_t MRUFiles = 9; // length of the recent-files list
    std::uint8_t ToolMenu = 0; // 1 = main menu shown as a tool bar

    void Read();
    void Save();
};

// Section "BrenlibCurrent": no keys yet.
struct TbCfg {
    void Read();
    void Save();
};

extern TCfgPar CfgPar;
extern TbCfgOpt bCfgOpt;
extern TbCfg bCfg;
// The program file's version: major << 16 | minor.
extern std::uint32_t ProgramFileVersion;

// Opens the store: IniMain on iniFileName (default: the program's ".INI"),
// reads CfgPar, opens IniDebug on the program's ".dbg", makes the per-user
// and machine registry objects and fixes DevLevel. Nothing is written.
// Raises EVersionInfo (zIniReg.h) when the version record lacks its names,
// and EConvertError when "Params" holds a value that does not convert.
void InitSettingsStore(const std::string& iniFileName = {});
// Frees everything InitSettingsStore made; the globals are empty again.
void DoneSettingsStore();
