// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program end to end, offscreen, in the harness's namespaces: the
// main window on host 0 (198.18.0.1) against the real `ravelox-cli` on host 1
// (198.18.0.2); and the real `ravelox` binary started and closed.
#include <QSlider>
#include <algorithm>
#include <QTimer>
#include <optional>
#include <thread>
#include <vector>

#include <csignal>

#include <QLineSeries>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "NetNs.h"
#include "NetNsBridge.h"
#include "vDelay.h"
#include "tChildProcess.h"
#include "tWindowFixture.h"
#include "cNetWire.h"

namespace {

using testhelp::ReadFile;
using wt::Child;
using wt::WaitUntil;

// A program run in the background (optionally in a host's namespace), its
// output and program home in a folder of its own.
class Process final {
public:
    Process(const std::string& ns, const std::vector<std::string>& args,
            const testhelp::ChildProcess::Environment& env = {})
        : m_process(ns, args, m_dir.Path(), m_dir / "out", m_dir / "err", env) {}

    std::optional<int> Wait(int timeoutMs) { return m_process.Wait(timeoutMs); }
    void Signal(int signal) const { m_process.Signal(signal); }
    std::string Out() const { return m_process.Out(); }
    std::string Err() const { return m_process.Err(); }
    const std::string& Dir() const { return m_dir.Path(); }

private:
    testhelp::TempDir m_dir; // outlives the process, which is killed first
    testhelp::ChildProcess m_process;
};

// The number of a box text such as "10.0 Mbps" or "99.5%".
double Number(const QString& text) {
    bool ok = false;
    const double value = text.section(' ', 0, 0).remove('%').toDouble(&ok);
    return ok ? value : -1.0;
}

bool Near(const QString& text, double expected) {
    const double value = Number(text);
    return value > expected * 0.9 && value < expected * 1.1;
}

class EndToEnd : public wt::WindowTest {
protected:
    EndToEnd() : m_net(2) {}

    void OpenOnHost0() {
        TCfgOpt options;
        options.ViewTime = 500;
        options.InfoTime = 100;
        options.SockRecvBuf = 256 * 1024;
        options.SockSendBuf = 256 * 1024;
        netns::HostScope scope(m_net, 0);
        OpenWindow(options);
    }
    std::unique_ptr<Process> Cli(int host, const std::vector<std::string>& args) {
        std::vector<std::string> argv{RAVELOX_CLI};
        argv.insert(argv.end(), args.begin(), args.end());
        return std::make_unique<Process>(m_net.Name(host), argv);
    }

