// SPDX-License-Identifier: GPL-3.0-or-later
// The engine with real sockets, between hosts made by the network harness.
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>

#include <gtest/gtest.h>

#include "NetNs.h"
#include "tHelpers.h"
#include "cNet0.h"
#include "uConfig.h"

namespace {

using namespace std::chrono_literals;

using testhelp::WaitUntil;

struct Shown {
    std::string text;
    std::string caption;
};

class EngineTest : public testing::Test {
protected:
    void SetUp() override {
        CfgOpt = TCfgOpt{};
        Cfg = TCfg{};
        CfgOpt.SockRecvBuf = 256 * 1024;
        CfgOpt.SockSendBuf = 256 * 1024;
        NetOutward.ShowText = [this](const std::string& text, const std::string& caption) {
            std::lock_guard lock(m_shownMutex);
            m_shown.push_back({text, caption});
        };
        NetOutward.LookupText = [](const std::string& section, const std::string& key,
                                   const std::string&) { return section + "/" + key; };
        NetOutward.ShowTextOnAnyThread = true;
    }
    void TearDown() override {
        m_engines.clear();
        NetOutward = TNetOutward{};
        NetSeams.SequenceTaken.store(nullptr);
        NetSeams.FoundEntryWritten.store(nullptr);
        NetSeams.SendBatch.store(nullptr);
    }

    TbNBSClient& Engine(const netns::Topology& net, int host) {
        netns::HostScope in(net, host);
        m_engines.push_back(std::make_unique<TbNBSClient>());
        return *m_engines.back();
    }

    // Asks for answers again every 60 ms, as the lookup dialog does, until
    // `count` copies are found or 3 s have passed.
    static void SearchUntilFound(TbNBSClient& engine, std::int32_t count) {
        WaitUntil(
            [&] {
                if (engine.FoundCount() >= count)
                    return true;
                engine.SetLookup(true);
                return false;
            },
            3000ms, 60ms);
    }

    void Destroy(const TbNBSClient& engine) {
        std::erase_if(m_engines, [&](const auto& e) { return e.get() == &engine; });
    }

    std::vector<Shown> ShownBoxes() {
        std::lock_guard lock(m_shownMutex);
        return m_shown;
    }

    std::vector<std::unique_ptr<TbNBSClient>> m_engines;
    std::mutex m_shownMutex;
    std::vector<Shown> m_shown;
};

// A plain socket on a host that sends hand-made datagrams to an engine: the
// engine filters senders by address only, so these count as that host's.
class Injector {
public:
    Injector(const netns::Topology& net, int host, const std::string& to,
             std::uint16_t port = 2222) {
        netns::HostScope in(net, host);
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        m_to.sin_family = AF_INET;
        m_to.sin_port = htons(port);
        m_to.sin_addr.s_addr = inet_addr(to.c_str());
    }
    ~Injector() { closesocket(m_fd); }
    void Raw(const std::vector<std::uint8_t>& bytes) const {
        ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&m_to),
                 sizeof m_to);
    }
    static std::vector<std::uint8_t> Datagram(std::uint32_t sequence, std::uint16_t length,
                                              std::uint16_t flags = 0, std::uint8_t kind = nkData,
                                              std::uint16_t instance = 0x4242) {
        TbNHeader h;
        h.Kind = kind;
        h.Length = length;
        h.Flags = flags;
        h.Sequence = sequence;
        h.Instance = instance;
        std::vector<std::uint8_t> d(length);
        EncodeHeader(h, d.data());
        WriteChecksum(d.data());
        WritePattern(d.data(), d.size(), sequence, kHeaderSize, length);
        return d;
    }
    void Send(std::uint32_t sequence, std::uint16_t length = 200, std::uint16_t flags = 0) const {
        Raw(Datagram(sequence, length, flags));
    }

private:
    SOCKET m_fd = INVALID_SOCKET;
    sockaddr_in m_to{};
};

TEST_F(EngineTest, DiscoveryLearnsEachHostsAddress) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    ASSERT_TRUE(a.IsOpen() && b.IsOpen());
    EXPECT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    EXPECT_EQ(a.LocalAddress(), net.Address(0));
    EXPECT_EQ(b.LocalAddress(), net.Address(1));
    EXPECT_EQ(a.OutgoingFlags() & nfDiscover, 0);
}

// A peer chosen before the own broadcast came back (a lost echo, a stored
// peer set at start-up): the repeated discovery must still go out as a
// broadcast, or the copy never learns its address and every peer keeps
// dropping its datagrams.
TEST_F(EngineTest, DiscoveryRepeatsAsBroadcastWhenThePeerWasSetFirst) {
    netns::Topology net(2);
    net.Exec(0, "nft add table ip rvecho && "
                "nft add counter ip rvecho echoes && "
                "nft add chain ip rvecho in \\{ type filter hook input priority 0\\; \\} && "
                "nft add rule ip rvecho in ip daddr 255.255.255.255 udp dport 2222 "
                "counter name echoes drop");
    auto& a = Engine(net, 0);
    a.SetRemoteHost(net.Address(1));
    auto& b = Engine(net, 1);
    ASSERT_TRUE(WaitUntil([&] { return !b.LocalAddress().empty(); }));
    ASSERT_TRUE(WaitUntil([&] {
        return net.ExecOutput(0, "nft list counter ip rvecho echoes").find("packets 0 ") ==
               std::string::npos;
    })) << "the first echo was dropped";
    EXPECT_TRUE(a.LocalAddress().empty());
    net.Exec(0, "nft delete table ip rvecho");

    auto repeated = std::chrono::steady_clock::now() - 1s;
    EXPECT_TRUE(WaitUntil([&] {
        if (std::chrono::steady_clock::now() - repeated >= 100ms) {
            repeated = std::chrono::steady_clock::now();
            a.RepeatDiscovery();
        }
        return !a.LocalAddress().empty();
    }));
    EXPECT_EQ(a.LocalAddress(), net.Address(0));
    EXPECT_EQ(a.Destination(), net.AddressNet(1)) << "the chosen peer stays the destination";

    a.SetSpeed(2000, false);
    a.SetPacketSize(554, false);
    a.SetSending(true, false);
    EXPECT_TRUE(WaitUntil([&] { return b.CurrentReport().BytesReceived >= 5u * 500; }))
        << "the peer counts this copy's data";
}

