// SPDX-License-Identifier: GPL-3.0-or-later
// rv_impair: the impairment bridge (NetNsBridge.h) for shell scripts, so that
// `ravelox-cli test` runs and screenshots can go across a link with known
// delay, spread, reordering, duplication and loss. A test tool: built into
// build/bin, not installed. Needs root.
//
//   rv_impair --duration S [settings]
//       makes the whole link: two host namespaces (198.18.0.1 on rv0 and
//       198.18.0.2 on rv1, broadcast route as the plain two-host harness
//       link) joined through a third one running the bridge.
//   rv_impair --duration S --netns NAME --legs DEV0,DEV1 [settings]
//       runs the bridge between two devices of an existing namespace (the
//       script switches checksum offload off on the hosts' devices; where it
//       did not, the bridge completes the checksums itself).
//
// When it forwards, it prints one line to stderr:
//   ready <host0 namespace> <host1 namespace>     (or "ready" with --netns)
// It ends after --duration seconds, or at SIGTERM/SIGINT/SIGHUP, tears down
// what it made and then writes each direction's settings, counters and
// figures from its record (jitter, added delay, late datagrams) and
// "ended_by" ("duration" or "signal") as JSON to stdout (or --stats FILE), and with --record FILE
// every recorded passage as CSV. Exit status 0, 1 on a bad setting or a failed set-up.
//
// Settings apply to both directions (--delay-us 20000) or to one, with the
// prefix ab- (host 0 to host 1, leg 0 to leg 1) or ba- (--ba-delay-us 5000).
//
//   build/bin/rv_impair --duration 40 --delay-us 20000 --spread-us 2000 >stats.json 2>impair.err &
//   IMPAIR=$!
//   i=0; until grep -q '^ready' impair.err || [ $i -ge 100 ]; do sleep 0.1; i=$((i+1)); done
//   set -- $(grep '^ready' impair.err)
//   ip netns exec "$3" build/bin/ravelox-cli respond & RESPOND=$!
//   ip netns exec "$2" build/bin/ravelox-cli test 198.18.0.2 --time 10
//   kill "$RESPOND"; kill "$IMPAIR"; wait "$IMPAIR"
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "NetNs.h"
#include "NetNsBridge.h"

