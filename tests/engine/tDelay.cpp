// SPDX-License-Identifier: GPL-3.0-or-later
// The extension block on the wire, and the receiver's measurements of the
// peer's traffic: quantiles, the sequence window, jitter.
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cDelay.h"
#include "cNetWire.h"

namespace {

TbNExtBlock SampleBlock() {
    TbNExtBlock b;
    b.Flags = efEcho | efFigures | efDelayKnown;
    b.FiguresInterval = 0x01020304;
    b.SendTimeNs = 0x1112131415161718;
    b.EchoTimeNs = 0x2122232425262728;
    b.HoldNs = 0x3132333435363738;
    b.BytesSent = 0x4142434445464748;
    b.BytesReceived = 0x5152535455565758;
    b.Figures = {0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x71, 0x72, 0x73, 0x74, 0x75, 0x76};
    return b;
}

// A data datagram with the block, as a sender builds it.
std::vector<std::uint8_t> BlockDatagram(std::uint16_t length, const TbNExtBlock& block) {
    TbNHeader h;
    h.Kind = nkData;
    h.Length = length;
    h.Sequence = 7;
    h.PatternOffset = static_cast<std::uint8_t>(kExtMinDatagram);
    h.Report.Reserved = kMarkExtension;
    std::vector<std::uint8_t> d(length, 0);
    EncodeHeader(h, d.data());
    WriteChecksum(d.data());
    EncodeExtBlock(block, d.data() + kHeaderSize);
    WritePattern(d.data(), d.size(), h.Sequence, kExtMinDatagram, length);
    return d;
}

TEST(ExtBlock, FieldsLandAtTheirOffsetsAndComeBack) {
    std::array<std::uint8_t, kExtSize> raw{};
    EncodeExtBlock(SampleBlock(), raw.data());
    EXPECT_EQ(raw[ext::Version], kExtVersion);
    EXPECT_EQ(raw[ext::Length], kExtSize);
    EXPECT_EQ(GetU16(raw.data() + ext::Flags), efEcho | efFigures | efDelayKnown);
    EXPECT_EQ(raw[ext::SendTimeNs], 0x18); // little-endian
    EXPECT_EQ(raw[ext::SendTimeNs + 7], 0x11);
    EXPECT_EQ(GetU64(raw.data() + ext::BytesReceived), 0x5152535455565758u);
    EXPECT_EQ(GetU64(raw.data() + ext::Bytes), 0x66u);
    EXPECT_EQ(GetU32(raw.data() + ext::DelaySamples), 0x76u);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < ext::Check; ++i)
        sum += raw[i];
    EXPECT_EQ(GetU32(raw.data() + ext::Check), sum);

    const auto d = BlockDatagram(400, SampleBlock());
    const TbNDatagramClass c = ClassifyDatagram(d.data(), d.size(), d.size());
    EXPECT_TRUE(c.Valid);
    EXPECT_TRUE(c.PatternOk) << "the pattern starts past the block";
    TbNExtBlock back;
    ASSERT_TRUE(DecodeExtBlock(d.data(), d.size(), back));
    TbNExtBlock expected = SampleBlock();
    expected.Check = sum;
    EXPECT_EQ(back, expected);
}

// Each case spoils one thing; the datagram stays valid, but the block is not
// taken.
struct Spoiled {
    std::string name;
    void (*spoil)(std::vector<std::uint8_t>& d);
};

class ExtBlockRefused : public testing::TestWithParam<Spoiled> {};

TEST_P(ExtBlockRefused, WhenAnythingIsOff) {
    auto d = BlockDatagram(400, SampleBlock());
    GetParam().spoil(d);
    WriteChecksum(d.data());
    TbNExtBlock back;
    EXPECT_FALSE(DecodeExtBlock(d.data(), GetU16(d.data() + hdr::Length), back));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtBlockRefused,
    testing::Values(
        Spoiled{"NoMark", [](auto& d) { d[hdr::Report + rpt::Reserved] = kMarkRcvbufDrops; }},
        Spoiled{"PatternAtTheHeader", [](auto& d) { d[hdr::PatternOffset] = kHeaderSize; }},
        Spoiled{"PatternInsideTheBlock", [](auto& d) { d[hdr::PatternOffset] = 150; }},
        Spoiled{"AFlippedBlockBit", [](auto& d) { d[kHeaderSize + ext::HoldNs] ^= 0x10; }},
        Spoiled{"VersionZero", [](auto& d) { d[kHeaderSize + ext::Version] = 0; }},
        Spoiled{"ShortLength", [](auto& d) { d[kHeaderSize + ext::Length] = 100; }},
        Spoiled{"LengthFieldShorterThanTheBlock",
                [](auto& d) { PutU16(d.data() + hdr::Length, 150); }}),
    [](const auto& info) { return info.param.name; });

