// SPDX-License-Identifier: GPL-3.0-or-later
#include "NetNsBridge.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/ethtool.h>
#include <linux/if_packet.h>
#include <linux/sockios.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace netns {
namespace {

constexpr std::size_t kReadBytes = 65536; // more than any frame a veth hands over
constexpr int kBatch = 64;                // frames read before the queue is looked at again
constexpr std::int64_t kLateNs = 100'000;

// Random streams, so that a datagram's figures depend on nothing but the
// seed, the direction and its own number.
enum : std::uint64_t { kStreamUdpSpread = 1, kStreamOtherSpread = 2, kStreamLoss = 3 };

std::int64_t Now() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// SplitMix64's finaliser: a well-mixed 64-bit value for each input.
std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t Draw(std::uint64_t seed, std::uint64_t stream, std::uint64_t n) {
    return Mix(Mix(seed ^ Mix(stream)) ^ n);
}

double Unit(std::uint64_t draw) {
    return static_cast<double>(draw >> 11) * 0x1.0p-53;
}

std::uint16_t Load16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

void Store16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

// Where the transport header of an IPv4 frame is, or 0 when the frame is not
// an unfragmented IPv4 datagram of that protocol that fits the frame.
std::size_t TransportOffset(const std::uint8_t* frame, std::size_t length, std::uint8_t protocol) {
    constexpr std::size_t kEth = 14;
    if (length < kEth + 20 || Load16(frame + 12) != ETHERTYPE_IP)
        return 0;
    const std::uint8_t* ip = frame + kEth;
    const std::size_t headerLength = (ip[0] & 0x0Fu) * 4u;
    if ((ip[0] >> 4) != 4 || headerLength < 20 || ip[9] != protocol)
        return 0;
    if ((Load16(ip + 6) & 0x3FFF) != 0) // more fragments, or a fragment's offset
        return 0;
    const std::size_t total = Load16(ip + 2);
    if (total < headerLength + 8 || kEth + total > length)
        return 0;
    return kEth + headerLength;
}

// Fills in the UDP or TCP checksum of an IPv4 frame whose sender left it to
// the device. Answers whether it did.
bool CompleteChecksum(std::uint8_t* frame, std::size_t length) {
    for (const std::uint8_t protocol : {std::uint8_t{17}, std::uint8_t{6}}) {
        const std::size_t at = TransportOffset(frame, length, protocol);
        if (at == 0)
            continue;
        const std::uint8_t* ip = frame + 14;
        const std::size_t segment = Load16(ip + 2) - (at - 14);
        std::uint8_t* field = frame + at + (protocol == 17 ? 6 : 16);
        if (protocol == 6 && segment < 20)
            return false;
        Store16(field, 0);
        std::uint32_t sum = 0;
        for (std::size_t i = 0; i < 8; i += 2) // source and destination address
            sum += Load16(ip + 12 + i);
        sum += protocol;
        sum += static_cast<std::uint32_t>(segment);
        const std::uint8_t* p = frame + at;
        for (std::size_t i = 0; i + 1 < segment; i += 2)
            sum += Load16(p + i);
        if (segment % 2 != 0)
            sum += static_cast<std::uint32_t>(p[segment - 1]) << 8;
        while (sum >> 16)
            sum = (sum & 0xFFFF) + (sum >> 16);
        auto result = static_cast<std::uint16_t>(~sum & 0xFFFF);
        if (protocol == 17 && result == 0)
            result = 0xFFFF; // zero means "no checksum" in UDP
        Store16(field, result);
        return true;
    }
    return false;
}

class Fd final {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Fd& operator=(Fd&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    int Get() const { return m_fd; }

private:
    int m_fd = -1;
};

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("impairment bridge: " + what + ": " + std::strerror(errno));
}

// Puts the calling thread into a namespace until the end of the scope.
class InNamespace final {
public:
    explicit InNamespace(int namespaceFd)
        : m_previous(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC)) {
        if (m_previous.Get() < 0)
            Fail("cannot open the thread's namespace");
        if (::setns(namespaceFd, CLONE_NEWNET) != 0)
            Fail("setns");
    }
    ~InNamespace() {
        if (::setns(m_previous.Get(), CLONE_NEWNET) != 0)
            std::abort(); // the thread would stay in the bridge's namespace
    }
    InNamespace(const InNamespace&) = delete;
    InNamespace& operator=(const InNamespace&) = delete;

private:
    Fd m_previous;
};

