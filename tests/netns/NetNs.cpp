// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetNs.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "xSocket.h"

namespace netns {
namespace {

int g_machineNamespace = -1;
struct stat g_machineId {};

bool SameNamespace(const char* path, const struct stat& id) {
    struct stat own {};
    return ::stat(path, &own) == 0 && own.st_ino == id.st_ino && own.st_dev == id.st_dev;
}

[[noreturn]] void Refuse(const std::string& why) {
    std::fprintf(
        stderr,
        "\n*** NETWORK TEST HARNESS REFUSES TO RUN: %s\n"
        "*** Socket tests run only inside private network namespaces, which need root.\n\n",
        why.c_str());
    std::fflush(stderr);
    std::_Exit(77);
}

void MustRun(const std::string& command) {
    if (const int rc = Run(command); rc != 0)
        throw std::runtime_error("command failed (" + std::to_string(rc) + "): " + command);
}

// Named namespaces left behind by a test process that crashed.
void SweepStale() {
    const std::filesystem::path run{"/run/netns"};
    std::error_code ec;
    if (!std::filesystem::is_directory(run, ec))
        return;
    for (const auto& entry : std::filesystem::directory_iterator(run, ec)) {
        // Names are "rvt<pid>-<serial>".
        const auto file = entry.path().filename().string();
        const auto dash = file.find('-');
        if (file.rfind("rvt", 0) != 0 || dash == std::string::npos || dash == 3 ||
            file.find_first_not_of("0123456789", 3) != dash)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(file.substr(3, dash - 3)));
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            Run("ip netns del " + file + " 2>/dev/null");
    }
}

} // namespace

