// SPDX-License-Identifier: GPL-3.0-or-later
// The language definition: the list of languages, the start-up choice,
// selecting, file names, listeners, and the decoding of language files.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tLangFixture.h"
#include "zLang.h"
#include "zParams.h"

namespace {

struct TFolder {
    const char* name;
    const char* lcid; // null: no LCID key
};

struct TStartCase {
    const char* name;
    std::vector<TFolder> folders;
    std::string stored;
    std::vector<std::string> arguments;
    std::uint32_t systemLcid;
    std::vector<std::string> listed; // without "<None>"
    std::string chosen;              // empty: "<None>"
    std::string storedAfter;
};

class TLangStartTest : public TLangTest, public ::testing::WithParamInterface<TStartCase> {};

TEST_P(TLangStartTest, ListAndStartUpChoice) {
    const auto& c = GetParam();
    for (const auto& folder : c.folders)
        MakeLanguage(folder.name, folder.lcid);
    MakeLanguage("Default", "1033");
    MakeFile(".hidden/ravelox.lng", "[.Define]\nLCID=1031\n");
    std::filesystem::create_directories(Path("NoFile"));
    TbParam::SetArguments(c.arguments);
    CfgPar.Language = c.stored;
    CfgPar.Read();
    if (c.arguments.empty())
        CfgPar.Language = c.stored;

    CreateLangDef();
    std::vector<std::string> listed;
    for (std::size_t i = 1; i < LangDef->Languages().size(); ++i)
        listed.push_back(LangDef->Languages()[i].Name);
    EXPECT_EQ(LangDef->Languages()[0].Name, "<None>");
    EXPECT_EQ(listed, c.listed);

    LangDef->SystemLcid = c.systemLcid;
    LangDef->InitLanguage();
    EXPECT_EQ(LangDef->GetLanguage(), c.chosen);
    EXPECT_EQ(CfgPar.Language, c.storedAfter);
    // A language chosen reached the settings file; without one nothing is
    // written (a vanished language, "<None>" and no choice at all stay).
    if (!c.chosen.empty() && c.storedAfter == c.chosen) {
        EXPECT_EQ(IniMain->ReadString("Params", "Language", "?"), c.chosen);
    }
}

const TStartCase kStartCases[] = {
    {"NoLanguages", {}, "", {}, 1031, {}, "", ""},
    {"LocaleWhenNothingStored",
     {{"German", "1031"}, {"French", "1036"}},
     "",
     {},
     1036,
     {"French", "German"},
     "French",
     "French"},
    {"StoredWinsOverLocale",
     {{"German", "1031"}, {"French", "1036"}},
     "French",
     {},
     1031,
     {"French", "German"},
     "French",
     "French"},
    // "None" chosen on a machine whose locale matches a shipped language:
    // the choice holds at the next start.
    {"StoredNoneWinsOverLocale",
     {{"German", "1031"}},
     "<None>",
     {},
     1031,
     {"German"},
     "",
     "<None>"},
    {"StoredInOtherCase", {{"German", "1031"}}, "GERMAN", {}, 0, {"German"}, "German", "German"},
    {"LangValueWins",
     {{"German", "1031"}, {"French", "1036"}},
     "French",
     {"-Lang=German"},
     1036,
     {"French", "German"},
     "German",
     "German"},
    {"BadLcidListedAsZero",
     {{"Broken", "12x"}, {"German", "1031"}},
     "",
     {},
     1031,
     {"Broken", "German"},
     "German",
     "German"},
    {"NoLocaleLcidNeverMatchesZero",
     {{"Broken", "abc"}, {"Bare", nullptr}},
     "",
     {},
     0,
     {"Bare", "Broken"},
     "",
     ""},
    {"StoredLanguageGoneKeepsChoice",
     {{"German", "1031"}},
     "Klingon",
     {},
     1031,
     {"German"},
     "",
     "Klingon"},
    {"LangValueCannotLeaveTheFolders",
     {{"German", "1031"}},
     "",
     {"/Lang:../German"},
     0,
     {"German"},
     "",
     "../German"},
};

INSTANTIATE_TEST_SUITE_P(Cases, TLangStartTest, ::testing::ValuesIn(kStartCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TLangTest, SelectingAndFileNames) {
    MakeLanguage("German", "1031");
    MakeFile("Default/MsgStr.hnt", "[Errors]\nL1=x\n");
    CreateLangDef();
    std::vector<std::string> heard;
    LangDef->AddNotify([&heard](const std::string& name) { heard.push_back(name); });

    EXPECT_EQ(LangDef->FileNameLang({}, ".lng", {}), Path("Default/ravelox.lng"));
    LangDef->SetLanguage("german");
    EXPECT_EQ(LangDef->GetLanguage(), "German");
    EXPECT_EQ(IniMain->ReadString("Params", "Language", "?"), "German");
    LangDef->SetLanguage("German"); // the current name: nothing happens
    EXPECT_EQ(heard, (std::vector<std::string>{"German"}));

    EXPECT_EQ(LangDef->FileNameLang({}, ".lng", {}), Path("German/ravelox.lng"));
    EXPECT_EQ(LangDef->FileNameLang({}, ".lng", lomForceDefault), Path("Default/ravelox.lng"));
    // The German folder has no MsgStr.hnt: with lomCanDefault the Default one.
    EXPECT_EQ(LangDef->FileNameLang("MsgStr", ".hnt", {}), Path("German/MsgStr.hnt"));
    EXPECT_EQ(LangDef->FileNameLang("MsgStr", ".hnt", lomCanDefault), Path("Default/MsgStr.hnt"));
    EXPECT_EQ(LangDef->FileNameLang("..\\Brenlib\\MsgStr.txt", ".hnt", {}),
              Path("German/MsgStr.hnt"));

    LangDef->SetLanguage("Martian");
    EXPECT_EQ(LangDef->ItemIndex(), 0);
    // No translation is a choice: stored as such, not as "never chosen".
    EXPECT_EQ(IniMain->ReadString("Params", "Language", "?"), "<None>");
    EXPECT_EQ(heard, (std::vector<std::string>{"German", ""}));
}

TEST_F(TLangTest, ListenersAreCalledFromACopy) {
    CreateLangDef();
    MakeLanguage("German", "1031");
    LangDef->UpdateLangList();
    std::vector<int> calls;
    int second = 0;
    // More listeners than the old fixed table held.
    for (int i = 0; i < 40; ++i)
        LangDef->AddNotify([&calls, i](const std::string&) { calls.push_back(i); });
    LangDef->AddNotify([&](const std::string&) {
        LangDef->RemoveNotify(second);
        LangDef->AddNotify([&calls](const std::string&) { calls.push_back(-1); });
    });
    second = LangDef->AddNotify([&calls](const std::string&) { calls.push_back(99); });

    LangDef->SetLanguage("German");
    ASSERT_EQ(calls.size(), 40u); // the removed one is not called, the added one not yet
    EXPECT_EQ(calls.back(), 39);
    calls.clear();
    LangDef->SetLanguage("<None>");
    EXPECT_EQ(calls.size(), 41u);
    EXPECT_EQ(calls.back(), -1);
}

TEST(LangCodePage, OfLcid) {
    const std::pair<std::uint32_t, int> cases[] = {
        {0, 1252},      {0x0407, 1252}, {0x0409, 1252}, {0x0415, 1250}, {0x0405, 1250},
        {0x081A, 1250}, {0x0419, 1251}, {0x0422, 1251}, {0x0C1A, 1251}, {0x0408, 1253},
        {0x041F, 1254}, {0x040D, 1255}, {0x0401, 1256}, {0x0429, 1256}, {0x0425, 1257},
        {0x0427, 1257}, {0x042A, 1258}, {0x041E, 874},
    };
    for (const auto& [lcid, page] : cases)
        EXPECT_EQ(CodePageOfLcid(lcid), page) << std::hex << lcid;
    EXPECT_EQ(LcidOfLocaleName("de_DE.UTF-8"), 0x0407u);
    EXPECT_EQ(LcidOfLocaleName("de_AT"), 0x0C07u);
    EXPECT_EQ(LcidOfLocaleName("C"), 0u);
}

TEST(LangCodePage, Utf8Validity) {
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("Gr\xC3\xB6\xC3\x9F"
                            "e"));
    EXPECT_FALSE(IsValidUtf8("Gr\xF6\xDF"
                             "e"));            // CP1252
    EXPECT_FALSE(IsValidUtf8("\xC3"));         // cut short
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));     // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80")); // surrogate
    EXPECT_EQ(ValidUtf8("Gr\xC3\xB6\xC3\x9F"
                        "e"),
              "Größe");
    EXPECT_EQ(ValidUtf8("a\xC3"), "a\uFFFD");
    EXPECT_EQ(ValidUtf8("\xC0\xAF!"), "\uFFFD\uFFFD!");
    EXPECT_TRUE(IsValidUtf8(ValidUtf8("\xED\xA0\x80\xF4\x90\x80\x80")));
}

