// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliRun.h"

#include <array>
#include <chrono>
#include <thread>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include <pthread.h>
#include <sys/stat.h>
#include <signal.h>

#include "bConfig.h"
#include "cNet0.h"
#include "uCliCsv.h"
#include "uCliMetrics.h"
#include "uCliOut.h"
#include "uCliSearch.h"
#include "uCliVerdict.h"
#include "uConfig.h"
#include "uConfigIni.h"
#include "uDelayLog.h"
#include "uReportModel.h"
#include "uLogCsv.h"
#include "uLogSvg.h"
#include "uResultLog.h"
#include "uSpeedStr.h"
#include "uSummary.h"
#include "xSocket.h"
#include "xTimer.h"
#include "zParams.h"

namespace {

// How long a test waits for its own broadcast to come back and for the first
// reports of the peer.
constexpr std::uint32_t kAnswerTimeMs = 3000;
// How long a test waits, after it stopped the peer, for the peer's data to end.
constexpr std::uint32_t kQuietTimeMs = 2000;
// Polling step while waiting for a condition.
constexpr int kPollMs = 20;
// The desktop program's lookup dialog asks again about every 60 ms.
constexpr int kLookupRepeatMs = 60;

std::mutex g_printMutex;
std::atomic<bool> g_socketError{false};
// Errors also go to stdout as "error" events while the output is JSON.
std::atomic<bool> g_jsonErrors{false};

// With --csv stdout carries only the CSV; the other lines go to stderr.
std::atomic<bool> g_csv{false};
TCsvWriter g_csvWriter;

void PrintLine(const std::string& line) {
    std::lock_guard lock(g_printMutex);
    std::FILE* out = g_csv.load() ? stderr : stdout;
    std::fputs(line.c_str(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

void PrintCsvLine(const std::string& line) {
    std::lock_guard lock(g_printMutex);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintError(const std::string& line) {
    std::lock_guard lock(g_printMutex);
    std::fprintf(stderr, "ravelox-cli: %s\n", line.c_str());
    std::fflush(stderr);
    if (g_jsonErrors.load()) {
        std::fputs(JsonLine({{"error", {{"message", line}}}}).c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}

void Print(bool json, const nlohmann::json& object, const std::string& text) {
    if (g_csv.load() && object.contains("interval")) {
        for (const std::string& line : g_csvWriter.Lines(object.at("interval")))
            PrintCsvLine(line);
        return;
    }
    PrintLine(json ? JsonLine(object) : text);
}

// The engine's two outward operations: boxes go to stderr (from whichever
// thread raised them), message texts are the defaults, socket errors the
// system's text.
void InstallOutward() {
    NetOutward.ShowTextOnAnyThread = true;
    NetOutward.ShowText = [](const std::string& text, const std::string& caption) {
        if (caption.rfind("ERROR Socket", 0) == 0 || caption == "Windows Sockets Error")
            g_socketError.store(true);
        PrintError(text.empty() ? caption : caption + ": " + text);
    };
    NetOutward.LookupText = [](const std::string& section, const std::string& key,
                               const std::string& def) {
        int error = 0;
        const auto [end, ec] = std::from_chars(key.data(), key.data() + key.size(), error);
        if (def.empty() && section == "SocketErrors" && ec == std::errc{} &&
            end == key.data() + key.size())
            return SocketErrorText(error);
        return def;
    };
}

// SIGINT and SIGTERM are blocked in every thread (the engine's threads
// inherit the mask) and taken only by Wait, so a stop request always ends in
// the orderly shut-down below.
sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

class TStopSignals final {
public:
    TStopSignals() : m_set(StopSignalSet()) { pthread_sigmask(SIG_BLOCK, &m_set, nullptr); }
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    // Waits up to ms; true once a stop signal has arrived.
    bool Wait(std::int64_t ms) {
        if (m_stopped)
            return true;
        const std::uint32_t start = timeGetTime();
        for (;;) {
            // A zero wait still takes a signal that is already pending.
            std::int64_t left = ms - static_cast<std::int64_t>(timeGetTime() - start);
            if (left < 0)
                left = 0;
            timespec timeout{static_cast<std::time_t>(left / 1000),
                             static_cast<long>(left % 1000) * 1'000'000L};
            const int signal = sigtimedwait(&m_set, nullptr, &timeout);
            if (signal == SIGINT || signal == SIGTERM) {
                m_stopped = true;
                return true;
            }
            if (signal < 0 && errno == EAGAIN)
                return false;
        }
    }
    bool Stopped() const { return m_stopped; }

private:
    sigset_t m_set{};
    bool m_stopped = false;
};

// The one engine of the program, published in NetClient for its lifetime.
// Its destructor switches the own sending off and puts the last control
// datagram on the wire before the threads stop.
class TCliEngine final {
public:
    TCliEngine() : m_engine(std::make_unique<TbNBSClient>()) { NetClient.store(m_engine.get()); }
    ~TCliEngine() {
        NetClient.store(nullptr);
        m_engine.reset();
    }
    TCliEngine(const TCliEngine&) = delete;
    TCliEngine& operator=(const TCliEngine&) = delete;
    TbNBSClient& operator*() const { return *m_engine; }
    TbNBSClient* operator->() const { return m_engine.get(); }

private:
    std::unique_ptr<TbNBSClient> m_engine;
};

// The sender this host's received bytes come from: the accepted one, or
// the one sender seen; "any" while several (or none) are seen and any is
// accepted.
std::string SenderName(const TbNBSClient& engine) {
    std::uint32_t address = engine.AcceptAddress();
    if (address == 0 && engine.SeenCount() == 2)
        address = engine.SeenAddress(1);
    if (address == 0)
        return "any";
    char text[INET_ADDRSTRLEN] = {};
    in_addr in{};
    in.s_addr = address;
    inet_ntop(AF_INET, &in, text, sizeof text);
    return text;
}

// One side's report processing. The desktop program's channel panel takes
// the reports one ViewTime apart; here every report is taken (the model runs
// with a ViewTime of one InfoTime and is polled that often) and the print
// interval averages the samples. Taking every report keeps two figures
// right that a long period would spoil: the Centre panel's averages divide
// the bytes of the reports used by the time up to the poll, and the reports
// used lag the poll by up to one period; and the reports' lost counter is 16
// bits, whose difference over a long period at heavy loss reads as a counter
// going back.
class TCliSideProcessor final {
public:
    TCliSideProcessor(char side, int reader)
        : m_processor(side, ProcessorOptions()), m_reader(reader) {}

    void Restart(const TClockNow& now) {
        m_processor.RestartStatistics(now);
        m_dropsTotal = 0;
        m_delay.Restart();
        m_logDelay.Restart();
    }
    // The delay extension's figures since the statistics restarted.
    TDelayFigures DelayTotal() const { return m_delay.Total(); }
    const TReportProcessor& Processor() const { return m_processor; }
    // Every report taken is also added to these counters (respond's
    // metrics file).
    void CountInto(TMetricsCounters* counters) { m_counters = counters; }
    // The engine records the report of the last datagram read at every
    // interval end, also when nothing new came: only a change of its stamp
    // shows that the other side sent something.
    bool StampChanged() const { return m_stampChanged; }

    struct TPolled {
        bool Added = false; // a sample was added
        bool First = false; // the engine had reset its counters: a new baseline
    };

    // Takes the new reports, feeds the model and writes the samples to the
    // log.
    TPolled Poll(TbNBSClient& engine, TResultLog* log, const TClockNow& now,
                 TDelayLog* delays = nullptr) {
        TbNReportRing& ring = m_reader == 0 ? engine.LocalReports() : engine.RemoteReports();
        std::int32_t count = kRingSize;
        const std::uint16_t badBefore = m_processor.LastReport().Bad;
        const bool first = engine.GetRecords(ring, m_records.data(), count);
        for (std::int32_t i = 0; i < count; ++i) {
            const TbNReportRecord& record = m_records[static_cast<std::size_t>(i)];
            m_buffer[static_cast<std::size_t>(i)] = record.Report;
            m_drops[static_cast<std::size_t>(i)] = record.Drops;
            m_delays[static_cast<std::size_t>(i)] = record.Delay;
            m_delay.Add(record.Delay);
            m_logDelay.Add(record.Delay);
        }
        if (m_counters != nullptr) {
            const std::string sender = SenderName(engine);
            m_counters->Add(std::span(m_buffer.data(), static_cast<std::size_t>(count)),
                            std::span(m_drops.data(), static_cast<std::size_t>(count)), first,
                            sender);
            m_counters->AddDelay(std::span(m_delays.data(), static_cast<std::size_t>(count)), first,
                                 sender);
        }
        for (std::int32_t i = 0; i < count; ++i) {
            const std::uint16_t stamp = m_buffer[static_cast<std::size_t>(i)].Stamp;
            if (!m_firstStamp)
                m_firstStamp = stamp;
            m_stampChanged = m_stampChanged || stamp != *m_firstStamp;
            AddDrops(m_drops[static_cast<std::size_t>(i)], first && i == 0);
        }
        const std::vector<TSample> samples = m_processor.ProcessReports(
            first, std::span<const TbNReport>(m_buffer.data(), static_cast<std::size_t>(count)),
            now);
        for (const TSample& sample : samples) {
            m_outputSum += sample.Output;
            m_inputSum += sample.Input;
            m_lost += sample.Lost;
            ++m_samples;
            if (log != nullptr && log->Storing()) {
                const TLogResult written =
                    log->WriteSample(MakeLogRecord(m_processor.SideLetter(), sample));
                if (!written.Ok())
                    PrintError(written.Message);
            }
        }
        // The delay figures of this poll beside the log, on the time of its
        // last sample.
        const TDelayFigures polled = m_logDelay.Take();
        if (delays != nullptr && log != nullptr && log->Storing() && !samples.empty())
            if (const auto line =
                    MakeDelayLogLine(m_processor.SideLetter(), samples.back().ReportTime, polled)) {
                const TLogResult written = delays->Write(*line);
                if (!written.Ok())
                    PrintError(written.Message);
            }
        // After a reset (first) the counters start again: no difference yet.
        const auto bad = static_cast<std::uint16_t>(m_processor.LastReport().Bad - badBefore);
        if (!first && bad <= kLostBackward)
            m_bad += bad;
        return {!samples.empty(), first};
    }

    // This side's figures since the last call: mean rates of the samples,
    // lost and bad datagrams summed.
    TCliSide TakeInterval() {
        TCliSide side;
        if (m_samples > 0) {
            side.OutputKbps = static_cast<std::uint32_t>(m_outputSum / m_samples);
            side.InputKbps = static_cast<std::uint32_t>(m_inputSum / m_samples);
            side.Reported = true;
        }
        side.Lost = m_lost;
        side.Bad = m_bad;
        if (m_dropsKnown)
            side.RcvbufDrops = m_dropsInterval;
        side.Delay = m_delay.Take();
        m_dropsInterval = 0;
        m_outputSum = 0;
        m_inputSum = 0;
        m_samples = 0;
        m_lost = 0;
        m_bad = 0;
        return side;
    }

    // This side's receive-buffer drops since the statistics restarted;
    // empty while the side does not tell them.
    std::optional<std::uint32_t> DropsTotal() const {
        return m_dropsKnown ? std::optional<std::uint32_t>(m_dropsTotal) : std::nullopt;
    }

private:
    // Drops are cumulative modulo 65536 like lost: differences between
    // consecutive records, none across a baseline or a side that stopped
    // telling them.
    void AddDrops(const TbNRcvbufDrops& drops, bool baseline) {
        if (drops.Known && m_lastDrops && !baseline) {
            const auto delta = static_cast<std::uint16_t>(drops.Count - *m_lastDrops);
            if (delta <= kLostBackward) {
                m_dropsInterval += delta;
                m_dropsTotal += delta;
            }
        }
        m_dropsKnown = drops.Known;
        m_lastDrops = drops.Known ? std::optional<std::uint16_t>(drops.Count) : std::nullopt;
    }

    static TCfgOpt ProcessorOptions() {
        TCfgOpt options = CfgOpt;
        options.ViewTime = CfgOpt.InfoTime;
        return options;
    }

    TReportProcessor m_processor;
    int m_reader = 0;
    std::optional<std::uint16_t> m_firstStamp;
    bool m_stampChanged = false;
    std::uint64_t m_outputSum = 0;
    std::uint64_t m_inputSum = 0;
    std::uint32_t m_samples = 0;
    std::uint32_t m_lost = 0;
    std::uint32_t m_bad = 0;
    std::array<TbNReportRecord, kRingSize> m_records{};
    TDelayTrack m_delay;
    TDelayTrack m_logDelay; // per poll, for the log's delay file
    std::array<TbNReport, kRingSize> m_buffer{};
    std::array<TbNRcvbufDrops, kRingSize> m_drops{};
    std::array<TbNDelayRecord, kRingSize> m_delays{};
    std::optional<std::uint16_t> m_lastDrops;
    bool m_dropsKnown = false;
    std::uint32_t m_dropsInterval = 0;
    std::uint32_t m_dropsTotal = 0;
    TMetricsCounters* m_counters = nullptr;
};

class TCliSides final {
public:
    TCliSideProcessor Local{kSideLocal, 0};
    TCliSideProcessor Remote{kSideRemote, 1};

    void Restart() {
        const TClockNow now = ClockNow();
        Local.Restart(now);
        Remote.Restart(now);
        m_localAdded = false;
        m_remoteAdded = false;
    }
    // The time the statistics cover so far, as the summary counts it.
    std::uint32_t ElapsedMs() const { return Local.Processor().ElapsedMs(ClockNow()); }
    // Answers whether both sides have added a sample since the last time it
    // answered yes. (The two sides' samples need not fall in one poll: each
    // side closes its samples on its own report stamps, and under load the
    // two drift apart by a poll or more.)
    //
    // A peer's reset command makes the engine clear its counters and report
    // rings, and the command rides in every datagram for 300 ms, so a start
    // of sending brings a burst of resets. The desktop program restarts its
    // statistics once at the click and lets the burst pass into the first
    // minutes of a test; a run of a few seconds cannot, so the statistics
    // restart at every reset seen, and the averages never mix counters from
    // before it.
    bool Poll(TbNBSClient& engine, TResultLog* log, TDelayLog* delays = nullptr) {
        const TClockNow now = ClockNow();
        const TCliSideProcessor::TPolled local = Local.Poll(engine, log, now, delays);
        const TCliSideProcessor::TPolled remote = Remote.Poll(engine, log, now, delays);
        if (local.First || remote.First) {
            Restart();
            return false;
        }
        m_localAdded = m_localAdded || local.Added;
        m_remoteAdded = m_remoteAdded || remote.Added;
        if (!m_localAdded || !m_remoteAdded)
            return false;
        m_localAdded = false;
        m_remoteAdded = false;
        return true;
    }
    TCliInterval TakeInterval(std::uint32_t timeMs) {
        TCliInterval interval;
        interval.TimeMs = timeMs;
        interval.Local = Local.TakeInterval();
        interval.Remote = Remote.TakeInterval();
        return interval;
    }
    TCliDrops Drops() const { return {Local.DropsTotal(), Remote.DropsTotal()}; }
    TCliDelays Delays(const TbNBSClient& engine) const {
        return {Local.DelayTotal(), Remote.DelayTotal(), engine.PeerHasExtension()};
    }
    std::optional<TSummary> Summary() const {
        const TClockNow now = ClockNow();
        // Each side's statistics begin when its skipped reports are done;
        // under load the two may begin a sample apart, which over a few
        // seconds shifts the peer's averages by percents: each side's rates
        // are taken over its own span.
        return UpdateSummary(Local.Processor().Statistics(), Remote.Processor().Statistics(),
                             Local.Processor().ElapsedMs(now), Remote.Processor().ElapsedMs(now));
    }

private:
    bool m_localAdded = false;
    bool m_remoteAdded = false;
};

// When the next line is due: every print interval (ViewTime), on the poll
// nearest to it.
class TPrintClock final {
public:
    bool Due(std::uint32_t elapsed) {
        if (elapsed + static_cast<std::uint32_t>(CfgOpt.InfoTime) / 2 < m_next)
            return false;
        m_next += static_cast<std::uint32_t>(CfgOpt.ViewTime);
        return true;
    }

private:
    std::uint32_t m_next = static_cast<std::uint32_t>(CfgOpt.ViewTime);
};

// The own broadcast is sent again this often while its echo is missing: one
// lost echo (a firewall, a busy host) does not end a test.
constexpr std::uint32_t kDiscoveryRepeatMs = 500;

bool WaitOwnAddress(TbNBSClient& engine, TStopSignals& signals) {
    const std::uint32_t start = timeGetTime();
    std::uint32_t repeated = start;
    while (engine.LocalAddress().empty()) {
        if (timeGetTime() - start >= kAnswerTimeMs || signals.Wait(kPollMs))
            return false;
        if (timeGetTime() - repeated >= kDiscoveryRepeatMs) {
            repeated = timeGetTime();
            engine.RepeatDiscovery();
        }
    }
    return true;
}

std::string OwnAddressMissing() {
    return "the own broadcast did not come back within " + std::to_string(kAnswerTimeMs / 1000) +
           " s (is there a route for 255.255.255.255?); peers drop datagrams of a copy that does "
           "not know its own address";
}

// Opens the engine; false (and the engine's message on stderr) when the
// socket could not be made or bound.
bool EngineOpen(const TCliEngine& engine) {
    if (engine->IsOpen() && engine->SocketsReady())
        return true;
    if (!g_socketError.load())
        PrintError("the socket could not be opened on UDP port " + std::to_string(CfgOpt.Port));
    return false;
}

// Opens the engine and waits until it knows its own address; the exit code
// when the command cannot go on.
std::optional<int> StartEngine(const TCliEngine& engine, TStopSignals& signals) {
    if (!EngineOpen(engine))
        return kExitFailure;
    if (!WaitOwnAddress(*engine, signals)) {
        if (signals.Stopped())
            return kExitOk;
        PrintError(OwnAddressMissing());
        return kExitNoPeer;
    }
    return std::nullopt;
}

std::string SpeedText(std::int32_t kbps) {
    std::string text = SpeedToStr(kbps);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// Runs `body` once per report interval (InfoTime) until it answers false or
// a stop signal arrives; the first call comes one interval after start.
template <class TBody> void EveryReport(TStopSignals& signals, std::uint32_t start, TBody body) {
    const auto period = static_cast<std::uint32_t>(CfgOpt.InfoTime);
    std::uint32_t next = start + period;
    for (;;) {
        const auto wait = static_cast<std::int32_t>(next - timeGetTime());
        if (signals.Wait(wait > 0 ? wait : 0))
            return;
        next += period;
        if (!body())
            return;
    }
}

// The log drawn into options.SvgPath, titled and coloured as the desktop
// program would show it; the problem, or empty.
std::string WriteViewSvg(const TViewOptions& options, const TLogView& local,
                         const TLogView& remote) {
    TLogSvgInfo info;
    const std::string name = options.File.substr(options.File.find_last_of('/') + 1);
    info.Title = options.SvgTitle.empty() ? "Ravelox result log " + name : options.SvgTitle;
    struct stat status {};
    if (::stat(options.File.c_str(), &status) == 0) {
        const std::time_t written = status.st_mtime;
        std::tm when{};
        localtime_r(&written, &when);
        char text[64];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &when);
        info.Date = text;
    }
    LoadSettings(); // the graph colours
    for (std::size_t i = 0; i < info.Colors.size(); ++i)
        info.Colors[i] = Colors[i];
    const std::string svg = LogSvg(local, remote, info);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(
        std::fopen(options.SvgPath.c_str(), "w"), &std::fclose);
    if (!out)
        return "cannot write '" + options.SvgPath + "': " + std::strerror(errno);
    if (std::fwrite(svg.data(), 1, svg.size(), out.get()) != svg.size())
        return "writing '" + options.SvgPath + "' failed";
    return {};
}

} // namespace

void BlockStopSignals() {
    const sigset_t set = StopSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void LoadSettings() {
    // The store's framework reads its own switches from the command line;
    // this program's options are not meant for it.
    TbParam::SetArguments({});
    try {
        InitSettingsStore();
        const std::string problem = ReadTestSettings();
        if (!problem.empty())
            PrintError(problem + " (the values from there on keep their defaults)");
    } catch (const std::exception& error) {
        PrintError(std::string("settings not read, using the defaults: ") + error.what());
    }
    // Nothing is ever saved from here: close the store at once.
    DoneSettingsStore();
}

void ApplyEngineOptions(const TCliEngineOptions& options) {
    if (options.Port)
        CfgOpt.Port = *options.Port;
    if (options.RecvBuf)
        CfgOpt.SockRecvBuf = *options.RecvBuf;
    if (options.SendBuf)
        CfgOpt.SockSendBuf = *options.SendBuf;
    if (options.TimerPeriod)
        CfgOpt.TimerPeriod = *options.TimerPeriod;
    if (options.InfoTime)
        CfgOpt.InfoTime = *options.InfoTime;
    if (options.Interval)
        CfgOpt.ViewTime = *options.Interval;
    if (options.Extension)
        CfgOpt.Extension = *options.Extension ? 1 : 0;
    if (CfgOpt.TimerPeriod < kCliMinTimerPeriod || CfgOpt.TimerPeriod > kCliMaxTimerPeriod)
        throw ECliArgError("the timer period " + std::to_string(CfgOpt.TimerPeriod) +
                           " ms is outside 1..1000 ms (--timer-period)");
    if (CfgOpt.InfoTime < CfgOpt.TimerPeriod)
        throw ECliArgError("the info time " + std::to_string(CfgOpt.InfoTime) +
                           " ms is shorter than the timer period " +
                           std::to_string(CfgOpt.TimerPeriod) +
                           " ms (--info-time, --timer-period)");
    if (CfgOpt.ViewTime < CfgOpt.InfoTime)
        throw ECliArgError("the print interval " + std::to_string(CfgOpt.ViewTime) +
                           " ms is shorter than the info time " + std::to_string(CfgOpt.InfoTime) +
                           " ms (--interval, --info-time)");
}

int RunRespond(const TRespondOptions& options) {
    const bool json = options.Engine.Json;
    g_jsonErrors.store(json);
    // Read before the engine exists: it takes the limits at construction.
    const TbNLimits limits = ApplyLimitOptions(options.Limits);
    TStopSignals signals;
    InstallOutward();
    TCliEngine engine;
    if (!EngineOpen(engine))
        return kExitFailure;
    const std::int32_t silenceMs = engine->PeerSilenceInForce();
    const TbNSocketBuffers buffers = engine->SocketBuffers();
    Print(json,
          {{"listening",
            {{"port", CfgOpt.Port},
             {"recv_buf_bytes", buffers.RecvBuf},
             {"send_buf_bytes", buffers.SendBuf},
             {"limits", LimitsJson(limits, silenceMs)}}}},
          "ravelox-cli respond: listening on UDP port " + std::to_string(CfgOpt.Port) + "; " +
              BuffersText(buffers.RecvBuf, buffers.SendBuf) + "; SIGINT (Ctrl-C) or SIGTERM stops");
    if (!json)
        PrintLine(LimitsText(limits, silenceMs));

    TCliSides sides;
    sides.Restart();
    bool addressShown = false;
    bool sending = engine->IsSending(false);
    const std::uint32_t start = timeGetTime();
    const auto showAddress = [&] {
        if (addressShown)
            return;
        const std::string address = engine->LocalAddress();
        if (address.empty())
            return;
        addressShown = true;
        Print(json, {{"address", address}}, "own address " + address);
    };
    // The address is known within a few timer periods; show it before the
    // first interval line when it is.
    for (int i = 0; i < 10 && !addressShown && !signals.Wait(kPollMs); ++i)
        showAddress();

    TMetricsCounters counters;
    std::string metricsProblem;
    const auto writeMetrics = [&] {
        if (options.MetricsFile.empty())
            return;
        counters.Totals().Sending = engine->IsSending(false);
        counters.Totals().SpeedKbps = engine->GetSpeed(false);
        const std::string problem =
            WriteMetricsFile(options.MetricsFile, MetricsText(counters.Totals()));
        if (!problem.empty() && problem != metricsProblem)
            PrintError("--metrics-file: " + problem);
        metricsProblem = problem;
    };
    if (!options.MetricsFile.empty())
        sides.Local.CountInto(&counters);
    writeMetrics();

    TPrintClock print;
    EveryReport(signals, start, [&] {
        showAddress();
        engine->RemoteSendingChanged.store(false);
        if (engine->PeerPacketSizeChanged.load())
            engine->AcceptPeerPacketSize();
        if (engine->PeerSpeedChanged.load())
            engine->AcceptPeerSpeed();
        if (engine->SettingsChanged.exchange(false)) {
            const std::int32_t length = engine->GetPacketSize(false) - kPacketOffset;
            Print(json,
                  {{"settings",
                    {{"sending", engine->IsSending(false)},
                     {"speed_kbps", engine->GetSpeed(false)},
                     {"length", length}}}},
                  std::string("peer set: sending ") + (engine->IsSending(false) ? "on" : "off") +
                      ", speed " + SpeedText(engine->GetSpeed(false)) + ", length " +
                      std::to_string(length));
        }
        if (engine->SendingStoppedChanged.exchange(false)) {
            const tNetStopCause cause = engine->StopCause();
            Print(json, StopJson(cause, silenceMs, limits.MaxSendTime),
                  StopText(cause, silenceMs, limits.MaxSendTime));
        }
        // As the desktop program does when the own sending changes: the
        // statistics start again.
        if (engine->IsSending(false) != sending) {
            sending = !sending;
            sides.Restart();
        }
        sides.Poll(*engine, nullptr);
        if (const std::uint32_t elapsed = timeGetTime() - start; print.Due(elapsed)) {
            const TCliInterval interval = sides.TakeInterval(elapsed);
            Print(json, IntervalJson(interval), IntervalText(interval));
            writeMetrics();
        }
        // A send error leaves the socket open and the copy serving; an error
        // that closed it ends the run.
        if (!engine->IsOpen())
            return false;
        return options.Duration == 0 ||
               timeGetTime() - start < static_cast<std::uint32_t>(options.Duration) * 1000U;
    });
    const bool socketError = !engine->IsOpen();
    if (!json)
        PrintLine(signals.Stopped() ? "stopped by signal" : "stopped");
    return socketError ? kExitFailure : kExitOk;
}

int RunTest(const TTestOptions& options) {
    const bool json = options.Engine.Json;
    g_jsonErrors.store(json);
    g_csv.store(options.Csv);
    if (options.LocalSpeed)
        Cfg.LocalSpeed = *options.LocalSpeed;
    if (options.RemoteSpeed)
        Cfg.RemoteSpeed = *options.RemoteSpeed;
    if (options.LocalLength)
        Cfg.SizeOfPacket = *options.LocalLength;
    if (options.RemoteLength)
        Cfg.RemotePacket = *options.RemoteLength;
    const bool localOn = options.Direction != cdRemote;
    const bool remoteOn = options.Direction != cdLocal;

    TResultLog log;
    TDelayLog delayLog;
    if (!options.LogPath.empty()) {
        const TLogResult opened = log.OpenLog(options.LogPath);
        if (!opened.Ok()) {
            PrintError("--log: " + opened.Message);
            return kExitUsage;
        }
        // The delay figures beside it; the log is stored without them if
        // that file cannot be made.
        const TLogResult delaysOpened = delayLog.Open(options.LogPath, opened.KeptAs);
        if (!delaysOpened.Ok())
            PrintError("--log: " + delaysOpened.Message);
    }

    TStopSignals signals;
    InstallOutward();
    TCliEngine engine;
    if (const auto stop = StartEngine(engine, signals))
        return *stop;
    if (std::string self = SelfAsPeer(options.Host, engine->LocalAddress(), options.Direction);
        !self.empty()) {
        PrintError(self);
        return kExitUsage;
    }

    // As the desktop program: the peer, its speed and length, then its and
    // the own sending.
    engine->SetRemoteHost(options.Host);
    engine->SetSpeed(Cfg.LocalSpeed, false);
    engine->SetPacketSize(Cfg.SizeOfPacket + kPacketOffset, false);
    engine->SetSpeed(Cfg.RemoteSpeed, true);
    engine->SetPacketSize(Cfg.RemotePacket + kPacketOffset, true);
    const TbNSocketBuffers buffers = engine->SocketBuffers();
    Print(json,
          {{"test",
            {{"host", options.Host},
             {"recv_buf_bytes", buffers.RecvBuf},
             {"send_buf_bytes", buffers.SendBuf},
             {"port", CfgOpt.Port},
             {"address", engine->LocalAddress()},
             {"time_s", options.Time},
             {"direction", DirectionName(options.Direction)},
             {"local_speed_kbps", engine->GetSpeed(false)},
             {"local_length", engine->GetPacketSize(false) - kPacketOffset},
             {"remote_speed_kbps", engine->GetSpeed(true)},
             {"remote_length", engine->GetPacketSize(true) - kPacketOffset},
             // Whether the peer carries the delay extension: not known
             // until the engine reads it.
             {"peer_delay_extension", nullptr}}}},
          "ravelox-cli test: " + engine->LocalAddress() + " -> " + options.Host + " port " +
              std::to_string(CfgOpt.Port) + " for " + std::to_string(options.Time) +
              " s, direction " + DirectionName(options.Direction) + "; local " +
              SpeedText(engine->GetSpeed(false)) + " x " +
              std::to_string(engine->GetPacketSize(false) - kPacketOffset) + " bytes, remote " +
              SpeedText(engine->GetSpeed(true)) + " x " +
              std::to_string(engine->GetPacketSize(true) - kPacketOffset) + " bytes; " +
              BuffersText(buffers.RecvBuf, buffers.SendBuf));
    if (remoteOn)
        engine->SetSending(true, true);
    if (localOn)
        engine->SetSending(true, false);

    TCliSides sides;
    sides.Restart();
    const std::uint32_t start = timeGetTime();
    const auto timeMs = static_cast<std::uint32_t>(options.Time) * 1000U;
    bool peerSeen = false;
    std::optional<TSummary> summary;
    TCliDrops drops;
    TCliDelays delays;
    TPrintClock print;
    EveryReport(signals, start, [&] {
        if (g_socketError.load())
            return false;
        const std::uint32_t elapsed = timeGetTime() - start;
        const bool bothReported = sides.Poll(*engine, &log, &delayLog);
        peerSeen = peerSeen || sides.Remote.StampChanged() || engine->PeerPacketSize.load() != 0;
        if (!peerSeen && elapsed >= kAnswerTimeMs)
            return false;
        // The Centre panel's figures divide the bytes of the reports used so
        // far by the time up to now: taken where both sides just used a
        // report, bytes and time end together.
        if (bothReported || !summary) {
            summary = sides.Summary();
            drops = sides.Drops();
            delays = sides.Delays(*engine);
        }
        if (print.Due(elapsed)) {
            const TCliInterval interval = sides.TakeInterval(elapsed);
            Print(json, IntervalJson(interval), IntervalText(interval));
        }
        // N seconds of statistics: the start-up, the reset burst and the
        // reports the statistics skip before they begin do not count.
        const std::uint32_t measured = sides.ElapsedMs();
        return measured + static_cast<std::uint32_t>(CfgOpt.InfoTime) / 2 < timeMs;
    });
    log.CloseLog();

    // Stop the peer first, then the own sending; wait until the peer's data
    // has ended so that a next test starts on a quiet channel.
    if (remoteOn)
        engine->SetSending(false, true);
    engine->SetSending(false, false);
    if (remoteOn && peerSeen && !signals.Stopped()) {
        const std::uint32_t quietStart = timeGetTime();
        std::array<TbNReport, kRingSize> reports{};
        std::optional<std::uint32_t> lastReceived;
        bool quiet = false;
        while (!quiet && timeGetTime() - quietStart < kQuietTimeMs && !signals.Wait(kPollMs)) {
            std::int32_t count = kRingSize;
            engine->GetReports(engine->LocalReports(), reports.data(), count, 0);
            for (std::int32_t i = 0; i < count && !quiet; ++i) {
                const std::uint32_t received = reports[static_cast<std::size_t>(i)].BytesReceived;
                quiet = lastReceived && *lastReceived == received;
                lastReceived = received;
            }
        }
        if (!quiet)
            PrintError("the peer's data did not stop within " +
                       std::to_string(kQuietTimeMs / 1000) + " s");
    }

    if (g_socketError.load())
        return kExitFailure;
    if (!peerSeen) {
        PrintError("no answer from " + options.Host + " on UDP port " +
                   std::to_string(CfgOpt.Port) + " within " + std::to_string(kAnswerTimeMs / 1000) +
                   " s: is ravelox-cli respond (or the program) running there?");
        return kExitNoPeer;
    }
    std::optional<TVerdict> verdict;
    if (!options.Thresholds.empty()) {
        TVerdictInput input;
        input.Summary = summary.value_or(TSummary{});
        input.LocalLength = engine->GetPacketSize(false) - kPacketOffset;
        input.RemoteLength = engine->GetPacketSize(true) - kPacketOffset;
        input.LocalTested = localOn && summary.has_value();
        input.RemoteTested = remoteOn && summary.has_value();
        input.LocalDelay = delays.Local;
        input.RemoteDelay = delays.Remote;
        input.PeerHasExtension = delays.PeerHasExtension;
        verdict = CheckThresholds(options.Thresholds, input);
    }
    if (summary) {
        if (json) {
            nlohmann::json line = SummaryJson(*summary, drops, delays);
            if (verdict)
                line["verdict"] = VerdictJson(*verdict);
            PrintLine(JsonLine(line));
        } else {
            for (const std::string& line : SummaryText(*summary, drops, delays))
                PrintLine(line);
        }
    } else {
        nlohmann::json line{{"summary", nullptr}};
        if (verdict)
            line["verdict"] = VerdictJson(*verdict);
        Print(json, line, "No time elapsed: no summary");
    }
    if (verdict && !json) {
        for (const std::string& line : VerdictText(*verdict))
            PrintLine(line);
    }
    return verdict && !verdict->Passed() ? kExitThreshold : kExitOk;
}

int RunLookup(const TLookupOptions& options) {
    const bool json = options.Engine.Json;
    g_jsonErrors.store(json);
    TStopSignals signals;
    InstallOutward();
    TCliEngine engine;
    if (const auto stop = StartEngine(engine, signals))
        return *stop;
    const std::uint32_t start = timeGetTime();
    const auto timeMs = static_cast<std::uint32_t>(options.Time) * 1000U;
    while (timeGetTime() - start < timeMs && !g_socketError.load()) {
        engine->SetLookup(true);
        if (signals.Wait(kLookupRepeatMs))
            break;
    }
    engine->SetLookup(false);
    std::vector<TCliFound> found;
    const std::int32_t count = engine->FoundCount();
    for (std::int32_t i = 0; i < count; ++i) {
        const sockaddr_in address = engine->FoundServer(i);
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
        found.push_back({text, ntohs(address.sin_port)});
    }
    if (json) {
        PrintLine(JsonLine(LookupJson(found)));
    } else {
        for (const std::string& line : LookupText(found))
            PrintLine(line);
    }
    return g_socketError.load() ? kExitFailure : kExitOk;
}

int RunView(const TViewOptions& options) {
    g_jsonErrors.store(options.Json);
    if (options.Csv) {
        const TLogResult written = WriteLogCsv(options.File, stdout);
        if (!written.Ok())
            PrintError(written.Message);
        return written.Ok() ? kExitOk : kExitFailure;
    }
    const TLogViewResult read = ViewResultLog(options.File);
    if (read.Status == lsTruncated) {
        PrintError(read.Message.empty()
                       ? "'" + options.File + "' ends in a partial record: the file is truncated"
                       : read.Message);
        return kExitFailure;
    }
    if (!read.Loaded()) {
        PrintError(read.Status == lsTooShort && read.Message.empty()
                       ? "'" + options.File + "' holds 16 bytes or less: nothing to show"
                       : read.Message);
        return kExitFailure;
    }
    const TLogView& local = read.Local;
    const TLogView& remote = read.Remote;
    if (!options.SvgPath.empty()) {
        if (const std::string problem = WriteViewSvg(options, local, remote); !problem.empty()) {
            PrintError("--svg: " + problem);
            return kExitFailure;
        }
    }
    std::optional<TSummary> summary;
    if (local.HasData)
        summary = ViewSummary(local, remote);
    const TSummary* shown = summary ? &*summary : nullptr;
    if (options.Json) {
        PrintLine(JsonLine(ViewJson(local, remote, read.Records, shown)));
    } else {
        for (const std::string& line : ViewText(local, remote, read.Records, shown))
            PrintLine(line);
    }
    return kExitOk;
}

namespace {

// Waits until this host's received bytes stand still between two reports;
// false when they still moved after kQuietTimeMs.
bool WaitPeerQuiet(TbNBSClient& engine) {
    const std::uint32_t start = timeGetTime();
    std::array<TbNReport, kRingSize> reports{};
    std::optional<std::uint32_t> lastReceived;
    while (timeGetTime() - start < kQuietTimeMs) {
        std::int32_t count = kRingSize;
        engine.GetReports(engine.LocalReports(), reports.data(), count, 0);
        for (std::int32_t i = 0; i < count; ++i) {
            const std::uint32_t received = reports[static_cast<std::size_t>(i)].BytesReceived;
            if (lastReceived && *lastReceived == received)
                return true;
            lastReceived = received;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return false;
}

} // namespace

int RunSearch(const TSearchOptions& options) {
    const bool json = options.Engine.Json;
    g_jsonErrors.store(json);
    if (options.LocalLength)
        Cfg.SizeOfPacket = *options.LocalLength;
    if (options.RemoteLength)
        Cfg.RemotePacket = *options.RemoteLength;
    TSearchPair searches;
    if (options.Direction != cdRemote)
        searches[0].emplace(options.MinKbps, options.MaxKbps);
    if (options.Direction != cdLocal)
        searches[1].emplace(options.MinKbps, options.MaxKbps);

    TStopSignals signals;
    InstallOutward();
    TCliEngine engine;
    if (const auto stop = StartEngine(engine, signals))
        return *stop;
    if (std::string self = SelfAsPeer(options.Host, engine->LocalAddress(), options.Direction);
        !self.empty()) {
        PrintError(self);
        return kExitUsage;
    }
    engine->SetRemoteHost(options.Host);
    engine->SetPacketSize(Cfg.SizeOfPacket + kPacketOffset, false);
    engine->SetPacketSize(Cfg.RemotePacket + kPacketOffset, true);
    const std::int32_t lengths[2] = {Cfg.SizeOfPacket, Cfg.RemotePacket};
    const TbNSocketBuffers buffers = engine->SocketBuffers();
    Print(json,
          {{"search",
            {{"host", options.Host},
             {"address", engine->LocalAddress()},
             {"port", CfgOpt.Port},
             {"direction", DirectionName(options.Direction)},
             {"max_loss_pct", options.MaxLossPct},
             {"step_time_s", options.StepTime},
             {"settle_ms", kSearchSettleMs},
             {"min_kbps", options.MinKbps},
             {"max_kbps", options.MaxKbps},
             {"time_limit_s", options.TimeLimit},
             {"local_length", lengths[0]},
             {"remote_length", lengths[1]},
             {"recv_buf_bytes", buffers.RecvBuf},
             {"send_buf_bytes", buffers.SendBuf},
             {"peer_delay_extension", nullptr}}}},
          "ravelox-cli search: " + engine->LocalAddress() + " -> " + options.Host + " port " +
              std::to_string(CfgOpt.Port) + ", direction " + DirectionName(options.Direction) +
              ", loss at most " + FormatGeneral3(options.MaxLossPct) + " %, " +
              std::to_string(options.StepTime) + " s per step, " + SpeedText(options.MinKbps) +
              " .. " + SpeedText(options.MaxKbps) + "; " +
              BuffersText(buffers.RecvBuf, buffers.SendBuf));

    // Each direction at its own rate. One that has ended goes on at the
    // highest rate that held until the other ends: the peer's reports ride
    // in its datagrams, and a stop or start of sending would restart both
    // sides' counters in the middle of the other's step.
    const auto applyRates = [&] {
        for (int i = 0; i < 2; ++i) {
            const bool remote = i == 1;
            if (!searches[i])
                continue;
            const std::optional<std::int32_t> rate =
                searches[i]->Running() ? std::optional(searches[i]->Rate()) : searches[i]->Held();
            if (!rate) {
                if (engine->IsSending(remote))
                    engine->SetSending(false, remote);
                continue;
            }
            if (engine->GetSpeed(remote) != *rate)
                engine->SetSpeed(*rate, remote);
            if (!engine->IsSending(remote))
                engine->SetSending(true, remote);
        }
    };
    const auto running = [&] {
        return (searches[0] && searches[0]->Running()) || (searches[1] && searches[1]->Running());
    };
    applyRates();

    TCliSides sides;
    sides.Restart();
    const std::uint32_t start = timeGetTime();
    const auto limitMs = static_cast<std::uint32_t>(options.TimeLimit) * 1000U;
    const auto stepMs = static_cast<std::uint32_t>(options.StepTime) * 1000U;
    bool peerSeen = false;
    bool measuring = false;
    std::uint32_t phaseStart = start;
    std::uint32_t step = 0;
    EveryReport(signals, start, [&] {
        if (g_socketError.load())
            return false;
        const std::uint32_t now = timeGetTime();
        sides.Poll(*engine, nullptr);
        peerSeen = peerSeen || sides.Remote.StampChanged() || engine->PeerPacketSize.load() != 0;
        if (!peerSeen)
            return now - start < kAnswerTimeMs;
        if (now - start >= limitMs)
            return false;
        if (!measuring) {
            // Settled: the samples of the step start here.
            if (now - phaseStart >= kSearchSettleMs) {
                sides.TakeInterval(0);
                measuring = true;
                phaseStart = now;
            }
            return true;
        }
        if (now - phaseStart < stepMs)
            return true;
        // The mean of the report-to-report rates of the step, and the lost
        // datagrams summed over the same reports: unlike the averages of
        // the summary, not shifted by the lag of the reports behind the
        // poll, which over a step of a second or two is several per cent.
        const TCliInterval interval = sides.TakeInterval(now - start);
        const std::uint32_t spanMs = now - phaseStart;
        phaseStart = now;
        if (!interval.Local.Reported || !interval.Remote.Reported)
            return true; // no report of a side in the step: measure again
        TStepPair pair;
        for (int i = 0; i < 2; ++i) {
            if (!searches[i] || !searches[i]->Running())
                continue;
            const TCliSide& sender = i == 0 ? interval.Local : interval.Remote;
            const TCliSide& receiver = i == 0 ? interval.Remote : interval.Local;
            TStepFigures f;
            f.RateKbps = searches[i]->Rate();
            f.SentKbps = sender.OutputKbps;
            f.ArrivedKbps = receiver.InputKbps;
            f.Lost = receiver.Lost;
            f.RcvbufDrops = receiver.RcvbufDrops;
            f.Length = lengths[i];
            f.ElapsedMs = spanMs;
            const TStepJudgement judgement = JudgeStep(f, options.MaxLossPct);
            pair[i].emplace(f, judgement);
            searches[i]->Report(judgement.Outcome);
        }
        ++step;
        Print(json, StepJson(step, now - start, pair), StepText(step, now - start, pair));
        if (!running())
            return false;
        applyRates();
        measuring = false;
        return true;
    });
    for (auto& search : searches) {
        if (search)
            search->Stop();
    }
    // The peer's sending first, as after a test; then the own. The stop
    // command rides in the datagrams that go on: wait until the peer's data
    // has ended (also after a signal, or the peer would go on sending).
    engine->SetSending(false, true);
    engine->SetSending(false, false);
    if (peerSeen && options.Direction != cdLocal && !WaitPeerQuiet(*engine))
        PrintError("the peer's data did not stop within " + std::to_string(kQuietTimeMs / 1000) +
                   " s");

    if (g_socketError.load())
        return kExitFailure;
    if (!peerSeen) {
        PrintError("no answer from " + options.Host + " on UDP port " +
                   std::to_string(CfgOpt.Port) + " within " + std::to_string(kAnswerTimeMs / 1000) +
                   " s: is ravelox-cli respond (or the program) running there?");
        return kExitNoPeer;
    }
    if (json) {
        PrintLine(JsonLine(CapacityJson(searches)));
    } else {
        if (signals.Stopped())
            PrintLine("stopped by signal");
        for (const std::string& line : CapacityText(searches))
            PrintLine(line);
    }
    return SearchExitCode(searches);
}
