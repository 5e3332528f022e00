// SPDX-License-Identifier: GPL-3.0-or-later
// What the picture tools share (dialog_shots, lang_shots): saving a window's
// picture into the chosen folder, and the steps that open a window and take
// its picture from inside the loop it runs.
#pragma once

#include <cstdio>

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QString>
#include <QTabWidget>
#include <QWidget>

#include "tModal.h"
#include "uLock.h"
#include "vDebug.h"
#include "vSystem.h"
#include "zDlg.h"

namespace shots {

// Where pictures go: FOLDER/<name><suffix>.png.
struct Target {
    QString Folder;
    QString Suffix;
};

inline Target& Where() {
    static Target target;
    return target;
}

// Saves the picture of the window that holds `widget`; the path goes to
// stdout, a failure to stderr.
inline void Save(QWidget* widget, const QString& name) {
    QTest::qWait(300); // painted, and the window manager placed it
    const QString path = Where().Folder + "/" + name + Where().Suffix + ".png";
    if (!widget->window()->grab().save(path))
        std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

enum class Pages { First, Every };

// A page dialog runs modal: the picture is taken from inside its loop, of
// its first page or of every visible page ("name-1", "name-2", ...).
template <class T>
void ShotOfPageDialog(const QMetaObject& dialogClass, const QString& name, Pages pages) {
    windows_test::WhileModal([name, pages] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<T*>(w);
            if (dialog == nullptr || !dialog->isVisible() || !dialog->IsStarted())
                continue;
            QTabWidget* tabs = dialog->PageControl();
            if (pages == Pages::First || tabs->count() <= 1) {
                Save(dialog, name);
            } else {
                for (int i = 0; i < tabs->count(); ++i) {
                    if (!tabs->isTabVisible(i))
                        continue;
                    tabs->setCurrentIndex(i);
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

// The system information window, the debug window and the lock box, owned
// by `owner` (may be null).
inline void ShotsOfSystemDebugAndLock(QWidget* owner) {
    windows_test::WhileModal([] {
        if (fmSystem == nullptr || !fmSystem->isVisible())
            return false;
        Save(fmSystem, "system");
        fmSystem->close();
        return true;
    });
    ShowSystemInfo(owner);

    ShowVarWatch(owner);
    windows_test::WaitFor([] { return fmDebug != nullptr && fmDebug->isVisible(); });
    Save(fmDebug, "debug");
    fmDebug->close();

    windows_test::WhileModal([] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return false;
        Save(box, "lock");
        box->button(QMessageBox::Ok)->click();
        return true;
    });
    LockApplication(owner);
}

} // namespace shots
