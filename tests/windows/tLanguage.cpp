// SPDX-License-Identifier: GPL-3.0-or-later
// The program and its language files: an UpLang run records every designed
// form of the program, the shipped reference holds what it records, and the
// texts the program sets by code follow a language switch, also those
// already on screen.
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include <QAction>
#include <QRegularExpression>
#include <QTimer>

#include "bConfig.h"
#include "tHelpers.h"
#include "tWindowFixture.h"
#include "vRemote.h"
#include "zForm.h"
#include "zLang.h"

namespace {

namespace fs = std::filesystem;
using wt::Child;
using wt::WaitUntil;

// The designed forms of the program: every ".ui" form of the library and
// the windows whose class derives from the form base (read from the
// headers), so that a new form is covered without being listed here.
std::set<std::string> DesignedFormClasses() {
    const fs::path source = RV_SOURCE_DIR;
    std::map<std::string, std::string> baseOf;
    std::set<std::string> designed;
    const QRegularExpression derived(R"(class\s+(\w+)(?:\s+final)?\s*:\s*public\s+(\w+))");
    const QRegularExpression uiClass(R"(<class>(\w+)</class>)");
    for (const char* folder : {"Brenlib", "app/windows"})
        for (const auto& entry : fs::directory_iterator(source / folder)) {
            const fs::path extension = entry.path().extension();
            if (extension != ".h" && extension != ".ui")
                continue;
            const QString text = QString::fromStdString(testhelp::ReadFile(entry.path().string()));
            if (extension == ".h") {
                for (const QRegularExpressionMatch& m : derived.globalMatch(text))
                    baseOf[m.captured(1).toStdString()] = m.captured(2).toStdString();
            } else {
                if (const QRegularExpressionMatch m = uiClass.match(text); m.hasMatch())
                    designed.insert(m.captured(1).toStdString());
            }
        }
    std::set<std::string> forms;
    for (const std::string& name : designed)
        for (std::string cls = name; baseOf.contains(cls); cls = baseOf[cls])
            if (baseOf[cls] == "TzfmForm") {
                forms.insert(name);
                break;
            }
    return forms;
}

class LanguageTest : public wt::WindowTest {
protected:
    QLabel* Drops() const { return Child<QLabel>(fmLocal.data(), "stDrops"); }
    // The German files beside the program, as installed; the program folder
    // serves the whole suite, so an earlier test may have put them.
    static void InstallGerman() {
        const std::string exe = fs::read_symlink("/proc/self/exe").parent_path().string();
        fs::copy(exe + "/German", s_home + "/German",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        LangDef->UpdateLangList();
    }
};

TEST_F(LanguageTest, UpLangRecordsEveryDesignedFormAsShipped) {
    const std::set<std::string> designed = DesignedFormClasses();
    // Sanity of the scan: the main window, a panel base and a dialog page.
    ASSERT_TRUE(designed.contains("TfmMain") && designed.contains("TzfmCliSrv") &&
                designed.contains("TfmDlgNet"));
    ASSERT_FALSE(designed.contains("TzfmSplash")) << "not a form";

    const std::string file = s_home + "/Default/ravelox.lng";
    std::ofstream(file, std::ios::trunc).close();
    // The forms that take part in recording reach the writer's hook; a form
    // may decline (the tracer, the debug page).
    std::set<std::string> offered;
    const auto saving = LangHooks.Saving;
    LangHooks.Saving = [&](QObject* component, bool& done) {
        offered.insert(component->metaObject()->className());
        saving(component, done);
    };
    CfgPar.UpLang = true;
    OpenWindow();
    CloseWindow();
    CfgPar.UpLang = false;
    LangHooks.Saving = saving;

    const TbLangFile recording(file, 0);
    std::set<std::string> recorded;
    for (const std::string& section : recording.ReadSections()) {
        if (section.ends_with("@Inherited"))
            for (const std::string& ancestor : recording.ReadLines(section))
                recorded.insert(ancestor);
        else
            recorded.insert(section);
    }
    for (const std::string& form : designed) {
        bool made = false;
        bool offeredOne = false;
        for (const QMetaObject* cls : TzfmForm::FormClassList())
            for (const QMetaObject* meta = cls; meta != nullptr; meta = meta->superClass())
                if (form == meta->className()) {
                    made = true;
                    offeredOne = offeredOne || offered.contains(cls->className());
                }
        EXPECT_TRUE(made) << form << " is never made in an UpLang run (on-demand forms)";
        if (offeredOne) {
            EXPECT_TRUE(recorded.contains(form)) << form << " is not in the recording";
        }
    }
    // The six forms made on demand only are among them.
    for (const char* form :
         {"TfmLookup", "TfmDlgTime", "TfmDlgNet", "TfmDlgColors", "TfmSystem", "TfmDebug"})
        EXPECT_TRUE(recorded.contains(form)) << form;

    // The shipped reference is this recording (it may hold more: the
    // framework's own main window, recorded by framework_uplang).
    const TbLangFile shipped(fs::path(RV_SOURCE_DIR) / "app/Default/ravelox.lng", 0);
    for (const std::string& section : recording.ReadSections())
        for (const auto& [key, text] : recording.ReadValues(section))
            EXPECT_EQ(shipped.ReadString(section, key, "<absent>"), text)
                << section << "." << key << ": record app/Default/ravelox.lng again (-UpLang)";
}

TEST_F(LanguageTest, CodeTextsFollowTheLanguage) {
    InstallGerman();
    ASSERT_GE(LangDef->IndexOf("German"), 1);
    OpenWindow();

    // A status message made from a message line, and the label the panel
    // makes every view tick.
    // (A host applied first: the panel applies the box's text once more
    // when the own address arrives.)
    ASSERT_TRUE(fmRemote->SetHost("127.0.0.1"));
    ASSERT_FALSE(fmRemote->SetHost("10.0.0.300"));
    const QString english = m_window->StatusText();
    EXPECT_TRUE(english.startsWith("Not an IPv4 address: \"10.0.0.300\"; the remote host stays"))
        << english.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return Drops()->text().startsWith("Buffer drops: "); }, 3000))
        << Drops()->text().toStdString();

    // Both come out German, although they were on screen before.
    LangDef->SetLanguage("German");
    EXPECT_TRUE(WaitUntil([&] { return Drops()->text().startsWith("Pufferverluste: "); }, 3000))
        << Drops()->text().toStdString();
    EXPECT_TRUE(WaitUntil(
        [&] {
            return m_window->StatusText().startsWith(
                "Keine IPv4-Adresse: \"10.0.0.300\"; der entfernte Host bleibt");
        },
        3000))
        << m_window->StatusText().toStdString();
    LangDef->SetLanguage("<None>");
    EXPECT_TRUE(WaitUntil([&] { return m_window->StatusText() == english; }, 3000))
        << m_window->StatusText().toStdString();
    EXPECT_TRUE(WaitUntil([&] { return Drops()->text().startsWith("Buffer drops: "); }, 3000));

    // A message shown since in plain text is left alone: after the change
    // has run its course (a zero timer queued behind the window's).
    m_window->ShowStatus("typed by hand");
    LangDef->SetLanguage("German");
    bool settled = false;
    QTimer::singleShot(0, m_window, [&settled] { settled = true; });
    ASSERT_TRUE(WaitUntil([&] { return settled; }, 3000));
    EXPECT_EQ(m_window->StatusText(), "typed by hand");
    LangDef->SetLanguage("<None>");
}

