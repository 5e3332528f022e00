// SPDX-License-Identifier: GPL-3.0-or-later
#include "zForm.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QEventLoop>
#include <QLabel>
#include <QLayout>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMetaObject>
#include <QVBoxLayout>

#include "bConfig.h"
#include "zDebug.h"
#include "zLang.h"

RzLangHooks LangHooks;
QPoint TzfmForm::PopupMouseCursorPos;

namespace {

constexpr const char* kMergedTag = "zMerged";

std::vector<TzfmForm*> g_forms;
std::vector<const QMetaObject*> g_createdClasses;
std::vector<const QMetaObject*> g_registeredClasses;

struct TSharedItems {
    QPointer<QAction> separator;
    QPointer<QAction> components;
    QPointer<QAction> dataSets;
    QPointer<QAction> langEdit;
    // The form the three tool items act on (their "tag").
    QPointer<TzfmForm> tagForm;
};
TSharedItems g_shared;

QAction* MakeShared(QPointer<QAction>& slot, const char* name, const QString& caption) {
    if (slot == nullptr) {
        slot = new QAction(caption, qApp);
        slot->setObjectName(QString::fromLatin1(name));
        if (caption == QStringLiteral("-"))
            slot->setSeparator(true);
    }
    return slot;
}

void CreateSharedItems() {
    TzfmForm::MenuSeparator();
    auto* components = TzfmForm::MenuComponents();
    auto* dataSets = TzfmForm::MenuDataSets();
    auto* langEdit = TzfmForm::MenuLangEdit();
    static bool connected = false;
    if (connected)
        return;
    connected = true;
    QObject::connect(components, &QAction::triggered, components,
                     Guarded([] { Tz_Dbg::ShowComponents(g_shared.tagForm); }));
    QObject::connect(dataSets, &QAction::triggered, dataSets,
                     Guarded([] { Tz_DbgDB::ShowComponents(g_shared.tagForm); }));
    QObject::connect(langEdit, &QAction::triggered, langEdit,
                     Guarded([] { Tz_Dbg::ShowLangEdit(g_shared.tagForm); }));
}

void RemoveFromMenus(QAction* action) {
    if (action == nullptr)
        return;
    for (QObject* holder : action->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(holder))
            menu->removeAction(action);
    action->setProperty(kMergedTag, false);
}

} // namespace

// --- creation and destruction ---

TzfmForm::TzfmForm(QWidget* owner) : QMainWindow(owner, Qt::Window) {
    m_popupMenu = new QMenu(this);
    m_popupMenu->setObjectName(QStringLiteral("PopupMenu"));
    g_forms.push_back(this);
}

TzfmForm::~TzfmForm() {
    if (m_modalLoop != nullptr)
        m_modalLoop->exit(mrCancel);
    if (g_shared.tagForm == this)
        g_shared.tagForm = nullptr;
    g_forms.erase(std::remove(g_forms.begin(), g_forms.end(), this), g_forms.end());
}

TzfmForm* TzfmForm::CreateForm(const QMetaObject& formClass, QWidget* owner) {
    if (!formClass.inherits(&TzfmForm::staticMetaObject))
        throw EzExcept(IDS_zeNotDefined, "TzfmForm.CreateForm", formClass.className());
    QObject* object = formClass.newInstance(Q_ARG(QWidget*, owner));
    if (object == nullptr)
        throw EzExcept(IDS_zeNotDefined, "TzfmForm.CreateForm",
                       std::string(formClass.className()) + " (constructor)");
    auto* form = static_cast<TzfmForm*>(object);
    // A form without a name of its own (none, or the one a base class's form
    // gave it) is named after its class without the "T", so that its
    // placement has a key of its own.
    auto baseName = [](const QMetaObject* meta) {
        QString name = QString::fromLatin1(meta->className());
        if (name.startsWith(QLatin1Char('T')))
            name.remove(0, 1);
        return name;
    };
    bool inherited = form->objectName().isEmpty();
    for (const QMetaObject* base = formClass.superClass(); base != nullptr && !inherited;
         base = base->superClass())
        inherited = form->objectName() == baseName(base);
    if (inherited)
        form->setObjectName(baseName(&formClass));
    try {
        form->OnReadLayout({});
        form->FormCreate();
    } catch (...) {
        // Half made: nothing of it is saved.
        form->m_destroyed = true;
        delete form;
        throw;
    }
    return form;
}

void TzfmForm::DestroyForm(TzfmForm* form) {
    if (form == nullptr)
        return;
    form->BeforeDestroy();
    delete form;
}

