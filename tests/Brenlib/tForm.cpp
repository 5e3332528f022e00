// SPDX-License-Identifier: GPL-3.0-or-later
// The form base: creation order, the layout saved under the derived class
// before destruction, SaveLayout off, a failing save at close, errors in
// slots and event handlers, the single-instance rule, popups, placements
// on a screen that is gone.
#include <filesystem>

#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QScreen>

#include "forms/tTestForm.h"
#include "tWindowFixture.h"
#include "zAbout.h"

namespace {

class TThrowingObject : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User)
            throw std::runtime_error("event of a plain object");
        return QObject::event(event);
    }
};

class TFormTest : public TFrameworkTest {
protected:
    void SetUp() override {
        TFrameworkTest::SetUp();
        TfmTestForm::Log.clear();
    }
};

TEST_F(TFormTest, CreationOrderAndStartAfterTheCreatorReturns) {
    auto* form = TzfmForm::Create<TfmTestForm>();
    EXPECT_EQ(TfmTestForm::Log,
              (std::vector<std::string>{"constructor", "OnReadLayout", "FormCreate"}));
    EXPECT_FALSE(form->IsStarted());
    ASSERT_TRUE(WaitFor([&] { return form->IsStarted(); }));
    EXPECT_EQ(TfmTestForm::Log.back(), "OnStart");
    EXPECT_EQ(TzfmForm::FindFormClass("TfmTestForm"), &TfmTestForm::staticMetaObject);
    TzfmForm::DestroyForm(form);
}

TEST_F(TFormTest, LayoutIsRestoredBeforeFormCreate) {
    WriteFile(IniPath(), "[WindPlace]\nfmTestChild=50;60;300;180;0;0;\n"
                         "[TfmTestChild]\nCounter=5\n");
    auto* form = TzfmForm::Create<TfmTestChild>();
    EXPECT_EQ(form->Counter(), 5);
    EXPECT_EQ(form->geometry(), QRect(50, 60, 300, 180));
    TzfmForm::DestroyForm(form);
}

// Every way a form ends saves it once, under its own class name, while the
// derived class is still whole.
TEST_F(TFormTest, LayoutSavedUnderTheDerivedClassBeforeDestruction) {
    struct TCase {
        const char* name;
        std::function<void(TfmTestChild*, TzfmForm* owner)> end;
    };
    const TCase cases[] = {
        {"DestroyForm", [](TfmTestChild* form, TzfmForm*) { TzfmForm::DestroyForm(form); }},
        {"close with delete on close",
         [](TfmTestChild* form, TzfmForm*) {
             form->setAttribute(Qt::WA_DeleteOnClose);
             form->show();
             form->close();
         }},
        {"owner destroyed", [](TfmTestChild*, TzfmForm* owner) { TzfmForm::DestroyForm(owner); }},
    };
    for (const auto& c : cases) {
        WriteFile(IniPath(), "[TfmTestChild]\nCounter=0\n");
        TfmTestForm::Log.clear();
        auto* owner = TzfmForm::Create<TfmTestForm>();
        auto* form = TzfmForm::Create<TfmTestChild>(owner);
        form->SetCounter(42);
        c.end(form, owner);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const auto ini = ReadFile(IniPath());
        EXPECT_NE(ini.find("Counter=42"), std::string::npos) << c.name << "\n" << ini;
        EXPECT_NE(ini.find("fmTestChild="), std::string::npos) << c.name;
        EXPECT_EQ(std::count(TfmTestForm::Log.begin(), TfmTestForm::Log.end(),
                             "OnSaveLayout TfmTestChild"),
                  1)
            << c.name;
        TzfmForm::DestroyForm(TzfmForm::Forms().empty() ? nullptr : owner);
    }
}

TEST_F(TFormTest, SaveLayoutOffWritesNothing) {
    const std::string before = "[TfmTestForm]\nCounter=1\n";
    WriteFile(IniPath(), before);
    auto* form = TzfmForm::Create<TfmTestForm>();
    form->setSaveLayout(false);
    form->SetCounter(9);
    form->show();
    TzfmForm::DestroyForm(form);
    EXPECT_EQ(ReadFile(IniPath()), before);
}

TEST_F(TFormTest, AFailingSaveAtCloseIsReportedAndTheFormStillCloses) {
    WriteFile(IniPath(), "[TfmTestForm]\nCounter=1\n");
    auto* form = TzfmForm::Create<TfmTestForm>();
    // The settings file becomes a folder: every write fails.
    std::filesystem::remove(IniPath());
    std::filesystem::create_directory(IniPath());
    QPointer<TzfmForm> alive(form);
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->show();
    EXPECT_TRUE(form->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(alive, nullptr);
    EXPECT_EQ(TfmTestForm::Log.back(), "FormDestroy");
    EXPECT_EQ(m_errors.size(), 1u);
}

TEST_F(TFormTest, ExceptionsInSlotsAndEventHandlersReachTheHandler) {
    auto* form = TzfmForm::Create<TfmTestForm>();
    form->show();
    QTest::mouseClick(form->bbThrow(), Qt::LeftButton);
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_NE(m_errors[0].find("EzExcept|"), std::string::npos);
    EXPECT_NE(m_errors[0].find("TfmTestForm: bbThrowClick Not found"), std::string::npos);
    // An event handler of the form: caught by the form's event guard.
    QTest::keyClick(form, Qt::Key_F9);
    ASSERT_EQ(m_errors.size(), 2u);
    EXPECT_NE(m_errors[1].find("key F9"), std::string::npos);
    // Any other object: caught by the application's notify backstop.
    TThrowingObject other;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&other, &event));
    ASSERT_EQ(m_errors.size(), 3u);
    EXPECT_NE(m_errors[2].find("event of a plain object"), std::string::npos);
    TzfmForm::DestroyForm(form);
}