TEST_F(EngineTest, RemoteSendingDrivesTheIdlePeer) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(2000, true);
    a.SetPacketSize(554, true); // datagram length 500

    a.SetSending(true, true);
    ASSERT_TRUE(WaitUntil([&] { return b.IsSending(false); }));
    EXPECT_EQ(b.GetSpeed(false), 2000);
    EXPECT_EQ(b.GetPacketSize(false), 554);
    // The peer asks this side to reset in turn, and its data arrives.
    EXPECT_TRUE(WaitUntil([&] { return (b.OutgoingFlags() & nfResetCmd) != 0; }, 1000ms));
    EXPECT_TRUE(WaitUntil([&] { return a.IsSending(true) && a.PeerPacketSize.load() == 500; }));
    EXPECT_TRUE(WaitUntil([&] { return a.CurrentReport().BytesReceived > 10 * 500; }));
    // The peer adopted this side as its destination.
    EXPECT_EQ(b.Destination(), net.AddressNet(0));

    a.SetSending(false, true);
    ASSERT_TRUE(WaitUntil([&] { return !b.IsSending(false); }));
    const auto sentAtStop = b.CurrentReport().BytesSent;
    std::this_thread::sleep_for(300ms); // proving an absence needs a span of time
    EXPECT_LE(b.CurrentReport().BytesSent, sentAtStop + 500u) << "pending datagrams are dropped";
    EXPECT_EQ(b.SendQueue(), 0);
}

TEST_F(EngineTest, LostCountEqualsWhatTheChannelDropped) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    netns::DropEveryNth drop(net, 1, 20, 2222);
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(4000, false);
    a.SetPacketSize(1054, false);
    a.SetSending(true, false);
    ASSERT_TRUE(WaitUntil([&] { return a.CurrentReport().BytesSent >= 300u * 1000; }, 5000ms));
    ASSERT_TRUE(WaitUntil([&] { return b.IsSending(true); })) << "the peer saw the data";
    // A gap shows only when a later datagram arrives. The stop's control
    // datagram follows all data; once the peer has seen it, every drop lies
    // before it and nothing more is on the way. If the channel dropped it,
    // another one goes out.
    for (int i = 0; i < 5 && b.IsSending(true); ++i) {
        a.SetSending(false, false);
        WaitUntil([&] { return !b.IsSending(true); }, 2000ms);
    }
    ASSERT_FALSE(b.IsSending(true)) << "the peer saw the stop";
    EXPECT_GT(drop.Dropped(), 10u);
    EXPECT_TRUE(WaitUntil([&] { return b.CurrentReport().Lost == drop.Dropped(); }, 1000ms))
        << "lost " << b.CurrentReport().Lost << ", dropped " << drop.Dropped() << ", passed "
        << drop.Passed();
    EXPECT_EQ(b.CurrentReport().Bad, 0);
}

struct SequenceCase {
    const char* name;
    std::vector<std::uint32_t> sequences;
    std::uint16_t lost;
    const char* why;
};

class EngineSequence : public EngineTest, public testing::WithParamInterface<SequenceCase> {};

TEST_P(EngineSequence, CountsLostFromTheSequenceNumbers) {
    const auto& c = GetParam();
    netns::Topology net(2);
    auto& b = Engine(net, 1);
    Injector peer(net, 0, net.Address(1));
    for (const auto s : c.sequences)
        peer.Send(s);
    EXPECT_TRUE(
        WaitUntil([&] { return b.CurrentReport().BytesReceived == 200u * c.sequences.size(); }));
    EXPECT_EQ(b.CurrentReport().Lost, c.lost) << c.why;
    EXPECT_EQ(b.CurrentReport().Bad, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, EngineSequence,
    testing::Values(
        SequenceCase{"in_order", {0, 1, 2, 3}, 0, "nothing missing"},
        SequenceCase{"gap_of_ten", {0, 1, 12, 13}, 10, "2..11 missing"},
        SequenceCase{"reordered", {0, 1, 3, 2, 4}, 0, "the late datagram takes the loss back"},
        SequenceCase{"duplicated",
                     {0, 1, 1, 2},
                     65535,
                     "a repeated datagram counts -1 modulo 65536: a duplicate shows as lost 65535"},
        SequenceCase{"late_never_comes", {0, 1, 3, 4}, 1, "2 missing"}),
    [](const auto& info) { return std::string(info.param.name); });

// A rebuild (reset, reopening) on another thread sets the sequence number to
// 0 while the send thread builds a batch: each datagram must still carry the
// number its pattern was made for, or the peer counts it as bad.
TEST_F(EngineTest, ARebuildDuringABatchSendsNoBadDatagram) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(4000, false); // one datagram per sub-burst: batches start at every number
    a.SetPacketSize(554, false);
    static std::atomic<std::uint32_t> rebuiltAt;
    rebuiltAt = 0;
    // An odd number: its pattern differs from that of the 0 the rebuild sets.
    NetSeams.SequenceTaken = [](TbNet0& engine, std::uint32_t first) {
        std::uint32_t none = 0;
        if (first > 10 && first % 2 == 1 && rebuiltAt.compare_exchange_strong(none, first))
            engine.Reset();
    };
    a.SetSending(true, false);
    ASSERT_TRUE(WaitUntil([&] { return rebuiltAt.load() != 0; }));
    // The reset stopped the sending: wait until what was built across it
    // has arrived and nothing more comes.
    std::uint32_t received = 0;
    auto changed = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] {
        const auto now = std::chrono::steady_clock::now();
        if (const std::uint32_t r = b.CurrentReport().BytesReceived; r != received) {
            received = r;
            changed = now;
        }
        return now - changed >= 200ms;
    }));
    EXPECT_GE(received, 10u * 500);
    EXPECT_EQ(b.CurrentReport().Bad, 0u);
}