int DeviceIndex(const std::string& device) {
    const unsigned index = ::if_nametoindex(device.c_str());
    if (index == 0)
        Fail("no device " + device);
    return static_cast<int>(index);
}

sockaddr_ll LinkAddress(int index, std::uint16_t protocol) {
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(protocol);
    address.sll_ifindex = index;
    return address;
}

// Receives every frame that arrives at the device. Created with protocol 0
// (nothing) and bound with ETH_P_ALL, so it never sees a frame of another
// device in between.
Fd IngressSocket(const std::string& device) {
    const int index = DeviceIndex(device);
    Fd fd(::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0)
        Fail("AF_PACKET socket");
    const sockaddr_ll address = LinkAddress(index, ETH_P_ALL);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        Fail("bind to " + device);
    const int one = 1;
    if (::setsockopt(fd.Get(), SOL_PACKET, PACKET_AUXDATA, &one, sizeof one) != 0)
        Fail("PACKET_AUXDATA");
    // Frames the bridge sends out of this leg would come back here; the
    // worker also checks the packet type, for kernels without this option.
    (void)::setsockopt(fd.Get(), SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof one);
    packet_mreq promiscuous{};
    promiscuous.mr_ifindex = index;
    promiscuous.mr_type = PACKET_MR_PROMISC;
    if (::setsockopt(fd.Get(), SOL_PACKET, PACKET_ADD_MEMBERSHIP, &promiscuous,
                     sizeof promiscuous) != 0)
        Fail("promiscuous mode on " + device);
    const int buffer = 8 << 20;
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) != 0)
        (void)::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    return fd;
}

// Sends frames out of the device and receives nothing.
Fd EgressSocket(const std::string& device) {
    const int index = DeviceIndex(device);
    Fd fd(::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0)
        Fail("AF_PACKET socket");
    const sockaddr_ll address = LinkAddress(index, 0);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        Fail("bind to " + device);
    // Straight to the device: the legs' queueing discipline adds nothing but
    // a moment after set-up when it drops everything.
    const int one = 1;
    (void)::setsockopt(fd.Get(), SOL_PACKET, PACKET_QDISC_BYPASS, &one, sizeof one);
    const int buffer = 8 << 20;
    if (::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDBUFFORCE, &buffer, sizeof buffer) != 0)
        (void)::setsockopt(fd.Get(), SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    return fd;
}

} // namespace

void Validate(const Impairment& impairment) {
    if (std::uint64_t{impairment.delayUs} + impairment.spreadUs > kMaxDelayUs)
        throw std::invalid_argument("delay + spread above 10 s");
    if (impairment.reorderBy > kMaxReorderBy)
        throw std::invalid_argument("reorderBy above 100000");
    if (impairment.reorderTimeoutUs > kMaxReorderTimeoutUs)
        throw std::invalid_argument("reorderTimeoutUs above 10 s");
    if (!(impairment.lossProbability >= 0.0 && impairment.lossProbability <= 1.0))
        throw std::invalid_argument("lossProbability outside 0..1");
}

struct Bridge::Worker {
    struct Frame {
        std::vector<std::uint8_t> bytes;
        std::int64_t arrivalNs = 0;
        std::int64_t dueNs = 0;
        std::uint64_t order = 0; // arrival order, breaks ties of equal due times
        std::uint64_t index = 0; // UDP datagram number; 0 for other frames
        std::uint32_t holdFor = 0;
        std::int64_t holdTimeoutNs = 0;
        bool duplicate = false;
        std::uint16_t sourcePort = 0;
        std::uint16_t destinationPort = 0;
        std::uint16_t udpLength = 0;
    };
    using FramePtr = std::unique_ptr<Frame>;
    struct Held {
        FramePtr frame;
        std::uint32_t remaining = 0;
        std::int64_t timeoutNs = 0;
    };
    // Earliest due time on top of the heap; equal times in arrival order.
    static bool Later(const FramePtr& a, const FramePtr& b) {
        return a->dueNs != b->dueNs ? a->dueNs > b->dueNs : a->order > b->order;
    }

