// SPDX-License-Identifier: GPL-3.0-or-later
// A test's own program home: the program's folder (RAVELOX_HOME), HOME,
// XDG_CONFIG_HOME and both registry branches (QSettings user and system
// scope) point into one temporary folder, so that no test touches the real
// home or /etc.
#pragma once

#include <cstdlib>
#include <string>

#include <QSettings>
#include <QTemporaryDir>

namespace testhelp {

inline void SandboxHome(const QTemporaryDir& dir) {
    const std::string root = dir.path().toStdString();
    ::setenv("RAVELOX_HOME", root.c_str(), 1);
    ::setenv("HOME", (root + "/home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/xdg").c_str(), 1);
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, dir.filePath("user"));
        QSettings::setPath(format, QSettings::SystemScope, dir.filePath("machine"));
    }
}

} // namespace testhelp
