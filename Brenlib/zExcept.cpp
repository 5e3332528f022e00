// SPDX-License-Identifier: GPL-3.0-or-later
#include "zExcept.h"

#include <array>
#include <mutex>

#include <QtGlobal>

#include "zUtils.h"

namespace {

constexpr std::array<std::string_view, IDS_zeMaxNum + 1> kExceptFormats = {
    "Unknown error: %d",
    "%s: %s Not found",
    "%s: %s Overflow",
    "%s: Already created",
    "%s: %s No room",
    "%s: Out of range: Min=%d, Max=%d",
    "%s: %s Not definded",
    "%s: %s GroupIndex can not be 0",
    "End",
};

constexpr std::array<std::string_view, IDS_zfMaxNum + 1> kFormFormats = {
    "Only single instance of %s enable.\r\n%s destroyed",
    "%s: %s %s Not found",
    "End",
};

std::mutex g_lock;
TExceptionHandler g_handler;
TMsgLineSource g_lineSource;

struct TBuiltinLine {
    std::string_view section;
    int number;
    std::string_view text;
};

// The lines the framework itself asks for until the message files are read.
constexpr TBuiltinLine kBuiltinLines[] = {
    {"Errors", 1, "Error"},
    {"Errors", 2, "Unable to write to %s"},
    {"Errors", 3, "Property not found: %s"},
    {"Quests", 1, "Are you sure?"},
    {"Strings", 1, "Locked"},
};

} // namespace

EzException::EzException(std::string className, const std::string& text)
    : std::runtime_error("\r\n(B) Exception class: " + className + "\r\n" + text),
      m_className(std::move(className)) {}

std::string_view EzExcept::ExceptFormat(std::uint8_t code) {
    return code < kExceptFormats.size() ? kExceptFormats[code] : kExceptFormats[IDS_zeUnknown];
}

std::string_view EzForm::FormFormat(tezForm code) {
    return code < kFormFormats.size() ? kFormFormats[code] : kFormFormats[IDS_zfMaxNum];
}

void SetExceptionHandler(TExceptionHandler handler) {
    const std::lock_guard lock(g_lock);
    g_handler = std::move(handler);
}

void HandleException(std::exception_ptr error) noexcept {
    std::string text;
    std::string className;
    try {
        std::rethrow_exception(error);
    } catch (const EzException& e) {
        text = e.what();
        className = e.ClassName();
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "Unknown exception";
    }
    try {
        TExceptionHandler handler;
        {
            const std::lock_guard lock(g_lock);
            handler = g_handler;
        }
        if (handler)
            handler(text, className);
        else
            qCritical("%s", text.c_str());
    } catch (...) {
        qCritical("exception in the exception handler while handling: %s", text.c_str());
    }
}

void HandleCurrentException() noexcept {
    HandleException(std::current_exception());
}

void SetMsgLineSource(TMsgLineSource source) {
    const std::lock_guard lock(g_lock);
    g_lineSource = std::move(source);
}

std::string BuiltinMsgLine(std::string_view section, int number) {
    for (const auto& line : kBuiltinLines)
        if (line.number == number && SameText(line.section, section))
            return std::string(line.text);
    return {};
}

std::string MsgLine(std::string_view section, int number) {
    TMsgLineSource source;
    {
        const std::lock_guard lock(g_lock);
        source = g_lineSource;
    }
    if (source)
        return source(section, number);
    auto line = BuiltinMsgLine(section, number);
    if (line.empty())
        line = "ERROR: " + std::string(section) + "." + std::to_string(number);
    return line;
}
