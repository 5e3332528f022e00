// SPDX-License-Identifier: GPL-3.0-or-later
// The main window offscreen, its engine in the test's private network
// namespace (loopback only): the hidden command shortcuts, the status bar,
// the address boxes, and a box raised on the engine's send thread.
#include <QMenu>
#include <QMenuBar>
#include <map>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>

#include "tWindowFixture.h"
#include "uHostList.h"
#include "uPanelRules.h"
#include "zIniReg.h"

namespace {

using wt::Child;
using wt::WaitUntil;

class MainWindow : public wt::WindowTest {};

struct TShortcutCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifier modifier;
    // What the engine holds after one press, from the defaults (both sides
    // idle at 1000 kbit/s).
    bool localSending;
    bool remoteSending;
    std::int32_t localSpeed;
    std::int32_t remoteSpeed;
};
void PrintTo(const TShortcutCase& c, std::ostream* os) {
    *os << c.name;
}

class Shortcut : public MainWindow, public testing::WithParamInterface<TShortcutCase> {};

TEST_P(Shortcut, FiresWithItsMenuHiddenAndReachesTheEngine) {
    const TShortcutCase& c = GetParam();
    OpenWindow();
    auto* commands = Child<QMenu>(m_window.data(), "mmCommands");
    ASSERT_NE(commands, nullptr);
    EXPECT_FALSE(commands->menuAction()->isVisible());
    QTest::keyClick(m_window.data(), c.key, c.modifier);
    TbNBSClient* engine = Engine();
    EXPECT_EQ(engine->IsSending(false), c.localSending);
    EXPECT_EQ(engine->IsSending(true), c.remoteSending);
    EXPECT_EQ(engine->GetSpeed(false), c.localSpeed);
    EXPECT_EQ(engine->GetSpeed(true), c.remoteSpeed);
    EXPECT_EQ(fmCenter->SendLocalButton()->isChecked(), c.localSending);
    EXPECT_EQ(fmCenter->SendRemoteButton()->isChecked(), c.remoteSending);
    // Pressed again: the send commands toggle back.
    if (c.localSending || c.remoteSending) {
        QTest::keyClick(m_window.data(), c.key, c.modifier);
        EXPECT_FALSE(engine->IsSending(false));
        EXPECT_FALSE(engine->IsSending(true));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Shortcut,
    testing::Values(
        TShortcutCase{"SendLocalShiftF9", Qt::Key_F9, Qt::ShiftModifier, true, false, 1000, 1000},
        TShortcutCase{"SendRemoteCtrlF9", Qt::Key_F9, Qt::ControlModifier, false, true, 1000, 1000},
        TShortcutCase{"LocalSpeedDownShiftF11", Qt::Key_F11, Qt::ShiftModifier, false, false, 562,
                      1000},
        TShortcutCase{"LocalSpeedUpShiftF12", Qt::Key_F12, Qt::ShiftModifier, false, false, 1778,
                      1000},
        TShortcutCase{"RemoteSpeedDownCtrlF11", Qt::Key_F11, Qt::ControlModifier, false, false,
                      1000, 562},
        TShortcutCase{"RemoteSpeedUpCtrlF12", Qt::Key_F12, Qt::ControlModifier, false, false, 1000,
                      1778}),
    [](const testing::TestParamInfo<TShortcutCase>& info) { return info.param.name; });

TEST_F(MainWindow, RemoteSpeedUpAtTheTopOfTheBarKeepsAPeersTenGigabit) {
    OpenWindow();
    TbNBSClient* engine = Engine();
    engine->SetSpeed(10'000'000, true);
    fmRemote->ShowSpeed(0);
    EXPECT_EQ(Child<QSlider>(fmRemote.data(), "TrackSpeed")->value(), kSpeedPositions);
    QTest::keyClick(m_window.data(), Qt::Key_F12, Qt::ControlModifier);
    EXPECT_EQ(engine->GetSpeed(true), 10'000'000);
    EXPECT_EQ(Child<QLabel>(fmRemote.data(), "stSpeed")->text(), "10000 Mbps");
    // A stored speed of 0 never reaches log10: shown and applied as 1 kbit/s.
    engine->SetSpeed(0, false);
    fmLocal->ShowSpeed(0);
    EXPECT_EQ(Child<QSlider>(fmLocal.data(), "TrackSpeed")->value(), 0);
    EXPECT_FALSE(Child<QLabel>(fmLocal.data(), "stSpeed")->text().isEmpty());
}

// At the bottom of the bar LocalSpeed- cannot change the speed: a running
// test keeps its statistics.
TEST_F(MainWindow, LocalSpeedDownAtTheBottomOfTheBarKeepsTheStatistics) {
    OpenWindow();
    TbNBSClient* engine = Engine();
    engine->SetSpeed(100, false);
    fmLocal->ShowSpeed(0);
    ASSERT_EQ(Child<QSlider>(fmLocal.data(), "TrackSpeed")->value(), 0);
    fmCenter->SendLocalButton()->click();
    ASSERT_TRUE(engine->IsSending(false));
    // A restart sets the elapsed time back to one view interval (1000 ms).
    ASSERT_TRUE(WaitUntil([] { return fmLocal->ElapsedMs() >= 1500; }, 10000));
    const std::uint32_t before = fmLocal->ElapsedMs();
    QTest::keyClick(m_window.data(), Qt::Key_F11, Qt::ShiftModifier);
    EXPECT_EQ(engine->GetSpeed(false), 100);
    EXPECT_GE(fmLocal->ElapsedMs(), before) << "the statistics restarted";
    fmCenter->SendLocalButton()->click();
}

TEST_F(MainWindow, StatusBarShowsBoldFiguresADurationAndMessages) {
    OpenWindow();
    QLabel* bandwidth = m_window->StatusPanel(0);
    QLabel* quality = m_window->StatusPanel(1);
    EXPECT_TRUE(bandwidth->font().bold());
    EXPECT_TRUE(quality->font().bold());
    EXPECT_EQ(bandwidth->text(), "BandWidth: ");
    EXPECT_EQ(quality->text(), "Quality: ");
    // Both directions at 10 Gbit/s pass 32 bits.
    m_window->ShowBandwidth(SpeedResToStr64(2'500'000'000LL));
    EXPECT_EQ(bandwidth->text(), "BandWidth: 20000 Mbps");
    m_window->ShowQuality("99.9%");
    EXPECT_EQ(quality->text(), "Quality: 99.9%");
    // The elapsed panel is a duration that the view timer keeps current.
    ASSERT_TRUE(WaitUntil([&] { return m_window->StatusPanel(2)->text() != "0:00:00"; }, 4000));
    EXPECT_TRUE(m_window->StatusPanel(2)->text().startsWith("0:00:0"));
    // Messages go through the framework's status line into the last panel.
    m_window->ShowStatus("a message");
    EXPECT_EQ(m_window->StatusPanel(3)->text(), "a message");
    EXPECT_EQ(m_window->StatusText(), "a message");
    EXPECT_FALSE(m_window->StatusPanel(0)->toolTip().isEmpty());
    // The quality figure is the received bytes over the sent bytes.
    EXPECT_EQ(m_window->StatusPanel(1)->toolTip(),
              "Channel quality: the received bytes over the sent bytes, both directions together");
}

// The program's menus as the user sees them, developer items included: no
// placeholder shown as an item, no two items of one menu on one Alt letter.
TEST_F(MainWindow, MenusShowNoPlaceholderAndNoSharedMnemonic) {
    const std::uint8_t level = DevLevel;
    DevLevel = 3;
    OpenWindow();
    DevLevel = level;
    for (QAction* top : m_window->menuBar()->actions()) {
        QMenu* menu = top->menu();
        if (menu == nullptr || !top->isVisible())
            continue;
        std::map<QChar, QString> letters;
        for (QAction* item : menu->actions()) {
            if (!item->isVisible() || item->isSeparator())
                continue;
            const QString text = item->text();
            EXPECT_NE(text, "-") << top->text().toStdString() << ": a placeholder shown as text";
            const qsizetype amp = text.indexOf('&');
            if (amp < 0 || amp + 1 >= text.size())
                continue;
            const auto [at, added] = letters.emplace(text.at(amp + 1).toLower(), text);
            // The design gives these two the same letter; Alt+L goes from one
            // to the other.
            const QStringList designed{"&Lock application", "&Lookup Server"};
            EXPECT_TRUE(added || (designed.contains(text) && designed.contains(at->second)))
                << top->text().toStdString() << ": \"" << text.toStdString() << "\" and \""
                << at->second.toStdString() << "\" share one Alt letter";
        }
    }
}

TEST_F(MainWindow, HostBoxRefusesTextThatIsNoAddressAndKeepsTheOldHost) {
    OpenWindow();
    TbNBSClient* engine = Engine();
    auto* box = Child<QComboBox>(fmRemote.data(), "coAddress");
    ASSERT_TRUE(fmRemote->SetHost("127.0.0.7"));
    EXPECT_EQ(engine->GetRemoteHost(), "127.0.0.7");
    const std::string before = engine->GetRemoteHost();
    for (const char* typo : {"127.0.0.", "fileserver", "0.0.0.0", "127.0.0.256"}) {
        box->setEditText(QString::fromLatin1(typo));
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_EQ(engine->GetRemoteHost(), before) << typo;
        EXPECT_EQ(box->currentText(), "127.0.0.7") << typo;
        EXPECT_TRUE(m_window->StatusText().contains(QLatin1String(typo)))
            << typo << ": " << m_window->StatusText().toStdString();
    }
    const std::vector<std::string> list = fmRemote->HostList();
    EXPECT_EQ(list.front(), "127.0.0.7");
    EXPECT_EQ(list.back(), "Broadcast");
    EXPECT_EQ(std::count(list.begin(), list.end(), "255.255.255.255"), 0);
    // "Broadcast" in any case is the explicit broadcast choice.
    ASSERT_TRUE(fmRemote->SetHost("bRoadcast"));
    EXPECT_EQ(engine->GetRemoteHost(), "255.255.255.255");
    EXPECT_EQ(box->currentText(), "Broadcast");

    // The Local receive address: a typo would silence reception.
    auto* recv = Child<QComboBox>(fmLocal.data(), "coRecvAddr");
    recv->setEditText("127.0.0.");
    recv->setFocus();
    QTest::keyClick(recv, Qt::Key_Return);
    EXPECT_EQ(engine->AcceptAddress(), 0U);
    EXPECT_EQ(recv->currentText(), "Any");
    recv->setEditText("127.0.0.9");
    QTest::keyClick(recv, Qt::Key_Return);
    EXPECT_EQ(engine->AcceptAddress(), *ParseIPv4("127.0.0.9"));
}

// Counts the error boxes on screen from inside their event loop, runs the
// 250 ms poll once more under the box each time the view timer fires (Qt
// does not re-enter a timer's own slot, but any other path into the poll
// must not stack a second box), and closes the box once `ticks` view ticks
// have passed under it (or closes the main window instead, with
// `closeWindow`).
struct TBoxWatch {
    int MaxBoxes = 0;
    int TicksUnderBox = 0;
    bool Done = false;
};

void WatchBoxes(TfmMain* window, TBoxWatch& watch, int ticks, bool closeWindow, QObject* context) {
    auto* probe = new QTimer(context);
    probe->setInterval(50);
    QObject::connect(window->ViewTimer(), &QTimer::timeout, context, [&watch, window] {
        if (watch.MaxBoxes > 0 && !watch.Done) {
            ++watch.TicksUnderBox;
            window->TimerUpdateTimer();
        }
    });
    QObject::connect(probe, &QTimer::timeout, context, [&watch, window, ticks, closeWindow, probe] {
        int boxes = 0;
        QMessageBox* shown = nullptr;
        for (QMessageBox* box : window->findChildren<QMessageBox*>())
            if (box->isVisible()) {
                ++boxes;
                shown = box;
            }
        watch.MaxBoxes = std::max(watch.MaxBoxes, boxes);
        if (shown != nullptr && watch.TicksUnderBox >= ticks) {
            watch.Done = true;
            probe->stop();
            if (closeWindow)
                window->close();
            else
                shown->accept();
        }
    });
    probe->start();
}

TCfgOpt FastView() {
    TCfgOpt o;
    o.ViewTime = 100;
    return o;
}

TEST_F(MainWindow, ASendErrorOnTheSendThreadShowsExactlyOneBoxOnTheUserInterfaceThread) {
    OpenWindow(FastView());
    ASSERT_TRUE(WaitUntil([&] { return !Engine()->LocalAddress().empty(); }, 3000));
    // No route to this address in the test's namespace: sendto fails on the
    // send thread, which raises the "Send" error box and waits for it.
    ASSERT_TRUE(fmRemote->SetHost("192.0.2.1"));
    QObject context;
    TBoxWatch watch;
    WatchBoxes(m_window.data(), watch, 5, false, &context);
    QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ShiftModifier);
    ASSERT_TRUE(WaitUntil([&] { return watch.Done; }, 10000));
    EXPECT_EQ(watch.MaxBoxes, 1) << "the poll ran again under the box: still one box";
    EXPECT_GE(watch.TicksUnderBox, 5);
    EXPECT_FALSE(m_window->BoxShowing());
}

TEST_F(MainWindow, ClosingWithTheBoxOpenDoesNotHang) {
    OpenWindow(FastView());
    ASSERT_TRUE(WaitUntil([&] { return !Engine()->LocalAddress().empty(); }, 3000));
    ASSERT_TRUE(fmRemote->SetHost("192.0.2.1"));
    QObject context;
    TBoxWatch watch;
    WatchBoxes(m_window.data(), watch, 1, true, &context);
    QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ShiftModifier);
    ASSERT_TRUE(WaitUntil([&] { return watch.Done && fmLocal.isNull(); }, 10000));
    EXPECT_EQ(NetClient.load(), nullptr);
}

TEST_F(MainWindow, ClosingWithABoxStillPendingDoesNotHang) {
    OpenWindow();
    ASSERT_TRUE(WaitUntil([&] { return !Engine()->LocalAddress().empty(); }, 3000));
    m_window->UpdateTimer()->stop(); // nobody shows the box: it stays pending
    ASSERT_TRUE(fmRemote->SetHost("192.0.2.1"));
    QTest::keyClick(m_window.data(), Qt::Key_F9, Qt::ShiftModifier);
    ASSERT_TRUE(WaitUntil([&] { return Engine()->CurrentReport().Status != 0; }, 3000));
    const auto start = std::chrono::steady_clock::now();
    m_window->close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(NetClient.load(), nullptr);
}

} // namespace
