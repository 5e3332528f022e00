// SPDX-License-Identifier: GPL-3.0-or-later
// Settings tables, the registry mirror and the framework's own records.
#include <array>
#include <cstring>

#include "tStoreFixture.h"
#include "xVersion.h"
#include "zUtils.h"

namespace {

// One variable of every kind, with guard bytes behind each buffer so that a
// write past its end shows.
struct TAllKinds {
    std::int32_t Integer = 0;
    std::uint8_t Byte = 0;
    char Chars[8] = {};
    std::uint8_t CharsGuard[8] = {};
    std::uint8_t Hex[5] = {};
    std::uint8_t HexGuard[8] = {};
    std::int32_t Array[4] = {}; // count + 3 values
    std::int32_t ArrayGuard[2] = {};
    std::string String;
    std::int32_t List[3] = {};
    std::int32_t ListGuard[2] = {};
    double Float = 0;
    std::uint8_t Flag = 0;

    void FillGuards() {
        std::memset(CharsGuard, 0xEE, sizeof CharsGuard);
        std::memset(HexGuard, 0xEE, sizeof HexGuard);
        ArrayGuard[0] = ArrayGuard[1] = 0x5EEEEEEE;
        ListGuard[0] = ListGuard[1] = 0x5EEEEEEE;
    }
    bool GuardsIntact() const {
        TAllKinds clean;
        clean.FillGuards();
        return std::memcmp(CharsGuard, clean.CharsGuard, sizeof CharsGuard) == 0 &&
               std::memcmp(HexGuard, clean.HexGuard, sizeof HexGuard) == 0 &&
               std::memcmp(ArrayGuard, clean.ArrayGuard, sizeof ArrayGuard) == 0 &&
               std::memcmp(ListGuard, clean.ListGuard, sizeof ListGuard) == 0;
    }
};

struct TKindTable {
    explicit TKindTable(TAllKinds& v, std::uint8_t tableMode = rU)
        : Records{{
              {ikNone, tableMode, "Kinds", nullptr, 0},
              {ikInteger, r_, "Integer", &v.Integer, 0},
              {ikByte, r_, "Byte", &v.Byte, 0},
              {ikChars, r_, "Chars", v.Chars, sizeof v.Chars},
              {ikHexBytes, r_, "Hex", v.Hex, sizeof v.Hex},
              {ikIntArray, r_, "Array", v.Array, 3},
              {ikString, r_, "String", &v.String, 0},
              {ikIntList, r_, "List", v.List, 3},
              {ikFloat, r_, "Float", &v.Float, 3},
              {ikFlag, r_, "Flag", &v.Flag, 0},
              {},
          }} {}
    std::array<RIni, 11> Records;
    const RIni* data() const { return Records.data(); }
    int size() const { return static_cast<int>(Records.size()); }
};

TAllKinds SampleValues() {
    TAllKinds v;
    v.FillGuards();
    v.Integer = -2147483647 - 1;
    v.Byte = 200;
    std::strcpy(v.Chars, "abc de");
    v.Hex[0] = 2;
    v.Hex[1] = 0x1A;
    v.Hex[2] = 0x2B;
    v.Array[0] = 3;
    v.Array[1] = 4;
    v.Array[2] = -5;
    v.Array[3] = -2147483647 - 1; // 11 characters as the last piece
    v.String = "text, with; all = sorts";
    v.List[0] = 16711680;
    v.List[1] = 32768;
    v.List[2] = 255;
    v.Float = -3.14159;
    v.Flag = 1;
    return v;
}

void ExpectSame(const TAllKinds& a, const TAllKinds& b) {
    EXPECT_EQ(a.Integer, b.Integer);
    EXPECT_EQ(a.Byte, b.Byte);
    EXPECT_STREQ(a.Chars, b.Chars);
    EXPECT_EQ(0, std::memcmp(a.Hex, b.Hex, 3));
    EXPECT_EQ(0, std::memcmp(a.Array, b.Array, sizeof a.Array));
    EXPECT_EQ(a.String, b.String);
    EXPECT_EQ(0, std::memcmp(a.List, b.List, sizeof a.List));
    EXPECT_DOUBLE_EQ(b.Float, -3.142); // written with 3 decimals
    EXPECT_EQ(a.Flag, b.Flag);
    EXPECT_TRUE(b.GuardsIntact());
}

const std::pair<const char*, const char*> kSampleTexts[] = {
    {"Integer", "-2147483648"},
    {"Byte", "200"},
    {"Chars", "abc de"},
    {"Hex", "1A,2B"},
    {"Array", "4,-5,-2147483648"},
    {"String", "text, with; all = sorts"},
    {"List", "16711680,32768,255"},
    {"Float", "-3.142"},
    {"Flag", "1"},
};

using TTableTest = TStoreTest;

TEST_F(TTableTest, EveryKindRoundTripsThroughFileAndRegistry) {
    auto written = SampleValues();
    TKindTable out(written);
    IniMain->WriteRIni(out.data(), out.size());
    for (const auto& [key, text] : kSampleTexts) {
        EXPECT_EQ(IniMain->ReadString("Kinds", key, "<absent>"), text) << key;
        EXPECT_EQ(UserValue(QString("Kinds/") + key).toStdString(), text) << key;
    }

    TAllKinds fromBoth;
    fromBoth.FillGuards();
    TKindTable both(fromBoth);
    IniMain->ReadRIni(both.data(), both.size());
    ExpectSame(written, fromBoth);

    // The file alone (a table without registry mode) ...
    TAllKinds fromFile;
    fromFile.FillGuards();
    TKindTable fileOnly(fromFile, r_);
    IniMain->ReadRIni(fileOnly.data(), fileOnly.size());
    ExpectSame(written, fromFile);

    // ... and the registry alone.
    std::remove(IniPath().c_str());
    TAllKinds fromRegistry;
    fromRegistry.FillGuards();
    TKindTable registryOnly(fromRegistry);
    IniMain->ReadRIni(registryOnly.data(), registryOnly.size());
    ExpectSame(written, fromRegistry);
}

TEST_F(TTableTest, RegistryValueWinsAlsoWhenEmpty) {
    WriteFile(IniPath(), "[Sec]\nNumber=1\nName=from file\nFlag=1\n");
    RegCurrentUser->WriteString("Sec", "Number", "2");
    RegCurrentUser->WriteString("Sec", "Name", "");
    std::int32_t number = 0;
    std::string name = "default";
    std::uint8_t flag = 0;
    const RIni table[] = {
        {ikNone, r_, "Sec", nullptr, 0},
        {ikInteger, rU, "Number", &number, 0},
        {ikString, rU, "Name", &name, 0},
        {ikFlag, rU, "Flag", &flag, 0},
        {},
    };
    IniMain->ReadRIni(table);
    EXPECT_EQ(number, 2);
    EXPECT_EQ(name, "");
    EXPECT_EQ(flag, 1); // no registry value: the file's
}

TEST_F(TTableTest, MachineBranchOnlyWhenNoPerUserMode) {
    std::int32_t machine = 0;
    std::int32_t both = 0;
    const RIni table[] = {
        {ikNone, rU, "Sec", nullptr, 0},
        {ikInteger, rL, "Both", &both, 0},
        {},
    };
    const RIni machineTable[] = {
        {ikNone, r_, "Sec", nullptr, 0},
        {ikInteger, rL, "Machine", &machine, 0},
        {},
    };
    both = 5;
    machine = 6;
    IniMain->WriteRIni(table);
    IniMain->WriteRIni(machineTable);
    EXPECT_EQ(UserValue("Sec/Both"), "5");
    EXPECT_EQ(MachineValue("Sec/Both"), "<absent>");
    EXPECT_EQ(MachineValue("Sec/Machine"), "6");
    EXPECT_EQ(UserValue("Sec/Machine"), "<absent>");

    RegLocalMachine->WriteString("Sec", "Machine", "60");
    machine = 0;
    IniMain->ReadRIni(machineTable);
    EXPECT_EQ(machine, 60);
}

TEST_F(TTableTest, QuestionMarkReadsAsAbsent) {
    WriteFile(IniPath(), "[Sec]\nA=?\nB=7\n");
    RegCurrentUser->WriteString("Sec", "B", "?");
    std::int32_t a = 11;
    std::int32_t b = 12;
    const RIni table[] = {
        {ikNone, rU, "Sec", nullptr, 0},
        {ikInteger, r_, "A", &a, 0},
        {ikInteger, r_, "B", &b, 0},
        {},
    };
    IniMain->ReadRIni(table);
    EXPECT_EQ(a, 11);
    EXPECT_EQ(b, 12);
}

TEST_F(TTableTest, ConversionErrorReachesTheCallerAfterEarlierEntries) {
    WriteFile(IniPath(), "[Sec]\nA=1\nB=12abc\nC=3\n");
    std::int32_t a = 0;
    std::int32_t b = 0;
    std::int32_t c = 0;
    const RIni table[] = {
        {ikNone, r_, "Sec", nullptr, 0},
        {ikInteger, r_, "A", &a, 0},
        {ikInteger, r_, "B", &b, 0},
        {ikInteger, r_, "C", &c, 0},
        {},
    };
    try {
        IniMain->ReadRIni(table);
        FAIL() << "no conversion error";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "[Sec] B: '12abc' is not a valid integer value");
    }
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(c, 0);
}