    netns::Topology m_net;
};

TEST_F(EndToEnd, BothDirectionsAtTenMegabitThenLossThenIdle) {
    OpenOnHost0();
    auto responder = Cli(1, {"respond", "--json", "--recv-buf", "256", "--send-buf", "256"});
    ASSERT_TRUE(
        WaitUntil([&] { return responder->Out().find("\"address\"") != std::string::npos; }, 5000))
        << responder->Err();
    TbNBSClient* engine = Engine();
    ASSERT_TRUE(WaitUntil([&] { return !engine->LocalAddress().empty(); }, 3000));
    ASSERT_TRUE(fmRemote->SetHost("198.18.0.2"));
    engine->SetSpeed(10000, false);
    engine->SetSpeed(10000, true);
    fmLocal->ShowSpeed(0);
    fmRemote->ShowSpeed(0);

    QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ShiftModifier);
    QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ControlModifier);
    const auto boxes = [&] {
        return QStringList{
            Text(fmCenter.data(), "stLSAvrgSpd"), Text(fmCenter.data(), "stLRAvrgSpd"),
            Text(fmCenter.data(), "stRSAvrgSpd"), Text(fmCenter.data(), "stRRAvrgSpd")};
    };
    const bool rates = WaitUntil(
        [&] {
            for (const QString& box : boxes())
                if (!Near(box, 10.0))
                    return false;
            return Text(fmCenter.data(), "stLQuality") == "100%" &&
                   Text(fmCenter.data(), "stRQuality") == "100%";
        },
        20000);
    EXPECT_TRUE(rates) << boxes().join(" | ").toStdString() << " | "
                       << Text(fmCenter.data(), "stLQuality").toStdString() << " | "
                       << Text(fmCenter.data(), "stRQuality").toStdString();
    EXPECT_EQ(m_window->StatusPanel(1)->text(), "Quality: 100%");
    EXPECT_TRUE(Text(fmCenter.data(), "stLErrors").isEmpty());
    // Receive-buffer drops of both hosts' own sockets, beside the lost
    // packets: known for both (the peer carries its count), none here.
    EXPECT_EQ(Text(fmLocal.data(), "stDrops"), "Buffer drops: 0");
    EXPECT_TRUE(
        WaitUntil([&] { return Text(fmRemote.data(), "stDrops") == "Buffer drops: 0"; }, 3000))
        << Text(fmRemote.data(), "stDrops").toStdString();

    // Every 50th data datagram from the peer is dropped on this host.
    {
        netns::DropEveryNth drop(m_net, 0, 50, 2222);
        Child<QToolButton>(fmCenter.data(), "sbClearStat")->click();
        const bool lossy = WaitUntil(
            [&] {
                const double q = Number(Text(fmCenter.data(), "stLQuality"));
                // 2 % lost; the averages settle within a few view ticks.
                return q > 90.0 && q < 100.0 && !Text(fmCenter.data(), "stLErrors").isEmpty();
            },
            20000);
        EXPECT_TRUE(lossy) << Text(fmCenter.data(), "stLQuality").toStdString();
        EXPECT_GT(drop.Dropped(), 0U);
    }

    // Stop both: both sides go idle, and their legends lose the rates.
    QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ShiftModifier);
    QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ControlModifier);
    EXPECT_FALSE(engine->IsSending(false));
    EXPECT_FALSE(engine->IsSending(true));
    const bool idle = WaitUntil(
        [&] {
            return fmLocal->Processor().OutputRateText().empty() &&
                   fmRemote->Processor().OutputRateText().empty() &&
                   fmLocal->Processor().InputRateText().empty();
        },
        15000);
    EXPECT_TRUE(idle) << fmLocal->Processor().OutputRateText() << " | "
                      << fmRemote->Processor().OutputRateText();
}

TEST_F(EndToEnd, APeerTestingTheIdleProgramShowsItsHostSpeedAndLength) {
    OpenOnHost0();
    ASSERT_TRUE(WaitUntil([&] { return !Engine()->LocalAddress().empty(); }, 3000));
    auto test = Cli(1, {"test", "198.18.0.1", "--time", "6", "--direction", "local",
                        "--local-speed", "5M", "--local-length", "900"});
    auto* host = Child<QComboBox>(fmRemote.data(), "coAddress");
    const bool shown = WaitUntil(
        [&] {
            return host->currentText() == "198.18.0.2" &&
                   Text(fmRemote.data(), "stSpeed") == "5.00 Mbps" &&
                   Text(fmRemote.data(), "stPacket") == "1024";
        },
        10000);
    EXPECT_TRUE(shown) << host->currentText().toStdString() << " | "
                       << Text(fmRemote.data(), "stSpeed").toStdString() << " | "
                       << Text(fmRemote.data(), "stPacket").toStdString() << "\n"
                       << test->Err();
}

// The delay figures, across the impairment bridge: 10 ms each way, and 0 to
// 4 ms more from this host to the peer.
class EndToEndBridge : public wt::WindowTest {
protected:
    EndToEndBridge()
        : m_net(netns::Bridged{{.delayUs = 10000, .spreadUs = 4000, .seed = 5},
                               {.delayUs = 10000}}) {}

