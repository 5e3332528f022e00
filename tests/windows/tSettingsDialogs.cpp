// SPDX-License-Identifier: GPL-3.0-or-later
// The Timing, Network and Colors pages, alone and merged into the general
// Properties dialog, against a real engine in the private namespace and a
// settings store in a temporary folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>

#include "tSandboxHome.h"
#include "bConfig.h"
#include "tModal.h"
#include "cNet0.h"
#include "cNetLimits.h"
#include "uConfig.h"
#include "uDlgHooks.h"
#include "vDlgColor.h"
#include "vDlgNet.h"
#include "vDlgTime.h"
#include "zParams.h"

namespace {

using namespace std::chrono_literals;

using windows_test::WhileModal;

template <class T> T* Shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<T*>(w); dialog != nullptr && dialog->isVisible())
            return dialog;
    return nullptr;
}

// Runs `body` on the page dialog of class T once it is shown modally by
// ShowConfigDialog(dialogClass), then closes it with OK or Cancel.
template <class T>
int RunDialog(const QMetaObject& dialogClass, std::function<void(T&)> body, bool ok) {
    WhileModal([body = std::move(body), ok] {
        T* dialog = Shown<T>();
        if (dialog == nullptr || !dialog->IsStarted())
            return false;
        body(*dialog);
        (ok ? dialog->bbOk() : dialog->bbCancel())->click();
        return true;
    });
    return TzfmDlg::ShowConfigDialog(dialogClass);
}

// The kernel's figures for a socket, asked directly.
struct TKernelBuffers {
    int Receive = 0;
    int Send = 0;
};
TKernelBuffers KernelBuffers(SOCKET s) {
    TKernelBuffers b;
    socklen_t size = sizeof b.Receive;
    getsockopt(s, SOL_SOCKET, SO_RCVBUF, &b.Receive, &size);
    size = sizeof b.Send;
    getsockopt(s, SOL_SOCKET, SO_SNDBUF, &b.Send, &size);
    return b;
}

