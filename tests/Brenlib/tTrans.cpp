// SPDX-License-Identifier: GPL-3.0-or-later
// Translation of forms (offscreen): the property table, the value
// conventions, switching languages back and forth, the reference writer,
// the language menu and the language editor.
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "tLangFixture.h"
#include "tWindowFixture.h"
#include "ui_zvTrans.h"
#include "zForm.h"
#include "zInit.h"
#include "zMain.h"
#include "zTrans.h"
#include "zTransW.h"
#include "zUtils.h"
#include "xHome.h"
#include "zvTrans.h"

// A form with one component of each kind the table knows, plus things that
// must never reach a language file.
class TfmSample : public TzfmForm {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TfmSample(QWidget* owner = nullptr) : TzfmForm(owner) {
        setObjectName("fmSample");
        setWindowTitle("Sample");
        auto* client = new QWidget(this); // unnamed: not a component, its children are
        setCentralWidget(client);
        auto* layout = new QVBoxLayout(client);
        stSpeed = Add<QLabel>(layout, "stSpeed", "Speed");
        stSpeed->setStyleSheet("color: red");
        stSpeed->setAccessibleName("speed label");
        bbOk = Add<QPushButton>(layout, "bbOk", "OK");
        bbOk->setToolTip("Accept");
        bbOk->setStatusTip("Accepts the values");
        gbSide = new QGroupBox("Side", client);
        gbSide->setObjectName("gbSide");
        layout->addWidget(gbSide);
        ActSend = new QAction("Send", this);
        ActSend->setObjectName("ActSend");
        ActSend->setToolTip("Send the datagrams");
        sbSend = new QToolButton(client);
        sbSend->setObjectName("sbSend");
        sbSend->setDefaultAction(ActSend);
        layout->addWidget(sbSend);
        mmFile = menuBar()->addMenu("&File");
        mmFile->setObjectName("mmFile");
        N1 = mmFile->addSeparator();
        N1->setObjectName("N1");
        N1->setText("-");
        tabs = new QTabWidget(client);
        tabs->setObjectName("pcPages");
        tsOne = new QWidget;
        tsOne->setObjectName("tsOne");
        tabs->addTab(tsOne, "One");
        layout->addWidget(tabs);
        coUnit = new QComboBox(client);
        coUnit->setObjectName("coUnit");
        coUnit->addItems({"kbit/s", "Mbit/s", "Gbit/s"});
        layout->addWidget(coUnit);
        edHost = new QLineEdit("localhost", client);
        edHost->setObjectName("edHost");
        edHost->setInputMask("");
        layout->addWidget(edHost);
        meLog = new QPlainTextEdit("line", client);
        meLog->setObjectName("meLog");
        layout->addWidget(meLog);
        Add<QLabel>(layout, "", "unnamed");
        Add<QLabel>(layout, "qt_inner", "inner");
    }

    template <class T> T* Add(QVBoxLayout* layout, const char* name, const char* text) {
        auto* widget = new T(text, centralWidget());
        widget->setObjectName(name);
        layout->addWidget(widget);
        return widget;
    }

    QLabel* stSpeed = nullptr;
    QPushButton* bbOk = nullptr;
    QGroupBox* gbSide = nullptr;
    QAction* ActSend = nullptr;
    QToolButton* sbSend = nullptr;
    QMenu* mmFile = nullptr;
    QAction* N1 = nullptr;
    QTabWidget* tabs = nullptr;
    QWidget* tsOne = nullptr;
    QComboBox* coUnit = nullptr;
    QLineEdit* edHost = nullptr;
    QPlainTextEdit* meLog = nullptr;
};

class TfmSampleChild : public TfmSample {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TfmSampleChild(QWidget* owner = nullptr) : TfmSample(owner) {
        setObjectName("fmSampleChild");
    }
};

// A form owned by another form (a page merged into a dialog).
class TfmPage : public TzfmForm {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TfmPage(QWidget* owner = nullptr) : TzfmForm(owner) {
        setObjectName("fmPage");
        stPage = new QLabel("Page text", this);
        stPage->setObjectName("stPage");
        setCentralWidget(stPage);
    }
    QLabel* stPage = nullptr;
};

