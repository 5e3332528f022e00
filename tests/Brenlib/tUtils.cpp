// SPDX-License-Identifier: GPL-3.0-or-later
// Text conversions, command-line helpers and file names.
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "xVersion.h"
#include "zParams.h"
#include "zUtils.h"

namespace {

TEST(TStrCvtTest, HexBytesFollowTheFourCharacterSteps) {
    struct TCase {
        const char* text;
        std::vector<std::uint8_t> expected; // count, then the bytes
    };
    const TCase cases[] = {
        {"1A,2B", {2, 0x1A, 0x2B}},
        {"", {0}},
        {"7", {1, 7}},
        {"1A,,2B", {3, 0x1A, 0, 0x2B}}, // an empty piece is a zero byte
        {"1A,", {2, 0x1A, 0}},
        {"G1", {2, 0, 1}},    // a non-digit first: value 0, go on
                              // after it
        {"12345", {1, 0x34}}, // four digits in a row end the text
        {"a-b-c", {3, 0xA, 0xB, 0xC}},
    };
    for (const auto& c : cases) {
        std::uint8_t buffer[16];
        std::memset(buffer, 0xEE, sizeof buffer);
        const int count = TStrCvt::StrToHexBytes(buffer, 15, 101, c.text);
        EXPECT_EQ(count, c.expected[0]) << c.text;
        EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + c.expected.size()), c.expected)
            << c.text;
        EXPECT_EQ(buffer[c.expected.size()], 0xEE) << c.text;
    }
}

TEST(TStrCvtTest, HexBytesStopAtTheMaximumAndTheBufferEnd) {
    std::uint8_t buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(TStrCvt::StrToHexBytes(buffer, 7, 4, "01,02,03,04,05"), 3);
    EXPECT_EQ(buffer[4], 0xEE);
    EXPECT_EQ(TStrCvt::StrToHexBytes(buffer, 3, 101, "01,02,03,04,05"), 3);
    EXPECT_EQ(buffer[4], 0xEE);

    const std::uint8_t bytes[] = {3, 0x00, 0x0F, 0xF0};
    EXPECT_EQ(TStrCvt::HexToStrBytes(bytes, sizeof bytes), "00,0F,F0");
    EXPECT_EQ(TStrCvt::HexToStrBytes(bytes, 2), "00");
}

TEST(TStrCvtTest, IntArrays) {
    std::int32_t buffer[5] = {};
    EXPECT_EQ(TStrCvt::StrToArrayInt(buffer, 4, "4,5,6"), 3);
    EXPECT_EQ(TStrCvt::ArrayIntToStr(buffer, 4), "4,5,6");
    EXPECT_EQ(TStrCvt::StrToArrayInt(buffer, 2, "-2147483648,2147483647,9"), 2);
    EXPECT_EQ(buffer[1], -2147483647 - 1);
    EXPECT_EQ(buffer[2], 2147483647);
    EXPECT_EQ(TStrCvt::StrToArrayInt(buffer, 4, ""), 0);
    EXPECT_EQ(TStrCvt::ArrayIntToStr(buffer, 4), "");
    buffer[0] = -3;
    EXPECT_EQ(TStrCvt::ArrayIntToStr(buffer, 4), "");
    EXPECT_THROW(TStrCvt::StrToArrayInt(buffer, 4, "1,,3"), EConvertError);
}

TEST(TConvertTest, Integers) {
    const std::pair<const char*, std::int32_t> good[] = {
        {"0", 0},
        {"-17", -17},
        {"+5", 5},
        {" 42\t", 42},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
    };
    for (const auto& [text, value] : good)
        EXPECT_EQ(StrToInt(text), value) << text;
    for (const char* text : {"", "-", "4 2", "42x", "x42", "2147483648", "1e3"})
        EXPECT_THROW(StrToInt(text), EConvertError) << text;
    EXPECT_EQ(StrToIntDef("bad", -1), -1);
}

TEST(TConvertTest, FloatsAreLocaleFree) {
    EXPECT_EQ(FloatToStrF(2.5, 0), "2");
    EXPECT_EQ(FloatToStrF(-0.125, 2), "-0.12");
    EXPECT_EQ(FloatToStrF(1e20, 1), "100000000000000000000.0");
    EXPECT_EQ(FloatToStrG(1234567.0), "1.23457e+06");
    EXPECT_EQ(FloatToStrG(0.5), "0.5");
    EXPECT_DOUBLE_EQ(StrToFloat(" -2.5e3 "), -2500.0);
}

