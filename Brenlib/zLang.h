// SPDX-License-Identifier: GPL-3.0-or-later
// The language definition: which languages exist (folders beside the program
// that hold the program's ".lng" file), which one is selected, where its
// files are, and who is told when it changes.
//
// A language is a folder of ShippedDataFolder() named after the language
// ("German") holding "ravelox.lng"; the folder "Default" is the reference
// language and is never listed. Entry 0 of the list is always "<None>".
// The chosen name is kept in CfgPar.Language (section "Params", key
// "Language"; "<None>" is stored as such, the empty text means that no
// language was ever chosen, and the system's locale chooses).
//
// Language and message files are decoded each on its own (TbLangFile): a BOM
// or valid UTF-8 is UTF-8, anything else single-byte text in the ANSI code
// page of the language's LCID.
//
// Everything except TbLangFile's reads runs on the user-interface thread. The
// window library installs the two hooks that reach open windows (zTrans).
#pragma once

#include <QFlags>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bIniFile.h"

class QMetaObject;
class QObject;

enum tLangOpenModeBit : unsigned {
    lomForceDefault = 1u << 0, // the "Default" folder even when a language is selected
    lomCanDefault = 1u << 1,   // the "Default" file when the language has none
};
Q_DECLARE_FLAGS(tLangOpenMode, tLangOpenModeBit)
Q_DECLARE_OPERATORS_FOR_FLAGS(tLangOpenMode)

// The ANSI code page of a locale identifier: 1250, 1251, 1253 to 1258 or 874
// for the languages written with them, 1252 for every other (and for 0).
int CodePageOfLcid(std::uint32_t lcid);
// The locale identifier of a locale name such as "de_DE" or "ru"; 0 when the
// name is not known.
std::uint32_t LcidOfLocaleName(std::string_view name);
// Whether text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
// The text with every byte that does not begin a well-formed UTF-8 sequence
// replaced by U+FFFD (a file marked UTF-8 may still hold such bytes).
std::string ValidUtf8(std::string text);
// Single-byte text of the code page as UTF-8 (through iconv); bytes the code
// page does not define become U+FFFD.
std::string AnsiToUtf8(std::string_view text, int codePage);
// "..\Brenlib\Default" as "../Brenlib/Default".
std::string NativeSeparators(std::string text);

// A language or message file. Reads give UTF-8 whatever the file holds. The
// first write to a file in an ANSI code page first converts the whole file to
// UTF-8 in one atomic replacement, keeping the original once as "<file>.bak";
// a refused write raises EIniFileException "Unable to write to <file>".
// Reads are safe from any thread while nobody writes the same object.
class TbLangFile : public TIniFileB {
public:
    // lcid chooses the code page used when the file is not UTF-8.
    TbLangFile(const std::string& fileName, std::uint32_t lcid);

    bool Exists() const;
    bool IsUtf8() const { return m_utf8; }
    int CodePage() const { return m_codePage; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def) const override;
    void WriteString(std::string_view section, std::string_view key,
                     std::string_view value) override;
    // Keys and values of the section in file order, decoded.
    TIniValues ReadValues(std::string_view section) const;
    std::vector<std::string> ReadLines(std::string_view section) const;
    // The writes the translation uses; each converts the file first.
    void ReplaceValues(std::string_view section, const TIniValues& values);
    void WriteLines(std::string_view section, const std::vector<std::string>& lines);
    void Erase(std::string_view section);
    // Converts an ANSI file to UTF-8 (see above); nothing for UTF-8 or none.
    void EnsureUtf8();

private:
    std::string Decode(std::string text) const;

    int m_codePage = 1252;
    bool m_utf8 = true;
};

struct TLangEntry {
    std::string Name;
    std::uint32_t Lcid = 0;
};