TEST_F(TTableTest, NumberKindsRejectWhatIsNotANumber) {
    struct TCase {
        std::uint8_t kind;
        std::vector<const char*> texts;
    };
    const TCase cases[] = {
        {ikInteger, {"", " ", "x", "1.5", "2147483648", "-2147483649", "0x10", "1,2", "12abc"}},
        {ikByte, {"", "x", "1.5", "0x10"}},
        {ikFlag, {"", "yes"}},
        {ikFloat, {"", "x", "0x10", "1,5", "1.5.1"}},
    };
    for (const auto& c : cases) {
        for (const char* text : c.texts) {
            IniMain->WriteString("Sec", "V", text);
            double storage = 4; // large enough for every kind here
            std::uint8_t before[sizeof storage];
            std::memcpy(before, &storage, sizeof storage);
            EXPECT_THROW(IniMain->ReadRIniOne({c.kind, r_, "V", &storage, 2}, "Sec", r_),
                         EConvertError)
                << int(c.kind) << " '" << text << "'";
            EXPECT_EQ(0, std::memcmp(before, &storage, sizeof storage));
        }
    }
    // Blanks around a number are fine; a byte keeps the low 8 bits.
    IniMain->WriteString("Sec", "V", " 258 ");
    std::uint8_t byte = 0;
    IniMain->ReadRIniOne({ikByte, r_, "V", &byte, 0}, "Sec", r_);
    EXPECT_EQ(byte, 2);
}