    Worker(Direction direction, Fd ingress, Fd egress, const Impairment& impairment,
           const BridgeLimits& limits)
        : m_direction(direction), m_limits(limits), m_ingress(std::move(ingress)),
          m_egress(std::move(egress)), m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          m_timer(::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK)),
          m_settings(impairment) {
        if (m_wake.Get() < 0 || m_timer.Get() < 0)
            Fail("eventfd/timerfd");
    }

    ~Worker() { Stop(); }

    void Start() {
        m_thread = std::thread([this] { Run(); });
    }

    void Stop() {
        if (!m_thread.joinable())
            return;
        m_stop.store(true);
        const std::uint64_t one = 1;
        (void)!::write(m_wake.Get(), &one, sizeof one);
        m_thread.join();
    }

    std::uint64_t Stream(std::uint64_t stream) const {
        return stream + 16 * static_cast<std::uint64_t>(m_direction);
    }

    // --- worker thread ---------------------------------------------------

    void Run() {
        if (m_limits.realtimePriority > 0) {
            sched_param priority{};
            priority.sched_priority = m_limits.realtimePriority;
            const bool realtime =
                ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &priority) == 0;
            const std::lock_guard lock(m_mutex);
            m_stats.realtime = realtime;
        }
        std::vector<std::uint8_t> buffer(kReadBytes);
        while (!m_stop.load()) {
            std::array<pollfd, 3> fds{pollfd{m_ingress.Get(), POLLIN, 0},
                                      pollfd{m_wake.Get(), POLLIN, 0},
                                      pollfd{m_timer.Get(), POLLIN, 0}};
            if (::ppoll(fds.data(), fds.size(), nullptr, nullptr) < 0 && errno != EINTR)
                break;
            if (m_stop.load())
                break;
            if ((fds[2].revents & POLLIN) != 0) {
                std::uint64_t expirations = 0;
                (void)!::read(m_timer.Get(), &expirations, sizeof expirations);
            }
            if ((fds[0].revents & POLLIN) != 0)
                ReceiveBatch(buffer);
            Release(Now());
            ArmTimer();
        }
        const std::lock_guard lock(m_mutex);
        m_stats.leftAtStop += m_queue.size() + m_held.size();
        m_queue.clear();
        m_held.clear();
    }

    void ReceiveBatch(std::vector<std::uint8_t>& buffer) {
        for (int i = 0; i < kBatch; ++i) {
            sockaddr_ll from{};
            alignas(cmsghdr) std::array<char, CMSG_SPACE(sizeof(tpacket_auxdata))> control{};
            iovec io{buffer.data(), buffer.size()};
            msghdr message{};
            message.msg_name = &from;
            message.msg_namelen = sizeof from;
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control.data();
            message.msg_controllen = control.size();
            const ssize_t n = ::recvmsg(m_ingress.Get(), &message, MSG_DONTWAIT | MSG_TRUNC);
            if (n < 0)
                return; // EAGAIN: nothing more for now
            if (from.sll_pkttype == PACKET_OUTGOING)
                continue;
            const std::int64_t arrival = Now();
            bool checksumNotReady = false;
            for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == SOL_PACKET && c->cmsg_type == PACKET_AUXDATA) {
                    tpacket_auxdata aux{};
                    std::memcpy(&aux, CMSG_DATA(c), sizeof aux);
                    checksumNotReady = (aux.tp_status & TP_STATUS_CSUMNOTREADY) != 0;
                }
            }
            const bool truncated =
                static_cast<std::size_t>(n) > buffer.size() || (message.msg_flags & MSG_TRUNC) != 0;
            Admit(buffer.data(), static_cast<std::size_t>(n), truncated, checksumNotReady, arrival);
        }
    }

    void Admit(std::uint8_t* data, std::size_t length, bool truncated, bool checksumNotReady,
               std::int64_t arrival) {
        const bool completed = !truncated && checksumNotReady && CompleteChecksum(data, length);
        const std::size_t udp = truncated ? 0 : TransportOffset(data, length, 17);
        Impairment s;
        std::uint64_t number = 0;
        {
            const std::lock_guard lock(m_mutex);
            ++m_stats.frames;
            if (truncated) {
                ++m_stats.truncated;
                return;
            }
            m_stats.checksumsCompleted += completed ? 1 : 0;
            s = m_settings;
            if (udp != 0) {
                ++m_stats.datagrams;
                number = ++m_datagramNumber;
                const bool lost = (s.lossEvery != 0 && number % s.lossEvery == 0) ||
                                  (s.lossProbability > 0 && Unit(Draw(s.seed, Stream(kStreamLoss),
                                                                      number)) < s.lossProbability);
                if (lost) {
                    ++m_stats.dropped;
                    return;
                }
            }
            if (m_queue.size() + m_held.size() >= m_limits.queueFrames) {
                ++m_stats.overflow;
                return;
            }
        }
        FramePtr frame = TakeFrame();
        frame->bytes.assign(data, data + length);
        frame->arrivalNs = arrival;
        frame->order = ++m_order;
        frame->index = number;
        const std::uint64_t spreadNs = std::uint64_t{s.spreadUs} * 1000;
        std::int64_t due = arrival + std::int64_t{s.delayUs} * 1000;
        if (spreadNs != 0) {
            const std::uint64_t draw =
                number != 0 ? Draw(s.seed, Stream(kStreamUdpSpread), number)
                            : Draw(s.seed, Stream(kStreamOtherSpread), ++m_otherNumber);
            due += static_cast<std::int64_t>(draw % (spreadNs + 1));
        }
        if (s.keepOrder)
            due = std::max(due, m_lastDueNs);
        m_lastDueNs = std::max(m_lastDueNs, due);
        frame->dueNs = due;
        frame->holdFor = 0;
        frame->duplicate = false;
        if (number != 0) {
            const std::uint8_t* header = data + udp;
            frame->sourcePort = Load16(header);
            frame->destinationPort = Load16(header + 2);
            frame->udpLength = Load16(header + 4);
            if (s.reorderEvery != 0 && s.reorderBy != 0 && number % s.reorderEvery == 0) {
                frame->holdFor = s.reorderBy;
                frame->holdTimeoutNs = std::int64_t{s.reorderTimeoutUs} * 1000;
            }
            frame->duplicate = s.duplicateEvery != 0 && number % s.duplicateEvery == 0;
        }
        m_queue.push_back(std::move(frame));
        std::push_heap(m_queue.begin(), m_queue.end(), Later);
    }

    FramePtr TakeFrame() {
        if (m_free.empty())
            return std::make_unique<Frame>();
        FramePtr frame = std::move(m_free.back());
        m_free.pop_back();
        return frame;
    }

    void Release(std::int64_t now) {
        while (!m_queue.empty() && m_queue.front()->dueNs <= now) {
            std::pop_heap(m_queue.begin(), m_queue.end(), Later);
            FramePtr frame = std::move(m_queue.back());
            m_queue.pop_back();
            if (frame->holdFor != 0) {
                const std::int64_t timeout = frame->dueNs + frame->holdTimeoutNs;
                const std::uint32_t remaining = frame->holdFor;
                m_held.push_back(Held{std::move(frame), remaining, timeout});
                continue;
            }
            const bool original = frame->index != 0;
            Send(std::move(frame), false);
            if (!original)
                continue;
            for (auto it = m_held.begin(); it != m_held.end();) {
                if (--it->remaining == 0) {
                    Send(std::move(it->frame), true);
                    it = m_held.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto it = m_held.begin(); it != m_held.end();) {
            if (it->timeoutNs <= now) {
                Send(std::move(it->frame), true);
                it = m_held.erase(it);
            } else {
                ++it;
            }
        }
    }

    void Send(FramePtr frame, bool held) {
        const int copies = frame->duplicate ? 2 : 1;
        for (int copy = 0; copy < copies; ++copy) {
            const ssize_t sent =
                ::send(m_egress.Get(), frame->bytes.data(), frame->bytes.size(), 0);
            const std::int64_t departure = Now();
            const std::lock_guard lock(m_mutex);
            if (sent != static_cast<ssize_t>(frame->bytes.size())) {
                ++m_stats.sendErrors;
                continue;
            }
            ++m_stats.framesForwarded;
            if (!held && copy == 0) {
                const std::int64_t lateness = departure - frame->dueNs;
                m_stats.maxLatenessNs = std::max(m_stats.maxLatenessNs, lateness);
                m_stats.lateOver100us += lateness > kLateNs ? 1 : 0;
            }
            if (frame->index == 0)
                continue;
            ++m_stats.datagramsForwarded;
            m_stats.duplicated += copy != 0 ? 1 : 0;
            m_stats.reordered += held && copy == 0 ? 1 : 0;
            if (m_record.size() >= m_limits.recordLimit) {
                ++m_stats.recordFull;
                continue;
            }
            Passage passage;
            passage.index = frame->index;
            passage.arrivalNs = frame->arrivalNs;
            passage.departureNs = departure;
            passage.sourcePort = frame->sourcePort;
            passage.destinationPort = frame->destinationPort;
            passage.udpLength = frame->udpLength;
            passage.flags = static_cast<std::uint8_t>((held ? Passage::kHeld : 0) |
                                                      (copy != 0 ? Passage::kCopy : 0));
            m_record.push_back(passage);
        }
        m_free.push_back(std::move(frame));
    }

    void ArmTimer() {
        std::int64_t next = 0;
        if (!m_queue.empty())
            next = m_queue.front()->dueNs;
        for (const Held& held : m_held)
            next = next == 0 ? held.timeoutNs : std::min(next, held.timeoutNs);
        itimerspec when{};
        if (next != 0) {
            when.it_value.tv_sec = next / 1'000'000'000;
            when.it_value.tv_nsec = next % 1'000'000'000;
        }
        ::timerfd_settime(m_timer.Get(), TFD_TIMER_ABSTIME, &when, nullptr);
    }

    // --- fixed at construction ---------------------------------------------
    const Direction m_direction;
    const BridgeLimits m_limits;
    Fd m_ingress;
    Fd m_egress;
    Fd m_wake;
    Fd m_timer;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};

    // --- any thread, under m_mutex -------------------------------------------
    mutable std::mutex m_mutex;
    Impairment m_settings;
    BridgeStats m_stats;
    std::vector<Passage> m_record;
    std::uint64_t m_datagramNumber = 0;

    // --- the worker thread only ----------------------------------------------
    std::vector<FramePtr> m_queue; // a heap (Later)
    std::deque<Held> m_held;
    std::vector<FramePtr> m_free;
    std::uint64_t m_order = 0;
    std::uint64_t m_otherNumber = 0;
    std::int64_t m_lastDueNs = 0;
};

