// SPDX-License-Identifier: GPL-3.0-or-later
#include "zMain.h"

#include <algorithm>
#include <map>

#include <QActionGroup>
#include <QDesktopServices>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusTipEvent>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "bConfig.h"
#include "ui_zMain.h"
#include "zAbout.h"
#include "zCfgDbg.h"
#include "zCopyData.h"
#include "zDebug.h"
#include "zDlg.h"
#include "zSplash.h"
#include "zStatus.h"
#include "zToolBar.h"
#include "zTrace.h"
#include "zUtils.h"

TzfmMain* MainForm = nullptr;

namespace {

constexpr const char* kMainSection = "Main";
constexpr const char* kLanguageName = "zLanguage";

QString EscapeAmpersands(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

TzfmMain::TzfmMain(QWidget* owner) : TzfmForm(owner), m_ui(new Ui::TzfmMain) {
    m_ui->setupUi(this);
    for (auto* separator : {m_ui->N1, m_ui->miHelpDbg})
        separator->setSeparator(true);
    m_ui->ToolMenu->setVisible(false);
    m_ui->ToolMenu->setEnabled(false);
    // The status bar starts with its one designed panel.
    m_ui->StatusBar->AddPanel(QStringLiteral("StatMsg"), -1, 1);
    m_puStatus = new QMenu(this);
    m_puStatus->setObjectName(QStringLiteral("puStatus"));
    m_puStatus->addAction(m_ui->ActTracer);
    m_ui->StatusBar->SetPopup(m_puStatus);
    RoutePopup(m_puStatus);

    m_langGroup = new QActionGroup(this);
    m_langGroup->setExclusive(true);
    m_ui->miLangNone->setData(QString());
    m_langGroup->addAction(m_ui->miLangNone);

    connect(m_ui->miExit, &QAction::triggered, this, Guarded(this, &TzfmMain::miExitClick));
    connect(m_ui->miPporerties, &QAction::triggered, this,
            Guarded(this, &TzfmMain::miPporertiesClick));
    connect(m_ui->miAbout, &QAction::triggered, this, Guarded(this, &TzfmMain::miAboutClick));
    connect(m_ui->miContents, &QAction::triggered, this, Guarded(this, &TzfmMain::miContentsClick));
    connect(m_ui->miSplash, &QAction::triggered, this, Guarded(this, &TzfmMain::miSplashClick));
    connect(m_ui->miLangEdit, &QAction::triggered, this, Guarded(this, &TzfmMain::miLangEditClick));
    connect(m_ui->miLangNone, &QAction::triggered, this,
            Guarded([this] { miLangNoneClick(m_ui->miLangNone); }));
    connect(m_ui->ActStatusBar, &QAction::triggered, this,
            Guarded(this, &TzfmMain::ActStatusBarExecute));
    connect(m_ui->ActSpeedBar, &QAction::triggered, this,
            Guarded(this, &TzfmMain::ActSpeedBarExecute));
    connect(m_ui->ActTracer, &QAction::triggered, this, Guarded(this, &TzfmMain::ActTracerExecute));
    connect(m_ui->StatusBar, &TzStatusBar::DblClick, this,
            Guarded(this, &TzfmMain::StatusBarDblClick));
    // ActSpeedBarUpdate: the check mark follows the bar, however it was hidden.
    connect(m_ui->ToolBar, &QToolBar::visibilityChanged, this, [this](bool visible) {
        if (!isHidden())
            m_ui->ActSpeedBar->setChecked(visible);
    });
}

TzfmMain::~TzfmMain() {
    if (MainForm == this)
        MainForm = nullptr;
    delete m_ui;
}

// --- accessors ---

QMenuBar* TzfmMain::MainMenu() const {
    return m_ui->MainMenu;
}
QMenu* TzfmMain::mmFile() const {
    return m_ui->mmFile;
}
QMenu* TzfmMain::mmEdit() const {
    return m_ui->mmEdit;
}
QMenu* TzfmMain::mmView() const {
    return m_ui->mmView;
}
QMenu* TzfmMain::mmOptions() const {
    return m_ui->mmOptions;
}
QMenu* TzfmMain::mmHelp() const {
    return m_ui->mmHelp;
}
QMenu* TzfmMain::miLanguage() const {
    return m_ui->miLanguage;
}
QMenu* TzfmMain::miDebug() const {
    return m_ui->miDebug;
}
QAction* TzfmMain::Item(const char* name) const {
    return findChild<QAction*>(QString::fromLatin1(name));
}
QToolBar* TzfmMain::ToolBar() const {
    return m_ui->ToolBar;
}
QToolBar* TzfmMain::ToolMenu() const {
    return m_ui->ToolMenu;
}
TzStatusBar* TzfmMain::StatusBar() const {
    return m_ui->StatusBar;
}
QAction* TzfmMain::ActStatusBar() const {
    return m_ui->ActStatusBar;
}
QAction* TzfmMain::ActSpeedBar() const {
    return m_ui->ActSpeedBar;
}
QAction* TzfmMain::ActTracer() const {
    return m_ui->ActTracer;
}

// --- creation ---

void TzfmMain::FormCreate() {
    MainForm = this;
    // 1. Trace settings; the option record with the "ToolMenu" switch.
    TCfgDbg::Read();
    try {
        bCfgOpt.Read();
    } catch (const EConvertError&) {
        // A malformed option keeps its default.
    }
    // 2. The menu bar is moved into ToolMenu only below, when it is shown.
    const bool toolMenu = bCfgOpt.ToolMenu != 0;
    m_ui->ToolMenu->setEnabled(toolMenu);
    m_ui->ToolMenu->setVisible(toolMenu);
    // 3. Help file.
    if (!HelpFile.empty()) {
        HelpFile = TbFile::FileNameExePath(HelpFile);
        m_ui->miContents->setEnabled(true);
    }
    // 4. Language.
    if (LangHooks.InitLanguage)
        LangHooks.InitLanguage();
    // 5.
    m_ui->miMRUFiles->setText(QStringLiteral("-"));
    // 6. The form base: translation and the start call.
    TzfmForm::FormCreate();
    // 7. The shared popup items act on the form in their tag.
    MenuLangEdit()->setText(m_ui->miLangEdit->text());
    // 8. Bar flags of section "Main".
    if (IniMain != nullptr) {
        m_ui->ActStatusBar->setChecked(
            IniMain->ReadInteger(kMainSection, "StatusBar", m_ui->ActStatusBar->isChecked()) != 0);
        m_ui->ActSpeedBar->setChecked(
            IniMain->ReadInteger(kMainSection, "SpeedBar", m_ui->ActSpeedBar->isChecked()) != 0);
    }
    // 9. Developer entries of the Help and Options menus.
    m_ui->miHelpDbg->setVisible(DevLevel >= 3);
    m_ui->miSplash->setVisible(DevLevel >= 3);
    m_ui->miLangEdit->setVisible(DevLevel >= 3 && Tz_Dbg::ShowLangEdit());
    // 10. The bars the actions stand for. ActSpeedBar is ToolBar alone, so
    // hiding it never takes ToolMenu (and with it the menu) away.
    m_ui->ToolBar->setVisible(m_ui->ActSpeedBar->isChecked());
    m_ui->StatusBar->setVisible(m_ui->ActStatusBar->isChecked());
    // 11. Status line and tracer.
    auto* status = qobject_cast<TzStatus*>(GetStatusClass()->newInstance(
        Q_ARG(TzfmForm*, this), Q_ARG(TzStatusBar*, m_ui->StatusBar)));
    Stat = status;
    Trac = TzfmTrace::GetTracInstance(*GetTraceClass(), this, Stat);
    if (Trac != nullptr) {
        Trac->SetMaxTrace(CfgDbg.MaxTrace);
        Trac->SetEnabled(CfgDbg.Trace);
        Trac->SetToStatus(CfgDbg.TrToStat);
    }
    // 12. Tracer action and the Debug menu.
    m_ui->ActTracer->setVisible(DevLevel >= 2);
    m_ui->ActTracer->setEnabled(DevLevel >= 2);
    m_ui->miDebug->menuAction()->setVisible(DevLevel >= 3);
    if (DevLevel >= 3 && m_miMemory == nullptr) {
        m_miMemory = AddDebugMenuItem(QStringLiteral("Memory"), {});
        m_miMemory->setObjectName(QStringLiteral("miMemory"));
        m_miMemory->setCheckable(true);
        connect(m_miMemory, &QAction::triggered, this,
                Guarded([this] { Tz_Dbg::WatchShow(m_miMemory); }));
    }
    // 13. Language menu.
    BuildLanguageMenu();
    // 14. The main menu as a tool bar, only into a bar that is shown.
    if (m_ui->ToolMenu->isEnabled() && !m_ui->ToolMenu->isHidden()) {
        const auto state = windowState();
        ConvertMainMenuToToolBar(m_ui->MainMenu, m_ui->ToolMenu);
        m_ui->MainMenu->hide();
        setWindowState(state);
    }
    // 15. Hints arrive as status-tip events (event()).
    m_copyData = std::make_unique<TzCopyDataServer>(
        [this] { return windowTitle(); },
        [this](const QByteArray& data, std::uint32_t code) { return DoCopyData(data, code); });
}

void TzfmMain::BuildLanguageMenu() {
    for (auto* action : m_langGroup->actions())
        if (action != m_ui->miLangNone) {
            m_langGroup->removeAction(action);
            delete action;
        }
    if (m_ui->miLanguage->menuAction()->isVisible() && LangHooks.Languages) {
        const auto names = LangHooks.Languages();
        for (std::size_t i = 1; i < names.size(); ++i) {
            const auto name = QString::fromStdString(names[i]);
            auto* item = new QAction(EscapeAmpersands(name), m_ui->miLanguage);
            item->setObjectName(QStringLiteral("miLang%1").arg(i));
            item->setCheckable(true);
            item->setData(name);
            item->setProperty(kLanguageName, static_cast<int>(i));
            m_langGroup->addAction(item);
            m_ui->miLanguage->addAction(item);
            connect(item, &QAction::triggered, this,
                    Guarded([this, item] { miLangNoneClick(item); }));
        }
    }
    OnUpdateLang(QString::fromStdString(LangHooks.CurrentLanguage ? LangHooks.CurrentLanguage()
                                                                  : std::string()));
}

void TzfmMain::FormDestroy() {
    if (IniMain != nullptr) {
        IniMain->WriteInteger(kMainSection, "StatusBar", m_ui->ActStatusBar->isChecked() ? 1 : 0);
        IniMain->WriteInteger(kMainSection, "SpeedBar", m_ui->ActSpeedBar->isChecked() ? 1 : 0);
    }
    m_copyData.reset();
    delete Stat;
    Stat = nullptr;
    TzfmForm::FormDestroy();
    if (MainForm == this)
        MainForm = nullptr;
}

void TzfmMain::OnStart() {
    TzfmForm::OnStart();
    if (InitMRUFiles)
        InitMRUFiles();
    SplashClose(-1);
}

bool TzfmMain::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        try {
            DisplayHint(static_cast<QStatusTipEvent*>(event)->tip());
        } catch (...) {
            HandleCurrentException();
        }
        return true;
    }
    return TzfmForm::event(event);
}

