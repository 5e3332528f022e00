// SPDX-License-Identifier: GPL-3.0-or-later
// Window placement and component properties on real widgets (offscreen).
#include <memory>

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QWidget>

#include "tStoreFixture.h"
#include "zUtils.h"

class THelper : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Level READ Level WRITE SetLevel)
public:
    int Level() const { return m_level; }
    void SetLevel(int level) { m_level = level; }

private:
    int m_level = 0;
};

class TfmProbe : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Count READ Count WRITE SetCount)
    Q_PROPERTY(double Ratio READ Ratio WRITE SetRatio)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(tShade Shade READ Shade WRITE SetShade)
    Q_PROPERTY(tParts Parts READ Parts WRITE SetParts)
    Q_PROPERTY(qint16 Small READ Small WRITE SetSmall)
    Q_PROPERTY(THelper* Helper READ Helper)
    Q_PROPERTY(int Fixed READ Fixed)
public:
    enum tShade { shLight, shDark, shNone };
    Q_ENUM(tShade)
    enum tPart { paTop = 1, paLeft = 2, paBottom = 4 };
    Q_DECLARE_FLAGS(tParts, tPart)
    Q_FLAG(tParts)

    explicit TfmProbe(QWidget* parent = nullptr) : QWidget(parent) {
        setObjectName("fmProbe");
        m_helper.setParent(this);
        auto* panel = new QWidget(this);
        panel->setObjectName("Panel1");
        auto* inner = new QWidget(panel);
        inner->setObjectName("paInner");
    }

    int Count() const { return m_count; }
    void SetCount(int count) { m_count = count; }
    double Ratio() const { return m_ratio; }
    void SetRatio(double ratio) { m_ratio = ratio; }
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption) { m_caption = caption; }
    bool Active() const { return m_active; }
    void SetActive(bool active) { m_active = active; }
    tShade Shade() const { return m_shade; }
    void SetShade(tShade shade) { m_shade = shade; }
    tParts Parts() const { return m_parts; }
    void SetParts(tParts parts) { m_parts = parts; }
    qint16 Small() const { return m_small; }
    void SetSmall(qint16 small) { m_small = small; }
    THelper* Helper() { return &m_helper; }
    int Fixed() const { return 1; }

private:
    int m_count = 0;
    double m_ratio = 0;
    QString m_caption;
    bool m_active = false;
    tShade m_shade = shLight;
    tParts m_parts;
    qint16 m_small = 0;
    THelper m_helper;
};
Q_DECLARE_OPERATORS_FOR_FLAGS(TfmProbe::tParts)

namespace {

class TPropertyTest : public TStoreTest {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() == nullptr) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
            static int argc = 1;
            static char name[] = "test_settings_props";
            static char* argv[] = {name, nullptr};
            static QApplication app(argc, argv);
        }
    }
    void TearDown() override {
        TbIniReg::ReportMessage = nullptr;
        TStoreTest::TearDown();
    }
};

