// SPDX-License-Identifier: GPL-3.0-or-later
#include "uMain.h"

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "cNet0.h"
#include "uAppStr.h"
#include "uConfig.h"
#include "uDelayModel.h"
#include "uLogStore.h"
#include "uMainDialogs.h"
#include "uPanelRules.h"
#include "uReportModel.h"
#include "uSpeedStr.h"
#include "uSummary.h"
#include "ui_uMain.h"
#include "zMsgStr.h"
#include "zStatus.h"
#include "vCenter.h"
#include "vDelay.h"
#include "vLocal.h"
#include "vRemote.h"

QPointer<TfmMain> fmMain;

namespace {

constexpr int kUpdateInterval = 250;

// Hints of the status panels; the message strings' section "HintStat"
// replaces them where it has the lines.
const char* const kStatusHints[4] = {
    QT_TRANSLATE_NOOP("TfmMain", "Bandwidth: the received rates of both directions together"),
    QT_TRANSLATE_NOOP("TfmMain",
                      "Quality: the share of the sent bytes that arrived, both directions"),
    QT_TRANSLATE_NOOP("TfmMain", "Elapsed time of the current statistics"),
    QT_TRANSLATE_NOOP("TfmMain", "Status messages")};

} // namespace

TfmMain::TfmMain(QWidget* owner) : TzfmMain(owner), ui(std::make_unique<Ui::TfmMain>()) {
    // Only the central widget and the program's own actions come from this
    // form; menus, bars and the status bar come from the main-window base.
    ui->setupUi(this);
    setObjectName(QStringLiteral("TfmMain"));
    fmMain = this;
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer"));
    m_timerUpdate = new QTimer(this);
    m_timerUpdate->setObjectName(QStringLiteral("TimerUpdate"));
    m_timerUpdate->setInterval(kUpdateInterval);
    connect(m_timer, &QTimer::timeout, this, &TfmMain::TimerTimer);
    connect(m_timerUpdate, &QTimer::timeout, this, &TfmMain::TimerUpdateTimer);
    createMenus();
    createActions();
    createStatusBar();
    Str_Mbps = ui->stMbps->text().toStdString();
    m_tickLog = qEnvironmentVariableIsSet("RAVELOX_TICK_LOG");
}

TfmMain::~TfmMain() {
    ShutDown();
}

QAction* TfmMain::Action(const char* name) const {
    return findChild<QAction*>(QLatin1String(name));
}

QLabel* TfmMain::StatusPanel(int index) const {
    return m_panels.at(static_cast<std::size_t>(index));
}

void TfmMain::createMenus() {
    // File: the program's items first, group 111 in the design.
    QMenu* file = mmFile();
    QAction* first = file->actions().isEmpty() ? nullptr : file->actions().constFirst();
    auto* n2 = new QAction(this);
    n2->setObjectName(QStringLiteral("N2"));
    n2->setSeparator(true);
    file->insertActions(first, {ui->ActLookup, ui->miLock, n2});
    ui->ActLookup->setObjectName(QStringLiteral("ActLookup"));
    // Options: the settings pages, then the framework's language items.
    QMenu* options = mmOptions();
    QAction* language = miLanguage()->menuAction();
    auto* n3 = new QAction(this);
    n3->setObjectName(QStringLiteral("N3"));
    n3->setSeparator(true);
    options->insertActions(language, {ui->miCfgTiming, ui->miColors, ui->miCfgNetwork, n3});
    // Help: system information; the developer's Debug submenu: Var watch.
    mmHelp()->insertAction(
        mmHelp()->actions().isEmpty() ? nullptr : mmHelp()->actions().constFirst(), ui->miSystem);
    miDebug()->addAction(ui->miVarWatch);
    // View: the Delay window after the bars.
    mmView()->addAction(ui->miDelay);
    // The Commands menu exists only for its shortcuts: hidden.
    m_mmCommands = new QMenu(tr("Commands"), this);
    m_mmCommands->setObjectName(QStringLiteral("mmCommands"));
    m_mmCommands->addActions({ui->SendLocal1, ui->SendRemote1, ui->LocalSpeedM, ui->LocalSpeedP,
                              ui->RemoteSpeedM, ui->RemoteSpeedP});
    MainMenu()->insertMenu(mmOptions()->menuAction(), m_mmCommands);
    // Not used by this program: Edit, the speed bar and the control bar.
    mmEdit()->menuAction()->setVisible(false);
    ActSpeedBar()->setVisible(false);
    ToolBar()->setVisible(false);
    ToolBar()->setEnabled(false);
}