Bridge::Bridge(int namespaceFd, const std::string& leg0, const std::string& leg1,
               const Impairment& aToB, const Impairment& bToA, const BridgeLimits& limits) {
    Validate(aToB);
    Validate(bToA);
    if (limits.queueFrames == 0)
        throw std::invalid_argument("queueFrames must be at least 1");
    {
        const InNamespace in(namespaceFd);
        m_workers[0] = std::make_unique<Worker>(Direction::AToB, IngressSocket(leg0),
                                                EgressSocket(leg1), aToB, limits);
        m_workers[1] = std::make_unique<Worker>(Direction::BToA, IngressSocket(leg1),
                                                EgressSocket(leg0), bToA, limits);
    }
    for (auto& worker : m_workers)
        worker->Start();
}

Bridge::~Bridge() {
    Stop();
}

void Bridge::Stop() {
    for (auto& worker : m_workers)
        worker->Stop();
}

void Bridge::Set(Direction direction, const Impairment& impairment) {
    Validate(impairment);
    Worker& worker = *m_workers.at(static_cast<std::size_t>(direction));
    const std::lock_guard lock(worker.m_mutex);
    worker.m_settings = impairment;
}

Impairment Bridge::Settings(Direction direction) const {
    const Worker& worker = *m_workers.at(static_cast<std::size_t>(direction));
    const std::lock_guard lock(worker.m_mutex);
    return worker.m_settings;
}