// --- virtual operations ---

void TzfmMain::OnUpdateLang(const QString& language) {
    QAction* match = m_ui->miLangNone;
    for (auto* action : m_langGroup->actions())
        if (action != m_ui->miLangNone && action->data().toString() == language)
            match = action;
    match->setChecked(true);
}

std::uint32_t TzfmMain::DoCopyData(const QByteArray& /*data*/, std::uint32_t /*code*/) {
    return 0;
}

const QMetaObject* TzfmMain::GetStatusClass() const {
    return &TzStatus::staticMetaObject;
}
const QMetaObject* TzfmMain::GetTraceClass() const {
    return &TzfmTrace::staticMetaObject;
}
const QMetaObject* TzfmMain::GetConfigClass() const {
    return &TzfmDlg::staticMetaObject;
}
const QMetaObject* TzfmMain::GetAboutClass() const {
    return &TzfmAboutBox::staticMetaObject;
}

void TzfmMain::DisplayHint(const QString& hint) {
    if (Stat == nullptr)
        return;
    // The long part of "short|long"; a hint without "|" is both.
    const auto bar = hint.indexOf(QLatin1Char('|'));
    Stat->MsgHint((bar >= 0 ? hint.mid(bar + 1) : hint).toStdString());
}

// --- operations ---

