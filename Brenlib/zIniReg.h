// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store: the settings file beside the program with a mirror in
// the registry (per-user and machine branches under
// \Software\<company>\<internal name>), settings tables of typed entries,
// window placements and component properties.
//
// All operations run on the user-interface thread; nothing here locks.
#pragma once

#include <QFlags>
#include <QMetaProperty>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bIniFile.h"

class QObject;
class QWidget;

// Which registry branch mirrors a value besides the settings file.
enum tRegMode : std::uint8_t {
    r_ = 0, // the settings file only
    rU = 1, // also the per-user branch
    rL = 2, // also the machine branch
};

// Value kinds of a settings-table entry; see RIni.
enum tIniKind : std::uint8_t {
    ikNone = 0,     // ends a table
    ikInteger = 1,  // std::int32_t, decimal
    ikByte = 2,     // std::uint8_t, decimal, low 8 bits stored
    ikChars = 3,    // char[Size], zero-terminated
    ikHexBytes = 4, // std::uint8_t[Size]: [0] = count n, [1..n] data; "1A,2B"
    ikIntArray = 5, // std::int32_t[Size + 1]: [0] = count n (<= Size, <= 100), [1..n] data
    ikString = 6,   // std::string
    ikIntList = 7,  // std::int32_t[Size], all Size values joined by ","
    ikFloat = 8,    // double, fixed notation with Size decimals
    ikFlag = 9,     // std::uint8_t, 0/1
};

// One record of a settings table. The first record is the header (Kind 0,
// Mode = the table's mode, KeyName = the section); the entries follow; a
// record with Kind 0 ends the table. A Kind outside 1..9 writes "?" and
// reads nothing.
struct RIni {
    std::uint8_t Kind = ikNone;
    std::uint8_t Mode = r_;
    const char* KeyName = nullptr;
    void* Data = nullptr;
    std::int32_t Size = 0;
};

// A window placement as stored: the form's normal position and size and its
// window state (0 normal, 1 minimised, 2 maximised).
struct RWindLayout {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t WindowState = 0;
};

enum tPropModeBit : unsigned {
    pmNoWindPlace = 1u << 0,  // do not save the window placement
    pmNoProperties = 1u << 1, // do not save the property section
    pmUpdate = 1u << 2,       // delete the registry mirror first; report unknown keys
};
Q_DECLARE_FLAGS(tPropMode, tPropModeBit)
Q_DECLARE_OPERATORS_FOR_FLAGS(tPropMode)

// The version record lacks the names the registry key is built from.
class EVersionInfo : public std::runtime_error {
public:
    explicit EVersionInfo(const std::string& message) : std::runtime_error(message) {}
};

// One registry branch (a QSettings scope) at \Software\company[\middle]\product.
// A subkey is a group ("a\b" and "a/b" alike); the unnamed default value of a
// key is the value named ".". Keys that cannot be opened or written are
// skipped silently: reads give the default, writes do nothing.
class TRegistryB final {
public:
    enum class TRoot { CurrentUser, LocalMachine };

    // An empty product addresses the company key itself.
    TRegistryB(TRoot root, std::string company, std::string middle, std::string product);

    // "\Software\company[\middle][\product]".
    const std::string& KeyPath() const { return m_keyPath; }
    // Whether the key had any values when this object was made.
    bool KeyExisted() const { return m_keyExisted; }

    // The stored text when the value exists (also when it is empty), else def.
    std::string ReadString(std::string_view subKey, std::string_view name,
                           std::string_view def) const;
    void WriteString(std::string_view subKey, std::string_view name, std::string_view value);
    // "0" is false, any other non-empty text true; absent or empty gives def.
    bool ReadBool(std::string_view subKey, std::string_view name, bool def) const;
    void WriteBool(std::string_view subKey, std::string_view name, bool value);
    // Removes the subkey with its values and subkeys. The key itself (empty
    // subKey) is never removed this way.
    void DeleteKey(std::string_view subKey);
    // Removes every value of the subkey, keeps its subkeys.
    void ClearValues(std::string_view subKey);
    // Writes the empty text under each name.
    void WriteValueNames(std::string_view subKey, const std::vector<std::string>& names);

private:
    TRoot m_root;
    std::string m_company;
    std::string m_application;
    std::string m_keyPath;
    bool m_keyExisted = false;
};

