// SPDX-License-Identifier: GPL-3.0-or-later
// The lookup dialog, the System and Debug windows and the lock, with real
// engines in the harness's namespaces.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "NetNs.h"
#include "tModal.h"
#include "cNet0.h"
#include "uConfig.h"
#include "uLock.h"
#include "vDebug.h"
#include "vLookup.h"
#include "vSystem.h"
#include "zMsgStr.h"

namespace {

using namespace std::chrono_literals;

using windows_test::WaitFor;
using windows_test::WhileModal;

class DialogTest : public testing::Test {
protected:
    void SetUp() override {
        CfgOpt = TCfgOpt{};
        Cfg = TCfg{};
        NetOutward.ShowText = [](const std::string& text, const std::string& caption) {
            ADD_FAILURE() << "box from the engine: " << caption << ": " << text;
        };
        NetOutward.LookupText = [](const std::string& section, const std::string& key,
                                   const std::string&) { return section + "/" + key; };
        NetOutward.ShowTextOnAnyThread = true;
    }
    void TearDown() override {
        for (TzfmForm* form : TzfmForm::Forms())
            TzfmForm::DestroyForm(form);
        m_engines.clear();
        NetOutward = TNetOutward{};
    }

    // The links carry datagrams once the kernel reports them up; an engine
    // started before would meet "network unreachable" on its first send.
    static bool LinksUp(const netns::Topology& net) {
        return WaitFor([&net] {
            for (int i = 0; i < net.Hosts(); ++i)
                if (net.ExecOutput(i, "cat /sys/class/net/" + net.Device(i) + "/operstate")
                        .find("up") != 0)
                    return false;
            return true;
        });
    }
    // An engine in the process's own private world (loopback only).
    TbNBSClient& WorldEngine() {
        m_engines.push_back(std::make_unique<TbNBSClient>());
        return *m_engines.back();
    }
    // The first engine made is the program's (NetClient).
    TbNBSClient& Engine(const netns::Topology& net, int host) {
        netns::HostScope in(net, host);
        m_engines.push_back(std::make_unique<TbNBSClient>());
        return *m_engines.back();
    }
    bool AllKnowTheirAddress() {
        return WaitFor([this] {
            return std::all_of(m_engines.begin(), m_engines.end(),
                               [](const auto& e) { return !e->LocalAddress().empty(); });
        });
    }

    std::vector<std::unique_ptr<TbNBSClient>> m_engines;
};

std::set<std::string> Lines(const QListWidget* list) {
    std::set<std::string> lines;
    for (int i = 0; i < list->count(); ++i)
        lines.insert(list->item(i)->text().toStdString());
    return lines;
}

void DoubleClickRow(QListWidget* list, int row) {
    QListWidgetItem* item = list->item(row);
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

class Lookup : public DialogTest {
protected:
    void StartThreeHosts() {
        m_net = std::make_unique<netns::Topology>(3);
        ASSERT_TRUE(LinksUp(*m_net));
        TbNBSClient& own = Engine(*m_net, 0);
        Engine(*m_net, 1);
        Engine(*m_net, 2);
        ASSERT_EQ(NetClient.load(), &own);
        ASSERT_TRUE(AllKnowTheirAddress());
        own.SetRemoteHost(m_net->Address(1));
        m_oldHost = own.GetRemoteHost();
    }
    std::set<std::string> Responders() const { return {m_net->Address(1), m_net->Address(2)}; }
    TbNBSClient& Own() { return *m_engines.front(); }

    std::unique_ptr<netns::Topology> m_net;
    std::string m_oldHost;
};

TEST_F(Lookup, ListsBothRespondersAndADoubleClickChoosesOne) {
    StartThreeHosts();
    TfmLookup* dialog = TzfmForm::Create<TfmLookup>();
    EXPECT_EQ(dialog->ListBox()->count(), 1);
    EXPECT_EQ(dialog->ListBox()->item(0)->text().toStdString(), kNoServerLine);
    EXPECT_FALSE(dialog->OkButton()->isEnabled());
    dialog->show();
    ASSERT_TRUE(WaitFor([&] { return dialog->Running(); }));
    EXPECT_TRUE(Own().LookupActive());
    ASSERT_TRUE(WaitFor([&] { return dialog->ListBox()->count() == 2; }))
        << dialog->ListBox()->count();
    EXPECT_TRUE(dialog->OkButton()->isEnabled());
    EXPECT_EQ(Lines(dialog->ListBox()), Responders());

    const std::string chosen = dialog->ListBox()->item(1)->text().toStdString();
    DoubleClickRow(dialog->ListBox(), 1);
    EXPECT_EQ(dialog->ModalResult(), mrOk);
    EXPECT_EQ(dialog->SelectedHost(), chosen);
    EXPECT_FALSE(dialog->Running());
    EXPECT_FALSE(Own().LookupActive());
    EXPECT_EQ(Own().GetRemoteHost(), m_oldHost);
}

TEST_F(Lookup, LookupServerAnswersTheConfirmedHostOrNothingOnCancel) {
    StartThreeHosts();
    // OK on a selected line.
    WhileModal([] {
        auto* dialog = qobject_cast<TfmLookup*>(QApplication::activeModalWidget());
        for (QWidget* w : QApplication::topLevelWidgets())
            if (dialog == nullptr)
                dialog = qobject_cast<TfmLookup*>(w);
        if (dialog == nullptr || dialog->ListBox()->count() < 2 || !dialog->OkButton()->isEnabled())
            return false;
        dialog->ListBox()->setCurrentRow(0);
        dialog->OkButton()->click();
        return true;
    });
    const std::string host = LookupServer();
    EXPECT_TRUE(Responders().count(host) == 1) << host;
    EXPECT_FALSE(Own().LookupActive());
    EXPECT_EQ(Own().GetRemoteHost(), m_oldHost);
    EXPECT_TRUE(TzfmForm::Forms().empty()) << "the dialog is destroyed";

    // Escape after the answers came in: nothing, and the engine as it was.
    // (Should the key not close it, Cancel does after 3 s and the test fails.)
    bool escaped = false;
    const auto pressed = std::make_shared<std::chrono::steady_clock::time_point>();
    WhileModal([&escaped, pressed] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<TfmLookup*>(w);
            if (dialog == nullptr || !dialog->isVisible())
                continue;
            if (!escaped) {
                if (dialog->ListBox()->count() < 2)
                    return false;
                escaped = true;
                *pressed = std::chrono::steady_clock::now();
                QTest::keyClick(dialog, Qt::Key_Escape);
                return false;
            }
            if (std::chrono::steady_clock::now() - *pressed > 3s) {
                ADD_FAILURE() << "Escape did not close the dialog";
                dialog->CancelButton()->click();
                return true;
            }
            return false;
        }
        return escaped;
    });
    EXPECT_EQ(LookupServer(), "");
    EXPECT_FALSE(Own().LookupActive());
    EXPECT_EQ(Own().GetRemoteHost(), m_oldHost);
}

