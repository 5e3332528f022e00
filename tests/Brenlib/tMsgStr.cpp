// SPDX-License-Identifier: GPL-3.0-or-later
// Message strings: numbered lines with their fallback order, the missing-line
// text, formatting, boxes and their answers, errors, the engine's look-up,
// and a language change while another thread reads.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QSettings>

#include "tLangFixture.h"
#include "zExcept.h"
#include "zIniReg.h"
#include "zMsgStr.h"

namespace {

class TMsgStrTest : public TLangTest {
protected:
    void SetUp() override {
        TLangTest::SetUp();
        MakeLanguage("German", "1031");
        MakeFile("Default/MsgStr.hnt", "[Errors]\nL1=Error one\nL2=;\nL3=Only default %s\n"
                                       "L5=;%s\n[HintStat]\nL3=Hint three\n");
        MakeFile("German/MsgStr.hnt", "[Errors]\nL1=Fehler eins\nL4=;Kommentar\nL6=Wert %d\n");
        MakeFile("Default/ravelox.hnt", "[SocketErrors]\n98=Address already in use\n"
                                        "[Strings]\nL1=Locked\n");
        MakeFile("German/ravelox.hnt", "[SocketErrors]\n98=Adresse wird bereits verwendet\n");
        CreateLangDef();
        InitMsgStrings();
    }

