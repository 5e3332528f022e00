// SPDX-License-Identifier: GPL-3.0-or-later
#include "zIniReg.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>

#include <QMetaEnum>
#include <QMetaObject>
#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include "xHome.h"
#include "xVersion.h"
#include "zUtils.h"

TbIniReg* IniMain = nullptr;
TIniFileB* IniDebug = nullptr;
TRegistryB* RegCurrentUser = nullptr;
TRegistryB* RegLocalMachine = nullptr;
std::uint8_t DevLevel = 0;

namespace {

constexpr std::string_view kWindPlace = "WindPlace";
// The table reader's work buffer for kind 4: count byte plus 100 data bytes.
constexpr int kHexWork = 101;
constexpr int kMaxIntArray = 100;

QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQ(const QString& text) {
    return text.toUtf8().toStdString();
}

// A registry subkey path: "\" and "/" both separate subkeys.
QString GroupPath(std::string_view subKey) {
    auto group = ToQ(subKey);
    group.replace(u'\\', u'/');
    while (group.startsWith(u'/'))
        group.remove(0, 1);
    while (group.endsWith(u'/'))
        group.chop(1);
    return group;
}

// The spelling already stored for name among names, else name itself:
// registry names are compared without regard to case, like the file's.
QString StoredName(const QStringList& names, const QString& name) {
    if (names.contains(name))
        return name;
    for (const auto& stored : names)
        if (stored.compare(name, Qt::CaseInsensitive) == 0)
            return stored;
    return name;
}

// The group path of subKey as already stored (empty for the key itself).
QString StoredGroup(QSettings& settings, std::string_view subKey) {
    const auto parts = GroupPath(subKey).split(u'/', Qt::SkipEmptyParts);
    QString group;
    int depth = 0;
    for (const auto& part : parts) {
        const auto stored = StoredName(settings.childGroups(), part);
        settings.beginGroup(stored);
        ++depth;
        group += (group.isEmpty() ? "" : "/") + stored;
    }
    while (depth-- > 0)
        settings.endGroup();
    return group;
}

QString ValueKey(QSettings& settings, std::string_view subKey, std::string_view name) {
    const auto group = StoredGroup(settings, subKey);
    if (!group.isEmpty())
        settings.beginGroup(group);
    const auto value =
        StoredName(settings.childKeys(), name.empty() ? QStringLiteral(".") : ToQ(name));
    if (!group.isEmpty())
        settings.endGroup();
    return group.isEmpty() ? value : group + u'/' + value;
}

std::unique_ptr<QSettings> OpenSettings(TRegistryB::TRoot root, const std::string& company,
                                        const std::string& application) {
    auto settings = std::make_unique<QSettings>(
        QSettings::NativeFormat,
        root == TRegistryB::TRoot::CurrentUser ? QSettings::UserScope : QSettings::SystemScope,
        ToQ(company), ToQ(application));
    // A per-user read must never see the machine branch or the company file.
    settings->setFallbacksEnabled(false);
    return settings;
}

// Chars buffers get at most size - 1 bytes, cut at a character boundary.
void CopyChars(char* buffer, int size, const std::string& text) {
    if (size < 1)
        return;
    std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    if (n < text.size())
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

std::string FormatEntry(const RIni& entry) {
    switch (entry.Kind) {
    case ikInteger:
        return std::to_string(*static_cast<const std::int32_t*>(entry.Data));
    case ikByte:
    case ikFlag:
        return std::to_string(*static_cast<const std::uint8_t*>(entry.Data));
    case ikChars: {
        if (entry.Size < 1)
            return {};
        const auto* chars = static_cast<const char*>(entry.Data);
        return std::string(chars, strnlen(chars, static_cast<std::size_t>(entry.Size)));
    }
    case ikHexBytes:
        return TStrCvt::HexToStrBytes(static_cast<const std::uint8_t*>(entry.Data), entry.Size);
    case ikIntArray:
        return TStrCvt::ArrayIntToStr(static_cast<const std::int32_t*>(entry.Data),
                                      std::min(entry.Size, kMaxIntArray));
    case ikString:
        return *static_cast<const std::string*>(entry.Data);
    case ikIntList:
        return TStrCvt::IntListToStr(static_cast<const std::int32_t*>(entry.Data), entry.Size);
    case ikFloat:
        return FloatToStrF(*static_cast<const double*>(entry.Data), entry.Size);
    default:
        return "?";
    }
}

void StoreEntry(const RIni& entry, const std::string& text) {
    switch (entry.Kind) {
    case ikInteger:
        *static_cast<std::int32_t*>(entry.Data) = StrToInt(text);
        break;
    case ikByte:
    case ikFlag:
        *static_cast<std::uint8_t*>(entry.Data) = static_cast<std::uint8_t>(StrToInt(text) & 0xFF);
        break;
    case ikChars:
        CopyChars(static_cast<char*>(entry.Data), entry.Size, text);
        break;
    case ikHexBytes: {
        if (entry.Size < 1)
            break;
        std::uint8_t work[kHexWork] = {};
        TStrCvt::StrToHexBytes(work, kHexWork - 1, kHexWork, text);
        auto* bytes = static_cast<std::uint8_t*>(entry.Data);
        const int size = std::min(entry.Size, kHexWork);
        std::memcpy(bytes, work, static_cast<std::size_t>(size));
        // The count never claims more bytes than the variable holds.
        bytes[0] = static_cast<std::uint8_t>(std::min<int>(work[0], size - 1));
        break;
    }
    case ikIntArray:
        TStrCvt::StrToArrayInt(static_cast<std::int32_t*>(entry.Data),
                               std::min(entry.Size, kMaxIntArray), text);
        break;
    case ikString:
        *static_cast<std::string*>(entry.Data) = text;
        break;
    case ikIntList:
        TStrCvt::StrToIntList(static_cast<std::int32_t*>(entry.Data), entry.Size, text);
        break;
    case ikFloat:
        *static_cast<double*>(entry.Data) = StrToFloat(text);
        break;
    default:
        break;
    }
}

// The registry branch an entry uses: per-user wins over machine.
TRegistryB* EntryRegistry(std::uint8_t entryMode, std::uint8_t tableMode) {
    if (entryMode == rU || tableMode == rU)
        return RegCurrentUser;
    if (entryMode == rL || tableMode == rL)
        return RegLocalMachine;
    return nullptr;
}

bool ValidKind(std::uint8_t kind) {
    return kind >= ikInteger && kind <= ikFlag;
}

// Where the placement of a form lives: its multiple-document frame when it
// is such a child, the form itself when it is a window of its own, else none.
} // namespace

// --- TRegistryB ---

TRegistryB::TRegistryB(TRoot root, std::string company, std::string middle, std::string product)
    : m_root(root), m_company(std::move(company)) {
    m_keyPath = "\\Software\\" + m_company;
    for (const auto* part : {&middle, &product}) {
        if (part->empty())
            continue;
        m_keyPath += "\\" + *part;
        m_application += (m_application.empty() ? "" : "/") + *part;
    }
    const auto settings = OpenSettings(m_root, m_company, m_application);
    m_keyExisted = !settings->allKeys().isEmpty();
}

std::string TRegistryB::ReadString(std::string_view subKey, std::string_view name,
                                   std::string_view def) const {
    const auto settings = OpenSettings(m_root, m_company, m_application);
    const auto key = ValueKey(*settings, subKey, name);
    if (!settings->contains(key))
        return std::string(def);
    const auto value = settings->value(key);
    // A hand-edited value with unquoted commas comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return FromQ(value.toStringList().join(u','));
    return FromQ(value.toString());
}

void TRegistryB::WriteString(std::string_view subKey, std::string_view name,
                             std::string_view value) {
    const auto settings = OpenSettings(m_root, m_company, m_application);
    if (!settings->isWritable())
        return;
    settings->setValue(ValueKey(*settings, subKey, name), ToQ(value));
    settings->sync();
}

bool TRegistryB::ReadBool(std::string_view subKey, std::string_view name, bool def) const {
    const auto text = ReadString(subKey, name, "");
    return text.empty() ? def : text != "0";
}

void TRegistryB::WriteBool(std::string_view subKey, std::string_view name, bool value) {
    WriteString(subKey, name, value ? "1" : "0");
}

void TRegistryB::DeleteKey(std::string_view subKey) {
    const auto settings = OpenSettings(m_root, m_company, m_application);
    const auto group = StoredGroup(*settings, subKey);
    if (group.isEmpty() || !settings->isWritable())
        return;
    settings->remove(group);
    settings->sync();
}

void TRegistryB::ClearValues(std::string_view subKey) {
    const auto settings = OpenSettings(m_root, m_company, m_application);
    if (!settings->isWritable())
        return;
    const auto group = StoredGroup(*settings, subKey);
    if (!group.isEmpty())
        settings->beginGroup(group);
    for (const auto& key : settings->childKeys())
        settings->remove(key);
    if (!group.isEmpty())
        settings->endGroup();
    settings->sync();
}

void TRegistryB::WriteValueNames(std::string_view subKey, const std::vector<std::string>& names) {
    const auto settings = OpenSettings(m_root, m_company, m_application);
    if (!settings->isWritable())
        return;
    for (const auto& name : names)
        settings->setValue(ValueKey(*settings, subKey, name), QString(""));
    settings->sync();
}

// --- TbIniReg ---

TbIniReg::TbIniReg(const std::string& fileName) : TIniFileB(fileName) {}

std::string TbIniReg::FileNameExeIni() {
    return ProgramBasePath() + ".INI";
}

std::string TbIniReg::GetSubPropSect(std::string_view section) {
    return "Properties\\" + std::string(section);
}

void TbIniReg::ReadRIni(const RIni* table, int count) {
    if (table == nullptr || count < 1)
        return;
    for (int i = 1; i < count && table[i].Kind != ikNone; ++i)
        ReadRIniOne(table[i], table[0].KeyName, table[0].Mode);
}

void TbIniReg::WriteRIni(const RIni* table, int count) {
    if (table == nullptr || count < 1)
        return;
    for (int i = 1; i < count && table[i].Kind != ikNone; ++i)
        WriteRIniOne(table[i], table[0].KeyName, table[0].Mode);
}

void TbIniReg::ReadRIniOne(const RIni& entry, std::string_view section, std::uint8_t tableMode) {
    if (entry.Kind == ikNone || entry.KeyName == nullptr)
        return;
    auto text = ReadString(section, entry.KeyName, "?");
    if (auto* registry = EntryRegistry(entry.Mode, tableMode))
        text = registry->ReadString(section, entry.KeyName, text);
    if (text == "?" || !ValidKind(entry.Kind) || entry.Data == nullptr)
        return;
    try {
        StoreEntry(entry, text);
    } catch (const EConvertError& error) {
        throw EConvertError("[" + std::string(section) + "] " + entry.KeyName + ": " +
                            error.what());
    }
}

void TbIniReg::WriteRIniOne(const RIni& entry, std::string_view section, std::uint8_t tableMode) {
    if (entry.Kind == ikNone || entry.KeyName == nullptr)
        return;
    if (ValidKind(entry.Kind) && entry.Data == nullptr)
        return;
    const auto text = FormatEntry(entry);
    WriteString(section, entry.KeyName, text);
    if (auto* registry = EntryRegistry(entry.Mode, tableMode))
        registry->WriteString(section, entry.KeyName, text);
}

std::string TbIniReg::ReadStringReg(std::string_view section, std::string_view key,
                                    std::string_view def) const {
    if (RegCurrentUser != nullptr) {
        auto text = RegCurrentUser->ReadString(GetSubPropSect(section), key, "?");
        if (text != "?")
            return text;
    }
    return ReadString(section, key, def);
}

void TbIniReg::WriteStringReg(std::string_view section, std::string_view key,
                              std::string_view value) {
    WriteString(section, key, value);
    if (RegCurrentUser != nullptr)
        RegCurrentUser->WriteString(GetSubPropSect(section), key, value);
}

bool TbIniReg::GetWindPlace(std::string_view formName, RWindLayout& layout) const {
    auto text = ReadStringReg(kWindPlace, formName, "");
    // Older values separate the numbers with commas.
    std::replace(text.begin(), text.end(), ',', ';');
    std::vector<std::string_view> fields;
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto semi = rest.find(';');
        fields.push_back(rest.substr(0, semi));
        rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
    }
    if (fields.size() < 5)
        return false;
    std::int32_t numbers[5];
    for (int i = 0; i < 5; ++i)
        numbers[i] = TrimView(fields[i]).empty() ? 0 : StrToInt(fields[i]);
    layout = {numbers[0], numbers[1], numbers[2], numbers[3], numbers[4]};
    return true;
}

