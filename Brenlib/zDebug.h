// SPDX-License-Identifier: GPL-3.0-or-later
// Developer hooks: the framework reaches optional developer tools (splash,
// component viewer, language editor, memory watch, tracer) only through
// these slots, so it does not depend on them. The library start-up fills the
// splash and memory-watch slots, the translation unit the language editor,
// the tracer its own slot while it exists. Each Tz_Dbg operation calls its
// hook only when it is set and returns whether it is; ShowComponents and
// ShowLangEdit called with no form are pure availability tests.
//
// User-interface thread only.
#pragma once

#include <functional>

class QAction;
class QMetaObject;
class QWidget;

struct Rz_Dbg {
    std::function<void(const QMetaObject* splashClass)> SplashOpen;
    std::function<void(int minimumMs)> SplashClose;
    std::function<void(QWidget* form)> ShowComponents;
    std::function<void(QWidget* form)> ShowLangEdit;
    std::function<void(QAction* menuItem)> WatchShow;
    std::function<void()> TracerShow;
};
extern Rz_Dbg zDbg;

// Database tools: nothing in this program fills them.
struct Rz_DbgDB {
    std::function<void(QWidget* form)> ShowComponents;
};
extern Rz_DbgDB zDbgDB;

class Tz_Dbg final {
public:
    static bool SplashOpen(const QMetaObject* splashClass);
    static bool SplashClose(int minimumMs);
    static bool ShowComponents(QWidget* form = nullptr);
    static bool ShowLangEdit(QWidget* form = nullptr);
    static bool WatchShow(QAction* menuItem);
    static bool TracerShow();
    static void NotifyFormCreate(QWidget*) {}
    static void NotifyFormDestroy(QWidget*) {}
};

class Tz_DbgDB final {
public:
    static bool ShowComponents(QWidget* form = nullptr);
};
