// SPDX-License-Identifier: GPL-3.0-or-later
// The harness itself: broadcast comes back inside the private namespace, a
// datagram crosses between two hosts, nothing reaches the machine's namespace.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "NetNs.h"
#include "xSocket.h"

namespace {

constexpr std::uint16_t kPort = 47222;

struct Udp {
    SOCKET fd = INVALID_SOCKET;
    explicit Udp(std::uint16_t port) {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_port = htons(port);
        bound = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    }
    ~Udp() { closesocket(fd); }
    bool bound = false;
    bool SendTo(const char* address, std::uint16_t port, const std::string& text) const {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = inet_addr(address);
        return ::sendto(fd, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(text.size());
    }
    // Waits up to timeoutMs for one datagram; empty text when none came.
    std::string Receive(int timeoutMs, std::string* from = nullptr) const {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return {};
        char buffer[256];
        sockaddr_in source{};
        socklen_t length = sizeof source;
        const ssize_t n =
            ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&source), &length);
        if (from != nullptr)
            *from = inet_ntoa(source.sin_addr);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string{};
    }
};

TEST(NetNsHarness, BroadcastInPrivateNamespaceComesBackFromLoopback) {
    Udp socket(kPort);
    ASSERT_TRUE(socket.bound);
    ASSERT_TRUE(socket.SendTo("255.255.255.255", kPort, "echo"));
    std::string from;
    EXPECT_EQ(socket.Receive(2000, &from), "echo");
    EXPECT_EQ(from, "127.0.0.1");
}

TEST(NetNsHarness, DatagramCrossesBetweenTwoHostsAndBroadcastReachesBoth) {
    netns::Topology net(2);
    std::unique_ptr<Udp> a;
    std::unique_ptr<Udp> b;
    {
        netns::HostScope in(net, 0);
        a = std::make_unique<Udp>(kPort);
    }
    {
        netns::HostScope in(net, 1);
        b = std::make_unique<Udp>(kPort);
    }
    ASSERT_TRUE(a->bound && b->bound);
    ASSERT_TRUE(a->SendTo(net.Address(1).c_str(), kPort, "unicast"));
    std::string from;
    EXPECT_EQ(b->Receive(2000, &from), "unicast");
    EXPECT_EQ(from, net.Address(0));

    // A broadcast on the veth reaches the peer and is heard back by the sender
    // from its own address: that is how a copy learns its address.
    ASSERT_TRUE(a->SendTo("255.255.255.255", kPort, "hello"));
    EXPECT_EQ(b->Receive(2000, &from), "hello");
    EXPECT_EQ(from, net.Address(0));
    EXPECT_EQ(a->Receive(2000, &from), "hello");
    EXPECT_EQ(from, net.Address(0));
}

TEST(NetNsHarness, ThreeHostsShareOneBroadcastDomain) {
    netns::Topology net(3);
    std::vector<std::unique_ptr<Udp>> hosts;
    for (int i = 0; i < 3; ++i) {
        netns::HostScope in(net, i);
        hosts.push_back(std::make_unique<Udp>(kPort));
        ASSERT_TRUE(hosts.back()->bound);
    }
    ASSERT_TRUE(hosts[2]->SendTo("255.255.255.255", kPort, "all"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(hosts[static_cast<std::size_t>(i)]->Receive(2000), "all") << "host " << i;
}

TEST(NetNsHarness, NothingReachesTheMachinesOwnNamespace) {
    // A listening socket in the machine's own namespace (it only receives).
    std::unique_ptr<Udp> outside;
    std::thread([&] {
        ASSERT_GE(netns::MachineNamespace(), 0);
        ASSERT_EQ(::setns(netns::MachineNamespace(), CLONE_NEWNET), 0);
        ASSERT_TRUE(netns::InMachineNamespace());
        outside = std::make_unique<Udp>(kPort + 1);
    }).join();
    ASSERT_TRUE(outside && outside->bound);

    EXPECT_FALSE(netns::InMachineNamespace());
    netns::Topology net(2);
    Udp world(0);
    world.SendTo("255.255.255.255", kPort + 1, "world");
    {
        netns::HostScope in(net, 0);
        Udp host(0);
        host.SendTo("255.255.255.255", kPort + 1, "host");
        host.SendTo(net.Address(1).c_str(), kPort + 1, "peer");
    }
    EXPECT_EQ(outside->Receive(500), "");
}

TEST(NetNsHarness, DropEveryNthDropsAndCountsExactly) {
    netns::Topology net(2);
    std::unique_ptr<Udp> a;
    std::unique_ptr<Udp> b;
    {
        netns::HostScope in(net, 0);
        a = std::make_unique<Udp>(kPort);
    }
    {
        netns::HostScope in(net, 1);
        b = std::make_unique<Udp>(kPort);
    }
    netns::DropEveryNth drop(net, 1, 10, kPort);
    constexpr int kSent = 100;
    for (int i = 0; i < kSent; ++i)
        ASSERT_TRUE(a->SendTo(net.Address(1).c_str(), kPort, "d" + std::to_string(i)));
    int received = 0;
    while (!b->Receive(300).empty())
        ++received;
    EXPECT_EQ(drop.Dropped(), 10u);
    EXPECT_EQ(drop.Passed(), 90u);
    EXPECT_EQ(received, 90);
}

} // namespace
