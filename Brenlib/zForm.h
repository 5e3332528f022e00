// SPDX-License-Identifier: GPL-3.0-or-later
// The form base TzfmForm: every window of the program derives from it.
//
// Creation goes through one function, TzfmForm::CreateForm (or the typed
// Create<T>), because C++ cannot reach a derived class from a base
// constructor: it constructs the form through its meta-object (a
// Q_INVOKABLE constructor taking the owner), restores the stored layout
// (OnReadLayout), runs FormCreate (which translates the form through the
// language hooks and posts the start call), and OnStart then runs from the
// event loop after the creating code has returned (a queued call).
// Destruction likewise goes through one step, BeforeDestroy (DestroyForm
// calls it and deletes), which saves the layout under the real class name
// and runs FormDestroy; a form closed with Qt::WA_DeleteOnClose and the
// child forms of a form that is destroyed take the same step. A failure
// while saving is reported and the form closes anyway.
//
// FormCreate turns every label of the form whose text format is automatic
// into plain text: texts come from language files and must never be taken
// as rich text.
//
// Translation and message lines come from outside the form base through
// hooks (RzLangHooks below, SetMsgLineSource in zExcept.h); empty hooks mean
// "no translation". The translation unit installs them at start-up.
//
// User-interface thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QPointer>

#include "zExcept.h"
#include "zIniReg.h"

class QEventLoop;
class QMetaObject;
class TzfmForm;

// Results of ShowModal.
enum tModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

enum class tVisibleMode { vmInVisible, vmVisible, vmNoChange };

// Where translation enters the framework. Every member may be empty.
struct RzLangHooks {
    // The language definition's DoTranslate(component, saving): called by
    // TzfmForm::DoTranslate at creation (saving = true: record designed
    // texts when recording is on) and for every open form when a language
    // is applied (saving = false). Returns whether translation is active.
    // The hook calls the form's OnLangSaving and OnLangTranslating.
    std::function<bool(QObject* component, bool saving)> DoTranslate;
    // Targets of the base OnLangTranslating / OnLangSaving: translate the
    // component or record it; done is in/out.
    std::function<void(QObject* component, bool& done)> Translating;
    std::function<void(QObject* component, bool& done)> Saving;
    // The main window base, at creation: choose the language (before its
    // own translation) and mark that a main window exists.
    std::function<void()> InitLanguage;
    // Language names; entry 0 is "<None>" (no language).
    std::function<std::vector<std::string>()> Languages;
    // The selected language's name, empty for none.
    std::function<std::string()> CurrentLanguage;
    // Selects a language by name ("<None>" or empty: none).
    std::function<void(const std::string& name)> SelectLanguage;
};
extern RzLangHooks LangHooks;

// Calls OnUpdateLang(name) of every open main window; the language
// definition calls it after each change.
void NotifyLanguageChanged(const std::string& name);

class TzfmForm : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzfmForm)
    Q_PROPERTY(bool SaveLayout READ SaveLayout WRITE setSaveLayout)