QAction* TzfmMain::AddDebugMenuItem(const QString& caption, std::function<void()> onClick) {
    return AddMenuItem(m_ui->miDebug, caption, std::move(onClick));
}

void TzfmMain::AddToToolBar(QWidget* control) {
    m_ui->ToolBar->addWidget(control);
}

void TzfmMain::RemoveFromToolBar(QWidget* control) {
    for (auto* action : m_ui->ToolBar->actions())
        if (m_ui->ToolBar->widgetForAction(action) == control) {
            m_ui->ToolBar->removeAction(action);
            control->setParent(nullptr);
            return;
        }
}

bool TzfmMain::DockToolBar(QToolBar* toolBar) {
    if (toolBar == nullptr)
        return false;
    addToolBar(Qt::TopToolBarArea, toolBar);
    toolBar->show();
    return true;
}

bool TzfmMain::UnDockToolBar(QToolBar* toolBar) {
    if (toolBar == nullptr || toolBarArea(toolBar) != Qt::TopToolBarArea)
        return false;
    const QRect rect(toolBar->mapToGlobal(QPoint(0, 0)), toolBar->size());
    toolBar->hide();
    toolBar->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    toolBar->setGeometry(rect);
    return true;
}

void TzfmMain::ShowFormMode(TzfmForm* form, tVisibleMode mode) {
    if (form == nullptr)
        return;
    if (form->isMinimized())
        form->showNormal();
    if (mode == tVisibleMode::vmInVisible) {
        form->hide();
        return;
    }
    if (mode == tVisibleMode::vmVisible)
        form->show();
    if (form->isVisible()) {
        form->raise();
        form->activateWindow();
    }
}