TEST(ExtBlock, ALongerLaterVersionIsReadForTheFieldsThisOneKnows) {
    // A later block of 160 bytes: the fields of this version at their offsets,
    // its check in its own last four bytes, the pattern after it.
    auto d = BlockDatagram(400, SampleBlock());
    std::uint8_t* b = d.data() + kHeaderSize;
    b[ext::Version] = 2;
    b[ext::Length] = 160;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 156; ++i)
        sum += b[i];
    PutU32(b + 156, sum);
    d[hdr::PatternOffset] = kHeaderSize + 160;
    WriteChecksum(d.data());
    TbNExtBlock back;
    ASSERT_TRUE(DecodeExtBlock(d.data(), d.size(), back));
    EXPECT_EQ(back.BytesSent, SampleBlock().BytesSent);
    EXPECT_EQ(back.Length, 160);
}

TEST(ExtBlock, AControlDatagramCarriesItWithoutPatternWords) {
    auto d = BlockDatagram(static_cast<std::uint16_t>(kExtMinDatagram), SampleBlock());
    d[hdr::Kind] = nkControl;
    WriteChecksum(d.data());
    const TbNDatagramClass c = ClassifyDatagram(d.data(), d.size(), d.size());
    EXPECT_TRUE(c.Valid);
    EXPECT_TRUE(c.PatternOk);
    TbNExtBlock back;
    EXPECT_TRUE(DecodeExtBlock(d.data(), d.size(), back));
}

// ---------------------------------------------------------------- quantiles

TEST(DelayHistogram, BucketsCoverEveryValueWithoutGaps) {
    // Each bucket starts where the one before it ends, up to the top value.
    for (std::size_t i = 1; i < TbNHistogram::kBuckets; ++i)
        ASSERT_EQ(TbNHistogram::BucketLow(i),
                  TbNHistogram::BucketLow(i - 1) + TbNHistogram::BucketWidth(i - 1))
            << i;
    for (const std::uint32_t v :
         {0u, 1u, 127u, 128u, 129u, 1000u, 65535u, 20'000'000u, 0xFFFFFFFFu}) {
        const std::size_t i = TbNHistogram::Index(v);
        ASSERT_LT(i, TbNHistogram::kBuckets);
        EXPECT_LE(TbNHistogram::BucketLow(i), v);
        EXPECT_LT(v - TbNHistogram::BucketLow(i), TbNHistogram::BucketWidth(i));
    }
}

TEST(DelayHistogram, QuantilesAreWithinTheBucketResolution) {
    TbNHistogram h;
    EXPECT_EQ(h.Quantile(0.5), 0u);
    // 1 .. 10000 µs in ns: the median 5000 µs, p99 9900 µs.
    for (std::uint64_t us = 1; us <= 10000; ++us)
        h.Add(us * 1000);
    EXPECT_EQ(h.Count(), 10000u);
    EXPECT_EQ(h.Min(), 1000u);
    EXPECT_EQ(h.Max(), 10'000'000u);
    EXPECT_NEAR(h.Quantile(0.50), 5'000'000.0, 5'000'000.0 * 0.008);
    EXPECT_NEAR(h.Quantile(0.99), 9'900'000.0, 9'900'000.0 * 0.008);
    EXPECT_EQ(h.Quantile(1.0), 10'000'000u) << "never above the largest sample";
    EXPECT_EQ(h.Quantile(0.0), 1000u) << "never below the smallest";
    h.Add(std::uint64_t{1} << 40);
    EXPECT_EQ(h.Max(), 0xFFFFFFFFu) << "beyond 4.3 s counts as the top";
    h.Clear();
    EXPECT_EQ(h.Count(), 0u);
    h.Add(42);
    EXPECT_EQ(h.Quantile(0.99), 42u) << "cleared buckets hold nothing of before";
}

// ---------------------------------------------------------------- sequence window

struct SeqCase {
    std::string name;
    std::vector<std::uint32_t> arrivals;
    std::uint64_t received, lost, late, duplicate;
};

class SeqWindow : public testing::TestWithParam<SeqCase> {};

TEST_P(SeqWindow, CountsWhatCameLateTwiceOrNever) {
    TbNSeqWindow w;
    for (const std::uint32_t s : GetParam().arrivals)
        w.Add(s);
    EXPECT_EQ(w.Received(), GetParam().received);
    EXPECT_EQ(w.Lost(), GetParam().lost);
    EXPECT_EQ(w.Late(), GetParam().late);
    EXPECT_EQ(w.Duplicate(), GetParam().duplicate);
}

std::vector<std::uint32_t> Range(std::uint32_t from, std::uint32_t to) {
    std::vector<std::uint32_t> v;
    for (std::uint32_t s = from; s != to; ++s)
        v.push_back(s);
    return v;
}