void TfmMain::createActions() {
    // The Commands menu is hidden; its actions belong to the window as well,
    // so their shortcuts fire although no visible menu holds them.
    m_mmCommands->menuAction()->setVisible(false);
    for (QAction* action : {ui->SendLocal1, ui->SendRemote1, ui->LocalSpeedM, ui->LocalSpeedP,
                            ui->RemoteSpeedM, ui->RemoteSpeedP}) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    connect(ui->SendLocal1, &QAction::triggered, this, &TfmMain::SendLocal);
    connect(ui->SendRemote1, &QAction::triggered, this, &TfmMain::SendRemote);
    connect(ui->LocalSpeedM, &QAction::triggered, this, [this] {
        if (m_local)
            m_local->StepSpeed(-1);
    });
    connect(ui->LocalSpeedP, &QAction::triggered, this, [this] {
        if (m_local)
            m_local->StepSpeed(+1);
    });
    connect(ui->RemoteSpeedM, &QAction::triggered, this, [this] {
        if (m_remote)
            m_remote->StepSpeed(-1);
    });
    connect(ui->RemoteSpeedP, &QAction::triggered, this, [this] {
        if (m_remote)
            m_remote->StepSpeed(+1);
    });
}

void TfmMain::createStatusBar() {
    // Bandwidth, quality and elapsed time go before the framework's message
    // panel "StatMsg", which the status line writes.
    QStatusBar* bar = StatusBar();
    const char* names[3] = {"StatBandwidth", "StatQuality", "StatElapsed"};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(bar);
        label->setObjectName(QLatin1String(names[i]));
        label->setTextFormat(Qt::PlainText);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        if (i < 2) {
            QFont font = label->font();
            font.setBold(true);
            label->setFont(font);
        }
        m_panels[static_cast<std::size_t>(i)] = label;
        bar->insertPermanentWidget(i, label);
    }
    m_panels[3] = StatusBar()->Panels().empty() ? nullptr : StatusBar()->Panels().front();
    // The round trip, between the quality and the elapsed time.
    m_rttPanel = new QLabel(bar);
    m_rttPanel->setObjectName(QStringLiteral("StatRtt"));
    m_rttPanel->setTextFormat(Qt::PlainText);
    m_rttPanel->setFrameShape(QFrame::StyledPanel);
    m_rttPanel->setFrameShadow(QFrame::Sunken);
    bar->insertPermanentWidget(2, m_rttPanel);
    m_rttPanel->setMinimumWidth(QFontMetrics(m_rttPanel->font())
                                    .horizontalAdvance(AppText(kLineRtt, std::string("1200 ms"))) +
                                12);
    ShowStatusHints();
    // Widths fixed once, for the largest expected texts.
    const QFontMetrics bold(m_panels[0]->font());
    m_panels[0]->setMinimumWidth(bold.horizontalAdvance(ui->stBandWidth->text() +
                                                        QStringLiteral(": 20000 ") +
                                                        ui->stMbps->text()) +
                                 12);
    m_panels[1]->setMinimumWidth(
        bold.horizontalAdvance(ui->stQuality->text() + QStringLiteral(": 99.9%")) + 12);
    m_panels[2]->setMinimumWidth(
        QFontMetrics(m_panels[2]->font()).horizontalAdvance(QStringLiteral("000:00:00")) + 12);
    ShowBandwidth({});
    ShowQuality({});
    ShowElapsed(QStringLiteral("0:00:00"));
    ShowRtt(std::nullopt, false);
}

void TfmMain::ShowStatusHints() {
    // Hint of panel i: line -(i + 1) of the message section "HintStat".
    for (int i = 0; i < 4; ++i)
        if (m_panels[static_cast<std::size_t>(i)] != nullptr)
            m_panels[static_cast<std::size_t>(i)]->setToolTip(
                MsgApp != nullptr ? QString::fromStdString(MsgApp->GetLine("HintStat", -(i + 1)))
                                  : tr(kStatusHints[i]));
    if (m_rttPanel != nullptr)
        m_rttPanel->setToolTip(AppText(kLineRttHint));
}