BridgeStats Bridge::Stats(Direction direction) const {
    Worker& worker = *m_workers.at(static_cast<std::size_t>(direction));
    const std::lock_guard lock(worker.m_mutex);
    // The kernel's count is cleared by each read, so it is gathered here.
    tpacket_stats kernel{};
    socklen_t length = sizeof kernel;
    if (::getsockopt(worker.m_ingress.Get(), SOL_PACKET, PACKET_STATISTICS, &kernel, &length) == 0)
        worker.m_stats.socketDrops += kernel.tp_drops;
    return worker.m_stats;
}

std::vector<Passage> Bridge::Record(Direction direction) const {
    const Worker& worker = *m_workers.at(static_cast<std::size_t>(direction));
    const std::lock_guard lock(worker.m_mutex);
    return worker.m_record;
}

void Bridge::Reset(Direction direction) {
    Worker& worker = *m_workers.at(static_cast<std::size_t>(direction));
    const std::lock_guard lock(worker.m_mutex);
    worker.m_stats = {.realtime = worker.m_stats.realtime};
    worker.m_record.clear();
    worker.m_datagramNumber = 0;
}

void SetTxChecksum(int namespaceFd, const std::string& device, bool on) {
    const InNamespace in(namespaceFd);
    const Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0)
        Fail("socket");
    ethtool_value value{};
    value.cmd = ETHTOOL_STXCSUM;
    value.data = on ? 1 : 0;
    ifreq request{};
    std::strncpy(request.ifr_name, device.c_str(), IFNAMSIZ - 1);
    request.ifr_data = reinterpret_cast<char*>(&value);
    if (::ioctl(fd.Get(), SIOCETHTOOL, &request) != 0)
        Fail("transmit checksum offload on " + device);
}

