// SPDX-License-Identifier: GPL-3.0-or-later
// The extension block between real engines, and towards peers that speak
// only the described datagrams: who gets the block, what it measures.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "NetNs.h"
#include "cNet0.h"
#include "tHelpers.h"
#include "uConfig.h"

namespace {

using namespace std::chrono_literals;
using testhelp::WaitUntil;

class EngineExtTest : public testing::Test {
protected:
    void SetUp() override {
        CfgOpt = TCfgOpt{};
        Cfg = TCfg{};
        NetOutward = TNetOutward{};
    }
    void TearDown() override {
        m_engines.clear();
        CfgOpt = TCfgOpt{};
    }
    TbNBSClient& Engine(const netns::Topology& net, int host, bool extension = true) {
        CfgOpt.Extension = extension ? 1 : 0;
        netns::HostScope in(net, host);
        m_engines.push_back(std::make_unique<TbNBSClient>());
        return *m_engines.back();
    }
    static void BothKnown(TbNBSClient& a, TbNBSClient& b) {
        ASSERT_TRUE(
            WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    }
    // Every record waiting in the ring (the first take's baseline included).
    static std::vector<TbNReportRecord> Records(TbNBSClient& e, TbNReportRing& ring) {
        std::vector<TbNReportRecord> out(kRingSize);
        std::int32_t count = kRingSize;
        e.GetRecords(ring, out.data(), count);
        out.resize(static_cast<std::size_t>(count));
        return out;
    }

    std::vector<std::unique_ptr<TbNBSClient>> m_engines;
};

// A plain socket on the peer's host, bound to the engine port: it sees the
// engine's datagrams as a described-format peer would, and answers with
// hand-made ones.
class PlainPeer final {
public:
    PlainPeer(const netns::Topology& net, int host, const std::string& engineAddress) {
        netns::HostScope in(net, host);
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in self{};
        self.sin_family = AF_INET;
        self.sin_port = htons(2222);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&self), sizeof self);
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(2222);
        m_to.sin_addr.s_addr = inet_addr(engineAddress.c_str());
    }
    ~PlainPeer() { closesocket(m_fd); }
    PlainPeer(const PlainPeer&) = delete;
    PlainPeer& operator=(const PlainPeer&) = delete;

    // A data datagram of the described format; `mark` adds the extension's
    // advertising bit (and nothing else).
    void Send(std::uint32_t sequence, bool mark) const {
        TbNHeader h;
        h.Length = 300;
        h.Sequence = sequence;
        h.Instance = 0x5151;
        h.Report.Reserved = mark ? kMarkExtension : 0;
        std::vector<std::uint8_t> d(h.Length);
        EncodeHeader(h, d.data());
        WriteChecksum(d.data());
        WritePattern(d.data(), d.size(), sequence, kHeaderSize, h.Length);
        ::sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&m_to),
                 sizeof m_to);
    }
    // The datagrams that arrived so far (whole, as received).
    std::vector<std::vector<std::uint8_t>> Take() {
        std::vector<std::vector<std::uint8_t>> got;
        std::vector<std::uint8_t> d(kBufferSize);
        for (;;) {
            const auto n = ::recv(m_fd, d.data(), d.size(), MSG_DONTWAIT);
            if (n < 0)
                break;
            got.emplace_back(d.begin(), d.begin() + n);
        }
        return got;
    }

private:
    SOCKET m_fd = INVALID_SOCKET;
    sockaddr_in m_to{};
};

bool HasBlock(const std::vector<std::uint8_t>& d) {
    TbNExtBlock b;
    return DecodeExtBlock(d.data(), d.size(), b);
}

// What a described-format peer may rely on: the pattern right after the
// header, control datagrams of exactly 64 bytes, the pattern right.
void ExpectDescribedFormat(const std::vector<std::uint8_t>& d) {
    ASSERT_GE(d.size(), kHeaderSize);
    const TbNDatagramClass c = ClassifyDatagram(d.data(), d.size(), d.size());
    EXPECT_TRUE(c.Valid && c.PatternOk);
    EXPECT_EQ(d[hdr::PatternOffset], kHeaderSize);
    if (d[hdr::Kind] == nkControl) {
        EXPECT_EQ(d.size(), kHeaderSize);
    }
    EXPECT_FALSE(HasBlock(d));
}