void TfmMain::createPanels() {
    // Local first: it creates the engine that the others use. Each panel is
    // a form of its own, docked into its place as a plain widget, and
    // connected before it is shown.
    DockFrameClient(m_local, ui->paLocal);
    DockFrameClient(m_remote, ui->paRemote);
    DockFrameClient(m_center, ui->paCenter);
    connectPanel(m_local);
    connectPanel(m_remote);
    connectCenter();
    connect(m_local, &TfmLocal::EngineSettingsChanged, this, [this](bool sending) {
        // The peer changed this copy's settings: the send button and the
        // destination follow, and the statistics restart.
        if (m_center)
            m_center->SetSendLocal(sending);
        if (m_remote)
            m_remote->ShowDestination(m_center && m_center->SendRemoteButton()->isChecked());
        EraseStatistics();
    });
    for (TzfmForm* form :
         {static_cast<TzfmForm*>(m_local.data()), static_cast<TzfmForm*>(m_remote.data()),
          static_cast<TzfmForm*>(m_center.data())})
        if (form != nullptr) {
            form->setSaveLayout(false);
            form->show();
        }
}

void TfmMain::connectPanel(TzfmCliSrv* panel) {
    if (panel == nullptr)
        return;
    connect(panel, &TzfmCliSrv::EraseStatisticsWanted, this, &TfmMain::EraseStatistics);
    connect(panel, &TzfmCliSrv::StatusLineWanted, this, &TfmMain::ShowStatusLine);
    connect(panel, &TzfmCliSrv::SamplesAdded, this,
            [this, panel](char side, const std::vector<TSample>& samples) {
                if (!m_logStore || m_logStore->Viewing())
                    return;
                m_logStore->AddSamples(side, samples);
                // The panel's delay figures of this tick, on the time of its
                // last sample.
                if (!samples.empty())
                    m_logStore->AddDelay(side, samples.back().ReportTime, panel->DelayTick());
            });
}

void TfmMain::connectCenter() {
    if (m_center == nullptr)
        return;
    // The figures: in view mode the stored log's span and its view
    // statistics, each side over its own span; live, the panels' totals
    // over the Local side's statistics time.
    m_center->SetSource([this]() -> std::optional<TCenterFigures> {
        if (!m_local || !m_remote)
            return std::nullopt;
        TCenterFigures figures;
        if (m_logStore && m_logStore->Viewing()) {
            figures.ElapsedMs = m_logStore->View(kSideLocal).Span;
            figures.Summary =
                ViewSummary(m_logStore->View(kSideLocal), m_logStore->View(kSideRemote));
            // A log written without delay figures shows "?".
            figures.PeerReportsDelay = !m_logStore->ViewDelays().empty();
            figures.DelayToRemote = m_logStore->ViewDelayFigures(kSideRemote);
            figures.DelayToLocal = m_logStore->ViewDelayFigures(kSideLocal);
        } else {
            figures.ElapsedMs = m_local->ElapsedMs();
            figures.Summary =
                ::UpdateSummary(m_local->Statistics(), m_remote->Statistics(), figures.ElapsedMs);
            // The Remote side's records carry the peer's figures of this
            // host's traffic, the Local side's this host's of the peer's.
            figures.DelayToRemote = m_remote->DelayTotal();
            figures.DelayToLocal = m_local->DelayTotal();
            const TbNBSClient* engine = NetClient.load();
            figures.PeerReportsDelay = engine != nullptr && engine->PeerHasExtension();
        }
        return figures;
    });
    // A duration from the monotonic clock, not a time of day.
    connect(m_center, &TfmCenter::ElapsedShown, this, [this](std::uint32_t elapsedMs) {
        ShowElapsed(QString::fromStdString(FormatDuration(elapsedMs)));
    });
    connect(m_center, &TfmCenter::SummaryShown, this, [this](const TSummary& summary) {
        ShowBandwidth(summary.BandwidthText);
        ShowQuality(summary.QualityText);
    });
    connect(m_center, &TfmCenter::EraseStatisticsWanted, this, &TfmMain::EraseStatistics);
    connect(m_center, &TfmCenter::ClearGraphsWanted, this, &TfmMain::ClearGraphs);
    connect(m_center, &TfmCenter::RestartStatisticsWanted, this, [this] {
        if (m_local)
            m_local->RestartStatistics();
        if (m_remote)
            m_remote->RestartStatistics();
    });
    connect(m_center, &TfmCenter::LiveWanted, this, [this] {
        if (m_logStore)
            m_logStore->SetViewMode(false);
    });
}