class SettingsDialogs : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        testhelp::SandboxHome(m_dir);
        TbParam::SetArguments({});
        InitSettingsStore();
        CfgOpt = TCfgOpt{};
        Colors = kDefaultColors;
        NetOutward.LookupText = [](const std::string& section, const std::string& key,
                                   const std::string&) { return section + "/" + key; };
        NetOutward.ShowTextOnAnyThread = true;
        m_engine = std::make_unique<TbNBSClient>();
        ASSERT_TRUE(m_engine->IsOpen());
        ColorHook = [this] { ++m_refreshes; };
        ViewTimeHook = [this](int ms) { m_viewTimes.push_back(ms); };
    }
    void TearDown() override {
        ColorHook = nullptr;
        ViewTimeHook = nullptr;
        m_engine.reset();
        NetOutward = TNetOutward{};
        DoneSettingsStore();
        TzfmDlg::ClearConfigDlgForms();
        ::unsetenv("RAVELOX_HOME");
    }
    std::string Ini() const {
        std::ifstream in(m_dir.filePath("ravelox.INI").toStdString(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // Steps a spin edit as the arrow keys do (an edit-done each step).
    static void StepTo(QSpinBox* edit, int value) {
        edit->setFocus();
        while (edit->value() != value) {
            const int before = edit->value();
            edit->stepBy(value > before ? 1 : -1);
            if (edit->value() == before)
                break;
        }
    }

    QTemporaryDir m_dir;
    std::unique_ptr<TbNBSClient> m_engine;
    int m_refreshes = 0;
    std::vector<int> m_viewTimes;
};

TEST_F(SettingsDialogs, TimingChangesApplyAtOnceAndCancelRestoresThem) {
    int minimaAtOpen = 0;
    const int result = RunDialog<TfmDlgTime>(
        TfmDlgTime::staticMetaObject,
        [&](TfmDlgTime& d) {
            // Opened with TimerPeriod 10: both intervals go down to 10, not 100.
            minimaAtOpen = d.esInfoTime()->minimum() + d.esViewTime()->minimum();
            EXPECT_EQ(d.esTimer()->value(), 10);
            EXPECT_EQ(d.esInfoTime()->value(), 200);
            StepTo(d.esTimer(), 50);
            EXPECT_EQ(m_engine->TimerPeriod(), 50) << "the engine's timer follows at once";
            EXPECT_EQ(d.esInfoTime()->minimum(), 50);
            EXPECT_EQ(d.esViewTime()->minimum(), 50);
            d.esInfoTime()->stepBy(1); // 300
            EXPECT_EQ(m_engine->InfoTime(), 300);
            d.esViewTime()->stepBy(-1); // 900
            ASSERT_FALSE(m_viewTimes.empty());
            EXPECT_EQ(m_viewTimes.back(), 900);
            d.esGraphTime()->stepBy(3); // 60
            EXPECT_EQ(CfgOpt.GraphTime, 60);
            EXPECT_GE(m_refreshes, 1);
        },
        false);
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(minimaAtOpen, 20);
    EXPECT_EQ(m_engine->TimerPeriod(), 10);
    EXPECT_EQ(m_engine->InfoTime(), 200);
    EXPECT_EQ(m_viewTimes.back(), 1000);
    EXPECT_EQ(CfgOpt.GraphTime, 30);
    EXPECT_EQ(CfgOpt.TimerPeriod, 10);
    EXPECT_EQ(Ini().find("TimerPeriod=50"), std::string::npos) << "Cancel saves nothing";
}

TEST_F(SettingsDialogs, TimingOkKeepsAndSavesTheValues) {
    RunDialog<TfmDlgTime>(
        TfmDlgTime::staticMetaObject,
        [&](TfmDlgTime& d) {
            StepTo(d.esTimer(), 20);
            d.esGraphTime()->stepBy(1);
        },
        true);
    EXPECT_EQ(CfgOpt.TimerPeriod, 20);
    EXPECT_EQ(CfgOpt.GraphTime, 40);
    EXPECT_EQ(m_engine->TimerPeriod(), 20);
    EXPECT_NE(Ini().find("TimerPeriod=20"), std::string::npos) << Ini();
    EXPECT_NE(Ini().find("GraphTime=40"), std::string::npos) << Ini();
}

TEST_F(SettingsDialogs, NetworkOkAppliesTheBuffersToTheOpenSocketAndReadsThemBack) {
    const int port = CfgOpt.Port;
    QString shownAtOpen;
    const TKernelBuffers atOpen = KernelBuffers(m_engine->Socket());
    RunDialog<TfmDlgNet>(
        TfmDlgNet::staticMetaObject,
        [&](TfmDlgNet& d) {
            shownAtOpen = d.stRecvBufInForce()->text();
            EXPECT_EQ(d.esRecvBuf()->value(), CfgOpt.SockRecvBuf / 1024);
            d.esRecvBuf()->setValue(64);
            d.esSendBuf()->setValue(32);
            d.esPort()->setValue(3333);
            // Nothing applies while editing.
            EXPECT_EQ(CfgOpt.Port, port);
        },
        true);
    const TKernelBuffers kernel = KernelBuffers(m_engine->Socket());
    EXPECT_EQ(shownAtOpen, InForceText(atOpen.Receive)) << "what the kernel reports";
    EXPECT_EQ(CfgOpt.SockRecvBuf, 64 * 1024);
    EXPECT_EQ(CfgOpt.SockSendBuf, 32 * 1024);
    EXPECT_EQ(CfgOpt.Port, 3333);
    // Linux doubles what was asked (well below its caps here).
    EXPECT_EQ(kernel.Receive, 2 * 64 * 1024);
    EXPECT_EQ(kernel.Send, 2 * 32 * 1024);
    // The engine's own figures are the kernel's, read back after the change.
    EXPECT_EQ(m_engine->SocketBuffers().RecvBuf, kernel.Receive);
    EXPECT_EQ(m_engine->SocketBuffers().SendBuf, kernel.Send);
    EXPECT_NE(Ini().find("SockRecvBuf=65536"), std::string::npos) << Ini();
    EXPECT_NE(Ini().find("Port=3333"), std::string::npos) << Ini();
    EXPECT_TRUE(m_engine->IsOpen()) << "the port takes effect only at the next socket";
}

TEST_F(SettingsDialogs, NetworkCancelChangesNothing) {
    const TKernelBuffers before = KernelBuffers(m_engine->Socket());
    RunDialog<TfmDlgNet>(
        TfmDlgNet::staticMetaObject, [](TfmDlgNet& d) { d.esRecvBuf()->setValue(128); }, false);
    EXPECT_EQ(CfgOpt.SockRecvBuf, TCfgOpt{}.SockRecvBuf);
    EXPECT_EQ(KernelBuffers(m_engine->Socket()).Receive, before.Receive);
}

TEST_F(SettingsDialogs, NetworkPeerLimitsAreOffByDefaultAndOkStoresAndAppliesThem) {
    // The desktop program obeys every peer at any speed for any time; only
    // the silence of a commanding peer ends its sending.
    EXPECT_EQ(m_engine->Limits().MaxSpeed, 0);
    EXPECT_EQ(m_engine->Limits().MaxSendTime, 0);
    EXPECT_FALSE(m_engine->Limits().Allow.Active);
    RunDialog<TfmDlgNet>(
        TfmDlgNet::staticMetaObject,
        [&](TfmDlgNet& d) {
            EXPECT_EQ(d.esPeerSilence()->value(), 10);
            EXPECT_EQ(d.esPeerMaxSpeed()->value(), 0);
            EXPECT_EQ(d.esPeerMaxSendTime()->value(), 0);
            EXPECT_EQ(d.edPeerAllow()->text(), "");
            d.esPeerSilence()->setValue(20);
            d.esPeerMaxSpeed()->setValue(100);
            d.esPeerMaxSendTime()->setValue(600);
            d.edPeerAllow()->setText(" 198.18.0.0/15, 10.0.0.7 ");
            EXPECT_EQ(m_engine->Limits().MaxSpeed, 0) << "nothing applies while editing";
        },
        true);
    EXPECT_EQ(CfgOpt.PeerSilence, 20);
    EXPECT_EQ(CfgOpt.PeerMaxSpeed, 100'000);
    EXPECT_EQ(CfgOpt.PeerMaxSendTime, 600);
    EXPECT_EQ(CfgOpt.PeerAllow, "198.18.0.0/15, 10.0.0.7");
    const TbNLimits limits = m_engine->Limits();
    EXPECT_EQ(limits.PeerSilence, 20);
    EXPECT_EQ(limits.MaxSpeed, 100'000);
    EXPECT_EQ(limits.MaxSendTime, 600);
    EXPECT_EQ(AllowListText(limits.Allow), "198.18.0.0/15,10.0.0.7/32");
    EXPECT_EQ(m_engine->PeerSilenceInForce(), 20'000);
    for (const char* line : {"PeerSilence=20", "PeerMaxSpeed=100000", "PeerMaxSendTime=600",
                             "PeerAllow=198.18.0.0/15, 10.0.0.7"})
        EXPECT_NE(Ini().find(line), std::string::npos) << line << "\n" << Ini();
    // What was stored is what the next start reads.
    CfgOpt = TCfgOpt{};
    TCfgOpt::Read();
    EXPECT_EQ(CfgOpt.PeerMaxSpeed, 100'000);
    EXPECT_EQ(CfgOpt.PeerAllow, "198.18.0.0/15, 10.0.0.7");
}

TEST_F(SettingsDialogs, NetworkSpeedLimitOffTheMegabitGridIsKeptUnlessChanged) {
    CfgOpt.PeerMaxSpeed = 1500; // kbit/s, from a hand-edited settings file
    RunDialog<TfmDlgNet>(
        TfmDlgNet::staticMetaObject, [](TfmDlgNet& d) { d.esPeerSilence()->setValue(30); }, true);
    EXPECT_EQ(CfgOpt.PeerMaxSpeed, 1500);
    EXPECT_EQ(m_engine->Limits().MaxSpeed, 1500);
}

TEST_F(SettingsDialogs, NetworkPeerSilenceShowsTheSilenceInForceWhenRaised) {
    CfgOpt.InfoTime = 2000; // three intervals: 6 s at the least
    RunDialog<TfmDlgNet>(
        TfmDlgNet::staticMetaObject,
        [](TfmDlgNet& d) {
            d.esPeerSilence()->setValue(4);
            EXPECT_EQ(d.stPeerSilenceInForce()->text(), "in force: 6 s");
            d.esPeerSilence()->setValue(8);
            EXPECT_EQ(d.stPeerSilenceInForce()->text(), "");
            d.esPeerSilence()->setValue(0);
            EXPECT_EQ(d.stPeerSilenceInForce()->text(), "") << "0: never";
        },
        false);
    EXPECT_EQ(CfgOpt.PeerSilence, 10) << "Cancel keeps the stored value";
}

struct TBadAllowCase {
    const char* name;
    const char* text;
};

class NetworkBadAllowList : public SettingsDialogs,
                            public testing::WithParamInterface<TBadAllowCase> {};

TEST_P(NetworkBadAllowList, KeepsThePageOpenWithTheReasonAndStoresNothing) {
    const TBadAllowCase& c = GetParam();
    bool refused = false;
    QString reason;
    windows_test::WhileModal([&] {
        TfmDlgNet* d = Shown<TfmDlgNet>();
        if (d == nullptr || !d->IsStarted())
            return false;
        d->esPeerMaxSpeed()->setValue(50);
        d->edPeerAllow()->setText(QString::fromLatin1(c.text));
        d->bbOk()->click();
        refused = d->isVisible();
        reason = d->stPeerAllowError()->text();
        // Mended, the same OK goes through.
        d->edPeerAllow()->setText("10.0.0.0/8");
        d->bbOk()->click();
        return true;
    });
    TzfmDlg::ShowConfigDialog(TfmDlgNet::staticMetaObject);
    EXPECT_TRUE(refused) << "the page closed on an allow list it cannot read";
    EXPECT_TRUE(reason.contains(QString::fromLatin1(c.text).trimmed())) << reason.toStdString();
    EXPECT_EQ(CfgOpt.PeerAllow, "10.0.0.0/8");
    EXPECT_EQ(CfgOpt.PeerMaxSpeed, 50'000);
    EXPECT_TRUE(m_engine->Limits().Allow.Active);
}

INSTANTIATE_TEST_SUITE_P(Texts, NetworkBadAllowList,
                         testing::Values(TBadAllowCase{"Hostname", "fileserver"},
                                         TBadAllowCase{"PrefixTooLong", "10.0.0.0/33"},
                                         TBadAllowCase{"EmptyEntry", "10.0.0.0/8,,10.1.0.0/16"},
                                         TBadAllowCase{"ThreeOctets", "192.168.1"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StoredColor, IsBlueGreenRedWithRedInTheLowByte) {
    EXPECT_EQ(ColorFromStored(0x00FF0000), QColor(0, 0, 255));
    EXPECT_EQ(ColorFromStored(0x00008000), QColor(0, 128, 0));
    EXPECT_EQ(ColorFromStored(0x000000FF), QColor(255, 0, 0));
    EXPECT_EQ(StoredFromColor(QColor(0x12, 0x34, 0x56)), 0x00563412);
    EXPECT_EQ(StoredFromColor(ColorFromStored(0x00ABCDEF)), 0x00ABCDEF);
}

TEST_F(SettingsDialogs, ColorsChangeAtOnceAndCancelRestoresAllThree) {
    const QColor chosen[] = {QColor(10, 20, 30), QColor(40, 50, 60), QColor(70, 80, 90)};
    RunDialog<TfmDlgColors>(
        TfmDlgColors::staticMetaObject,
        [&](TfmDlgColors& d) {
            EXPECT_FALSE(d.buChange()->isEnabled()) << "disabled until a line is chosen";
            EXPECT_TRUE(d.ColorDialog()->testOption(QColorDialog::DontUseNativeDialog));
            for (int i = 0; i < 3; ++i) {
                d.lbColors()->setCurrentRow(i);
                ASSERT_TRUE(d.buChange()->isEnabled());
                EXPECT_EQ(d.ColorDialog()->currentColor(),
                          ColorFromStored(kDefaultColors[static_cast<std::size_t>(i)]));
                const QColor color = chosen[i];
                WhileModal([&d, color] {
                    if (!d.ColorDialog()->isVisible())
                        return false;
                    d.ColorDialog()->setCurrentColor(color);
                    d.ColorDialog()->accept();
                    return true;
                });
                const int before = m_refreshes;
                if (i == 2)
                    d.lbColorsDblClick(); // a double click changes too
                else
                    d.buChange()->click();
                EXPECT_EQ(Colors[static_cast<std::size_t>(i)], StoredFromColor(color));
                EXPECT_EQ(m_refreshes, before + 1) << "the graphs take the colour at once";
            }
        },
        false);
    EXPECT_EQ(Colors, kDefaultColors);
    EXPECT_GE(m_refreshes, 4) << "Cancel refreshes the graphs with the old colours";
}

TEST_F(SettingsDialogs, ColorsOkSavesInTheStoredFormat) {
    RunDialog<TfmDlgColors>(
        TfmDlgColors::staticMetaObject,
        [](TfmDlgColors& d) {
            d.lbColors()->setCurrentRow(1);
            WhileModal([&d] {
                if (!d.ColorDialog()->isVisible())
                    return false;
                d.ColorDialog()->setCurrentColor(QColor(0x11, 0x22, 0x33));
                d.ColorDialog()->accept();
                return true;
            });
            d.buChange()->click();
        },
        true);
    EXPECT_EQ(Colors[coRecv], 0x00332211);
    EXPECT_NE(Ini().find(std::to_string(0x00332211)), std::string::npos) << Ini();
}

TEST_F(SettingsDialogs, PropertiesMergesThePagesAndCancelRevertsThemTogether) {
    TzfmDlg::AddConfigDlgForm(TfmDlgTime::staticMetaObject);
    TzfmDlg::AddConfigDlgForm(TfmDlgNet::staticMetaObject);
    TzfmDlg::AddConfigDlgForm(TfmDlgColors::staticMetaObject);
    QStringList captions;
    RunDialog<TzfmDlg>(
        TzfmDlg::staticMetaObject,
        [&](TzfmDlg& d) {
            for (int i = 0; i < d.PageControl()->count(); ++i)
                captions << d.PageControl()->tabText(i);
            auto* timer = d.findChild<QSpinBox*>("esTimer");
            auto* recv = d.findChild<QSpinBox*>("esRecvBuf");
            ASSERT_NE(timer, nullptr);
            ASSERT_NE(recv, nullptr);
            StepTo(timer, 25);
            EXPECT_EQ(m_engine->TimerPeriod(), 25);
            recv->setValue(100);
            Colors[coErrp] = 0x00123456; // as a chosen colour would
        },
        false);
    EXPECT_EQ(captions, (QStringList{"Timing", "Network", "Colors"}));
    EXPECT_EQ(m_engine->TimerPeriod(), 10);
    EXPECT_EQ(CfgOpt.SockRecvBuf, TCfgOpt{}.SockRecvBuf);
    EXPECT_EQ(Colors, kDefaultColors);
}

} // namespace
