// SPDX-License-Identifier: GPL-3.0-or-later
#include <array>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "cNet0.h"
#include "cNetWire.h"

namespace {

using Buffer = std::array<std::uint8_t, kBufferSize>;

TbNHeader SampleHeader() {
    TbNHeader h;
    h.Kind = nkData;
    h.Length = 0x0102;
    h.Flags = nfSendCmd | nfSendOn | nfStopped;
    h.Sequence = 0x0A0B0C0D;
    h.Interval = 0x1112;
    h.RequestedLength = 0x1314;
    h.TimerPeriod = 0x1516;
    h.RcvbufDrops = 0x1718;
    h.RequestedSpeed = 0x21222324;
    h.AcceptAddress = {198, 18, 0, 2};
    h.Report = {0x3132, 0x05, kMarkRcvbufDrops, 0x41424344, 0x51525354, 0x61626364, 0x7172, 0x8182};
    h.OwnSpeed = 0x91929394;
    h.Instance = 0xA1A2;
    h.Checksum = 0xB1B2B3B4;
    return h;
}

// A datagram as a sender builds it: header, checksum, pattern.
std::vector<std::uint8_t> Datagram(std::uint32_t sequence, std::uint16_t length,
                                   std::uint8_t kind = nkData) {
    TbNHeader h;
    h.Kind = kind;
    h.Length = length;
    h.Sequence = sequence;
    std::vector<std::uint8_t> d(length, 0xEE);
    EncodeHeader(h, d.data());
    WriteChecksum(d.data());
    WritePattern(d.data(), d.size(), sequence, kHeaderSize, length);
    return d;
}

TEST(WireLayout, HeaderFieldsLandAtTheirOffsetsLittleEndian) {
    std::array<std::uint8_t, kHeaderSize> out{};
    EncodeHeader(SampleHeader(), out.data());
    const std::array<std::uint8_t, kHeaderSize> expected{
        'B',  'r',  'e',  'n',  3,    64,   64,   0,    // 0..7
        0x02, 0x01, 0x01, 0x11,                         // length, flags 0x1101
        0x0D, 0x0C, 0x0B, 0x0A,                         // sequence
        0x12, 0x11, 0x14, 0x13, 0x16, 0x15, 0x18, 0x17, // interval, req length, period, drops
        0x24, 0x23, 0x22, 0x21,                         // requested speed
        198,  18,   0,    2,                            // accept address, network order
        0x32, 0x31, 0x05, 0x01,                         // report: stamp, status, mark
        0x44, 0x43, 0x42, 0x41, 0x54, 0x53, 0x52, 0x51, // bytes sent, received
        0x64, 0x63, 0x62, 0x61, 0x72, 0x71, 0x82, 0x81, // from others, lost, bad
        0x94, 0x93, 0x92, 0x91, 0xA2, 0xA1, 0,    0,    // own speed, instance
        0xB4, 0xB3, 0xB2, 0xB1};                        // checksum
    EXPECT_EQ(out, expected);
    EXPECT_EQ(DecodeHeader(out.data()), SampleHeader());
}

TEST(WireChecksum, IsTheByteSumOfTheFirstSixtyBytes) {
    std::array<std::uint8_t, kHeaderSize> d{};
    d.fill(0xFF);
    WriteChecksum(d.data());
    EXPECT_EQ(GetU32(d.data() + 60), 15300u); // the largest possible sum
}

TEST(WirePattern, ThreeWordsFollowTheShiftedBase) {
    auto d = Datagram(0, kHeaderSize + 12);
    const std::uint32_t evenKey = 0xFFFFFFFE;
    EXPECT_EQ(GetU32(d.data() + 64), 0x1373137Fu ^ evenKey);
    EXPECT_EQ(GetU32(d.data() + 68), 0x26E626FEu ^ evenKey);
    EXPECT_EQ(GetU32(d.data() + 72), 0x4DCC4DFCu ^ evenKey);
}

TEST(WirePattern, GroupsOfEightAlignWithTheEnd) {
    // n = 10: two words of the shifted sequence, then a fresh group of eight.
    auto d = Datagram(1, kHeaderSize + 40);
    const std::uint32_t oddKey = 0xFFFFFFFF;
    EXPECT_EQ(GetU32(d.data() + 64), 0x1373137Fu ^ oddKey);
    EXPECT_EQ(GetU32(d.data() + 68), 0x26E626FEu ^ oddKey);
    EXPECT_EQ(GetU32(d.data() + 72), 0x1373137Fu ^ oddKey);
    EXPECT_EQ(GetU32(d.data() + 100), (0x1373137Fu << 7) ^ oddKey);
}

TEST(WirePattern, EvenAndOddSequencesDifferInTheLowestBitOnly) {
    const auto even = Datagram(6, 1450);
    const auto odd = Datagram(7, 1450);
    for (std::size_t off = kHeaderSize; off + 4 <= 1450; off += 4)
        EXPECT_EQ(GetU32(even.data() + off) ^ GetU32(odd.data() + off), 1u) << off;
}

struct ClassCase {
    const char* name;
    std::size_t datagramLength; // the length field and the bytes built
    std::size_t received;       // bytes handed to the classifier
    int corruptAt;              // -1: leave intact; else xor 0x01 at this offset
    bool valid;
    bool patternOk;
};

class WireClassify : public testing::TestWithParam<ClassCase> {};

TEST_P(WireClassify, DecidesValidityAndPattern) {
    const auto& c = GetParam();
    Buffer buffer{};
    buffer.fill(0xAB); // stale bytes from an earlier datagram
    auto d = Datagram(41, static_cast<std::uint16_t>(c.datagramLength));
    if (c.corruptAt >= 0)
        d[static_cast<std::size_t>(c.corruptAt)] ^= 0x01;
    std::memcpy(buffer.data(), d.data(), std::min(d.size(), c.received));
    const auto result = ClassifyDatagram(buffer.data(), buffer.size(), c.received);
    EXPECT_EQ(result.Valid, c.valid);
    EXPECT_EQ(!result.Bad(), c.valid && c.patternOk);
    if (result.Valid)
        EXPECT_EQ(result.Sequence, 41u);
    else
        EXPECT_EQ(result.Flags, 0) << "an invalid datagram carries no command";
}

INSTANTIATE_TEST_SUITE_P(
    Table, WireClassify,
    testing::Values(ClassCase{"header_only", 64, 64, -1, true, true},
                    ClassCase{"full", 1450, 1450, -1, true, true},
                    ClassCase{"largest", 2000, 2000, -1, true, true},
                    ClassCase{"trailing_bytes_unverified", 67, 67, 66, true, true},
                    ClassCase{"pattern_bit_flipped", 1450, 1450, 1000, true, false},
                    ClassCase{"last_pattern_word", 1450, 1450, 1444, true, false},
                    ClassCase{"short_by_one", 64, 63, -1, false, false},
                    ClassCase{"empty", 64, 0, -1, false, false},
                    ClassCase{"one_byte", 64, 1, -1, false, false},
                    ClassCase{"length_above_received", 1450, 1000, -1, false, false},
                    ClassCase{"checksum_field", 64, 64, 60, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WireClassify, EverySingleBitFlipInTheHeaderMakesItBad) {
    const auto good = Datagram(7, 200);
    for (std::size_t byte = 0; byte < 60; ++byte) {
        for (int bit = 0; bit < 8; ++bit) {
            auto d = good;
            d[byte] ^= static_cast<std::uint8_t>(1u << bit);
            const auto c = ClassifyDatagram(d.data(), d.size(), d.size());
            EXPECT_TRUE(c.Bad()) << "byte " << byte << " bit " << bit;
            EXPECT_FALSE(c.Valid) << "byte " << byte << " bit " << bit;
        }
    }
}

TEST(WireClassify, KindDecidesDataBeforeAnyCheck) {
    auto d = Datagram(3, 64, nkData);
    d[0] = 'X'; // wrong signature: still counts as data bytes, but bad
    const auto c = ClassifyDatagram(d.data(), d.size(), d.size());
    EXPECT_TRUE(c.IsData);
    EXPECT_FALSE(c.Valid);
    const auto control = Datagram(3, 64, nkControl);
    EXPECT_FALSE(ClassifyDatagram(control.data(), control.size(), control.size()).IsData);
}

TEST(WireClassify, NeverReadsBeyondTheBytesGiven) {
    // The classifier gets exactly `received` bytes of heap: the sanitizer build
    // catches any read past them.
    for (std::size_t received : {0u, 1u, 7u, 8u, 63u, 64u, 100u}) {
        auto full = Datagram(9, 1450);
        full[8] = 0xFF; // length field far above what arrives
        full[9] = 0x07;
        std::vector<std::uint8_t> exact(full.begin(), full.begin() + static_cast<long>(received));
        const auto c = ClassifyDatagram(exact.data(), exact.size(), received);
        EXPECT_TRUE(c.Bad());
    }
    // A huge length field in a datagram that fills the buffer.
    Buffer buffer{};
    auto d = Datagram(9, 2000);
    std::memcpy(buffer.data(), d.data(), d.size());
    PutU16(buffer.data() + 8, 0xFFFF);
    WriteChecksum(buffer.data());
    EXPECT_FALSE(ClassifyDatagram(buffer.data(), buffer.size(), buffer.size()).Valid);
}

struct LostCase {
    const char* name;
    std::vector<std::uint32_t> sequences;
    std::vector<std::uint16_t> lostAfterEach;
};

class WireLost : public testing::TestWithParam<LostCase> {};

TEST_P(WireLost, CountsSixteenBitDifferences) {
    const auto& c = GetParam();
    std::uint32_t expected = 9;
    std::uint16_t lost = 0;
    for (std::size_t i = 0; i < c.sequences.size(); ++i) {
        lost = static_cast<std::uint16_t>(lost + LostDelta(c.sequences[i], expected));
        expected = c.sequences[i] + 1;
        EXPECT_EQ(lost, c.lostAfterEach[i]) << "after " << c.sequences[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WireLost,
    testing::Values(LostCase{"in_order", {9, 10, 11}, {0, 0, 0}},
                    LostCase{"one_missing", {9, 11, 12}, {0, 1, 1}},
                    LostCase{"reordered", {9, 11, 10, 12}, {0, 1, 65535, 0}},
                    LostCase{"duplicate", {9, 10, 10, 11}, {0, 0, 65535, 65535}},
                    LostCase{"gap_of_ten", {9, 20, 21}, {0, 10, 10}},
                    LostCase{"wraps_32_bits", {9, 0xFFFFFFFF, 0, 1}, {0, 65525, 65525, 65525}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

namespace {

struct StartupCase {
    const char* name;
    bool record;
    std::uint16_t version;
    unsigned maxSockets;
    const char* text;
};

class SocketStartup : public testing::TestWithParam<StartupCase> {};

TEST_P(SocketStartup, ExplainsAnUnusableSocketInterface) {
    const auto& c = GetParam();
    WSADATA data;
    data.wVersion = c.version;
    data.iMaxSockets = c.maxSockets;
    EXPECT_EQ(StartupCheckText(c.record ? &data : nullptr), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SocketStartup,
    testing::Values(StartupCase{"usable", true, MakeWord(2, 2), 1024, ""},
                    StartupCase{"exactly_1_1", true, MakeWord(1, 1), 2, ""},
                    StartupCase{"no_record", false, 0, 0, "WINSOCK.DLL not responding."},
                    StartupCase{"version_1_0", true, MakeWord(1, 0), 1024,
                                "Windows Sockets version 1.0 not supported by WINSOCK.DLL"},
                    StartupCase{"version_0_9", true, MakeWord(0, 9), 1024,
                                "Windows Sockets version 0.9 not supported by WINSOCK.DLL"},
                    StartupCase{"one_socket", true, MakeWord(2, 2), 1,
                                "This application requires a minimum of 2 supported sockets."}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