TEST_F(TPropertyTest, PlacementTexts) {
    struct TCase {
        const char* text;
        bool usable;
        RWindLayout layout;
    };
    const TCase cases[] = {
        {"266;108;264;155;0;0;", true, {266, 108, 264, 155, 0}},
        {"266,108,264,155,2", true, {266, 108, 264, 155, 2}},
        {"1;;3; -4 ;5;", true, {1, 0, 3, -4, 5}},
        {"1;2;3", false, {}},
        {"1;2;3;4;", false, {}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        IniMain->WriteString("WindPlace", "fmX", c.text);
        RWindLayout layout{-1, -1, -1, -1, -1};
        EXPECT_EQ(IniMain->GetWindPlace("fmX", layout), c.usable) << c.text;
        if (c.usable) {
            EXPECT_EQ(std::vector<int>({layout.Left, layout.Top, layout.Width, layout.Height,
                                        layout.WindowState}),
                      std::vector<int>({c.layout.Left, c.layout.Top, c.layout.Width,
                                        c.layout.Height, c.layout.WindowState}))
                << c.text;
        }
    }
    IniMain->WriteString("WindPlace", "fmX", "1;2;x;4;5;");
    RWindLayout layout;
    EXPECT_THROW(IniMain->GetWindPlace("fmX", layout), EConvertError);
    // The per-user mirror wins over the file.
    RegCurrentUser->WriteString("Properties\\WindPlace", "fmX", "9;9;9;9;0;0;");
    EXPECT_TRUE(IniMain->GetWindPlace("fmX", layout));
    EXPECT_EQ(layout.Left, 9);
}

TEST_F(TPropertyTest, SavesAndRestoresAWindow) {
    TfmProbe form;
    form.setGeometry(266, 108, 264, 155);
    IniMain->SaveWindPlace(&form);
    EXPECT_EQ(IniMain->ReadString("WindPlace", "fmProbe", ""), "266;108;264;155;0;0;");
    EXPECT_EQ(UserValue("Properties/WindPlace/fmProbe"), "266;108;264;155;0;0;");

    form.setWindowFlag(Qt::WindowStaysOnTopHint);
    form.setWindowState(Qt::WindowMaximized);
    EXPECT_EQ(TbIniReg::WindPlaceText(&form), "266;108;264;155;2;3;");

    TfmProbe sizeable;
    IniMain->WriteStringReg("WindPlace", "fmProbe", "10;20;300;200;2;0;");
    IniMain->LoadWindPlace(&sizeable);
    EXPECT_EQ(sizeable.geometry(), QRect(10, 20, 300, 200));
    EXPECT_TRUE(sizeable.windowState().testFlag(Qt::WindowMaximized));

    TfmProbe fixed;
    fixed.setFixedSize(120, 80);
    IniMain->LoadWindPlace(&fixed);
    EXPECT_EQ(fixed.geometry(), QRect(10, 20, 120, 80));
}

TEST_F(TPropertyTest, MdiChildKeepsItsWindowState) {
    QMdiArea area;
    auto* form = new TfmProbe;
    auto* sub = area.addSubWindow(form);
    IniMain->WriteStringReg("WindPlace", "fmProbe", "10;20;300;200;2;1;");
    IniMain->LoadWindPlace(form);
    EXPECT_EQ(sub->geometry(), QRect(10, 20, 300, 200));
    EXPECT_FALSE(sub->windowState().testFlag(Qt::WindowMaximized));
    EXPECT_EQ(TbIniReg::WindPlaceText(form), "10;20;300;200;0;1;");
}

TEST_F(TPropertyTest, LoadsEveryTextForm) {
    WriteFile(IniPath(), "[TfmProbe]\n"
                         "count=5\n"
                         "Ratio=0.25\n"
                         "Caption=  hello, world\n"
                         "Active=TRUE\n"
                         "Shade=shdark\n"
                         "Parts=[paTop, paBottom]\n"
                         "Small=-300\n"
                         "Helper.Level=7\n"
                         "Panel1.paInner.toolTip=inner tip\n"
                         "panel1.minimumWidth=33\n"
                         "NoSuchProperty=1\n"
                         "Helper=x\n"
                         "Fixed=9\n"
                         "[WindPlace]\nfmProbe=5;6;70;80;0;0;\n");
    RegCurrentUser->WriteString("Properties\\TfmProbe", "Count", "6");
    TfmProbe form;
    IniMain->LoadProperties(&form);
    EXPECT_EQ(form.Count(), 6);
    EXPECT_DOUBLE_EQ(form.Ratio(), 0.25);
    EXPECT_EQ(form.Caption(), "hello, world");
    EXPECT_TRUE(form.Active());
    EXPECT_EQ(form.Shade(), TfmProbe::shDark);
    EXPECT_EQ(form.Parts(), TfmProbe::paTop | TfmProbe::paBottom);
    EXPECT_EQ(form.Small(), -300);
    EXPECT_EQ(form.Helper()->Level(), 7);
    EXPECT_EQ(form.findChild<QWidget*>("paInner")->toolTip(), "inner tip");
    EXPECT_EQ(form.findChild<QWidget*>("Panel1")->minimumWidth(), 33);
    EXPECT_EQ(form.geometry(), QRect(5, 6, 70, 80));
}

TEST_F(TPropertyTest, LoadStopsQuietlyAtTheFirstError) {
    struct TCase {
        const char* section;
        int count;
        const char* caption;
    };
    const TCase cases[] = {
        {"[TfmProbe]\nCount=5\nRatio=abc\nCaption=x\n", 5, ""},
        {"[TfmProbe]\nCount=5\nShade=shPurple\nCaption=x\n", 5, ""},
        {"[TfmProbe]\nCount=5\nSmall=40000\nCaption=x\n", 5, ""},
        {"[TfmProbe]\nCount=5\nParts=paTop\nCaption=x\n", 5, ""},
        {"[TfmProbe]\nCount=5\nActive=maybe\nCaption=x\n", 5, ""},
        {"[WindPlace]\nfmProbe=a;b;c;d;e;\n[TfmProbe]\nCount=5\n", 0, ""},
    };
    for (const auto& c : cases) {
        WriteFile(IniPath(), c.section);
        TfmProbe form;
        EXPECT_NO_THROW(IniMain->LoadProperties(&form));
        EXPECT_EQ(form.Count(), c.count) << c.section;
        EXPECT_EQ(form.Caption(), c.caption) << c.section;
    }
}

TEST_F(TPropertyTest, SavesOnlyTheListedProperties) {
    WriteFile(IniPath(), "[TfmProbe]\n; persistent properties\nRatio=\nParts=\nShade=\n"
                         "Helper.Level=\nActive=\nPanel1.minimumWidth=\nCaption=\nNoSuch=1\n");
    TfmProbe form;
    form.setGeometry(1, 2, 30, 40);
    form.SetCount(99);
    form.SetRatio(1.0 / 3);
    form.SetParts(TfmProbe::paLeft | TfmProbe::paTop);
    form.SetShade(TfmProbe::shNone);
    form.Helper()->SetLevel(-4);
    form.SetActive(true);
    form.findChild<QWidget*>("Panel1")->setMinimumWidth(12);
    form.SetCaption("a=b; c");
    std::vector<std::string> reports;
    TbIniReg::ReportMessage = [&](std::string_view group, int number, std::string_view arg) {
        reports.push_back(std::string(group) + " " + std::to_string(number) + " " +
                          std::string(arg));
    };
    IniMain->SaveProperties(&form);
    EXPECT_EQ(ReadFile(IniPath()),
              "[TfmProbe]\n; persistent properties\nRatio=0.333333\nParts=[paTop,paLeft]\n"
              "Shade=shNone\nHelper.Level=-4\nActive=true\nPanel1.minimumWidth=12\n"
              "Caption=a=b; c\nNoSuch=1\n[WindPlace]\nfmProbe=1;2;30;40;0;0;\n");
    EXPECT_EQ(UserValue("Properties/TfmProbe/Parts"), "[paTop,paLeft]");
    EXPECT_TRUE(reports.empty());

    // What was saved loads back into a fresh form.
    TfmProbe copy;
    IniMain->LoadProperties(&copy);
    EXPECT_EQ(copy.Parts(), form.Parts());
    EXPECT_EQ(copy.Shade(), form.Shade());
    EXPECT_EQ(copy.Caption(), form.Caption());
    EXPECT_EQ(copy.geometry(), QRect(1, 2, 30, 40));
}

TEST_F(TPropertyTest, UpdateClearsTheMirrorAndReportsUnknownKeys) {
    WriteFile(IniPath(), "[TfmProbe]\nCount=1\nNoSuch=1\nHelper=x\n");
    RegCurrentUser->WriteString("Properties\\TfmProbe", "Stale", "old");
    std::vector<std::string> reports;
    TbIniReg::ReportMessage = [&](std::string_view group, int number, std::string_view arg) {
        reports.push_back(std::string(group) + " " + std::to_string(number) + " " +
                          std::string(arg));
    };
    TfmProbe form;
    form.SetCount(8);
    IniMain->SaveProperties(&form, pmUpdate | pmNoWindPlace);
    EXPECT_EQ(reports,
              (std::vector<std::string>{"Errors 3 TfmProbe.NoSuch", "Errors 3 TfmProbe.Helper"}));
    EXPECT_EQ(UserValue("Properties/TfmProbe/Stale"), "<absent>");
    EXPECT_EQ(UserValue("Properties/TfmProbe/Count"), "8");
    EXPECT_FALSE(IniMain->SectionExists("WindPlace"));

    form.SetCount(9);
    IniMain->SaveProperties(&form, pmNoProperties);
    EXPECT_EQ(IniMain->ReadString("TfmProbe", "Count", ""), "8");
    EXPECT_TRUE(IniMain->SectionExists("WindPlace"));
}

TEST_F(TPropertyTest, DockedFormSavesNoPlacement) {
    WriteFile(IniPath(), "[TfmProbe]\nCount=0\n");
    QWidget host;
    auto* form = new TfmProbe(&host);
    form->SetCount(3);
    IniMain->SaveProperties(form);
    EXPECT_FALSE(IniMain->SectionExists("WindPlace"));
    EXPECT_EQ(IniMain->ReadString("TfmProbe", "Count", ""), "3");
}

} // namespace

#include "tProperties.moc"
