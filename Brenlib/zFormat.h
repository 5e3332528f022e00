// SPDX-License-Identifier: GPL-3.0-or-later
// The one formatter for texts that hold "%" placeholders. Such texts come
// from files that translators edit (message lines, language files), so the
// format is data, never code: every argument carries its kind, and a
// placeholder that does not fit its argument, or that has no argument left,
// stays in the result exactly as written and is reported to the fault sink.
// Nothing here ever reads past the arguments; no printf-family call sees a
// format from a file.
//
// Placeholder syntax: "%" [index ":"] ["-"] [width] ["." precision] type
//   d  signed integer (precision = minimum digits)
//   u  unsigned integer (a negative value does not fit)
//   x  integer in upper-case hexadecimal (negative: 32-bit two's complement
//      when it fits in 32 bits, else 64-bit)
//   f  floating point, fixed, precision decimals (2 when none is given)
//   e  floating point, scientific, precision digits (15 when none is given)
//   g  floating point, shortest of fixed or scientific, precision
//      significant digits (15 when none is given)
//   s  text (precision = maximum characters)
// and "%%" for a percent sign. Type letters may be upper case. An index
// selects the argument and the following placeholders continue after it.
// Widths and precisions count characters (UTF-8 code points) and are capped
// at 1000. Integer arguments are accepted by f, e and g; floating arguments
// never by d, u, x; only texts by s.
//
// Thread-safe: any thread may format; the fault sink is called on the
// formatting thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

class TFmtArg final {
public:
    enum class tKind : std::uint8_t { fkInt, fkUInt, fkFloat, fkText };

    template <class T>
    requires(std::is_integral_v<T>&& std::is_signed_v<T> && !std::is_same_v<T, char> &&
             !std::is_same_v<T, bool>) TFmtArg(T value)
        : m_kind(tKind::fkInt), m_int(value) {}
    template <class T>
    requires(std::is_integral_v<T>&& std::is_unsigned_v<T> && !std::is_same_v<T, bool>)
        TFmtArg(T value)
        : m_kind(tKind::fkUInt), m_uint(value) {}
    // A flag formats as the number 0 or 1.
    TFmtArg(bool value) : m_kind(tKind::fkInt), m_int(value ? 1 : 0) {}
    TFmtArg(double value) : m_kind(tKind::fkFloat), m_float(value) {}
    TFmtArg(float value) : m_kind(tKind::fkFloat), m_float(value) {}
    TFmtArg(char value) : m_kind(tKind::fkText), m_text(1, value) {}
    TFmtArg(const char* value) : m_kind(tKind::fkText), m_text(value != nullptr ? value : "") {}
    TFmtArg(std::string_view value) : m_kind(tKind::fkText), m_text(value) {}
    TFmtArg(const std::string& value) : m_kind(tKind::fkText), m_text(value) {}

    tKind Kind() const { return m_kind; }
    std::int64_t Int() const { return m_int; }
    std::uint64_t UInt() const { return m_uint; }
    double Float() const { return m_float; }
    const std::string& Text() const { return m_text; }
    // "integer", "unsigned", "float" or "text", for fault reports.
    const char* KindName() const;

private:
    tKind m_kind;
    std::int64_t m_int = 0;
    std::uint64_t m_uint = 0;
    double m_float = 0.0;
    std::string m_text;
};

// Formats; faults leave their placeholders as written and go to the sink.
std::string FormatStr(std::string_view format, std::span<const TFmtArg> args);

template <class... TArgs> std::string Format(std::string_view format, const TArgs&... args) {
    const std::array<TFmtArg, sizeof...(TArgs)> list{TFmtArg(args)...};
    return FormatStr(format, list);
}

// Receives one line per fault (placeholder, argument and the whole format).
// Without a sink faults go to qWarning. The tracer installs itself here.
using TFormatFaultSink = std::function<void(const std::string& message)>;
void SetFormatFaultSink(TFormatFaultSink sink);
