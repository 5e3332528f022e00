// SPDX-License-Identifier: GPL-3.0-or-later
#include "zTrans.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QVariant>
#include <QWidget>

#include "bConfig.h"
#include "zDModule.h"
#include "zCfgDbg.h"
#include "zDebug.h"
#include "zDlg.h"
#include "zExcept.h"
#include "zForm.h"
#include "zMsgStr.h"
#include "zTrace.h"
#include "zUtils.h"

namespace {

// The design's property names and where Qt keeps each text.
constexpr TPropRow kPropMap[] = {
    {"Caption", "@tab", tPropKind::pkTabText, nullptr},
    {"Caption", "QAction", tPropKind::pkPlain, "text"},
    {"Caption", "QMenu", tPropKind::pkPlain, "title"},
    {"Caption", "QGroupBox", tPropKind::pkPlain, "title"},
    {"Caption", "QDockWidget", tPropKind::pkPlain, "windowTitle"},
    {"Caption", "QLabel", tPropKind::pkPlain, "text"},
    {"Caption", "QAbstractButton", tPropKind::pkPlain, "text"},
    {"Caption", "@window", tPropKind::pkPlain, "windowTitle"},
    {"Caption", "TzDataModule", tPropKind::pkPlain, "Caption"},
    {"Hint", "QAction", tPropKind::pkHint, nullptr},
    {"Hint", "QWidget", tPropKind::pkHint, nullptr},
    {"Text", "QLineEdit", tPropKind::pkPlain, "text"},
    {"Lines", "QPlainTextEdit", tPropKind::pkLines, nullptr},
    {"Items", "QComboBox", tPropKind::pkItems, nullptr},
    {"Items", "QListWidget", tPropKind::pkItems, nullptr},
    {"Columns", "QTableWidget", tPropKind::pkColumns, nullptr},
};

// Kept on each translated object: per design property its designed text and
// the text translation last put there.
constexpr const char* kTransState = "_rv_trans";

QTabWidget* TabOfPage(QObject* object) {
    auto* page = qobject_cast<QWidget*>(object);
    if (page == nullptr || qobject_cast<QStackedWidget*>(page->parent()) == nullptr)
        return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(page->parent()->parent());
    return tabs != nullptr && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

bool RowFits(const TPropRow& row, QObject* object, QObject* root) {
    const std::string_view cls = row.QtClass;
    if (cls == "@window") {
        auto* widget = qobject_cast<QWidget*>(object);
        return object == root || (widget != nullptr && widget->isWindow());
    }
    if (cls == "@tab")
        return TabOfPage(object) != nullptr;
    return object->inherits(row.QtClass);
}

QStringList ListOf(QObject* object, const TPropRow& row) {
    QStringList lines;
    if (row.Kind == tPropKind::pkLines) {
        if (auto* edit = qobject_cast<QPlainTextEdit*>(object))
            lines = edit->toPlainText().split(u'\n');
    } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
        for (int i = 0; i < combo->count(); ++i)
            lines << combo->itemText(i);
    } else if (auto* list = qobject_cast<QListWidget*>(object)) {
        for (int i = 0; i < list->count(); ++i)
            lines << list->item(i)->text();
    } else if (auto* table = qobject_cast<QTableWidget*>(object)) {
        for (int i = 0; i < table->columnCount(); ++i)
            lines << (table->horizontalHeaderItem(i) ? table->horizontalHeaderItem(i)->text()
                                                     : QString());
    }
    return lines;
}

void SetList(QObject* object, const TPropRow& row, const QStringList& lines) {
    if (row.Kind == tPropKind::pkLines) {
        if (auto* edit = qobject_cast<QPlainTextEdit*>(object))
            edit->setPlainText(lines.join(u'\n'));
    } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
        for (int i = 0; i < combo->count() && i < lines.size(); ++i)
            combo->setItemText(i, lines[i]);
    } else if (auto* list = qobject_cast<QListWidget*>(object)) {
        for (int i = 0; i < list->count() && i < lines.size(); ++i)
            list->item(i)->setText(lines[i]);
    } else if (auto* table = qobject_cast<QTableWidget*>(object)) {
        for (int i = 0; i < table->columnCount() && i < lines.size(); ++i)
            if (auto* item = table->horizontalHeaderItem(i))
                item->setText(lines[i]);
    }
}

