// SPDX-License-Identifier: GPL-3.0-or-later
#include "zDebug.h"

Rz_Dbg zDbg;
Rz_DbgDB zDbgDB;

bool Tz_Dbg::SplashOpen(const QMetaObject* splashClass) {
    if (!zDbg.SplashOpen)
        return false;
    zDbg.SplashOpen(splashClass);
    return true;
}

bool Tz_Dbg::SplashClose(int minimumMs) {
    if (!zDbg.SplashClose)
        return false;
    zDbg.SplashClose(minimumMs);
    return true;
}

bool Tz_Dbg::ShowComponents(QWidget* form) {
    if (!zDbg.ShowComponents)
        return false;
    if (form != nullptr)
        zDbg.ShowComponents(form);
    return true;
}

bool Tz_Dbg::ShowLangEdit(QWidget* form) {
    if (!zDbg.ShowLangEdit)
        return false;
    if (form != nullptr)
        zDbg.ShowLangEdit(form);
    return true;
}

bool Tz_Dbg::WatchShow(QAction* menuItem) {
    if (!zDbg.WatchShow)
        return false;
    zDbg.WatchShow(menuItem);
    return true;
}

bool Tz_Dbg::TracerShow() {
    if (!zDbg.TracerShow)
        return false;
    zDbg.TracerShow();
    return true;
}

bool Tz_DbgDB::ShowComponents(QWidget* form) {
    if (!zDbgDB.ShowComponents)
        return false;
    if (form != nullptr)
        zDbgDB.ShowComponents(form);
    return true;
}