TEST_F(EngineExtTest, TwoCopiesExchangeTheBlockAndMeasureTheRoundTrip) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    BothKnown(a, b);
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(2000, false);
    a.SetPacketSize(554, false); // 500-byte datagrams: room for the block
    a.SetSending(true, false);
    // The idle peer adopts this copy and answers every interval: both learn
    // that the other speaks the extension.
    ASSERT_TRUE(WaitUntil([&] { return a.PeerHasExtension() && b.PeerHasExtension(); }));

    // This side's records: round trips from the echoes in the answers.
    TbNDelayRecord local;
    ASSERT_TRUE(WaitUntil([&] {
        for (const TbNReportRecord& r : Records(a, a.LocalReports()))
            if (r.Delay.RttSamples > 0)
                local = r.Delay;
        return local.RttSamples > 0;
    })) << "no round-trip time was measured";
    EXPECT_TRUE(local.Known && local.RttKnown);
    EXPECT_GT(local.RttP50Ns, 0u);
    EXPECT_LT(local.RttMaxNs, 100'000'000u) << "a veth pair, not a satellite link";

    // The peer measures this side's data: its figures ride back.
    TbNDelayRecord remote;
    ASSERT_TRUE(WaitUntil([&] {
        for (const TbNReportRecord& r : Records(a, a.RemoteReports()))
            if (r.Delay.Known && r.Delay.Figures.DelaySamples > 0)
                remote = r.Delay;
        return remote.Figures.Received > 20;
    }));
    EXPECT_TRUE(remote.DelayKnown);
    EXPECT_EQ(remote.Figures.Lost, 0u);
    EXPECT_EQ(remote.Figures.Late, 0u);
    EXPECT_EQ(remote.Figures.Duplicate, 0u);
    EXPECT_GT(remote.Figures.Bytes, 20u * 500);
    EXPECT_LE(remote.Figures.DelayP50Ns, remote.Figures.DelayP99Ns);
    EXPECT_LE(remote.Figures.DelayP99Ns, remote.Figures.DelayMaxNs);
    a.SetSending(false, false);
}

// Datagrams to a destination that never advertised the extension are the
// described ones; the block starts after a valid datagram with the mark and
// stops at once after one without it.
TEST_F(EngineExtTest, TheBlockGoesOnlyToADestinationThatAdvertisedIt) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty(); }));
    PlainPeer peer(net, 1, net.Address(0));
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(1000, false);
    a.SetPacketSize(554, false);
    a.SetSending(true, false);
    std::uint32_t sequence = 0;
    peer.Send(sequence++, false);

    std::vector<std::vector<std::uint8_t>> before;
    ASSERT_TRUE(WaitUntil([&] {
        for (auto& d : peer.Take())
            before.push_back(std::move(d));
        return before.size() >= 20;
    }));
    for (const auto& d : before) {
        ExpectDescribedFormat(d);
        EXPECT_NE(d[hdr::Report + rpt::Reserved] & kMarkExtension, 0) << "it advertises";
    }
    EXPECT_FALSE(a.PeerHasExtension());

    peer.Send(sequence++, true);
    std::vector<std::vector<std::uint8_t>> marked;
    ASSERT_TRUE(WaitUntil([&] {
        for (auto& d : peer.Take())
            marked.push_back(std::move(d));
        return !marked.empty() && HasBlock(marked.back());
    })) << "the block starts once the destination advertised it";

    peer.Send(sequence++, false);
    // In sequence order: once a datagram went without the block, none after
    // it has one.
    std::vector<std::vector<std::uint8_t>> after;
    bool stopped = false;
    ASSERT_TRUE(WaitUntil([&] {
        for (auto& d : peer.Take()) {
            if (!HasBlock(d))
                stopped = true;
            else
                EXPECT_FALSE(stopped) << "a block after the peer stopped advertising";
            after.push_back(std::move(d));
        }
        return stopped && after.size() >= 40;
    }));
    a.SetSending(false, false);
}

// With the setting off an engine is a described-format copy: no mark, no
// block, also towards a peer that advertises the extension.
TEST_F(EngineExtTest, SwitchedOffItSpeaksOnlyTheDescribedFormat) {
    netns::Topology net(2);
    auto& a = Engine(net, 0, false);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty(); }));
    PlainPeer peer(net, 1, net.Address(0));
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(1000, false);
    a.SetPacketSize(554, false);
    a.SetSending(true, false);
    std::uint32_t sequence = 0;
    std::vector<std::vector<std::uint8_t>> got;
    ASSERT_TRUE(WaitUntil([&] {
        peer.Send(sequence++, true);
        for (auto& d : peer.Take())
            got.push_back(std::move(d));
        return got.size() >= 40;
    }));
    a.SetSending(false, false);
    for (const auto& d : got) {
        ExpectDescribedFormat(d);
        EXPECT_EQ(d[hdr::Report + rpt::Reserved] & kMarkExtension, 0);
    }
    EXPECT_FALSE(a.PeerHasExtension());
    for (const TbNReportRecord& r : Records(a, a.LocalReports()))
        EXPECT_FALSE(r.Delay.Known) << "nothing measured beyond the described counters";
}

