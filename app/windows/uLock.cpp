// SPDX-License-Identifier: GPL-3.0-or-later
#include "uLock.h"

#include <QApplication>
#include <QMessageBox>

#include "zExcept.h"

QString LockText() {
    return "\n" + QString::fromStdString(MsgLine("Strings", 1)) + "\n";
}

QMessageBox* MakeLockBox(QWidget* owner) {
    auto* box = new QMessageBox(QMessageBox::Warning, QApplication::applicationDisplayName(),
                                LockText(), QMessageBox::Ok, owner);
    box->setObjectName("LockBox");
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