// "Файл" and "Выход" in CP1251.
const std::string kCp1251File =
    "[.Define]\r\nLCID=1049\r\n[TfmMain]\r\nmmFile.Caption=\xD4\xE0\xE9\xEB\r\n"
    "miExit.Caption=\xC2\xFB\xF5\xEE\xE4\r\n";

TEST_F(TLangTest, AnsiFileIsDecodedAndConvertedOnce) {
    MakeFile("Russian/ravelox.lng", kCp1251File);
    TbLangFile file(Path("Russian/ravelox.lng"), 1049);
    EXPECT_FALSE(file.IsUtf8());
    EXPECT_EQ(file.ReadString("TfmMain", "mmFile.Caption", ""), "Файл");
    const auto values = file.ReadValues("TfmMain");
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[1].second, "Выход");
    EXPECT_FALSE(Exists(Path("Russian/ravelox.lng.bak")));

    file.WriteString("TfmMain", "miExit.Hint", "Закрыть");
    EXPECT_TRUE(file.IsUtf8());
    EXPECT_EQ(ReadFile(Path("Russian/ravelox.lng.bak")), kCp1251File);
    const std::string converted = ReadFile(Path("Russian/ravelox.lng"));
    EXPECT_TRUE(IsValidUtf8(converted));
    EXPECT_NE(converted.find("mmFile.Caption=Файл\r\n"), std::string::npos);
    EXPECT_NE(converted.find("miExit.Hint=Закрыть"), std::string::npos);

    // A later ANSI copy is converted again, but the first backup stays.
    WriteFile(Path("Russian/ravelox.lng"), kCp1251File + "miAbout.Caption=\xCE\r\n");
    TbLangFile again(Path("Russian/ravelox.lng"), 1049);
    again.WriteString("TfmMain", "x", "y");
    EXPECT_EQ(ReadFile(Path("Russian/ravelox.lng.bak")), kCp1251File);
    EXPECT_EQ(again.ReadString("TfmMain", "miAbout.Caption", ""), "О");
}