void TzfmMain::DockForm(TzfmForm* form, QWidget* host) {
    if (form == nullptr)
        return;
    if (host == nullptr)
        host = centralWidget();
    DoDockableForm(form, host, true, true);
}

std::optional<TzInstance> TzfmMain::FindPrevInstance(const QString& caption) const {
    return TzCopyDataServer::FindPrevInstance(caption, CopyDataSocket());
}

QString TzfmMain::CopyDataSocket() const {
    return m_copyData != nullptr ? m_copyData->SocketPath() : QString();
}

void TzfmMain::SplashOpen() {
    Tz_Dbg::SplashOpen(SplashClass);
}

void TzfmMain::SplashClose(int minimumMs) {
    Tz_Dbg::SplashClose(minimumMs);
}

void TzfmMain::ConvertMainMenuToToolBar(QMenuBar* menu, QToolBar* toolBar) {
    ::ConvertMainMenuToToolBar(menu, toolBar);
}

// --- handlers ---

void TzfmMain::miExitClick() {
    close();
}

void TzfmMain::miPporertiesClick() {
    TzfmDlg::ShowConfigDialog(*GetConfigClass(), nullptr);
}

void TzfmMain::miAboutClick() {
    TzfmForm* about = TzfmForm::CreateForm(*GetAboutClass(), this);
    about->ShowModal();
    TzfmForm::DestroyForm(about);
}

void TzfmMain::miContentsClick() {
    if (!HelpFile.empty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(HelpFile)));
}

void TzfmMain::miSplashClick() {
    if (m_ui->miSplash->isChecked())
        SplashOpen();
    else
        SplashClose(0);
}

void TzfmMain::miLangEditClick() {
    Tz_Dbg::ShowLangEdit(this);
}

void TzfmMain::miLangNoneClick(QAction* item) {
    if (item == nullptr || !LangHooks.SelectLanguage)
        return;
    LangHooks.SelectLanguage(item->data().toString().toStdString());
}

void TzfmMain::ActStatusBarExecute() {
    m_ui->StatusBar->setVisible(m_ui->ActStatusBar->isChecked());
}

void TzfmMain::ActSpeedBarExecute() {
    m_ui->ToolBar->setVisible(m_ui->ActSpeedBar->isChecked());
}

void TzfmMain::ActTracerExecute() {
    Tz_Dbg::TracerShow();
}

void TzfmMain::StatusBarDblClick() {
    if (Stat != nullptr)
        Stat->Msg("");
}
