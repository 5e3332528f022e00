// SPDX-License-Identifier: GPL-3.0-or-later
// The impairment bridge, with plain UDP sockets on the two hosts (not the
// engine): frames cross it both ways, ARP included, with complete checksums;
// delay is added; reordering, duplication and loss hit exactly the datagrams
// they name; the bridge's record and counters agree with what the receiver
// saw; settings change while it runs; nothing leaves the namespaces; and
// rv_impair does the same from the command line and cleans up after itself.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <atomic>
#include <cmath>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "NetNs.h"
#include "NetNsBridge.h"
#include "tHelpers.h"
#include "xSocket.h"

extern char** environ;

namespace {

using netns::Direction;
using std::chrono::milliseconds;

constexpr std::uint16_t kPort = 47300;

std::int64_t NowNs() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// A UDP socket bound to kPort in whatever namespace the calling thread is in.
struct Udp {
    SOCKET fd = INVALID_SOCKET;
    bool bound = false;
    Udp() {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        const int buffer = 8 << 20;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(kPort);
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    }
    ~Udp() { closesocket(fd); }
    Udp(const Udp&) = delete;
    Udp& operator=(const Udp&) = delete;
    bool SendTo(const std::string& address, const std::string& text) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kPort);
        to.sin_addr.s_addr = inet_addr(address.c_str());
        return ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(text.size());
    }
    // One datagram within timeoutMs, or nothing.
    std::optional<std::string> Receive(int timeoutMs) const {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return std::nullopt;
        char buffer[2048];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0)
            return std::nullopt;
        return std::string(buffer, static_cast<std::size_t>(n));
    }
};

// A socket on each host of a topology.
struct Pair {
    std::unique_ptr<Udp> host[2];
    explicit Pair(const netns::Topology& net) {
        for (int i = 0; i < 2; ++i) {
            netns::HostScope in(net, i);
            host[i] = std::make_unique<Udp>();
        }
    }
    bool Bound() const { return host[0]->bound && host[1]->bound; }
};

// Sends datagrams numbered from..to (their text is the number) in one
// direction, back to back.
void SendNumbered(const netns::Topology& net, const Pair& pair, Direction direction, int from,
                  int to) {
    const int sender = direction == Direction::AToB ? 0 : 1;
    for (int i = from; i <= to; ++i)
        ASSERT_TRUE(pair.host[sender]->SendTo(net.Address(1 - sender), std::to_string(i)));
}

// Waits until the bridge has dealt with `count` UDP datagrams of a direction
// (each dropped or sent), then collects what the receiver got.
std::vector<int> Collect(const netns::Topology& net, const Pair& pair, Direction direction,
                         std::uint64_t count, milliseconds timeout = milliseconds(5000)) {
    const bool done = testhelp::WaitUntil(
        [&] {
            const netns::BridgeStats s = net.Bridge().Stats(direction);
            return s.datagrams >= count &&
                   s.dropped + s.datagramsForwarded - s.duplicated + s.overflow >= count;
        },
        timeout);
    EXPECT_TRUE(done) << "the bridge did not deal with " << count << " datagrams in time";
    const Udp& receiver = *pair.host[direction == Direction::AToB ? 1 : 0];
    std::vector<int> seen;
    // What the bridge sent is in the receiver's socket within microseconds.
    while (const auto text = receiver.Receive(200))
        seen.push_back(std::stoi(*text));
    return seen;
}

// One datagram each way, so that both hosts know each other's address (a
// burst into an unresolved address overflows the kernel's ARP queue), then
// the bridge's counters and numbering start afresh.
void Warm(const netns::Topology& net, const Pair& pair) {
    for (const auto direction : {Direction::AToB, Direction::BToA}) {
        SendNumbered(net, pair, direction, 0, 0);
        EXPECT_EQ(Collect(net, pair, direction, 1), (std::vector<int>{0}));
        net.Bridge().Reset(direction);
    }
}

std::vector<int> Indices(const std::vector<netns::Passage>& record) {
    std::vector<int> indices;
    for (const auto& p : record)
        indices.push_back(static_cast<int>(p.index));
    return indices;
}