// What a plain socket on the peer host saw of one sender: every datagram's
// kind, sequence number, length and the bytes sent its report carried.
struct SeenDatagram {
    std::uint8_t kind = 0;
    std::uint32_t sequence = 0;
    std::uint32_t length = 0;
    std::uint32_t bytesSent = 0;
};

class Listener {
public:
    // Bound to the host's own address, so broadcasts stay out.
    Listener(const netns::Topology& net, int host) {
        netns::HostScope in(net, host);
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int size = 8 * 1024 * 1024;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(2222);
        at.sin_addr.s_addr = net.AddressNet(host);
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&at), sizeof at);
    }
    ~Listener() { closesocket(m_fd); }
    // Reads what waits; answers the number of datagrams read.
    std::size_t Drain() {
        std::size_t n = 0;
        std::array<std::uint8_t, kBufferSize> d{};
        for (;;) {
            const auto got = ::recv(m_fd, d.data(), d.size(), MSG_DONTWAIT);
            if (got < 0)
                return n;
            ++n;
            if (got < static_cast<ssize_t>(kHeaderSize))
                continue;
            const TbNHeader h = DecodeHeader(d.data());
            seen.push_back(
                {h.Kind, h.Sequence, static_cast<std::uint32_t>(got), h.Report.BytesSent});
        }
    }
    std::vector<SeenDatagram> seen;

private:
    SOCKET m_fd = INVALID_SOCKET;
};

struct BatchCase {
    const char* name;
    int (*send)(int fd, mmsghdr* messages, unsigned count);
};

void PrintTo(const BatchCase& c, std::ostream* os) {
    *os << c.name;
}

std::atomic<unsigned> g_largestBatch{0};
std::atomic<unsigned> g_cutBatches{0};

class EngineBatch : public EngineTest, public testing::WithParamInterface<BatchCase> {};

// Every datagram of a batch carries the counts as if the ones before it had
// gone out one by one, and a batch the kernel cuts short leaves the counters
// and the sequence numbers where single sends would have left them: the peer
// sees the bytes sent grow by exactly each datagram's length, and numbers
// without a gap or a repeat.
TEST_P(EngineBatch, EachDatagramCarriesTheCountsOfTheOnesBeforeIt) {
    g_largestBatch = 0;
    g_cutBatches = 0;
    NetSeams.SendBatch = GetParam().send;
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty(); }));
    Listener peer(net, 1);
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(100'000, false); // 25 datagrams per millisecond: batches
    a.SetPacketSize(554, false);
    a.SetSending(true, false);
    constexpr std::size_t kWanted = 4000;
    EXPECT_TRUE(WaitUntil(
        [&] {
            peer.Drain();
            return peer.seen.size() >= kWanted;
        },
        10000ms));
    a.SetSending(false, false);
    // Wait until nothing more comes.
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::this_thread::sleep_for(50ms);
            return peer.Drain() == 0;
        },
        5000ms));
    ASSERT_GE(peer.seen.size(), kWanted);
    EXPECT_GT(g_largestBatch.load(), 4u) << "batches of several datagrams were sent";

    std::uint64_t dataBytes = 0;
    std::size_t pairs = 0;
    std::size_t wrong = 0;
    std::string firstWrong;
    for (std::size_t i = 0; i < peer.seen.size(); ++i) {
        const SeenDatagram& d = peer.seen[i];
        if (d.kind == nkData)
            dataBytes += d.length;
        if (i == 0)
            continue;
        const SeenDatagram& before = peer.seen[i - 1];
        EXPECT_EQ(d.sequence, before.sequence + 1) << "datagram " << i;
        if (d.kind != nkData || before.kind != nkData)
            continue;
        ++pairs;
        if (d.bytesSent - before.bytesSent != before.length) {
            if (wrong++ == 0)
                firstWrong = "datagram " + std::to_string(i) + ": bytes sent " +
                             std::to_string(before.bytesSent) + " then " +
                             std::to_string(d.bytesSent);
        }
    }
    EXPECT_GT(pairs, kWanted / 2);
    EXPECT_EQ(wrong, 0u) << "of " << pairs << " pairs; first " << firstWrong;
    // The first datagram seen is the first after the reset that learning the
    // own address made, or later: what the sender counted is what went out.
    const std::uint64_t before = peer.seen.front().bytesSent;
    EXPECT_EQ(a.CurrentReport().BytesSent, static_cast<std::uint32_t>(before + dataBytes));
}