TEST_F(TFormTest, ASecondAboutBoxDestroysTheFirstAndRaises) {
    QPointer<TzfmForm> first = TzfmForm::Create<TzfmAboutBox>();
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(first->SaveLayout());
    EXPECT_TRUE(first->windowTitle().startsWith("About "));
    try {
        TzfmForm::Create<TzfmAboutBox>();
        ADD_FAILURE() << "no error";
    } catch (const EzForm& e) {
        EXPECT_EQ(e.FormCode(), IDS_zfSingleForm);
        EXPECT_NE(std::string(e.what()).find("Only single instance of TzfmAboutBox enable."),
                  std::string::npos);
    }
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(TzfmAboutBox::Instance, nullptr);
    // Now one can be made again; it writes no layout.
    const auto before = ReadFile(IniPath());
    TzfmForm::DestroyForm(TzfmForm::Create<TzfmAboutBox>());
    EXPECT_EQ(ReadFile(IniPath()), before);
}

QStringList Texts(QMenu* menu) {
    QStringList texts;
    for (auto* action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

TEST_F(TFormTest, DeveloperEntriesInPopups) {
    zDbg.ShowComponents = [](QWidget*) {};
    zDbgDB.ShowComponents = [](QWidget*) {};
    struct TCase {
        const char* name;
        int level;
        bool ownItem;
        QStringList expected;
    };
    const TCase cases[] = {
        {"level 0", 0, true, {"Own"}},
        {"level 4, empty popup", 4, false, {"DataSets...", "Components..."}},
        {"level 4, own item", 4, true, {"Own", "-", "DataSets...", "Components..."}},
    };
    for (const auto& c : cases) {
        DevLevel = static_cast<std::uint8_t>(c.level);
        auto* form = TzfmForm::Create<TfmTestForm>();
        if (c.ownItem)
            form->AddPopUpMenuItem("Own", {});
        form->PopupMenuPopup(form->PopupMenu());
        EXPECT_EQ(Texts(form->PopupMenu()), c.expected) << c.name;
        TzfmForm::DestroyForm(form);
    }
}

TEST_F(TFormTest, PopupItemsMergeIntoAnotherPopupAndComeBack) {
    auto* form = TzfmForm::Create<TfmTestForm>();
    form->AddPopUpMenuItem("One", {});
    form->AddPopUpMenuItem("Two", {});
    QMenu other;
    other.addAction("Tracer...");
    form->PopupMenuPopup(&other);
    EXPECT_EQ(Texts(&other), (QStringList{"Tracer...", "One", "Two"}));
    EXPECT_TRUE(form->PopupMenu()->isEmpty());
    form->PopupMenuPopup(form->PopupMenu());
    EXPECT_EQ(Texts(&other), QStringList{"Tracer..."});
    EXPECT_EQ(Texts(form->PopupMenu()), (QStringList{"One", "Two"}));
    TzfmForm::DestroyForm(form);
}

TEST_F(TFormTest, MenuCheckedXORFlipsActionsAndReportsOtherSenders) {
    auto* form = TzfmForm::Create<TfmTestForm>();
    QAction item("x");
    item.setCheckable(true);
    EXPECT_TRUE(form->MenuCheckedXOR(&item));
    EXPECT_FALSE(form->MenuCheckedXOR(&item));
    QObject other;
    EXPECT_FALSE(form->MenuCheckedXOR(&other));
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_NE(m_errors[0].find("Wrong Class"), std::string::npos);
    TzfmForm::DestroyForm(form);
}

TEST_F(TFormTest, APlacementOnAScreenThatIsGoneOpensInTheAvailableArea) {
    const std::string stored = "fmTestChild=5000;4000;300;180;0;0;";
    WriteFile(IniPath(), "[WindPlace]\n" + stored + "\n");
    auto* form = TzfmForm::Create<TfmTestChild>();
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(avail.contains(form->geometry())) << form->geometry().x();
    EXPECT_EQ(form->size(), QSize(300, 180));
    EXPECT_NE(ReadFile(IniPath()).find(stored), std::string::npos);
    form->setSaveLayout(false);
    TzfmForm::DestroyForm(form);
}

TEST_F(TFormTest, TranslationHookRunsAtCreation) {
    std::vector<std::string> seen;
    LangHooks.DoTranslate = [&](QObject* component, bool saving) {
        seen.push_back(std::string(component->metaObject()->className()) +
                       (saving ? " saving" : " applying"));
        return true;
    };
    auto* form = TzfmForm::Create<TfmTestChild>();
    EXPECT_EQ(seen, std::vector<std::string>{"TfmTestChild saving"});
    TzfmForm::DestroyForm(form);
}

} // namespace