// A child dialog whose page the host takes over, as the Properties dialog
// does with the pages of its child dialogs.
class TfmDonor : public TzfmForm {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TfmDonor(QWidget* owner = nullptr) : TzfmForm(owner) {
        setObjectName("fmDonor");
        tabs = new QTabWidget(this);
        tabs->setObjectName("pcDonor");
        setCentralWidget(tabs);
        tsDonated = new QWidget;
        tsDonated->setObjectName("tsDonated");
        stDonated = new QLabel("Donated text", tsDonated);
        stDonated->setObjectName("stDonated");
        tabs->addTab(tsDonated, "Donated");
    }
    QTabWidget* tabs = nullptr;
    QWidget* tsDonated = nullptr;
    QLabel* stDonated = nullptr;
};

namespace {

const char* const kGerman = "[TfmSample]\n"
                            "fmSample.Caption=Beispiel\n"
                            "stSpeed.Caption=Geschwindigkeit\n"
                            "bbOk.Caption=_OK\n"
                            "bbOk.Hint=Annehmen|Nimmt die Werte an\n"
                            "gbSide.Caption=Seite\n"
                            "ActSend.Caption=Senden\n"
                            "mmFile.Caption=&Datei\n"
                            "tsOne.Caption=Eins\n"
                            "coUnit.Items=~_x~Gbit/s (G)\n"
                            "[TfmDonor]\n"
                            "tsDonated.Caption=Geschenkt\n"
                            "stDonated.Caption=Geschenkter Text\n"
                            "[TfmPage]\n"
                            "stPage.Caption=Seitentext\n";
const char* const kFrench = "[TfmSample]\n"
                            "stSpeed.Caption=Vitesse\n"
                            "gbSide.Caption=\n";

class TTransTest : public TLangTest {
protected:
    void SetUp() override {
        TLangTest::SetUp();
        CreateLangDef();
    }
    // Translation on, with the program's folder at home (the shared
    // exclusion file is then home/../Brenlib/Default/LangNone.ini).
    void Start(const std::string& home = {}) {
        if (!home.empty()) {
            ::setenv("RAVELOX_HOME", Path(home).c_str(), 1);
            SetShippedDataFolder(Path(home));
            LangDef->UpdateLangList();
        }
        InstallFrameworkTranslation();
        InitMsgStrings();
        LangDef->MainWindowExists = true;
    }
    void TearDown() override {
        if (TfmTrans* editor = TransEditor()) {
            TbMsgStr::ShowBox = [](const std::string&, const std::string&, unsigned) {
                return int(idNo);
            };
            editor->close();
            QApplication::processEvents();
        }
        std::vector<QPointer<TzfmForm>> forms;
        for (TzfmForm* form : TzfmForm::Forms())
            forms.emplace_back(form);
        for (const auto& form : forms)
            if (!form.isNull() && form->parent() == nullptr)
                TzfmForm::DestroyForm(form);
        FreeFrameworkTranslation();
        TLangTest::TearDown();
    }
    template <class T> T* Create() { return TzfmForm::Create<T>(nullptr); }
};

TEST_F(TTransTest, PropertyTableReachesOnlyItsTexts) {
    Start();
    auto* form = Create<TfmSample>();
    auto* page = TzfmForm::Create<TfmPage>(form);
    std::set<std::string> keys;
    for (const auto& prop : TranslatableProperties(form))
        keys.insert(prop.Key);
    const std::set<std::string> expected = {
        "fmSample.Caption", "fmSample.Hint", "PopupMenu.Caption", "PopupMenu.Hint",
        "stSpeed.Caption",  "stSpeed.Hint",  "bbOk.Caption",      "bbOk.Hint",
        "gbSide.Caption",   "gbSide.Hint",   "ActSend.Caption",   "ActSend.Hint",
        "sbSend.Caption",   "sbSend.Hint",   "mmFile.Caption",    "mmFile.Hint",
        "N1.Caption",       "N1.Hint",       "pcPages.Hint",      "tsOne.Caption",
        "tsOne.Hint",       "coUnit.Hint",   "coUnit.Items",      "edHost.Hint",
        "edHost.Text",      "meLog.Hint",    "meLog.Lines",
    };
    EXPECT_EQ(keys, expected);
    // The owned form is walked on its own, under its own class.
    std::set<std::string> pageKeys;
    for (const auto& prop : TranslatableProperties(page))
        pageKeys.insert(prop.Key);
    EXPECT_TRUE(pageKeys.contains("stPage.Caption"));

    struct TCase {
        const char* key;
        std::string text;
    };
    const TCase texts[] = {
        {"fmSample.Caption", "Sample"},
        {"bbOk.Hint", "Accept|Accepts the values"},
        {"ActSend.Hint", "Send the datagrams"},
        {"tsOne.Caption", "One"},
        {"mmFile.Caption", "&File"},
        {"coUnit.Items", "kbit/s~Mbit/s~Gbit/s"},
        {"meLog.Lines", "line"},
    };
    const auto props = TranslatableProperties(form);
    for (const auto& c : texts) {
        const auto it = std::find_if(props.begin(), props.end(),
                                     [&](const TTransProp& p) { return p.Key == c.key; });
        ASSERT_NE(it, props.end()) << c.key;
        EXPECT_EQ(GetPropText(it->Object, *it->Row), c.text) << c.key;
    }
}

TEST_F(TTransTest, ValueConventions) {
    Start();
    auto* form = Create<TfmSample>();
    const auto row = [](const char* design, QObject* object) {
        for (const TPropRow* r : PropRowsOf(object, nullptr))
            if (std::string_view(r->Design) == design)
                return r;
        return static_cast<const TPropRow*>(nullptr);
    };
    struct TCase {
        const char* name;
        QObject* object;
        const char* design;
        std::string value;
        std::string expected;
    };
    const std::string longLine(300, 'x');
    const TCase cases[] = {
        {"plain", form->stSpeed, "Caption", "Tempo", "Tempo"},
        {"disabled", form->stSpeed, "Caption", "_Tempo", "Speed"},
        {"deleted", form->stSpeed, "Caption", ")", "Speed"},
        {"empty", form->stSpeed, "Caption", "", ""},
        {"hint short and long", form->bbOk, "Hint", "Ja|Nimmt an", "Ja|Nimmt an"},
        {"hint one part", form->bbOk, "Hint", "Ja", "Ja"},
        {"list pieces", form->coUnit, "Items", "kbit~~_M", "kbit~Mbit/s~Gbit/s"},
        {"list longer than items", form->coUnit, "Items", "a~b~c~d", "a~b~c"},
        {"list without tilde is taken whole", form->coUnit, "Items", longLine,
         longLine + "~Mbit/s~Gbit/s"},
        {"list disabled", form->coUnit, "Items", "_a~b", "kbit/s~Mbit/s~Gbit/s"},
    };
    for (const auto& c : cases) {
        const TPropRow* r = row(c.design, c.object);
        ASSERT_NE(r, nullptr) << c.name;
        const auto before = GetPropText(c.object, *r);
        ApplyValue(c.object, *r, c.value);
        EXPECT_EQ(GetPropText(c.object, *r), c.expected) << c.name;
        ApplyValue(c.object, *r, before);
    }
    EXPECT_EQ(form->bbOk->toolTip(), "Accept");
    EXPECT_EQ(form->bbOk->statusTip(), "Accepts the values");
    // Untouched by the table: the style sheet, the accessible name.
    EXPECT_EQ(form->stSpeed->styleSheet(), "color: red");
    EXPECT_EQ(form->stSpeed->accessibleName(), "speed label");
}

TEST_F(TTransTest, SwitchingBackRestoresDesignedTexts) {
    MakeLanguage("German", "1031", kGerman);
    MakeLanguage("French", "1036", kFrench);
    Start();
    LangDef->UpdateLangList();
    auto* form = Create<TfmSample>();
    auto* page = TzfmForm::Create<TfmPage>(form);

    LangDef->SetLanguage("German");
    EXPECT_EQ(form->windowTitle(), "Beispiel");
    EXPECT_EQ(form->stSpeed->text(), "Geschwindigkeit");
    EXPECT_EQ(form->bbOk->text(), "OK"); // "_": not applied
    EXPECT_EQ(form->bbOk->statusTip(), "Nimmt die Werte an");
    EXPECT_EQ(form->ActSend->text(), "Senden");
    EXPECT_EQ(form->mmFile->title(), "&Datei");
    EXPECT_EQ(form->tabs->tabText(0), "Eins");
    EXPECT_EQ(form->coUnit->itemText(0), "kbit/s");
    EXPECT_EQ(form->coUnit->itemText(2), "Gbit/s (G)");
    EXPECT_EQ(page->stPage->text(), "Seitentext");

    // French lacks most keys and blanks one: the rest shows its designed text.
    LangDef->SetLanguage("French");
    EXPECT_EQ(form->windowTitle(), "Sample");
    EXPECT_EQ(form->stSpeed->text(), "Vitesse");
    EXPECT_EQ(form->gbSide->title(), "");
    EXPECT_EQ(form->bbOk->toolTip(), "Accept");
    EXPECT_EQ(form->tabs->tabText(0), "One");
    EXPECT_EQ(form->coUnit->itemText(2), "Gbit/s");
    EXPECT_EQ(page->stPage->text(), "Page text");

    LangDef->SetLanguage("German");
    form->stSpeed->setText("12 Mbps"); // the program's own text since
    LangDef->SetLanguage("<None>");
    EXPECT_EQ(form->windowTitle(), "Sample");
    EXPECT_EQ(form->stSpeed->text(), "12 Mbps");
    EXPECT_EQ(form->gbSide->title(), "Side");
    EXPECT_EQ(form->ActSend->text(), "Send");
    EXPECT_EQ(form->mmFile->title(), "&File");
    EXPECT_EQ(form->bbOk->statusTip(), "Accepts the values");
    EXPECT_EQ(page->stPage->text(), "Page text");

    // A form created while German is selected is translated at creation.
    LangDef->SetLanguage("German");
    auto* second = Create<TfmSample>();
    EXPECT_EQ(second->gbSide->title(), "Seite");
}

TEST_F(TTransTest, MergedPageTranslatesUnderItsOwnForm) {
    MakeLanguage("German", "1031", kGerman);
    Start();
    LangDef->UpdateLangList();
    auto* host = Create<TfmSample>();
    auto* donor = TzfmForm::Create<TfmDonor>(host);
    donor->tabs->removeTab(0);
    host->tabs->addTab(donor->tsDonated, "Donated");
    for (const auto& prop : TranslatableProperties(host))
        EXPECT_FALSE(prop.Key.starts_with("tsDonated") || prop.Key.starts_with("stDonated"))
            << prop.Key;

    LangDef->SetLanguage("German");
    EXPECT_EQ(host->tabs->tabText(0), "Eins");
    EXPECT_EQ(host->tabs->tabText(1), "Geschenkt");
    EXPECT_EQ(donor->stDonated->text(), "Geschenkter Text");
    LangDef->SetLanguage("<None>");
    EXPECT_EQ(host->tabs->tabText(1), "Donated");
    EXPECT_EQ(donor->stDonated->text(), "Donated text");
}

TEST_F(TTransTest, WriterRecordsDesignedTexts) {
    MakeFile("Brenlib/Default/LangNone.ini", "[QLineEdit]\nText=1\n[QAbstractButton]\nHint=1\n");
    MakeFile("bin/Default/LangNone.ini", "[QPushButton]\nHint=0\n[QWidget]\nHint=1\n");
    MakeFile("bin/Default/ravelox.lng", "[TfmSample]\nstSpeed.Caption=_Speed kept\n"
                                        "edHost.Text=stale\nold.Caption=)\n");
    MakeFile("bin/German/ravelox.lng",
             "[.Define]\nLCID=1031\n[TfmSampleChild]\ngbSide.Caption=Seite\n");
    CfgPar.UpLang = true;
    Start("bin");
    LangDef->SetLanguage("German");
    auto* form = Create<TfmSampleChild>();
    EXPECT_EQ(form->gbSide->title(), "Seite");
    Create<TfmSample>();

    TbLangFile file(Path("bin/Default/ravelox.lng"), 0);
    const auto values = file.ReadValues("TfmSampleChild");
    std::vector<std::string> keys;
    for (const auto& kv : values)
        keys.push_back(kv.first);
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(),
                               [](const auto& a, const auto& b) { return CompareText(a, b) < 0; }));
    const auto value = [&](const std::string& section, const std::string& key) {
        return file.ReadString(section, key, "<absent>");
    };
    // Designed texts, not the German one on screen.
    EXPECT_EQ(value("TfmSampleChild", "gbSide.Caption"), "Side");
    EXPECT_EQ(value("TfmSampleChild", "fmSampleChild.Caption"), "Sample");
    EXPECT_EQ(value("TfmSampleChild", "bbOk.Hint"), "Accept|Accepts the values");
    EXPECT_EQ(value("TfmSampleChild", "coUnit.Items"), "kbit/s~Mbit/s~Gbit/s");
    // Exclusions: the shared file, cancelled by the program's, and the
    // program's own; texts an action or a separator gives.
    EXPECT_EQ(value("TfmSampleChild", "edHost.Text"), "<absent>");
    EXPECT_EQ(value("TfmSampleChild", "stSpeed.Hint"), "<absent>");
    EXPECT_EQ(value("TfmSampleChild", "sbSend.Caption"), "<absent>");
    EXPECT_EQ(value("TfmSampleChild", "N1.Caption"), "<absent>");
    EXPECT_EQ(value("TfmSampleChild", "ActSend.Caption"), "Send");
    for (const auto& key : keys) {
        EXPECT_EQ(key.find("styleSheet"), std::string::npos);
        EXPECT_EQ(key.find("ccessible"), std::string::npos);
        EXPECT_FALSE(key.starts_with("qt_"));
    }
    // An existing section: "_" values stay, excluded and deleted keys go.
    EXPECT_EQ(value("TfmSample", "stSpeed.Caption"), "_Speed kept");
    EXPECT_EQ(value("TfmSample", "edHost.Text"), "<absent>");
    EXPECT_EQ(value("TfmSample", "old.Caption"), "<absent>");
    // Ancestors and the recorded forms.
    EXPECT_EQ(file.ReadLines("TfmSampleChild@Inherited"), std::vector<std::string>{"TfmSample"});
    EXPECT_FALSE(file.SectionExists("TfmSample@Inherited"));
    EXPECT_EQ(value("Components", "TfmSampleChild"), "Sample");
    EXPECT_EQ(value("Components", "TfmSample"), "Sample");
}