TEST_F(Lookup, OkWithoutASelectionKeepsSearchingAndABackgroundDoubleClickStopsIt) {
    StartThreeHosts();
    TfmLookup* dialog = TzfmForm::Create<TfmLookup>();
    dialog->show();
    ASSERT_TRUE(WaitFor([&] { return dialog->OkButton()->isEnabled(); }));
    dialog->ListBox()->clearSelection();
    dialog->ListBox()->setCurrentRow(-1);
    dialog->OkButton()->click();
    EXPECT_EQ(dialog->ModalResult(), mrNone);
    EXPECT_TRUE(dialog->Running());
    EXPECT_TRUE(Own().LookupActive());

    // On the button panel's background, below the list.
    QWidget* panel = dialog->findChild<QWidget*>("paBottom");
    ASSERT_NE(panel, nullptr);
    QTest::mouseDClick(panel, Qt::LeftButton, {}, QPoint(panel->width() - 5, 5));
    EXPECT_FALSE(dialog->Running());
    EXPECT_FALSE(Own().LookupActive());
    EXPECT_EQ(Own().GetRemoteHost(), m_oldHost);
    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open with its list";
    EXPECT_EQ(dialog->ModalResult(), mrNone);
}

TEST_F(Lookup, DestroyingTheDialogWhileSearchingLeavesLookupMode) {
    StartThreeHosts();
    TfmLookup* dialog = TzfmForm::Create<TfmLookup>();
    dialog->show();
    ASSERT_TRUE(WaitFor([&] { return dialog->Running(); }));
    ASSERT_TRUE(Own().LookupActive());
    TzfmForm::DestroyForm(dialog);
    EXPECT_FALSE(Own().LookupActive());
    EXPECT_EQ(Own().GetRemoteHost(), m_oldHost);
}

TEST_F(Lookup, NoAnswerKeepsThePlaceholderAndOkDisabled) {
    // Alone in the private world: nobody answers.
    TbNBSClient& own = WorldEngine();
    ASSERT_TRUE(AllKnowTheirAddress());
    TfmLookup* dialog = TzfmForm::Create<TfmLookup>();
    dialog->show();
    ASSERT_TRUE(WaitFor([&] { return dialog->Running(); }));
    auto* timer = dialog->findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    QSignalSpy steps(timer, &QTimer::timeout);
    ASSERT_TRUE(WaitFor([&] { return steps.count() >= 10; }));
    EXPECT_EQ(dialog->ListBox()->count(), 1);
    EXPECT_EQ(dialog->ListBox()->item(0)->text().toStdString(), kNoServerLine);
    EXPECT_FALSE(dialog->OkButton()->isEnabled());
    EXPECT_TRUE(own.LookupActive());
}

TEST_F(Lookup, IsNotOfferedWhileThisSideSends) {
    StartThreeHosts();
    EXPECT_TRUE(LookupAllowed());
    Own().SetSending(true, false);
    ASSERT_TRUE(Own().IsSending(false));
    EXPECT_FALSE(LookupAllowed());
    EXPECT_EQ(LookupServer(), "");
    EXPECT_TRUE(TzfmForm::Forms().empty()) << "no dialog while sending";
    EXPECT_FALSE(Own().LookupActive());
    EXPECT_EQ(Own().GetRemoteHost(), m_oldHost);
    Own().SetSending(false, false);
}

