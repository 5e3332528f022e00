// SPDX-License-Identifier: GPL-3.0-or-later
// Initialisation files with private-profile semantics: section and key names
// compared without regard to (ASCII) case, the first matching section and key
// win, every read and write goes to the file at once (nothing is cached), and
// a write changes only the lines it must: comments, blank lines, the spelling
// and spacing of other keys, unknown sections and their order all survive.
//
// A write replaces the file through a temporary file in the same folder and a
// rename, so a refused write (read-only file or folder, full disk) leaves the
// old contents whole; it raises EIniFileException "Unable to write to <file>".
// A missing file reads as empty and nothing is created until a write changes
// something.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class EIniFileException : public std::runtime_error {
public:
    explicit EIniFileException(const std::string& message) : std::runtime_error(message) {}
};

using TIniValues = std::vector<std::pair<std::string, std::string>>;

class TIniFile {
public:
    // A value read is cut to this many bytes (at a character boundary).
    static constexpr std::size_t kMaxValueLength = 2047;

    explicit TIniFile(std::string fileName);
    virtual ~TIniFile() = default;
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const std::string& FileName() const { return m_fileName; }

    virtual std::string ReadString(std::string_view section, std::string_view key,
                                   std::string_view def) const;
    // Line breaks in value are written as blanks: the format has one line per
    // key. A value with outer blanks or enclosing quotes is written in double
    // quotes, and reading strips one pair of enclosing quotes, so that every
    // one-line value reads back as written. A section or key name that the format cannot hold
    // (empty, a line break, "=" in a key, "]" in a section) raises EIniFileException.
    virtual void WriteString(std::string_view section, std::string_view key,
                             std::string_view value);

    // A missing key or a text that is not a decimal integer gives def.
    std::int32_t ReadInteger(std::string_view section, std::string_view key,
                             std::int32_t def) const;
    void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
    // "0" is false, any other integer true; anything else gives def.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    void WriteBool(std::string_view section, std::string_view key, bool value);

    // Key names of the section in file order (first occurrence of each name).
    std::vector<std::string> ReadSection(std::string_view section) const;
    std::vector<std::string> ReadSections() const;
    // Key names and values of the section in file order.
    TIniValues ReadSectionValues(std::string_view section) const;
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;

    void DeleteKey(std::string_view section, std::string_view key);
    // Removes the section with every line up to the next section.
    void EraseSection(std::string_view section);
    // Replaces every key of the section by values in one write: either the
    // old or the new list is in the file, never a mixture. The section keeps
    // its place and its comment lines; it is appended when it is new. An empty
    // list leaves a missing file missing.
    void ReplaceSection(std::string_view section, const TIniValues& values);

private:
    std::string m_fileName;
};