    std::string Missing(const std::string& file, const std::string& what) const {
        return "ERROR: " + what + "\n\r(" + Path(file) + ")";
    }
};

TEST_F(TMsgStrTest, GetLineWithAndWithoutLanguage) {
    struct TCase {
        const char* language;
        const char* section;
        int n;
        std::string expected;
    };
    const TCase cases[] = {
        {"", "Errors", 1, "Error one"},
        {"", "Errors", 2, ""}, // ";" is an empty line, not a missing one
        {"", "errors", 3, "Only default %s"},
        {"", "Errors", 7, Missing("Default/MsgStr.hnt", "Errors.7")},
        {"", "HintStat", -3, "Hint three"},
        {"", "HintStat", -4, Missing("Default/MsgStr.hnt", "HintStat.-4")},
        {"German", "Errors", 1, "Fehler eins"},
        {"German", "Errors", 3, "Only default %s"}, // from the Default file
        {"German", "Errors", 4, ""},
        {"German", "Errors", 2, ""},
        {"German", "HintStat", -3, "Hint three"},
        // Missing everywhere: the text names the last file asked.
        {"German", "Errors", 7, Missing("Default/MsgStr.hnt", "Errors.7")},
    };
    for (const auto& c : cases) {
        LangDef->SetLanguage(*c.language ? c.language : "<None>");
        EXPECT_EQ(MsgStr->GetLine(c.section, c.n), c.expected)
            << c.language << " " << c.section << "." << c.n;
    }
    EXPECT_EQ(MsgStr->GetErrStr("Errors", -7), Missing("German/MsgStr.hnt", "Errors.-7"));
}

TEST_F(TMsgStrTest, FormattedLines) {
    EXPECT_EQ(MsgStr->GetLineFmt("Errors", 3, "x"), "Only default x");
    EXPECT_EQ(MsgStr->GetLineFmt("Errors", 5, "x"), ""); // ";" after formatting too
    EXPECT_EQ(MsgStr->GetErrorFmt_Strings(3, 42),
              "Only default %s"); // a bad argument shows the placeholder
    LangDef->SetLanguage("German");
    EXPECT_EQ(MsgStr->GetErrorFmt_Strings(6, 42), "Wert 42");
    EXPECT_EQ(MsgStr->GetErrorFmt_Strings(3, "y"), "Only default y");
}

TEST_F(TMsgStrTest, BothStoresFollowEveryLanguageChange) {
    EXPECT_EQ(MsgStr->FileName(), Path("Default/MsgStr.hnt"));
    EXPECT_EQ(MsgApp->FileName(), Path("Default/ravelox.hnt"));
    EXPECT_EQ(MsgApp->FallbackFileName(), "");
    LangDef->SetLanguage("German");
    EXPECT_EQ(MsgStr->FileName(), Path("German/MsgStr.hnt"));
    EXPECT_EQ(MsgApp->FileName(), Path("German/ravelox.hnt"));
    EXPECT_EQ(MsgApp->FallbackFileName(), Path("Default/ravelox.hnt"));
    EXPECT_EQ(MsgApp->GetLine("Strings", 1), "Locked");
    LangDef->SetLanguage("<None>");
    EXPECT_EQ(MsgStr->FileName(), Path("Default/MsgStr.hnt"));
    EXPECT_EQ(MsgApp->FileName(), Path("Default/ravelox.hnt"));
}

TEST_F(TMsgStrTest, OpenedFilesAreReported) {
    std::vector<std::string> opened;
    OpenFileTrace = [&opened](std::string_view cls, const std::string& file, bool exists) {
        opened.push_back(std::string(cls) + " " + file + (exists ? " OK" : " NOT EXISTS"));
    };
    LangDef->SetLanguage("German");
    OpenFileTrace = {};
    const std::vector<std::string> expected = {
        "TbMsgStr " + Path("German/MsgStr.hnt") + " OK",
        "TbMsgStr " + Path("Default/MsgStr.hnt") + " OK",
        "TbMsgStr " + Path("German/ravelox.hnt") + " OK",
        "TbMsgStr " + Path("Default/ravelox.hnt") + " OK",
    };
    EXPECT_EQ(opened, expected);
}

TEST_F(TMsgStrTest, SharedPathWhenTheFileIsMissing) {
    std::filesystem::remove(Path("Default/MsgStr.hnt"));
    MakeFile("shared/msgs.hnt", "[Errors]\nL1=Shared one\n");
    {
        QSettings machine(QSettings::NativeFormat, QSettings::SystemScope, "Brenvik", "Shared");
        machine.setValue("FileMsgs", "shared\\msgs.hnt");
    }
    MsgStr->Reopen();
    EXPECT_EQ(MsgStr->GetLine("Errors", 1), "Shared one");
    // The program's own store never asks the registry.
    std::filesystem::remove(Path("Default/ravelox.hnt"));
    MsgApp->Reopen();
    EXPECT_EQ(MsgApp->GetLine("Errors", 1), Missing("Default/ravelox.hnt", "Errors.1"));
}

TEST_F(TMsgStrTest, BoxAnswersAndErrors) {
    std::string text;
    std::string caption;
    unsigned flags = 0;
    int button = 0;
    TbMsgStr::ShowBox = [&](const std::string& t, const std::string& c, unsigned f) {
        text = t;
        caption = c;
        flags = f;
        return button;
    };
    const std::pair<int, tAskResult> answers[] = {
        {idOk, arYes},       {idYes, arYes},       {idCancel, arCancel},
        {idAbort, arCancel}, {idIgnore, arCancel}, {idRetry, arNo},
        {idNo, arNo},        {idClose, arNo},      {0, arNo},
    };
    for (const auto& [pressed, result] : answers) {
        button = pressed;
        EXPECT_EQ(MsgStr->MessageBox("Errors", 1, mbYesNoCancel | mbIconQuestion), result)
            << pressed;
    }
    EXPECT_EQ(text, "Error one");
    EXPECT_EQ(caption, "Confirm");
    EXPECT_EQ(flags, mbYesNoCancel | mbIconQuestion);
    button = idYes;
    EXPECT_EQ(MsgStr->MessageBoxFmt("Errors", 3, mbYesNo, "z"), arYes);
    EXPECT_EQ(text, "Only default z");

    try {
        MsgStr->DoRaise(1);
        ADD_FAILURE() << "DoRaise returned";
    } catch (const EbMsgStr& error) {
        EXPECT_STREQ(error.what(), "Error one");
    }
    EXPECT_THROW(MsgStr->DoRaiseFmt(3, "q"), EbMsgStr);

    // The settings store's report of an unknown property key.
    MakeFile("Default/MsgStr.hnt", "[Errors]\nL3=Property not found: %s\n");
    text.clear();
    TbIniReg::ReportMessage("Errors", 3, "TfmX.Foo");
    EXPECT_EQ(text, "Property not found: TfmX.Foo");
}

TEST_F(TMsgStrTest, FrameworkLinesAndEngineLookup) {
    EXPECT_EQ(MsgLine("Errors", 1), "Error one");
    LangDef->SetLanguage("German");
    EXPECT_EQ(MsgLine("Errors", 1), "Fehler eins");
    EXPECT_EQ(LookupMessageText("SocketErrors", "98", ""), "Adresse wird bereits verwendet");
    EXPECT_EQ(LookupMessageText("SocketErrors", "12345", "def"), "def");
    LangDef->SetLanguage("<None>");
    EXPECT_EQ(LookupMessageText("SocketErrors", "98", ""), "Address already in use");
    DoneMsgStrings();
    EXPECT_EQ(LookupMessageText("SocketErrors", "98", "none"), "none");
    EXPECT_EQ(MsgLine("Errors", 2), BuiltinMsgLine("Errors", 2));
}

// The engine's send thread looks texts up while the user switches languages:
// every answer is one of the two texts, never a torn or freed one.
TEST_F(TMsgStrTest, LanguageSwitchWhileAnotherThreadLooksUp) {
    std::atomic<bool> stop{false};
    std::atomic<int> lookups{0};
    std::atomic<int> wrong{0};
    std::thread reader([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!stop.load() && std::chrono::steady_clock::now() < deadline) {
            const auto text = LookupMessageText("SocketErrors", "98", "");
            const auto line = MsgStr->GetLine("Errors", 1);
            if ((text != "Address already in use" && text != "Adresse wird bereits verwendet") ||
                (line != "Error one" && line != "Fehler eins"))
                ++wrong;
            ++lookups;
        }
    });
    for (int i = 0; i < 60; ++i)
        LangDef->SetLanguage(i % 2 == 0 ? "German" : "<None>");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (lookups.load() < 100 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    stop = true;
    reader.join();
    EXPECT_GE(lookups.load(), 100);
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
