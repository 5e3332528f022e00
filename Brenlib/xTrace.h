// SPDX-License-Identifier: GPL-3.0-or-later
// The file trace: lines written to the trace file beside the program, each
// flushed as it is written. The file is the program's base path with the
// extension ".trace" (FileName()), never derived by cutting the program's
// path at a ".": a dotted folder such as ~/.local/bin would otherwise cut
// inside the folder name, and the result could name the result log.
//
// Class operations only. Any thread may write; one lock keeps lines whole.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

class QObject;

// A trace file that cannot be created or written.
class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(const std::string& message) : std::runtime_error(message) {}
};

class TxTrace final {
public:
    // ProgramBasePath() + ".trace".
    static std::string FileName();
    // Creates or empties the file, then writes "[Open]". Raises EInOutError
    // when the file cannot be created.
    static void Open();
    // Writes "[Close]" and closes; later lines go nowhere.
    static void Close();
    static bool IsOpen();
    // One line, when the file is open. Raises EInOutError when a write fails.
    static void trString(std::string_view text);
    // "%-12s:%-16s %s" with the component's name and class name.
    static void trComponent(const QObject* component, std::string_view text);
    // The same with an empty name.
    static void trObject(const QObject* object, std::string_view text);
};
