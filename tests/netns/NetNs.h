// SPDX-License-Identifier: GPL-3.0-or-later
// Network test harness. Every test that opens a socket runs inside network
// namespaces this harness made: the test process first moves into a private
// namespace of its own (the "world": loopback up, 255.255.255.255 delivered
// back over loopback), and tests that need several hosts get them as named
// namespaces joined by veth pairs, with addresses in 198.18.0.0/15. Nothing a
// test sends can reach the machine's own namespace.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "NetNsBridge.h"

namespace netns {

// Moves the whole process into a fresh private network namespace. Exits the
// process with a loud message when that is impossible (not root, no support):
// a socket test must never run in the machine's own namespace.
void EnterPrivateWorld();

// Aborts with a loud message when the calling thread is in the machine's own
// network namespace.
void RequirePrivateNamespace();

// True when the calling thread is in the namespace the process started in
// (the machine's own), as recorded by EnterPrivateWorld().
bool InMachineNamespace();
// A file descriptor of the machine's own namespace, kept by EnterPrivateWorld();
// only for tests that prove nothing reaches it.
int MachineNamespace();

// Runs a shell command; returns its exit status.
int Run(const std::string& command);
// Runs a shell command and returns what it printed; throws when it fails.
std::string Output(const std::string& command);

// Two hosts joined through an impairment bridge (NetNsBridge.h): host 0's
// "rv0" is a veth to leg "rvl0" of a third, middle namespace, host 1's "rv1"
// to its leg "rvl1", and the bridge forwards between the legs, aToB being
// the traffic from host 0 to host 1. Transmit checksum offload is off on the
// host devices, so the bridge copies complete frames.
struct Bridged {
    Bridged() = default;
    Bridged(const Impairment& a, const Impairment& b, const BridgeLimits& l = {})
        : aToB(a), bToA(b), limits(l) {}
    Impairment aToB;
    Impairment bToA;
    BridgeLimits limits;
};

// Two or three hosts. Two hosts are joined by one veth pair, or through an
// impairment bridge; three hosts each have a veth to a bridge in the private
// world. Host i has address 198.18.0.(i+1)/24 on device "rv<i>" and a route
// for 255.255.255.255 on it. Everything is removed in the destructor, also
// when the test failed.
class Topology final {
public:
    explicit Topology(int hosts);
    explicit Topology(const Bridged& bridged);
    ~Topology();
    Topology(const Topology&) = delete;
    Topology& operator=(const Topology&) = delete;

    int Hosts() const { return static_cast<int>(m_names.size()); }
    const std::string& Name(int host) const { return m_names.at(static_cast<std::size_t>(host)); }
    std::string Address(int host) const;      // dotted text
    std::uint32_t AddressNet(int host) const; // network byte order, as in sockaddr_in
    std::string Device(int host) const;       // the host's veth device

    // Runs a shell command inside the host's namespace; throws when it fails.
    void Exec(int host, const std::string& command) const;
    std::string ExecOutput(int host, const std::string& command) const;

    // Opens the host's namespace file (for setns); the caller closes it.
    int OpenNamespace(int host) const;

    // The impairment bridge and its namespace; a Topology made without
    // Bridged throws std::logic_error.
    netns::Bridge& Bridge() const;
    const std::string& BridgeNamespace() const;

private:
    void AddHostAddresses();
    void WaitRunning() const;
    void Teardown();
    std::vector<std::string> m_names;
    std::string m_middle;                    // the bridge's namespace, when bridged
    std::unique_ptr<netns::Bridge> m_bridge; // stopped before the namespaces go
};

// Puts the calling thread into a host's namespace for the life of the object.
// Sockets created meanwhile belong to that host, also after the scope ends.
class HostScope final {
public:
    HostScope(const Topology& topology, int host);
    ~HostScope();
    HostScope(const HostScope&) = delete;
    HostScope& operator=(const HostScope&) = delete;

private:
    int m_previous = -1;
};

// Drops every n-th UDP datagram to `port` that arrives at the host, counting
// the drops. The sender's socket sees a success, as on a lossy channel. (This
// kernel has no netem; nftables does the impairment.)
class DropEveryNth final {
public:
    DropEveryNth(const Topology& topology, int host, int n, int port);
    ~DropEveryNth();
    DropEveryNth(const DropEveryNth&) = delete;
    DropEveryNth& operator=(const DropEveryNth&) = delete;
    // Datagrams dropped so far.
    std::uint64_t Dropped() const;
    // Datagrams that passed the rule (sent and not dropped).
    std::uint64_t Passed() const;

private:
    std::uint64_t Counter(const std::string& name) const;
    const Topology& m_topology;
    int m_host;
};

} // namespace netns
