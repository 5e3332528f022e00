// SPDX-License-Identifier: GPL-3.0-or-later
#include "zFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <mutex>
#include <system_error>

#include <QtGlobal>

namespace {

constexpr int kMaxWidth = 1000;

std::mutex g_sinkLock;
TFormatFaultSink g_sink;

void ReportFault(const std::string& message) {
    TFormatFaultSink sink;
    {
        const std::lock_guard lock(g_sinkLock);
        sink = g_sink;
    }
    if (sink)
        sink(message);
    else
        qWarning("%s", message.c_str());
}

// Number of UTF-8 code points.
std::size_t CharCount(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
    }));
}

// The first count code points.
std::string_view CharPrefix(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0u) != 0x80u) {
            if (seen == count)
                return text.substr(0, i);
            ++seen;
        }
    }
    return text;
}

void Pad(std::string& out, std::string_view body, int width, bool left) {
    const auto chars = CharCount(body);
    const auto fill =
        width > 0 && static_cast<std::size_t>(width) > chars ? width - static_cast<int>(chars) : 0;
    if (!left)
        out.append(static_cast<std::size_t>(fill), ' ');
    out.append(body);
    if (left)
        out.append(static_cast<std::size_t>(fill), ' ');
}

std::string Digits(std::uint64_t value, int base) {
    char buffer[32];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, base);
    std::string text(buffer, end);
    if (base == 16)
        std::transform(text.begin(), text.end(), text.begin(), [](char c) {
            return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 32) : c;
        });
    return text;
}

std::string FloatText(double value, char type, int precision) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    char buffer[kMaxWidth + 400];
    std::to_chars_result result{};
    switch (type) {
    case 'f':
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                               precision < 0 ? 2 : precision);
        break;
    case 'e':
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific,
                               precision < 0 ? 15 : precision);
        break;
    default:
        result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general,
                               precision < 0 ? 15 : std::max(precision, 1));
        break;
    }
    if (result.ec != std::errc{})
        return "?";
    std::string text(buffer, result.ptr);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c == 'e' ? 'E' : c; });
    return text;
}

struct TPlaceholder {
    int index = -1;
    bool left = false;
    int width = -1;
    int precision = -1;
    char type = 0;
};

// Parses after the "%"; returns the position after the type letter, or
// npos when the text is no placeholder.
std::size_t ParsePlaceholder(std::string_view format, std::size_t pos, TPlaceholder& holder) {
    auto number = [&](int& into) {
        const auto start = pos;
        long long value = 0;
        while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
            value = std::min<long long>(value * 10 + (format[pos] - '0'), 1'000'000);
            ++pos;
        }
        if (pos > start)
            into = static_cast<int>(value);
        return pos > start;
    };
    int first = -1;
    if (number(first)) {
        if (pos < format.size() && format[pos] == ':') {
            holder.index = first;
            ++pos;
        } else {
            holder.width = first;
        }
    }
    if (holder.width < 0) {
        if (pos < format.size() && format[pos] == '-') {
            holder.left = true;
            ++pos;
        }
        number(holder.width);
    }
    if (pos < format.size() && format[pos] == '.') {
        ++pos;
        if (!number(holder.precision))
            return std::string_view::npos;
    }
    if (pos >= format.size())
        return std::string_view::npos;
    const char type = static_cast<char>(format[pos] | 0x20);
    if (std::string_view("duxfegs").find(type) == std::string_view::npos)
        return std::string_view::npos;
    holder.type = type;
    if (holder.width > kMaxWidth || holder.precision > kMaxWidth)
        return std::string_view::npos;
    return pos + 1;
}