bool IsList(const TPropRow& row) {
    return row.Kind == tPropKind::pkLines || row.Kind == tPropKind::pkItems ||
           row.Kind == tPropKind::pkColumns;
}

void SetText(QObject* object, const TPropRow& row, const QString& text) {
    switch (row.Kind) {
    case tPropKind::pkPlain:
        object->setProperty(row.QtProperty, text);
        break;
    case tPropKind::pkTabText:
        if (auto* tabs = TabOfPage(object))
            tabs->setTabText(tabs->indexOf(qobject_cast<QWidget*>(object)), text);
        break;
    case tPropKind::pkHint: {
        const auto bar = text.indexOf(u'|');
        const QString shortHint = bar < 0 ? text : text.left(bar);
        const QString longHint = bar < 0 ? text : text.mid(bar + 1);
        object->setProperty("toolTip", shortHint);
        object->setProperty("statusTip", longHint);
        break;
    }
    case tPropKind::pkLines:
    case tPropKind::pkItems:
    case tPropKind::pkColumns:
        SetList(object, row, text.split(u'~'));
        break;
    }
}

// The tool tip Qt makes up for an action that has none: its text without
// "..." and without the mnemonic marks, trimmed.
QString AutomaticToolTip(const QAction& action) {
    QString text = action.text();
    text.remove(QStringLiteral("..."));
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text.at(i) == u'&')
            text.remove(i, 1);
    return text.trimmed();
}

QString CurrentText(QObject* object, const TPropRow& row) {
    switch (row.Kind) {
    case tPropKind::pkPlain:
        return object->property(row.QtProperty).toString();
    case tPropKind::pkTabText:
        if (auto* tabs = TabOfPage(object))
            return tabs->tabText(tabs->indexOf(qobject_cast<QWidget*>(object)));
        return {};
    case tPropKind::pkHint: {
        QString shortHint = object->property("toolTip").toString();
        const QString longHint = object->property("statusTip").toString();
        // An action without a tool tip of its own reports its text as one,
        // stripped as Qt strips it ("&Timing..." gives "Timing"): that is
        // no designed hint.
        if (auto* action = qobject_cast<QAction*>(object);
            action != nullptr && longHint.isEmpty() && shortHint == AutomaticToolTip(*action))
            shortHint.clear();
        return longHint.isEmpty() || longHint == shortHint ? shortHint
                                                           : shortHint + u'|' + longHint;
    }
    case tPropKind::pkLines:
    case tPropKind::pkItems:
    case tPropKind::pkColumns:
        return ListOf(object, row).join(u'~');
    }
    return {};
}

// state[design] = {designed text, text last applied (null: none)}.
QVariantMap StateOf(QObject* object) {
    return object->property(kTransState).toMap();
}

void Capture(QObject* object, const TPropRow& row) {
    QVariantMap state = StateOf(object);
    if (state.contains(row.Design))
        return;
    state.insert(row.Design, QVariantList{CurrentText(object, row), QVariant()});
    object->setProperty(kTransState, state);
}

void SetApplied(QObject* object, const TPropRow& row, const QVariant& applied) {
    QVariantMap state = StateOf(object);
    QVariantList entry = state.value(row.Design).toList();
    if (entry.size() != 2)
        return;
    entry[1] = applied;
    state.insert(row.Design, entry);
    object->setProperty(kTransState, state);
}

// Puts the designed text back where translation changed it and the program
// did not change it since.
void Restore(QObject* object, const TPropRow& row) {
    const QVariantList entry = StateOf(object).value(row.Design).toList();
    if (entry.size() != 2 || entry[1].isNull())
        return;
    if (CurrentText(object, row) == entry[1].toString())
        SetText(object, row, entry[0].toString());
    SetApplied(object, row, QVariant());
}

// Qt's own parts that hold the program's components; no other "qt_" object
// is entered.
bool HoldsComponents(const QString& name) {
    return name == QLatin1String("qt_tabwidget_stackedwidget") ||
           name == QLatin1String("qt_scrollarea_viewport");
}

// Controls whose children are Qt's own parts (buttons of a tab bar, a combo
// box's list, a spin box's editor), whatever their names.
bool IsAtomic(const QObject* object) {
    for (const char* cls : {"QComboBox", "QAbstractSpinBox", "QLineEdit", "QTabBar",
                            "QAbstractSlider", "QCalendarWidget"})
        if (object->inherits(cls))
            return true;
    return false;
}

