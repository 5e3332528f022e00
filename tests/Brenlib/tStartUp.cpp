// SPDX-License-Identifier: GPL-3.0-or-later
// Library start-up, the splash window and its cursor, the multiple-document
// main window, the data-module base.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

#include "forms/tTestForm.h"
#include "tWindowFixture.h"
#include "zDModule.h"
#include "zDlgDbg.h"
#include "zMainMDI.h"
#include "zParams.h"
#include "zSplash.h"

namespace {

class TStartUpTest : public TFrameworkTest {};

TEST_F(TStartUpTest, InitializeRunsOnceInOrder) {
    DoneSettingsStore();
    const RzStartHooks saved = StartHooks;
    std::vector<std::string> order;
    StartHooks.CreateLangDef = [&] { order.push_back(IniMain == nullptr ? "lang" : "lang late"); };
    StartHooks.CreateMsgStr = [&] { order.push_back(IniMain != nullptr ? "msg" : "msg early"); };
    EXPECT_TRUE(Initialize_Brenlib());
    EXPECT_FALSE(Initialize_Brenlib());
    EXPECT_EQ(order, (std::vector<std::string>{"lang", "msg"}));
    EXPECT_TRUE(zDbg.SplashOpen != nullptr);
    EXPECT_TRUE(zDbg.WatchShow != nullptr);
    EXPECT_EQ(TzfmDlg::ConfigDlgForms(),
              std::vector<const QMetaObject*>{&TzfmDlgDebug::staticMetaObject});
    StartHooks = saved;
    Finalize_Brenlib();
    EXPECT_EQ(IniMain, nullptr);
    InitSettingsStore(); // for the fixture's tear-down
}

TEST_F(TStartUpTest, SplashStaysItsMinimumTimeAndSetsTheCursorOnce) {
    QElapsedTimer clock;
    clock.start();
    SplashOpen(nullptr);
    SplashOpen(nullptr); // reused, the cursor not stacked twice
    ASSERT_NE(SplashWindow(), nullptr);
    EXPECT_NE(SplashWindow()->findChild<QLabel*>("ProductName")->text(), "ProductName");
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    SplashClose(-1);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_NE(SplashWindow(), nullptr);
    ASSERT_TRUE(WaitFor([] { return SplashWindow() == nullptr; }, 5000));
    EXPECT_GE(clock.elapsed(), SplashCloseTime - 50);
    SplashClose(0); // nothing open: harmless
}

TEST_F(TStartUpTest, NoSplashWithSwitchNsBeforeTheMainWindow) {
    TbParam::SetArguments({"-ns"});
    SplashOpen(nullptr);
    EXPECT_EQ(SplashWindow(), nullptr);
    SplashClose(0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    TbParam::SetArguments({});
}

TEST_F(TStartUpTest, MdiChildrenAreSavedWithTheFrame) {
    TfmTestForm::Log.clear();
    WriteFile(IniPath(), "[TfmTestChild]\nCounter=0\n");
    auto* frame = TzfmForm::Create<TzfmMainMDI>();
    frame->setSaveLayout(false);
    const auto menus = frame->MainMenu()->actions();
    ASSERT_GE(menus.size(), 2);
    EXPECT_EQ(menus[menus.size() - 2]->text(), "&Window");
    auto* child = TzfmForm::Create<TfmTestChild>(frame);
    child->SetCounter(3);
    frame->AddChild(child);
    frame->show();
    EXPECT_EQ(frame->MdiArea()->subWindowList().size(), 1);
    frame->mmTileClick();
    TzfmForm::DestroyForm(frame);
    EXPECT_NE(ReadFile(IniPath()).find("Counter=3"), std::string::npos);
}

class TdmTest : public TzDataModule {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TdmTest(QObject* owner = nullptr) : TzDataModule(owner) {
        setObjectName("dmTest");
    }
};

TEST_F(TStartUpTest, DataModuleCaptionAndTranslation) {
    std::vector<std::string> seen;
    LangHooks.DoTranslate = [&](QObject* component, bool saving) {
        seen.push_back(std::string(component->metaObject()->className()) + (saving ? "+" : "-"));
        return true;
    };
    auto* module = TzDataModule::Create<TdmTest>();
    EXPECT_EQ(module->Caption(), "dmTest");
    EXPECT_EQ(seen, std::vector<std::string>{"TdmTest+"});
    delete module;
}

} // namespace

#include "tStartUp.moc"