INSTANTIATE_TEST_SUITE_P(
    Sends, EngineBatch,
    testing::Values(BatchCase{"whole",
                              [](int fd, mmsghdr* m, unsigned n) {
                                  for (unsigned seen = g_largestBatch.load(); n > seen;)
                                      g_largestBatch.compare_exchange_weak(seen, n);
                                  return ::sendmmsg(fd, m, n, 0);
                              }},
                    BatchCase{"cut_short",
                              [](int fd, mmsghdr* m, unsigned n) {
                                  for (unsigned seen = g_largestBatch.load(); n > seen;)
                                      g_largestBatch.compare_exchange_weak(seen, n);
                                  // The kernel takes one to three of a larger batch.
                                  const unsigned take =
                                      n > 1 ? 1 + g_cutBatches.fetch_add(1) % 3 : n;
                                  return ::sendmmsg(fd, m, std::min(n, take), 0);
                              }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, BadShortAndGarbageDatagramsAreCountedAndChangeNothing) {
    netns::Topology net(2);
    auto& b = Engine(net, 1);
    Injector peer(net, 0, net.Address(1));
    peer.Send(0);
    auto wrongSum = Injector::Datagram(1, 200, nfResetCmd | nfSendCmd | nfSendOn);
    wrongSum[61] ^= 0x40;
    peer.Raw(wrongSum);
    peer.Raw({});                                  // empty
    peer.Raw({0x42});                              // one byte
    peer.Raw(std::vector<std::uint8_t>(63, 0x01)); // short header
    std::vector<std::uint8_t> garbage(1500);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 37 + 11);
    peer.Raw(garbage);
    auto badPattern = Injector::Datagram(1, 200);
    badPattern[150] ^= 0x01;
    peer.Raw(badPattern);
    peer.Send(2);
    ASSERT_TRUE(WaitUntil([&] { return b.CurrentReport().Bad == 5; }));
    ASSERT_TRUE(WaitUntil([&] { return b.CurrentReport().BytesReceived >= 200u * 4; }));
    const auto r = b.CurrentReport();
    // Sequence: 0, the bad-pattern 1 (still counted), 2: nothing lost.
    EXPECT_EQ(r.Lost, 0);
    EXPECT_FALSE(b.IsSending(false)) << "commands of an invalid datagram are not obeyed";
    // Data bytes: the three valid-header kind-0 datagrams, the wrong-sum one
    // and the garbage (kind byte 0x??) as its kind decides.
    EXPECT_GE(r.BytesReceived, 200u * 4);
}

TEST_F(EngineTest, CommandsOutsideTheAcceptedRangesAreIgnored) {
    netns::Topology net(2);
    auto& b = Engine(net, 1);
    Injector peer(net, 0, net.Address(1));
    const auto speedBefore = b.GetSpeed(false);
    const auto sizeBefore = b.GetPacketSize(false);
    auto d = Injector::Datagram(0, 64, nfSpeedCmd | nfLengthCmd, nkControl);
    PutU32(d.data() + hdr::RequestedSpeed, 20'000'000); // 20 Gbit/s
    PutU16(d.data() + hdr::RequestedLength, 40);
    WriteChecksum(d.data());
    peer.Raw(d);
    peer.Send(1);
    ASSERT_TRUE(WaitUntil([&] { return b.CurrentReport().BytesReceived == 200; }));
    EXPECT_EQ(b.GetSpeed(false), speedBefore);
    EXPECT_EQ(b.GetPacketSize(false), sizeBefore);

    PutU32(d.data() + hdr::RequestedSpeed, 10'000'000);
    PutU16(d.data() + hdr::RequestedLength, 2000);
    PutU32(d.data() + hdr::Sequence, 2);
    WriteChecksum(d.data());
    peer.Raw(d);
    EXPECT_TRUE(WaitUntil([&] { return b.GetSpeed(false) == 10'000'000; }));
    EXPECT_EQ(b.GetPacketSize(false), 2054);
}

TEST_F(EngineTest, AcceptAddressCountsOthersApartAndRemembersThem) {
    netns::Topology net(3);
    auto& b = Engine(net, 1);
    Injector peer(net, 0, net.Address(1));
    Injector third(net, 2, net.Address(1));
    b.SetPeerAddress(net.AddressNet(0), false);
    peer.Send(0, 300);
    third.Send(0, 500);
    third.Send(1, 500);
    ASSERT_TRUE(WaitUntil([&] { return b.CurrentReport().BytesFromOthers == 1000; }));
    ASSERT_TRUE(WaitUntil([&] { return b.CurrentReport().BytesReceived == 300; }));
    EXPECT_EQ(b.CurrentReport().Lost, 0);
    ASSERT_GE(b.SeenCount(), 3);
    std::vector<std::uint32_t> seen;
    for (int i = 0; i < b.SeenCount(); ++i)
        seen.push_back(b.SeenAddress(i));
    EXPECT_EQ(seen[0], 0u);
    EXPECT_NE(std::find(seen.begin(), seen.end(), net.AddressNet(0)), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), net.AddressNet(2)), seen.end());
    EXPECT_EQ(std::count(seen.begin(), seen.end(), net.AddressNet(2)), 1);
}

