// SPDX-License-Identifier: GPL-3.0-or-later
// Translation of forms: the texts of a form and of the components it owns
// are looked up in the selected language's file ("ravelox.lng", section =
// the form's class name, key = "<object name>.<property>") and applied.
//
// Components are reached through Qt's object tree: every descendant with an
// object name that does not begin with "qt_", except forms owned by the form
// (and what they own), which translate on their own under their own class.
// Properties are reached only through the table kPropMap below, from the
// design's property names to Qt's; no other property is ever read or set
// (style sheets, input masks, accessible names stay out of the files).
//
// Value conventions: a value beginning with "_" is not applied; ")" marks a
// deleted key (not applied, dropped when the section is written); an empty
// value empties the text; a list (Lines, Items, Columns) is the lines joined by "~":
// piece i replaces line i unless it is empty or begins with "_", a value
// without "~" replaces the first line whole.
//
// Each property's designed text is kept (captured at its first translation)
// and put back before a language is applied, so switching to a language
// that lacks a key, disables it or to "<None>" shows the designed text again.
// A text the program set itself after translation is left alone.
//
// User-interface thread only.
#pragma once

#include <QFlags>
#include <QPointer>

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zLang.h"

class QMetaObject;
class QObject;
class QWidget;

enum class tPropKind : std::uint8_t {
    pkPlain,   // one Qt text property
    pkTabText, // the text of the page's tab in its QTabWidget
    pkHint,    // "short|long": toolTip and statusTip
    pkLines,   // QPlainTextEdit lines
    pkItems,   // entries of a QComboBox or QListWidget
    pkColumns, // column titles of a QTableWidget
};

// One row of the mapping table: the design's property name, the Qt class
// the object must inherit ("@window": the form itself or any window; "@tab":
// a page of a QTabWidget), how the text is reached and the Qt property name.
struct TPropRow {
    const char* Design;
    const char* QtClass;
    tPropKind Kind;
    const char* QtProperty;
};

// A translatable text of one object of the walk.
struct TTransProp {
    QObject* Object = nullptr;
    const TPropRow* Row = nullptr;
    std::string Key; // "<object name>.<design property>"
};

// The mapping table, in matching order: for each design name the first row
// that fits the object applies.
std::span<const TPropRow> PropMap();
// The rows that apply to object (root: the form being walked).
std::vector<const TPropRow*> PropRowsOf(QObject* object, QObject* root);
// The form and its components in walk order with their translatable texts.
std::vector<TTransProp> TranslatableProperties(QObject* form);
// The objects of the walk: the form, then its components in ownership order.
std::vector<QObject*> WalkComponents(QObject* form);

// The current text ("~"-joined for a list; "short|long" for a hint whose
// parts differ).
std::string GetPropText(QObject* object, const TPropRow& row);
// The text as designed (before any translation).
std::string DesignedText(QObject* object, const TPropRow& row);
// Applies value by the conventions above; returns whether it changed text.
bool ApplyValue(QObject* object, const TPropRow& row, std::string_view value);
// Puts the form's designed texts back, then applies the section's values
// (keys compared without regard to case, the first of equal keys wins).
void ApplySection(QObject* form, const TIniValues& values);

class TbTrans {
public:
    // modes: empty for the selected language, lomForceDefault for "Default".
    explicit TbTrans(tLangOpenMode modes = {});
    virtual ~TbTrans();
    TbTrans(const TbTrans&) = delete;
    TbTrans& operator=(const TbTrans&) = delete;

    // Reopens the file by modes; returns whether it exists (a missing file's
    // folder is created so a later save can write it).
    bool OpenHintFile(tLangOpenMode modes);
    bool FileExisted() const { return m_existed; }
    TbLangFile& File() { return *m_file; }
    const TbLangFile& File() const { return *m_file; }

    // Puts designed texts back, then applies the section of the form's class
    // when a language with a file is selected. Returns whether the file was
    // applied.
    bool TranslateComponent(QObject* component);

    static std::string GetInheritedSection(const std::string& section);
    // The "@Inherited" lines of the section.
    std::vector<std::string> GetInheritedStrings(const std::string& section) const;
    // Writes a section in key order, values ")" dropped; empty values only
    // when writeEmpty. With captionKey (the form's "<name>.Caption") the
    // section's caption goes to "Components".
    void SaveValues(const std::string& section, TIniValues values, bool writeEmpty,
                    const std::string& captionKey = {});

    virtual void OnUpdateLang(const std::string& language);

protected:
    tLangOpenMode m_modes;

private:
    std::unique_ptr<TbLangFile> m_file;
    bool m_existed = false;
    int m_notifyId = 0;
};

// Extra texts a form keeps for itself in the group "<class>.<name>" of the
// language files: TranslatingGetValues reads the selected language's group
// as "key=value" strings (false when it has none). The reference writer
// records them (zTransW, SavingAddValues).
bool TranslatingGetValues(QObject* form, const std::string& name, std::vector<std::string>& list);

// With UpLang only (otherwise nothing): creates each of the form classes
// that has no live form once, owned by owner, which records its designed
// texts, and destroys it again at once. The form is never shown, no modal
// loop runs, its start step (which would open dialogs, start look-ups or
// timers) never runs, and its layout is not saved.
void RecordFormClasses(const std::vector<const QMetaObject*>& classes, QWidget* owner);

// The translator of the program, made on first use.
TbTrans* Translator();

// Records a component's designed texts into the reference language file
// (UpLang): set by the reference writer (zTransW, InstallTransWriter);
// nothing is recorded while it is empty.
extern std::function<void(QObject*)> RecordTranslateInfo;

// Sets the language definition's hooks so that forms are translated at
// creation and every open form on a change. Idempotent.
void InstallTranslation();
void FreeTranslation();