TEST_F(TTableTest, IntListTakesValuesFromTheFront) {
    struct TCase {
        const char* text;
        std::array<std::int32_t, 3> expected;
    };
    const TCase cases[] = {
        {"7,8", {7, 8, 3}},
        {"", {1, 2, 3}},
        {"7,8,9,10", {7, 8, 9}},
        {" 7 , -8 ", {7, -8, 3}},
        {"-2147483648", {-2147483647 - 1, 2, 3}},
    };
    for (const auto& c : cases) {
        IniMain->WriteString("Sec", "List", c.text);
        std::int32_t list[3] = {1, 2, 3};
        IniMain->ReadRIniOne({ikIntList, r_, "List", list, 3}, "Sec", r_);
        EXPECT_EQ((std::array<std::int32_t, 3>{list[0], list[1], list[2]}), c.expected) << c.text;
    }
    // A bad piece stores nothing of the list.
    IniMain->WriteString("Sec", "List", "7,x");
    std::int32_t list[3] = {1, 2, 3};
    EXPECT_THROW(IniMain->ReadRIniOne({ikIntList, r_, "List", list, 3}, "Sec", r_), EConvertError);
    EXPECT_EQ(list[0], 1);
}

TEST_F(TTableTest, IntArrayCountsWhatItReads) {
    std::int32_t array[4] = {9, 9, 9, 9};
    const RIni entry{ikIntArray, r_, "Array", array, 3};
    IniMain->WriteString("Sec", "Array", "4,5,6");
    IniMain->ReadRIniOne(entry, "Sec", r_);
    EXPECT_EQ((std::array<std::int32_t, 4>{array[0], array[1], array[2], array[3]}),
              (std::array<std::int32_t, 4>{3, 4, 5, 6}));

    // More values than the entry holds: only the first Size are taken.
    IniMain->WriteString("Sec", "Array", "1,2,3,4,5,6");
    IniMain->ReadRIniOne(entry, "Sec", r_);
    EXPECT_EQ(array[0], 3);
    EXPECT_EQ(array[3], 3);

    // Count 0 writes the empty text, and the empty text reads back as count 0.
    array[0] = 0;
    IniMain->WriteRIniOne(entry, "Sec", r_);
    EXPECT_EQ(IniMain->ReadString("Sec", "Array", "?"), "");
    array[0] = 2;
    IniMain->ReadRIniOne(entry, "Sec", r_);
    EXPECT_EQ(array[0], 0);

    // A count beyond the entry's size never reads past the array.
    array[0] = 1000;
    IniMain->WriteRIniOne(entry, "Sec", r_);
    EXPECT_EQ(IniMain->ReadString("Sec", "Array", "?"), "1,2,3");
}