TEST_F(EngineTest, LookupFindsTheOtherIdleCopiesOnce) {
    netns::Topology net(3);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    auto& c = Engine(net, 2);
    // A copy that has not heard its own broadcast yet is dropped by everyone.
    ASSERT_TRUE(WaitUntil([&] {
        return !a.LocalAddress().empty() && !b.LocalAddress().empty() && !c.LocalAddress().empty();
    }));
    SearchUntilFound(a, 2);
    for (int i = 0; i < 10; ++i) { // more requests of the same search
        a.SetLookup(true);
        std::this_thread::sleep_for(20ms);
    }
    a.SetLookup(false);
    EXPECT_EQ(a.OutgoingFlags(), 0);
    ASSERT_EQ(a.FoundCount(), 2);
    std::vector<std::uint32_t> found{a.FoundServer(0).sin_addr.s_addr,
                                     a.FoundServer(1).sin_addr.s_addr};
    std::sort(found.begin(), found.end());
    std::vector<std::uint32_t> expected{net.AddressNet(1), net.AddressNet(2)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

// A search started again while the send thread adds a server must not
// list the servers of the search before: the one that answered last goes
// into the new list alone.
TEST_F(EngineTest, ALookupStartedAgainDuringAnAppendListsNoServerOfTheSearchBefore) {
    netns::Topology net(3);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    SearchUntilFound(a, 1);
    ASSERT_EQ(a.FoundCount(), 1);
    Destroy(b); // gone: it cannot answer the new search

    auto& c = Engine(net, 2);
    ASSERT_TRUE(WaitUntil([&] { return !c.LocalAddress().empty(); }));
    static std::atomic<int> restarts;
    restarts = 0;
    NetSeams.FoundEntryWritten = [](TbNClient& engine) {
        if (restarts.fetch_add(1) == 0) {
            engine.SetLookup(false);
            engine.SetLookup(true);
        }
    };
    // b's answer made it the destination; this request goes to everyone.
    a.SetRemoteHost(kBroadcastHost);
    a.SetLookup(true);
    ASSERT_TRUE(WaitUntil([&] { return restarts.load() > 0 && a.FoundCount() > 0; }));
    EXPECT_EQ(a.FoundCount(), 1);
    EXPECT_EQ(a.FoundServer(0).sin_addr.s_addr, net.AddressNet(2));
}

TEST_F(EngineTest, PortInUseReportsBindAndStaysClosed) {
    netns::Topology net(2);
    netns::HostScope in(net, 0);
    const SOCKET holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(2222);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    {
        TbNBSClient engine;
        EXPECT_FALSE(engine.IsOpen());
    }
    closesocket(holder);
    const auto boxes = ShownBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].caption, "ERROR Socket:" + std::to_string(EADDRINUSE) + " Bind");
    EXPECT_EQ(boxes[0].text, "SocketErrors/" + std::to_string(EADDRINUSE));
}

TEST_F(EngineTest, SendErrorBoxPendingDoesNotHangShutdown) {
    NetOutward.ShowTextOnAnyThread = false; // boxes wait for the user-interface thread
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    a.SetRemoteHost("198.19.255.1"); // inside the test range, not routed: sendto fails
    a.SetSpeed(1000, false);
    a.SetSending(true, false);
    ASSERT_TRUE(WaitUntil([&] { return (a.CurrentReport().Status & kStatusSendFailed) != 0; }));
    const auto start = std::chrono::steady_clock::now();
    m_engines.clear(); // the send thread is waiting on its box
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_F(EngineTest, SendErrorIsShownOncePerSwitching) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    a.SetRemoteHost("198.19.255.1");
    a.SetSending(true, false);
    ASSERT_TRUE(WaitUntil([&] { return !ShownBoxes().empty(); }));
    std::this_thread::sleep_for(100ms);
    const auto boxes = ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "ERROR Socket:" + std::to_string(ENETUNREACH) + " Send");
}

TEST_F(EngineTest, PacingHoldsTheRequestedRate) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(10'000, false);
    a.SetSending(true, false);
    ASSERT_TRUE(WaitUntil([&] { return a.CurrentReport().BytesSent > 0; }));
    const auto start = std::chrono::steady_clock::now();
    const auto sent0 = a.CurrentReport().BytesSent;
    std::this_thread::sleep_for(3s); // a rate needs a span of time
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double rate = (a.CurrentReport().BytesSent - sent0) / seconds;
    EXPECT_NEAR(rate, 10'000 * 1000 / 8.0, 10'000 * 1000 / 8.0 * 0.08);
    a.SetSending(false, false);
}

TEST_F(EngineTest, SpeedZeroSendsNoData) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(0, false);
    a.SetSending(true, false);
    std::this_thread::sleep_for(300ms); // proving an absence needs a span of time
    EXPECT_EQ(a.CurrentReport().BytesSent, 0u);
    EXPECT_EQ(a.SendQueue(), 0);
}

TEST_F(EngineTest, OwnBroadcastDataIsNeverCountedAsThePeers) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty(); }));
    // The destination after construction is 255.255.255.255 without the
    // broadcast flag: the own data comes back over the veth.
    a.SetSpeed(1000, false);
    a.SetSending(true, false);
    ASSERT_TRUE(WaitUntil([&] { return a.CurrentReport().BytesSent > 5000; }));
    a.SetSending(false, false);
    EXPECT_EQ(a.CurrentReport().BytesReceived, 0u);
    EXPECT_FALSE(a.IsSending(true));
}

TEST_F(EngineTest, ReportsReachBothRingsAndTheFirstTakeIsABaseline) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    Engine(net, 1);
    TbNReport out[kRingSize];
    std::int32_t count = kRingSize;
    ASSERT_TRUE(WaitUntil([&] { return a.LocalReports().Count() >= 3; }));
    count = kRingSize;
    EXPECT_TRUE(a.GetReports(a.LocalReports(), out, count, 0));
    EXPECT_GE(count, 3);
    ASSERT_TRUE(WaitUntil([&] { return a.LocalReports().Count() >= 1; }));
    count = kRingSize;
    EXPECT_FALSE(a.GetReports(a.LocalReports(), out, count, 0));
    EXPECT_GE(count, 1);
    a.ResetStatistics();
    count = kRingSize;
    EXPECT_FALSE(a.GetReports(a.LocalReports(), out, count, 0)); // one record is no batch yet
    EXPECT_EQ(count, 0);
}

} // namespace

namespace {

TEST_F(EngineTest, ControlsAndTheirLimits) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    EXPECT_EQ(NetClient.load(), &a);

    a.SetPacketSize(100, true); // 100 - 54 = 46, raised to the smallest datagram
    EXPECT_EQ(a.GetPacketSize(true), 118);
    a.SetPacketSize(5000, false); // never a datagram above 2000 bytes
    EXPECT_EQ(a.GetPacketSize(false), 2054);

