// SPDX-License-Identifier: GPL-3.0-or-later
// ravelox-cli: the test engine without windows.
#include <cstdint>
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "uCliArgs.h"
#include "uCliEvents.h"
#include "uCliRun.h"
#include "uCliSearch.h"
#include "uCliVerdict.h"
#include "xVersion.h"

namespace {

// The options every command with an engine shares. Values are checked after
// parsing, so that every bad value gets the same kind of message.
struct TEngineArgs {
    std::int64_t Port = 0;
    std::int64_t RecvBuf = 0;
    std::int64_t SendBuf = 0;
    std::int64_t TimerPeriod = 0;
    std::int64_t InfoTime = 0;
    std::int64_t Interval = 0;
    bool Json = false;
    std::string Extension;
    CLI::Option* PortOption = nullptr;
    CLI::Option* RecvBufOption = nullptr;
    CLI::Option* SendBufOption = nullptr;
    CLI::Option* TimerPeriodOption = nullptr;
    CLI::Option* InfoTimeOption = nullptr;
    CLI::Option* IntervalOption = nullptr;

    void Add(CLI::App* command, bool buffers, bool timing) {
        PortOption = command->add_option("--port", Port, "UDP port, 1024..9000 (settings: Port)");
        if (buffers) {
            RecvBufOption = command->add_option(
                "--recv-buf", RecvBuf, "socket receive buffer, KB (settings: SockRecvBuf)");
            SendBufOption = command->add_option("--send-buf", SendBuf,
                                                "socket send buffer, KB (settings: SockSendBuf)");
        }
        if (timing) {
            TimerPeriodOption = command->add_option(
                "--timer-period", TimerPeriod, "pacing timer period, ms (settings: TimerPeriod)");
            InfoTimeOption = command->add_option(
                "--info-time", InfoTime, "report interval of the engine, ms (settings: InfoTime)");
        }
        command->add_flag("--json", Json, "one JSON object per line");
        command
            ->add_option("--extension", Extension,
                         "on|off: the delay extension with peers that speak it (settings: "
                         "Extension)")
            ->check(CLI::IsMember({"on", "off"}));
    }

    void AddInterval(CLI::App* command) {
        IntervalOption = command->add_option("--interval", Interval,
                                             "ms between printed lines (settings: ViewTime)");
    }

    static bool Given(const CLI::Option* option) {
        return option != nullptr && option->count() > 0;
    }

