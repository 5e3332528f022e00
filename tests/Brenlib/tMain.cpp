// SPDX-License-Identifier: GPL-3.0-or-later
// The main-window base: developer menus by level, the bar flags of section
// "Main", ToolMenu with the speed bar hidden, the status line, the tracer it
// creates, the language menu through the hooks, the memory watch.
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolButton>
#include <map>

#include "tWindowFixture.h"
#include "zAbout.h"
#include "zCfgDbg.h"
#include "zMain.h"
#include "zMsgStr.h"
#include "zStatus.h"
#include "zTrace.h"
#include "zvTrans.h"
#include "zzWatchD.h"

namespace {

class TMainTest : public TFrameworkTest {
protected:
    TzfmMain* CreateMain() {
        auto* main = TzfmForm::Create<TzfmMain>();
        main->setSaveLayout(false);
        return main;
    }
};

TEST_F(TMainTest, DeveloperMenusFollowTheLevel) {
    struct TCase {
        int level;
        bool langEditHook;
        bool debugMenu;
        bool splash;
        bool tracer;
        bool langEdit;
    };
    const TCase cases[] = {
        {0, true, false, false, false, false}, {1, true, false, false, false, false},
        {2, true, false, false, true, false},  {3, false, true, true, true, false},
        {3, true, true, true, true, true},     {4, true, true, true, true, true},
    };
    for (const auto& c : cases) {
        DevLevel = static_cast<std::uint8_t>(c.level);
        zDbg.ShowLangEdit = c.langEditHook ? std::function<void(QWidget*)>([](QWidget*) {})
                                           : std::function<void(QWidget*)>();
        auto* main = CreateMain();
        const auto where = "level " + std::to_string(c.level);
        EXPECT_EQ(main->miDebug()->menuAction()->isVisible(), c.debugMenu) << where;
        EXPECT_EQ(main->miMemory() != nullptr, c.debugMenu) << where;
        EXPECT_EQ(main->Item("miSplash")->isVisible(), c.splash) << where;
        EXPECT_EQ(main->Item("miHelpDbg")->isVisible(), c.splash) << where;
        EXPECT_EQ(main->ActTracer()->isVisible(), c.tracer) << where;
        EXPECT_EQ(main->ActTracer()->isEnabled(), c.tracer) << where;
        EXPECT_EQ(main->Item("miLangEdit")->isVisible(), c.langEdit) << where;
        TzfmForm::DestroyForm(main);
    }
}

// What the user sees in the menus: no placeholder shown as an item, and no
// two items of one menu on the same Alt letter.
TEST_F(TMainTest, MenusShowNoPlaceholderAndNoSharedMnemonic) {
    DevLevel = 3; // every developer item shown
    auto* main = CreateMain();
    main->show();
    for (QMenu* menu :
         {main->mmFile(), main->mmEdit(), main->mmView(), main->mmOptions(), main->mmHelp()}) {
        std::map<QChar, QString> letters;
        for (QAction* item : menu->actions()) {
            if (!item->isVisible() || item->isSeparator())
                continue;
            const QString text = item->text();
            EXPECT_NE(text, "-") << menu->title().toStdString() << ": a placeholder shown as text";
            const qsizetype amp = text.indexOf('&');
            if (amp < 0 || amp + 1 >= text.size())
                continue;
            const QChar letter = text.at(amp + 1).toLower();
            const auto [at, added] = letters.emplace(letter, text);
            EXPECT_TRUE(added) << menu->title().toStdString() << ": \"" << text.toStdString()
                               << "\" and \"" << at->second.toStdString() << "\" share Alt+"
                               << QString(letter).toStdString();
        }
    }
    EXPECT_EQ(main->Item("miSplash")->text(), "Splas&h");
    TzfmForm::DestroyForm(main);
}

TEST_F(TMainTest, BarFlagsOfSectionMain) {
    struct TCase {
        const char* ini;
        bool toolBar;
        bool statusBar;
    };
    const TCase cases[] = {
        {"", true, true},
        {"[Main]\nSpeedBar=0\nStatusBar=1\n", false, true},
        {"[Main]\nSpeedBar=1\nStatusBar=0\n", true, false},
    };
    for (const auto& c : cases) {
        WriteFile(IniPath(), c.ini);
        auto* main = CreateMain();
        main->show();
        EXPECT_EQ(main->ToolBar()->isVisible(), c.toolBar) << c.ini;
        EXPECT_EQ(main->ActSpeedBar()->isChecked(), c.toolBar) << c.ini;
        EXPECT_EQ(main->StatusBar()->isVisible(), c.statusBar) << c.ini;
        // The user flips the speed bar; the flag is written at destruction.
        main->ActSpeedBar()->trigger();
        EXPECT_EQ(main->ToolBar()->isVisible(), !c.toolBar);
        TzfmForm::DestroyForm(main);
        EXPECT_EQ(IniMain->ReadInteger("Main", "SpeedBar", -1), c.toolBar ? 0 : 1) << c.ini;
        EXPECT_EQ(IniMain->ReadInteger("Main", "StatusBar", -1), c.statusBar ? 1 : 0) << c.ini;
    }
}

// The menu moves into ToolMenu, which the speed-bar flag and action never
// hide: the menu stays reachable.
TEST_F(TMainTest, ToolMenuKeepsTheMenuWhenTheSpeedBarIsHidden) {
    WriteFile(IniPath(), "[BrenlibConfig]\nToolMenu=1\n[Main]\nSpeedBar=0\n");
    auto* main = CreateMain();
    main->show();
    EXPECT_FALSE(main->ToolBar()->isVisible());
    EXPECT_TRUE(main->ToolMenu()->isVisible());
    EXPECT_FALSE(main->MainMenu()->isVisible());
    QStringList buttons;
    for (auto* button : main->ToolMenu()->findChildren<QToolButton*>())
        if (button->menu() != nullptr)
            buttons << button->text();
    EXPECT_EQ(buttons, (QStringList{"&File", "&Edit", "&View", "&Options", "&Help"}));
    auto* file = main->ToolMenu()->findChild<QToolButton*>("mmFile");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->menu()->actions().contains(main->Item("miExit")));
    main->ActSpeedBar()->trigger();
    main->ActSpeedBar()->trigger();
    EXPECT_TRUE(main->ToolMenu()->isVisible());
    TzfmForm::DestroyForm(main);

