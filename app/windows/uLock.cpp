// SPDX-License-Identifier: GPL-3.0-or-later
#include "uLock.h"

#include <QApplication>
#include <QMessageBox>

#include "zExcept.h"
#include "zMsgStr.h"

QString LockText() {
    // The application's message store (its missing-line text included);
    // before it exists, the framework's line source.
    const std::string line =
        MsgApp != nullptr ? MsgApp->GetLine("Strings", 1) : MsgLine("Strings", 1);
    return "\n" + QString::fromStdString(line) + "\n";
}

QMessageBox* MakeLockBox(QWidget* owner) {
    auto* box = new QMessageBox(QMessageBox::Warning, QApplication::applicationDisplayName(),
                                LockText(), QMessageBox::Ok, owner);
    box->setObjectName("LockBox");
    box->setTextFormat(Qt::PlainText);
    box->setWindowModality(Qt::ApplicationModal);
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

void LockApplication(QWidget* owner) {
    QMessageBox* box = MakeLockBox(owner);
    box->show();
    box->raise();
    box->activateWindow();
    box->exec();
}
