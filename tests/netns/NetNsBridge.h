// SPDX-License-Identifier: GPL-3.0-or-later
// Impairment bridge: a user-space Ethernet bridge between two veth legs in a
// middle network namespace, which adds delay, delay spread, reordering,
// duplication and loss to real traffic and keeps a record of what it did.
// This kernel has no netem and nftables has no queue verdicts, so this is how
// the tests get late, shuffled and doubled datagrams from an unchanged sender.
//
// How it works. One worker thread per direction reads every frame that
// arrives at its ingress leg from an AF_PACKET socket (frames the bridge
// itself sent out of that leg are ignored, so it never loops), gives it a
// departure time (arrival + delayUs + a uniform 0..spreadUs drawn per frame)
// and puts it into a bounded timing queue; the same thread sleeps in ppoll()
// on the socket, a stop eventfd and a timerfd armed to the next absolute
// deadline on CLOCK_MONOTONIC, and sends frames out of the other leg in
// departure-time order (frames due at the same time in arrival order). So a
// spread larger than the gap between two frames reorders them, as on a real
// path with varying delay; `keepOrder` prevents that.
//
// Reordering, duplication and loss apply to IPv4 UDP datagrams only (not to
// fragments); every other frame (ARP, IPv6, ...) is only delayed. The UDP
// datagrams of a direction are numbered 1, 2, ... as they arrive; for
// datagram i, in this order:
//   - lost when lossEvery > 0 and i % lossEvery == 0, or else with
//     probability lossProbability (drawn from the seed and i);
//   - held back when reorderEvery > 0 and i % reorderEvery == 0: at its
//     departure time it is not sent but waits until the next reorderBy
//     datagrams of the direction have been sent (counting originals only,
//     not extra copies or other held datagrams), and goes right after the
//     last of them; with no traffic it goes at the latest reorderTimeoutUs
//     after its departure time. "Every 100th by 3 places" turns
//     ... 99 100 101 102 103 104 ... into ... 99 101 102 103 100 104 ...;
//   - sent twice, back to back, when duplicateEvery > 0 and
//     i % duplicateEvery == 0 (also when it was held back).
// Every IPv4 UDP datagram counts, whatever its ports (an engine's control
// datagrams too); Reset() starts the numbering again. Every random figure is
// drawn from the seed, the direction and the datagram's number (other
// frames: their own count) alone, so a seed gives the same delays and losses
// in every run, whatever other frames or timing came between.
//
// A burst to a peer whose address the sender has not resolved yet overflows
// the sender's ARP queue before the bridge sees it: let one datagram cross
// each way first (then Reset()) where exact counts matter.
//
// Checksums. A host's veth hands frames over with the UDP/TCP checksum left
// for the "hardware" to finish; a copied frame would then arrive broken. The
// harness switches transmit checksum offload off on the host devices (with
// SetTxChecksum); where a frame still comes with its checksum not ready
// (the packet's auxiliary status says so), the bridge completes it and
// counts it.
//
// The record. For each UDP datagram it sends (the first recordLimit of a
// direction) the bridge stores a Passage: the datagram's number, its arrival
// and departure times at the bridge (CLOCK_MONOTONIC, ns), ports, length and
// whether it was a held-back datagram or an extra copy. JitterNs(),
// AddedDelay() and LateCount() compute from it what a receiver should see.
//
// Threads. The worker threads own the sockets, queues and frame buffers.
// Settings, counters and the record of a direction are guarded by that
// direction's mutex, so any thread may change the settings (they apply from
// the next frame that arrives) or read counters and record while it runs.
// The destructor stops and joins both workers; frames still queued are
// discarded and counted (leftAtStop).
//
// Timing: the workers run with a real-time priority where the system allows
// (BridgeLimits::realtimePriority); even so, a loaded machine can make a
// frame late, and BridgeStats says how often and by how much.
//
// Bounds: at most BridgeLimits::queueFrames frames waiting per direction
// (more are dropped and counted as overflow), delay + spread at most
// kMaxDelayUs, record at most recordLimit passages per direction.
//
// Use from a test (the harness builds the three namespaces, see NetNs.h):
//
//     netns::Impairment aToB{.delayUs = 20000, .spreadUs = 2000, .seed = 7};
//     netns::Impairment bToA{.reorderEvery = 100, .reorderBy = 3, .duplicateEvery = 200};
//     netns::Topology net(netns::Bridged{aToB, bToA});
//     { netns::HostScope in(net, 0); ... }          // hosts 198.18.0.1 and .2
//     const auto record = net.Bridge().Record(netns::Direction::AToB);
//     const double jitterNs = netns::JitterNs(record);
//     const auto stats = net.Bridge().Stats(netns::Direction::BToA);
//
// Use from a shell script: build/bin/rv_impair (see rv_impair.cpp) builds the
// same link, or runs the bridge between two devices of an existing namespace,
// for a bounded --duration (or until SIGTERM), and prints counters and
// figures as JSON on exit (the record as CSV with --record FILE):
//
//     rv_impair --duration 30 --delay-us 20000 --spread-us 2000 >out.json 2>err &
//     # then waits for a line "ready <host0 namespace> <host1 namespace>" in err
//
// tests/netns/run-impaired.sh runs `ravelox-cli test` across it that way:
//
//     tests/netns/run-impaired.sh build/bin 10 --delay-us 20000 -- --local-speed 10M
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace netns {

// Leg 0 to leg 1 (host 0 to host 1 in a bridged Topology), and back.
enum class Direction { AToB = 0, BToA = 1 };

// What the bridge does to one direction's traffic. All zero: frames pass at
// once, untouched.
struct Impairment {
    std::uint32_t delayUs = 0;  // fixed one-way delay added to every frame
    std::uint32_t spreadUs = 0; // plus a uniform 0..spreadUs per frame
    std::uint64_t seed = 1;
    std::uint32_t reorderEvery = 0;          // hold back every N-th UDP datagram ...
    std::uint32_t reorderBy = 0;             // ... until M more have been sent
    std::uint32_t reorderTimeoutUs = 200000; // a held datagram's longest wait
    std::uint32_t duplicateEvery = 0;        // send every K-th UDP datagram twice
    std::uint32_t lossEvery = 0;             // drop every L-th UDP datagram
    double lossProbability = 0;              // and/or drop each with this probability
    bool keepOrder = false;                  // a frame never leaves before one that arrived earlier
};

constexpr std::uint32_t kMaxDelayUs = 10'000'000; // delayUs + spreadUs
constexpr std::uint32_t kMaxReorderBy = 100'000;
constexpr std::uint32_t kMaxReorderTimeoutUs = 10'000'000;

// Throws std::invalid_argument when a setting is out of bounds.
void Validate(const Impairment& impairment);

struct BridgeLimits {
    std::size_t queueFrames = 16384;    // frames waiting per direction
    std::size_t recordLimit = 1u << 20; // passages recorded per direction
    // The workers run SCHED_FIFO at this priority (0: normal scheduling), so
    // that a busy machine does not make them late; they sleep between
    // frames, and the kernel keeps real-time threads from taking a whole
    // CPU. Where the system refuses, they run normally (and say so in
    // BridgeStats::realtime).
    int realtimePriority = 10;
};

// Counters of one direction since the bridge started (or Reset()).
struct BridgeStats {
    std::uint64_t frames = 0;             // frames that arrived at the ingress leg
    std::uint64_t framesForwarded = 0;    // frames sent out of the egress leg, copies included
    std::uint64_t datagrams = 0;          // IPv4 UDP datagrams among the frames
    std::uint64_t datagramsForwarded = 0; // UDP datagrams sent, copies included
    std::uint64_t dropped = 0;            // UDP datagrams dropped by the loss settings
    std::uint64_t duplicated = 0;         // extra copies sent
    std::uint64_t reordered = 0;          // held-back datagrams sent
    std::uint64_t overflow = 0;           // frames dropped because the queue was full
    std::uint64_t truncated = 0;          // frames longer than the bridge reads (dropped)
    std::uint64_t sendErrors = 0;         // frames the egress leg refused
    std::uint64_t socketDrops = 0;        // frames the kernel dropped before the bridge read them
    std::uint64_t checksumsCompleted = 0; // frames whose UDP/TCP checksum the bridge finished
    std::uint64_t leftAtStop = 0;         // frames still queued or held when the bridge stopped
    std::uint64_t recordFull = 0;         // UDP datagrams sent but not recorded
    std::uint64_t lateOver100us = 0;      // frames sent more than 100 us after their due time
    std::int64_t maxLatenessNs = 0;       // the latest a frame was sent after its due time
    bool realtime = false;                // the worker runs with real-time priority
};

// One UDP datagram the bridge sent.
struct Passage {
    static constexpr std::uint8_t kHeld = 1; // held back (reordered)
    static constexpr std::uint8_t kCopy = 2; // the extra copy of a duplicated datagram
    std::uint64_t index = 0;                 // the datagram's number in its direction, from 1
    std::int64_t arrivalNs = 0;              // CLOCK_MONOTONIC
    std::int64_t departureNs = 0;
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    std::uint16_t udpLength = 0; // UDP header + payload, bytes
    std::uint8_t flags = 0;
};
static_assert(sizeof(Passage) == 32);

class Bridge final {
public:
    // Forwards between devices leg0 and leg1 of the network namespace opened
    // as namespaceFd (borrowed; only used in the constructor). Throws
    // std::runtime_error when a socket cannot be set up, std::invalid_argument
    // for bad settings.
    Bridge(int namespaceFd, const std::string& leg0, const std::string& leg1,
           const Impairment& aToB, const Impairment& bToA, const BridgeLimits& limits = {});
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // New settings for one direction, from the next arriving frame on;
    // frames already queued keep their departure times.
    void Set(Direction direction, const Impairment& impairment);
    Impairment Settings(Direction direction) const;

    BridgeStats Stats(Direction direction) const;
    // The passages recorded so far, in departure order.
    std::vector<Passage> Record(Direction direction) const;
    // Clears counters and record and numbers UDP datagrams from 1 again (so
    // "every N-th" counts from the next one). Frames already queued still go.
    void Reset(Direction direction);

    // Stops both workers (idempotent; the destructor calls it).
    void Stop();

private:
    struct Worker;
    std::array<std::unique_ptr<Worker>, 2> m_workers;
};

// Switches transmit checksum offload of a device of the namespace opened as
// namespaceFd; off, frames leave it with complete checksums. Throws
// std::runtime_error when the device refuses.
void SetTxChecksum(int namespaceFd, const std::string& device, bool on);

// Waits until a device of the namespace opened as namespaceFd is
// operationally up (IFF_RUNNING). Until then a veth that was just set up
// still has no queueing discipline of its own and drops what is sent, ARP
// requests included. Throws std::runtime_error after timeoutMs.
void WaitUntilRunning(int namespaceFd, const std::string& device, int timeoutMs = 10000);

// RFC 3550 section 6.4.1 interarrival jitter, in ns, that a receiver sees
// when it processes the datagrams in the record's (departure) order and the
// sender sent them in arrival order: D = difference of consecutive
// datagrams' added delays, J += (|D| - J) / 16, starting from 0 at the first.
// Extra copies are skipped.
double JitterNs(const std::vector<Passage>& record);

// The delay the bridge added (departure - arrival) over the record, extra
// copies skipped; all zero for an empty record.
struct DelaySummary {
    std::size_t count = 0;
    std::int64_t minNs = 0;
    std::int64_t medianNs = 0; // the lower median
    std::int64_t p99Ns = 0;    // nearest rank
    std::int64_t maxNs = 0;
};
DelaySummary AddedDelay(const std::vector<Passage>& record);

// Datagrams a receiver counts as late: sent after a datagram with a higher
// number (extra copies skipped).
std::uint64_t LateCount(const std::vector<Passage>& record);

} // namespace netns
