// SPDX-License-Identifier: GPL-3.0-or-later
// The type-safe formatter and the framework exceptions built on it.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "zExcept.h"
#include "zFormat.h"

namespace {

// Collects the faults the formatter reports.
class TFormatTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetFormatFaultSink([this](const std::string& message) { m_faults.push_back(message); });
    }
    void TearDown() override { SetFormatFaultSink({}); }
    std::vector<std::string> m_faults;
};

TEST_F(TFormatTest, PlaceholdersThatFit) {
    struct TCase {
        const char* name;
        std::string result;
        std::string expected;
    };
    const TCase cases[] = {
        {"text", Format("%s: %s", "TzStatus", "Msg"), "TzStatus: Msg"},
        {"integer", Format("%d items", 42), "42 items"},
        {"negative", Format("%d", -7), "-7"},
        {"int64", Format("%d", 4'000'000'000LL), "4000000000"},
        {"unsigned", Format("%u", 3'000'000'000U), "3000000000"},
        {"hex", Format("%x", 255), "FF"},
        {"hex negative 32 bit", Format("%x", -1), "FFFFFFFF"},
        {"fixed default 2", Format("%f", 1.005), "1.00"},
        {"fixed precision", Format("%.2fs", 1.234), "1.23s"},
        {"fixed from integer", Format("%.1f", 3), "3.0"},
        {"general", Format("%g", 0.5), "0.5"},
        {"left width", Format("[%-12s]", "ListBox"), "[ListBox     ]"},
        {"right width", Format("[%5d]", 42), "[   42]"},
        {"width counts characters", Format("[%-4s]", "\xc3\xa4\xc3\xb6"), "[\xc3\xa4\xc3\xb6  ]"},
        {"text precision", Format("%.3s", "abcdef"), "abc"},
        {"percent", Format("100%%"), "100%"},
        {"positional", Format("%1:s %0:s", "a", "b"), "b a"},
        {"after positional", Format("%1:s %s", "a", "b", "c"), "b c"},
        {"version", Format("%s.%d.%d", Format("%d.%d", 1, 2), 3, 4), "1.2.3.4"},
        {"upper-case type", Format("%D", 5), "5"},
        {"min digits", Format("%.3d", 7), "007"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.result, c.expected) << c.name;
    EXPECT_TRUE(m_faults.empty()) << m_faults.front();
}

// A placeholder that does not fit, or lacks its argument, stays as written
// and is reported; nothing is read past the arguments.
TEST_F(TFormatTest, MismatchedPlaceholdersStayAsWritten) {
    struct TCase {
        const char* name;
        std::function<std::string()> format;
        std::string expected;
        std::size_t faults = 1;
    };
    const TCase cases[] = {
        {"text for integer", [] { return Format("%d apples", "seven"); }, "%d apples"},
        {"integer for text", [] { return Format("%s: %s", 5, "x"); }, "%s: x"},
        {"float for integer", [] { return Format("%d", 1.5); }, "%d"},
        {"negative unsigned", [] { return Format("%u", -1); }, "%u"},
        {"one too many", [] { return Format("%s and %s", "one"); }, "one and %s"},
        {"none given", [] { return Format("ERROR: %s.%d"); }, "ERROR: %s.%d", 2},
        {"index past end", [] { return Format("%5:s", "a"); }, "%5:s"},
        {"unknown type", [] { return Format("50%z", 1); }, "50%z"},
        {"trailing percent", [] { return Format("100%"); }, "100%"},
        {"width too large", [] { return Format("%99999s", "a"); }, "%99999s"},
        {"missing precision", [] { return Format("%.s", "a"); }, "%.s"},
    };
    for (const auto& c : cases) {
        m_faults.clear();
        EXPECT_EQ(c.format(), c.expected) << c.name;
        EXPECT_EQ(m_faults.size(), c.faults) << c.name;
    }
}

TEST(TExceptTest, MessagesCarryTheClassNameLine) {
    struct TCase {
        const char* name;
        std::string message;
        std::string expected;
    };
    const TCase cases[] = {
        {"EzException", EzException("%s gone", "x").what(),
         "\r\n(B) Exception class: EzException\r\nx gone"},
        {"EzExcept range", EzExcept(IDS_zeOutOfRange, "TbList", 1, 10).what(),
         "\r\n(B) Exception class: EzExcept\r\nTbList: Out of range: Min=1, Max=10"},
        {"EzExcept code past table", EzExcept(200, 200).what(),
         "\r\n(B) Exception class: EzExcept\r\nUnknown error: 200"},
        {"EzForm single", EzForm(IDS_zfSingleForm, "TzfmAboutBox", "zfmAboutBox").what(),
         "\r\n(B) Exception class: EzForm\r\nOnly single instance of TzfmAboutBox "
         "enable.\r\nzfmAboutBox destroyed"},
        {"EzForm not found", EzForm(IDS_zfNotFound, "TzStatus.GetStatusPanel ", "StatMsg").what(),
         "\r\n(B) Exception class: EzForm\r\nTzStatus.GetStatusPanel : StatMsg %s Not found"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.message, c.expected) << c.name;
    try {
        throw EzForm(IDS_zfSingleForm, "A", "B");
    } catch (const EzExcept& e) {
        EXPECT_EQ(e.Code(), IDS_zfSingleForm);
        EXPECT_EQ(e.ClassName(), "EzForm");
    }
}

TEST(TExceptTest, HandlerReceivesTextAndClass) {
    std::string text;
    std::string className;
    SetExceptionHandler([&](const std::string& t, const std::string& c) {
        text = t;
        className = c;
    });
    Guarded([] { throw EzExcept(IDS_zeAlreadyCr, "TbNet0"); })();
    EXPECT_EQ(className, "EzExcept");
    EXPECT_NE(text.find("TbNet0: Already created"), std::string::npos);
    Guarded([] { throw std::runtime_error("plain"); })();
    EXPECT_EQ(text, "plain");
    EXPECT_EQ(className, "");
    SetExceptionHandler({});
}

TEST(TMsgLineTest, BuiltinTableUntilASourceIsInstalled) {
    EXPECT_EQ(MsgLineFmt("Errors", 3, "TfmMain.Foo"), "Property not found: TfmMain.Foo");
    EXPECT_EQ(MsgLine("Nowhere", 9), "ERROR: Nowhere.9");
    SetMsgLineSource([](std::string_view section, int n) {
        return std::string(section) + "#" + std::to_string(n);
    });
    EXPECT_EQ(MsgLine("Errors", 3), "Errors#3");
    SetMsgLineSource({});
    EXPECT_EQ(MsgLine("errors", 3), "Property not found: %s");
}

} // namespace