void TfmMain::createLogStore() {
    m_logStore = new TLogStore(this);
    m_logStore->ShowStatus = [this](const TLogStore::TMakeText& make) { ShowStatusLine(make); };
    m_logStore->ShowWarning = [this](const QString& text) {
        // Not modal: the view timer goes on while the user reads it.
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Ravelox"), text,
                                    QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("LogWarning"));
        box->setTextFormat(Qt::PlainText);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    connect(m_logStore, &TLogStore::ViewChanged, this, &TfmMain::ShowLogViews);
    if (m_center)
        m_logStore->Attach(m_center->ActStoreLog(), m_center->ActViewLog());
}

void TfmMain::ShowLogViews() {
    const bool viewing = m_logStore && m_logStore->Viewing();
    if (m_delay) {
        if (viewing) {
            const auto& lines = m_logStore->ViewDelays();
            m_delay->ShowLogView(DelayViewPoints(lines, kSideRemote, m_logStore->View(kSideRemote)),
                                 DelayViewPoints(lines, kSideLocal, m_logStore->View(kSideLocal)),
                                 ViewAxisMinutes(m_logStore->View(kSideLocal)));
        } else {
            m_delay->LeaveLogView();
        }
    }
    for (TzfmCliSrv* panel :
         {static_cast<TzfmCliSrv*>(m_local.data()), static_cast<TzfmCliSrv*>(m_remote.data())})
        if (panel != nullptr)
            panel->ShowLogView(viewing ? &m_logStore->View(panel->Letter()) : nullptr);
}

namespace {

constexpr const char* kDelaySection = "DelayWindow";

QColor ColorOf(int index) {
    const auto v = static_cast<std::uint32_t>(Colors[index]);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

} // namespace

void TfmMain::createDelayWindow() {
    m_delay = TzfmForm::Create<TfmDelay>(this);
    m_delay->setSaveLayout(false);
    m_delayDock = new QDockWidget(m_delay->windowTitle(), this);
    m_delayDock->setObjectName(QStringLiteral("DelayDock"));
    m_delayDock->setAllowedAreas(Qt::BottomDockWidgetArea);
    m_delayDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetFloatable |
                             QDockWidget::DockWidgetMovable);
    m_delay->setParent(m_delayDock, Qt::Widget);
    m_delayDock->setWidget(m_delay);
    m_delay->show();
    addDockWidget(Qt::BottomDockWidgetArea, m_delayDock);
    // Where it was: shown or not, docked or floating, its size.
    bool visible = false;
    bool floating = false;
    QRect place;
    int height = 0;
    if (IniMain != nullptr) {
        try {
            visible = IniMain->ReadInteger(kDelaySection, "Visible", 0) != 0;
            floating = IniMain->ReadInteger(kDelaySection, "Floating", 0) != 0;
            place = QRect(IniMain->ReadInteger(kDelaySection, "Left", 0),
                          IniMain->ReadInteger(kDelaySection, "Top", 0),
                          IniMain->ReadInteger(kDelaySection, "Width", 0),
                          IniMain->ReadInteger(kDelaySection, "Height", 0));
            height = IniMain->ReadInteger(kDelaySection, "DockedHeight", 0);
        } catch (const std::exception& e) {
            qWarning("Ravelox: the Delay window's place could not be read: %s", e.what());
        }
    }
    m_delayDock->setFloating(floating);
    if (floating && place.width() >= 200 && place.height() >= 100)
        m_delayDock->setGeometry(place);
    if (!floating && height >= 100)
        resizeDocks({m_delayDock}, {height}, Qt::Vertical);
    m_delayDock->setVisible(visible);
    ui->miDelay->setChecked(visible);
    connect(ui->miDelay, &QAction::triggered, this, [this](bool show) {
        // Docked, it takes its room from the panels: a window of its
        // normal size grows by it.
        const bool grow = show && m_delayDock->isHidden() && !m_delayDock->isFloating() &&
                          windowState() == Qt::WindowNoState;
        m_delayDock->setVisible(show);
        if (grow)
            resize(width(), this->height() + m_delayDock->sizeHint().height());
    });
    connect(m_delayDock, &QDockWidget::visibilityChanged, this, [this](bool) {
        // Hidden by the dock's close button or shown by the menu: the item
        // follows (a minimised main window hides nothing).
        if (!isMinimized())
            ui->miDelay->setChecked(!m_delayDock->isHidden());
    });
    refreshDelayWindow();
}

