// SPDX-License-Identifier: GPL-3.0-or-later
// framework_uplang: records the framework's own forms into the reference
// language file, as the program does with the switch UpLang:
//   RAVELOX_HOME=<folder> QT_QPA_PLATFORM=offscreen framework_uplang -UpLang
// writes <folder>/Default/ravelox.lng (exclusions from
// <folder>/Default/LangNone.ini and <folder>/../Brenlib/Default/LangNone.ini).
// With -Grab=<file.png> [-Lang=<name>] it instead opens the main window and
// the language editor on its section and saves a picture of both.
#include <cstdio>

#include <QPixmap>
#include <QTimer>

#include "bConfig.h"
#include "zForm.h"
#include "zInit.h"
#include "zLang.h"
#include "zMain.h"
#include "zParams.h"
#include "zTrace.h"
#include "zTrans.h"
#include "zvTrans.h"

int main(int argc, char* argv[]) {
    TzApplication app(argc, argv);
    Initialize_Brenlib();
    std::string picture;
    if (TbParam::GetParamValue("Grab", picture)) {
        auto* main = TzfmForm::Create<TzfmMain>();
        main->resize(560, 300);
        main->show();
        TfmTrans* editor = ShowTransEditor(main);
        editor->move(main->x() + 240, main->y() + 120);
        QTimer::singleShot(800, &app, [&] {
            main->grab().save(QString::fromStdString(picture + ".main.png"));
            editor->grab().save(QString::fromStdString(picture));
            app.quit();
        });
        app.exec();
        TzfmForm::DestroyForm(main);
        Finalize_Brenlib();
        return 0;
    }
    if (!CfgPar.UpLang) {
        std::fputs("framework_uplang: give -UpLang\n", stderr);
        return 2;
    }
    // The main window first: translation starts with it.
    auto* main = TzfmForm::Create<TzfmMain>();
    RecordFormClasses(FrameworkFormClasses(), main);
    TzfmForm::DestroyForm(main);
    Finalize_Brenlib();
    return 0;
}