    a.SetRemoteHost("broadcast");
    EXPECT_EQ(a.GetRemoteHost(), "255.255.255.255");
    EXPECT_NE(a.OutgoingFlags() & nfBroadcast, 0);
    EXPECT_EQ(a.Destination(), 0xFFFFFFFFu);
    a.SetRemoteHost(net.Address(1));
    EXPECT_EQ(a.OutgoingFlags() & nfBroadcast, 0);
    EXPECT_EQ(a.Destination(), net.AddressNet(1));

    a.SetSending(true, true);
    EXPECT_EQ(a.OutgoingFlags() & 0x01FF,
              nfSendOn | nfSendCmd | nfSpeedCmd | nfLengthCmd | nfResetCmd);
    // Commands expire within two intervals of the last raise.
    EXPECT_TRUE(WaitUntil([&] { return (a.OutgoingFlags() & kCommandMask) == 0; }, 1000ms));
    a.SetSending(true, true); // the same state again raises nothing
    EXPECT_EQ(a.OutgoingFlags() & kCommandMask, 0);
    EXPECT_NE(a.OutgoingFlags() & nfSendOn, 0);
}

struct PeriodCase {
    std::int32_t period;
    std::int32_t capacity;
};

class EngineCapacity : public EngineTest, public testing::WithParamInterface<PeriodCase> {};

TEST_P(EngineCapacity, FollowsTheTimerPeriodAtTheNextRebuild) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    a.SetTimerPeriod(GetParam().period);
    EXPECT_EQ(a.SendQueueMax(), 20) << "kept until the header is rebuilt";
    a.Reset();
    EXPECT_EQ(a.SendQueueMax(), GetParam().capacity);
    EXPECT_EQ(a.TimerPeriod(), GetParam().period);
}

INSTANTIATE_TEST_SUITE_P(Periods, EngineCapacity,
                         testing::Values(PeriodCase{1, 100}, PeriodCase{3, 66}, PeriodCase{10, 20},
                                         PeriodCase{100, 2}),
                         [](const auto& info) {
                             return "period_" + std::to_string(info.param.period);
                         });

TEST_F(EngineTest, OpenCloseAndReopen) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    a.SetSending(true, false);
    a.Open(false);
    EXPECT_FALSE(a.IsOpen());
    EXPECT_FALSE(a.IsSending(false));
    {
        netns::HostScope in(net, 0); // the new socket belongs to the same host
        a.Open(true);
    }
    EXPECT_TRUE(a.IsOpen());
    // The timer kept running: reports still come.
    const auto before = a.LocalReports().Count();
    EXPECT_TRUE(WaitUntil([&] { return a.LocalReports().Count() > before; }));
}

TEST_F(EngineTest, AnIdlePeerAnswersEveryIntervalWithItsReport) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    a.SetRemoteHost(net.Address(1));
    a.SetPacketSize(554, false);
    a.SetSpeed(1000, false);
    a.SetSending(true, false);
    // The peer's input, as the peer reports it in its answers.
    TbNReport out[kRingSize];
    std::uint32_t peerReceived = 0;
    EXPECT_TRUE(WaitUntil([&] {
        std::int32_t count = kRingSize;
        a.GetReports(a.RemoteReports(), out, count, 1);
        for (int i = 0; i < count; ++i)
            peerReceived = std::max(peerReceived, out[i].BytesReceived);
        return peerReceived >= 10 * 500;
    }));
    EXPECT_FALSE(b.IsSending(false));
}

TEST_F(EngineTest, DestructionTellsThePeerThatSendingStopped) {
    netns::Topology net(2);
    auto& b = Engine(net, 1);
    {
        auto& a = Engine(net, 0);
        ASSERT_TRUE(
            WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
        a.SetRemoteHost(net.Address(1));
        a.SetSending(true, false);
        ASSERT_TRUE(WaitUntil([&] { return b.IsSending(true); }));
        const std::int32_t speed = a.GetSpeed(false);
        m_engines.erase(m_engines.begin() + 1);
        EXPECT_EQ(Cfg.LocalSpeed, speed) << "the engine writes its values back";
    }
    EXPECT_TRUE(WaitUntil([&] { return !b.IsSending(true); }, 1000ms));
}

TEST_F(EngineTest, AnotherVersionIsReportedOnceAndStillCounted) {
    netns::Topology net(2);
    auto& b = Engine(net, 1);
    Injector peer(net, 0, net.Address(1));
    for (std::uint32_t s = 0; s < 3; ++s) {
        auto d = Injector::Datagram(s, 200);
        d[hdr::Version] = 4;
        WriteChecksum(d.data());
        peer.Raw(d);
    }
    ASSERT_TRUE(WaitUntil([&] { return b.CurrentReport().BytesReceived == 600; }));
    const auto boxes = ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Incompatibile version of remote application");
    EXPECT_EQ(boxes[0].caption, "Receive");
    EXPECT_EQ(b.CurrentReport().Bad, 0);
}

// ---------------------------------------------------------------- receive-buffer drops

// The kernel's figures of the UDP socket bound to `port` on a host, from
// /proc/net/udp: bytes waiting to be read, and datagrams dropped for want of
// buffer (the last column).
struct TUdpRow {
    std::uint64_t Queued = 0;
    std::uint64_t Drops = 0;
};

TUdpRow KernelUdpRow(const netns::Topology& net, int host, std::uint16_t port) {
    const std::string table = net.ExecOutput(host, "cat /proc/net/udp");
    char local[16];
    std::snprintf(local, sizeof local, ":%04X", port);
    std::size_t from = 0;
    while (from < table.size()) {
        const std::size_t end = table.find('\n', from);
        const std::string line = table.substr(from, end - from);
        from = end == std::string::npos ? table.size() : end + 1;
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string field; fields >> field;)
            f.push_back(field);
        // sl local_address rem_address st tx_queue:rx_queue ... drops
        if (f.size() < 13 || f[1].find(local) == std::string::npos)
            continue;
        TUdpRow row;
        row.Queued = std::stoull(f[4].substr(f[4].find(':') + 1), nullptr, 16);
        row.Drops = std::stoull(f.back());
        return row;
    }
    ADD_FAILURE() << "no socket on port " << port << " in\n" << table;
    return {};
}