// The peer's rates come from its counters and the time they were read at:
// a record's bytes and stamp belong together, whatever the phase of the two
// copies' intervals. (From the header's report alone they do not: the
// stamp is the peer's last interval end, the bytes run on.)
TEST_F(EngineExtTest, ThePeersRatesFollowItsOwnClock) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    BothKnown(a, b);
    // Intervals of different length: the records fall at every phase of the
    // peer's intervals.
    a.SetInfoTime(130);
    a.SetRemoteHost(net.Address(1));
    constexpr std::int32_t kKbps = 20'000;
    a.SetSpeed(kKbps, true);
    a.SetPacketSize(1054, true);
    a.SetSending(true, true);
    ASSERT_TRUE(WaitUntil([&] { return a.PeerHasExtension() && b.IsSending(false); }));
    // Past the start's resets.
    ASSERT_TRUE(WaitUntil([&] { return a.CurrentReport().BytesReceived > 200'000; }));
    Records(a, a.RemoteReports());

    std::vector<TbNReportRecord> records;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const auto& r : Records(a, a.RemoteReports()))
                records.push_back(r);
            return records.size() >= 25;
        },
        10s));
    a.SetSending(false, true);
    // A busy machine may hold the peer's sending up now and then (then it
    // really sends less): most pairs, not all, hold the rate. From the
    // header's stamps hardly any pair does.
    int pairs = 0;
    int held = 0;
    std::string rates;
    for (std::size_t i = 1; i < records.size(); ++i) {
        const TbNReport& p = records[i - 1].Report;
        const TbNReport& r = records[i].Report;
        const auto dt = static_cast<std::uint16_t>(r.Stamp - p.Stamp);
        if (dt < 50)
            continue; // too short to hold a rate to a few per cent
        ++pairs;
        const double kbps = (r.BytesSent - p.BytesSent) * 8.0 / dt;
        held += std::abs(kbps - kKbps) <= kKbps * 0.15 ? 1 : 0;
        rates += " " + std::to_string(static_cast<int>(kbps)) + "/" + std::to_string(dt) + "ms";
    }
    EXPECT_GE(pairs, 15);
    EXPECT_GE(held, pairs * 8 / 10) << "kbit/s over each pair:" << rates;
}

} // namespace