// A published property reached by a property path, with its text form.
// Paths join names with "."; each earlier name is an object-valued property
// or the object name of an owned component (searched through the children).
// Text forms: integers in decimal, bool as "true"/"false", enumerations by
// identifier, flags as "[a,b]", floating values in general format with 6
// significant digits, strings as they are; other types through their QVariant
// text conversion where one exists. Object-valued properties have no text.
class TPropertyInfo final {
public:
    // Empty when the path names no readable property with a text form.
    static std::optional<TPropertyInfo> Resolve(QObject* root, std::string_view path);

    bool IsWritable() const { return m_property.isWritable(); }
    std::string GetText() const;
    // Raises EConvertError when the text does not fit the property or the
    // property refuses it.
    void SetText(std::string_view text) const;

private:
    TPropertyInfo(QObject* object, QMetaProperty property)
        : m_object(object), m_property(property) {}

    QPointer<QObject> m_object;
    QMetaProperty m_property;
};

class TbIniReg : public TIniFileB {
public:
    // Reports a numbered message of a message group with one argument; used
    // for message 3 of "Errors" (a property key that names no property).
    using TReportMessage =
        std::function<void(std::string_view group, int number, std::string_view argument)>;

    explicit TbIniReg(const std::string& fileName);

    // The program's settings file: ProgramBasePath() + ".INI".
    static std::string FileNameExeIni();
    // "Properties\" + section.
    static std::string GetSubPropSect(std::string_view section);

    // Every entry of a table, in order. count is the number of records
    // including the header; the walk ends at the terminator or after count
    // records, whichever comes first. A text that does not convert raises
    // EConvertError: entries before it are stored, later ones are not read.
    void ReadRIni(const RIni* table, int count);
    void WriteRIni(const RIni* table, int count);
    template <std::size_t N> void ReadRIni(const RIni (&table)[N]) {
        ReadRIni(table, static_cast<int>(N));
    }
    template <std::size_t N> void WriteRIni(const RIni (&table)[N]) {
        WriteRIni(table, static_cast<int>(N));
    }
    void ReadRIniOne(const RIni& entry, std::string_view section, std::uint8_t tableMode);
    void WriteRIniOne(const RIni& entry, std::string_view section, std::uint8_t tableMode);

    // The per-user registry subkey "Properties\" + section first, then the file.
    std::string ReadStringReg(std::string_view section, std::string_view key,
                              std::string_view def) const;
    // The file, then the per-user registry subkey "Properties\" + section.
    void WriteStringReg(std::string_view section, std::string_view key, std::string_view value);

    // Section "WindPlace", key = the form's object name. True when the stored
    // text holds at least five numbers; a field that is not a number raises
    // EConvertError.
    bool GetWindPlace(std::string_view formName, RWindLayout& layout) const;
    void LoadWindPlace(QWidget* form);
    void SaveWindPlace(QWidget* form);
    // The six-number text of a form's current placement, empty for none.
    static std::string WindPlaceText(QWidget* form);

    // The section named after the component's class lists its persistent
    // properties. Loading (window placement first, for a form with a window
    // of its own) stops quietly at the first error; what was set stays.
    void LoadProperties(QObject* component, tPropMode modes = {});
    // Saves the placement of a floating form, then every listed property
    // that resolves. A refused file write raises EIniFileException.
    void SaveProperties(QObject* component, tPropMode modes = {});

    // Installed by the message strings; without it reports go to qWarning.
    static inline TReportMessage ReportMessage;
};

// The program-wide store objects; empty before InitSettingsStore (bConfig)
// and after DoneSettingsStore.
extern TbIniReg* IniMain;
extern TIniFileB* IniDebug;
extern TRegistryB* RegCurrentUser;
extern TRegistryB* RegLocalMachine;
// 0 normally; set from the default value of the product key or of the
// company key in the per-user branch (a digit, the larger one wins).
extern std::uint8_t DevLevel;

struct TVersionRecord;

// Makes the two registry objects from the version record (the program's own
// when none is given) and fixes DevLevel. Raises EVersionInfo when the
// record lacks its company or internal name; start-up shows the text and
// stops.
void CreateRegistries(const TVersionRecord* version = nullptr);
void FreeRegistries();
