// SPDX-License-Identifier: GPL-3.0-or-later
// Storing and viewing the result log in the running program: the main window
// with its panels and engine on one virtual host, a second copy's engine on
// the other, a settings folder and log of the test's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include <QAction>
#include <QPointer>
#include <QChartView>
#include <QDockWidget>
#include <QColorDialog>
#include <QLineSeries>
#include <QPushButton>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolButton>

#include "tSandboxHome.h"
#include "NetNs.h"
#include "bConfig.h"
#include "cNet0.h"
#include "tModal.h"
#include "uConfig.h"
#include "uLogStore.h"
#include "vDlgColor.h"
#include "vDlgTime.h"
#include "vLookup.h"
#include "uMain.h"
#include "uPanelRules.h"
#include "uSummary.h"
#include "vCenter.h"
#include "vDelay.h"
#include "vLocal.h"
#include "vRemote.h"
#include "zInit.h"
#include "zParams.h"

namespace {

namespace fs = std::filesystem;
using windows_test::WaitFor;
using windows_test::WhileModal;
using namespace std::chrono_literals;

class ProgramWindow : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        testhelp::SandboxHome(m_dir);
        TbParam::SetArguments({});
        Initialize_Brenlib();
        CfgOpt = TCfgOpt{};
        CfgOpt.ViewTime = 250;
        Cfg = TCfg{};
        Cfg.LocalSpeed = 2000;
        NetOutward.LookupText = [](const std::string& section, const std::string& key,
                                   const std::string&) { return section + "/" + key; };
        NetOutward.ShowTextOnAnyThread = true;

        m_net = std::make_unique<netns::Topology>(2);
        {
            // The start hook runs from the event loop, on this thread: the
            // engine's socket is made in host 0.
            netns::HostScope in(*m_net, 0);
            m_main = TzfmForm::Create<TfmMain>();
            m_main->show();
            ASSERT_TRUE(WaitFor([this] { return m_main->IsStarted(); }));
        }
        {
            netns::HostScope in(*m_net, 1);
            m_peer = std::make_unique<TbNBSClient>();
        }
        ASSERT_TRUE(LogStore);
        ASSERT_TRUE(fmCenter && fmLocal && fmRemote);
        ASSERT_TRUE(WaitFor([this] {
            const TbNBSClient* own = NetClient.load();
            return own != nullptr && !own->LocalAddress().empty() &&
                   !m_peer->LocalAddress().empty();
        }));
        ASSERT_TRUE(fmRemote->SetHost(QString::fromStdString(m_net->Address(1))));
    }
    void TearDown() override {
        if (m_main) {
            m_main->close();
            TzfmForm::DestroyForm(m_main);
        }
        m_peer.reset();
        m_net.reset();
        NetOutward = TNetOutward{};
        Finalize_Brenlib();
        ::unsetenv("RAVELOX_HOME");
    }

    std::string LogPath() const { return m_dir.filePath("ravelox.log").toStdString(); }
    QAction* Store() const { return fmCenter->ActStoreLog(); }
    QAction* View() const { return fmCenter->ActViewLog(); }
    void StartSending() {
        fmCenter->SendLocalButton()->click();
        ASSERT_TRUE(NetClient.load()->IsSending(false));
        ASSERT_TRUE(WaitFor([this] { return Store()->isEnabled(); }))
            << "storing is offered while sending";
    }
    // Records of both sides written since the store began.
    bool WaitForRecords(std::uint32_t count) {
        return WaitFor([count] { return LogStore->Log().RecordsWritten() >= count; }, 10s);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<netns::Topology> m_net;
    QPointer<TfmMain> m_main;
    std::unique_ptr<TbNBSClient> m_peer;
};

