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

#include "NetNs.h"
#include "cNet0.h"
#include "tShots.h"
#include "uMain.h"
#include "vDlgColor.h"
#include "vDlgNet.h"
#include "vDlgTime.h"
#include "vLookup.h"
#include "zAbout.h"
#include "zInit.h"
#include "zLang.h"
#include "zMsgStr.h"
#include "zvTrans.h"

namespace {

using shots::Pages;
using shots::Save;
using shots::ShotOfPageDialog;
using windows_test::WaitFor;

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: lang_shots FOLDER -Lang=NAME\n");
        return 2;
    }
    netns::EnterPrivateWorld();
    TzApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Ravelox");
    shots::Where().Folder = QString::fromLocal8Bit(argv[1]);
    Initialize_Brenlib();
    InstallMessageBoxes();
    NetOutward.LookupText = LookupMessageText;

    auto* main = TzfmForm::Create<TfmMain>();
    main->resize(1100, 620);
    main->show();
    WaitFor([main] { return main->IsStarted(); });
    const std::string language = LangDef != nullptr ? LangDef->GetLanguage() : std::string();
    shots::Where().Suffix =
        language.empty() ? QString() : "-" + QString::fromStdString(language).toLower();
    Save(main, "main-window");

    TfmLookup* lookup = TzfmForm::Create<TfmLookup>(main);
    lookup->show();
    Save(lookup, "lookup");
    TzfmForm::DestroyForm(lookup);

    ShotOfPageDialog<TfmDlgTime>(TfmDlgTime::staticMetaObject, "timing", Pages::Every);
    ShotOfPageDialog<TfmDlgNet>(TfmDlgNet::staticMetaObject, "network", Pages::Every);
    ShotOfPageDialog<TfmDlgColors>(TfmDlgColors::staticMetaObject, "colors", Pages::Every);
    ShotOfPageDialog<TzfmDlg>(TzfmDlg::staticMetaObject, "properties", Pages::Every);

    shots::ShotsOfSystemDebugAndLock(main);

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