// The unit word of the speed texts is the main window's `stMbps`: a
// language that translates it changes every speed shown.
TEST_F(LanguageTest, TheUnitWordFollowsTheLanguage) {
    fs::create_directories(s_home + "/Units");
    {
        std::ofstream lng(s_home + "/Units/ravelox.lng");
        lng << "[.Define]\nLCID=1031\n[TfmMain]\nstMbps.Caption=Mbit/s\n";
    }
    LangDef->UpdateLangList();
    ASSERT_GE(LangDef->IndexOf("Units"), 1);
    OpenWindow();
    QLabel* speed = Child<QLabel>(fmLocal.data(), "stSpeed");
    EXPECT_TRUE(speed->text().endsWith(" Mbps")) << speed->text().toStdString();
    LangDef->SetLanguage("Units");
    EXPECT_TRUE(WaitUntil([&] { return speed->text().endsWith(" Mbit/s"); }, 3000))
        << speed->text().toStdString();
    LangDef->SetLanguage("<None>");
    EXPECT_TRUE(WaitUntil([&] { return speed->text().endsWith(" Mbps"); }, 3000))
        << speed->text().toStdString();
    fs::remove_all(s_home + "/Units");
    LangDef->UpdateLangList();
}

TEST_F(LanguageTest, StartedInGermanSwitchesBackToEnglish) {
    const std::string german = "Kanalbandbreite: mittlerer Empfang beider Richtungen zusammen";
    const std::string english = "Channel bandwidth: the average input of both directions together";
    const auto hintBecomes = [this](const std::string& text) {
        return WaitUntil([&] { return m_window->StatusPanel(0)->toolTip().toStdString() == text; },
                         3000);
    };
    InstallGerman();
    LangDef->SetLanguage("German");
    OpenWindow();
    EXPECT_EQ(m_window->StatusPanel(0)->toolTip().toStdString(), german);
    EXPECT_EQ(m_window->StatusPanel(1)->text().toStdString(), "Qualität: ");
    // The panel hints are set from message lines at creation, in German
    // here: after the switch they must not stay German.
    LangDef->SetLanguage("<None>");
    EXPECT_TRUE(hintBecomes(english)) << m_window->StatusPanel(0)->toolTip().toStdString();
    EXPECT_EQ(m_window->StatusPanel(1)->text().toStdString(), "Quality: ");
    LangDef->SetLanguage("German");
    EXPECT_TRUE(hintBecomes(german)) << m_window->StatusPanel(0)->toolTip().toStdString();
}

} // namespace