TEST_F(TTableTest, HexBytesStayInsideTheirBuffer) {
    TAllKinds v;
    v.FillGuards();
    const RIni entry{ikHexBytes, r_, "Hex", v.Hex, sizeof v.Hex};

    struct TCase {
        const char* text;
        std::vector<std::uint8_t> expected; // count, then the bytes
    };
    const TCase cases[] = {
        {"1A,2B", {2, 0x1A, 0x2B}},
        {"1a,2b", {2, 0x1A, 0x2B}},
        {"", {0}},
        {"FF", {1, 0xFF}},
        {"1A2B", {1, 0x2B}},                       // four digits: one value, low 8 bits
        {"01,02,03,04,05,06,07", {4, 1, 2, 3, 4}}, // only 4 bytes fit behind the count
    };
    for (const auto& c : cases) {
        IniMain->WriteString("Sec", "Hex", c.text);
        IniMain->ReadRIniOne(entry, "Sec", r_);
        EXPECT_EQ(std::vector<std::uint8_t>(v.Hex, v.Hex + c.expected.size()), c.expected)
            << c.text;
        EXPECT_TRUE(v.GuardsIntact()) << c.text;
    }

    // 150 bytes in the file, 101 work bytes, 5 in the variable.
    std::string longText;
    for (int i = 0; i < 150; ++i)
        longText += (i ? ",AB" : "AB");
    IniMain->WriteString("Sec", "Hex", longText);
    IniMain->ReadRIniOne(entry, "Sec", r_);
    EXPECT_EQ(v.Hex[0], 4);
    EXPECT_TRUE(v.GuardsIntact());

    // A count byte that claims more than the buffer holds is not believed.
    v.Hex[0] = 200;
    IniMain->WriteRIniOne(entry, "Sec", r_);
    EXPECT_EQ(IniMain->ReadString("Sec", "Hex", ""), "AB,AB,AB,AB");

    v.Hex[0] = 0;
    IniMain->WriteRIniOne(entry, "Sec", r_);
    IniMain->ReadRIniOne(entry, "Sec", r_);
    EXPECT_EQ(v.Hex[0], 0);
}

TEST_F(TTableTest, CharsAreCutToTheirBuffer) {
    TAllKinds v;
    v.FillGuards();
    const RIni entry{ikChars, r_, "Chars", v.Chars, sizeof v.Chars};
    IniMain->WriteString("Sec", "Chars", "0123456789");
    IniMain->ReadRIniOne(entry, "Sec", r_);
    EXPECT_STREQ(v.Chars, "0123456");
    EXPECT_TRUE(v.GuardsIntact());

    // A buffer without a terminator is written up to its end only.
    std::memset(v.Chars, 'z', sizeof v.Chars);
    IniMain->WriteRIniOne(entry, "Sec", r_);
    EXPECT_EQ(IniMain->ReadString("Sec", "Chars", ""), "zzzzzzzz");
}

TEST_F(TTableTest, FloatsIgnoreTheProcessLocale) {
    double value = 1234.5678;
    const RIni entry{ikFloat, r_, "F", &value, 2};
    IniMain->WriteRIniOne(entry, "Sec", r_);
    EXPECT_EQ(IniMain->ReadString("Sec", "F", ""), "1234.57");
    IniMain->WriteString("Sec", "F", "1,5");
    EXPECT_THROW(IniMain->ReadRIniOne(entry, "Sec", r_), EConvertError);
}

TEST_F(TTableTest, UnknownKindWritesQuestionMarkAndReadsNothing) {
    std::int32_t value = 5;
    const RIni entry{12, rU, "Odd", &value, 0};
    IniMain->WriteRIniOne(entry, "Sec", r_);
    EXPECT_EQ(IniMain->ReadString("Sec", "Odd", ""), "?");
    EXPECT_EQ(UserValue("Sec/Odd"), "?");
    IniMain->WriteString("Sec", "Odd", "77");
    IniMain->ReadRIniOne(entry, "Sec", r_);
    EXPECT_EQ(value, 5);
}

