// SPDX-License-Identifier: GPL-3.0-or-later
// Every settings test runs against its own temporary folder: the program's
// folder (RAVELOX_HOME), HOME, XDG_CONFIG_HOME and both registry branches
// (QSettings user and system scope) point into it, so no test ever touches
// the real home or /etc. The shipped files (languages, message files) are
// read from the same folder, so that a test can bring its own.
#pragma once

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "bConfig.h"
#include "tHelpers.h"
#include "tSandboxHome.h"
#include "xHome.h"
#include "zIniReg.h"
#include "zParams.h"

class TStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_root = m_dir.path().toStdString();
        testhelp::SandboxHome(m_dir);
        SetShippedDataFolder(m_root);
        TbParam::SetArguments({});
        CfgPar = {};
        bCfgOpt = {};
        InitSettingsStore();
        ASSERT_NE(IniMain, nullptr);
    }

    void TearDown() override {
        DoneSettingsStore();
        SetShippedDataFolder({});
    }

    std::string Path(const std::string& name) const { return m_root + "/" + name; }
    std::string IniPath() const { return Path("ravelox.INI"); }

    static void WriteFile(const std::string& path, const std::string& text) {
        testhelp::WriteFile(path, text);
    }
    static std::string ReadFile(const std::string& path) { return testhelp::ReadFile(path); }
    static bool Exists(const std::string& path) { return std::ifstream(path).good(); }

    // The per-user and machine registry branches, read directly.
    static QString UserValue(const QString& key) { return Branch(QSettings::UserScope, key); }
    static QString MachineValue(const QString& key) { return Branch(QSettings::SystemScope, key); }
    static QString Branch(QSettings::Scope scope, const QString& key) {
        QSettings settings(QSettings::NativeFormat, scope, "Brenvik", "Quindle");
        settings.setFallbacksEnabled(false);
        return settings.value(key, "<absent>").toString();
    }

    QTemporaryDir m_dir;
    std::string m_root;
};