void TzfmForm::RegisterFormClass(const QMetaObject& formClass) {
    if (std::find(g_registeredClasses.begin(), g_registeredClasses.end(), &formClass) ==
        g_registeredClasses.end())
        g_registeredClasses.push_back(&formClass);
}

const QMetaObject* TzfmForm::FindFormClass(const std::string& className) {
    for (const auto* list : {&g_registeredClasses, &g_createdClasses})
        for (const auto* meta : *list)
            if (className == meta->className())
                return meta;
    return nullptr;
}

const std::vector<const QMetaObject*>& TzfmForm::FormClassList() {
    return g_createdClasses;
}

std::vector<TzfmForm*> TzfmForm::Forms() {
    return g_forms;
}

void TzfmForm::FormCreate() {
    CreateSharedItems();
    if (g_createdClasses.capacity() < 50)
        g_createdClasses.reserve(50);
    const QMetaObject* meta = metaObject();
    if (std::find(g_createdClasses.begin(), g_createdClasses.end(), meta) == g_createdClasses.end())
        g_createdClasses.push_back(meta);
    // Label texts come from language files: plain text, never rich text
    // that could load an image or a file.
    for (auto* label : findChildren<QLabel*>())
        if (label->textFormat() == Qt::AutoText)
            label->setTextFormat(Qt::PlainText);
    DoTranslate(true);
    m_created = true;
    QMetaObject::invokeMethod(this, &TzfmForm::RunStart, Qt::QueuedConnection);
}

void TzfmForm::RunStart() {
    if (m_started || m_destroyed)
        return;
    m_started = true;
    try {
        OnStart();
    } catch (...) {
        HandleCurrentException();
    }
    emit Started();
}

void TzfmForm::BeforeDestroy() {
    if (m_destroyed || m_destroying)
        return;
    m_destroying = true;
    // Owned forms go first, while this one is still whole (multiple-document
    // children save only while their frame counts as existing).
    for (auto* child : findChildren<TzfmForm*>())
        child->BeforeDestroy();
    m_destroyed = true;
    try {
        OnSaveLayout({});
    } catch (...) {
        // An unwritable folder must not keep the program from closing.
        HandleCurrentException();
    }
    try {
        FormDestroy();
    } catch (...) {
        HandleCurrentException();
    }
}

void TzfmForm::FormDestroy() {
    for (auto* menu : findChildren<QMenu*>())
        for (auto* action : {MenuSeparator(), MenuComponents(), MenuDataSets(), MenuLangEdit()})
            menu->removeAction(action);
}

void TzfmForm::OnReadLayout(tPropMode modes) {
    if (IniMain != nullptr)
        IniMain->LoadProperties(this, modes);
}

void TzfmForm::OnSaveLayout(tPropMode modes) {
    if (!m_saveLayout || IniMain == nullptr)
        return;
    if (qobject_cast<QMdiSubWindow*>(parentWidget()) != nullptr) {
        const auto forms = Forms();
        const bool mainExists = std::any_of(forms.begin(), forms.end(), [](TzfmForm* form) {
            return form->inherits("TzfmMain") && !form->m_destroyed;
        });
        if (!mainExists)
            return;
    }
    IniMain->SaveProperties(this, modes);
}

// --- translation ---

bool TzfmForm::DoTranslate(bool saving) {
    return LangHooks.DoTranslate ? LangHooks.DoTranslate(this, saving) : false;
}

void TzfmForm::OnLangTranslating(bool& done, bool /*flag*/) {
    if (LangHooks.Translating)
        LangHooks.Translating(this, done);
}

void TzfmForm::OnLangSaving(bool& done) {
    if (LangHooks.Saving)
        LangHooks.Saving(this, done);
}

// --- single instance, errors ---

void TzfmForm::TestSingleForm(QPointer<TzfmForm>& instance) {
    if (instance != nullptr && instance != this) {
        TzfmForm* existing = instance;
        instance = nullptr;
        DestroyForm(existing);
        FormExcept(IDS_zfSingleForm);
    }
    instance = this;
}

void TzfmForm::FormExcept(tezForm code) const {
    throw EzForm(code, metaObject()->className(), objectName().toStdString());
}

void TzfmForm::FormExceptStr(tezForm code, const std::string& text) const {
    throw EzForm(code, metaObject()->className(), objectName().toStdString(), text);
}

// --- menus ---