void WaitUntilRunning(int namespaceFd, const std::string& device, int timeoutMs) {
    const InNamespace in(namespaceFd);
    const Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.Get() < 0)
        Fail("socket");
    const std::int64_t deadline = Now() + std::int64_t{timeoutMs} * 1'000'000;
    for (;;) {
        ifreq request{};
        std::strncpy(request.ifr_name, device.c_str(), IFNAMSIZ - 1);
        if (::ioctl(fd.Get(), SIOCGIFFLAGS, &request) != 0)
            Fail("flags of " + device);
        if ((request.ifr_flags & IFF_RUNNING) != 0)
            return;
        if (Now() > deadline)
            throw std::runtime_error("impairment bridge: " + device + " did not come up");
        const timespec step{0, 5'000'000};
        ::nanosleep(&step, nullptr);
    }
}

double JitterNs(const std::vector<Passage>& record) {
    double jitter = 0;
    bool first = true;
    std::int64_t previous = 0;
    for (const Passage& p : record) {
        if ((p.flags & Passage::kCopy) != 0)
            continue;
        const std::int64_t added = p.departureNs - p.arrivalNs;
        if (!first)
            jitter += (std::fabs(static_cast<double>(added - previous)) - jitter) / 16.0;
        first = false;
        previous = added;
    }
    return jitter;
}

DelaySummary AddedDelay(const std::vector<Passage>& record) {
    std::vector<std::int64_t> delays;
    delays.reserve(record.size());
    for (const Passage& p : record) {
        if ((p.flags & Passage::kCopy) == 0)
            delays.push_back(p.departureNs - p.arrivalNs);
    }
    DelaySummary summary;
    if (delays.empty())
        return summary;
    std::sort(delays.begin(), delays.end());
    const std::size_t n = delays.size();
    summary.count = n;
    summary.minNs = delays.front();
    summary.medianNs = delays[(n - 1) / 2];
    const auto rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n)));
    summary.p99Ns = delays[std::max<std::size_t>(rank, 1) - 1];
    summary.maxNs = delays.back();
    return summary;
}

std::uint64_t LateCount(const std::vector<Passage>& record) {
    std::uint64_t highest = 0;
    std::uint64_t late = 0;
    for (const Passage& p : record) {
        if ((p.flags & Passage::kCopy) != 0)
            continue;
        if (p.index < highest)
            ++late;
        highest = std::max(highest, p.index);
    }
    return late;
}

} // namespace netns