// A reference file that cannot be written is reported once; the form is
// made all the same and nothing more is recorded.
TEST_F(TTransTest, AFailedRecordingWriteIsReportedAndTheFormStillComes) {
    // The reference folder where nobody, not even root, can write.
    std::filesystem::create_directories(Path("bin"));
    std::filesystem::create_directory_symlink("/proc/self/fdinfo", Path("bin/Default"));
    std::vector<std::string> errors;
    SetExceptionHandler(
        [&errors](const std::string& text, const std::string&) { errors.push_back(text); });
    CfgPar.UpLang = true;
    Start("bin");
    TfmSample* form = nullptr;
    EXPECT_NO_THROW(form = Create<TfmSample>());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(errors.size(), 1u);
    if (!errors.empty()) {
        EXPECT_NE(errors.front().find("ravelox.lng"), std::string::npos) << errors.front();
    }
    EXPECT_FALSE(CfgPar.UpLang);
    Create<TfmSampleChild>();
    EXPECT_EQ(errors.size(), 1u) << "reported once";
    SetExceptionHandler({});
}

// The main window's language menu, fed by the language definition.
TEST_F(TTransTest, LanguageMenuMatchesByData) {
    MakeLanguage("German", "1031");
    MakeLanguage("Rock & Roll", "0");
    Start();
    LangDef->MainWindowExists = false;
    LangDef->UpdateLangList();
    auto* main = Create<TzfmMain>();
    EXPECT_TRUE(LangDef->MainWindowExists);
    const auto actions = main->miLanguage()->actions();
    ASSERT_EQ(actions.size(), 3); // None and the two languages
    const auto item = [&](const QString& name) {
        for (QAction* action : actions)
            if (action->data().toString() == name && action->isCheckable())
                return action;
        return static_cast<QAction*>(nullptr);
    };
    ASSERT_NE(item("Rock & Roll"), nullptr);
    EXPECT_EQ(item("Rock & Roll")->text(), "Rock && Roll");

    LangDef->SetLanguage("Rock & Roll");
    EXPECT_TRUE(item("Rock & Roll")->isChecked());
    // Desktops may add accelerators to captions; the data decides.
    item("German")->setText("&German");
    item("German")->trigger();
    EXPECT_EQ(LangDef->GetLanguage(), "German");
    EXPECT_TRUE(item("German")->isChecked());
    LangDef->SetLanguage("<None>");
    EXPECT_FALSE(item("German")->isChecked());
    EXPECT_FALSE(item("Rock & Roll")->isChecked());
}

