// SPDX-License-Identifier: GPL-3.0-or-later
#include "uMainDialogs.h"

#include <QAction>
#include <QMessageBox>
#include <QTimer>

#include "bConfig.h"
#include "uConfig.h"
#include "uDlgHooks.h"
#include "uLock.h"
#include "uLogStore.h"
#include "uMain.h"
#include "vCenter.h"
#include "vDebug.h"
#include "vDlgColor.h"
#include "vDlgNet.h"
#include "vDlgTime.h"
#include "vLocal.h"
#include "vLookup.h"
#include "vRemote.h"
#include "vSystem.h"
#include "zTrans.h"
#include "zTransW.h"

namespace {

constexpr int kUpdateInterval = 250;

void RefreshPanels() {
    for (TzfmCliSrv* panel :
         {static_cast<TzfmCliSrv*>(fmLocal.data()), static_cast<TzfmCliSrv*>(fmRemote.data())})
        if (panel != nullptr)
            panel->ApplyOptions(CfgOpt); // colours and the time axis
    // A panel showing a stored log keeps its axis in minutes.
    if (LogStore && LogStore->Viewing())
        LogStore->RefreshLogView();
}

template <class TDialog> void ShowPage() {
    TzfmDlg::ShowConfigDialog(TDialog::staticMetaObject);
}

void Connect(TfmMain* main, const char* name, std::function<void()> run) {
    if (QAction* action = main->Action(name))
        QObject::connect(action, &QAction::triggered, main, std::move(run));
}

} // namespace

void RegisterSettingsPages() {
    TzfmDlg::AddConfigDlgForm(TfmDlgTime::staticMetaObject);
    TzfmDlg::AddConfigDlgForm(TfmDlgNet::staticMetaObject);
    TzfmDlg::AddConfigDlgForm(TfmDlgColors::staticMetaObject);
}

void ActLookupExecute(TfmMain* main) {
    const std::string host = LookupServer(main);
    if (!host.empty() && fmRemote)
        fmRemote->SetHost(QString::fromStdString(host));
}

void ConnectDialogs(TfmMain* main) {
    RegisterSettingsPages();
    ColorHook = RefreshPanels;
    ViewTimeHook = [](int ms) {
        if (fmMain)
            fmMain->SetViewTime(ms);
    };

    Connect(main, "ActLookup", [main] { ActLookupExecute(main); });
    Connect(main, "miCfgTiming", [] { ShowPage<TfmDlgTime>(); });
    Connect(main, "miCfgNetwork", [] { ShowPage<TfmDlgNet>(); });
    Connect(main, "miColors", [] { ShowPage<TfmDlgColors>(); });
    Connect(main, "miSystem", [main] { ShowSystemInfo(main); });
    Connect(main, "miVarWatch", [main] { ShowVarWatch(main); });
    Connect(main, "miLock", [main] { LockApplication(main); });

    auto* store = new TLogStore(main);
    store->ShowStatus = [](const TLogStore::TMakeText& make) {
        if (fmMain)
            fmMain->ShowStatusLine(make);
    };
    store->ShowWarning = [main](const QString& text) {
        // Not modal: the view timer goes on while the user reads it.
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Ravelox"), text,
                                    QMessageBox::Ok, main);
        box->setObjectName(QStringLiteral("LogWarning"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    if (fmCenter)
        store->Attach(fmCenter->ActStoreLog(), fmCenter->ActViewLog());

    // Lookup is not offered while this side sends.
    auto* update = new QTimer(main);
    update->setInterval(kUpdateInterval);
    QObject::connect(update, &QTimer::timeout, main, [main] {
        if (QAction* lookup = main->Action("ActLookup"))
            lookup->setEnabled(LookupAllowed());
    });
    update->start();
}

std::vector<const QMetaObject*> OnDemandFormClasses() {
    return {&TfmLookup::staticMetaObject, &TfmDlgTime::staticMetaObject,
            &TfmDlgNet::staticMetaObject, &TfmDlgColors::staticMetaObject,
            &TfmSystem::staticMetaObject, &TfmDebug::staticMetaObject};
}

void RecordOnDemandForms(TfmMain* main) {
    if (!CfgPar.UpLang)
        return;
    std::vector<const QMetaObject*> classes = FrameworkFormClasses();
    const std::vector<const QMetaObject*> own = OnDemandFormClasses();
    classes.insert(classes.end(), own.begin(), own.end());
    RecordFormClasses(classes, main);
    qInfo("UpLang: every form recorded into %s", TransWriter()->File().FileName().c_str());
}