QAction* TzfmForm::AddMenuItem(QMenu* parent, const QString& caption, std::function<void()> onClick,
                               QObject* owner) {
    auto* action = new QAction(caption, owner != nullptr ? owner : this);
    if (caption == QStringLiteral("-"))
        action->setSeparator(true);
    if (onClick)
        connect(action, &QAction::triggered, this, Guarded(std::move(onClick)));
    if (parent != nullptr)
        parent->addAction(action);
    return action;
}

QAction* TzfmForm::AddPopUpMenuItem(const QString& caption, std::function<void()> onClick) {
    return AddMenuItem(m_popupMenu, caption, std::move(onClick));
}

bool TzfmForm::MenuCheckedXOR(QObject* sender) {
    auto* action = qobject_cast<QAction*>(sender);
    if (action == nullptr) {
        HandleException(std::make_exception_ptr(EzException("Wrong Class (zForm)")));
        return false;
    }
    action->setCheckable(true);
    action->setChecked(!action->isChecked());
    return action->isChecked();
}

bool TzfmForm::ActionCheckedXOR(QObject* sender) {
    return MenuCheckedXOR(sender);
}

void TzfmForm::puCheckedXORClick() {
    MenuCheckedXOR(sender());
}

QAction* TzfmForm::MenuSeparator() {
    return MakeShared(g_shared.separator, "miBV_Separator", QStringLiteral("-"));
}
QAction* TzfmForm::MenuComponents() {
    return MakeShared(g_shared.components, "miBV_Components", QStringLiteral("Components..."));
}
QAction* TzfmForm::MenuDataSets() {
    return MakeShared(g_shared.dataSets, "miBV_DataSets", QStringLiteral("DataSets..."));
}
QAction* TzfmForm::MenuLangEdit() {
    return MakeShared(g_shared.langEdit, "miBV_LangEdit", QStringLiteral("Language &Editor..."));
}

void TzfmForm::RemoveGlobalMenues() {
    for (auto* action : {MenuSeparator(), MenuComponents(), MenuDataSets(), MenuLangEdit()})
        RemoveFromMenus(action);
    g_shared.tagForm = nullptr;
}

void TzfmForm::MergePopupMenu(QMenu* popup) {
    for (const auto& action : m_mergedActions) {
        if (action == nullptr)
            continue;
        RemoveFromMenus(action);
        m_popupMenu->addAction(action);
    }
    m_mergedActions.clear();
    m_mergedPopup = nullptr;
    if (popup == nullptr || popup == m_popupMenu)
        return;
    for (auto* action : m_popupMenu->actions()) {
        m_popupMenu->removeAction(action);
        action->setProperty(kMergedTag, true);
        popup->addAction(action);
        m_mergedActions.emplace_back(action);
    }
    m_mergedPopup = popup;
}

void TzfmForm::RoutePopup(QMenu* popup) {
    connect(popup, &QMenu::aboutToShow, this, Guarded([this, popup] { PopupMenuPopup(popup); }));
}

void TzfmForm::PopupMenuPopup(QMenu* popup) {
    PopupMouseCursorPos = QCursor::pos();
    RemoveGlobalMenues();
    bool first = true;
    auto add = [&](QAction* item) {
        if (first) {
            first = false;
            if (!(m_popupMenu->isEmpty() && m_mergedActions.empty()))
                m_popupMenu->addAction(MenuSeparator());
        }
        m_popupMenu->addAction(item);
    };
    if (DevLevel >= 4) {
        if (Tz_DbgDB::ShowComponents())
            add(MenuDataSets());
        if (Tz_Dbg::ShowComponents())
            add(MenuComponents());
    }
    if (Tz_Dbg::ShowLangEdit() && DevLevel >= 3 && !CfgPar.Language.empty() &&
        CfgPar.Language != TbLangDef::kNone)
        add(MenuLangEdit());
    MergePopupMenu(popup);
    // The shared items go last in whichever menu holds them now.
    for (auto* action : {MenuSeparator(), MenuDataSets(), MenuComponents(), MenuLangEdit()}) {
        for (QObject* holder : action->associatedObjects()) {
            if (auto* menu = qobject_cast<QMenu*>(holder)) {
                menu->removeAction(action);
                menu->addAction(action);
            }
        }
    }
    g_shared.tagForm = this;
}

// --- controls under a point ---

QWidget* TzfmForm::ControlAtPosB(QWidget* start, const QPoint& screenPoint, bool allowDisabled) {
    QWidget* found = start;
    while (found != nullptr) {
        const QPoint local = found->mapFromGlobal(screenPoint);
        QWidget* next = nullptr;
        const auto children = found->children();
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            auto* child = qobject_cast<QWidget*>(*it);
            if (child == nullptr || child->isWindow() || !child->isVisible())
                continue;
            if (!allowDisabled && !child->isEnabled())
                continue;
            if (child->geometry().contains(local)) {
                next = child;
                break;
            }
        }
        if (next == nullptr)
            break;
        found = next;
    }
    return found;
}