// The form each component was first walked under. A page that a dialog
// takes over from another form (the Properties dialog merges the pages of
// its child dialogs) stays a component of the form it was designed in.
constexpr const char* kOwnerForm = "_rv_form";

QObject* OwnerOf(const QObject* object) {
    return object->property(kOwnerForm).value<QObject*>();
}

void Collect(QObject* parent, QObject* root, std::vector<QObject*>& out) {
    if (IsAtomic(parent))
        return;
    for (QObject* child : parent->children()) {
        if (qobject_cast<TzfmForm*>(child) != nullptr ||
            (LangDef != nullptr && LangDef->IsForm(child)))
            continue; // translated on its own, under its own class
        const QString name = child->objectName();
        if (name.startsWith(QLatin1String("qt_"))) {
            if (HoldsComponents(name))
                Collect(child, root, out);
            continue;
        }
        if (!name.isEmpty()) {
            QObject* owner = OwnerOf(child);
            if (owner != nullptr && owner != root)
                continue; // another form's component, and what it holds
            if (owner == nullptr)
                child->setProperty(kOwnerForm, QVariant::fromValue(root));
            out.push_back(child);
        }
        Collect(child, root, out);
    }
}

// Per form, the components found so far (for those that moved away).
std::map<const QObject*, std::vector<QPointer<QObject>>> g_components;

std::unique_ptr<TbTrans> g_translator;
std::vector<QPointer<QObject>> g_translated; // forms that are not widgets

void ApplyToOpenForms(const std::string& className) {
    std::vector<QPointer<QObject>> forms;
    for (TzfmForm* form : TzfmForm::Forms())
        forms.emplace_back(form);
    for (TzDataModule* module : TzDataModule::Modules())
        forms.emplace_back(module);
    std::erase_if(g_translated, [](const QPointer<QObject>& p) { return p.isNull(); });
    for (const auto& object : g_translated)
        if (std::find(forms.begin(), forms.end(), object) == forms.end())
            forms.push_back(object);
    for (const auto& form : forms)
        if (!form.isNull() && (className.empty() || className == form->metaObject()->className()))
            LangDef->DoTranslate(form, false);
}

// Forms and data modules go through their own two operations, which they
// may override.
template <class T> bool ThroughOwnOperations(QObject* component, bool saving) {
    auto* owner = qobject_cast<T*>(component);
    if (owner == nullptr)
        return false;
    bool done = false;
    if (saving)
        owner->OnLangSaving(done);
    done = false;
    owner->OnLangTranslating(done, false);
    return true;
}

void TranslateOne(QObject* component, bool saving) {
    if (ThroughOwnOperations<TzfmForm>(component, saving) ||
        ThroughOwnOperations<TzDataModule>(component, saving))
        return;
    if (std::none_of(g_translated.begin(), g_translated.end(),
                     [component](const QPointer<QObject>& p) { return p == component; }))
        g_translated.emplace_back(component);
    if (saving && RecordTranslateInfo)
        RecordTranslateInfo(component);
    Translator()->TranslateComponent(component);
}

int g_formsNotifyId = 0;

} // namespace

std::function<void(QObject*)> RecordTranslateInfo;

std::span<const TPropRow> PropMap() {
    return kPropMap;
}

std::vector<const TPropRow*> PropRowsOf(QObject* object, QObject* root) {
    std::vector<const TPropRow*> rows;
    for (const auto& row : kPropMap) {
        const bool taken = std::any_of(rows.begin(), rows.end(), [&](const TPropRow* r) {
            return std::string_view(r->Design) == row.Design;
        });
        if (!taken && RowFits(row, object, root))
            rows.push_back(&row);
    }
    return rows;
}

std::vector<QObject*> WalkComponents(QObject* form) {
    std::vector<QObject*> objects{form};
    Collect(form, form, objects);
    auto [known, added] = g_components.try_emplace(form);
    if (added)
        QObject::connect(form, &QObject::destroyed, QCoreApplication::instance(),
                         [form] { g_components.erase(form); });
    for (const auto& object : known->second)
        if (!object.isNull() && OwnerOf(object) == form &&
            std::find(objects.begin(), objects.end(), object.data()) == objects.end()) {
            objects.push_back(object);
            Collect(object, form, objects);
        }
    known->second.assign(objects.begin() + 1, objects.end());
    return objects;
}