class TbLangDef final {
public:
    using TListener = std::function<void(const std::string& language)>;
    // Translates every open form and data module, or those of one class.
    using TApplyHook = std::function<void(const std::string& className)>;
    // Translates one component; records it first when saving.
    using TTranslateHook = std::function<void(QObject* component, bool saving)>;

    static constexpr const char* kNone = "<None>";
    static constexpr const char* kDefaultFolder = "Default";

    // Builds the language list; the system's LCID from the process locale.
    TbLangDef();
    ~TbLangDef();
    TbLangDef(const TbLangDef&) = delete;
    TbLangDef& operator=(const TbLangDef&) = delete;

    // The folder that holds the language folders.
    static std::string LangFolder();
    // The program's file name without folder and extension ("ravelox").
    static std::string ProgramFileName();

    // Rebuilds the list; the current index becomes 0. A language whose LCID
    // is not a number is listed with 0 (and a warning).
    void UpdateLangList();
    const std::vector<TLangEntry>& Languages() const { return m_languages; }
    int ItemIndex() const { return m_index; }
    // The selected name; empty for "<None>".
    std::string GetLanguage() const;
    std::uint32_t Lcid() const { return m_languages[static_cast<std::size_t>(m_index)].Lcid; }
    // The last entry equal to name without regard to case, or 0.
    int IndexOf(std::string_view name) const;

    // The start-up choice: a stored (or "Lang=") name that is listed wins;
    // only when none is stored does a language whose LCID equals the
    // system's (never 0) win; else "<None>".
    void InitLanguage();
    // Selects by name (case-insensitive; an unlisted name is "<None>"),
    // stores and saves the choice, tells the listeners and re-translates
    // every open window. The exact current name does nothing.
    void SetLanguage(const std::string& name);
    void SetItemIndex(int index);
    bool DoUpdateLanguage();
    void DoApplyLanguage(const std::string& className = {});
    bool DoTranslate(QObject* component, bool saving);
    bool Applying() const { return m_applying; }

    // The language file of file (empty: the program) with the extension.
    std::string FileNameLang(const std::string& file, const std::string& extension,
                             tLangOpenMode modes) const;

    // Listeners are called in registration order from a copy of the list, so
    // one may add or remove listeners while being called; one removed during
    // the call is not called afterwards. Returns the id for RemoveNotify.
    int AddNotify(TListener listener);
    void RemoveNotify(int id);

    // Root classes: a form is a class derived from one of them.
    void RegisterRootClass(const QMetaObject* root);
    // Classes from meta up to, but not counting, the first root it derives
    // from; -1 when it derives from none.
    int IsInheritsFrom(const QMetaObject* meta) const;
    bool IsForm(const QObject* object) const;
    // The class names between meta and its root, nearest first (meta's own
    // name excluded): the "@Inherited" list.
    std::vector<std::string> AncestorNames(const QMetaObject* meta) const;

    bool MainWindowExists = false;
    std::uint32_t SystemLcid = 0;
    TApplyHook ApplyHook;
    TTranslateHook TranslateHook;
    // Called for a component created while nothing is translated.
    std::function<void(QObject* component)> CreatedHook;

private:
    struct TNotify {
        int Id = 0;
        std::shared_ptr<TListener> Call;
    };
    void Select(int index);
    void SaveChoice();
    void Notify(const std::string& language);

    std::vector<TLangEntry> m_languages{{kNone, 0}};
    int m_index = 0;
    bool m_applying = false;
    std::vector<TNotify> m_listeners;
    int m_nextId = 1;
    std::vector<const QMetaObject*> m_roots;
};

// Reports that a language or message file was opened (the developer
// setting "OpenCloseFile" traces it); empty: nothing is reported.
using TOpenFileTrace =
    std::function<void(std::string_view className, const std::string& fileName, bool exists)>;
extern TOpenFileTrace OpenFileTrace;

// The program-wide language definition; empty before CreateLangDef.
extern TbLangDef* LangDef;
TbLangDef* CreateLangDef();
void FreeLangDef();