TfmDelay* TfmMain::DelayWindow() const {
    return m_delay;
}

void TfmMain::refreshDelayWindow() {
    if (!m_delay)
        return;
    m_delay->ApplyOptions(ClampTimingOptions(CfgOpt).GraphTime * 1000, ColorOf(coSend),
                          ColorOf(coRecv), ColorOf(coErrp));
    m_delayDock->setWindowTitle(m_delay->windowTitle());
}

void TfmMain::saveDelayWindow() {
    if (m_delayDock == nullptr || IniMain == nullptr)
        return;
    const QRect place = m_delayDock->geometry();
    IniMain->WriteInteger(kDelaySection, "Visible", m_delayDock->isHidden() ? 0 : 1);
    IniMain->WriteInteger(kDelaySection, "Floating", m_delayDock->isFloating() ? 1 : 0);
    if (m_delayDock->isFloating()) {
        IniMain->WriteInteger(kDelaySection, "Left", place.x());
        IniMain->WriteInteger(kDelaySection, "Top", place.y());
        IniMain->WriteInteger(kDelaySection, "Width", place.width());
        IniMain->WriteInteger(kDelaySection, "Height", place.height());
    } else if (!m_delayDock->isHidden()) {
        IniMain->WriteInteger(kDelaySection, "DockedHeight", place.height());
    }
}

void TfmMain::RefreshPanels() {
    refreshDelayWindow();
    for (TzfmCliSrv* panel :
         {static_cast<TzfmCliSrv*>(m_local.data()), static_cast<TzfmCliSrv*>(m_remote.data())})
        if (panel != nullptr)
            panel->ApplyOptions(CfgOpt);
    if (m_logStore && m_logStore->Viewing())
        ShowLogViews();
}

void TfmMain::connectDialogs() {
    TDialogLinks links;
    links.RefreshPanels = [this] { RefreshPanels(); };
    links.SetViewTime = [this](int ms) { SetViewTime(ms); };
    links.SetHost = [this](const QString& host) {
        if (m_remote)
            m_remote->SetHost(host);
    };
    ConnectDialogs(this, links);
}

void TfmMain::OnStart() {
    TzfmMain::OnStart();
    // The base shows its bars from the stored flags at creation; this
    // program has no control bar.
    ToolBar()->setVisible(false);
    ActSpeedBar()->setVisible(false);
    createPanels();
    createLogStore();
    createDelayWindow();
    connectDialogs();
    RecordOnDemandForms(this);
    if (m_local)
        m_local->ShowControls();
    if (m_remote)
        m_remote->ShowControls();
    if (m_center)
        m_center->ShowSendButtons();
    SetViewTime(ClampTimingOptions(CfgOpt).ViewTime);
    m_timerUpdate->start();
}

void TfmMain::SetViewTime(int interval) {
    // A stored 0 would make a busy timer.
    m_timer->setInterval(std::clamp(interval, 100, 10000));
    m_timer->start();
}

void TfmMain::ShowBandwidth(const std::string& text) {
    QString t = ui->stBandWidth->text() + QStringLiteral(": ");
    t += QString::fromStdString(text).trimmed();
    if (m_panels[0]->text() != t)
        m_panels[0]->setText(t);
}