    // The window on host 0 against `ravelox-cli respond` on host 1, both
    // directions sending 2 Mbit/s.
    void SendBothWays(const std::vector<std::string>& respondOptions) {
        TCfgOpt options;
        options.ViewTime = 500;
        options.InfoTime = 250;
        {
            netns::HostScope scope(m_net, 0);
            OpenWindow(options);
        }
        std::vector<std::string> argv{RAVELOX_CLI, "respond", "--json"};
        argv.insert(argv.end(), respondOptions.begin(), respondOptions.end());
        m_responder = std::make_unique<Process>(m_net.Name(1), argv);
        ASSERT_TRUE(WaitUntil(
            [&] { return m_responder->Out().find("\"address\"") != std::string::npos; }, 5000))
            << m_responder->Err();
        TbNBSClient* engine = Engine();
        ASSERT_TRUE(WaitUntil([&] { return !engine->LocalAddress().empty(); }, 3000));
        ASSERT_TRUE(fmRemote->SetHost("198.18.0.2"));
        engine->SetSpeed(2000, false);
        engine->SetSpeed(2000, true);
        QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ShiftModifier);
        QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ControlModifier);
        ASSERT_TRUE(
            WaitUntil([&] { return Near(Text(fmCenter.data(), "stRRAvrgSpd"), 2.0); }, 20000))
            << Text(fmCenter.data(), "stRRAvrgSpd").toStdString();
    }

    netns::Topology m_net;
    std::unique_ptr<Process> m_responder;
};

TEST_F(EndToEndBridge, TheWindowsShowTheRoundTripAndEachDirectionsDelay) {
    SendBothWays({});
    TbNBSClient* engine = Engine();
    ASSERT_TRUE(WaitUntil([&] { return engine->PeerHasExtension(); }, 5000));
    QLabel* rtt = m_window->RttPanel();
    // "RTT: 22 ms" (10 ms each way and the spread's median): two
    // significant digits of a median over a view tick.
    const bool rttShown = WaitUntil(
        [&] {
            const QString text = rtt->text();
            if (!text.startsWith("RTT: ") || !text.endsWith(" ms"))
                return false;
            const double ms = Number(text.mid(5));
            return ms >= 19.0 && ms <= 25.0;
        },
        15000);
    EXPECT_TRUE(rttShown) << rtt->text().toStdString();

    // Let the figures gather over a few seconds, then compare the box of the
    // direction with the spread with what the bridge did.
    Child<QToolButton>(fmCenter.data(), "sbClearStat")->click();
    m_net.Bridge().Reset(netns::Direction::AToB);
    m_net.Bridge().Reset(netns::Direction::BToA);
    ASSERT_TRUE(WaitUntil(
        [&] { return m_net.Bridge().Stats(netns::Direction::AToB).datagrams >= 1500; }, 30000));
    const netns::DelaySummary added =
        netns::AddedDelay(m_net.Bridge().Record(netns::Direction::AToB));
    const double expectedMs = static_cast<double>(added.p99Ns - added.minNs) / 1e6;
    ASSERT_GT(expectedMs, 3.0) << "the spread makes delay variation";
    const QString toRemote = Text(fmCenter.data(), "stRDelay");
    EXPECT_TRUE(toRemote.endsWith(" ms")) << toRemote.toStdString();
    EXPECT_NEAR(Number(toRemote), expectedMs, 1.0) << toRemote.toStdString();
    // The other way has no spread: measured, and less than the way with it
    // (the hosts' scheduling alone).
    const QString toLocal = Text(fmCenter.data(), "stLDelay");
    EXPECT_TRUE(toLocal.endsWith(" ms")) << toLocal.toStdString();
    EXPECT_LT(Number(toLocal), Number(toRemote)) << toLocal.toStdString();
    EXPECT_GE(Number(toLocal), 0.0) << toLocal.toStdString();
    EXPECT_TRUE(Child<QLabel>(fmCenter.data(), "stRDelay")->toolTip().contains("jitter"));

    // The Delay window drew both directions and the round trip, and says
    // nothing about a peer without delay.
    TfmDelay* delay = m_window->DelayWindow();
    ASSERT_NE(delay, nullptr);
    EXPECT_FALSE(delay->Notice()->isVisibleTo(delay));
    // The median of the points: one tick of a busy machine may be late by
    // a few milliseconds, never most of them, and never early.
    const auto median = [&](TfmDelay::tLine line) {
        std::vector<double> ys;
        for (const QPointF& p : delay->Series(line)->points())
            ys.push_back(p.y());
        std::sort(ys.begin(), ys.end());
        return ys.size() < 5 ? -1.0 : ys[ys.size() / 2];
    };
    // The round trip is what the bridge really added both ways (its own
    // late wake-ups included), plus the hosts' scheduling.
    const double bridgeRttMs =
        static_cast<double>(
            added.medianNs +
            netns::AddedDelay(m_net.Bridge().Record(netns::Direction::BToA)).medianNs) /
        1e6;
    const double rttMs = median(TfmDelay::dlRtt);
    EXPECT_GE(rttMs, 19.5);
    EXPECT_NEAR(rttMs, bridgeRttMs, 1.5);
    const double p99Ms = median(TfmDelay::dlToRemoteP99);
    EXPECT_NEAR(p99Ms, expectedMs, 1.5);
    EXPECT_GE(median(TfmDelay::dlToLocalP50), 0.0);
    EXPECT_GE(delay->YMaximum(), p99Ms);
    EXPECT_GE(delay->RttMaximum(), rttMs);
}