    WriteFile(IniPath(), "[BrenlibConfig]\nToolMenu=0\n");
    main = CreateMain();
    main->show();
    EXPECT_FALSE(main->ToolMenu()->isVisible());
    EXPECT_TRUE(main->MainMenu()->isVisible());
    TzfmForm::DestroyForm(main);
}

TEST_F(TMainTest, StatusLineMessagesHintsAndDoubleClick) {
    auto* main = CreateMain();
    main->show();
    ASSERT_NE(Stat, nullptr);
    auto* panel = Stat->MessagePanel();
    EXPECT_EQ(panel->text(), "");
    Stat->Msg("Connected");
    EXPECT_EQ(panel->text(), "Connected");
    // A hint replaces the message while it lasts (long part of "short|long").
    QStatusTipEvent tip("Lookup|Look for servers");
    QCoreApplication::sendEvent(main, &tip);
    EXPECT_EQ(panel->text(), "Look for servers");
    QStatusTipEvent none("");
    QCoreApplication::sendEvent(main, &none);
    EXPECT_EQ(panel->text(), "Connected");
    QTest::mouseDClick(main->StatusBar(), Qt::LeftButton);
    EXPECT_EQ(panel->text(), "");
    EXPECT_THROW(Stat->GetStatusPanel("NoSuchPanel"), EzForm);
    TzfmForm::DestroyForm(main);
    EXPECT_EQ(Stat, nullptr);
    EXPECT_EQ(Trac, nullptr);
}

// A language that translates the message panel's text must not make the
// status line lose its panel (the main window could not be created).
TEST_F(TMainTest, StatusPanelIsFoundByItsNameNotItsText) {
    TzStatusBar bar;
    bar.AddPanel(QStringLiteral("Other"));
    QLabel* message = bar.AddPanel(QStringLiteral("StatMsg"), -1, 1);
    message->setText(QStringLiteral("Statusmeldungen"));
    bar.Panels().front()->setText(QStringLiteral("StatMsg"));
    TzStatus status(nullptr, &bar);
    EXPECT_EQ(status.MessagePanel(), message);
    status.Msg("Verbunden");
    EXPECT_EQ(message->text(), "Verbunden");
}

