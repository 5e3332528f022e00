// SPDX-License-Identifier: GPL-3.0-or-later
// The program's folders. Every file that the program writes beside itself
// (settings, developer settings, result log, trace) resolves through
// ProgramFolder(); every file it ships read-only (language folders, message
// files) through ShippedDataFolder().
//
// A build tree, or a copy of it in a folder of its own, keeps both beside the
// executable. An installed program (<prefix>/bin with <prefix>/share/ravelox
// beside it, or any executable whose folder is not writable) reads its shipped
// files from the install prefix's data folder and writes into a per-user
// folder under the XDG config home, never into /usr. RAVELOX_HOME names the
// writable folder in every case (a service's settings under /var/lib); the
// shipped files never move with it.
#pragma once

#include <string>

// What the folders are decided from; HomeInputsNow() reads it from the
// process, tests pass their own.
struct THomeInputs {
    std::string RaveloxHome;   // RAVELOX_HOME, empty when unset
    std::string XdgConfigHome; // XDG_CONFIG_HOME, empty when unset
    std::string Home;          // HOME (or the password entry's), may be empty
    std::string ExeFolder;     // folder of the executable, empty when unknown
    bool ExeFolderWritable = true;
    bool InstallDataExists = false; // ExeFolder/InstallDataRelative() is a folder
};

struct THomeFolders {
    std::string Program; // writable files
    std::string Shipped; // read-only shipped files
    bool Installed = false;
};

// The data folder relative to the folder of an installed executable, e.g.
// "../share/ravelox" (from the install layout the build was configured with).
std::string InstallDataRelative();

THomeInputs HomeInputsNow();
// Pure: no file is looked at or created.
THomeFolders ResolveHomeFolders(const THomeInputs& in);

// RAVELOX_HOME when set and not empty; otherwise the folder of the executable
// for a build tree, or the per-user folder ($XDG_CONFIG_HOME/ravelox, by
// default ~/.config/ravelox; created on first use) for an installed program.
// Always ends without a slash.
std::string ProgramFolder();

// The program's own path without extension inside ProgramFolder(), e.g.
// "/home/ann/.config/ravelox/ravelox"; callers append ".INI", ".dbg", ".log".
std::string ProgramBasePath();

// The folder of the files the program ships read-only (language folders,
// message files): the install prefix's data folder for an installed program,
// the folder of the executable otherwise (a build tree or a copy of its
// own), whether RAVELOX_HOME is set or not. Always ends without a slash.
std::string ShippedDataFolder();
// Makes ShippedDataFolder() answer `folder` from now on (empty: the rule
// above again). For tests that bring their own language and message files.
void SetShippedDataFolder(const std::string& folder);

// Whether the running executable is an installed one (see above).
bool InstalledProgram();