    TCliEngineOptions Get() const {
        TCliEngineOptions options;
        if (Given(PortOption))
            options.Port = CheckPort(Port, "--port");
        if (Given(RecvBufOption))
            options.RecvBuf = CheckBufferKb(RecvBuf, "--recv-buf");
        if (Given(SendBufOption))
            options.SendBuf = CheckBufferKb(SendBuf, "--send-buf");
        if (Given(TimerPeriodOption))
            options.TimerPeriod = CheckTimerPeriod(TimerPeriod, "--timer-period");
        if (Given(InfoTimeOption))
            options.InfoTime = CheckMs(InfoTime, 10, "--info-time");
        if (Given(IntervalOption))
            options.Interval = CheckMs(Interval, 100, "--interval");
        options.Json = Json;
        if (!Extension.empty())
            options.Extension = Extension == "on";
        return options;
    }
};

int Usage(const std::string& message) {
    std::fprintf(stderr, "ravelox-cli: %s\n", message.c_str());
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    StartEventClock();
    BlockStopSignals();
    const auto& version = VersionRecord();
    CLI::App app{version.ProductName + " command line: " + version.FileDescription};
    app.set_version_flag("--version", version.ProductName + " " + version.FileVersion);
    app.require_subcommand(0, 1);

    TEngineArgs respondArgs;
    std::int64_t duration = 0;
    CLI::App* respond = app.add_subcommand(
        "respond", "idle copy: answers lookups and peers and obeys the peer's commands");
    respondArgs.Add(respond, true, false);
    respondArgs.AddInterval(respond);
    respond->add_option("--duration", duration, "stop after S seconds (0: at SIGINT/SIGTERM)");
    std::int64_t peerSilence = 0;
    std::string maxSpeed;
    std::int64_t maxSendTime = 0;
    std::string allow;
    CLI::Option* peerSilenceOption = respond->add_option(
        "--peer-silence", peerSilence,
        "end a commanded sending after S seconds without a word from that peer; 0: never "
        "(settings: PeerSilence, default 10, at least 3)");
    CLI::Option* maxSpeedOption =
        respond->add_option("--max-speed", maxSpeed,
                            "lower commanded speeds to RATE, e.g. 1G (settings: PeerMaxSpeed)");
    CLI::Option* maxSendTimeOption = respond->add_option(
        "--max-send-time", maxSendTime,
        "end one commanded sending after S seconds unless commanded again (settings: "
        "PeerMaxSendTime)");
    CLI::Option* allowOption = respond->add_option(
        "--allow", allow,
        "obey and answer only these sources, CIDR[,CIDR...], e.g. 198.18.0.0/15 (settings: "
        "PeerAllow)");
    std::string metricsFile;
    respond->add_option("--metrics-file", metricsFile,
                        "write OpenMetrics counters to PATH every interval (atomically)");

    TEngineArgs testArgs;
    std::string host;
    std::int64_t testTime = 10;
    std::string localSpeed;
    std::string remoteSpeed;
    std::int64_t localLength = 0;
    std::int64_t remoteLength = 0;
    std::string direction = "both";
    std::string logPath;
    CLI::App* test = app.add_subcommand("test", "measure the channel to HOST");
    test->add_option("HOST", host, "the peer's IPv4 address")->required();
    test->add_option("--time", testTime, "seconds to measure")->capture_default_str();
    CLI::Option* localSpeedOption =
        test->add_option("--local-speed", localSpeed, "own send rate, e.g. 100k, 10M, 1G");
    CLI::Option* remoteSpeedOption =
        test->add_option("--remote-speed", remoteSpeed, "the peer's send rate, e.g. 10M");
    CLI::Option* localLengthOption =
        test->add_option("--local-length", localLength, "own datagram length, 64..2000");
    CLI::Option* remoteLengthOption =
        test->add_option("--remote-length", remoteLength, "the peer's datagram length, 64..2000");
    test->add_option("--direction", direction, "both, local (to the peer) or remote (to here)")
        ->capture_default_str();
    test->add_option("--log", logPath, "write the result log to FILE");
    bool testCsv = false;
    test->add_flag("--csv", testCsv,
                   "intervals as CSV rows on stdout (the other lines go to stderr)");
    TCliThresholdArgs thresholds;
    test->add_option(
        "--max-loss", thresholds.MaxLoss,
        "fail (exit 4) when more than P% of the datagrams were lost in a direction tested");
    test->add_option("--min-rate", thresholds.MinRate,
                     "fail (exit 4) when less than R arrived in a direction tested");
    test->add_option("--min-rate-local", thresholds.MinRateLocal,
                     "fail when less than R arrived at the peer (this host -> peer)");
    test->add_option("--min-rate-remote", thresholds.MinRateRemote,
                     "fail when less than R arrived here (peer -> this host)");
    test->add_option("--max-rtt", thresholds.MaxRtt,
                     "fail (exit 4) when the round trip's p99 exceeded TIME (50ms, 500us)");
    test->add_option("--max-jitter", thresholds.MaxJitter,
                     "fail (exit 4) when the jitter exceeded TIME in a direction tested");
    testArgs.Add(test, true, true);
    testArgs.AddInterval(test);

    TEngineArgs searchArgs;
    std::string searchHost;
    std::string searchDirection = "both";
    std::string searchMaxLoss = "0.1%";
    std::int64_t stepTime = 3;
    std::string searchMin = "100k";
    std::string searchMax = "1G";
    std::int64_t timeLimit = 120;
    std::int64_t searchLocalLength = 0;
    std::int64_t searchRemoteLength = 0;
    CLI::App* search =
        app.add_subcommand("search", "find the highest rate each direction to HOST carries");
    search->add_option("HOST", searchHost, "the peer's IPv4 address")->required();
    search->add_option("--direction", searchDirection, "both, local (to the peer) or remote")
        ->capture_default_str();
    search->add_option("--max-loss", searchMaxLoss, "the channel loss a rate may have, P%")
        ->capture_default_str();
    search->add_option("--step-time", stepTime, "seconds measured per step")->capture_default_str();
    search->add_option("--min", searchMin, "the rate the ramp starts at")->capture_default_str();
    search->add_option("--max", searchMax, "the highest rate tried")->capture_default_str();
    search->add_option("--time-limit", timeLimit, "seconds for the whole search")
        ->capture_default_str();
    CLI::Option* searchLocalLengthOption =
        search->add_option("--local-length", searchLocalLength, "own datagram length, 64..2000");
    CLI::Option* searchRemoteLengthOption = search->add_option(
        "--remote-length", searchRemoteLength, "the peer's datagram length, 64..2000");
    searchArgs.Add(search, true, true);

    TEngineArgs lookupArgs;
    std::int64_t lookupTime = 2;
    CLI::App* lookup = app.add_subcommand("lookup", "list the copies that answer a broadcast");
    lookup->add_option("--time", lookupTime, "seconds to search")->capture_default_str();
    lookupArgs.Add(lookup, false, false);

    std::string viewFile;
    bool viewJson = false;
    CLI::App* view = app.add_subcommand("view", "show a stored result log");
    view->add_option("FILE", viewFile, "the result log")->required();
    view->add_flag("--json", viewJson, "one JSON object");
    bool viewCsv = false;
    std::string viewSvg;
    std::string viewTitle;
    view->add_flag("--csv", viewCsv, "the records as CSV (a header row, one row per record)");
    view->add_option("--svg", viewSvg, "draw the log's graphs into FILE (SVG)");
    view->add_option("--title", viewTitle, "the picture's title (e.g. the hosts)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? kExitOk : kExitUsage;
    }

    try {
        if (respond->parsed()) {
            TRespondOptions options;
            options.Engine = respondArgs.Get();
            options.Duration = CheckSeconds(duration, 0, "--duration");
            if (peerSilenceOption->count() > 0)
                options.Limits.PeerSilence = CheckSeconds(peerSilence, 0, "--peer-silence");
            if (maxSpeedOption->count() > 0)
                options.Limits.MaxSpeed = ParseRate(maxSpeed, "--max-speed");
            if (maxSendTimeOption->count() > 0)
                options.Limits.MaxSendTime = CheckSeconds(maxSendTime, 1, "--max-send-time");
            if (allowOption->count() > 0)
                options.Limits.Allow = allow;
            options.MetricsFile = metricsFile;
            LoadSettings();
            ApplyEngineOptions(options.Engine);
            return RunRespond(options);
        }
        if (test->parsed()) {
            TTestOptions options;
            options.Engine = testArgs.Get();
            options.Host = CheckHost(host);
            options.Time = CheckSeconds(testTime, 1, "--time");
            if (localSpeedOption->count() > 0)
                options.LocalSpeed = ParseRate(localSpeed, "--local-speed");
            if (remoteSpeedOption->count() > 0)
                options.RemoteSpeed = ParseRate(remoteSpeed, "--remote-speed");
            if (localLengthOption->count() > 0)
                options.LocalLength = CheckLength(localLength, "--local-length");
            if (remoteLengthOption->count() > 0)
                options.RemoteLength = CheckLength(remoteLength, "--remote-length");
            options.Direction = ParseDirection(direction);
            if (std::string self = SelfAsPeer(options.Host, "", options.Direction); !self.empty())
                throw ECliArgError(self);
            options.LogPath = logPath;
            options.Thresholds = ParseThresholds(thresholds, options.Direction);
            options.Csv = testCsv;
            LoadSettings();
            ApplyEngineOptions(options.Engine);
            return RunTest(options);
        }
        if (search->parsed()) {
            TSearchOptions options;
            options.Engine = searchArgs.Get();
            options.Host = CheckHost(searchHost);
            options.Direction = ParseDirection(searchDirection);
            if (std::string self = SelfAsPeer(options.Host, "", options.Direction); !self.empty())
                throw ECliArgError(self);
            options.MaxLossPct = ParsePercent(searchMaxLoss, "--max-loss");
            options.StepTime = CheckSeconds(stepTime, 1, "--step-time");
            options.MinKbps = ParseRate(searchMin, "--min");
            options.MaxKbps = ParseRate(searchMax, "--max");
            if (options.MaxKbps < options.MinKbps)
                throw ECliArgError("--max: " + searchMax + " is below --min " + searchMin);
            options.TimeLimit = CheckSeconds(timeLimit, 1, "--time-limit");
            if (searchLocalLengthOption->count() > 0)
                options.LocalLength = CheckLength(searchLocalLength, "--local-length");
            if (searchRemoteLengthOption->count() > 0)
                options.RemoteLength = CheckLength(searchRemoteLength, "--remote-length");
            LoadSettings();
            ApplyEngineOptions(options.Engine);
            return RunSearch(options);
        }
        if (lookup->parsed()) {
            TLookupOptions options;
            options.Engine = lookupArgs.Get();
            options.Time = CheckSeconds(lookupTime, 1, "--time");
            LoadSettings();
            ApplyEngineOptions(options.Engine);
            return RunLookup(options);
        }
        if (view->parsed())
            return RunView({viewFile, viewJson, viewCsv, viewSvg, viewTitle});
    } catch (const ECliArgError& error) {
        return Usage(error.what());
    }
    std::fputs(app.help().c_str(), stdout);
    return kExitOk;
}