// --- registry objects and developer level ---

namespace {

std::unique_ptr<TRegistryB> g_regCurrentUser;
std::unique_ptr<TRegistryB> g_regLocalMachine;

// The first character of a key's default value as a digit; anything else
// counts as nothing (a stray "-" must not become level 253).
int LevelCandidate(const std::string& text) {
    return (!text.empty() && text[0] >= '0' && text[0] <= '9') ? text[0] - '0' : 0;
}

} // namespace

void CreateRegistries(const TVersionRecord* record) {
    const auto& version = record != nullptr ? *record : VersionRecord();
    if (version.CompanyName.empty() || version.InternalName.empty())
        throw EVersionInfo("VersionInfo resource 'CompanyName' or 'InternalName' not found");
    using TRoot = TRegistryB::TRoot;
    g_regCurrentUser = std::make_unique<TRegistryB>(TRoot::CurrentUser, version.CompanyName, "",
                                                    version.InternalName);
    g_regLocalMachine = std::make_unique<TRegistryB>(TRoot::LocalMachine, version.CompanyName, "",
                                                     version.InternalName);
    RegCurrentUser = g_regCurrentUser.get();
    RegLocalMachine = g_regLocalMachine.get();
    const TRegistryB maker(TRoot::CurrentUser, version.CompanyName, "", "");
    DevLevel =
        static_cast<std::uint8_t>(std::max(LevelCandidate(RegCurrentUser->ReadString("", "", "")),
                                           LevelCandidate(maker.ReadString("", "", ""))));
}

void FreeRegistries() {
    RegCurrentUser = nullptr;
    RegLocalMachine = nullptr;
    g_regCurrentUser.reset();
    g_regLocalMachine.reset();
    DevLevel = 0;
}