TEST_F(TLangTest, Utf8FilesAndTheSettingsFileStayAsTheyAre) {
    const std::string bom = "\xEF\xBB\xBF[TfmMain]\nmmFile.Caption=Datei\n";
    MakeFile("German/ravelox.lng", bom);
    TbLangFile file(Path("German/ravelox.lng"), 1031);
    EXPECT_TRUE(file.IsUtf8());
    file.WriteString("TfmMain", "miExit.Caption", "Beenden");
    EXPECT_FALSE(Exists(Path("German/ravelox.lng.bak")));
    EXPECT_TRUE(ReadFile(Path("German/ravelox.lng")).starts_with("\xEF\xBB\xBF"));

    // A file marked UTF-8 that still holds other bytes (found by fuzz_lang):
    // every read is well-formed UTF-8, each stray byte one U+FFFD.
    MakeFile("German/bad.lng", "\xEF\xBB\xBF[a]\nk=De\x8B\x82sch\nk\xFF=x\n[b]\nL0=line\xE2\x82\n");
    const TbLangFile bad(Path("German/bad.lng"), 1031);
    EXPECT_TRUE(bad.IsUtf8());
    EXPECT_EQ(bad.ReadString("a", "k", ""), "De\uFFFD\uFFFDsch");
    const auto badValues = bad.ReadValues("a");
    ASSERT_EQ(badValues.size(), 2u);
    EXPECT_EQ(badValues[1].first, "k\uFFFD");
    const auto badLines = bad.ReadLines("b");
    ASSERT_EQ(badLines.size(), 1u);
    EXPECT_EQ(badLines[0], "line\uFFFD\uFFFD");

    // CP1252 text in a German file reads as UTF-8.
    MakeFile("German/x.lng", "[a]\nk=Gr\xF6\xDF"
                             "e\n");
    EXPECT_EQ(TbLangFile(Path("German/x.lng"), 1031).ReadString("a", "k", ""), "Größe");

    // The settings file keeps its bytes.
    WriteFile(IniPath(), "[Params]\nLanguage=Fran\xE7"
                         "ais\n");
    IniMain->WriteString("Config", "Port", "2222");
    EXPECT_NE(ReadFile(IniPath()).find("Fran\xE7"
                                       "ais"),
              std::string::npos);
    EXPECT_FALSE(Exists(IniPath() + ".bak"));
}

TEST_F(TLangTest, RefusedConversionRaisesAndKeepsTheFile) {
    MakeFile("Russian/ravelox.lng", kCp1251File);
    TbLangFile file(Path("Russian/ravelox.lng"), 1049);
    // A folder where the replacement would be written: refused even for root.
    std::filesystem::create_directories(Path("Russian/ravelox.lng.tmp~"));
    EXPECT_THROW(file.WriteString("TfmMain", "x", "y"), EIniFileException);
    EXPECT_EQ(ReadFile(Path("Russian/ravelox.lng")), kCp1251File);
    EXPECT_FALSE(file.IsUtf8());
    EXPECT_EQ(file.ReadString("TfmMain", "mmFile.Caption", ""), "Файл");
}

} // namespace
