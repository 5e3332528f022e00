// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store's window and component part: window placement and the
// property sections of components. Only the desktop program links it, so
// ravelox-cli never loads the widget libraries.
#include "zIniReg.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMetaEnum>
#include <QMetaObject>
#include <QObject>
#include <QScreen>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include "zUtils.h"

namespace {

constexpr std::string_view kWindPlace = "WindPlace";

QString ToQ(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQ(const QString& text) {
    return text.toUtf8().toStdString();
}

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

// A placement saved on a screen that is gone would open off-screen: the
// rectangle is moved (and if need be shrunk) into the available area of the
// screen it overlaps most, else of the primary screen. Only the window moves;
// the stored text changes at the next save.
QRect ClampToScreens(QRect rect) {
    const QScreen* best = nullptr;
    long long bestArea = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->availableGeometry().intersected(rect);
        const long long area = common.isEmpty() ? 0 : 1LL * common.width() * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    if (best == nullptr)
        best = QGuiApplication::primaryScreen();
    if (best == nullptr)
        return rect;
    const QRect avail = best->availableGeometry();
    rect.setWidth(std::min(rect.width(), avail.width()));
    rect.setHeight(std::min(rect.height(), avail.height()));
    rect.moveLeft(std::clamp(rect.left(), avail.left(), avail.right() - rect.width() + 1));
    rect.moveTop(std::clamp(rect.top(), avail.top(), avail.bottom() - rect.height() + 1));
    return rect;
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

// --- TbIniReg: placement and properties ---

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
    // A form without a name has no key to be stored under.
    if (form == nullptr || form->objectName().isEmpty())
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
    QRect rect(layout.Left, layout.Top, sizeable ? layout.Width : target->width(),
               sizeable ? layout.Height : target->height());
    if (IsMdiChild(form)) {
        target->setGeometry(rect);
        return;
    }
    target->setGeometry(ClampToScreens(rect));
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