std::vector<TTransProp> TranslatableProperties(QObject* form) {
    std::vector<TTransProp> props;
    for (QObject* object : WalkComponents(form))
        for (const TPropRow* row : PropRowsOf(object, form))
            props.push_back({object, row, object->objectName().toStdString() + "." + row->Design});
    return props;
}

std::string GetPropText(QObject* object, const TPropRow& row) {
    return CurrentText(object, row).toStdString();
}

std::string DesignedText(QObject* object, const TPropRow& row) {
    const QVariantList entry = StateOf(object).value(row.Design).toList();
    return entry.size() == 2 ? entry[0].toString().toStdString() : GetPropText(object, row);
}

bool ApplyValue(QObject* object, const TPropRow& row, std::string_view value) {
    if (value == ")" || value.starts_with('_'))
        return false;
    const QString text = QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    if (!IsList(row)) {
        SetText(object, row, text);
        return true;
    }
    QStringList lines = ListOf(object, row);
    if (!text.contains(u'~')) {
        // Taken whole: a single line may be as long as the store allows.
        if (text.isEmpty() || lines.isEmpty())
            return false;
        lines[0] = text;
    } else {
        const QStringList pieces = text.split(u'~');
        for (qsizetype i = 0; i < pieces.size() && i < lines.size(); ++i)
            if (!pieces[i].isEmpty() && !pieces[i].startsWith(u'_'))
                lines[i] = pieces[i];
    }
    SetList(object, row, lines);
    return true;
}

void ApplySection(QObject* form, const TIniValues& values) {
    const auto props = TranslatableProperties(form);
    for (const auto& prop : props) {
        Capture(prop.Object, *prop.Row);
        Restore(prop.Object, *prop.Row);
    }
    std::map<std::string, std::string> byKey;
    for (const auto& [key, value] : values)
        byKey.emplace(UpperCase(key), value);
    for (const auto& prop : props) {
        const auto it = byKey.find(UpperCase(prop.Key));
        if (it != byKey.end() && ApplyValue(prop.Object, *prop.Row, it->second))
            SetApplied(prop.Object, *prop.Row, CurrentText(prop.Object, *prop.Row));
    }
}

// ------------------------------------------------------------------- TbTrans

TbTrans::TbTrans(tLangOpenMode modes) : m_modes(modes) {
    OpenHintFile(modes);
    if (LangDef != nullptr)
        m_notifyId =
            LangDef->AddNotify([this](const std::string& language) { OnUpdateLang(language); });
}

TbTrans::~TbTrans() {
    if (LangDef != nullptr && m_notifyId != 0)
        LangDef->RemoveNotify(m_notifyId);
}

bool TbTrans::OpenHintFile(tLangOpenMode modes) {
    const std::string name = LangDef != nullptr ? LangDef->FileNameLang({}, ".lng", modes)
                                                : TbLangDef::LangFolder() + "/Default/" +
                                                      TbLangDef::ProgramFileName() + ".lng";
    const bool forced = modes.testFlag(lomForceDefault) || LangDef == nullptr;
    m_file = std::make_unique<TbLangFile>(name, forced ? 0 : LangDef->Lcid());
    m_existed = m_file->Exists();
    if (OpenFileTrace)
        OpenFileTrace(forced ? "TbTransWriter" : "TbTrans", name, m_existed);
    if (!m_existed) {
        std::error_code ec;
        std::filesystem::create_directories(TbFile::ExtractFilePath(name), ec);
    }
    return m_existed;
}

void TbTrans::OnUpdateLang(const std::string&) {
    OpenHintFile(m_modes);
}

bool TbTrans::TranslateComponent(QObject* component) {
    const bool selected = LangDef != nullptr && LangDef->ItemIndex() != 0;
    TIniValues values;
    if (m_existed && (selected || m_modes.testFlag(lomForceDefault)))
        values = m_file->ReadValues(component->metaObject()->className());
    ApplySection(component, values);
    return !values.empty();
}

std::string TbTrans::GetInheritedSection(const std::string& section) {
    return section + "@Inherited";
}

std::vector<std::string> TbTrans::GetInheritedStrings(const std::string& section) const {
    return m_file->ReadLines(GetInheritedSection(section));
}