TEST_F(TMainTest, StatusMessagesReachTheTracerWhenStatToTrIsOn) {
    WriteFile(IniPath(), "[Debug]\nTrace=0\nStatToTr=1\nMaxTrace=50\n");
    auto* main = CreateMain();
    ASSERT_NE(Trac, nullptr);
    EXPECT_FALSE(Trac->Enabled());
    EXPECT_EQ(Trac->MaxTrace(), 50);
    Stat->Msg("to both");
    // The tracer lists it although it is not enabled.
    EXPECT_EQ(Trac->Lines(), QStringList{"to both"});
    CfgDbg.StatToTr = false;
    Stat->Msg("status only");
    EXPECT_EQ(Trac->Lines().size(), 1);
    TzfmForm::DestroyForm(main);
}

TEST_F(TMainTest, TraceLinesToTheStatusLine) {
    WriteFile(IniPath(), "[Debug]\nTrace=1\nTrToStat=1\n");
    DevLevel = 2;
    auto* main = CreateMain();
    Trac->PushTime("load");
    EXPECT_EQ(Stat->MessagePanel()->text(), " Working: load");
    EXPECT_TRUE(zDbg.TracerShow != nullptr);
    main->ActTracer()->trigger();
    EXPECT_TRUE(Trac->isVisible());
    TzfmForm::DestroyForm(main);
    EXPECT_FALSE(zDbg.TracerShow != nullptr);
}

TEST_F(TMainTest, LanguageMenuThroughTheHooks) {
    std::string selected;
    LangHooks.Languages = [] { return std::vector<std::string>{"<None>", "German", "R&D"}; };
    LangHooks.CurrentLanguage = [] { return std::string("German"); };
    LangHooks.SelectLanguage = [&](const std::string& name) { selected = name; };
    auto* main = CreateMain();
    const auto items = main->miLanguage()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[2]->text(), "R&&D");
    EXPECT_TRUE(items[1]->isChecked());
    items[2]->trigger();
    EXPECT_EQ(selected, "R&D");
    NotifyLanguageChanged("R&D");
    EXPECT_TRUE(items[2]->isChecked());
    NotifyLanguageChanged("");
    EXPECT_TRUE(main->Item("miLangNone")->isChecked());
    TzfmForm::DestroyForm(main);
}

TEST_F(TMainTest, MemoryItemOpensAndClosesTheWatch) {
    DevLevel = 3;
    zDbg.WatchShow = [](QAction* item) { DlgWatchShow(item); };
    auto* main = CreateMain();
    ASSERT_NE(main->miMemory(), nullptr);
    main->miMemory()->trigger();
    ASSERT_NE(DlgWatch, nullptr);
    EXPECT_TRUE(DlgWatch->isVisible());
    EXPECT_TRUE(DlgWatch->tiWatch()->isActive());
    // Closing the window unchecks the item and ends the window.
    DlgWatch->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(DlgWatch, nullptr);
    EXPECT_FALSE(main->miMemory()->isChecked());
    TzfmForm::DestroyForm(main);
}

// The memory watch and the language editor are top-level windows of their
// own: closing the main window still ends the program while they are open.
TEST_F(TMainTest, ClosingTheMainWindowEndsTheProgramWithTheWatchAndTheEditorOpen) {
    DevLevel = 3;
    zDbg.WatchShow = [](QAction* item) { DlgWatchShow(item); };
    auto* main = CreateMain();
    const QPointer<TzfmMain> window = main;
    main->show();
    main->miMemory()->trigger();
    ASSERT_NE(DlgWatch, nullptr);
    QPointer<TfmTrans> editor = TzfmForm::Create<TfmTrans>(nullptr);
    ASSERT_FALSE(editor.isNull());
    editor->show();
    ASSERT_TRUE(DlgWatch->isVisible());
    // The program's own loop, which ends when its last window closes; a
    // guard ends it after 10 s otherwise.
    bool ended = true;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&ended] {
        ended = false;
        QCoreApplication::quit();
    });
    guard.start(10000);
    QTimer::singleShot(0, main, &QWidget::close);
    QApplication::exec();
    EXPECT_TRUE(ended) << "the program went on with the main window closed";
    if (!editor.isNull())
        editor->close();
    if (DlgWatch != nullptr)
        DlgWatch->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!window.isNull())
        TzfmForm::DestroyForm(window.data());
}