TEST_F(EndToEndBridge, APeerWithoutTheExtensionShowsQuestionMarksAndTheWindowSaysWhy) {
    SendBothWays({"--extension", "off"});
    EXPECT_FALSE(Engine()->PeerHasExtension());
    EXPECT_EQ(Text(fmCenter.data(), "stRDelay"), "?");
    EXPECT_EQ(Text(fmCenter.data(), "stLDelay"), "?");
    EXPECT_EQ(m_window->RttPanel()->text(), "RTT: ?");
    TfmDelay* delay = m_window->DelayWindow();
    ASSERT_NE(delay, nullptr);
    EXPECT_TRUE(delay->Notice()->isVisibleTo(delay));
    EXPECT_EQ(delay->Notice()->text(), "the peer does not report delay");
    for (int line = 0; line < TfmDelay::dlCount; ++line)
        EXPECT_EQ(delay->Series(static_cast<TfmDelay::tLine>(line))->count(), 0) << line;
}

// A bare peer on host 1: a UDP socket on the program's port that sends
// hand-made control datagrams to host 0 only when told, and never answers
// on its own (a crashed tester, a pulled cable).
class BarePeer final {
public:
    explicit BarePeer(const netns::Topology& net) : m_net(net) {
        netns::HostScope scope(net, 1);
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in own{};
        own.sin_family = AF_INET;
        own.sin_port = htons(static_cast<std::uint16_t>(CfgOpt.Port));
        own.sin_addr.s_addr = net.AddressNet(1);
        m_bound = m_socket >= 0 &&
                  ::bind(m_socket, reinterpret_cast<const sockaddr*>(&own), sizeof own) == 0;
    }
    ~BarePeer() {
        if (m_socket >= 0)
            ::close(m_socket);
    }
    BarePeer(const BarePeer&) = delete;
    BarePeer& operator=(const BarePeer&) = delete;

    bool Bound() const { return m_bound; }
    // One control datagram, with `flags` as commands (0: just alive).
    bool Send(std::uint16_t flags, std::uint32_t kbps = 0) const {
        TbNHeader h;
        h.Kind = nkControl;
        h.Length = kHeaderSize;
        h.Flags = flags;
        h.RequestedSpeed = kbps;
        h.Instance = 0x4242;
        std::uint8_t d[kHeaderSize];
        EncodeHeader(h, d);
        WriteChecksum(d);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(CfgOpt.Port));
        to.sin_addr.s_addr = m_net.AddressNet(0);
        return ::sendto(m_socket, d, sizeof d, 0, reinterpret_cast<const sockaddr*>(&to),
                        sizeof to) == static_cast<ssize_t>(sizeof d);
    }

private:
    const netns::Topology& m_net;
    int m_socket = -1;
    bool m_bound = false;
};

class PeerSilence : public EndToEnd {
protected:
    void OpenWith(std::int32_t peerSilence) {
        TCfgOpt options;
        options.ViewTime = 200;
        options.PeerSilence = peerSilence;
        netns::HostScope scope(m_net, 0);
        OpenWindow(options);
    }
};

