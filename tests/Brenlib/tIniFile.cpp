// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file itself: private-profile semantics that hand edits rely
// on, refused writes, and the line sections of TIniFileB.
#include <filesystem>

#include <sys/resource.h>
#include <sys/stat.h>
#include <csignal>

#include "bIniFile.h"
#include "tStoreFixture.h"
#include "zUtils.h"

namespace {

namespace fs = std::filesystem;

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

// Files in the folder other than the settings file: leftovers of a write.
int StrayFiles(const std::string& folder, const std::string& keep) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().filename() != keep)
            ++count;
    return count;
}

class TIniFileTest : public TStoreTest {
protected:
    void SetUp() override {
        TStoreTest::SetUp();
        m_handwritten = ReadFile(RV_SETTINGS_DATA "/handwritten.ini");
        ASSERT_FALSE(m_handwritten.empty());
    }
    std::string m_handwritten;
};

TEST_F(TIniFileTest, ReadsHandWrittenFileWithoutRegardToCaseFirstMatchWins) {
    WriteFile(IniPath(), m_handwritten);
    EXPECT_EQ(IniMain->ReadString("config", "TIMERPERIOD", "?"), "20");
    // Two "Port" lines: the first one counts.
    EXPECT_EQ(IniMain->ReadString("Config", "Port", "?"), "3000");
    // Only the first of two sections of one name is seen.
    EXPECT_EQ(IniMain->ReadString("Config", "InfoTime", "?"), "?");
    EXPECT_EQ(IniMain->ReadString("CURRENT", "RemoteSpeed", "?"), "250");
    EXPECT_EQ(IniMain->ReadString("Operator Notes", "owner", "?"), "lab 3");
    EXPECT_EQ(IniMain->ReadSection("config"), (std::vector<std::string>{"timerperiod", "Port"}));
    EXPECT_EQ(IniMain->ReadSections(),
              (std::vector<std::string>{"CONFIG", "Operator Notes", "current"}));
}

TEST_F(TIniFileTest, WriteChangesOnlyItsOwnLines) {
    WriteFile(IniPath(), m_handwritten);
    IniMain->WriteString("config", "PORT", "4444");
    auto expected = Replaced(m_handwritten, "Port=3000", "Port=4444");
    EXPECT_EQ(ReadFile(IniPath()), expected);

    // The key keeps its spelling and the blanks after "=".
    IniMain->WriteString("Config", "TimerPeriod", "5");
    expected = Replaced(expected, "  timerperiod = 20   ", "  timerperiod = 5");
    EXPECT_EQ(ReadFile(IniPath()), expected);

    // A new key goes after the section's last key, before the blank line.
    IniMain->WriteString("Current", "MaxSpeed", "7");
    expected = Replaced(expected, "remotespeed=250\n", "remotespeed=250\nMaxSpeed=7\n");
    EXPECT_EQ(ReadFile(IniPath()), expected);

    // A new section is appended.
    IniMain->WriteString("Main", "StatusBar", "1");
    expected += "[Main]\nStatusBar=1\n";
    EXPECT_EQ(ReadFile(IniPath()), expected);

    // Writing the value already there leaves the file alone.
    const auto before = fs::last_write_time(IniPath());
    IniMain->WriteString("MAIN", "statusbar", "1");
    EXPECT_EQ(fs::last_write_time(IniPath()), before);
}

TEST_F(TIniFileTest, KeepsLineEndsAndMarkOfTheFile) {
    WriteFile(IniPath(), "\xEF\xBB\xBF[A]\r\nx=1\r\n; note\r\n[B]\r\ny=2");
    IniMain->WriteString("A", "z", "3");
    IniMain->WriteString("B", "w", "4");
    EXPECT_EQ(ReadFile(IniPath()),
              "\xEF\xBB\xBF[A]\r\nx=1\r\nz=3\r\n; note\r\n[B]\r\ny=2\r\nw=4\r\n");
    EXPECT_EQ(IniMain->ReadString("a", "X", "?"), "1");
}

TEST_F(TIniFileTest, MissingFileLeavesDefaultsAndCreatesNothing) {
    EXPECT_EQ(IniMain->ReadString("Config", "Port", "dflt"), "dflt");
    EXPECT_EQ(IniMain->ReadInteger("Config", "Port", 12), 12);
    EXPECT_TRUE(IniMain->ReadSection("Config").empty());
    EXPECT_FALSE(IniMain->SectionExists("Config"));
    IniMain->DeleteKey("Config", "Port");
    IniMain->EraseSection("Config");
    IniMain->WriteSectionLines("Hosts", {});
    EXPECT_FALSE(Exists(IniPath()));
    EXPECT_EQ(StrayFiles(m_root, ""), 0);
}