// The formatted argument, or false when it does not fit the type.
bool FormatOne(const TPlaceholder& holder, const TFmtArg& arg, std::string& body) {
    using K = TFmtArg::tKind;
    switch (holder.type) {
    case 'd': {
        if (arg.Kind() != K::fkInt && arg.Kind() != K::fkUInt)
            return false;
        const bool negative = arg.Kind() == K::fkInt && arg.Int() < 0;
        const std::uint64_t magnitude = arg.Kind() == K::fkUInt
                                            ? arg.UInt()
                                            : (negative ? 0 - static_cast<std::uint64_t>(arg.Int())
                                                        : static_cast<std::uint64_t>(arg.Int()));
        auto digits = Digits(magnitude, 10);
        if (holder.precision > static_cast<int>(digits.size()))
            digits.insert(0, static_cast<std::size_t>(holder.precision) - digits.size(), '0');
        body = (negative ? "-" : "") + digits;
        return true;
    }
    case 'u':
        if (arg.Kind() == K::fkUInt)
            body = Digits(arg.UInt(), 10);
        else if (arg.Kind() == K::fkInt && arg.Int() >= 0)
            body = Digits(static_cast<std::uint64_t>(arg.Int()), 10);
        else
            return false;
        break;
    case 'x': {
        std::uint64_t bits = 0;
        if (arg.Kind() == K::fkUInt)
            bits = arg.UInt();
        else if (arg.Kind() != K::fkInt)
            return false;
        else if (arg.Int() < 0 && arg.Int() >= INT32_MIN)
            bits = static_cast<std::uint32_t>(static_cast<std::int32_t>(arg.Int()));
        else
            bits = static_cast<std::uint64_t>(arg.Int());
        body = Digits(bits, 16);
        if (holder.precision > static_cast<int>(body.size()))
            body.insert(0, static_cast<std::size_t>(holder.precision) - body.size(), '0');
        break;
    }
    case 'f':
    case 'e':
    case 'g': {
        double value = 0.0;
        if (arg.Kind() == K::fkFloat)
            value = arg.Float();
        else if (arg.Kind() == K::fkInt)
            value = static_cast<double>(arg.Int());
        else if (arg.Kind() == K::fkUInt)
            value = static_cast<double>(arg.UInt());
        else
            return false;
        body = FloatText(value, holder.type, holder.precision);
        break;
    }
    default: // 's'
        if (arg.Kind() != K::fkText)
            return false;
        body = holder.precision >= 0
                   ? std::string(CharPrefix(arg.Text(), static_cast<std::size_t>(holder.precision)))
                   : arg.Text();
        break;
    }
    return true;
}

} // namespace

const char* TFmtArg::KindName() const {
    switch (m_kind) {
    case tKind::fkInt:
        return "integer";
    case tKind::fkUInt:
        return "unsigned";
    case tKind::fkFloat:
        return "float";
    default:
        return "text";
    }
}

std::string FormatStr(std::string_view format, std::span<const TFmtArg> args) {
    std::string out;
    out.reserve(format.size() + 16);
    std::size_t next = 0; // the argument of the next placeholder without an index
    std::size_t pos = 0;
    while (pos < format.size()) {
        const auto percent = format.find('%', pos);
        if (percent == std::string_view::npos) {
            out.append(format.substr(pos));
            break;
        }
        out.append(format.substr(pos, percent - pos));
        if (percent + 1 < format.size() && format[percent + 1] == '%') {
            out += '%';
            pos = percent + 2;
            continue;
        }
        TPlaceholder holder;
        const auto end = ParsePlaceholder(format, percent + 1, holder);
        if (end == std::string_view::npos) {
            out += '%';
            pos = percent + 1;
            ReportFault("Format: no valid placeholder at " + std::to_string(percent) + " in \"" +
                        std::string(format) + "\"");
            continue;
        }
        const auto written = format.substr(percent, end - percent);
        pos = end;
        const std::size_t index = holder.index >= 0 ? static_cast<std::size_t>(holder.index) : next;
        next = index + 1;
        if (index >= args.size()) {
            out.append(written);
            ReportFault("Format: " + std::string(written) + " has no argument " +
                        std::to_string(index) + " (" + std::to_string(args.size()) +
                        " given) in \"" + std::string(format) + "\"");
            continue;
        }
        std::string body;
        if (!FormatOne(holder, args[index], body)) {
            out.append(written);
            ReportFault("Format: " + std::string(written) + " does not fit argument " +
                        std::to_string(index) + " (" + args[index].KindName() + ") in \"" +
                        std::string(format) + "\"");
            continue;
        }
        Pad(out, body, holder.width, holder.left);
    }
    return out;
}

void SetFormatFaultSink(TFormatFaultSink sink) {
    const std::lock_guard lock(g_sinkLock);
    g_sink = std::move(sink);
}