TEST_F(ProgramWindow, AStoredLiveTestViewsWithItsLiveAverages) {
    EXPECT_FALSE(Store()->isEnabled()) << "nothing to store while nothing is sent";
    StartSending();
    // Past the start-up of the statistics.
    ASSERT_TRUE(WaitFor([] { return fmLocal->ElapsedMs() > 1000; }));
    Store()->trigger();
    ASSERT_TRUE(LogStore->Storing());
    EXPECT_EQ(LogStore->Path(), LogPath());
    EXPECT_FALSE(View()->isEnabled()) << "no viewing while storing";
    ASSERT_TRUE(WaitForRecords(2 * 16));
    const auto live =
        UpdateSummary(fmLocal->Statistics(), fmRemote->Statistics(), fmLocal->ElapsedMs());
    ASSERT_TRUE(live.has_value());
    ASSERT_GT(live->LS, 0.0);
    Store()->trigger();
    ASSERT_FALSE(LogStore->Storing());
    ASSERT_TRUE(WaitFor([this] { return View()->isEnabled(); }));

    View()->trigger();
    ASSERT_TRUE(LogStore->Viewing()) << fmMain->StatusText().toStdString();
    EXPECT_TRUE(View()->isChecked());
    const auto viewed = ViewSummary(LogStore->View(kSideLocal), LogStore->View(kSideRemote));
    ASSERT_TRUE(viewed.has_value());
    EXPECT_NEAR(viewed->LS, live->LS, live->LS * 0.10);
    EXPECT_NEAR(viewed->RR, live->RR, live->RR * 0.10);
    // The Centre panel shows the view's figures, and the panels add no live
    // points meanwhile.
    fmCenter->UpdateSummary();
    EXPECT_EQ(fmMain->StatusPanel(2)->text().toStdString(),
              FormatDuration(LogStore->View(kSideLocal).Span));

    // A restart of the statistics while viewing (the peer may cause one)
    // does not end the view: no points are added meanwhile.
    fmMain->EraseStatistics();
    QSignalSpy ticks(fmMain->ViewTimer(), &QTimer::timeout);
    ASSERT_TRUE(WaitFor([&ticks] { return ticks.count() >= 3; }));
    EXPECT_TRUE(LogStore->Viewing());

    // Sending again leaves view mode: the panels are live again.
    fmCenter->SendLocalButton()->click(); // off
    fmCenter->SendLocalButton()->click(); // on
    EXPECT_FALSE(LogStore->Viewing());
    EXPECT_FALSE(View()->isChecked());
}

