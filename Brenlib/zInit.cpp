// SPDX-License-Identifier: GPL-3.0-or-later
#include "zInit.h"

#include <QMessageBox>
#include <QThread>

#include "bConfig.h"
#include "zAbout.h"
#include "zDebug.h"
#include "zDlg.h"
#include "zDlgDbg.h"
#include "zExcept.h"
#include "zIniReg.h"
#include "zMsgStr.h"
#include "zSplash.h"
#include "zTrace.h"
#include "zTrans.h"
#include "zTransW.h"
#include "zUtils.h"
#include "zvTrans.h"
#include "zzWatchD.h"

// The library's own language definition and message strings, unless a
// program installs others before start-up.
RzStartHooks StartHooks{[] { InstallFrameworkTranslation(); }, [] { InitMsgStrings(); }};

void InstallFrameworkTranslation() {
    InstallTranslation();
    InstallTransWriter();
    zDbg.ShowLangEdit = [](QWidget* form) { ShowTransEditor(form); };
}

void FreeFrameworkTranslation() {
    zDbg.ShowLangEdit = {};
    FreeTransWriter();
    FreeTranslation();
}

std::vector<const QMetaObject*> FrameworkFormClasses() {
    return {&TzfmAboutBox::staticMetaObject, &TzfmDlg::staticMetaObject,
            &TzfmDlgDebug::staticMetaObject, &TzfmTrace::staticMetaObject,
            &TfmWatchD::staticMetaObject,    &TfmTrans::staticMetaObject};
}

void ShowExceptionBox(const std::string& text, const std::string& className) {
    auto* app = QCoreApplication::instance();
    if (app == nullptr)
        return;
    if (QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(
            app, [text, className] { ShowExceptionBox(text, className); }, Qt::QueuedConnection);
        return;
    }
    QMessageBox box(QMessageBox::Critical,
                    QString::fromStdString(className.empty() ? std::string("Error") : className),
                    QString::fromStdString(text), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool Initialize_Brenlib(const std::string& iniFileName) {
    if (IniMain != nullptr)
        return false;
    if (StartHooks.CreateLangDef)
        StartHooks.CreateLangDef();
    InitSettingsStore(iniFileName);
    try {
        bCfgOpt.Read();
    } catch (const EConvertError&) {
        // A malformed option keeps its default.
    }
    if (StartHooks.CreateMsgStr)
        StartHooks.CreateMsgStr();
    zDbg.SplashOpen = [](const QMetaObject* splashClass) { SplashOpen(splashClass); };
    zDbg.SplashClose = [](int minimumMs) { SplashClose(minimumMs); };
    zDbg.WatchShow = [](QAction* item) { DlgWatchShow(item); };
    SetExceptionHandler(ShowExceptionBox);
    TzfmDlg::AddConfigDlgForm(TzfmDlgDebug::staticMetaObject);
    return true;
}

void Finalize_Brenlib() {
    zDbg.SplashOpen = nullptr;
    zDbg.SplashClose = nullptr;
    zDbg.WatchShow = nullptr;
    SetExceptionHandler({});
    DoneMsgStrings();
    FreeFrameworkTranslation();
    FreeLangDef();
    DoneSettingsStore();
}

TzApplication::TzApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TzApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleCurrentException();
        return false;
    }
}