QWidget* TzfmForm::ControlAtMouseRt(QWidget* start, bool allowDisabled) {
    return ControlAtPosB(start != nullptr ? start : this, PopupMouseCursorPos, allowDisabled);
}

// --- docking ---

void TzfmForm::DoDockableForm(TzfmForm* form, QWidget* site, bool visible, bool dock,
                              QWidget* splitter) {
    if (form == nullptr)
        return;
    if (dock) {
        if (IniMain != nullptr && form->isWindow())
            IniMain->SaveProperties(form, pmNoProperties);
        if (site != nullptr) {
            if (site->layout() == nullptr) {
                auto* layout = new QVBoxLayout(site);
                layout->setContentsMargins(0, 0, 0, 0);
                layout->setSpacing(0);
            }
            form->setParent(site, Qt::Widget);
            site->layout()->addWidget(form);
            site->setVisible(visible);
        }
        if (splitter != nullptr)
            splitter->setVisible(visible);
    } else {
        const QRect bounds(form->mapToGlobal(QPoint(0, 0)), form->size());
        QWidget* owner = site != nullptr ? site->window() : nullptr;
        if (site != nullptr && site->layout() != nullptr)
            site->layout()->removeWidget(form);
        form->setParent(owner, Qt::Window);
        RWindLayout stored;
        bool placed = false;
        if (IniMain != nullptr) {
            try {
                placed = IniMain->GetWindPlace(form->objectName().toStdString(), stored);
            } catch (...) {
                placed = false;
            }
        }
        if (placed)
            IniMain->LoadWindPlace(form);
        else
            form->setGeometry(bounds);
        if (site != nullptr)
            site->hide();
        if (splitter != nullptr)
            splitter->hide();
    }
    form->setVisible(visible);
}

// --- modal showing and closing ---

int TzfmForm::ShowModal() {
    m_modalResult = mrNone;
    QPointer<TzfmForm> alive(this);
    QEventLoop loop;
    m_modalLoop = &loop;
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    if (m_modalResult == mrNone)
        loop.exec(QEventLoop::DialogExec);
    if (alive == nullptr)
        return mrCancel;
    m_modalLoop = nullptr;
    hide();
    setWindowModality(Qt::NonModal);
    return m_modalResult;
}

void TzfmForm::SetModalResult(int result) {
    m_modalResult = result;
    if (result != mrNone && m_modalLoop != nullptr)
        close();
}

void TzfmForm::FormClose(bool& /*accept*/) {}

void TzfmForm::closeEvent(QCloseEvent* event) {
    if (m_modalLoop != nullptr && m_modalResult == mrNone)
        m_modalResult = mrCancel;
    bool accept = true;
    try {
        FormClose(accept);
    } catch (...) {
        accept = false;
        HandleCurrentException();
    }
    if (!accept) {
        m_modalResult = mrNone;
        event->ignore();
        return;
    }
    event->accept();
    if (m_modalLoop != nullptr)
        m_modalLoop->exit(m_modalResult);
    if (testAttribute(Qt::WA_DeleteOnClose))
        BeforeDestroy();
}

bool TzfmForm::event(QEvent* event) {
    try {
        return QMainWindow::event(event);
    } catch (...) {
        HandleCurrentException();
        return true;
    }
}

void TzfmForm::contextMenuEvent(QContextMenuEvent* event) {
    try {
        PopupMenuPopup(m_popupMenu);
    } catch (...) {
        HandleCurrentException();
    }
    if (m_popupMenu->isEmpty()) {
        event->ignore();
        return;
    }
    m_popupMenu->popup(event->globalPos());
    event->accept();
}

void TzfmForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    try {
        OnBeforeShow();
    } catch (...) {
        HandleCurrentException();
    }
}

void TzfmForm::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    try {
        FormMove(this);
    } catch (...) {
        HandleCurrentException();
    }
}

void NotifyLanguageChanged(const std::string& name) {
    const auto text = QString::fromStdString(name);
    for (auto* form : TzfmForm::Forms())
        if (form->metaObject()->indexOfMethod("OnUpdateLang(QString)") >= 0)
            QMetaObject::invokeMethod(form, "OnUpdateLang", Qt::DirectConnection,
                                      Q_ARG(QString, text));
}