TEST_F(TTransTest, ExtraGroupsOfAForm) {
    MakeLanguage("German", "1031", "[TfmSample.Units]\nkbit=kBit\n");
    MakeFile("Default/ravelox.lng", "[TfmSample.Units]\nkbit=_kbit kept\n");
    CfgPar.UpLang = true;
    Start();
    LangDef->UpdateLangList();
    auto* form = Create<TfmSample>();
    SavingAddValues(form, "Units", {"kbit=kbit", "mbit=Mbit", "no value"});
    TbLangFile reference(Path("Default/ravelox.lng"), 0);
    EXPECT_EQ(reference.ReadString("TfmSample.Units", "kbit", ""), "_kbit kept");
    EXPECT_EQ(reference.ReadString("TfmSample.Units", "mbit", ""), "Mbit");
    EXPECT_EQ(reference.ReadString("Components", "TfmSample.Units", ""), "Units");

    std::vector<std::string> list;
    EXPECT_FALSE(TranslatingGetValues(form, "Units", list)); // no language
    LangDef->SetLanguage("German");
    EXPECT_TRUE(TranslatingGetValues(form, "Units", list));
    EXPECT_EQ(list, std::vector<std::string>{"kbit=kBit"});
    EXPECT_FALSE(TranslatingGetValues(form, "Other", list));
}

