// SPDX-License-Identifier: GPL-3.0-or-later
// Message boxes of the message strings, shown with QMessageBox.
#include "zMsgStr.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::StandardButtons ButtonsOf(unsigned flags) {
    switch (flags & mbButtonsMask) {
    case mbOKCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case mbAbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case mbYesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case mbYesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case mbRetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    default:
        return QMessageBox::Ok;
    }
}

QMessageBox::Icon IconOf(unsigned flags) {
    switch (flags & mbIconMask) {
    case mbIconStop:
        return QMessageBox::Critical;
    case mbIconQuestion:
        return QMessageBox::Question;
    case mbIconWarning:
        return QMessageBox::Warning;
    case mbIconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int ResultOf(int button) {
    switch (button) {
    case QMessageBox::Ok:
        return idOk;
    case QMessageBox::Cancel:
        return idCancel;
    case QMessageBox::Abort:
        return idAbort;
    case QMessageBox::Retry:
        return idRetry;
    case QMessageBox::Ignore:
        return idIgnore;
    case QMessageBox::Yes:
        return idYes;
    case QMessageBox::No:
        return idNo;
    default:
        return idClose; // closed with the window's own button or Escape
    }
}

} // namespace

int ShowMessageBoxQt(const std::string& text, const std::string& caption, unsigned flags) {
    QMessageBox box(IconOf(flags), QString::fromStdString(caption), QString::fromStdString(text),
                    ButtonsOf(flags), QApplication::activeWindow());
    // Message lines are plain text like labels: a "<" from a file or a
    // translator is shown, never taken as markup.
    box.setTextFormat(Qt::PlainText);
    return ResultOf(box.exec());
}

void InstallMessageBoxes() {
    TbMsgStr::ShowBox = ShowMessageBoxQt;
}