TEST_F(TIniFileTest, ReadsAtMost2047Bytes) {
    IniMain->WriteString("S", "Long", std::string(3000, 'x'));
    EXPECT_EQ(IniMain->ReadString("S", "Long", ""), std::string(2047, 'x'));
    // Never half of a two-byte character.
    IniMain->WriteString("S", "Wide", std::string(2046, 'a') + "\xC3\xA9" + "b");
    EXPECT_EQ(IniMain->ReadString("S", "Wide", ""), std::string(2046, 'a'));
}

TEST_F(TIniFileTest, LineBreaksInAValueCannotAddKeys) {
    IniMain->WriteString("S", "Text", "one\nInjected=1\r\ntwo");
    EXPECT_EQ(IniMain->ReadString("S", "Text", ""), "one Injected=1  two");
    EXPECT_EQ(IniMain->ReadSection("S"), std::vector<std::string>{"Text"});
}

TEST_F(TIniFileTest, ValuesReadBackAsWritten) {
    const char* values[] = {"",         " lead", "trail ",    "\"quoted\"",
                            "'single'", "\"",    "a \"b\" c", "=;#[x]"};
    for (const char* value : values) {
        IniMain->WriteString("S", "V", value);
        EXPECT_EQ(IniMain->ReadString("S", "V", "?"), value) << value;
    }
    // Hand-written quotes around a value are not part of it.
    WriteFile(IniPath(), "[S]\nA=\"  spaced  \"\nB='x'\nC=\"half\n");
    EXPECT_EQ(IniMain->ReadString("S", "A", ""), "  spaced  ");
    EXPECT_EQ(IniMain->ReadString("S", "B", ""), "x");
    EXPECT_EQ(IniMain->ReadString("S", "C", ""), "\"half");
}

TEST_F(TIniFileTest, RefusesNamesTheFormatCannotHold) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "Key"},  {"Sec]tion", "Key"}, {"Sec\ntion", "Key"}, {"S", ""},
        {"S", "a=b"}, {"S", "a\nb"},       {"S", "[x"},          {"S", ";x"},
    };
    for (const auto& [section, key] : cases)
        EXPECT_THROW(IniMain->WriteString(section, key, "v"), EIniFileException)
            << section << " / " << key;
    EXPECT_FALSE(Exists(IniPath()));
}

TEST_F(TIniFileTest, RefusedWriteRaisesAndKeepsTheFile) {
    const std::string original = "[Config]\nPort=3000\n";
    WriteFile(IniPath(), original);
    ::chmod(IniPath().c_str(), 0444);
    try {
        IniMain->WriteString("Config", "Port", "1");
        FAIL() << "a read-only file was written";
    } catch (const EIniFileException& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + IniPath());
    }
    EXPECT_EQ(ReadFile(IniPath()), original);
    EXPECT_EQ(StrayFiles(m_root, "ravelox.INI"), 0);

    // A folder that is not a folder.
    WriteFile(Path("plain"), "");
    TIniFileB inside(Path("plain/settings.ini"));
    EXPECT_THROW(inside.WriteString("A", "b", "c"), EIniFileException);
}

TEST_F(TIniFileTest, FullDiskKeepsTheOldContents) {
    const std::string original = "[Config]\nPort=3000\n" + std::string(200, ';') + "\n";
    WriteFile(IniPath(), original);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100; // every new file ends at 100 bytes, like a full disk
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(IniMain->WriteString("Config", "Port", "4000"), EIniFileException);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ReadFile(IniPath()), original);
    EXPECT_EQ(StrayFiles(m_root, "ravelox.INI"), 0);
}

TEST_F(TIniFileTest, WritesThroughASymbolicLink) {
    WriteFile(Path("real.ini"), "[A]\nx=1\n");
    fs::create_symlink(Path("real.ini"), Path("link.ini"));
    TIniFileB link(Path("link.ini"));
    link.WriteString("A", "x", "2");
    EXPECT_TRUE(fs::is_symlink(Path("link.ini")));
    EXPECT_EQ(ReadFile(Path("real.ini")), "[A]\nx=2\n");
}