TEST(ImpairBridge, ForwardsBothWaysWithArpBroadcastAndCompleteChecksums) {
    netns::Topology net(netns::Bridged{});
    Pair pair(net);
    ASSERT_TRUE(pair.Bound());
    // The first unicast needs ARP across the bridge, a broadcast frame and a
    // unicast answer; the datagrams only arrive with valid checksums. (It
    // goes alone: the sender's kernel may let a datagram sent while the
    // answer comes in overtake the ones it queued meanwhile.)
    SendNumbered(net, pair, Direction::AToB, 1, 1);
    EXPECT_EQ(Collect(net, pair, Direction::AToB, 1), (std::vector<int>{1}));
    SendNumbered(net, pair, Direction::AToB, 2, 5);
    EXPECT_EQ(Collect(net, pair, Direction::AToB, 5), (std::vector<int>{2, 3, 4, 5}));
    SendNumbered(net, pair, Direction::BToA, 1, 3);
    EXPECT_EQ(Collect(net, pair, Direction::BToA, 3), (std::vector<int>{1, 2, 3}));
    EXPECT_NE(net.ExecOutput(0, "ip neigh show 198.18.0.2").find("lladdr"), std::string::npos);
    EXPECT_NE(net.ExecOutput(1, "ip neigh show 198.18.0.1").find("lladdr"), std::string::npos);

    ASSERT_TRUE(pair.host[0]->SendTo("255.255.255.255", "6"));
    EXPECT_EQ(Collect(net, pair, Direction::AToB, 6), (std::vector<int>{6}));

    for (const auto direction : {Direction::AToB, Direction::BToA}) {
        const netns::BridgeStats s = net.Bridge().Stats(direction);
        EXPECT_GT(s.frames, s.datagrams) << "ARP (and other frames) pass too";
        EXPECT_EQ(s.framesForwarded, s.frames);
        EXPECT_EQ(s.datagramsForwarded, s.datagrams);
        EXPECT_EQ(s.checksumsCompleted, 0u) << "offload is off on the host devices";
        EXPECT_EQ(s.sendErrors + s.overflow + s.truncated + s.dropped, 0u);
    }
    EXPECT_EQ(net.Bridge().Stats(Direction::AToB).datagrams, 6u);
    EXPECT_EQ(net.Bridge().Stats(Direction::BToA).datagrams, 3u);
}