void TfmMain::ShowQuality(const std::string& text) {
    QString t = ui->stQuality->text() + QStringLiteral(": ");
    t += QString::fromStdString(text);
    if (m_panels[1]->text() != t)
        m_panels[1]->setText(t);
}

void TfmMain::ShowElapsed(const QString& text) {
    if (m_panels[2]->text() != text)
        m_panels[2]->setText(text);
}

void TfmMain::ShowRtt(std::optional<double> medianUs, bool peerReports) {
    if (!peerReports)
        m_rttShownUs.reset();
    else if (medianUs)
        m_rttShownUs = medianUs;
    QString value = QStringLiteral("?");
    if (m_rttShownUs)
        value = AppText(kLineDelayMs, DelayMsText(*m_rttShownUs));
    else if (peerReports)
        value.clear();
    const QString text = AppText(kLineRtt, value.toStdString());
    if (m_rttPanel->text() != text)
        m_rttPanel->setText(text);
}

void TfmMain::ShowStatus(const QString& text) {
    m_makeStatus = nullptr;
    if (Stat != nullptr)
        Stat->Msg(text.toStdString());
}

void TfmMain::ShowStatusLine(std::function<QString()> make) {
    const QString text = make();
    ShowStatus(text);
    m_makeStatus = std::move(make);
    m_madeStatus = text;
}

void TfmMain::OnUpdateLang(const QString& language) {
    TzfmMain::OnUpdateLang(language);
    // The message stores hear of the change after the forms: make the texts
    // once the event loop has finished this change. The panel hints come
    // from the message lines: the designed hints the translation puts back
    // are those of the language the program started in.
    QTimer::singleShot(0, this, [this] {
        // The unit word of every speed text is this form's `stMbps`, which
        // the language may translate.
        Str_Mbps = ui->stMbps->text().toStdString();
        for (TzfmCliSrv* panel :
             {static_cast<TzfmCliSrv*>(m_local.data()), static_cast<TzfmCliSrv*>(m_remote.data())})
            if (panel != nullptr)
                panel->ShowSpeed(0);
        ShowStatusHints();
        const TbNBSClient* engine = NetClient.load();
        ShowRtt(std::nullopt, engine != nullptr && engine->PeerHasExtension());
        if (m_delay)
            m_delayDock->setWindowTitle(m_delay->windowTitle());
        if (m_makeStatus && StatusText() == m_madeStatus)
            ShowStatusLine(m_makeStatus);
    });
}

QString TfmMain::StatusText() const {
    return Stat != nullptr ? QString::fromStdString(Stat->CurrentMessage()) : QString();
}

void TfmMain::ClearGraphs() {
    if (m_delay)
        m_delay->Clear();
    if (m_local)
        m_local->ClearGraphs();
    if (m_remote)
        m_remote->ClearGraphs();
}

void TfmMain::EraseStatistics() {
    if (m_local)
        m_local->RestartStatistics();
    if (m_remote)
        m_remote->RestartStatistics();
    m_restartMark = true;
    if (m_logStore)
        m_logStore->RaiseRestartMark();
}