TEST_F(TIniFileTest, CompletesFileNames) {
    EXPECT_EQ(TIniFileB::CompleteFileName("settings"), m_root + "/settings.ini");
    EXPECT_EQ(TIniFileB::CompleteFileName("sub/x.cfg"), m_root + "/sub/x.cfg");
    EXPECT_EQ(TIniFileB::CompleteFileName("/etc/x.y/settings"), "/etc/x.y/settings.ini");
    EXPECT_EQ(TbIniReg::FileNameExeIni(), m_root + "/ravelox.INI");
    EXPECT_EQ(IniMain->FileName(), IniPath());
    EXPECT_EQ(IniDebug->FileName(), m_root + "/ravelox.dbg");
}

TEST_F(TIniFileTest, SectionLinesReplaceTheSectionInPlace) {
    WriteFile(IniPath(), "[Hosts]\n; recent peers\nL0=old0\nL1=old1\nL2=old2\n[Other]\nk=v\n");
    IniMain->WriteSectionLines("hosts", {"alpha", "beta"});
    EXPECT_EQ(ReadFile(IniPath()), "[Hosts]\n; recent peers\nL0=alpha\nL1=beta\n[Other]\nk=v\n");
    EXPECT_EQ(IniMain->ReadSectionLines("Hosts"), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_EQ(IniMain->GetSectionLine("Hosts", 1), "beta");
    EXPECT_EQ(IniMain->GetSectionLine("Hosts", 2), "");
    IniMain->SetSectionLine("Hosts", "gamma", 2);
    EXPECT_EQ(IniMain->ReadSectionLines("Hosts"),
              (std::vector<std::string>{"alpha", "beta", "gamma"}));
}

TEST_F(TIniFileTest, AddLineUniqueAndSorted) {
    IniMain->WriteSectionLines("Hosts", {"delta", "Alpha"});
    EXPECT_FALSE(IniMain->AddLine("Hosts", "ALPHA", issUniqu));
    EXPECT_EQ(IniMain->ReadSectionLines("Hosts"), (std::vector<std::string>{"delta", "Alpha"}));
    EXPECT_TRUE(IniMain->AddLine("Hosts", "alpha", {}));
    EXPECT_TRUE(IniMain->AddLine("Hosts", "charlie", issUniqu | issSort));
    EXPECT_EQ(IniMain->ReadSectionLines("Hosts"),
              (std::vector<std::string>{"Alpha", "alpha", "charlie", "delta"}));
    IniMain->WriteSectionLines("Hosts", {"b", "C", "a"});
    IniMain->SortSectionLine("Hosts");
    EXPECT_EQ(IniMain->ReadSectionLines("Hosts"), (std::vector<std::string>{"a", "b", "C"}));
    EXPECT_EQ(IniMain->ReadSection("Hosts"), (std::vector<std::string>{"L0", "L1", "L2"}));
}

TEST_F(TIniFileTest, SectionObjectsAndValues) {
    const TSectionObjects list{{"First", 3}, {"Second", -7}};
    IniMain->WriteSectionObject("Objects", list);
    EXPECT_EQ(IniMain->ReadSectionObject("objects"), list);
    IniMain->WriteString("Objects", "Bad", "x");
    EXPECT_EQ(IniMain->ReadSectionObject("Objects").back(), (TSectionObject{"Bad", 0}));

    IniMain->WriteSectionValues("Values", {"a=1", "no equals sign", "b=x=y"});
    EXPECT_EQ(IniMain->ReadSectionValues("Values"), (TIniValues{{"a", "1"}, {"b", "x=y"}}));
}

TEST_F(TIniFileTest, IntegerArrays) {
    const std::int32_t written[4] = {1, -2, 3, 2147483647};
    IniMain->WriteIntegerArray("S", "List", written, 4);
    EXPECT_EQ(IniMain->ReadString("S", "List", ""), "1,-2,3,2147483647");
    IniMain->WriteString("S", "Short", "9, 8");
    std::int32_t values[4] = {0, 0, 0, 5};
    EXPECT_EQ(IniMain->ReadIntegerArray("S", "Short", values, 4), 2);
    EXPECT_EQ(values[0], 9);
    EXPECT_EQ(values[1], 8);
    EXPECT_EQ(values[3], 5);
    EXPECT_EQ(IniMain->ReadIntegerArray("S", "Missing", values, 4), 0);
}

} // namespace
