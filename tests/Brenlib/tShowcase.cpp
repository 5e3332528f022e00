// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the framework's windows for checking by eye: a main window
// with the test form docked, the tracer, the memory watch and the Properties
// dialog with the Trace page. Run under a display (Xvfb); writes PNG files
// into the folder given as the first argument, then ends.
#include <cstdlib>

#include <QDir>
#include <QTemporaryDir>
#include <QTabWidget>
#include <QTimer>

#include "bConfig.h"
#include "forms/tTestForm.h"
#include "zCfgDbg.h"
#include "zDlg.h"
#include "zInit.h"
#include "zMain.h"
#include "zStatus.h"
#include "zTrace.h"
#include "zzWatchD.h"

namespace {

void Save(QWidget* window, const QString& folder, const QString& name) {
    window->grab().save(folder + "/" + name + ".png");
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    ::setenv("RAVELOX_HOME", home.path().toLocal8Bit().constData(), 1);
    {
        QFile ini(home.filePath("ravelox.INI"));
        ini.open(QIODevice::WriteOnly);
        ini.write("[Debug]\nDebug=1\nTrace=1\nStatToTr=1\nMaxTrace=100\n");
    }
    TzApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(folder);
    Initialize_Brenlib();
    DevLevel = 3;
    TzfmDlg::AddConfigDlgForm(TfmTestDlgA::staticMetaObject);

    auto* main = TzfmForm::Create<TzfmMain>();
    main->setSaveLayout(false);
    main->setWindowTitle("Framework test form");
    main->resize(560, 340);
    QPointer<TfmTestForm> form;
    main->DockFrameClient(form);
    main->move(20, 20);
    main->show();
    Stat->Msg("Status line: StatToTr copies this to the tracer");

    Trac->PushTime("Loading settings");
    Trac->Msg("read section Debug");
    Trac->MsgStringList("Languages", {"<None>", "German"});
    Trac->PopTime();
    Trac->ErrorFmt("%s: %d", "socket", 98);
    Trac->MsgFmt("%d apples", "seven"); // a mismatched placeholder, traced
    Trac->move(600, 20);
    Trac->show();

    QAction memory("Memory");
    memory.setCheckable(true);
    memory.setChecked(true);
    DlgWatchShow(&memory);
    DlgWatch->move(600, 360);

    auto* dialog = TzfmForm::Create<TzfmDlg>();
    dialog->setSaveLayout(false);
    dialog->PageControl()->setCurrentIndex(0); // Trace
    dialog->move(20, 400);
    dialog->show();

    QTimer::singleShot(1500, &app, [&] {
        Save(main, folder, "framework-main");
        Save(Trac, folder, "framework-tracer");
        Save(DlgWatch, folder, "framework-watch");
        Save(dialog, folder, "framework-properties");
        app.quit();
    });
    app.exec();
    TzfmForm::DestroyForm(dialog);
    if (DlgWatch != nullptr)
        TzfmForm::DestroyForm(DlgWatch);
    TzfmForm::DestroyForm(main);
    Finalize_Brenlib();
    return 0;
}
