// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program end to end, offscreen, in the harness's namespaces: the
// main window on host 0 (198.18.0.1) against the real `ravelox-cli` on host 1
// (198.18.0.2); and the real `ravelox` binary started and closed.
#include <QSlider>
#include <QTimer>
#include <optional>
#include <thread>
#include <vector>

#include <csignal>

#include "NetNs.h"
#include "tChildProcess.h"
#include "tWindowFixture.h"

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