struct BufferCase {
    const char* name;
    std::int32_t recvBuf;
    bool drops;
};

class EngineRcvbuf : public EngineTest, public testing::WithParamInterface<BufferCase> {};

// The reading thread is held up (a datagram of another version raises a box
// that waits for the user-interface thread) while a burst arrives: what the
// buffer cannot hold the kernel drops. The engine reports exactly the
// kernel's count, its lost count (sequence gaps) equals it, and the count
// travels to the peer in the header.
TEST_P(EngineRcvbuf, ReportsTheKernelsDropsBesideTheLostCount) {
    constexpr std::uint32_t kBurst = 200;
    CfgOpt.SockRecvBuf = GetParam().recvBuf;
    NetOutward.ShowTextOnAnyThread = false;
    netns::Topology net(2);
    auto& b = Engine(net, 1);
    ASSERT_TRUE(b.IsOpen());
    EXPECT_TRUE(b.LocalRcvbufDrops().Known);
    EXPECT_GE(b.SocketBuffers().RecvBuf, GetParam().recvBuf); // Linux doubles it
    // The peer: a plain socket on the engine's port, which also hears the
    // engine's answers.
    SOCKET peer = INVALID_SOCKET;
    {
        netns::HostScope in(net, 0);
        peer = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in own{};
        own.sin_family = AF_INET;
        own.sin_port = htons(2222);
        ASSERT_EQ(::bind(peer, reinterpret_cast<const sockaddr*>(&own), sizeof own), 0);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(2222);
    to.sin_addr.s_addr = net.AddressNet(1);
    const auto send = [&](const std::vector<std::uint8_t>& d) {
        ::sendto(peer, d.data(), d.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    };

    auto hold = Injector::Datagram(0, 200);
    hold[hdr::Version] = kProtocolVersion + 1;
    WriteChecksum(hold.data());
    send(hold);
    ASSERT_TRUE(WaitUntil([&] { return b.CurrentReport().BytesReceived >= 200; }));
    for (std::uint32_t s = 1; s <= kBurst; ++s)
        send(Injector::Datagram(s, 200));
    // Let the reading go on, and close the stream with one more datagram,
    // of another length so that its arrival shows.
    ASSERT_TRUE(WaitUntil([&] { return b.ShowPendingBox(); }));
    ASSERT_TRUE(WaitUntil([&] { return KernelUdpRow(net, 1, 2222).Queued == 0; }));
    // It also opens a new interval of the peer, which the engine answers.
    auto last = Injector::Datagram(kBurst + 1, 300);
    PutU16(last.data() + hdr::Interval, 1);
    WriteChecksum(last.data());
    send(last);
    ASSERT_TRUE(WaitUntil([&] { return b.PeerPacketSize.load() == 300; }));

    const std::uint64_t kernel = KernelUdpRow(net, 1, 2222).Drops;
    EXPECT_EQ(kernel > 0, GetParam().drops) << kernel;
    EXPECT_EQ(b.LocalRcvbufDrops().Count, kernel);
    EXPECT_EQ(b.CurrentReport().Lost, kernel);
    EXPECT_EQ(b.CurrentReport().Bad, 0);

    // The next interval's record carries the count beside the report.
    TbNReport reports[kRingSize];
    TbNRcvbufDrops drops[kRingSize];
    bool recorded = false;
    WaitUntil([&] {
        std::int32_t count = kRingSize;
        b.GetReports(b.LocalReports(), reports, count, 0, drops);
        for (std::int32_t i = 0; i < count; ++i)
            recorded = recorded ||
                       (drops[i].Known && drops[i].Count == kernel && reports[i].Lost == kernel);
        return recorded;
    });
    EXPECT_TRUE(recorded);

    // The engine answers the data with control datagrams that carry the
    // count at offset 22, marked in the report's reserved byte.
    bool carried = false;
    WaitUntil([&] {
        std::array<std::uint8_t, kBufferSize> d{};
        while (::recv(peer, d.data(), d.size(), MSG_DONTWAIT) >= static_cast<ssize_t>(kHeaderSize))
            carried = carried || ((d[hdr::Report + rpt::Reserved] & kMarkRcvbufDrops) != 0 &&
                                  GetU16(d.data() + hdr::RcvbufDrops) == kernel);
        return carried;
    });
    EXPECT_TRUE(carried);
    closesocket(peer);
}

INSTANTIATE_TEST_SUITE_P(Buffers, EngineRcvbuf,
                         testing::Values(BufferCase{"tiny", 1024, true},
                                         BufferCase{"large", 256 * 1024, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Two engines: each sees the other's drops as carried, and a peer whose
// datagrams carry no mark has an unknown count, not zero.
TEST_F(EngineTest, ThePeersDropsAreKnownOnlyWhenCarried) {
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    EXPECT_FALSE(a.RemoteRcvbufDrops().Known);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    a.SetRemoteHost(net.Address(1));
    a.SetSending(true, false);
    ASSERT_TRUE(WaitUntil([&] { return a.RemoteRcvbufDrops().Known; }));
    EXPECT_EQ(a.RemoteRcvbufDrops().Count, b.LocalRcvbufDrops().Count);

    // A peer of an older build: no mark.
    Injector old(net, 1, net.Address(0));
    a.SetSending(false, false);
    old.Send(0, 200);
    EXPECT_TRUE(WaitUntil([&] { return !a.RemoteRcvbufDrops().Known; }));
}

// ---------------------------------------------------------------- commands and loops

// With an information interval shorter than the tick every tick closes an
// interval; a command must still expire after its 300 ms.
TEST_F(EngineTest, CommandsExpireAlsoWithIntervalsShorterThanTheTick) {
    CfgOpt.InfoTime = 5;
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    a.SetRemoteHost(net.Address(1));
    a.SetSpeed(5000, true);
    EXPECT_NE(a.OutgoingFlags() & nfSpeedCmd, 0);
    EXPECT_TRUE(WaitUntil([&] { return (a.OutgoingFlags() & kCommandMask) == 0; }, 2000ms));
}

// A speed command from the peer only sets the speed: the datagrams already
// queued still go out (here: a whole period's entry of 40 datagrams, sent
// over 90 ms, interrupted by the command).
TEST_F(EngineTest, ASpeedCommandKeepsWhatIsQueued) {
    CfgOpt.TimerPeriod = 100;
    CfgOpt.InfoTime = 100;
    netns::Topology net(2);
    auto& b = Engine(net, 1);
    ASSERT_TRUE(WaitUntil([&] { return !b.LocalAddress().empty(); }));
    b.SetRemoteHost(net.Address(0));
    b.SetPacketSize(1000 + kPacketOffset, false);
    b.SetSpeed(3200, false); // 40 000 bytes a tick: 40 datagrams of 1000
    Injector peer(net, 0, net.Address(1));
    const std::uint32_t entry = 40 * 1000;
    // Wait until an entry is being paced out, then lower the speed to half.
    b.SetSending(true, false);
    ASSERT_TRUE(WaitUntil([&] {
        const std::uint32_t sent = b.CurrentReport().BytesSent;
        return sent % entry >= 5000 && sent % entry <= 25000;
    }));
    TbNHeader h;
    h.Kind = nkControl;
    h.Length = kHeaderSize;
    h.Flags = nfSpeedCmd;
    h.RequestedSpeed = 1600;
    h.Instance = 0x4242;
    std::vector<std::uint8_t> d(kHeaderSize);
    EncodeHeader(h, d.data());
    WriteChecksum(d.data());
    peer.Raw(d);
    ASSERT_TRUE(WaitUntil([&] { return b.GetSpeed(false) == 1600; }));
    // The entry under way is finished: between entries (nothing queued before
    // and after the look) the count stands on whole entries of 20 datagrams
    // (cut short, it never would again).
    std::uint32_t between = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            if (b.SendQueue() != 0)
                return false;
            between = b.CurrentReport().BytesSent;
            return b.SendQueue() == 0 && between > entry && between % (entry / 2) == 0;
        },
        3000ms, 1ms))
        << between;
    b.SetSending(false, false);
}

// A copy pointed at its own address measures its own loop; its own
// broadcast is still never counted.
TEST_F(EngineTest, ACopyPointedAtItselfMeasuresItsOwnLoop) {
    netns::Topology net(2);
    for (const std::string& own : {std::string("127.0.0.1"), net.Address(0)}) {
        m_engines.clear();
        auto& a = Engine(net, 0);
        ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty(); }));
        a.SetRemoteHost(own);
        a.SetSpeed(2000, false);
        a.SetSending(true, false);
        EXPECT_TRUE(WaitUntil([&] { return a.CurrentReport().BytesReceived > 20'000; })) << own;
        EXPECT_EQ(a.CurrentReport().Lost, 0) << own;
        EXPECT_EQ(a.CurrentReport().Bad, 0) << own;
    }
}

// An idle engine's timer sleeps to the next interval end; what is observable
// stays: a record every InfoTime, and sending starts at the next period, not
// at the next interval end.
TEST_F(EngineTest, AnIdleEngineStillRecordsEveryIntervalAndStartsSendingAtOnce) {
    CfgOpt.InfoTime = 1000;
    netns::Topology net(2);
    auto& a = Engine(net, 0);
    auto& b = Engine(net, 1);
    ASSERT_TRUE(WaitUntil([&] { return !a.LocalAddress().empty() && !b.LocalAddress().empty(); }));
    a.SetRemoteHost(net.Address(1));
    TbNReport reports[kRingSize];
    std::int32_t count = kRingSize;
    ASSERT_TRUE(WaitUntil([&] { return a.LocalReports().Count() >= 3; }, 5000ms));
    a.GetReports(a.LocalReports(), reports, count, 0);
    ASSERT_GE(count, 3);
    for (std::int32_t i = 1; i < count; ++i) {
        const auto gap = static_cast<std::uint16_t>(reports[i].Stamp - reports[i - 1].Stamp);
        EXPECT_NEAR(gap, 1000, 150) << i;
    }
    // Right after an interval end the timer sleeps for most of a second.
    const std::int32_t before = a.LocalReports().Count();
    ASSERT_TRUE(WaitUntil([&] { return a.LocalReports().Count() > before; }, 2000ms));
    const auto start = std::chrono::steady_clock::now();
    a.SetSpeed(1000, false);
    a.SetSending(true, false);
    ASSERT_TRUE(WaitUntil([&] { return a.CurrentReport().BytesSent > 0; }, 2000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    a.SetSending(false, false);
}

// A failed clean-up of the socket interface is reported, not ignored.
TEST_F(EngineTest, AFailedSocketCleanupIsReported) {
    netns::Topology net(2);
    {
        auto& a = Engine(net, 0);
        ASSERT_TRUE(a.IsOpen());
        WSACleanup(); // the engine's own clean-up then has no start-up left
        m_engines.clear();
    }
    // The failed clean-up left the count at 0, as the engines left it.
    const auto shown = ShownBoxes();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back().text, SocketInterfaceErrorText(EINVAL, "WSACleanup"));
    EXPECT_EQ(shown.back().text,
              "Windows socket error: " + SocketErrorText(EINVAL) + " (22), on API 'WSACleanup'");
}

} // namespace