std::vector<std::uint32_t> Join(std::vector<std::uint32_t> a, const std::vector<std::uint32_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SeqWindow,
    testing::Values(SeqCase{"InOrder", Range(5, 105), 100, 0, 0, 0},
                    SeqCase{"AGap", {9, 11, 12}, 3, 1, 0, 0},
                    SeqCase{"ReorderedIsLateNotLost", {9, 11, 10, 12}, 4, 0, 1, 0},
                    SeqCase{"HeldBackThreePlaces", {1, 2, 4, 5, 6, 3, 7}, 7, 0, 1, 0},
                    SeqCase{"ARepeat", {1, 2, 2, 3}, 3, 0, 0, 1},
                    SeqCase{"ALateOneRepeated", {1, 3, 2, 2, 4}, 4, 0, 1, 1},
                    SeqCase{"AcrossTheWrap", {0xFFFFFFFE, 0xFFFFFFFF, 1, 0, 2}, 5, 0, 1, 0},
                    // Older than the window: late (its gap, had it been one, taken back);
                    // a repeat that old cannot be told from a late one.
                    SeqCase{"OlderThanTheWindow", Join(Range(0, 5000), {10}), 5001, 0, 1, 0},
                    // Far behind: the sender numbers again from 0; nothing counts lost.
                    SeqCase{"ARestartedSender", Join(Range(100000, 100010), Range(0, 10)), 20, 0, 0,
                            0},
                    SeqCase{"AJumpBeyondTheWindowForgetsIt", {1, 2, 10000, 2}, 4, 9996, 1, 0}),
    [](const auto& info) { return info.param.name; });

// ---------------------------------------------------------------- jitter, delay

TEST(DelayMeter, JitterFollowsTheRtpEstimator) {
    // Transit times alternating by 1 ms: |D| is always 1 ms, and the estimate
    // J += (|D| - J) / 16 approaches it: after n steps J = 1 ms x (1 - (15/16)^n).
    TbNDelayMeter m;
    const std::int64_t offset = 123'456'789'000; // the two clocks' offset: cancels
    for (int i = 0; i <= 100; ++i) {
        const std::uint64_t send = static_cast<std::uint64_t>(i) * 10'000'000;
        m.AddDelay(send, static_cast<std::int64_t>(send) + offset + (i % 2) * 1'000'000);
    }
    const double expected = 1e6 * (1.0 - std::pow(15.0 / 16.0, 100));
    EXPECT_NEAR(m.JitterNs(), expected, 1.0);
    const TbNDelayInterval closed = m.Close(0, 0);
    EXPECT_TRUE(closed.DelayKnown);
    EXPECT_EQ(closed.Figures.DelaySamples, 101u);
    EXPECT_EQ(closed.Figures.DelayMinNs, 0u) << "above the smallest transit";
    EXPECT_EQ(closed.Figures.DelayMaxNs, 1'000'000u);
    EXPECT_NEAR(closed.Figures.JitterNs, expected, 1.0);
}

TEST(DelayMeter, AClosedIntervalStartsTheSamplesAgainAndAResetEverything) {
    TbNDelayMeter m;
    m.AddDatagram(1);
    m.AddDatagram(3);
    m.AddDelay(0, 5'000'000);
    m.AddDelay(1'000'000, 8'000'000); // 2 ms above the first
    m.AddRtt(40'000'000);
    TbNDelayInterval first = m.Close(1000, 2);
    EXPECT_EQ(first.Number, 1u);
    EXPECT_EQ(first.Figures.Received, 2u);
    EXPECT_EQ(first.Figures.Lost, 1u);
    EXPECT_EQ(first.Figures.Bytes, 1000u);
    EXPECT_EQ(first.Figures.RcvbufDrops, 2u);
    EXPECT_EQ(first.Figures.DelayMaxNs, 2'000'000u);
    EXPECT_EQ(first.RttSamples, 1u);
    EXPECT_EQ(first.RttP50Ns, 40'000'000u);

    const TbNDelayInterval quiet = m.Close(1000, 2);
    EXPECT_EQ(quiet.Number, 2u);
    EXPECT_EQ(quiet.Figures.DelaySamples, 0u);
    EXPECT_EQ(quiet.RttSamples, 0u);
    EXPECT_EQ(quiet.Figures.Received, 2u) << "counters are cumulative";
    EXPECT_TRUE(quiet.DelayKnown) << "known since the reset, not per interval";

    m.Reset();
    const TbNDelayInterval after = m.Close(0, 0);
    EXPECT_EQ(after.Number, 3u) << "the numbering goes on across resets";
    EXPECT_FALSE(after.DelayKnown);
    EXPECT_FALSE(after.RttKnown);
    EXPECT_EQ(after.Figures.Received, 0u);
}

} // namespace