TEST_F(TTransTest, FormsMadeBeforeTheMainWindowFollowIt) {
    MakeLanguage("German", "1031", kGerman);
    CfgPar.Language = "German";
    Start();
    LangDef->MainWindowExists = false;
    LangDef->UpdateLangList();
    auto* early = Create<TfmSample>();
    EXPECT_EQ(early->gbSide->title(), "Side");
    Create<TzfmMain>();
    EXPECT_EQ(LangDef->GetLanguage(), "German");
    EXPECT_EQ(early->gbSide->title(), "Seite");
}

// Every open window follows the shipped German and back.
TEST_F(TTransTest, ShippedGermanSwitchesTheEditor) {
    namespace fs = std::filesystem;
    for (const char* folder : {"Default", "German"})
        fs::copy(fs::path(RV_SOURCE_DIR) / "app" / folder, Path(folder),
                 fs::copy_options::recursive);
    Start();
    LangDef->UpdateLangList();
    TfmTrans* editor = ShowTransEditor(nullptr);
    auto* ui = editor->ui();
    LangDef->SetLanguage("German");
    EXPECT_EQ(editor->windowTitle(), "Spracheditor");
    EXPECT_EQ(ui->ActSave->text(), "&Speichern");
    EXPECT_EQ(ui->sgTrans->horizontalHeaderItem(2)->text(), "Übersetzung");
    EXPECT_EQ(ui->PageControl->tabText(0), "Objekte");
    EXPECT_EQ(ui->ComboLang->currentText(), "German");
    LangDef->SetLanguage("<None>");
    EXPECT_EQ(editor->windowTitle(), "Language Editor");
    EXPECT_EQ(ui->ActSave->text(), "&Save");
    EXPECT_EQ(ui->sgTrans->horizontalHeaderItem(2)->text(), "Translation");
    EXPECT_EQ(ui->PageControl->tabText(0), "Objects");
}

