// SPDX-License-Identifier: GPL-3.0-or-later
// The language and message files the program ships: the German language is
// listed, every reference line has a German line with the same placeholders,
// no German key is stale, and the stores switch between them.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tLangFixture.h"
#include "xHome.h"

namespace {

namespace fs = std::filesystem;

// The placeholders of a text in order ("%s", "%d", ...), "%%" left out.
std::vector<std::string> Placeholders(const std::string& text) {
    std::vector<std::string> found;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        std::size_t j = i + 1;
        while (j < text.size() &&
               std::string_view("0123456789.-:").find(text[j]) != std::string_view::npos)
            ++j;
        if (j < text.size() && text[j] != '%')
            found.push_back(text.substr(i, j - i + 1));
        i = j;
    }
    return found;
}

class TShippedTest : public TLangTest {
protected:
    void SetUp() override {
        TLangTest::SetUp();
        const fs::path source = RV_SOURCE_DIR;
        for (const char* folder : {"Default", "German"})
            fs::copy(source / "app" / folder, Path(folder), fs::copy_options::recursive);
        fs::remove(Path("Default/CMakeLists.txt"));
        fs::copy(source / "Brenlib/Default/MsgStr.hnt", Path("Default/MsgStr.hnt"));
        CreateLangDef();
    }
};

TEST_F(TShippedTest, GermanIsCompleteAndConsistent) {
    ASSERT_EQ(LangDef->Languages().size(), 2u);
    EXPECT_EQ(LangDef->Languages()[1].Name, "German");
    EXPECT_EQ(LangDef->Languages()[1].Lcid, 1031u);

    for (const char* file : {"MsgStr.hnt", "ravelox.hnt"}) {
        const TbLangFile english(Path(std::string("Default/") + file), 0);
        const TbLangFile german(Path(std::string("German/") + file), 1031);
        EXPECT_TRUE(english.IsUtf8() && german.IsUtf8()) << file;
        for (const auto& section : english.ReadSections())
            for (const auto& [key, text] : english.ReadValues(section)) {
                const auto translated = german.ReadString(section, key, "");
                EXPECT_FALSE(translated.empty()) << file << " " << section << "." << key;
                EXPECT_EQ(Placeholders(translated), Placeholders(text))
                    << file << " " << section << "." << key;
            }
    }
    const TbLangFile reference(Path("Default/ravelox.lng"), 0);
    const TbLangFile german(Path("German/ravelox.lng"), 1031);
    for (const auto& section : german.ReadSections()) {
        if (section == ".Define")
            continue;
        for (const auto& [key, text] : german.ReadValues(section)) {
            EXPECT_TRUE(reference.ValueExists(section, key)) << "stale " << section << "." << key;
            EXPECT_FALSE(text.empty()) << section << "." << key;
        }
    }
    // Every recorded form has a German caption.
    for (const auto& [form, caption] : reference.ReadValues("Components"))
        EXPECT_NE(german.ReadString("Components", form, caption), caption) << form;
}

TEST_F(TShippedTest, StoresSwitchBetweenTheShippedFiles) {
    InitMsgStrings();
    EXPECT_EQ(LookupMessageText("SocketErrors", "111", ""), "Connection refused");
    EXPECT_EQ(MsgStr->GetErrorFmt_Strings(2, "x.ini"), "Unable to write to x.ini");
    EXPECT_EQ(MsgApp->GetLine("HintStat", -3), "Elapsed time of the test");
    LangDef->SetLanguage("German");
    EXPECT_EQ(LookupMessageText("SocketErrors", "111", ""), "Verbindung abgelehnt");
    EXPECT_EQ(MsgStr->GetErrorFmt_Strings(2, "x.ini"), "Schreiben nach x.ini nicht möglich");
    EXPECT_EQ(MsgApp->GetLine("HintStat", -3), "Verstrichene Testzeit");
    LangDef->SetLanguage("<None>");
    EXPECT_EQ(MsgApp->GetLine("Strings", 1), "Ravelox is locked. Close this box to go on.");
}

// `make run` and the service set RAVELOX_HOME: it moves the settings, not
// the languages and message texts, which stay beside the program (here: the
// build tree's bin/, beside this test).
TEST_F(TShippedTest, RaveloxHomeMovesOnlyTheWrittenFiles) {
    fs::remove_all(Path("Default"));
    fs::remove_all(Path("German"));
    ASSERT_STREQ(std::getenv("RAVELOX_HOME"), m_root.c_str());
    SetShippedDataFolder({});
    const std::string beside = fs::read_symlink("/proc/self/exe").parent_path().string();
    EXPECT_EQ(ShippedDataFolder(), beside);
    EXPECT_EQ(ProgramFolder(), m_root);
    FreeLangDef();
    CreateLangDef();
    ASSERT_EQ(LangDef->Languages().size(), 2u);
    EXPECT_EQ(LangDef->Languages()[1].Name, "German");
    InitMsgStrings();
    EXPECT_EQ(LookupMessageText("SocketErrors", "101", ""), "Network is unreachable");
    LangDef->SetLanguage("German");
    EXPECT_EQ(LookupMessageText("SocketErrors", "101", ""), "Netzwerk ist nicht erreichbar");
}

} // namespace