namespace {

constexpr double kMaxDurationS = 86400;

// One direction's settings as given on the command line (unset = default).
struct Given {
    std::optional<std::uint32_t> delayUs;
    std::optional<std::uint32_t> spreadUs;
    std::optional<std::uint64_t> seed;
    std::optional<std::uint32_t> reorderEvery;
    std::optional<std::uint32_t> reorderBy;
    std::optional<std::uint32_t> reorderTimeoutUs;
    std::optional<std::uint32_t> duplicateEvery;
    std::optional<std::uint32_t> lossEvery;
    std::optional<double> lossProbability;
    bool keepOrder = false;
};

void AddSettings(CLI::App& app, Given& given, const std::string& prefix, const std::string& what) {
    app.add_option("--" + prefix + "delay-us", given.delayUs, "fixed delay, us" + what);
    app.add_option("--" + prefix + "spread-us", given.spreadUs,
                   "random extra delay, uniform 0..N us per frame" + what);
    app.add_option("--" + prefix + "seed", given.seed, "seed of the random figures" + what);
    app.add_option("--" + prefix + "reorder-every", given.reorderEvery,
                   "hold back every N-th UDP datagram" + what);
    app.add_option("--" + prefix + "reorder-by", given.reorderBy,
                   "... until M more have been sent" + what);
    app.add_option("--" + prefix + "reorder-timeout-us", given.reorderTimeoutUs,
                   "longest hold, us" + what);
    app.add_option("--" + prefix + "duplicate-every", given.duplicateEvery,
                   "send every K-th UDP datagram twice" + what);
    app.add_option("--" + prefix + "loss-every", given.lossEvery,
                   "drop every L-th UDP datagram" + what);
    app.add_option("--" + prefix + "loss-probability", given.lossProbability,
                   "drop each UDP datagram with this probability" + what)
        ->check(CLI::Range(0.0, 1.0));
    app.add_flag("--" + prefix + "keep-order", given.keepOrder,
                 "the spread never reorders frames" + what);
}

template <class T> void Apply(T& field, const std::optional<T>& both, const std::optional<T>& own) {
    if (own)
        field = *own;
    else if (both)
        field = *both;
}

netns::Impairment Compose(const Given& both, const Given& own) {
    netns::Impairment s;
    Apply(s.delayUs, both.delayUs, own.delayUs);
    Apply(s.spreadUs, both.spreadUs, own.spreadUs);
    Apply(s.seed, both.seed, own.seed);
    Apply(s.reorderEvery, both.reorderEvery, own.reorderEvery);
    Apply(s.reorderBy, both.reorderBy, own.reorderBy);
    Apply(s.reorderTimeoutUs, both.reorderTimeoutUs, own.reorderTimeoutUs);
    Apply(s.duplicateEvery, both.duplicateEvery, own.duplicateEvery);
    Apply(s.lossEvery, both.lossEvery, own.lossEvery);
    Apply(s.lossProbability, both.lossProbability, own.lossProbability);
    s.keepOrder = both.keepOrder || own.keepOrder;
    return s;
}

nlohmann::json Describe(const netns::Bridge& bridge, netns::Direction direction) {
    const netns::Impairment s = bridge.Settings(direction);
    const netns::BridgeStats c = bridge.Stats(direction);
    const std::vector<netns::Passage> record = bridge.Record(direction);
    const netns::DelaySummary added = netns::AddedDelay(record);
    return {
        {"settings",
         {{"delay_us", s.delayUs},
          {"spread_us", s.spreadUs},
          {"seed", s.seed},
          {"reorder_every", s.reorderEvery},
          {"reorder_by", s.reorderBy},
          {"reorder_timeout_us", s.reorderTimeoutUs},
          {"duplicate_every", s.duplicateEvery},
          {"loss_every", s.lossEvery},
          {"loss_probability", s.lossProbability},
          {"keep_order", s.keepOrder}}},
        {"counts",
         {{"frames", c.frames},
          {"frames_forwarded", c.framesForwarded},
          {"datagrams", c.datagrams},
          {"datagrams_forwarded", c.datagramsForwarded},
          {"dropped", c.dropped},
          {"duplicated", c.duplicated},
          {"reordered", c.reordered},
          {"overflow", c.overflow},
          {"truncated", c.truncated},
          {"send_errors", c.sendErrors},
          {"socket_drops", c.socketDrops},
          {"checksums_completed", c.checksumsCompleted},
          {"left_at_stop", c.leftAtStop},
          {"record_full", c.recordFull},
          {"late_over_100us", c.lateOver100us},
          {"max_lateness_ns", c.maxLatenessNs},
          {"realtime", c.realtime}}},
        {"record",
         {{"passages", record.size()},
          {"jitter_ns", netns::JitterNs(record)},
          {"late", netns::LateCount(record)},
          {"added_delay_min_ns", added.minNs},
          {"added_delay_median_ns", added.medianNs},
          {"added_delay_p99_ns", added.p99Ns},
          {"added_delay_max_ns", added.maxNs}}},
    };
}

void WriteRecord(std::ostream& out, const netns::Bridge& bridge) {
    out << "direction,index,arrival_ns,departure_ns,source_port,destination_port,udp_length,"
           "flags\n";
    for (const auto direction : {netns::Direction::AToB, netns::Direction::BToA}) {
        const char* name = direction == netns::Direction::AToB ? "ab" : "ba";
        for (const netns::Passage& p : bridge.Record(direction))
            out << name << ',' << p.index << ',' << p.arrivalNs << ',' << p.departureNs << ','
                << p.sourcePort << ',' << p.destinationPort << ',' << p.udpLength << ','
                << unsigned{p.flags} << '\n';
    }
}

// Waits until the duration is over or a stop signal came (they are blocked,
// so no thread is ever killed by one); answers whether a signal ended it.
bool WaitForEnd(const sigset_t& stops, double seconds) {
    timespec end{};
    ::clock_gettime(CLOCK_MONOTONIC, &end);
    end.tv_sec += static_cast<time_t>(seconds);
    end.tv_nsec +=
        static_cast<long>((seconds - static_cast<double>(static_cast<time_t>(seconds))) * 1e9);
    if (end.tv_nsec >= 1'000'000'000) {
        end.tv_sec += 1;
        end.tv_nsec -= 1'000'000'000;
    }
    for (;;) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        std::int64_t left =
            (std::int64_t{end.tv_sec} - now.tv_sec) * 1'000'000'000 + (end.tv_nsec - now.tv_nsec);
        if (left <= 0)
            return false;
        const timespec wait{static_cast<time_t>(left / 1'000'000'000),
                            static_cast<long>(left % 1'000'000'000)};
        if (::sigtimedwait(&stops, nullptr, &wait) >= 0)
            return true;
        if (errno != EAGAIN && errno != EINTR)
            return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Impairment bridge for the Ravelox test harness: delay, spread, reordering, "
                 "duplication and loss on a private two-host link."};
    double duration = 0;
    std::string netnsName;
    std::vector<std::string> legs;
    std::string statsFile;
    std::string recordFile;
    std::size_t queueFrames = netns::BridgeLimits{}.queueFrames;
    std::size_t recordLimit = netns::BridgeLimits{}.recordLimit;
    app.add_option("--duration", duration, "seconds to run (at most 86400)")
        ->required()
        ->check(CLI::Range(0.001, kMaxDurationS));
    auto* netnsOption =
        app.add_option("--netns", netnsName, "bridge two devices of this existing namespace");
    app.add_option("--legs", legs, "the two devices, DEV0,DEV1 (with --netns)")
        ->delimiter(',')
        ->expected(2)
        ->needs(netnsOption);
    netnsOption->needs("--legs");
    app.add_option("--stats", statsFile, "write the JSON summary here instead of stdout");
    app.add_option("--record", recordFile, "write every recorded passage here (CSV)");
    app.add_option("--queue-frames", queueFrames, "frames waiting per direction at most")
        ->check(CLI::Range(std::size_t{1}, std::size_t{1} << 20));
    app.add_option("--record-limit", recordLimit, "passages recorded per direction at most")
        ->check(CLI::Range(std::size_t{0}, std::size_t{1} << 24));
    Given both;
    Given ab;
    Given ba;
    AddSettings(app, both, "", "");
    AddSettings(app, ab, "ab-", " (host 0 to host 1)");
    AddSettings(app, ba, "ba-", " (host 1 to host 0)");
    CLI11_PARSE(app, argc, argv);

    if (::geteuid() != 0) {
        std::cerr << "rv_impair: needs root (network namespaces, AF_PACKET sockets)\n";
        return 1;
    }
    const netns::Impairment aToB = Compose(both, ab);
    const netns::Impairment bToA = Compose(both, ba);
    const netns::BridgeLimits limits{queueFrames, recordLimit};

    // Blocked before any thread starts, so that every thread inherits it and
    // a stop signal only ends the wait below.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);

    nlohmann::json summary;
    bool signalled = false;
    std::string recordText;
    try {
        auto finish = [&](const netns::Bridge& bridge) {
            summary["a_to_b"] = Describe(bridge, netns::Direction::AToB);
            summary["b_to_a"] = Describe(bridge, netns::Direction::BToA);
            if (!recordFile.empty()) {
                std::ostringstream out;
                WriteRecord(out, bridge);
                recordText = out.str();
            }
        };
        if (netnsName.empty()) {
            // Own commands stay in a namespace of their own as well.
            netns::EnterPrivateWorld();
            netns::Topology net(netns::Bridged{aToB, bToA, limits});
            std::cerr << "ready " << net.Name(0) << ' ' << net.Name(1) << std::endl;
            signalled = WaitForEnd(stops, duration);
            net.Bridge().Stop();
            finish(net.Bridge());
        } else {
            const std::string path = "/run/netns/" + netnsName;
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                throw std::runtime_error("no namespace " + netnsName);
            std::unique_ptr<netns::Bridge> bridge;
            try {
                bridge =
                    std::make_unique<netns::Bridge>(fd, legs.at(0), legs.at(1), aToB, bToA, limits);
            } catch (...) {
                ::close(fd);
                throw;
            }
            ::close(fd);
            std::cerr << "ready" << std::endl;
            signalled = WaitForEnd(stops, duration);
            bridge->Stop();
            finish(*bridge);
        }
    } catch (const std::exception& e) {
        std::cerr << "rv_impair: " << e.what() << '\n';
        return 1;
    }
    summary["duration_s"] = duration;
    summary["ended_by"] = signalled ? "signal" : "duration";
    if (!recordFile.empty())
        std::ofstream(recordFile, std::ios::trunc) << recordText;
    if (statsFile.empty())
        std::cout << summary.dump(2) << std::endl;
    else
        std::ofstream(statsFile, std::ios::trunc) << summary.dump(2) << '\n';
    return 0;
}
