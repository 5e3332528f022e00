// SPDX-License-Identifier: GPL-3.0-or-later
#include "uMainDialogs.h"

#include <QAction>
#include <QTimer>

#include "bConfig.h"
#include "uConfig.h"
#include "uDlgHooks.h"
#include "uLock.h"
#include "vDebug.h"
#include "vDlgColor.h"
#include "vDlgNet.h"
#include "vDlgTime.h"
#include "vLookup.h"
#include "vSystem.h"
#include "zInit.h"
#include "zTrans.h"
#include "zTransW.h"

namespace {

constexpr int kUpdateInterval = 250;

template <class TDialog> void ShowPage() {
    TzfmDlg::ShowConfigDialog(TDialog::staticMetaObject);
}

void Connect(QWidget* main, const char* name, std::function<void()> run) {
    if (QAction* action = main->findChild<QAction*>(QLatin1String(name)))
        QObject::connect(action, &QAction::triggered, main, std::move(run));
}

} // namespace

void RegisterSettingsPages() {
    TzfmDlg::AddConfigDlgForm(TfmDlgTime::staticMetaObject);
    TzfmDlg::AddConfigDlgForm(TfmDlgNet::staticMetaObject);
    TzfmDlg::AddConfigDlgForm(TfmDlgColors::staticMetaObject);
}

void ActLookupExecute(QWidget* main, const std::function<void(const QString&)>& setHost) {
    const std::string host = LookupServer(main);
    if (!host.empty() && setHost)
        setHost(QString::fromStdString(host));
}

void ConnectDialogs(QWidget* main, const TDialogLinks& links) {
    RegisterSettingsPages();
    ColorHook = links.RefreshPanels;
    ViewTimeHook = links.SetViewTime;

    Connect(main, "ActLookup",
            [main, setHost = links.SetHost] { ActLookupExecute(main, setHost); });
    Connect(main, "miCfgTiming", [] { ShowPage<TfmDlgTime>(); });
    Connect(main, "miCfgNetwork", [] { ShowPage<TfmDlgNet>(); });
    Connect(main, "miColors", [] { ShowPage<TfmDlgColors>(); });
    Connect(main, "miSystem", [main] { ShowSystemInfo(main); });
    Connect(main, "miVarWatch", [main] { ShowVarWatch(main); });
    Connect(main, "miLock", [main] { LockApplication(main); });

    // Lookup is not offered while this side sends.
    auto* update = new QTimer(main);
    update->setInterval(kUpdateInterval);
    QObject::connect(update, &QTimer::timeout, main, [main] {
        if (QAction* lookup = main->findChild<QAction*>(QStringLiteral("ActLookup")))
            lookup->setEnabled(LookupAllowed());
    });
    update->start();
}

std::vector<const QMetaObject*> OnDemandFormClasses() {
    return {&TfmLookup::staticMetaObject, &TfmDlgTime::staticMetaObject,
            &TfmDlgNet::staticMetaObject, &TfmDlgColors::staticMetaObject,
            &TfmSystem::staticMetaObject, &TfmDebug::staticMetaObject};
}

void RecordOnDemandForms(QWidget* main) {
    if (!CfgPar.UpLang)
        return;
    std::vector<const QMetaObject*> classes = FrameworkFormClasses();
    const std::vector<const QMetaObject*> own = OnDemandFormClasses();
    classes.insert(classes.end(), own.begin(), own.end());
    RecordFormClasses(classes, main);
    qInfo("UpLang: every form recorded into %s", TransWriter()->File().FileName().c_str());
}
