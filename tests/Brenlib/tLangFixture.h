// SPDX-License-Identifier: GPL-3.0-or-later
// A program folder of its own with language folders made by the test; the
// language definition and the message stores are made and freed per test.
#pragma once

#include <filesystem>
#include <string>

#include "tStoreFixture.h"
#include "zLang.h"
#include "zMsgStr.h"

class TLangTest : public TStoreTest {
protected:
    void TearDown() override {
        DoneMsgStrings();
        TbMsgStr::ShowBox = {};
        FreeLangDef();
        CfgPar = {};
        TStoreTest::TearDown();
    }

    // A language folder with the program's ".lng"; lcid null: no LCID key.
    void MakeLanguage(const std::string& name, const char* lcid, const std::string& body = {}) {
        std::filesystem::create_directories(Path(name));
        std::string text = "[.Define]\n";
        if (lcid != nullptr)
            text += std::string("LCID=") + lcid + "\n";
        WriteFile(Path(name + "/ravelox.lng"), text + body);
    }
    void MakeFile(const std::string& name, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(Path(name)).parent_path());
        WriteFile(Path(name), text);
    }
};