public:
    Q_INVOKABLE explicit TzfmForm(QWidget* owner = nullptr);
    ~TzfmForm() override;

    // Constructs a form of the class (a TzfmForm descendant with Q_OBJECT and
    // a Q_INVOKABLE constructor (QWidget* owner)), restores its layout, runs
    // FormCreate and queues OnStart. A form whose object name is empty or
    // the one a base class's form set ("zfmDlg" for a dialog derived from
    // TzfmDlg) is named after its class without the "T" first. An exception from FormCreate
    // destroys the half-made form (nothing saved) and leaves to the caller.
    static TzfmForm* CreateForm(const QMetaObject& formClass, QWidget* owner = nullptr);
    template <class T> static T* Create(QWidget* owner = nullptr) {
        return static_cast<T*>(CreateForm(T::staticMetaObject, owner));
    }
    // BeforeDestroy, then delete. Null is allowed.
    static void DestroyForm(TzfmForm* form);
    // The registry of form classes by class name (every class created once
    // is in it; others can be registered ahead).
    static void RegisterFormClass(const QMetaObject& formClass);
    static const QMetaObject* FindFormClass(const std::string& className);
    // vFormLClassList: the classes created so far, in order.
    static const std::vector<const QMetaObject*>& FormClassList();
    // Every live form, in creation order.
    static std::vector<TzfmForm*> Forms();

    // Saves the layout (unless SaveLayout is off), runs FormDestroy, after
    // doing the same for the forms it owns. Once per form.
    void BeforeDestroy();
    bool IsCreated() const { return m_created; }
    bool IsStarted() const { return m_started; }

    bool SaveLayout() const { return m_saveLayout; }
    void setSaveLayout(bool value) { m_saveLayout = value; }

    // The form's own popup menu, opened on a right click that no child
    // handles; its open step is PopupMenuPopup.
    QMenu* PopupMenu() const { return m_popupMenu; }
    QMenu* MergedPopup() const { return m_mergedPopup; }

    // --- operations of the form base ---
    // For single-instance windows, from FormCreate: when instance holds
    // another form, that form is destroyed, instance cleared and EzForm
    // IDS_zfSingleForm raised (so CreateForm destroys this one too);
    // otherwise instance becomes this form.
    void TestSingleForm(QPointer<TzfmForm>& instance);
    [[noreturn]] void FormExcept(tezForm code) const;
    [[noreturn]] void FormExceptStr(tezForm code, const std::string& text) const;
    QAction* AddMenuItem(QMenu* parent, const QString& caption, std::function<void()> onClick,
                         QObject* owner = nullptr);
    QAction* AddPopUpMenuItem(const QString& caption, std::function<void()> onClick);
    // Flips the check mark of the sender (a checkable QAction) and returns
    // it. Any other sender: an assertion failure "Wrong Class" (zForm) is
    // reported and the result is false.
    bool MenuCheckedXOR(QObject* sender);
    bool ActionCheckedXOR(QObject* sender);
    void puCheckedXORClick();
    void MergePopupMenu(QMenu* popup);
    // Makes popup's opening run PopupMenuPopup of this form (as the main
    // window does with its status-bar popup).
    void RoutePopup(QMenu* popup);
    static void RemoveGlobalMenues();
    void PopupMenuPopup(QMenu* popup);
    static QWidget* ControlAtPosB(QWidget* start, const QPoint& screenPoint, bool allowDisabled);
    QWidget* ControlAtMouseRt(QWidget* start, bool allowDisabled);
    // Docks form into site (client-aligned, after saving its placement
    // only) or floats it at its stored placement; see the .cpp.
    static void DoDockableForm(TzfmForm* form, QWidget* site, bool visible, bool dock,
                               QWidget* splitter = nullptr);
    bool DoTranslate(bool saving);

    // Modal showing: runs a local event loop until ModalResult becomes
    // non-zero and the form agrees to close.
    int ShowModal();
    int ModalResult() const { return m_modalResult; }
    void SetModalResult(int result);
    // Sets the result without closing (the page dialog passes its result to
    // its merged page dialogs this way).
    void SetModalResultQuietly(int result) { m_modalResult = result; }

    // --- virtual operations, in the order of the design ---
    virtual void OnStart() {}
    virtual void FormMove(QObject* /*sender*/) {}
    virtual void OnBeforeShow() {}
    virtual void OnLangTranslating(bool& done, bool flag);
    virtual void OnLangSaving(bool& done);
    virtual void OnReadLayout(tPropMode modes);
    virtual void OnSaveLayout(tPropMode modes);

    // Shared menu items (created once per process).
    static QAction* MenuSeparator();
    static QAction* MenuComponents();
    static QAction* MenuDataSets();
    static QAction* MenuLangEdit();
    // The screen position of the mouse when the last popup opened.
    static QPoint PopupMouseCursorPos;

signals:
    // After OnStart has run (tests and hosts wait for it).
    void Started();

protected:
    // Creation and destruction steps; descendants call the base first.
    virtual void FormCreate();
    virtual void FormDestroy();
    // The close question: accept false keeps the form open. The base
    // accepts.
    virtual void FormClose(bool& accept);

    // The guard of every event handler of a form: an exception that leaves
    // one is handed to HandleException here, before it could unwind through
    // Qt's event delivery (the application's notify is only the backstop).
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void RunStart();

    bool m_saveLayout = true;
    bool m_created = false;
    bool m_started = false;
    bool m_destroying = false;
    bool m_destroyed = false;
    QMenu* m_popupMenu = nullptr;
    QPointer<QMenu> m_mergedPopup;
    std::vector<QPointer<QAction>> m_mergedActions;
    int m_modalResult = mrNone;
    QEventLoop* m_modalLoop = nullptr;
};