// A message line is plain text: markup from a file is shown as written.
TEST_F(TMainTest, MessageBoxesShowTheirTextPlain) {
    const std::string text = "<b>Port</b> 2222 & <i>more</i>";
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible()) {
                format = box->textFormat();
                shown = box->text();
                box->button(QMessageBox::Ok)->click();
            }
    });
    probe.start();
    ShowMessageBoxQt(text, "Caption", 0);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(shown.toStdString(), text);
}

TEST_F(TMainTest, MemoryWatchArithmeticWithAReplacedCounter) {
    std::int64_t count = 5'000'000'000LL; // past 2 GiB and 4 GiB
    TfmWatchD::Counter = [&] { return count; };
    TfmWatchD::StartBaseline = 0;
    auto* watch = TzfmForm::Create<TfmWatchD>();
    watch->setSaveLayout(false);
    EXPECT_EQ(watch->Figures().BaselineB, count);
    count += 1000;
    watch->Refresh();
    EXPECT_EQ(watch->Text0(), QString::number(count - 36));
    EXPECT_EQ(watch->Text1(), "1000");
    // Never called MemPreStart: the whole count.
    EXPECT_EQ(watch->TextG(), QString::number(count));
    // A label click: 0 at the next refresh although nothing changed.
    QTest::mouseClick(watch->findChild<QLabel*>("laMemUse0"), Qt::LeftButton);
    watch->Refresh();
    EXPECT_EQ(watch->Text0(), "0");
    MemPreStart();
    count += 64;
    watch->Refresh();
    EXPECT_EQ(watch->TextG(), "64");
    EXPECT_EQ(watch->Text1(), "1064");
    TfmWatchD::Counter = nullptr;
    TfmWatchD::StartBaseline = 0;
    TzfmForm::DestroyForm(watch);
}

TEST_F(TMainTest, DockedFormsAndTheStatusPopup) {
    auto* main = CreateMain();
    main->show();
    QPointer<TzfmForm> panel;
    main->DockFrameClient(panel);
    ASSERT_NE(panel, nullptr);
    panel->setSaveLayout(false);
    EXPECT_FALSE(panel->isWindow());
    EXPECT_EQ(panel->parentWidget(), main->centralWidget());
    EXPECT_TRUE(panel->isVisible());
    // Undocked: a window of its own; the site is hidden.
    TzfmForm::DoDockableForm(panel, main->centralWidget(), true, false);
    EXPECT_TRUE(panel->isWindow());
    EXPECT_FALSE(main->centralWidget()->isVisible());

    // The main window's own popup items move into the status-bar popup
    // when that opens, and back when the own popup opens.
    main->AddPopUpMenuItem("Own item", {});
    emit main->puStatus()->aboutToShow();
    QStringList texts;
    for (auto* action : main->puStatus()->actions())
        texts << action->text();
    EXPECT_EQ(texts, (QStringList{"Tracer...", "Own item"}));
    main->PopupMenuPopup(main->PopupMenu());
    EXPECT_EQ(main->puStatus()->actions().size(), 1);
    TzfmForm::DestroyForm(panel);
    TzfmForm::DestroyForm(main);
}

TEST_F(TMainTest, AboutBoxFromTheHelpMenu) {
    auto* main = CreateMain();
    QString title;
    QTimer::singleShot(0, [&] {
        if (auto* about = TzfmAboutBox::Instance.data()) {
            title = about->windowTitle();
            about->findChild<QPushButton*>("OKButton")->click();
        }
    });
    main->Item("miAbout")->trigger();
    EXPECT_TRUE(title.startsWith("About "));
    EXPECT_EQ(TzfmAboutBox::Instance, nullptr);
    TzfmForm::DestroyForm(main);
}

} // namespace