void TfmMain::ShowError(const QString& text, const QString& caption) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, text, caption] { ShowError(text, caption); }, Qt::QueuedConnection);
        return;
    }
    QMessageBox box(QMessageBox::Critical,
                    caption.isEmpty() ? QApplication::applicationDisplayName() : caption, text,
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ErrorBox"));
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void TfmMain::SendLocal() {
    if (!m_center)
        return;
    QToolButton* button = m_center->SendLocalButton();
    button->setChecked(!button->isChecked());
    m_center->sbSendLocalClick();
}

void TfmMain::SendRemote() {
    if (!m_center)
        return;
    QToolButton* button = m_center->SendRemoteButton();
    button->setChecked(!button->isChecked());
    m_center->sbSendRemoteClick();
}

void TfmMain::TimerTimer() {
    const auto start = std::chrono::steady_clock::now();
    TimerWork();
    if (m_tickLog)
        m_tickTimes.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
}

void TfmMain::TimerWork() {
    if (m_local) {
        m_local->TimerTick();
        if (m_center)
            m_center->LocalSendingCheck();
    }
    if (m_remote)
        m_remote->TimerTick();
    if (m_center)
        m_center->UpdateSummary();
    if (m_local && !(m_logStore && m_logStore->Viewing())) {
        const TDelayFigures& tick = m_local->DelayTick();
        const TbNBSClient* engine = NetClient.load();
        const bool peerReports = engine != nullptr && engine->PeerHasExtension();
        ShowRtt(tick.Rtt ? std::optional<double>(tick.Rtt->P50Us) : std::nullopt, peerReports);
        if (m_delay && m_remote)
            m_delay->AddTick(
                std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                    .count(),
                m_remote->DelayTick(), tick, peerReports);
    }
}

void TfmMain::CheckCounterRange() {
    TbNBSClient* engine = NetClient.load();
    if (engine == nullptr)
        return;
    const std::int64_t speed = std::max(engine->IsSending(false) ? engine->GetSpeed(false) : 0,
                                        engine->IsSending(true) ? engine->GetSpeed(true) : 0);
    const bool ambiguous = CounterAmbiguous(speed, engine->InfoTime());
    if (ambiguous && !m_rangeWarned)
        ShowStatusLine(
            [infoTime = engine->InfoTime()] { return AppText(kLineCounterRange, infoTime); });
    m_rangeWarned = ambiguous;
}

void TfmMain::ShowSendingStopped() {
    TbNBSClient* engine = NetClient.load();
    if (engine == nullptr || !engine->SendingStoppedChanged.exchange(false))
        return;
    if (engine->StopCause() == nsMaxSendTime)
        ShowStatusLine([seconds = engine->Limits().MaxSendTime] {
            return AppText(kLineSendTimeStopped, seconds);
        });
    else
        ShowStatusLine([seconds = (engine->PeerSilenceInForce() + 999) / 1000] {
            return AppText(kLinePeerSilentStopped, seconds);
        });
}

void TfmMain::TimerUpdateTimer() {
    if (m_local)
        m_local->EnginePoll();
    if (m_remote)
        m_remote->EnginePoll();
    if (m_center)
        m_center->EnginePoll();
    CheckCounterRange();
    ShowSendingStopped();
    // A box raised on an engine thread is shown here. The timer keeps firing
    // inside the box's event loop: the guard keeps it to exactly one box.
    if (m_boxShowing)
        return;
    TbNBSClient* engine = NetClient.load();
    if (engine == nullptr)
        return;
    m_boxShowing = true;
    engine->ShowPendingBox();
    m_boxShowing = false;
    if (m_closeAfterBox)
        QTimer::singleShot(0, this, &QWidget::close);
}

void TfmMain::FormClose(bool& accept) {
    if (m_boxShowing) {
        // The engine's box is open inside this call chain: close it first and
        // shut down once its call has returned, never under it.
        m_closeAfterBox = true;
        for (QMessageBox* box : findChildren<QMessageBox*>())
            if (box->isVisible())
                box->reject();
        accept = false;
        return;
    }
    TzfmMain::FormClose(accept);
    if (accept)
        ShutDown();
}

void TfmMain::ShutDown() {
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (m_tickLog && !m_tickTimes.empty()) {
        // The view ticks' cost, for the benchmark (RAVELOX_TICK_LOG=1).
        std::vector<double> t = m_tickTimes;
        std::sort(t.begin(), t.end());
        std::fprintf(stderr, "ravelox: view ticks %zu, median %.3f ms, p95 %.3f ms, max %.3f ms\n",
                     t.size(), t[t.size() / 2], t[t.size() * 95 / 100], t.back());
    }
    m_timer->stop();
    m_timerUpdate->stop();
    try {
        saveDelayWindow();
    } catch (const std::exception& e) {
        qWarning("Ravelox: the Delay window's place could not be saved: %s", e.what());
    }
    DestroyForm(m_delay.data());
    // Centre, then Local (which destroys the engine), then Remote (which
    // saves the host list); then the current test values.
    DestroyForm(m_center.data());
    DestroyForm(m_local.data());
    DestroyForm(m_remote.data());
    try {
        TCfg::Save();
    } catch (const std::exception& e) {
        qWarning("Ravelox: the current test values could not be saved: %s", e.what());
    }
}