TEST_F(PeerSilence, ACommandedSendingStoppedForSilenceIsToldInTheStatusLine) {
    OpenWith(3); // the lowest at InfoTime 200 ms
    ASSERT_TRUE(WaitUntil([&] { return !Engine()->LocalAddress().empty(); }, 3000));
    BarePeer peer(m_net);
    ASSERT_TRUE(peer.Bound());
    ASSERT_TRUE(peer.Send(nfSendCmd | nfSendOn | nfSpeedCmd, 500));
    ASSERT_TRUE(WaitUntil([&] { return Engine()->IsSending(false); }, 3000));
    EXPECT_TRUE(Engine()->SendingCommanded());
    // The peer says no more: the engine stops after the silence, and the
    // status line says why, with the silence in force.
    ASSERT_TRUE(WaitUntil([&] { return !Engine()->IsSending(false); }, 8000));
    ASSERT_TRUE(WaitUntil(
        [&] { return m_window->StatusText() == "Peer silent for 3 s: sending stopped"; }, 2000))
        << m_window->StatusText().toStdString();
    EXPECT_TRUE(WaitUntil([] { return !fmCenter->SendLocalButton()->isChecked(); }, 2000))
        << "the send button follows";
    // Only a commanded sending is stopped: the Remote panel has nothing to
    // say about a sending that is over.
    EXPECT_FALSE(Text(fmRemote.data(), "stHeader").contains("silent"));
}

TEST_F(PeerSilence, TheOwnSendingGoesOnToASilentPeerAndTheRemoteHeaderSaysSo) {
    OpenWith(3);
    ASSERT_TRUE(WaitUntil([&] { return !Engine()->LocalAddress().empty(); }, 3000));
    BarePeer peer(m_net);
    ASSERT_TRUE(peer.Bound());
    ASSERT_TRUE(fmRemote->SetHost(QString::fromStdString(m_net.Address(1))));
    QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ShiftModifier);
    ASSERT_TRUE(WaitUntil([&] { return Engine()->IsSending(false); }, 3000));
    EXPECT_FALSE(Engine()->SendingCommanded());
    // A live peer answers once per interval: five seconds of that, and the
    // header never calls it silent.
    QTimer answers;
    answers.setInterval(200);
    QObject::connect(&answers, &QTimer::timeout, [&peer] { peer.Send(0); });
    answers.start();
    bool calledSilent = false;
    WaitUntil(
        [&] {
            calledSilent = calledSilent || Text(fmRemote.data(), "stHeader").contains("silent");
            return false;
        },
        5000);
    EXPECT_FALSE(calledSilent);
    EXPECT_EQ(Text(fmRemote.data(), "stHeader"), "Remote");
    // The peer falls silent: the user's sending goes on, the header says so.
    answers.stop();
    ASSERT_TRUE(WaitUntil(
        [&] { return Text(fmRemote.data(), "stHeader").startsWith("Remote: peer silent for "); },
        8000))
        << Text(fmRemote.data(), "stHeader").toStdString();
    EXPECT_TRUE(Engine()->IsSending(false));
    EXPECT_FALSE(Engine()->SendingStoppedChanged.load());
    // The peer is heard again: the header is the plain one again.
    answers.start();
    EXPECT_TRUE(WaitUntil([&] { return Text(fmRemote.data(), "stHeader") == "Remote"; }, 3000))
        << Text(fmRemote.data(), "stHeader").toStdString();
    answers.stop();
    // The user stops: nothing more to say.
    QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ShiftModifier);
    EXPECT_TRUE(WaitUntil([&] { return !Engine()->IsSending(false); }, 3000));
}

class Program : public testing::Test {};

// Whether a UDP socket is bound to the port in this namespace.
bool PortBound(int port) {
    char hex[8];
    std::snprintf(hex, sizeof hex, ":%04X ", port);
    return ReadFile("/proc/net/udp").find(hex) != std::string::npos;
}

TEST_F(Program, StartsClosesOnSigtermAndSavesTheCurrentSection) {
    ASSERT_FALSE(PortBound(2222));
    Process program("", {RAVELOX_BIN}, {{"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_TRUE(WaitUntil([] { return PortBound(2222); }, 10000)) << program.Err();
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(10000), 0) << program.Err();
    const std::string ini = ReadFile(program.Dir() + "/ravelox.INI");
    EXPECT_NE(ini.find("[Current]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("LocalSpeed="), std::string::npos) << ini;
}

} // namespace
