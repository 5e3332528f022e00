// SPDX-License-Identifier: GPL-3.0-or-later
// The main-window base TzfmMain: menus File / Edit / View / Options / Help
// with their actions, the control bar (the top tool-bar area) with ToolBar
// and ToolMenu, the status bar with its status object Stat, the tracer Trac,
// the language menu, the about box and splash entries and the developer
// menus shown by developer level. It also answers other copies of the
// program (FindPrevInstance, copy data; zCopyData.h).
//
// Derived main windows (TfmMain) use a .ui form with only a central widget:
// the menus, bars and status bar come from this base's form, and the
// derived class adds its own items through the accessors below.
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QToolBar>

#include "zCopyData.h"
#include "zForm.h"

class QToolButton;
class TzStatus;
class TzStatusBar;
class TzfmTrace;

namespace Ui {
class TzfmMain;
}

class TzfmMain : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzfmMain)

public:
    // The first user message number plus 21: the answer to the
    // identification question of another copy.
    static constexpr std::uint32_t kIdentAnswer = 1045;

    Q_INVOKABLE explicit TzfmMain(QWidget* owner = nullptr);
    ~TzfmMain() override;

    // --- controls of the base form ---
    QMenuBar* MainMenu() const;
    QMenu* mmFile() const;
    QMenu* mmEdit() const;
    QMenu* mmView() const;
    QMenu* mmOptions() const;
    QMenu* mmHelp() const;
    QMenu* miLanguage() const;
    QMenu* miDebug() const;
    QAction* Item(const char* name) const; // any action of the base form by name
    QToolBar* ToolBar() const;
    QToolBar* ToolMenu() const;
    TzStatusBar* StatusBar() const;
    QMenu* puStatus() const { return m_puStatus; }
    QAction* ActStatusBar() const;
    QAction* ActSpeedBar() const;
    QAction* ActTracer() const;
    // The "Memory" item of the Debug menu (null below developer level 3).
    QAction* miMemory() const { return m_miMemory; }

    // --- operations ---
    QAction* AddDebugMenuItem(const QString& caption, std::function<void()> onClick);
    void AddToToolBar(QWidget* control);
    void RemoveFromToolBar(QWidget* control);
    bool DockToolBar(QToolBar* toolBar);
    bool UnDockToolBar(QToolBar* toolBar);
    // Creates the form when the reference is empty, restores it when
    // minimised and brings it to the top. vmVisible shows it, vmInVisible
    // hides it, vmNoChange leaves a new form hidden and an existing one as
    // it is.
    template <class T>
    T* DoShowForm(QPointer<T>& form, QWidget* owner = nullptr,
                  tVisibleMode mode = tVisibleMode::vmVisible) {
        if (form == nullptr)
            form = TzfmForm::Create<T>(owner);
        ShowFormMode(form, mode);
        return form;
    }
    // Creates the form when needed and docks it into host (or the main
    // window's central widget) as a plain widget, then shows it.
    template <class T> T* DockFrameClient(QPointer<T>& form, QWidget* host = nullptr) {
        if (form == nullptr)
            form = TzfmForm::Create<T>(this);
        DockForm(form, host);
        return form;
    }
    void DockForm(TzfmForm* form, QWidget* host);
    // Another running copy whose main window title begins with caption
    // (this window excluded); see zCopyData.h.
    std::optional<TzInstance> FindPrevInstance(const QString& caption) const;
    // The socket on which this window answers other copies.
    QString CopyDataSocket() const;
    void SplashOpen();
    void SplashClose(int minimumMs);
    // Every top-level menu becomes a drop-down tool button of toolBar, one
    // per group index (the menu's "GroupIndex" property, else its position).
    void ConvertMainMenuToToolBar(QMenuBar* menu, QToolBar* toolBar);

    // --- virtual operations, in the order of the design ---
    Q_INVOKABLE virtual void OnUpdateLang(const QString& language);
    // Data sent by another copy (SendCopyData); 0 in the base.
    virtual std::uint32_t DoCopyData(const QByteArray& data, std::uint32_t code);
    virtual const QMetaObject* GetStatusClass() const;
    virtual const QMetaObject* GetTraceClass() const;
    virtual const QMetaObject* GetConfigClass() const;
    virtual const QMetaObject* GetAboutClass() const;
    virtual void DisplayHint(const QString& hint);

    void OnStart() override;

    // --- menu and action handlers ---
    void miExitClick();
    void miPporertiesClick();
    void miAboutClick();
    void miContentsClick();
    void miSplashClick();
    void miLangEditClick();
    void miLangNoneClick(QAction* item);
    void ActStatusBarExecute();
    void ActSpeedBarExecute();
    void ActTracerExecute();
    void StatusBarDblClick();

    // The class of the splash window (TzfmSplash unless the program sets
    // its own); an optional start hook.
    static inline const QMetaObject* SplashClass = nullptr;
    static inline std::function<void()> InitMRUFiles;
    // The help file; empty = none (Contents stays disabled).
    static inline std::string HelpFile;

protected:
    void FormCreate() override;
    void FormDestroy() override;
    bool event(QEvent* event) override;

private:
    void ShowFormMode(TzfmForm* form, tVisibleMode mode);
    void BuildLanguageMenu();

    Ui::TzfmMain* m_ui = nullptr;
    QMenu* m_puStatus = nullptr;
    QAction* m_miMemory = nullptr;
    QActionGroup* m_langGroup = nullptr;
    std::unique_ptr<TzCopyDataServer> m_copyData;
};

// The main window; empty before it exists and after.
extern TzfmMain* MainForm;
