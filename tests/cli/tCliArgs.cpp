// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>

#include <gtest/gtest.h>

#include "uCliArgs.h"

namespace {

struct RateCase {
    const char* text;
    std::int32_t kbps;
};

class RateAccepted : public testing::TestWithParam<RateCase> {};

TEST_P(RateAccepted, GivesKilobitsPerSecond) {
    EXPECT_EQ(ParseRate(GetParam().text, "--local-speed"), GetParam().kbps);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RateAccepted,
    testing::Values(RateCase{"100k", 100}, RateCase{"100K", 100}, RateCase{"10M", 10000},
                    RateCase{"10m", 10000}, RateCase{"1G", 1000000}, RateCase{"1.5M", 1500},
                    RateCase{"64000", 64}, RateCase{"1000", 1}, RateCase{"1k", 1},
                    RateCase{"1499", 1}, RateCase{"1500", 2}, RateCase{"10Mbit/s", 10000},
                    RateCase{"10Mbps", 10000}, RateCase{"2.2G", 2200000},
                    RateCase{"2147483648", 2147484}, RateCase{"9.5G", 9500000},
                    RateCase{"10G", 10000000}, RateCase{"10000000k", 10000000}));

struct BadCase {
    const char* text;
    const char* says; // part of the message
};

class RateRefused : public testing::TestWithParam<BadCase> {};

TEST_P(RateRefused, SaysWhy) {
    try {
        ParseRate(GetParam().text, "--remote-speed");
        FAIL() << "accepted " << GetParam().text;
    } catch (const ECliArgError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("--remote-speed"), std::string::npos) << message;
        EXPECT_NE(message.find(GetParam().says), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RateRefused,
    testing::Values(BadCase{"10X", "unknown unit 'X'"}, BadCase{"10kb", "unknown unit 'kb'"},
                    BadCase{"10 M", "unknown unit ' M'"}, BadCase{"0", "must be above 0"},
                    BadCase{"0M", "must be above 0"}, BadCase{"-5M", "must be above 0"},
                    BadCase{"", "empty"}, BadCase{"M", "not a rate"}, BadCase{"abc", "not a rate"},
                    BadCase{"400", "below the smallest"}, BadCase{"10.1G", "above the largest"},
                    BadCase{"11G", "above the largest"}, BadCase{"1e400", "unknown unit"},
                    BadCase{"nan", "not a rate"}));

struct RangeCase {
    std::int32_t (*check)(std::int64_t, std::string_view);
    std::int64_t value;
    bool ok;
    std::int32_t result;
};

class Range : public testing::TestWithParam<RangeCase> {};

TEST_P(Range, KeepsTheLimits) {
    const RangeCase& c = GetParam();
    if (c.ok) {
        EXPECT_EQ(c.check(c.value, "--opt"), c.result);
    } else {
        try {
            c.check(c.value, "--opt");
            FAIL() << "accepted " << c.value;
        } catch (const ECliArgError& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("--opt: " + std::to_string(c.value) + " is outside"),
                      std::string::npos)
                << message;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Range,
    testing::Values(
        RangeCase{CheckLength, 64, true, 64}, RangeCase{CheckLength, 2000, true, 2000},
        RangeCase{CheckLength, 63, false, 0}, RangeCase{CheckLength, 2001, false, 0},
        RangeCase{CheckLength, 0, false, 0}, RangeCase{CheckPort, 1024, true, 1024},
        RangeCase{CheckPort, 9000, true, 9000}, RangeCase{CheckPort, 1023, false, 0},
        RangeCase{CheckPort, 9001, false, 0}, RangeCase{CheckPort, 65536 + 2222, false, 0},
        RangeCase{CheckBufferKb, 256, true, 262144}, RangeCase{CheckBufferKb, 0, false, 0},
        RangeCase{CheckBufferKb, 262145, false, 0}, RangeCase{CheckTimerPeriod, 1, true, 1},
        RangeCase{CheckTimerPeriod, 1001, false, 0}, RangeCase{CheckTimerPeriod, 0, false, 0}));

TEST(CliTimes, MillisecondsAndSecondsHaveTheirLowestValue) {
    EXPECT_EQ(CheckMs(100, 100, "--interval"), 100);
    EXPECT_THROW(CheckMs(99, 100, "--interval"), ECliArgError);
    EXPECT_THROW(CheckMs(60001, 100, "--interval"), ECliArgError);
    EXPECT_EQ(CheckSeconds(0, 0, "--duration"), 0);
    EXPECT_THROW(CheckSeconds(0, 1, "--time"), ECliArgError);
    EXPECT_THROW(CheckSeconds(-1, 0, "--duration"), ECliArgError);
}

struct HostCase {
    const char* text;
    const char* says; // nullptr: accepted
};

class Host : public testing::TestWithParam<HostCase> {};

TEST_P(Host, OnlyADottedAddressOfOneHost) {
    const HostCase& c = GetParam();
    if (c.says == nullptr) {
        EXPECT_EQ(CheckHost(c.text), c.text);
        return;
    }
    try {
        CheckHost(c.text);
        FAIL() << "accepted " << c.text;
    } catch (const ECliArgError& e) {
        EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, Host,
                         testing::Values(HostCase{"198.18.0.2", nullptr},
                                         HostCase{"127.0.0.1", nullptr},
                                         HostCase{"localhost", "not an IPv4 address"},
                                         HostCase{"peer.example", "not an IPv4 address"},
                                         HostCase{"10.1", "not an IPv4 address"},
                                         HostCase{"010.0.0.1", "not an IPv4 address"},
                                         HostCase{"1.2.3.256", "not an IPv4 address"},
                                         HostCase{"::1", "not an IPv4 address"},
                                         HostCase{"", "not an IPv4 address"},
                                         HostCase{"Broadcast", "not an IPv4 address"},
                                         HostCase{"255.255.255.255", "broadcast address"},
                                         HostCase{"0.0.0.0", "no host"}));

TEST(CliDirection, NamesRoundTripAndOthersAreRefused) {
    for (const tCliDirection d : {cdBoth, cdLocal, cdRemote})
        EXPECT_EQ(ParseDirection(DirectionName(d)), d);
    EXPECT_THROW(ParseDirection("Both"), ECliArgError);
    EXPECT_THROW(ParseDirection("up"), ECliArgError);
}

// Commanding this host's own sending as a peer's is refused; its own loop
// (--direction local) is not.
TEST(CliDirection, ThePeersSendingCannotBeThisHostsOwn) {
    struct Case {
        const char* host;
        const char* own;
        tCliDirection direction;
        bool refused;
    };
    for (const Case& c :
         {Case{"127.0.0.1", "", cdBoth, true}, Case{"127.9.0.1", "", cdRemote, true},
          Case{"127.0.0.1", "", cdLocal, false}, Case{"198.18.0.1", "198.18.0.1", cdBoth, true},
          Case{"198.18.0.1", "198.18.0.1", cdLocal, false},
          Case{"198.18.0.2", "198.18.0.1", cdBoth, false}, Case{"198.18.0.2", "", cdRemote, false},
          Case{"12.7.0.1", "", cdBoth, false}})
        EXPECT_EQ(!SelfAsPeer(c.host, c.own, c.direction).empty(), c.refused)
            << c.host << " own " << c.own << " " << DirectionName(c.direction);
}

} // namespace
