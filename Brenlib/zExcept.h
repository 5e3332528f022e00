// SPDX-License-Identifier: GPL-3.0-or-later
// The framework's coded exceptions, the one place an escaped exception is
// handled, and the source of numbered message lines.
//
// EzException's message is "\r\n(B) Exception class: <class>\r\n" followed
// by its format applied to its arguments (through zFormat, so a format from
// a file can never read past the arguments). EzExcept and EzForm pick their
// format from a table by code.
//
// HandleException is what every guard calls: a slot or event handler that
// lets an exception escape ends there (zGuard.h), and the handler shows it.
// The window library installs a handler that shows a box; without one the
// text goes to qCritical. The handler runs on the thread that caught.
//
// Message lines: MsgLine(section, n) asks the installed source (the message
// strings install theirs) and otherwise a small built-in table of the lines
// the framework itself uses. Thread-safe.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "zFormat.h"

class EzException : public std::runtime_error {
public:
    template <class... TArgs>
    EzException(std::string_view format, const TArgs&... args)
        : EzException("EzException", Format(format, args...)) {}

    // The class name given at construction ("EzException", "EzExcept", ...).
    const std::string& ClassName() const { return m_className; }

protected:
    // For derived classes: the class name to put into the message and the
    // already formatted text.
    EzException(std::string className, const std::string& text);

private:
    std::string m_className;
};

// Codes of EzExcept; the first "%s" is by convention the class name of the
// raising object, the second the operation.
enum tezExcept : std::uint8_t {
    IDS_zeUnknown = 0,    // "Unknown error: %d"
    IDS_zeNotFound = 1,   // "%s: %s Not found"
    IDS_zeOverflow = 2,   // "%s: %s Overflow"
    IDS_zeAlreadyCr = 3,  // "%s: Already created"
    IDS_zeNoRoom = 4,     // "%s: %s No room"
    IDS_zeOutOfRange = 5, // "%s: Out of range: Min=%d, Max=%d"
    IDS_zeNotDefined = 6, // "%s: %s Not definded"
    IDS_zeGroupIndex = 7, // "%s: %s GroupIndex can not be 0"
    IDS_zeMaxNum = 8,     // "End"
};

class EzExcept : public EzException {
public:
    template <class... TArgs>
    EzExcept(std::uint8_t code, const TArgs&... args)
        : EzExcept("EzExcept", code, Format(ExceptFormat(code), args...)) {}

    std::uint8_t Code() const { return m_code; }
    // The table's format for code; a code past the end gives the format of
    // IDS_zeUnknown.
    static std::string_view ExceptFormat(std::uint8_t code);

protected:
    EzExcept(std::string className, std::uint8_t code, const std::string& text)
        : EzException(std::move(className), text), m_code(code) {}

private:
    std::uint8_t m_code = 0;
};

// Codes of the form base's exception.
enum tezForm : std::uint8_t {
    IDS_zfSingleForm = 0, // "Only single instance of %s enable.\r\n%s destroyed"
    IDS_zfNotFound = 1,   // "%s: %s %s Not found"
    IDS_zfMaxNum = 2,     // "End"
};

class EzForm : public EzExcept {
public:
    template <class... TArgs>
    EzForm(tezForm code, const TArgs&... args)
        : EzExcept("EzForm", code, Format(FormFormat(code), args...)) {}

    tezForm FormCode() const { return static_cast<tezForm>(Code()); }
    static std::string_view FormFormat(tezForm code);
};

// --- one handler for every escaped exception ---

// Receives the caught exception's text and, for framework exceptions, its
// class name (empty for other exceptions).
using TExceptionHandler =
    std::function<void(const std::string& text, const std::string& className)>;
void SetExceptionHandler(TExceptionHandler handler);
// Call inside a catch block (or with any exception_ptr): hands the exception's
// text to the handler. Never throws.
void HandleException(std::exception_ptr error) noexcept;
void HandleCurrentException() noexcept;

// The guard around every slot and event handler of the framework: calls f
// and hands an escaping exception to HandleException. The signal's arguments
// are dropped. Connect through it:
//   connect(button, &QPushButton::clicked, this, Guarded([this] { Apply(); }));
template <class F> auto Guarded(F f) {
    return [f = std::move(f)]() {
        try {
            f();
        } catch (...) {
            HandleCurrentException();
        }
    };
}
// The same for a member function without arguments.
template <class T, class R> auto Guarded(T* object, R (T::*method)()) {
    return Guarded([object, method] { (object->*method)(); });
}

// --- numbered message lines ---

// Returns line number of the section, or the source's own text for a
// missing line.
using TMsgLineSource = std::function<std::string(std::string_view section, int number)>;
// Installed by the message strings; an empty source restores the built-in
// table.
void SetMsgLineSource(TMsgLineSource source);
// Line number of the section: from the installed source, else the built-in
// table, else "ERROR: <section>.<number>".
std::string MsgLine(std::string_view section, int number);
template <class... TArgs>
std::string MsgLineFmt(std::string_view section, int number, const TArgs&... args) {
    return Format(MsgLine(section, number), args...);
}
// The built-in table alone (what MsgLine falls back to).
std::string BuiltinMsgLine(std::string_view section, int number);
