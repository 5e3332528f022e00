// SPDX-License-Identifier: GPL-3.0-or-later
// The allow list's text and the peer silence in force.
#include <string>

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include "cNetLimits.h"

namespace {

std::uint32_t Ip(const char* dotted) {
    return inet_addr(dotted);
}

struct AllowCase {
    const char* name;
    const char* text;
    bool ok;
    const char* normalised; // AllowListText of the result
    const char* inside;
    const char* outside;
};

class AllowList : public testing::TestWithParam<AllowCase> {};

TEST_P(AllowList, ParsesMatchesAndPrintsBack) {
    const AllowCase& c = GetParam();
    TbNAllowList list;
    std::string error;
    ASSERT_EQ(ParseAllowList(c.text, list, error), c.ok) << error;
    if (!c.ok) {
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(list.Active) << "a failed parse leaves no half list";
        return;
    }
    EXPECT_EQ(AllowListText(list), c.normalised);
    if (*c.inside != '\0') {
        EXPECT_TRUE(list.Contains(Ip(c.inside)));
    }
    if (*c.outside != '\0') {
        EXPECT_FALSE(list.Contains(Ip(c.outside)));
    }
    TbNAllowList again;
    ASSERT_TRUE(ParseAllowList(AllowListText(list), again, error));
    EXPECT_EQ(AllowListText(again), c.normalised);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AllowList,
    testing::Values(
        AllowCase{"Empty", "", true, "", "8.8.8.8", ""},
        AllowCase{"Blank", "  ", true, "", "8.8.8.8", ""},
        AllowCase{"OneNetwork", "198.18.0.0/15", true, "198.18.0.0/15", "198.19.255.1",
                  "198.20.0.1"},
        AllowCase{"HostBitsCleared", "10.1.2.3/8", true, "10.0.0.0/8", "10.200.0.1", "11.0.0.1"},
        AllowCase{"BareAddressIsOneHost", "10.0.0.7", true, "10.0.0.7/32", "10.0.0.7", "10.0.0.8"},
        AllowCase{"TwoWithBlanks", "10.0.0.0/24 , 192.168.1.0/24", true,
                  "10.0.0.0/24,192.168.1.0/24", "192.168.1.9", "192.168.2.9"},
        AllowCase{"Everything", "0.0.0.0/0", true, "0.0.0.0/0", "1.2.3.4", ""},
        AllowCase{"PrefixTooLong", "10.0.0.0/33", false, "", "", ""},
        AllowCase{"PrefixNotANumber", "10.0.0.0/x", false, "", "", ""},
        AllowCase{"PrefixEmpty", "10.0.0.0/", false, "", "", ""},
        AllowCase{"NoAddress", "/8", false, "", "", ""},
        AllowCase{"Name", "localhost", false, "", "", ""},
        AllowCase{"ShortForm", "10.1", false, "", "", ""},
        AllowCase{"EmptyPart", "10.0.0.0/8,,11.0.0.0/8", false, "", "", ""},
        AllowCase{"TrailingComma", "10.0.0.0/8,", false, "", "", ""},
        AllowCase{"TooMany",
                  "1.0.0.1,1.0.0.2,1.0.0.3,1.0.0.4,1.0.0.5,1.0.0.6,1.0.0.7,1.0.0.8,1.0.0.9,"
                  "1.0.0.10,1.0.0.11,1.0.0.12,1.0.0.13,1.0.0.14,1.0.0.15,1.0.0.16,1.0.0.17",
                  false, "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PeerSilence, IsAtLeastThreeIntervalsAndThreeSeconds) {
    EXPECT_EQ(PeerSilenceMs(0, 200), 0) << "0: never";
    EXPECT_EQ(PeerSilenceMs(-5, 200), 0);
    EXPECT_EQ(PeerSilenceMs(10, 200), 10000);
    EXPECT_EQ(PeerSilenceMs(1, 200), 3000);
    EXPECT_EQ(PeerSilenceMs(3, 2000), 6000) << "three intervals of 2 s";
    EXPECT_EQ(PeerSilenceMs(86400, 10000), 86'400'000);
}

} // namespace
