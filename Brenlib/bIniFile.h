// SPDX-License-Identifier: GPL-3.0-or-later
// The framework's initialisation file: private-profile values plus ordered
// line sections ("L0", "L1", ...), integer sections and integer lists.
#pragma once

#include <QFlags>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xIniFile.h"

enum tSectStateBit : unsigned {
    issUniqu = 1u << 0, // add a line only when no equal line (ignoring case) is there
    issSort = 1u << 1,  // sort the lines after adding
};
Q_DECLARE_FLAGS(tSectState, tSectStateBit)
Q_DECLARE_OPERATORS_FOR_FLAGS(tSectState)

// A section of integers: key names with the integer attached to each.
struct TSectionObject {
    std::string Name;
    std::int32_t Value = 0;
    bool operator==(const TSectionObject&) const = default;
};
using TSectionObjects = std::vector<TSectionObject>;

class TIniFileB : public TIniFile {
public:
    // A relative name is taken in the program's folder; a file part without
    // any "." gets ".ini".
    explicit TIniFileB(const std::string& fileName);

    static std::string CompleteFileName(const std::string& fileName);

    // The values of the section's keys in file order (whatever their names).
    std::vector<std::string> ReadSectionLines(std::string_view section) const;
    // Replaces the section by lines under "L0", "L1", ... in one write.
    void WriteSectionLines(std::string_view section, const std::vector<std::string>& lines);
    std::string GetSectionLine(std::string_view section, int index) const;
    void SetSectionLine(std::string_view section, std::string_view value, int index);
    // Returns whether the line was added; the section is rewritten only then.
    bool AddLine(std::string_view section, std::string_view line, tSectState state);
    void SortSectionLine(std::string_view section);

    // Values that are not integers read as 0.
    TSectionObjects ReadSectionObject(std::string_view section) const;
    void WriteSectionObject(std::string_view section, const TSectionObjects& list);
    // Strings "name=value"; strings without "=" are left out.
    void WriteSectionValues(std::string_view section, const std::vector<std::string>& list);

    // The list text "v0,v1,..." on one key: up to count values from the
    // front, missing ones keep their values; returns how many were read.
    // A piece that is not a number raises EConvertError.
    int ReadIntegerArray(std::string_view section, std::string_view key, std::int32_t* values,
                         int count) const;
    void WriteIntegerArray(std::string_view section, std::string_view key,
                           const std::int32_t* values, int count);
};