TEST_F(TTableTest, WalkStopsAtTerminatorOrCount) {
    WriteFile(IniPath(), "[Sec]\nA=1\nB=2\nC=3\n");
    std::int32_t a = 0;
    std::int32_t b = 0;
    std::int32_t c = 0;
    // No terminator: the count is all there is to stop the walk.
    const RIni open[] = {
        {ikNone, r_, "Sec", nullptr, 0},
        {ikInteger, r_, "A", &a, 0},
        {ikInteger, r_, "B", &b, 0},
    };
    IniMain->ReadRIni(open);
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    const RIni early[] = {
        {ikNone, r_, "Sec", nullptr, 0},
        {ikInteger, r_, "A", &a, 0},
        {},
        {ikInteger, r_, "C", &c, 0},
    };
    IniMain->ReadRIni(early);
    EXPECT_EQ(c, 0);
}

using TMirrorTest = TStoreTest;

TEST_F(TMirrorTest, StringRegUsesThePropertiesSubkey) {
    EXPECT_EQ(TbIniReg::GetSubPropSect("TfmMain"), "Properties\\TfmMain");
    IniMain->WriteStringReg("TfmMain", "Width", "300");
    EXPECT_EQ(IniMain->ReadString("TfmMain", "Width", ""), "300");
    EXPECT_EQ(UserValue("Properties/TfmMain/Width"), "300");

    RegCurrentUser->WriteString("Properties\\TfmMain", "Width", "");
    EXPECT_EQ(IniMain->ReadStringReg("TfmMain", "Width", "d"), "");
    RegCurrentUser->DeleteKey("Properties\\TfmMain");
    EXPECT_EQ(IniMain->ReadStringReg("TfmMain", "Width", "d"), "300");
    EXPECT_EQ(IniMain->ReadStringReg("TfmMain", "Height", "d"), "d");
}

TEST_F(TMirrorTest, RegistryObjects) {
    EXPECT_EQ(RegCurrentUser->KeyPath(), "\\Software\\Brenvik\\Quindle");
    EXPECT_FALSE(RegCurrentUser->KeyExisted());
    auto& reg = *RegCurrentUser;
    EXPECT_EQ(reg.ReadString("A\\B", "x", "dflt"), "dflt");
    reg.WriteString("A\\B", "x", "1");
    reg.WriteString("A\\B", "y", "0");
    reg.WriteString("A\\B\\C", "z", "zz");
    EXPECT_EQ(UserValue("A/B/x"), "1");
    EXPECT_TRUE(reg.ReadBool("A\\B", "x", false));
    EXPECT_FALSE(reg.ReadBool("A\\B", "y", true));
    EXPECT_TRUE(reg.ReadBool("A\\B", "none", true));
    reg.WriteBool("A\\B", "w", true);
    EXPECT_EQ(reg.ReadString("A\\B", "w", ""), "1");

    // Names are compared without regard to case, and keep their first spelling.
    reg.WriteString("a\\b", "X", "2");
    EXPECT_EQ(reg.ReadString("A\\B", "x", ""), "2");
    EXPECT_EQ(UserValue("A/B/x"), "2");

    reg.ClearValues("A\\B");
    EXPECT_EQ(reg.ReadString("A\\B", "x", "gone"), "gone");
    EXPECT_EQ(reg.ReadString("A\\B\\C", "z", ""), "zz");
    reg.WriteValueNames("A\\B", {"p", "q"});
    EXPECT_EQ(reg.ReadString("A/B", "q", "?"), "");
    reg.DeleteKey("A");
    EXPECT_EQ(reg.ReadString("A\\B\\C", "z", "gone"), "gone");

    // The machine branch is another file.
    RegLocalMachine->WriteString("", "", "m");
    EXPECT_EQ(reg.ReadString("", "", "none"), "none");
    EXPECT_EQ(RegLocalMachine->ReadString("", "", ""), "m");
}

TEST_F(TMirrorTest, UnwritableMachineBranchIsSkippedSilently) {
    WriteFile(Path("blocked"), "");
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, m_dir.filePath("blocked"));
    std::int32_t value = 4;
    const RIni table[] = {{ikNone, rL, "Sec", nullptr, 0}, {ikInteger, r_, "V", &value, 0}, {}};
    EXPECT_NO_THROW(IniMain->WriteRIni(table));
    EXPECT_EQ(IniMain->ReadString("Sec", "V", ""), "4");
    value = 0;
    IniMain->ReadRIni(table);
    EXPECT_EQ(value, 4);
}