class TEditorTest : public TTransTest {
protected:
    void SetUp() override {
        TTransTest::SetUp();
        MakeFile("Default/ravelox.lng", "[Components]\nTfmSample=Sample\nTfmA=A\nTfmB=B\nTfmC=C\n"
                                        "[TfmA]\nbbOk.Caption=OK\nstSpeed.Caption=Speed\n"
                                        "[TfmA@Inherited]\nL0=TfmBase\n"
                                        "[TfmB]\nbbOk.Caption=OK\nstSpeed.Caption=Rate\n"
                                        "[TfmB@Inherited]\nL0=TfmMiddle\nL1=TfmBase\n"
                                        "[TfmC]\nbbOk.Caption=OK\n"
                                        "[TfmC@Inherited]\nL0=TfmOther\n"
                                        "[TfmSample]\nbbOk.Caption=OK\ngbSide.Caption=Side\n"
                                        "stSpeed.Caption=Speed\nbbOk.Hint=\nN1.Caption=-\n"
                                        "coUnit.Items=kbit/s~Mbit/s\nsbOff.Caption=_Off\n"
                                        "fmSample.Caption=Sample\n");
        MakeFile("Default/MsgStr.hnt", "[Errors]\nL2=Unable to write to %s\n"
                                       "[Quests]\nL2=Save the changes of %s?\n");
        MakeLanguage("German", "1031", "[TfmSample]\ngbSide.Caption=Seite\n");
        Start();
        LangDef->UpdateLangList();
        LangDef->SetLanguage("German");
        m_form = Create<TfmSample>();
        m_editor = ShowTransEditor(m_form);
        TbMsgStr::ShowBox = [this](const std::string& text, const std::string&, unsigned) {
            m_boxes.push_back(text);
            return m_answer;
        };
    }
    std::vector<std::string> Objects() const {
        std::vector<std::string> names;
        auto* grid = m_editor->ui()->sgTrans;
        for (int r = 0; r < grid->rowCount(); ++r)
            names.push_back(grid->item(r, 0)->text().toStdString());
        return names;
    }
    int Row(const std::string& name) const {
        const auto names = Objects();
        const auto it = std::find(names.begin(), names.end(), name);
        return it == names.end() ? -1 : static_cast<int>(it - names.begin());
    }

