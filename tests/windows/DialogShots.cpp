// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the dialogs for checking by eye and for the documentation:
//   dialog_shots FOLDER     (root; under Xvfb, e.g. DISPLAY=:5)
// The process moves into the harness's private namespaces first: the lookup
// picture shows two real copies answering on virtual hosts.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QListWidget>

#include "NetNs.h"
#include "cNet0.h"
#include "tShots.h"
#include "uConfig.h"
#include "uLogStore.h"
#include "uMain.h"
#include "uResultLog.h"
#include "vCenter.h"
#include "vDlgColor.h"
#include "vDlgNet.h"
#include "vDlgTime.h"
#include "vLookup.h"
#include "zInit.h"

namespace {

using shots::Pages;
using shots::Save;
using shots::ShotOfPageDialog;
using windows_test::WaitFor;

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dialog_shots FOLDER\n");
        return 2;
    }
    netns::EnterPrivateWorld();
    TzApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Ravelox");
    shots::Where().Folder = QString::fromLocal8Bit(argv[1]);
    Initialize_Brenlib();
    NetOutward.LookupText = [](const std::string& section, const std::string& key,
                               const std::string&) { return section + "/" + key; };

    netns::Topology net(3);
    std::vector<std::unique_ptr<TbNBSClient>> engines;
    for (int host = 0; host < 3; ++host) {
        netns::HostScope in(net, host);
        engines.push_back(std::make_unique<TbNBSClient>());
    }
    WaitFor([&] {
        for (const auto& e : engines)
            if (e->LocalAddress().empty())
                return false;
        return true;
    });
    engines[0]->SetRemoteHost(net.Address(1));

    TfmLookup* lookup = TzfmForm::Create<TfmLookup>();
    lookup->show();
    WaitFor([&] { return lookup->ListBox()->count() == 2; });
    lookup->ListBox()->setCurrentRow(0);
    Save(lookup, "lookup");
    TzfmForm::DestroyForm(lookup);

    TfmLookup* waiting = TzfmForm::Create<TfmLookup>();
    waiting->show();
    Save(waiting, "lookup-no-answer-yet");
    TzfmForm::DestroyForm(waiting);

    ShotOfPageDialog<TfmDlgTime>(TfmDlgTime::staticMetaObject, "timing", Pages::First);
    ShotOfPageDialog<TfmDlgNet>(TfmDlgNet::staticMetaObject, "network", Pages::First);
    ShotOfPageDialog<TfmDlgColors>(TfmDlgColors::staticMetaObject, "colors", Pages::First);
    TzfmDlg::AddConfigDlgForm(TfmDlgTime::staticMetaObject);
    TzfmDlg::AddConfigDlgForm(TfmDlgNet::staticMetaObject);
    TzfmDlg::AddConfigDlgForm(TfmDlgColors::staticMetaObject);
    ShotOfPageDialog<TzfmDlg>(TzfmDlg::staticMetaObject, "properties", Pages::First);

    shots::ShotsOfSystemDebugAndLock(nullptr);

    for (TzfmForm* form : TzfmForm::Forms())
        TzfmForm::DestroyForm(form);
    engines.clear();

    // The main window in view mode, showing a generated 10-minute log.
    {
        const std::string logPath = (shots::Where().Folder + "/view-sample.log").toStdString();
        {
            TResultLog log;
            log.OpenLog(logPath);
            for (std::uint32_t i = 0; i < 600; ++i) {
                const auto wave = static_cast<std::uint32_t>(1000 + (i % 120) * 25);
                log.WriteSample({'L', static_cast<std::uint16_t>(i % 97 == 0 ? 3 : 0), 1000 * i,
                                 wave / 2, wave});
                log.WriteSample({'R', static_cast<std::uint16_t>(i % 53 == 0 ? 2 : 0), 1000 * i,
                                 wave, wave / 2});
            }
            log.CloseLog();
        }
        TfmMain* window = nullptr;
        {
            netns::HostScope in(net, 0);
            window = TzfmForm::Create<TfmMain>();
            window->resize(1100, 620);
            window->show();
            WaitFor([window] { return window->IsStarted(); });
        }
        LogStore->SetPath(logPath);
        fmCenter->ActViewLog()->trigger();
        QTest::qWait(1500);
        fmCenter->UpdateSummary();
        Save(window, "main-view-mode");
        fmCenter->ActViewLog()->trigger();
        window->close();
        TzfmForm::DestroyForm(window);
        std::remove(logPath.c_str());
    }
    NetOutward = {};
    Finalize_Brenlib();
    return 0;
}