TEST_F(DialogTest, SystemWindowShowsTheSocketStartUpRecordAndIsReused) {
    WorldEngine();
    ASSERT_FALSE(SocketInfo.szDescription.empty());
    std::vector<TfmSystem*> shown;
    for (int i = 0; i < 2; ++i) {
        WhileModal([&shown] {
            if (fmSystem == nullptr || !fmSystem->isVisible())
                return false;
            shown.push_back(fmSystem.data());
            fmSystem->close();
            return true;
        });
        ShowSystemInfo(nullptr);
    }
    ASSERT_EQ(shown.size(), 2U);
    EXPECT_EQ(shown[0], shown[1]) << "the same window both times";
    EXPECT_EQ(fmSystem->Description()->text().toStdString(), SocketInfo.szDescription);
    EXPECT_EQ(fmSystem->Status()->text().toStdString(), SocketInfo.szSystemStatus);
    EXPECT_TRUE(fmSystem->Vendor()->text().isEmpty());
    const TbNSocketBuffers buffers = m_engines.front()->SocketBuffers();
    ASSERT_GT(buffers.RecvBuf, 0);
    EXPECT_EQ(fmSystem->SocketBuffers()->text(),
              QString("Buffers in force: receive %1 KB, send %2 KB")
                  .arg(buffers.RecvBuf / 1024)
                  .arg(buffers.SendBuf / 1024));
    TzfmForm::DestroyForm(fmSystem);
    EXPECT_EQ(fmSystem, nullptr);
}

TEST_F(DialogTest, DebugWindowWatchesTheSendQueue) {
    TbNBSClient& engine = WorldEngine();
    ShowVarWatch(nullptr);
    ASSERT_NE(fmDebug, nullptr);
    TfmDebug* first = fmDebug;
    ShowVarWatch(nullptr);
    EXPECT_EQ(fmDebug, first) << "no second Debug window";
    EXPECT_EQ(fmDebug->SendQueueMaxLine()->text(),
              QString::number(engine.SendQueueMax()) + "   SendQueueMax");
    EXPECT_TRUE(fmDebug->SendQueueLine()->text().endsWith("   SendQueue"));
    EXPECT_TRUE(fmDebug->MaxSendQueueLine()->text().endsWith("   MaxSendQueue"));
    EXPECT_TRUE(fmDebug->Timer()->isActive());
    EXPECT_EQ(fmDebug->Timer()->interval(), 500);

    // 0 stops the refresh; a value above 0 restarts it at that interval.
    fmDebug->Refresh()->setValue(0);
    EXPECT_FALSE(fmDebug->Timer()->isActive());
    fmDebug->Refresh()->setValue(150);
    EXPECT_TRUE(fmDebug->Timer()->isActive());
    EXPECT_EQ(fmDebug->Timer()->interval(), 150);

    QSignalSpy ticks(fmDebug->Timer(), &QTimer::timeout);
    ASSERT_TRUE(ticks.wait(2000));
    fmDebug->sbClearClick();
    EXPECT_EQ(fmDebug->MaxSeen(), 0);
    fmDebug->TimerTimer();
    EXPECT_GE(fmDebug->MaxSeen(), 0);
    EXPECT_EQ(fmDebug->MaxSendQueueLine()->text(),
              QString::number(fmDebug->MaxSeen()) + "   MaxSendQueue");

    // Closing frees it and clears the reference.
    fmDebug->close();
    ASSERT_TRUE(WaitFor([] { return fmDebug == nullptr; }));
}

TEST_F(DialogTest, LockBoxIsModalOnTopAndTheTimersKeepRunning) {
    QMessageBox* box = MakeLockBox(nullptr);
    EXPECT_EQ(box->windowTitle(), "Ravelox");
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(box->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(box->text().startsWith("\n"));
    EXPECT_TRUE(box->text().endsWith("\n"));
    EXPECT_EQ(box->text(), LockText());
    EXPECT_EQ(box->textFormat(), Qt::PlainText) << "a message line is no markup";
    delete box;

    // With the message strings up: line 1 of "Strings" of the program's own
    // shipped message file.
    InitMsgStrings();
    ASSERT_NE(MsgApp, nullptr);
    EXPECT_EQ(LockText(), "\n" + QString::fromStdString(MsgApp->GetLine("Strings", 1)) + "\n");
    EXPECT_EQ(LockText().trimmed(), "Ravelox is locked. Close this box to go on.");
    DoneMsgStrings();

    // A window timer ticks on while the box waits for OK.
    QTimer timer;
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, &timer, [&ticks] { ++ticks; });
    timer.start(10);
    int ticksWhenShown = -1;
    WhileModal([&] {
        auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (shown == nullptr)
            return false;
        if (ticksWhenShown < 0)
            ticksWhenShown = ticks;
        if (ticks < ticksWhenShown + 5)
            return false;
        shown->button(QMessageBox::Ok)->click();
        return true;
    });
    LockApplication(nullptr);
    EXPECT_GE(ticks, ticksWhenShown + 5);
}

} // namespace