    TfmSample* m_form = nullptr;
    TfmTrans* m_editor = nullptr;
    std::vector<std::string> m_boxes;
    int m_answer = idCancel;
};

TEST_F(TEditorTest, FiltersShowTheRightRows) {
    ASSERT_EQ(m_editor->Section(), "TfmSample");
    EXPECT_TRUE(m_editor->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    auto* ui = m_editor->ui();
    struct TCase {
        bool disabled, empty, newOnly;
        std::vector<std::string> rows;
    };
    const TCase cases[] = {
        {false,
         false,
         false,
         {"bbOk.Caption", "gbSide.Caption", "stSpeed.Caption", "coUnit.Items[0]", "coUnit.Items[1]",
          "fmSample.Caption"}},
        {true,
         false,
         false,
         {"bbOk.Caption", "gbSide.Caption", "stSpeed.Caption", "N1.Caption", "coUnit.Items[0]",
          "coUnit.Items[1]", "sbOff.Caption", "fmSample.Caption"}},
        {false,
         true,
         false,
         {"bbOk.Caption", "gbSide.Caption", "stSpeed.Caption", "bbOk.Hint", "coUnit.Items[0]",
          "coUnit.Items[1]", "fmSample.Caption"}},
        {false,
         false,
         true,
         {"bbOk.Caption", "stSpeed.Caption", "coUnit.Items[0]", "coUnit.Items[1]",
          "fmSample.Caption"}},
    };
    for (const auto& c : cases) {
        ui->ActVDisabled->setChecked(c.disabled);
        ui->ActVEmpty->setChecked(c.empty);
        ui->ActVNewOnly->setChecked(c.newOnly);
        EXPECT_EQ(Objects(), c.rows) << c.disabled << c.empty << c.newOnly;
    }
    // Untranslated keys show their origin in the translation column.
    ui->ActVNewOnly->setChecked(false);
    EXPECT_EQ(ui->sgTrans->item(Row("bbOk.Caption"), 2)->text(), "OK");
    EXPECT_EQ(ui->sgTrans->item(Row("gbSide.Caption"), 2)->text(), "Seite");
}

TEST_F(TEditorTest, EditSaveApplyAndDisable) {
    auto* ui = m_editor->ui();
    EXPECT_FALSE(ui->ActSave->isEnabled());
    m_editor->SetTranslation(Row("stSpeed.Caption"), "Tempo");
    m_editor->SetTranslation(Row("coUnit.Items[1]"), "MBit/s");
    EXPECT_TRUE(ui->ActSave->isEnabled());
    ui->ActApply->trigger();
    EXPECT_EQ(m_form->stSpeed->text(), "Tempo");
    EXPECT_EQ(m_form->coUnit->itemText(1), "MBit/s");
    ASSERT_TRUE(m_editor->SaveTrans());
    EXPECT_FALSE(ui->ActSave->isEnabled());
    TbLangFile german(Path("German/ravelox.lng"), 1031);
    EXPECT_EQ(german.ReadString("TfmSample", "stSpeed.Caption", ""), "Tempo");
    EXPECT_EQ(german.ReadString("TfmSample", "coUnit.Items", ""), "kbit/s~MBit/s");
    EXPECT_EQ(german.ReadString("TfmSample", "gbSide.Caption", ""), "Seite");
    EXPECT_EQ(german.ReadString("TfmSample", "bbOk.Caption", "<absent>"), "<absent>");
    // The form's caption goes to "Components", found by the form's own name.
    m_editor->SetTranslation(Row("fmSample.Caption"), "Beispiel");
    ASSERT_TRUE(m_editor->SaveTrans());
    EXPECT_EQ(TbLangFile(Path("German/ravelox.lng"), 0).ReadString("Components", "TfmSample", ""),
              "Beispiel");

    // F8 marks the origin and, where they are equal, the translation.
    ui->sgTrans->setCurrentCell(Row("bbOk.Caption"), 0);
    ui->ActDisTrans->trigger();
    EXPECT_TRUE(ui->ActSave->isEnabled());
    ASSERT_TRUE(m_editor->SaveTrans());
    TbLangFile origin(Path("Default/ravelox.lng"), 0);
    EXPECT_EQ(origin.ReadString("TfmSample", "bbOk.Caption", ""), "_OK");
    // A list piece is not a key: refused.
    ui->ActVDisabled->setChecked(true);
    ui->sgTrans->setCurrentCell(Row("coUnit.Items[0]"), 0);
    ui->ActDisTrans->trigger();
    EXPECT_FALSE(ui->ActSave->isEnabled());
}

TEST_F(TEditorTest, UnsavedEditsAreNeverLostSilently) {
    m_editor->SetTranslation(Row("stSpeed.Caption"), "Tempo");
    // Cancel keeps the editor open with its edits.
    m_answer = idCancel;
    EXPECT_FALSE(m_editor->close());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_NE(m_boxes[0].find("TfmSample"), std::string::npos);
    EXPECT_TRUE(m_editor->Modified());

    // Yes with a save that fails: reported, still open, edits kept.
    namespace fs = std::filesystem;
    fs::permissions(Path("German/ravelox.lng"), fs::perms::owner_read | fs::perms::group_read);
    m_answer = idYes;
    m_boxes.clear();
    EXPECT_FALSE(m_editor->close());
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1], "Unable to write to " + Path("German/ravelox.lng"));
    EXPECT_TRUE(m_editor->Modified());
    fs::permissions(Path("German/ravelox.lng"), fs::perms::owner_read | fs::perms::owner_write);

    // Switching the language asks as well; No discards.
    m_answer = idNo;
    m_boxes.clear();
    m_editor->ui()->ComboLang->setCurrentIndex(0);
    emit m_editor->ui()->ComboLang->activated(0);
    EXPECT_EQ(m_boxes.size(), 1u);
    EXPECT_FALSE(m_editor->Modified());
    EXPECT_EQ(LangDef->ItemIndex(), 0);
    EXPECT_EQ(TbLangFile(Path("German/ravelox.lng"), 0)
                  .ReadString("TfmSample", "stSpeed.Caption", "<absent>"),
              "<absent>");

    // Yes saves, then closes.
    LangDef->SetLanguage("German");
    m_editor->SetTranslation(Row("stSpeed.Caption"), "Tempo");
    m_answer = idYes;
    QPointer<TfmTrans> editor = m_editor;
    EXPECT_TRUE(m_editor->close());
    QApplication::processEvents();
    EXPECT_EQ(
        TbLangFile(Path("German/ravelox.lng"), 0).ReadString("TfmSample", "stSpeed.Caption", ""),
        "Tempo");
}

