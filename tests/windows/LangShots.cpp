// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the program's windows in a language, to check by eye that the
// translated texts fit:
//   lang_shots FOLDER -Lang=German     (root; under Xvfb, e.g. DISPLAY=:5)
// writes FOLDER/<window>-german.png for the main window and every window
// made on demand. The process moves into a private network namespace first:
// the main window starts the engine, whose broadcasts stay on loopback.
#include <cstdio>
#include <string>

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>

#include "NetNs.h"
#include "cNet0.h"
#include "tModal.h"
#include "uLock.h"
#include "uMain.h"
#include "vDebug.h"
#include "vDlgColor.h"
#include "vDlgNet.h"
#include "vDlgTime.h"
#include "vLookup.h"
#include "vSystem.h"
#include "zAbout.h"
#include "zInit.h"
#include "zLang.h"
#include "zMsgStr.h"
#include "zvTrans.h"

namespace {

using windows_test::WaitFor;
using windows_test::WhileModal;

QString g_folder;
QString g_suffix;

void Save(QWidget* window, const QString& name) {
    QTest::qWait(300);
    const QString path = g_folder + "/" + name + g_suffix + ".png";
    if (!window->window()->grab().save(path))
        std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

// A page dialog runs modal: the picture is taken from inside its loop, one
// per page.
template <class T> void ShotOfPageDialog(const QMetaObject& dialogClass, const QString& name) {
    WhileModal([name] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<T*>(w);
            if (dialog == nullptr || !dialog->isVisible() || !dialog->IsStarted())
                continue;
            QTabWidget* pages = dialog->PageControl();
            if (pages->count() <= 1) {
                Save(dialog, name);
            } else {
                for (int i = 0; i < pages->count(); ++i) {
                    if (!pages->isTabVisible(i))
                        continue;
                    pages->setCurrentIndex(i);
                    Save(dialog, name + "-" + QString::number(i + 1));
                }
            }
            dialog->bbCancel()->click();
            return true;
        }
        return false;
    });
    TzfmDlg::ShowConfigDialog(dialogClass);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: lang_shots FOLDER -Lang=NAME\n");
        return 2;
    }
    netns::EnterPrivateWorld();
    TzApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Ravelox");
    g_folder = QString::fromLocal8Bit(argv[1]);
    Initialize_Brenlib();
    InstallMessageBoxes();
    NetOutward.LookupText = LookupMessageText;

    auto* main = TzfmForm::Create<TfmMain>();
    main->resize(1100, 620);
    main->show();
    WaitFor([main] { return main->IsStarted(); });
    const std::string language = LangDef != nullptr ? LangDef->GetLanguage() : std::string();
    g_suffix = language.empty() ? QString() : "-" + QString::fromStdString(language).toLower();
    Save(main, "main-window");

    TfmLookup* lookup = TzfmForm::Create<TfmLookup>(main);
    lookup->show();
    Save(lookup, "lookup");
    TzfmForm::DestroyForm(lookup);

    ShotOfPageDialog<TfmDlgTime>(TfmDlgTime::staticMetaObject, "timing");
    ShotOfPageDialog<TfmDlgNet>(TfmDlgNet::staticMetaObject, "network");
    ShotOfPageDialog<TfmDlgColors>(TfmDlgColors::staticMetaObject, "colors");
    ShotOfPageDialog<TzfmDlg>(TzfmDlg::staticMetaObject, "properties");

    WhileModal([] {
        if (fmSystem == nullptr || !fmSystem->isVisible())
            return false;
        Save(fmSystem, "system");
        fmSystem->close();
        return true;
    });
    ShowSystemInfo(main);

    ShowVarWatch(main);
    WaitFor([] { return fmDebug != nullptr && fmDebug->isVisible(); });
    Save(fmDebug, "debug");
    fmDebug->close();

    WhileModal([] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return false;
        Save(box, "lock");
        box->button(QMessageBox::Ok)->click();
        return true;
    });
    LockApplication(main);

    auto* about = TzfmForm::Create<TzfmAboutBox>(main);
    about->show();
    Save(about, "about");
    TzfmForm::DestroyForm(about);

    TfmTrans* editor = ShowTransEditor(main);
    Save(editor, "language-editor");
    editor->close();

    main->close();
    TzfmForm::DestroyForm(main);
    NetOutward = {};
    Finalize_Brenlib();
    return 0;
}