void TbTrans::SaveValues(const std::string& section, TIniValues values, bool writeEmpty,
                         const std::string& captionKey) {
    std::erase_if(values, [writeEmpty](const auto& kv) {
        return kv.second == ")" || (!writeEmpty && kv.second.empty());
    });
    std::stable_sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
        return CompareText(a.first, b.first) < 0;
    });
    m_file->ReplaceValues(section, values);
    if (!captionKey.empty())
        for (const auto& [key, value] : values)
            if (SameText(key, captionKey)) {
                m_file->WriteString("Components", section, value);
                break;
            }
    m_existed = m_file->Exists();
}

bool TranslatingGetValues(QObject* form, const std::string& name, std::vector<std::string>& list) {
    list.clear();
    if (LangDef == nullptr || LangDef->ItemIndex() == 0 || !Translator()->FileExisted())
        return false;
    const std::string section = std::string(form->metaObject()->className()) + "." + name;
    for (const auto& [key, value] : Translator()->File().ReadValues(section))
        list.push_back(key + "=" + value);
    return !list.empty();
}

void RecordFormClasses(const std::vector<const QMetaObject*>& classes, QWidget* owner) {
    if (!CfgPar.UpLang)
        return;
    for (const QMetaObject* formClass : classes) {
        const auto forms = TzfmForm::Forms();
        if (std::any_of(forms.begin(), forms.end(), [formClass](const TzfmForm* form) {
                return form->metaObject() == formClass;
            }))
            continue;
        // Recorded by its create step; the start step is a queued call that
        // the destruction drops.
        TzfmForm* form = TzfmForm::CreateForm(*formClass, owner);
        form->setSaveLayout(false);
        TzfmForm::DestroyForm(form);
    }
}

TbTrans* Translator() {
    if (!g_translator)
        g_translator = std::make_unique<TbTrans>();
    return g_translator.get();
}

void InstallTranslation() {
    CreateLangDef();
    LangDef->RegisterRootClass(&TzfmForm::staticMetaObject);
    LangDef->RegisterRootClass(&TzDataModule::staticMetaObject);
    LangDef->ApplyHook = ApplyToOpenForms;
    LangDef->TranslateHook = TranslateOne;
    LangDef->CreatedHook = [](QObject* component) { WalkComponents(component); };
    if (g_formsNotifyId == 0)
        g_formsNotifyId = LangDef->AddNotify(NotifyLanguageChanged);
    LangHooks.DoTranslate = [](QObject* component, bool saving) {
        return LangDef != nullptr && LangDef->DoTranslate(component, saving);
    };
    LangHooks.Translating = [](QObject* component, bool& done) {
        Translator()->TranslateComponent(component);
        done = true;
    };
    LangHooks.Saving = [](QObject* component, bool& done) {
        done = true;
        if (!RecordTranslateInfo)
            return;
        try {
            RecordTranslateInfo(component);
        } catch (const std::exception&) {
            // The language file cannot be written (an installed program, a
            // full disk): said once, and the window comes all the same,
            // without recording more.
            CfgPar.UpLang = false;
            HandleCurrentException();
        }
    };
    // Forms made before the main window (data modules, a splash) are
    // translated now, with the first application of the language.
    LangHooks.InitLanguage = [] {
        LangDef->InitLanguage();
        LangDef->MainWindowExists = true;
        if (LangDef->ItemIndex() != 0)
            LangDef->DoApplyLanguage();
    };
    LangHooks.Languages = [] {
        std::vector<std::string> names;
        for (const auto& entry : LangDef->Languages())
            names.push_back(entry.Name);
        return names;
    };
    LangHooks.CurrentLanguage = [] { return LangDef->GetLanguage(); };
    LangHooks.SelectLanguage = [](const std::string& name) {
        LangDef->SetLanguage(name.empty() ? std::string(TbLangDef::kNone) : name);
    };
    OpenFileTrace = [](std::string_view className, const std::string& fileName, bool exists) {
        if (CfgDbg.OpenCloseFile && Trac != nullptr)
            Trac->MsgFmt("%s: %s  (%s)", className, fileName, exists ? "OK" : "NOT EXISTS");
    };
    InstallMessageBoxes();
}

void FreeTranslation() {
    LangHooks = {};
    OpenFileTrace = {};
    if (LangDef != nullptr) {
        LangDef->ApplyHook = {};
        LangDef->TranslateHook = {};
        LangDef->CreatedHook = {};
        LangDef->RemoveNotify(g_formsNotifyId);
    }
    g_formsNotifyId = 0;
    g_translator.reset();
    g_translated.clear();
    g_components.clear();
}