// The delay figures go into the file beside the log and are drawn again in
// view mode; the same log without that file views as before, delay unknown.
TEST_F(ProgramWindow, AStoredTestKeepsItsDelayFiguresBesideTheLog) {
    StartSending();
    ASSERT_TRUE(WaitFor([] { return NetClient.load()->PeerHasExtension(); }));
    ASSERT_TRUE(WaitFor([] { return fmLocal->ElapsedMs() > 1000; }));
    Store()->trigger();
    ASSERT_TRUE(LogStore->Storing());
    const std::string delayPath = DelayLogPath(LogPath());
    const auto stored = [&](char side, bool rtt) {
        int n = 0;
        for (const TDelayLogLine& line : ReadDelayLog(LogPath()))
            n +=
                line.Side == side && (rtt ? line.RttP50Us.has_value() : line.DelayP99Us.has_value())
                    ? 1
                    : 0;
        return n;
    };
    // This host's traffic as the peer measured it, and the round trips.
    ASSERT_TRUE(WaitFor(
        [&] { return stored(kSideRemote, false) >= 4 && stored(kSideLocal, true) >= 4; }, 15s))
        << ReadDelayLog(LogPath()).size() << " lines in " << delayPath;
    Store()->trigger();
    ASSERT_FALSE(LogStore->Storing());
    ASSERT_TRUE(WaitFor([this] { return View()->isEnabled(); }));

    View()->trigger();
    ASSERT_TRUE(LogStore->Viewing());
    // View mode at a glance: the status line names the log, the legends
    // carry no frozen live rates, the time axis runs in minutes.
    EXPECT_TRUE(fmMain->StatusText().startsWith("Viewing " + QString::fromStdString(LogPath())))
        << fmMain->StatusText().toStdString();
    EXPECT_EQ(fmLocal->findChild<QLabel*>("SerSendLegend")->text().trimmed(), "Local output");
    EXPECT_EQ(fmRemote->findChild<QLabel*>("SerRecvLegend")->text().trimmed(), "Remote input");
    TfmDelay* delay = fmMain->DelayWindow();
    ASSERT_NE(delay, nullptr);
    EXPECT_TRUE(delay->ShowingLog());
    EXPECT_FALSE(delay->Notice()->isVisibleTo(delay));
    EXPECT_GE(delay->Series(TfmDelay::dlToRemoteP99)->count(), 3);
    EXPECT_GE(delay->Series(TfmDelay::dlRtt)->count(), 3);
    for (const QPointF& p : delay->Series(TfmDelay::dlRtt)->points()) {
        EXPECT_GE(p.x(), 0.0);
        EXPECT_LE(p.x(), ViewAxisMinutes(LogStore->View(kSideLocal)) + 1e-9);
    }
    fmCenter->UpdateSummary();
    const auto box = [] { return fmCenter->findChild<QLabel*>("stRDelay")->text(); };
    EXPECT_TRUE(box().endsWith(" ms")) << box().toStdString();
    View()->trigger();
    ASSERT_FALSE(LogStore->Viewing());
    EXPECT_FALSE(delay->ShowingLog());

    // A log written before the delay figures: the same log without the file.
    ASSERT_TRUE(fs::remove(delayPath));
    View()->trigger();
    ASSERT_TRUE(LogStore->Viewing());
    EXPECT_TRUE(delay->Notice()->isVisibleTo(delay));
    EXPECT_EQ(delay->Series(TfmDelay::dlRtt)->count(), 0);
    fmCenter->UpdateSummary();
    EXPECT_EQ(box(), "?");
    EXPECT_TRUE(LogStore->View(kSideLocal).HasData) << "the log itself views as before";
}

// View ▸ Delay window (Ctrl+D) shows the dock below the panels, the item
// follows the dock's own close button, and the window remembers it.
TEST_F(ProgramWindow, TheDelayWindowOpensWithItsShortcutAndIsRemembered) {
    QAction* item = fmMain->findChild<QAction*>("miDelay");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    EXPECT_TRUE(fmMain->DelayDock()->isHidden()) << "hidden until asked for";
    const int before = fmMain->height();
    QTest::keyClick(fmMain.data(), Qt::Key_D, Qt::ControlModifier);
    ASSERT_FALSE(fmMain->DelayDock()->isHidden());
    EXPECT_TRUE(item->isChecked());
    EXPECT_GT(fmMain->height(), before) << "the panels keep their room";
    EXPECT_EQ(fmMain->DelayDock()->widget(), fmMain->DelayWindow());
    EXPECT_EQ(fmMain->dockWidgetArea(fmMain->DelayDock()), Qt::BottomDockWidgetArea);
    fmMain->DelayDock()->close();
    EXPECT_FALSE(item->isChecked());
    item->trigger();
    ASSERT_FALSE(fmMain->DelayDock()->isHidden());

    m_main->close();
    TzfmForm::DestroyForm(m_main);
    ASSERT_NE(IniMain, nullptr);
    EXPECT_EQ(IniMain->ReadInteger("DelayWindow", "Visible", 0), 1);
    EXPECT_EQ(IniMain->ReadInteger("DelayWindow", "Floating", 1), 0);
}