TEST(ImpairBridge, CompletesChecksumsTheSenderLeftToTheDevice) {
    netns::Topology net(netns::Bridged{});
    const int fd = net.OpenNamespace(0);
    netns::SetTxChecksum(fd, net.Device(0), true);
    ::close(fd);
    Pair pair(net);
    ASSERT_TRUE(pair.Bound());
    SendNumbered(net, pair, Direction::AToB, 1, 1); // alone, for ARP (see above)
    EXPECT_EQ(Collect(net, pair, Direction::AToB, 1), (std::vector<int>{1}));
    SendNumbered(net, pair, Direction::AToB, 2, 10);
    EXPECT_EQ(Collect(net, pair, Direction::AToB, 10),
              (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_GE(net.Bridge().Stats(Direction::AToB).checksumsCompleted, 10u);
}

// Reordering, duplication and loss, in either direction: the receiver's
// order is exactly the expected one, and the bridge's counters and record
// agree with it.
struct OrderCase {
    const char* name;
    Direction direction;
    netns::Impairment impairment;
    int sent;
    std::vector<int> expected;
    std::uint64_t dropped, duplicated, reordered;
};

void PrintTo(const OrderCase& c, std::ostream* out) {
    *out << c.name;
}

std::vector<int> Except(int n, std::initializer_list<int> missing) {
    std::vector<int> all;
    for (int i = 1; i <= n; ++i)
        if (std::find(missing.begin(), missing.end(), i) == missing.end())
            all.push_back(i);
    return all;
}

std::vector<int> Range(int from, int to) {
    std::vector<int> all;
    for (int i = from; i <= to; ++i)
        all.push_back(i);
    return all;
}

template <class... V> std::vector<int> Join(const V&... parts) {
    std::vector<int> all;
    (all.insert(all.end(), parts.begin(), parts.end()), ...);
    return all;
}

class ImpairBridgeOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(ImpairBridgeOrder, ReceiverSeesExactlyWhatTheBridgeDid) {
    const OrderCase& c = GetParam();
    netns::Bridged setup;
    (c.direction == Direction::AToB ? setup.aToB : setup.bToA) = c.impairment;
    netns::Topology net(setup);
    Pair pair(net);
    ASSERT_TRUE(pair.Bound());
    Warm(net, pair);
    SendNumbered(net, pair, c.direction, 1, c.sent);
    const std::vector<int> seen =
        Collect(net, pair, c.direction, static_cast<std::uint64_t>(c.sent));
    EXPECT_EQ(seen, c.expected);

    const netns::BridgeStats s = net.Bridge().Stats(c.direction);
    EXPECT_EQ(s.datagrams, static_cast<std::uint64_t>(c.sent));
    EXPECT_EQ(s.datagramsForwarded, seen.size());
    EXPECT_EQ(s.dropped, c.dropped);
    EXPECT_EQ(s.duplicated, c.duplicated);
    EXPECT_EQ(s.reordered, c.reordered);
    const auto record = net.Bridge().Record(c.direction);
    EXPECT_EQ(Indices(record), seen) << "the record is in the receiver's order";
    std::uint64_t late = 0;
    int highest = 0;
    std::set<int> once;
    std::uint64_t repeats = 0;
    for (const int i : seen) {
        late += i < highest && once.count(i) == 0 ? 1 : 0;
        highest = std::max(highest, i);
        repeats += once.insert(i).second ? 0 : 1;
    }
    EXPECT_EQ(netns::LateCount(record), late);
    EXPECT_EQ(s.duplicated, repeats);

    // The other direction passes untouched meanwhile.
    const Direction other = c.direction == Direction::AToB ? Direction::BToA : Direction::AToB;
    SendNumbered(net, pair, other, 1, 4);
    EXPECT_EQ(Collect(net, pair, other, 4), (std::vector<int>{1, 2, 3, 4}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImpairBridgeOrder,
    testing::Values(
        // The last held one (30) has no 3 followers: it goes at the timeout.
        OrderCase{"ReorderEvery10By3",
                  Direction::AToB,
                  {.reorderEvery = 10, .reorderBy = 3, .reorderTimeoutUs = 50000},
                  30,
                  Join(Range(1, 9), std::vector{11, 12, 13, 10}, Range(14, 19),
                       std::vector{21, 22, 23, 20}, Range(24, 29), std::vector{30}),
                  0,
                  0,
                  3},
        OrderCase{"DuplicateEvery7",
                  Direction::BToA,
                  {.duplicateEvery = 7},
                  20,
                  Join(Range(1, 7), Range(7, 14), Range(14, 20)),
                  0,
                  2,
                  0},
        OrderCase{"LossEvery5",
                  Direction::AToB,
                  {.lossEvery = 5},
                  30,
                  Except(30, {5, 10, 15, 20, 25, 30}),
                  6,
                  0,
                  0},
        // Loss first; a duplicated datagram counts once towards a held one's
        // release; a held one goes after its followers' copies.
        OrderCase{"AllTogether",
                  Direction::BToA,
                  {.reorderEvery = 5, .reorderBy = 2, .duplicateEvery = 6, .lossEvery = 4},
                  20,
                  {1, 2, 3, 6, 6, 7, 5, 9, 11, 13, 10, 14, 17, 18, 18, 15, 19},
                  5,
                  2,
                  3},
        // Held and duplicated: both copies go at the release.
        OrderCase{"HeldAndDuplicated",
                  Direction::AToB,
                  {.reorderEvery = 4, .reorderBy = 1, .duplicateEvery = 4},
                  8,
                  {1, 2, 3, 5, 4, 4, 6, 7, 8, 8},
                  0,
                  2,
                  2}),
    [](const testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

TEST(ImpairBridge, AddsTheFixedDelayAndKeepsTheSpreadWithinItsBounds) {
    netns::Bridged setup;
    setup.aToB = {.delayUs = 20000};
    setup.bToA = {.delayUs = 3000, .spreadUs = 4000, .seed = 11};
    netns::Topology net(setup);
    Pair pair(net);
    ASSERT_TRUE(pair.Bound());
    Warm(net, pair);
    // One process, one monotonic clock: the receiver sees the one-way delay.
    for (const auto direction : {Direction::AToB, Direction::BToA}) {
        const int sender = direction == Direction::AToB ? 0 : 1;
        std::vector<std::int64_t> delays;
        for (int i = 0; i < 20; ++i) {
            const std::int64_t sent = NowNs();
            ASSERT_TRUE(pair.host[sender]->SendTo(net.Address(1 - sender), std::to_string(i)));
            ASSERT_TRUE(pair.host[1 - sender]->Receive(2000).has_value());
            delays.push_back(NowNs() - sent);
        }
        const netns::Impairment s = net.Bridge().Settings(direction);
        const std::int64_t low = std::int64_t{s.delayUs} * 1000;
        const std::int64_t high = low + std::int64_t{s.spreadUs} * 1000;
        // The receiving thread is not a real-time one: on a loaded machine
        // (or under a sanitizer) it may wake late, hence the bound of 1 s.
        for (const std::int64_t d : delays) {
            EXPECT_GE(d, low);
            EXPECT_LT(d, high + 1'000'000'000);
        }
        // The receiver may be a moment ahead of the bridge's record.
        EXPECT_TRUE(
            testhelp::WaitUntil([&] { return net.Bridge().Record(direction).size() == 20; }));
        const netns::DelaySummary added = netns::AddedDelay(net.Bridge().Record(direction));
        EXPECT_EQ(added.count, 20u);
        EXPECT_GE(added.minNs, low);
        EXPECT_LT(added.maxNs, high + 30'000'000);
    }
    // A spread of 4 ms over 20 datagrams does not stay in one millisecond.
    const netns::DelaySummary spread = netns::AddedDelay(net.Bridge().Record(Direction::BToA));
    EXPECT_GT(spread.maxNs - spread.minNs, 1'000'000);
}

TEST(ImpairBridge, KeepOrderStopsTheSpreadFromReordering) {
    netns::Bridged setup;
    setup.aToB = {.delayUs = 1000, .spreadUs = 5000, .seed = 3, .keepOrder = true};
    netns::Topology net(setup);
    Pair pair(net);
    ASSERT_TRUE(pair.Bound());
    Warm(net, pair);
    SendNumbered(net, pair, Direction::AToB, 1, 200);
    EXPECT_EQ(Collect(net, pair, Direction::AToB, 200), Range(1, 200));
    const auto record = net.Bridge().Record(Direction::AToB);
    EXPECT_EQ(netns::LateCount(record), 0u);
    // Without it, 200 back-to-back datagrams with 0..5 ms each are shuffled.
    net.Bridge().Set(Direction::AToB, {.delayUs = 1000, .spreadUs = 5000, .seed = 3});
    net.Bridge().Reset(Direction::AToB);
    SendNumbered(net, pair, Direction::AToB, 1, 200);
    const std::vector<int> shuffled = Collect(net, pair, Direction::AToB, 200);
    EXPECT_EQ(shuffled.size(), 200u);
    EXPECT_NE(shuffled, Range(1, 200));
    EXPECT_EQ(Indices(net.Bridge().Record(Direction::AToB)), shuffled);
}

TEST(ImpairBridge, RandomLossIsTheSameForTheSameSeed) {
    netns::Topology net(netns::Bridged{});
    Pair pair(net);
    ASSERT_TRUE(pair.Bound());
    Warm(net, pair);
    net.Bridge().Set(Direction::AToB, {.seed = 42, .lossProbability = 0.25});
    auto run = [&] {
        net.Bridge().Reset(Direction::AToB);
        SendNumbered(net, pair, Direction::AToB, 1, 400);
        return Collect(net, pair, Direction::AToB, 400);
    };
    const std::vector<int> first = run();
    const std::vector<int> again = run();
    EXPECT_EQ(first, again);
    EXPECT_EQ(net.Bridge().Stats(Direction::AToB).dropped, 400 - again.size());
    // 100 expected; far outside 50..150 means the probability is not applied.
    EXPECT_GT(first.size(), 250u);
    EXPECT_LT(first.size(), 350u);
    net.Bridge().Set(Direction::AToB, {.seed = 43, .lossProbability = 0.25});
    EXPECT_NE(run(), first);
}

TEST(ImpairBridge, SettingsChangeWhileRunningAndResetNumbersAgain) {
    netns::Topology net(netns::Bridged{});
    Pair pair(net);
    ASSERT_TRUE(pair.Bound());
    Warm(net, pair);
    SendNumbered(net, pair, Direction::AToB, 1, 10);
    EXPECT_EQ(Collect(net, pair, Direction::AToB, 10), Range(1, 10));
    // Datagrams 11..20 are numbered 11..20 by the bridge: the even ones go.
    net.Bridge().Set(Direction::AToB, {.lossEvery = 2});
    EXPECT_EQ(net.Bridge().Settings(Direction::AToB).lossEvery, 2u);
    SendNumbered(net, pair, Direction::AToB, 11, 20);
    EXPECT_EQ(Collect(net, pair, Direction::AToB, 20), (std::vector<int>{11, 13, 15, 17, 19}));
    // After a reset they count from 1 again: 21..24 are 1..4 to the bridge.
    net.Bridge().Reset(Direction::AToB);
    SendNumbered(net, pair, Direction::AToB, 21, 24);
    EXPECT_EQ(Collect(net, pair, Direction::AToB, 4), (std::vector<int>{21, 23}));
    const netns::BridgeStats s = net.Bridge().Stats(Direction::AToB);
    EXPECT_EQ(s.datagrams, 4u);
    EXPECT_EQ(s.dropped, 2u);
    EXPECT_EQ(Indices(net.Bridge().Record(Direction::AToB)), (std::vector<int>{1, 3}));
}

TEST(ImpairBridge, BadSettingsAreRefused) {
    const struct {
        const char* name;
        netns::Impairment impairment;
    } cases[] = {
        {"delay and spread above 10 s", {.delayUs = 9'000'000, .spreadUs = 1'000'001}},
        {"reorder by too many", {.reorderEvery = 2, .reorderBy = netns::kMaxReorderBy + 1}},
        {"hold too long", {.reorderTimeoutUs = netns::kMaxReorderTimeoutUs + 1}},
        {"probability above 1", {.lossProbability = 1.5}},
        {"probability below 0", {.lossProbability = -0.1}},
        {"probability not a number", {.lossProbability = std::nan("")}},
    };
    for (const auto& c : cases) {
        EXPECT_THROW(netns::Validate(c.impairment), std::invalid_argument) << c.name;
        EXPECT_THROW(netns::Topology(netns::Bridged{c.impairment, {}}), std::invalid_argument)
            << c.name;
    }
    EXPECT_NO_THROW(
        netns::Validate({.delayUs = 9'000'000, .spreadUs = 1'000'000, .lossProbability = 1.0}));
    netns::Topology net(netns::Bridged{});
    EXPECT_THROW(net.Bridge().Set(Direction::BToA, cases[0].impairment), std::invalid_argument);
    EXPECT_EQ(net.Bridge().Settings(Direction::BToA).delayUs, 0u);
    netns::Topology plain(2);
    EXPECT_THROW(plain.Bridge(), std::logic_error);
}

// At 20 000 datagrams/s with 5 ms each way, every datagram comes through.
// The bridge's timing figures are printed, not asserted beyond sanity.
TEST(ImpairBridge, KeepsUpWithTwentyThousandDatagramsPerSecond) {
    netns::Bridged setup;
    setup.aToB = {.delayUs = 5000, .spreadUs = 500, .seed = 5};
    netns::Topology net(setup);
    Pair pair(net);
    ASSERT_TRUE(pair.Bound());
    Warm(net, pair);
    constexpr int kCount = 20000;
    constexpr std::int64_t kGapNs = 50'000;
    std::atomic<int> received{0};
    std::thread receiver([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (received.load() < kCount && std::chrono::steady_clock::now() < deadline) {
            if (pair.host[1]->Receive(100))
                received.fetch_add(1);
        }
    });
    const std::string payload(1000, 'x');
    const std::int64_t start = NowNs();
    for (int i = 0; i < kCount; ++i) {
        const std::int64_t at = start + i * kGapNs;
        const timespec when{static_cast<time_t>(at / 1'000'000'000),
                            static_cast<long>(at % 1'000'000'000)};
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr);
        pair.host[0]->SendTo(net.Address(1), payload);
    }
    receiver.join();
    EXPECT_EQ(received.load(), kCount);
    const netns::BridgeStats s = net.Bridge().Stats(Direction::AToB);
    EXPECT_EQ(s.datagramsForwarded, static_cast<std::uint64_t>(kCount));
    EXPECT_EQ(s.overflow + s.socketDrops + s.sendErrors, 0u);
    EXPECT_TRUE(s.realtime) << "this harness runs as root";
    const netns::DelaySummary added = netns::AddedDelay(net.Bridge().Record(Direction::AToB));
    EXPECT_GE(added.minNs, 5'000'000);
    EXPECT_LT(added.medianNs, 5'500'000 + 20'000'000);
    std::printf("bridge at 20k/s: added delay min %.3f median %.3f p99 %.3f max %.3f ms; "
                "%llu of %d sent over 100 us late, latest %.3f ms late (real-time: %d)\n",
                added.minNs / 1e6, added.medianNs / 1e6, added.p99Ns / 1e6, added.maxNs / 1e6,
                static_cast<unsigned long long>(s.lateOver100us), kCount, s.maxLatenessNs / 1e6,
                s.realtime ? 1 : 0);
}

TEST(ImpairBridge, NothingLeavesTheNamespaces) {
    // Listeners in the machine's own namespace and in this process's world.
    std::unique_ptr<Udp> outside;
    std::thread([&] {
        ASSERT_EQ(::setns(netns::MachineNamespace(), CLONE_NEWNET), 0);
        outside = std::make_unique<Udp>();
    }).join();
    ASSERT_TRUE(outside && outside->bound);
    Udp world;
    ASSERT_TRUE(world.bound);

    netns::Topology net(netns::Bridged{{.duplicateEvery = 2}, {.duplicateEvery = 2}});
    Pair pair(net);
    ASSERT_TRUE(pair.Bound());
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(pair.host[i]->SendTo("255.255.255.255", "all"));
        ASSERT_TRUE(pair.host[i]->SendTo(net.Address(1 - i), "peer"));
        ASSERT_TRUE(pair.host[i]->SendTo("198.18.0.9", "nobody"));
    }
    // Each host hears its own broadcast (from loopback), the peer's, and the
    // peer's unicast twice.
    for (int i = 0; i < 2; ++i) {
        int heard = 0;
        while (pair.host[i]->Receive(300))
            ++heard;
        EXPECT_EQ(heard, 4) << "host " << i;
    }
    EXPECT_FALSE(outside->Receive(200).has_value());
    EXPECT_FALSE(world.Receive(0).has_value());
}

TEST(ImpairBridge, TopologyRemovesItsThreeNamespaces) {
    std::vector<std::string> names;
    {
        netns::Topology net(netns::Bridged{});
        names = {net.Name(0), net.Name(1), net.BridgeNamespace()};
        for (const auto& name : names)
            EXPECT_TRUE(std::filesystem::exists("/run/netns/" + name)) << name;
    }
    for (const auto& name : names)
        EXPECT_FALSE(std::filesystem::exists("/run/netns/" + name)) << name;
}

TEST(ImpairBridgeRecord, JitterDelayFiguresAndLateCountFromARecord) {
    auto passage = [](std::uint64_t index, std::int64_t addedNs, std::uint8_t flags = 0) {
        netns::Passage p;
        p.index = index;
        p.arrivalNs = 1'000'000 * static_cast<std::int64_t>(index);
        p.departureNs = p.arrivalNs + addedNs;
        p.flags = flags;
        return p;
    };
    // Added delays 0, 16, 16: J = 16/16 = 1, then 1 + (0 - 1)/16. A copy
    // (with an absurd delay) is skipped.
    const std::vector<netns::Passage> record{
        passage(1, 0), passage(2, 16), passage(2, 5000, netns::Passage::kCopy), passage(3, 16)};
    EXPECT_DOUBLE_EQ(netns::JitterNs(record), 0.9375);
    EXPECT_DOUBLE_EQ(netns::JitterNs({}), 0.0);

    std::vector<netns::Passage> hundred;
    for (std::uint64_t i = 1; i <= 100; ++i)
        hundred.push_back(passage(i, static_cast<std::int64_t>(101 - i)));
    const netns::DelaySummary d = netns::AddedDelay(hundred);
    EXPECT_EQ(d.count, 100u);
    EXPECT_EQ(d.minNs, 1);
    EXPECT_EQ(d.medianNs, 50);
    EXPECT_EQ(d.p99Ns, 99);
    EXPECT_EQ(d.maxNs, 100);
    EXPECT_EQ(netns::AddedDelay({}).count, 0u);

    // 2 after 3 is late, so are 1 and 4 after 5; a copy of 5 is not.
    const std::vector<netns::Passage> shuffled{
        passage(3, 0), passage(2, 0), passage(5, 0), passage(5, 0, netns::Passage::kCopy),
        passage(1, 0), passage(4, 0), passage(6, 0)};
    EXPECT_EQ(netns::LateCount(shuffled), 3u);
}

// rv_impair, started as a script would: a line "ready A B" on stderr, JSON
// on stdout at the end, its namespaces gone.
class Impair final {
public:
    explicit Impair(const std::vector<std::string>& arguments) {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> words{RV_IMPAIR};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        const int rc = ::posix_spawn(&m_pid, RV_IMPAIR, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
        if (rc != 0)
            throw std::runtime_error("cannot start rv_impair");
    }
    ~Impair() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
        ::close(m_err);
    }
    Impair(const Impair&) = delete;
    Impair& operator=(const Impair&) = delete;

    // The words of the "ready" line, or nothing when none came in time.
    std::vector<std::string> WaitReady(milliseconds timeout) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (text.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{m_err, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return {};
            char c[256];
            const ssize_t n = ::read(m_err, c, sizeof c);
            if (n <= 0)
                return {};
            text.append(c, static_cast<std::size_t>(n));
        }
        std::vector<std::string> words;
        std::string word;
        for (const char c : text.substr(0, text.find('\n'))) {
            if (c == ' ') {
                words.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        words.push_back(word);
        return words;
    }
    void Terminate() const { ::kill(m_pid, SIGTERM); }
    // Waits for the end; answers the exit status (-1 when it did not end in time).
    int Wait(milliseconds timeout) {
        int status = 0;
        const bool ended = testhelp::WaitUntil(
            [&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout);
        if (!ended)
            return -1;
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string Output() const {
        std::string text;
        char c[4096];
        while (true) {
            const ssize_t n = ::read(m_out, c, sizeof c);
            if (n <= 0)
                return text;
            text.append(c, static_cast<std::size_t>(n));
        }
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
};

// A socket in a named namespace.
std::unique_ptr<Udp> UdpIn(const std::string& name) {
    std::unique_ptr<Udp> udp;
    std::thread([&] {
        const int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0)
            udp = std::make_unique<Udp>();
        if (fd >= 0)
            ::close(fd);
    }).join();
    return udp;
}

TEST(ImpairProgram, MakesTheLinkImpairsAndEndsCleanlyOnSigterm) {
    Impair impair({"--duration", "60", "--delay-us", "2000", "--ab-loss-every", "3",
                   "--ba-duplicate-every", "2"});
    const std::vector<std::string> ready = impair.WaitReady(milliseconds(10000));
    ASSERT_EQ(ready.size(), 3u);
    ASSERT_EQ(ready[0], "ready");
    auto a = UdpIn(ready[1]);
    auto b = UdpIn(ready[2]);
    ASSERT_TRUE(a && b && a->bound && b->bound);
    std::vector<int> atB;
    ASSERT_TRUE(a->SendTo("198.18.0.2", "1")); // alone, for ARP
    if (const auto text = b->Receive(5000))
        atB.push_back(std::stoi(*text));
    for (int i = 2; i <= 9; ++i)
        ASSERT_TRUE(a->SendTo("198.18.0.2", std::to_string(i)));
    while (const auto text = b->Receive(500))
        atB.push_back(std::stoi(*text));
    EXPECT_EQ(atB, (std::vector<int>{1, 2, 4, 5, 7, 8}));
    for (int i = 1; i <= 2; ++i)
        ASSERT_TRUE(b->SendTo("198.18.0.1", std::to_string(i)));
    std::vector<int> atA;
    while (const auto text = a->Receive(500))
        atA.push_back(std::stoi(*text));
    EXPECT_EQ(atA, (std::vector<int>{1, 2, 2}));
    a.reset();
    b.reset();

    impair.Terminate();
    ASSERT_EQ(impair.Wait(milliseconds(10000)), 0);
    const auto summary = nlohmann::json::parse(impair.Output());
    EXPECT_EQ(summary["ended_by"], "signal");
    EXPECT_EQ(summary["a_to_b"]["counts"]["datagrams"], 9);
    EXPECT_EQ(summary["a_to_b"]["counts"]["dropped"], 3);
    EXPECT_EQ(summary["a_to_b"]["settings"]["delay_us"], 2000);
    EXPECT_EQ(summary["b_to_a"]["counts"]["duplicated"], 1);
    EXPECT_EQ(summary["b_to_a"]["record"]["passages"], 3);
    EXPECT_GE(summary["a_to_b"]["record"]["added_delay_min_ns"].get<std::int64_t>(), 2'000'000);
    EXPECT_FALSE(std::filesystem::exists("/run/netns/" + ready[1]));
    EXPECT_FALSE(std::filesystem::exists("/run/netns/" + ready[2]));
}

// Between two devices of a namespace a script made, with checksum offload
// left on at the hosts: the bridge completes the checksums.
TEST(ImpairProgram, BridgesAnExistingNamespaceAndEndsByItself) {
    const std::string prefix = "rvt" + std::to_string(::getpid()) + "-s";
    const std::string h0 = prefix + "0";
    const std::string h1 = prefix + "1";
    const std::string mid = prefix + "m";
    struct Cleanup {
        std::vector<std::string> names;
        ~Cleanup() {
            for (const auto& n : names)
                netns::Run("ip netns del " + n + " 2>/dev/null");
        }
    } cleanup{{h0, h1, mid}};
    ASSERT_EQ(netns::Run("ip netns add " + h0 + " && ip netns add " + h1 + " && ip netns add " +
                         mid + " && ip link add x0 netns " + h0 + " type veth peer name m0 netns " +
                         mid + " && ip link add x1 netns " + h1 + " type veth peer name m1 netns " +
                         mid + " && ip -n " + mid + " link set m0 up && ip -n " + mid +
                         " link set m1 up && ip -n " + h0 +
                         " addr add 198.18.0.1/24 dev x0 && ip -n " + h0 +
                         " link set x0 up && ip -n " + h1 +
                         " addr add 198.18.0.2/24 dev x1 && ip -n " + h1 + " link set x1 up"),
              0);
    Impair impair({"--duration", "3", "--netns", mid, "--legs", "m0,m1", "--ab-delay-us", "1000"});
    const std::vector<std::string> ready = impair.WaitReady(milliseconds(10000));
    ASSERT_EQ(ready, (std::vector<std::string>{"ready"}));
    auto a = UdpIn(h0);
    auto b = UdpIn(h1);
    ASSERT_TRUE(a && b && a->bound && b->bound);
    ASSERT_TRUE(a->SendTo("198.18.0.2", "1")); // alone, for ARP
    int heard = b->Receive(5000) ? 1 : 0;
    for (int i = 2; i <= 5; ++i)
        ASSERT_TRUE(a->SendTo("198.18.0.2", std::to_string(i)));
    while (b->Receive(500))
        ++heard;
    EXPECT_EQ(heard, 5);
    a.reset();
    b.reset();
    ASSERT_EQ(impair.Wait(milliseconds(15000)), 0);
    const auto summary = nlohmann::json::parse(impair.Output());
    EXPECT_EQ(summary["ended_by"], "duration");
    EXPECT_EQ(summary["a_to_b"]["counts"]["datagrams_forwarded"], 5);
    EXPECT_GE(summary["a_to_b"]["counts"]["checksums_completed"].get<int>(), 5);
    EXPECT_TRUE(std::filesystem::exists("/run/netns/" + mid)) << "not its own: left alone";
}

TEST(ImpairProgram, RefusesBadSettings) {
    const std::vector<std::vector<std::string>> cases{
        {"--duration", "1", "--loss-probability", "2"},
        {"--duration", "1", "--delay-us", "20000000"},
        {"--delay-us", "1000"},
        {"--duration", "1", "--netns", "x"},
    };
    for (const auto& arguments : cases) {
        Impair impair(arguments);
        EXPECT_NE(impair.Wait(milliseconds(10000)), 0) << arguments[arguments.size() - 1];
    }
}

} // namespace