TEST_F(TEditorTest, RelatedFormsAndSwitchingSections) {
    auto* ui = m_editor->ui();
    ASSERT_TRUE(m_editor->SelectSection("TfmA"));
    ASSERT_EQ(ui->clbRelated->count(), 1); // shares TfmBase; TfmC does not
    EXPECT_EQ(ui->clbRelated->item(0)->text(), "TfmB");
    m_editor->SetTranslation(Row("bbOk.Caption"), "Gut");
    m_editor->SetTranslation(Row("stSpeed.Caption"), "Tempo");

    // Another section with unsaved edits asks first; Cancel stays.
    m_answer = idCancel;
    EXPECT_FALSE(m_editor->SelectSection("TfmB"));
    EXPECT_EQ(m_editor->Section(), "TfmA");
    EXPECT_EQ(m_boxes.size(), 1u);
    EXPECT_TRUE(m_editor->Modified());

    ui->clbRelated->item(0)->setCheckState(Qt::Checked);
    ui->ActTransRelated->trigger();
    // Copied where the origin is the same text; "Rate" is not "Speed".
    TbLangFile german(Path("German/ravelox.lng"), 1031);
    EXPECT_EQ(german.ReadString("TfmB", "bbOk.Caption", ""), "Gut");
    EXPECT_EQ(german.ReadString("TfmB", "stSpeed.Caption", "<absent>"), "<absent>");
}

} // namespace

#include "tTrans.moc"
