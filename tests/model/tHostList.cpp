// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "uHostList.h"

namespace {

struct THostCase {
    const char* name;
    const char* typed;
    bool accepted;
    const char* shown; // text of the box and the list when accepted
};
void PrintTo(const THostCase& c, std::ostream* os) {
    *os << c.name;
}
class HostText : public testing::TestWithParam<THostCase> {};

TEST_P(HostText, OnlyIPv4AndBroadcastAreTaken) {
    const THostCase& c = GetParam();
    const auto choice = CheckHost(c.typed);
    ASSERT_EQ(choice.has_value(), c.accepted);
    if (choice) {
        EXPECT_EQ(choice->Text, c.shown);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostText,
    testing::Values(THostCase{"Address", "10.0.0.7", true, "10.0.0.7"},
                    THostCase{"Broadcast", "Broadcast", true, "Broadcast"},
                    THostCase{"BroadcastAnyCase", "bROADcast", true, "Broadcast"},
                    THostCase{"BroadcastDotted", "255.255.255.255", true, "Broadcast"},
                    THostCase{"HostName", "fileserver", false, ""},
                    THostCase{"Typo", "10.0.0.", false, ""},
                    THostCase{"ShortForm", "10.7", false, ""},
                    THostCase{"PartTooLarge", "10.0.0.256", false, ""},
                    THostCase{"Spaces", " 10.0.0.7", false, ""},
                    THostCase{"Unspecified", "0.0.0.0", false, ""},
                    THostCase{"Empty", "", false, ""}),
    [](const testing::TestParamInfo<THostCase>& info) { return info.param.name; });

TEST(HostText, AcceptAddressTakesAnyOrAUnicastAddress) {
    EXPECT_EQ(CheckAcceptAddress("Any"), 0U);
    EXPECT_EQ(CheckAcceptAddress("any"), 0U);
    EXPECT_EQ(CheckAcceptAddress("198.18.0.2"), ParseIPv4("198.18.0.2"));
    EXPECT_FALSE(CheckAcceptAddress("198.18.0.").has_value()) << "a typo would silence reception";
    EXPECT_FALSE(CheckAcceptAddress("255.255.255.255").has_value());
    EXPECT_FALSE(CheckAcceptAddress("").has_value());
    EXPECT_EQ(FormatIPv4(*ParseIPv4("198.18.0.2")), "198.18.0.2");
}

TEST(HostList, MostRecentFirstTenKeptAndBroadcastAlwaysPresent) {
    std::vector<std::string> list;
    PushHost(list, "10.0.0.7");
    EXPECT_EQ(list, (std::vector<std::string>{"10.0.0.7", "Broadcast"}));
    PushHost(list, "10.0.0.8");
    PushHost(list, "10.0.0.7"); // already there: moved up, not added twice
    EXPECT_EQ(list, (std::vector<std::string>{"10.0.0.7", "10.0.0.8", "Broadcast"}));
    for (int i = 1; i <= 11; ++i)
        PushHost(list, "192.0.2." + std::to_string(i));
    ASSERT_EQ(list.size(), 11U);
    EXPECT_EQ(list.front(), "192.0.2.11");
    EXPECT_EQ(list[9], "192.0.2.2");
    EXPECT_EQ(list.back(), "Broadcast");
    PushHost(list, "Broadcast");
    EXPECT_EQ(list.front(), "Broadcast");
    EXPECT_EQ(list.size(), 11U);
}

TEST(HostList, LoadedListDropsWhatTheBoxWouldRefuse) {
    const std::vector<std::string> stored{
        "10.0.0.7", "255.255.255.255", "fileserver", "10.0.0.7", "broadcast", "", "10.0.0.9"};
    EXPECT_EQ(FilterHostList(stored),
              (std::vector<std::string>{"10.0.0.7", "Broadcast", "10.0.0.9"}));
    EXPECT_EQ(FilterHostList({}), (std::vector<std::string>{"Broadcast"}));
    std::vector<std::string> many;
    for (int i = 1; i <= 14; ++i)
        many.push_back("192.0.2." + std::to_string(i));
    const auto kept = FilterHostList(many);
    ASSERT_EQ(kept.size(), 11U);
    EXPECT_EQ(kept[9], "192.0.2.10");
    EXPECT_EQ(kept.back(), "Broadcast");
}

} // namespace
