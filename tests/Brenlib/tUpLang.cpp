// SPDX-License-Identifier: GPL-3.0-or-later
// framework_uplang: records the framework's own forms into the reference
// language file, as the program does with the switch UpLang:
//   RAVELOX_HOME=<folder> QT_QPA_PLATFORM=offscreen framework_uplang
// writes <folder>/Default/ravelox.lng (exclusions from
// <folder>/Default/LangNone.ini and <folder>/../Brenlib/Default/LangNone.ini).
#include <QApplication>

#include "bConfig.h"
#include "zForm.h"
#include "zLang.h"
#include "zMsgStr.h"
#include "zTrans.h"
#include "zvTrans.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CfgPar.UpLang = true;
    InstallTranslation();
    InitMsgStrings();
    LangDef->MainWindowExists = true;
    for (const QMetaObject* form : {&TfmTrans::staticMetaObject})
        TzfmForm::DestroyForm(TzfmForm::CreateForm(*form));
    FreeTranslation();
    DoneMsgStrings();
    return 0;
}
