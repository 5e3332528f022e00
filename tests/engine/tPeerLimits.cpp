// SPDX-License-Identifier: GPL-3.0-or-later
// What a copy obeys of its peers, with real engines between harness hosts: a
// commanded sending ends when its peer falls silent or its time is up, a
// commanded speed is lowered to the limit, sources outside the allow list
// are ignored, and a datagram with a forged source makes only a bounded
// burst towards the forged address.
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <netinet/ip.h>
#include <netinet/udp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include "NetNs.h"
#include "tHelpers.h"
#include "cNet0.h"
#include "uConfig.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testhelp::WaitUntil;

constexpr std::int32_t kSilence = 3; // s, the lowest PeerSilence at InfoTime 200 ms

class PeerLimits : public testing::Test {
protected:
    void SetUp() override {
        CfgOpt = TCfgOpt{};
        Cfg = TCfg{};
        CfgOpt.PeerSilence = kSilence;
        NetOutward = TNetOutward{};
    }
    void TearDown() override { m_engines.clear(); }

    TbNBSClient& Engine(int host) {
        netns::HostScope in(*m_net, host);
        m_engines.push_back(std::make_unique<TbNBSClient>());
        return *m_engines.back();
    }
    void Destroy(const TbNBSClient& engine) {
        std::erase_if(m_engines, [&](const auto& e) { return e.get() == &engine; });
    }
    // Both know their own address; a commands b to send at `kbps`.
    void Command(TbNBSClient& a, TbNBSClient& b, std::int32_t kbps) {
        ASSERT_TRUE(
            WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
        a.SetRemoteHost(m_net->Address(1));
        a.SetSpeed(kbps, true);
        a.SetSending(true, true);
        ASSERT_TRUE(WaitUntil([&] { return b.IsSending(false); }));
        EXPECT_TRUE(b.SendingCommanded());
    }

    std::unique_ptr<netns::Topology> m_net;
    std::vector<std::unique_ptr<TbNBSClient>> m_engines;
};

// A datagram with a header that commands the receiver to send, as any copy
// of the LAN (or anyone with a raw socket) can make one.
std::vector<std::uint8_t> SendCommand(std::uint32_t kbps) {
    TbNHeader h;
    h.Kind = nkControl;
    h.Length = kHeaderSize;
    h.Flags = nfSendCmd | nfSendOn | nfSpeedCmd;
    h.RequestedSpeed = kbps;
    h.Instance = 0x4242;
    std::vector<std::uint8_t> d(kHeaderSize);
    EncodeHeader(h, d.data());
    WriteChecksum(d.data());
    return d;
}

TEST_F(PeerLimits, ACommandedSendingStopsWhenTheCommandingPeerVanishes) {
    m_net = std::make_unique<netns::Topology>(2);
    auto& a = Engine(0);
    auto& b = Engine(1);
    Command(a, b, 2000);
    EXPECT_EQ(b.PeerSilenceInForce(), kSilence * 1000);
    // The tester is gone without a word more (a crash, a pulled cable).
    Destroy(a);
    const auto gone = Clock::now();
    ASSERT_TRUE(WaitUntil([&] { return !b.IsSending(false); }, (kSilence + 1) * 1000ms))
        << "still sending " << std::chrono::duration<double>(Clock::now() - gone).count()
        << " s after the peer went";
    EXPECT_GE(Clock::now() - gone, (kSilence - 1) * 1000ms) << "stopped long before the silence";
    EXPECT_TRUE(b.SendingStoppedChanged.load());
    EXPECT_EQ(b.StopCause(), nsPeerSilent);
    EXPECT_FALSE(b.SendingCommanded());
    // An ordinary own sending-off: the peer would read the stopped state.
    EXPECT_NE(b.OutgoingFlags() & nfStopped, 0);
}

TEST_F(PeerLimits, ALivePeersTestIsNeverStopped) {
    m_net = std::make_unique<netns::Topology>(2);
    auto& a = Engine(0);
    auto& b = Engine(1);
    // Only the peer sends: this side answers once per interval, no more.
    Command(a, b, 1000);
    EXPECT_FALSE(WaitUntil([&] { return !b.IsSending(false); }, (kSilence + 2) * 1000ms));
    EXPECT_FALSE(b.SendingStoppedChanged.load());
    EXPECT_LT(b.PeerSilentMs(), 1000u);
}

TEST_F(PeerLimits, ASendingStartedLocallyIsNotStoppedBySilence) {
    m_net = std::make_unique<netns::Topology>(2);
    auto& b = Engine(1);
    ASSERT_TRUE(WaitUntil([&] { return !b.LocalAddress().empty(); }));
    b.SetRemoteHost(m_net->Address(0)); // nobody there answers
    b.SetSpeed(500, false);
    b.SetSending(true, false);
    EXPECT_FALSE(b.SendingCommanded());
    EXPECT_FALSE(WaitUntil([&] { return !b.IsSending(false); }, (kSilence + 2) * 1000ms));
    EXPECT_FALSE(b.SendingStoppedChanged.load());
    EXPECT_EQ(b.PeerSilentMs(), ~0u) << "never heard";
}

TEST_F(PeerLimits, PeerSilenceZeroNeverStops) {
    CfgOpt.PeerSilence = 0;
    m_net = std::make_unique<netns::Topology>(2);
    auto& a = Engine(0);
    auto& b = Engine(1);
    Command(a, b, 500);
    EXPECT_EQ(b.PeerSilenceInForce(), 0);
    Destroy(a);
    EXPECT_FALSE(WaitUntil([&] { return !b.IsSending(false); }, (kSilence + 2) * 1000ms));
}

TEST_F(PeerLimits, ACommandedSpeedAboveTheLimitIsLoweredAndThePeerReadsIt) {
    CfgOpt.PeerMaxSpeed = 3000;
    m_net = std::make_unique<netns::Topology>(2);
    auto& a = Engine(0);
    auto& b = Engine(1);
    Command(a, b, 20000);
    EXPECT_EQ(b.GetSpeed(false), 3000);
    EXPECT_TRUE(WaitUntil([&] { return a.PeerSpeed.load() == 3000u; }))
        << "the own-speed field carries the lowered speed";
    // Below the limit a command is taken as it is.
    a.SetSpeed(2000, true);
    EXPECT_TRUE(WaitUntil([&] { return b.GetSpeed(false) == 2000; }));
}

TEST_F(PeerLimits, OneCommandedSendingEndsAfterTheLongestSendTime) {
    CfgOpt.PeerMaxSendTime = 1;
    m_net = std::make_unique<netns::Topology>(2);
    auto& a = Engine(0);
    auto& b = Engine(1);
    Command(a, b, 500);
    const auto started = Clock::now();
    ASSERT_TRUE(WaitUntil([&] { return !b.IsSending(false); }, 2500ms)) << "the peer is alive";
    EXPECT_GE(Clock::now() - started, 600ms);
    EXPECT_EQ(b.StopCause(), nsMaxSendTime);
    EXPECT_TRUE(WaitUntil([&] { return !a.IsSending(true); })) << "the peer reads the stop";
}

TEST_F(PeerLimits, SourcesOutsideTheAllowListAreCountedAndNeverObeyedAnsweredOrAdopted) {
    CfgOpt.PeerAllow = "198.18.0.3/32";
    m_net = std::make_unique<netns::Topology>(3);
    auto& b = Engine(1);
    auto& a = Engine(0);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    ASSERT_EQ(b.Limits().Allow.Count, 1);
    a.SetRemoteHost(m_net->Address(1));
    a.SetSpeed(1000, true);
    a.SetSending(true, true);
    a.SetSending(true, false); // data as well, which an idle copy would answer
    ASSERT_TRUE(WaitUntil([&] { return b.CurrentReport().BytesFromOthers > 10 * 1000; }));
    EXPECT_FALSE(b.IsSending(false));
    EXPECT_NE(b.Destination(), m_net->AddressNet(0)) << "not adopted";
    EXPECT_EQ(b.CurrentReport().BytesReceived, 0u);
    EXPECT_EQ(a.CurrentReport().BytesReceived, 0u) << "nothing answered";

    // The allowed host is obeyed.
    auto& c = Engine(2);
    ASSERT_TRUE(WaitUntil([&] { return !c.LocalAddress().empty(); }));
    c.SetRemoteHost(m_net->Address(1));
    c.SetSending(true, true);
    EXPECT_TRUE(WaitUntil([&] { return b.IsSending(false); }));
    EXPECT_EQ(b.Destination(), m_net->AddressNet(2));
}

// Forged source: host 0 sends one command with host 2's address as its
// source through a raw socket; host 2 runs no copy and never answers. Host
// 2's firewall counts (and drops) what arrives for the port.
TEST_F(PeerLimits, AForgedSourceGetsOnlyABoundedBurst) {
    m_net = std::make_unique<netns::Topology>(3);
    auto& b = Engine(1);
    ASSERT_TRUE(WaitUntil([&] { return !b.LocalAddress().empty(); }));
    netns::DropEveryNth victim(*m_net, 2, 1, CfgOpt.Port);

    constexpr std::uint32_t kKbps = 20000;
    const std::vector<std::uint8_t> payload = SendCommand(kKbps);
    std::vector<std::uint8_t> packet(sizeof(iphdr) + sizeof(udphdr) + payload.size());
    auto* ip = reinterpret_cast<iphdr*>(packet.data());
    ip->version = 4;
    ip->ihl = 5;
    ip->ttl = 64;
    ip->protocol = IPPROTO_UDP;
    ip->tot_len = htons(static_cast<std::uint16_t>(packet.size()));
    ip->saddr = m_net->AddressNet(2); // forged
    ip->daddr = m_net->AddressNet(1);
    auto* udp = reinterpret_cast<udphdr*>(packet.data() + sizeof(iphdr));
    udp->source = htons(static_cast<std::uint16_t>(CfgOpt.Port));
    udp->dest = htons(static_cast<std::uint16_t>(CfgOpt.Port));
    udp->len = htons(static_cast<std::uint16_t>(sizeof(udphdr) + payload.size()));
    std::memcpy(packet.data() + sizeof(iphdr) + sizeof(udphdr), payload.data(), payload.size());
    int raw = -1;
    {
        netns::HostScope in(*m_net, 0);
        raw = ::socket(AF_INET, SOCK_RAW, IPPROTO_RAW); // the IP header is ours
    }
    ASSERT_GE(raw, 0) << std::strerror(errno);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = m_net->AddressNet(1);
    ASSERT_EQ(
        ::sendto(raw, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
        static_cast<ssize_t>(packet.size()));
    const auto forged = Clock::now();
    ::close(raw);

    ASSERT_TRUE(WaitUntil([&] { return b.IsSending(false); })) << "the forged command is obeyed";
    EXPECT_EQ(b.Destination(), m_net->AddressNet(2));
    ASSERT_TRUE(WaitUntil([&] { return !b.IsSending(false); }, (kSilence + 1) * 1000ms + 500ms));
    EXPECT_LE(Clock::now() - forged, (kSilence + 1) * 1000ms + 500ms);
    EXPECT_EQ(b.StopCause(), nsPeerSilent);

    // What reached the forged address: at most the commanded rate for the
    // silence and one interval more, with room for the pacing's bursts.
    const std::uint64_t datagrams = victim.Dropped() + victim.Passed();
    const double bytes = static_cast<double>(datagrams) * b.GetPacketSize(false);
    const double bound = kKbps * 1000.0 / 8 * (kSilence + 1) * 1.25;
    RecordProperty("datagrams_to_forged_address", std::to_string(datagrams));
    RecordProperty("bytes_bound", std::to_string(static_cast<std::uint64_t>(bound)));
    EXPECT_GT(datagrams, 0u) << "the burst went to the forged address";
    EXPECT_LE(bytes, bound);
    const std::uint64_t atStop = victim.Dropped();
    EXPECT_FALSE(WaitUntil([&] { return victim.Dropped() > atStop + 5; }, 500ms))
        << "nothing more after the stop";
}

} // namespace
