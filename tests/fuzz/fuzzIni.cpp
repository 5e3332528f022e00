// SPDX-License-Identifier: GPL-3.0-or-later
// The INI reader and the settings-table reader: the input is a settings
// file. Everything the readers offer is read; then the test settings are
// read through their tables as the programs do. A value written to a copy
// reads back as written (the format's promise for one-line values).
#include <cstdint>
#include <cstdlib>
#include <string>

#include <QCoreApplication>
#include <QSettings>

#include "bConfig.h"
#include "bIniFile.h"
#include "fuzzCommon.h"
#include "uConfig.h"
#include "uConfigIni.h"
#include "zExcept.h"
#include "zIniReg.h"
#include "zParams.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string& root = fuzz::Folder();
    ::setenv("RAVELOX_HOME", root.c_str(), 1);
    ::setenv("HOME", (root + "/home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + "/xdg").c_str(), 1);
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
        QSettings::setPath(format, QSettings::UserScope, QString::fromStdString(root + "/user"));
        QSettings::setPath(format, QSettings::SystemScope,
                           QString::fromStdString(root + "/machine"));
    }
    TbParam::SetArguments({});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteInput("input.INI", data, size);
    {
        const TIniFileB ini(path);
        for (const std::string& section : ini.ReadSections()) {
            for (const auto& [key, value] : ini.ReadSectionValues(section)) {
                Check(value.size() <= TIniFile::kMaxValueLength);
                ini.ReadInteger(section, key, 7);
                ini.ReadBool(section, key, false);
                Check(ini.ValueExists(section, key));
            }
            ini.ReadSectionLines(section);
            ini.ReadSectionObject(section);
            for (int i = 0; i < 3; ++i)
                ini.GetSectionLine(section, i);
        }
    }

    // The settings tables, through the store as the programs open it.
    CfgPar = {};
    bCfgOpt = {};
    CfgOpt = TCfgOpt{};
    Cfg = TCfg{};
    Colors = kDefaultColors;
    try {
        InitSettingsStore(path);
        ReadTestSettings();
    } catch (const std::exception&) {
        // A value that does not convert: reported to the user, not a fault.
    }
    DoneSettingsStore();

    // One line of the input as a value written to a copy reads back as
    // written.
    if (size > 0 && size < 200) {
        std::string value(reinterpret_cast<const char*>(data), size);
        if (value.find_first_of("\r\n") == std::string::npos &&
            value.find('\0') == std::string::npos) {
            const std::string copy = fuzz::Folder() + "/copy.INI";
            std::remove(copy.c_str());
            TIniFile out(copy);
            out.WriteString("Fuzz", "Value", value);
            Check(out.ReadString("Fuzz", "Value", "<none>") == value);
        }
    }
    return 0;
}