TEST_F(TMirrorTest, DeveloperLevelTakesTheLargerDigit) {
    struct TCase {
        const char* product;
        const char* company;
        int level;
    };
    const TCase cases[] = {
        {"2", nullptr, 2},  {"1", "3", 3},         {nullptr, "4x", 4}, {"", "", 0},
        {"-1", nullptr, 0}, {nullptr, nullptr, 0}, {"9", "0", 9},
    };
    for (const auto& c : cases) {
        DoneSettingsStore();
        for (const auto& app : {QString("Quindle"), QString()}) {
            QSettings s(QSettings::NativeFormat, QSettings::UserScope, "Brenvik", app);
            s.clear();
            const char* text = app.isEmpty() ? c.company : c.product;
            if (text != nullptr)
                s.setValue(".", text);
        }
        InitSettingsStore();
        EXPECT_EQ(DevLevel, c.level)
            << (c.product ? c.product : "-") << "/" << (c.company ? c.company : "-");
    }
}

TEST_F(TMirrorTest, VersionRecordWithoutNamesStopsStartUp) {
    FreeRegistries();
    for (const auto& [company, internal] :
         {std::pair{"", "Quindle"}, std::pair{"Brenvik", ""}, std::pair{"", ""}}) {
        TVersionRecord record;
        record.CompanyName = company;
        record.InternalName = internal;
        try {
            CreateRegistries(&record);
            FAIL() << "no error for '" << company << "' / '" << internal << "'";
        } catch (const EVersionInfo& error) {
            EXPECT_STREQ(error.what(),
                         "VersionInfo resource 'CompanyName' or 'InternalName' not found");
        }
        EXPECT_EQ(RegCurrentUser, nullptr);
    }
}

TEST_F(TMirrorTest, FrameworkRecordsKeepDefaultsAndRoundTrip) {
    bCfgOpt.Read();
    CfgPar.Read();
    bCfg.Read();
    EXPECT_EQ(bCfgOpt.MRUFiles, 9);
    EXPECT_EQ(bCfgOpt.ToolMenu, 0);
    EXPECT_EQ(CfgPar.Language, "");
    EXPECT_FALSE(Exists(IniPath()));
    EXPECT_FALSE(Exists(Path("user/Brenvik/Quindle.conf")));

    bCfgOpt.MRUFiles = 4;
    bCfgOpt.ToolMenu = 1;
    bCfgOpt.Save();
    CfgPar.Language = "Deutsch";
    CfgPar.Save();
    bCfg.Save();
    EXPECT_EQ(ReadFile(IniPath()),
              "[BrenlibConfig]\nMRUFiles=4\nToolMenu=1\n[Params]\nLanguage=Deutsch\n");
    EXPECT_EQ(UserValue("BrenlibConfig/ToolMenu"), "1");
    EXPECT_EQ(UserValue("Params/Language"), "<absent>");
    bCfgOpt = {};
    bCfgOpt.Read();
    EXPECT_EQ(bCfgOpt.MRUFiles, 4);
    EXPECT_EQ(bCfgOpt.ToolMenu, 1);
}

TEST_F(TMirrorTest, CommandLineLanguageAndSwitches) {
    WriteFile(IniPath(), "[Params]\nLanguage=English\n");
    struct TCase {
        std::vector<std::string> arguments;
        bool given;
        const char* language;
        bool upLang;
        bool upHelp;
    };
    const TCase cases[] = {
        {{}, false, "English", false, false},
        {{"/lang:Deutsch"}, true, "Deutsch", false, false},
        {{"-LANG=Svenska", "-uplang"}, true, "Svenska", true, false},
        {{"-LangDeutsch", "/UpHelp"}, false, "English", false, true},
    };
    for (const auto& c : cases) {
        TbParam::SetArguments(c.arguments);
        CfgPar = {};
        EXPECT_EQ(CfgPar.Read(), c.given);
        EXPECT_EQ(CfgPar.Language, c.language);
        EXPECT_EQ(CfgPar.UpLang, c.upLang);
        EXPECT_EQ(CfgPar.UpHelp, c.upHelp);
    }
}

} // namespace