int Run(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Output(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("cannot run: " + command);
    std::string text;
    std::array<char, 512> chunk{};
    while (const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
        text.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("command failed: " + command);
    return text;
}

void EnterPrivateWorld() {
    if (::geteuid() != 0)
        Refuse("not running as root");
    g_machineNamespace = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (g_machineNamespace < 0 || ::fstat(g_machineNamespace, &g_machineId) != 0)
        Refuse("cannot read the process's network namespace");
    if (::unshare(CLONE_NEWNET) != 0)
        Refuse(std::string("unshare(CLONE_NEWNET) failed: ") + std::strerror(errno));
    if (InMachineNamespace())
        Refuse("still in the machine's own network namespace after unshare");
    if (Run("ip link set lo up") != 0 ||
        Run("ip route add 255.255.255.255/32 dev lo src 127.0.0.1") != 0)
        Refuse("cannot set up loopback in the private namespace (is iproute2 installed?)");
    SweepStale();
}

bool InMachineNamespace() {
    // Before EnterPrivateWorld() every thread counts as being in the machine's
    // namespace; so does a thread that shares process 1's namespace.
    if (g_machineNamespace < 0)
        return true;
    if (SameNamespace("/proc/thread-self/ns/net", g_machineId))
        return true;
    struct stat init {};
    return ::stat("/proc/1/ns/net", &init) == 0 && SameNamespace("/proc/thread-self/ns/net", init);
}

int MachineNamespace() {
    return g_machineNamespace;
}

void RequirePrivateNamespace() {
    if (InMachineNamespace()) {
        std::fprintf(stderr, "\n*** A socket test is about to run in the machine's own network "
                             "namespace. Refusing.\n");
        std::abort();
    }
}

Topology::Topology(int hosts) {
    if (hosts < 2 || hosts > 3)
        throw std::invalid_argument("a topology has 2 or 3 hosts");
    RequirePrivateNamespace();
    static int serial = 0;
    const std::string prefix = "rvt" + std::to_string(::getpid()) + "-";
    try {
        for (int i = 0; i < hosts; ++i) {
            m_names.push_back(prefix + std::to_string(serial++));
            MustRun("ip netns add " + m_names.back());
        }
        if (hosts == 2) {
            MustRun("ip link add rv0 netns " + m_names[0] + " type veth peer name rv1 netns " +
                    m_names[1]);
        } else {
            MustRun("ip link add rvbr type bridge && ip link set rvbr up");
            for (int i = 0; i < hosts; ++i) {
                const std::string port = "rvp" + std::to_string(i);
                MustRun("ip link add " + port + " type veth peer name " + Device(i) + " netns " +
                        m_names[static_cast<std::size_t>(i)]);
                MustRun("ip link set " + port + " master rvbr && ip link set " + port + " up");
            }
        }
        AddHostAddresses();
    } catch (...) {
        Teardown(); // the destructor does not run for a constructor that throws
        throw;
    }
}

Topology::Topology(const Bridged& bridged) {
    RequirePrivateNamespace();
    Validate(bridged.aToB);
    Validate(bridged.bToA);
    static int serial = 0;
    const std::string prefix = "rvt" + std::to_string(::getpid()) + "-b";
    try {
        for (int i = 0; i < 2; ++i) {
            m_names.push_back(prefix + std::to_string(serial++));
            MustRun("ip netns add " + m_names.back());
        }
        m_middle = prefix + std::to_string(serial++);
        MustRun("ip netns add " + m_middle);
        for (int i = 0; i < 2; ++i) {
            const std::string leg = "rvl" + std::to_string(i);
            MustRun("ip link add " + Device(i) + " netns " + Name(i) + " type veth peer name " +
                    leg + " netns " + m_middle);
            // The legs carry no addresses and stay quiet: no IPv6 of their own.
            MustRun("ip netns exec " + m_middle + " sysctl -qw net.ipv6.conf." + leg +
                    ".disable_ipv6=1");
            MustRun("ip -n " + m_middle + " link set " + leg + " up");
        }
        for (int i = 0; i < 2; ++i) {
            const int fd = OpenNamespace(i);
            try {
                SetTxChecksum(fd, Device(i), false);
            } catch (...) {
                ::close(fd);
                throw;
            }
            ::close(fd);
        }
        AddHostAddresses();
        const std::string path = "/run/netns/" + m_middle;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw std::runtime_error("cannot open " + path);
        try {
            m_bridge = std::make_unique<netns::Bridge>(fd, "rvl0", "rvl1", bridged.aToB,
                                                       bridged.bToA, bridged.limits);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        WaitRunning();
    } catch (...) {
        Teardown();
        throw;
    }
}

// Frames sent before a fresh veth is operationally up are dropped, and a
// lost ARP request is only repeated a second later.
void Topology::WaitRunning() const {
    for (int i = 0; i < 2; ++i) {
        for (const bool middle : {false, true}) {
            const std::string path = "/run/netns/" + (middle ? m_middle : Name(i));
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                throw std::runtime_error("cannot open " + path);
            try {
                WaitUntilRunning(fd, middle ? "rvl" + std::to_string(i) : Device(i));
            } catch (...) {
                ::close(fd);
                throw;
            }
            ::close(fd);
        }
    }
}

void Topology::AddHostAddresses() {
    for (int i = 0; i < Hosts(); ++i) {
        Exec(i, "ip link set lo up");
        Exec(i, "ip addr add " + Address(i) + "/24 broadcast + dev " + Device(i));
        Exec(i, "ip link set " + Device(i) + " up");
        Exec(i, "ip route add 255.255.255.255/32 dev " + Device(i) + " src " + Address(i));
    }
}

Topology::~Topology() {
    Teardown();
}

void Topology::Teardown() {
    // The bridge's sockets hold its namespace: close them first.
    m_bridge.reset();
    if (!m_middle.empty())
        Run("ip netns del " + m_middle + " 2>/dev/null");
    m_middle.clear();
    const bool threeHosts = m_names.size() > 2;
    for (const auto& name : m_names)
        Run("ip netns del " + name + " 2>/dev/null");
    // A host namespace still held open (a child process not yet reaped, a
    // socket) outlives "ip netns del" together with its veth end, and so does
    // the bridge port here: remove the ports by name, or the next three-host
    // topology finds them taken.
    if (threeHosts) {
        for (int i = 0; i < static_cast<int>(m_names.size()); ++i)
            Run("ip link del rvp" + std::to_string(i) + " 2>/dev/null");
    }
    m_names.clear();
    Run("ip link del rvbr 2>/dev/null");
}

std::string Topology::Address(int host) const {
    return "198.18.0." + std::to_string(host + 1);
}

std::uint32_t Topology::AddressNet(int host) const {
    return inet_addr(Address(host).c_str());
}

std::string Topology::Device(int host) const {
    return "rv" + std::to_string(host);
}

void Topology::Exec(int host, const std::string& command) const {
    MustRun("ip netns exec " + Name(host) + " sh -c '" + command + "'");
}

std::string Topology::ExecOutput(int host, const std::string& command) const {
    return Output("ip netns exec " + Name(host) + " sh -c '" + command + "'");
}

int Topology::OpenNamespace(int host) const {
    const std::string path = "/run/netns/" + Name(host);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path);
    return fd;
}

netns::Bridge& Topology::Bridge() const {
    if (!m_bridge)
        throw std::logic_error("this topology has no impairment bridge");
    return *m_bridge;
}

const std::string& Topology::BridgeNamespace() const {
    if (!m_bridge)
        throw std::logic_error("this topology has no impairment bridge");
    return m_middle;
}

HostScope::HostScope(const Topology& topology, int host) {
    m_previous = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (m_previous < 0)
        throw std::runtime_error("cannot open the thread's own namespace");
    const int fd = topology.OpenNamespace(host);
    const int rc = ::setns(fd, CLONE_NEWNET);
    ::close(fd);
    if (rc != 0) {
        ::close(m_previous);
        throw std::runtime_error("setns failed");
    }
    RequirePrivateNamespace();
}

HostScope::~HostScope() {
    if (::setns(m_previous, CLONE_NEWNET) != 0)
        std::abort(); // the thread would stay in a host's namespace
    ::close(m_previous);
}

DropEveryNth::DropEveryNth(const Topology& topology, int host, int n, int port)
    : m_topology(topology), m_host(host) {
    const std::string match = "udp dport " + std::to_string(port);
    m_topology.Exec(m_host,
                    "nft add table ip rvimp && "
                    "nft add counter ip rvimp dropped && "
                    "nft add counter ip rvimp passed && "
                    "nft add chain ip rvimp in \\{ type filter hook input priority 0\\; \\} && "
                    "nft add rule ip rvimp in " +
                        match + " numgen inc mod " + std::to_string(n) +
                        " == 0 counter name dropped drop && "
                        "nft add rule ip rvimp in " +
                        match + " counter name passed");
}

DropEveryNth::~DropEveryNth() {
    Run("ip netns exec " + m_topology.Name(m_host) + " nft delete table ip rvimp 2>/dev/null");
}

std::uint64_t DropEveryNth::Counter(const std::string& name) const {
    const std::string text = m_topology.ExecOutput(m_host, "nft list counter ip rvimp " + name);
    const auto at = text.find("packets ");
    if (at == std::string::npos)
        throw std::runtime_error("no counter " + name);
    return std::stoull(text.substr(at + 8));
}

std::uint64_t DropEveryNth::Dropped() const {
    return Counter("dropped");
}

std::uint64_t DropEveryNth::Passed() const {
    return Counter("passed");
}

} // namespace netns
