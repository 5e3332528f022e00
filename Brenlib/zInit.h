// SPDX-License-Identifier: GPL-3.0-or-later
// The library start-up Initialize_Brenlib and the application object with
// the exception backstop.
//
// Initialize_Brenlib, in this order: the language definition (start hook),
// the settings store (IniMain, CfgPar, IniDebug, the registry objects and
// the developer level, the option record), the message strings (start
// hook), the developer hooks (splash, memory watch), the exception box and
// the framework's own settings page. It does nothing when the store is
// already open. EVersionInfo leaves it when the version record lacks its
// names; the program shows the text and stops.
//
// User-interface thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QApplication>

// Filled by the translation and message-string units before start-up.
struct RzStartHooks {
    std::function<void()> CreateLangDef;
    std::function<void()> CreateMsgStr;
};
extern RzStartHooks StartHooks;

// The library's translation as the start-up installs it: forms translated
// (zTrans), designed texts recorded with UpLang (zTransW), the language
// editor offered to developers (zvTrans). FreeFrameworkTranslation undoes it.
void InstallFrameworkTranslation();
void FreeFrameworkTranslation();

// The framework's forms that exist only while the user has them open (about
// box, Properties dialog, its debug page, tracer, memory watch, language
// editor): the reference writer never meets them in an ordinary run.
std::vector<const QMetaObject*> FrameworkFormClasses();

// Returns false when the library was already started. iniFileName: the
// settings file (default: the program's ".INI").
bool Initialize_Brenlib(const std::string& iniFileName = {});
// Closes the store and empties the hooks it set (tests, program end).
void Finalize_Brenlib();

// Shows an escaped exception in a box (plain text) on the user-interface
// thread; the default handler once the library is started.
void ShowExceptionBox(const std::string& text, const std::string& className);

// The application object: an exception that escapes an event handler ends
// in HandleException instead of std::terminate.
class TzApplication : public QApplication {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzApplication)

public:
    TzApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
