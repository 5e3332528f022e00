// SPDX-License-Identifier: GPL-3.0-or-later
#include "zIniReg.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMetaEnum>
#include <QMetaObject>
#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <QWidget>

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
QWidget* PlacementWidget(QWidget* form) {
    if (form == nullptr)
        return nullptr;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(form->parentWidget()))
        return sub;
    return form->isWindow() ? form : nullptr;
}

bool IsMdiChild(QWidget* form) {
    return form != nullptr && qobject_cast<QMdiSubWindow*>(form->parentWidget()) != nullptr;
}

int FormStyle(QWidget* form) {
    if (IsMdiChild(form))
        return 1;
    if (form->findChild<QMdiArea*>() != nullptr)
        return 2;
    if (form->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        return 3;
    return 0;
}

// --- property text forms ---

bool IsIntegerType(int id) {
    switch (id) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool HasTextForm(const QMetaProperty& property) {
    if (!property.isReadable())
        return false;
    if (property.isEnumType())
        return true;
    const auto type = property.metaType();
    if (type.flags().testFlag(QMetaType::PointerToQObject))
        return false;
    const int id = type.id();
    if (IsIntegerType(id) || id == QMetaType::Bool || id == QMetaType::Double ||
        id == QMetaType::Float || id == QMetaType::QString || id == QMetaType::QByteArray)
        return true;
    const auto text = QMetaType::fromType<QString>();
    return QMetaType::canConvert(type, text) && QMetaType::canConvert(text, type);
}

std::optional<QMetaProperty> FindProperty(const QObject* object, std::string_view name) {
    const auto* meta = object->metaObject();
    const auto exact = meta->indexOfProperty(std::string(name).c_str());
    if (exact >= 0)
        return meta->property(exact);
    for (int i = 0; i < meta->propertyCount(); ++i)
        if (SameText(meta->property(i).name(), name))
            return meta->property(i);
    return std::nullopt;
}

QObject* FindOwned(QObject* owner, std::string_view name) {
    const auto qname = ToQ(name);
    if (auto* child = owner->findChild<QObject*>(qname))
        return child;
    const auto children = owner->findChildren<QObject*>();
    const auto it = std::find_if(children.begin(), children.end(), [&](const QObject* child) {
        return child->objectName().compare(qname, Qt::CaseInsensitive) == 0;
    });
    return it == children.end() ? nullptr : *it;
}

// The integer behind an enumeration or flags value, whatever type holds it.
long long EnumValue(const QVariant& value) {
    bool ok = false;
    const auto number = value.toLongLong(&ok);
    if (ok)
        return number;
    int raw = 0;
    if (value.metaType().sizeOf() == sizeof raw && value.constData() != nullptr)
        std::memcpy(&raw, value.constData(), sizeof raw);
    return raw;
}

[[noreturn]] void BadText(std::string_view text, const char* what) {
    throw EConvertError("'" + std::string(text) + "' is not a valid " + what);
}

int EnumKeyValue(const QMetaEnum& enumerator, std::string_view key) {
    for (int i = 0; i < enumerator.keyCount(); ++i)
        if (SameText(enumerator.key(i), key))
            return enumerator.value(i);
    BadText(key, enumerator.name());
}

template <class T> QVariant ParseIntegral(std::string_view text) {
    auto digits = TrimView(text);
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    T value{};
    const auto* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || ec != std::errc{} || ptr != end)
        BadText(text, "integer value");
    return QVariant::fromValue(value);
}

QVariant ParseInteger(int id, std::string_view text) {
    switch (id) {
    case QMetaType::Int:
        return ParseIntegral<int>(text);
    case QMetaType::UInt:
        return ParseIntegral<unsigned>(text);
    case QMetaType::LongLong:
        return ParseIntegral<qlonglong>(text);
    case QMetaType::ULongLong:
        return ParseIntegral<qulonglong>(text);
    case QMetaType::Short:
        return ParseIntegral<short>(text);
    case QMetaType::UShort:
        return ParseIntegral<unsigned short>(text);
    case QMetaType::Long:
        return ParseIntegral<long>(text);
    case QMetaType::ULong:
        return ParseIntegral<unsigned long>(text);
    case QMetaType::Char:
        return ParseIntegral<char>(text);
    case QMetaType::SChar:
        return ParseIntegral<signed char>(text);
    default:
        return ParseIntegral<unsigned char>(text);
    }
}

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

// --- TPropertyInfo ---

std::optional<TPropertyInfo> TPropertyInfo::Resolve(QObject* root, std::string_view path) {
    QObject* object = root;
    for (;;) {
        if (object == nullptr)
            return std::nullopt;
        const auto dot = path.find('.');
        const auto name = TrimView(path.substr(0, dot));
        if (name.empty())
            return std::nullopt;
        const auto property = FindProperty(object, name);
        if (dot == std::string_view::npos) {
            if (!property || !HasTextForm(*property))
                return std::nullopt;
            return TPropertyInfo(object, *property);
        }
        path.remove_prefix(dot + 1);
        if (property && property->isReadable() &&
            property->metaType().flags().testFlag(QMetaType::PointerToQObject))
            object = property->read(object).value<QObject*>();
        else
            object = FindOwned(object, name);
    }
}

std::string TPropertyInfo::GetText() const {
    if (m_object == nullptr)
        throw EConvertError("property object is gone");
    const auto value = m_property.read(m_object);
    if (m_property.isEnumType()) {
        const auto enumerator = m_property.enumerator();
        const auto number = EnumValue(value);
        if (!enumerator.isFlag()) {
            const char* key = enumerator.valueToKey(static_cast<int>(number));
            return key != nullptr ? std::string(key) : std::to_string(number);
        }
        std::string text = "[";
        for (int i = 0; i < enumerator.keyCount(); ++i) {
            const auto bit = static_cast<unsigned>(enumerator.value(i));
            if (bit != 0 && (bit & (bit - 1)) == 0 &&
                (static_cast<unsigned>(number) & bit) == bit) {
                if (text.size() > 1)
                    text += ',';
                text += enumerator.key(i);
            }
        }
        return text + "]";
    }
    const int id = m_property.metaType().id();
    if (id == QMetaType::Bool)
        return value.toBool() ? "true" : "false";
    if (id == QMetaType::Double || id == QMetaType::Float)
        return FloatToStrG(value.toDouble());
    if (id == QMetaType::ULongLong || id == QMetaType::ULong || id == QMetaType::UInt ||
        id == QMetaType::UShort || id == QMetaType::UChar)
        return std::to_string(value.toULongLong());
    if (IsIntegerType(id))
        return std::to_string(value.toLongLong());
    if (id == QMetaType::QByteArray)
        return value.toByteArray().toStdString();
    return FromQ(value.toString());
}

void TPropertyInfo::SetText(std::string_view text) const {
    if (m_object == nullptr)
        throw EConvertError("property object is gone");
    QVariant value;
    const int id = m_property.metaType().id();
    if (m_property.isEnumType()) {
        const auto enumerator = m_property.enumerator();
        if (enumerator.isFlag()) {
            auto inner = TrimView(text);
            if (!inner.starts_with('[') || !inner.ends_with(']'))
                BadText(text, "set");
            inner = TrimView(inner.substr(1, inner.size() - 2));
            int bits = 0;
            while (!inner.empty()) {
                const auto comma = inner.find(',');
                bits |= EnumKeyValue(enumerator, TrimView(inner.substr(0, comma)));
                inner =
                    comma == std::string_view::npos ? std::string_view{} : inner.substr(comma + 1);
            }
            value = bits;
        } else {
            // Identifiers as written; a plain number is accepted as well.
            int number = 0;
            const auto key = TrimView(text);
            const auto [ptr, ec] = std::from_chars(key.data(), key.data() + key.size(), number);
            const bool isNumber =
                !key.empty() && ec == std::errc{} && ptr == key.data() + key.size();
            value = isNumber ? number : EnumKeyValue(enumerator, key);
        }
    } else if (id == QMetaType::Bool) {
        const auto word = TrimView(text);
        if (SameText(word, "true") || word == "1")
            value = true;
        else if (SameText(word, "false") || word == "0")
            value = false;
        else
            BadText(text, "boolean value");
    } else if (id == QMetaType::Double) {
        value = StrToFloat(text);
    } else if (id == QMetaType::Float) {
        value = static_cast<float>(StrToFloat(text));
    } else if (IsIntegerType(id)) {
        value = ParseInteger(id, text);
    } else if (id == QMetaType::QByteArray) {
        value = QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    } else {
        value = ToQ(text);
        if (id != QMetaType::QString && !value.convert(m_property.metaType()))
            BadText(text, m_property.typeName());
    }
    if (!m_property.write(m_object, value))
        BadText(text, "value for this property");
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

std::string TbIniReg::WindPlaceText(QWidget* form) {
    auto* target = PlacementWidget(form);
    if (target == nullptr)
        return {};
    QRect rect = target->isWindow() ? target->normalGeometry() : target->geometry();
    if (!rect.isValid())
        rect = target->geometry();
    const auto states = target->windowState();
    const int state =
        states.testFlag(Qt::WindowMinimized) ? 1 : (states.testFlag(Qt::WindowMaximized) ? 2 : 0);
    std::string text;
    for (const int number :
         {rect.x(), rect.y(), rect.width(), rect.height(), state, FormStyle(form)})
        text += std::to_string(number) + ";";
    return text;
}

void TbIniReg::SaveWindPlace(QWidget* form) {
    if (form == nullptr)
        return;
    WriteStringReg(kWindPlace, FromQ(form->objectName()), WindPlaceText(form));
}

void TbIniReg::LoadWindPlace(QWidget* form) {
    auto* target = PlacementWidget(form);
    RWindLayout layout;
    if (target == nullptr || !GetWindPlace(FromQ(form->objectName()), layout))
        return;
    const bool sizeable = target->minimumSize() != target->maximumSize() &&
                          !target->windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint);
    if (sizeable)
        target->setGeometry(layout.Left, layout.Top, layout.Width, layout.Height);
    else
        target->setGeometry(layout.Left, layout.Top, target->width(), target->height());
    if (IsMdiChild(form))
        return;
    auto states = target->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (layout.WindowState == 1)
        states |= Qt::WindowMinimized;
    else if (layout.WindowState == 2)
        states |= Qt::WindowMaximized;
    target->setWindowState(states);
}

void TbIniReg::LoadProperties(QObject* component, tPropMode /*modes*/) {
    if (component == nullptr)
        return;
    try {
        if (auto* form = qobject_cast<QWidget*>(component))
            LoadWindPlace(form);
        const std::string section = component->metaObject()->className();
        for (const auto& key : ReadSection(section)) {
            const auto info = TPropertyInfo::Resolve(component, key);
            if (!info || !info->IsWritable())
                continue;
            info->SetText(ReadStringReg(section, key, ""));
        }
    } catch (...) {
        // A malformed placement or value ends the load; what was set stays.
    }
}

void TbIniReg::SaveProperties(QObject* component, tPropMode modes) {
    if (component == nullptr)
        return;
    if (auto* form = qobject_cast<QWidget*>(component);
        form != nullptr && PlacementWidget(form) != nullptr && !modes.testFlag(pmNoWindPlace))
        SaveWindPlace(form);
    if (modes.testFlag(pmNoProperties))
        return;
    const std::string section = component->metaObject()->className();
    const auto keys = ReadSection(section);
    if (modes.testFlag(pmUpdate) && RegCurrentUser != nullptr)
        RegCurrentUser->DeleteKey(GetSubPropSect(section));
    for (const auto& key : keys) {
        if (const auto info = TPropertyInfo::Resolve(component, key)) {
            WriteStringReg(section, key, info->GetText());
        } else if (modes.testFlag(pmUpdate)) {
            const auto argument = section + "." + key;
            if (ReportMessage)
                ReportMessage("Errors", 3, argument);
            else
                qWarning("Errors 3: %s", argument.c_str());
        }
    }
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