// Every path that changes timing reaches the panels' report processing:
// an edit at once (a longer information interval must not turn the graphs
// into combs), Cancel back, OK for good.
TEST_F(ProgramWindow, TimingEditsReachThePanelsAndCancelTakesThemBack) {
    const auto edit = [](int infoTime, int viewTime, bool ok) {
        std::uint32_t gapWhileOpen = 0;
        std::uint32_t viewWhileOpen = 0;
        WhileModal([&] {
            TfmDlgTime* page = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* shown = qobject_cast<TfmDlgTime*>(w); shown && shown->isVisible())
                    page = shown;
            if (page == nullptr || !page->IsStarted())
                return false;
            page->esInfoTime()->setValue(infoTime);
            page->esViewTime()->setValue(viewTime);
            gapWhileOpen = fmRemote->Processor().GapTime();
            viewWhileOpen = fmLocal->Processor().ViewTime();
            (ok ? page->bbOk() : page->bbCancel())->click();
            return true;
        });
        TzfmDlg::ShowConfigDialog(TfmDlgTime::staticMetaObject);
        return std::pair{gapWhileOpen, viewWhileOpen};
    };
    const std::uint32_t gapBefore = fmLocal->Processor().GapTime();
    const std::uint32_t viewBefore = fmLocal->Processor().ViewTime();
    const auto [gap, view] = edit(6000, 700, false);
    EXPECT_EQ(gap, GapThreshold(700, 6000)) << "edited, the Remote panel's processing follows";
    EXPECT_EQ(view, 700u);
    EXPECT_EQ(fmLocal->Processor().GapTime(), gapBefore) << "Cancel takes it back";
    EXPECT_EQ(fmRemote->Processor().ViewTime(), viewBefore);
    EXPECT_EQ(fmMain->ViewTimer()->interval(), static_cast<int>(viewBefore));

    edit(3000, 400, true);
    EXPECT_EQ(fmRemote->Processor().GapTime(), GapThreshold(400, 3000));
    EXPECT_EQ(fmLocal->Processor().ViewTime(), 400u);
    EXPECT_EQ(fmMain->ViewTimer()->interval(), 400);
}

// Labels fit the longest text they can show: the highest speed, a 16-bit
// count of buffer drops.
TEST_F(ProgramWindow, TheSpeedAndDropLabelsHoldTheirWidestTexts) {
    NetClient.load()->SetSpeed(kMaxSpeed, false);
    fmLocal->ShowSpeed(0);
    // The main window at its narrowest.
    fmMain->resize(fmMain->minimumSizeHint().width(), fmMain->height());
    ASSERT_TRUE(WaitFor([] { return fmMain->width() == fmMain->minimumSizeHint().width(); }));
    QTest::qWait(50);
    for (TzfmCliSrv* panel :
         {static_cast<TzfmCliSrv*>(fmLocal.data()), static_cast<TzfmCliSrv*>(fmRemote.data())}) {
        auto* speed = panel->findChild<QLabel*>("stSpeed");
        auto* drops = panel->findChild<QLabel*>("stDrops");
        if (panel == fmLocal.data()) {
            EXPECT_EQ(speed->text(), "10000 Mbps");
        }
        const QString widest = AppText(kLineBufferDrops, 65535);
        EXPECT_GE(speed->contentsRect().width(),
                  speed->fontMetrics().horizontalAdvance("10000 Mbps"));
        EXPECT_GE(drops->contentsRect().width(), drops->fontMetrics().horizontalAdvance(widest));
        EXPECT_LE(drops->geometry().right(), drops->parentWidget()->width())
            << "inside its panel at the panel's narrowest";
    }
}

TEST_F(ProgramWindow, ASecondStoreKeepsTheFirstLog) {
    StartSending();
    Store()->trigger();
    ASSERT_TRUE(WaitForRecords(4));
    Store()->trigger();
    const auto firstSize = fs::file_size(LogPath());
    ASSERT_GE(firstSize, 4 * kLogRecordSize);

    Store()->trigger();
    ASSERT_TRUE(LogStore->Storing());
    EXPECT_NE(fmMain->StatusText().indexOf("kept as"), -1) << fmMain->StatusText().toStdString();
    Store()->trigger();
    int kept = 0;
    for (const auto& entry : fs::directory_iterator(m_dir.path().toStdString())) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("ravelox-") && name.ends_with(".log")) {
            ++kept;
            EXPECT_EQ(entry.file_size(), firstSize);
        }
    }
    EXPECT_EQ(kept, 1);
}