namespace {

// ---------------------------------------------------------------- across the bridge

// The figures host 1 measured of host 0's traffic, once they cover every
// datagram the bridge passed that way (the sender stopped first).
// `seen` gets every record taken on the way.
TbNDelayInterval FinalFigures(TbNBSClient& receiver, const netns::Topology& net,
                              std::vector<TbNDelayRecord>* seen = nullptr) {
    std::size_t passed = 0;
    TbNDelayInterval last;
    std::vector<TbNReportRecord> records(kRingSize);
    WaitUntil(
        [&] {
            std::int32_t count = kRingSize;
            receiver.GetRecords(receiver.LocalReports(), records.data(), count);
            for (std::int32_t i = 0; i < count; ++i) {
                const TbNDelayRecord& d = records[static_cast<std::size_t>(i)].Delay;
                if (seen != nullptr)
                    seen->push_back(d);
                last.Number = d.Interval;
                last.Figures = d.Figures;
                last.DelayKnown = d.DelayKnown;
            }
            const netns::BridgeStats s = net.Bridge().Stats(netns::Direction::AToB);
            passed = s.datagramsForwarded - s.duplicated;
            return passed > 0 && last.Figures.Received == passed;
        },
        5s, 20ms);
    EXPECT_EQ(last.Figures.Received, passed) << "the figures cover what the bridge passed";
    return last;
}

// Sends data host 0 -> host 1 for a while, the idle host 1 answering.
void SendAcross(TbNBSClient& a, TbNBSClient& b, const netns::Topology& net, std::int32_t kbps,
                std::uint32_t datagrams) {
    // The record starts here: the discovery broadcasts before are no test
    // traffic (and may still be on their way through the bridge).
    ASSERT_TRUE(WaitUntil([&] {
        const netns::BridgeStats s = net.Bridge().Stats(netns::Direction::AToB);
        return s.framesForwarded + s.dropped + s.overflow == s.frames + s.duplicated;
    }));
    net.Bridge().Reset(netns::Direction::AToB);
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(kbps, false);
    a.SetPacketSize(554, false);
    a.SetSending(true, false);
    ASSERT_TRUE(WaitUntil([&] { return a.PeerHasExtension() && b.PeerHasExtension(); }, 5s));
    ASSERT_TRUE(WaitUntil(
        [&] { return net.Bridge().Stats(netns::Direction::AToB).datagrams >= datagrams; }, 30s));
    a.SetSending(false, false);
}

class EngineBridgeTest : public EngineExtTest {};

// 20 ms each way: the round trip is 40 ms, whatever the idle side's hold.
TEST_F(EngineBridgeTest, TheRoundTripIsTheDelayAddedBothWays) {
    const netns::Impairment way{.delayUs = 20000};
    netns::Topology net(netns::Bridged{way, way});
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    BothKnown(a, b);
    SendAcross(a, b, net, 2000, 1500);
    std::vector<double> p50;
    for (const TbNReportRecord& r : Records(a, a.LocalReports()))
        if (r.Delay.RttSamples > 0)
            p50.push_back(r.Delay.RttP50Ns);
    ASSERT_GE(p50.size(), 5u);
    // Never below what the bridge adds; the median of the intervals within
    // a millisecond of it. One interval's median may be late by a few
    // milliseconds on a loaded machine (a late wake-up of a host or of the
    // bridge), most are not.
    std::sort(p50.begin(), p50.end());
    EXPECT_GE(p50.front(), 39e6);
    EXPECT_NEAR(p50[p50.size() / 2], 40e6, 1e6);
    const auto near =
        std::count_if(p50.begin(), p50.end(), [](double ns) { return std::abs(ns - 40e6) <= 1e6; });
    EXPECT_GE(near * 4, static_cast<std::ptrdiff_t>(p50.size() * 3)) << "of " << p50.size();
}

// A spread of 0..4 ms one way: the receiver's delay above the minimum spans
// it, and its jitter is what the bridge's own record gives.
TEST_F(EngineBridgeTest, DelayAboveTheMinimumAndJitterFollowTheSpread) {
    const netns::Impairment spread{.delayUs = 5000, .spreadUs = 4000, .seed = 11};
    netns::Topology net(netns::Bridged{spread, {}});
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    BothKnown(a, b);
    SendAcross(a, b, net, 2000, 2000);
    std::vector<TbNDelayRecord> seen;
    const TbNDelayInterval last = FinalFigures(b, net, &seen);
    ASSERT_TRUE(last.DelayKnown);
    const auto record = net.Bridge().Record(netns::Direction::AToB);
    const double expected = netns::JitterNs(record);
    ASSERT_GT(expected, 100'000.0) << "the spread makes jitter";
    EXPECT_NEAR(last.Figures.JitterNs, expected, expected * 0.2);

    // Per interval, the delay above the minimum stays within the spread the
    // bridge really added (its own late wake-ups included) plus the
    // scheduling noise of two hosts on one busy machine. A late wake-up of a
    // sender can lift one interval's maximum, never most of them, and never
    // by a factor: a maximum in the wrong unit or not reset at the
    // interval's close would.
    const netns::DelaySummary added = netns::AddedDelay(record);
    const auto bound = static_cast<std::uint64_t>(added.maxNs - added.minNs) + 5'000'000u;
    std::vector<std::pair<double, std::uint64_t>> p99;
    std::size_t aboveTheSpread = 0;
    for (const TbNDelayRecord& d : seen) {
        if (d.Figures.DelaySamples < 50)
            continue;
        EXPECT_LE(d.Figures.DelayMaxNs, 100'000'000u);
        if (d.Figures.DelayMaxNs > bound)
            ++aboveTheSpread;
        p99.emplace_back(d.Figures.DelayP99Ns, 1);
    }
    ASSERT_GE(p99.size(), 5u);
    EXPECT_LE(aboveTheSpread * 2, p99.size())
        << "most intervals' maxima lie within " << bound << " ns";
    std::sort(p99.begin(), p99.end());
    EXPECT_NEAR(p99[p99.size() / 2].first, static_cast<double>(added.p99Ns - added.minNs),
                800'000.0)
        << "the median of the intervals' 99th percentiles";
}

// Every 100th datagram three places late, every 200th twice: the receiver
// counts exactly what the bridge did, and none of them as never arrived.
TEST_F(EngineBridgeTest, LateAndDuplicateAreExactlyWhatTheBridgeDid) {
    const netns::Impairment shuffle{.reorderEvery = 100, .reorderBy = 3, .duplicateEvery = 200};
    netns::Topology net(netns::Bridged{shuffle, {}});
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    BothKnown(a, b);
    SendAcross(a, b, net, 4000, 2500);
    const TbNDelayInterval last = FinalFigures(b, net);
    const netns::BridgeStats s = net.Bridge().Stats(netns::Direction::AToB);
    ASSERT_GE(s.reordered, 20u);
    ASSERT_GE(s.duplicated, 10u);
    EXPECT_EQ(last.Figures.Late, netns::LateCount(net.Bridge().Record(netns::Direction::AToB)));
    EXPECT_EQ(last.Figures.Late, s.reordered);
    EXPECT_EQ(last.Figures.Duplicate, s.duplicated);
    EXPECT_EQ(last.Figures.Lost, 0u);
}

} // namespace
