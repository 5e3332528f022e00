// SPDX-License-Identifier: GPL-3.0-or-later
// The page dialog: pages merged in registration order, the remembered page
// ConfPage, OK and Cancel reaching every merged dialog, a dialog that
// refuses to close, and the debug settings page.
#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "forms/tTestForm.h"
#include "tWindowFixture.h"
#include "zCfgDbg.h"
#include "zDlgDbg.h"

namespace {

class TDlgTest : public TFrameworkTest {
protected:
    void SetUp() override {
        TFrameworkTest::SetUp();
        TfmTestDlgBase::Log.clear();
        TfmTestDlgBase::Refuse.clear();
        TfmTestDlgBase::Disabled.clear();
        TfmTestDlgBase::Hidden.clear();
        TzfmDlg::AddConfigDlgForm(TfmTestDlgA::staticMetaObject);
        TzfmDlg::AddConfigDlgForm(TfmTestDlgB::staticMetaObject);
        TzfmDlg::AddConfigDlgForm(TfmTestDlgC::staticMetaObject);
        TzfmDlg::AddConfigDlgForm(TfmTestDlgA::staticMetaObject); // keeps its first place
    }

    static QStringList Captions(TzfmDlg* dialog) {
        QStringList captions;
        for (int i = 0; i < dialog->PageControl()->count(); ++i)
            captions << dialog->PageControl()->tabText(i);
        return captions;
    }
    static QString Current(TzfmDlg* dialog) {
        return dialog->PageControl()->tabText(dialog->PageControl()->currentIndex());
    }
    // Closes the dialog as its buttons would.
    static bool CloseWith(TzfmDlg* dialog, int result) {
        dialog->SetModalResultQuietly(result);
        dialog->show();
        return dialog->close();
    }
};

TEST_F(TDlgTest, PagesMergeInRegistrationOrder) {
    TfmTestDlgBase::Disabled = {"Beta"};
    auto* dialog = TzfmForm::Create<TzfmDlg>();
    EXPECT_EQ(dialog->windowTitle(), "Properties");
    EXPECT_EQ(Captions(dialog), (QStringList{"Alpha", "Gamma", "Delta"}));
    EXPECT_EQ(Current(dialog), "Delta");
    EXPECT_EQ(dialog->ChildDialogs().size(), 3u);
    EXPECT_FALSE(dialog->Merged());
    EXPECT_TRUE(dialog->ChildDialogs()[0]->Merged());
    // Each dialog's placement has a key of its own.
    EXPECT_EQ(dialog->objectName(), "zfmDlg");
    EXPECT_EQ(dialog->ChildDialogs()[0]->objectName(), "fmTestDlgA");
    TzfmForm::DestroyForm(dialog);
}

TEST_F(TDlgTest, ConfPageChoosesTheStartPage) {
    struct TCase {
        const char* name;
        std::string stored;
        QStringList hidden;
        bool translate;
        QString expected;
    };
    const TCase cases[] = {
        {"present", "Gamma", {}, false, "Gamma"},
        {"missing", "Omega", {}, false, "Delta"},
        {"none stored", "", {}, false, "Delta"},
        {"hidden", "Gamma", {"Gamma"}, false, "Delta"},
        // Captions shown in another language: the designed caption still matches.
        {"translated", "Gamma", {}, true, "[Gamma]"},
        // An older copy stored the caption as shown.
        {"stored translated", "[Gamma]", {}, true, "[Gamma]"},
    };
    for (const auto& c : cases) {
        WriteFile(IniPath(), c.stored.empty() ? "" : "[Setting]\nConfPage=" + c.stored + "\n");
        TfmTestDlgBase::Hidden = c.hidden;
        LangHooks.DoTranslate = nullptr;
        if (c.translate)
            LangHooks.DoTranslate = [](QObject* component, bool) {
                if (auto* dialog = qobject_cast<TzfmDlg*>(component))
                    for (int i = 0; i < dialog->PageControl()->count(); ++i)
                        dialog->PageControl()->setTabText(
                            i, "[" + dialog->PageControl()->tabText(i) + "]");
                return true;
            };
        auto* dialog = TzfmForm::Create<TzfmDlg>();
        EXPECT_EQ(Current(dialog), c.expected) << c.name;
        dialog->setSaveLayout(false);
        TzfmForm::DestroyForm(dialog);
    }
}

TEST_F(TDlgTest, OkAndCancelReachEveryMergedDialogInOrder) {
    struct TCase {
        int result;
        std::vector<std::string> log;
        bool stored;
    };
    const TCase cases[] = {
        {mrOk, {"TfmTestDlgA OK", "TfmTestDlgB OK", "TfmTestDlgC OK"}, true},
        {mrCancel, {"TfmTestDlgA Cancel", "TfmTestDlgB Cancel", "TfmTestDlgC Cancel"}, false},
    };
    for (const auto& c : cases) {
        WriteFile(IniPath(), "");
        TfmTestDlgBase::Log.clear();
        auto* dialog = TzfmForm::Create<TzfmDlg>();
        dialog->setSaveLayout(false);
        dialog->PageControl()->setCurrentIndex(2); // Gamma
        EXPECT_TRUE(CloseWith(dialog, c.result));
        EXPECT_EQ(TfmTestDlgBase::Log, c.log);
        EXPECT_EQ(ReadFile(IniPath()).find("ConfPage=Gamma") != std::string::npos, c.stored);
        TzfmForm::DestroyForm(dialog);
    }
}

TEST_F(TDlgTest, ARefusingDialogKeepsTheGeneralDialogOpen) {
    TfmTestDlgBase::Refuse = {"TfmTestDlgB"};
    auto* dialog = TzfmForm::Create<TzfmDlg>();
    dialog->setSaveLayout(false);
    EXPECT_FALSE(CloseWith(dialog, mrOk));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(TfmTestDlgBase::Log, (std::vector<std::string>{"TfmTestDlgA OK", "TfmTestDlgB OK"}));
    TzfmForm::DestroyForm(dialog);
}

TEST_F(TDlgTest, ShowConfigDialogReturnsTheButtonPressed) {
    struct TCase {
        const char* button;
        int expected;
    };
    for (const auto& c : {TCase{"bbOk", mrOk}, TCase{"bbCancel", mrCancel}}) {
        TfmTestDlgBase::Log.clear();
        QObject data;
        QObject* seen = nullptr;
        QTimer::singleShot(0, [&] {
            for (auto* form : TzfmForm::Forms())
                if (auto* dialog = qobject_cast<TzfmDlg*>(form); dialog && !dialog->Merged()) {
                    seen = dialog->Data();
                    dialog->findChild<QPushButton*>(c.button)->click();
                }
        });
        const int result = TzfmDlg::ShowConfigDialog(TzfmDlg::staticMetaObject, &data);
        EXPECT_EQ(result, c.expected) << c.button;
        EXPECT_EQ(seen, &data);
        EXPECT_EQ(TfmTestDlgBase::Log.size(), 3u);
        EXPECT_TRUE(TzfmForm::Forms().empty());
    }
}

TEST_F(TDlgTest, DebugPageFollowsTheDebugSetting) {
    TzfmDlg::ClearConfigDlgForms();
    TzfmDlg::AddConfigDlgForm(TzfmDlgDebug::staticMetaObject);
    struct TCase {
        const char* name;
        int debug;
        bool tabShown;
        const char* savedTrace; // the stored Trace after OK, or null: not saved
        int debugAfter;
    };
    const TCase cases[] = {
        {"shown", 1, true, "Trace=1", 1},
        {"hidden", 0, false, nullptr, 0},
    };
    for (const auto& c : cases) {
        WriteFile(IniPath(), "[Debug]\nDebug=" + std::to_string(c.debug) +
                                 "\nTrace=0\nStatToTr=1\nMaxTrace=100\n");
        TCfgDbg::Read();
        auto* dialog = TzfmForm::Create<TzfmDlg>();
        dialog->setSaveLayout(false);
        auto* page = qobject_cast<TzfmDlgDebug*>(dialog->ChildDialogs().at(0));
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->TabShown(), c.tabShown) << c.name;
        const int index = dialog->PageControl()->indexOf(page->tsTrace());
        ASSERT_GE(index, 0);
        EXPECT_EQ(dialog->PageControl()->isTabVisible(index), c.tabShown) << c.name;
        dialog->findChild<QCheckBox*>("cbTrace")->setChecked(true);
        EXPECT_TRUE(CloseWith(dialog, mrOk));
        const auto ini = ReadFile(IniPath());
        if (c.savedTrace != nullptr) {
            EXPECT_NE(ini.find(c.savedTrace), std::string::npos) << c.name << ini;
            EXPECT_TRUE(CfgDbg.StatToTr);
        } else {
            EXPECT_NE(ini.find("Trace=0"), std::string::npos) << c.name << ini;
            EXPECT_FALSE(CfgDbg.StatToTr) << c.name;
            EXPECT_FALSE(CfgDbg.Trace) << c.name;
        }
        EXPECT_EQ(TCfgDbg::ReadDebugLevel(), c.debugAfter) << c.name;
        TzfmForm::DestroyForm(dialog);
    }
}

} // namespace