TEST_F(ProgramWindow, AStoreEndsWithAMessageWhenThePeerRestartsTheStatistics) {
    StartSending();
    Store()->trigger();
    ASSERT_TRUE(WaitForRecords(4));
    // The peer commands this side's speed: this side's settings change while
    // it sends, its statistics restart, and storing ends at the next sample.
    {
        netns::HostScope in(*m_net, 1);
        m_peer->SetRemoteHost(NetClient.load()->LocalAddress());
        m_peer->SetSpeed(3000, true);
    }
    ASSERT_TRUE(WaitFor([] { return !LogStore->Storing(); }, 10s));
    EXPECT_NE(fmMain->StatusText().indexOf("statistics restarted"), -1)
        << fmMain->StatusText().toStdString();
    ASSERT_TRUE(WaitFor([this] { return !Store()->isChecked(); })) << "the store button pops up";
    EXPECT_EQ(NetClient.load()->GetSpeed(false), 3000);
}

// The main window's Lookup Server: a double-click on the answering copy
// makes it the Remote panel's peer; lookup is not offered while sending.
TEST_F(ProgramWindow, LookupFromTheMainWindowSetsTheRemoteHost) {
    TbNBSClient* own = NetClient.load();
    ASSERT_TRUE(fmRemote->SetHost(QStringLiteral("198.18.0.77")));
    windows_test::WhileModal([] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<TfmLookup*>(w);
            if (dialog == nullptr || !dialog->isVisible() || !dialog->OkButton()->isEnabled())
                continue;
            QListWidget* list = dialog->ListBox();
            const QPoint at = list->visualItemRect(list->item(0)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            return true;
        }
        return false;
    });
    m_main->Action("ActLookup")->trigger();
    EXPECT_EQ(own->GetRemoteHost(), m_net->Address(1));
    EXPECT_FALSE(own->LookupActive());

    StartSending();
    ASSERT_TRUE(WaitFor([this] { return !m_main->Action("ActLookup")->isEnabled(); }))
        << "no lookup while this side sends";
}

// The Colors page through the main window's menu: the panels' series take
// a chosen colour at once and the old one again on Cancel.
TEST_F(ProgramWindow, ColorsCancelRestoresTheSeriesColours) {
    auto seriesColor = [](TzfmCliSrv* panel, const char* chart) {
        auto* view = panel->findChild<QChartView*>(chart);
        EXPECT_NE(view, nullptr) << chart;
        auto* series = qobject_cast<QLineSeries*>(view->chart()->series().value(0));
        EXPECT_NE(series, nullptr) << chart;
        return series->pen().color();
    };
    const QColor before = seriesColor(fmLocal, "ChartSend");
    ASSERT_EQ(before, ColorFromStored(Colors[coSend]));
    QColor during;
    windows_test::WhileModal([&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<TfmDlgColors*>(w);
            if (dialog == nullptr || !dialog->isVisible() || !dialog->IsStarted())
                continue;
            dialog->lbColors()->setCurrentRow(coSend);
            windows_test::WhileModal([dialog] {
                if (!dialog->ColorDialog()->isVisible())
                    return false;
                dialog->ColorDialog()->setCurrentColor(QColor(200, 100, 50));
                dialog->ColorDialog()->accept();
                return true;
            });
            dialog->buChange()->click();
            during = seriesColor(fmLocal, "ChartSend");
            dialog->bbCancel()->click();
            return true;
        }
        return false;
    });
    m_main->Action("miColors")->trigger();
    EXPECT_EQ(during, QColor(200, 100, 50)) << "the graph takes the colour at once";
    EXPECT_EQ(seriesColor(fmLocal, "ChartSend"), before);
    EXPECT_EQ(Colors[coSend], kDefaultColors[coSend]);
}

TEST_F(ProgramWindow, ViewingAMissingLogLeavesViewModeOff) {
    ASSERT_FALSE(fs::exists(LogPath()));
    View()->trigger();
    EXPECT_FALSE(LogStore->Viewing());
    EXPECT_FALSE(View()->isChecked());
    EXPECT_NE(fmMain->StatusText().indexOf("ravelox.log"), -1)
        << fmMain->StatusText().toStdString();
}

} // namespace