class TParamTest : public ::testing::Test {
protected:
    void TearDown() override { TbParam::SetArguments({}); }
};

TEST_F(TParamTest, SwitchMatchesAnywhereInAParameter) {
    struct TCase {
        std::vector<std::string> arguments;
        bool expected;
    };
    const TCase cases[] = {
        {{"-ns"}, true},    {{"/NS"}, true},       {{"x-nsy"}, true},
        {{"/nsfoo"}, true}, {{"ns"}, false},       {{"-n", "s"}, false},
        {{}, false},        {{"--NoSave"}, false}, {{"file", "a/Nsb"}, true},
    };
    for (const auto& c : cases) {
        TbParam::SetArguments(c.arguments);
        EXPECT_EQ(TbParam::GetParamSwitch("ns"), c.expected)
            << (c.arguments.empty() ? "" : c.arguments.back());
    }
}

TEST_F(TParamTest, ValueNeedsASeparator) {
    struct TCase {
        std::vector<std::string> arguments;
        bool found;
        std::string value;
    };
    const TCase cases[] = {
        {{"/lANG:Deutsch"}, true, "Deutsch"},
        {{"-Lang=en_GB"}, true, "en_GB"},
        {{"-LangDeutsch"}, false, "unchanged"},
        {{"-Lang"}, false, "unchanged"},
        {{"-Lang="}, true, ""},
        {{"x-Lang=y"}, false, "unchanged"},
        // The first parameter that begins with the name decides.
        {{"-Language=x", "-Lang=y"}, false, "unchanged"},
        {{"-Lang=" + std::string(150, 'v')}, true, std::string(99, 'v')},
    };
    for (const auto& c : cases) {
        TbParam::SetArguments(c.arguments);
        std::string value = "unchanged";
        EXPECT_EQ(TbParam::GetParamValue("Lang", value), c.found) << c.arguments[0];
        EXPECT_EQ(value, c.value) << c.arguments[0];
    }
}

TEST_F(TParamTest, FileNameByExtension) {
    TbParam::SetArguments({".log", "-x", "results.LOG", "other.log"});
    EXPECT_EQ(TbParam::GetParamFileName(".log"), "results.LOG");
    EXPECT_EQ(TbParam::GetParamFileName(".ini"), "");
}

TEST(TFileTest, NamesBesideTheProgram) {
    ::setenv("RAVELOX_HOME", "/opt/rv/", 1);
    EXPECT_EQ(TbFile::FileNameExePath("a.ini"), "/opt/rv/a.ini");
    EXPECT_EQ(TbFile::FileNameExePath("/etc/a.ini"), "/etc/a.ini");
    EXPECT_EQ(TbFile::ExpandFileSubPath("x/a.txt", "Lang"), "/opt/rv/Lang/x/a.txt");
    EXPECT_EQ(TbFile::ExpandFileSubPath("./a.txt", "Lang"), "./a.txt");
    EXPECT_EQ(TbFile::ExpandFileSubPath("/a.txt", "Lang/"), "/a.txt");
    EXPECT_EQ(TbFile::TruncExePath("/opt/rv/Lang/a.ini"), "Lang/a.ini");
    EXPECT_EQ(TbFile::TruncExePath("/opt/other/a.ini"), "/opt/other/a.ini");
    EXPECT_EQ(TbFile::TruncExeSubPath("/opt/rv/Lang/a.ini", "Lang"), "a.ini");
    EXPECT_EQ(TbFile::TruncPath("/OPT/RV/a", "/opt/rv/base"), "/OPT/RV/a");
    EXPECT_EQ(TbFile::FileNameParams("sub/p.cfg"), "/opt/rv/CFG/p.cfg");
    EXPECT_EQ(TbFile::FileNameParams("/p.cfg"), "/p.cfg");
    EXPECT_EQ(TbFile::ChangeFileNameExt("/a/b/c.ini", "x/d.log"), "/a/b/d.log");
    EXPECT_EQ(TbFile::GetFileVersion("/bin/sh"), 0u);
    const auto& version = VersionRecord();
    EXPECT_EQ(TbFile::GetFileVersion(""), static_cast<std::uint32_t>(version.Major) << 16 |
                                              static_cast<std::uint32_t>(version.Minor));
    ::unsetenv("RAVELOX_HOME");
}

} // namespace
