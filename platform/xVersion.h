// SPDX-License-Identifier: GPL-3.0-or-later
// The program's version record: the texts a desktop program file carries in its
// version resource, compiled in from the project version.
#pragma once

#include <string>

struct TVersionRecord {
    std::string CompanyName;
    std::string InternalName;
    std::string ProductName;
    std::string FileDescription;
    std::string LegalCopyright;
    std::string Comments;
    std::string FileVersion; // "major.minor.patch.0"
    int Major = 0;
    int Minor = 0;
    int Release = 0;
    int Build = 0;
};

const TVersionRecord& VersionRecord();
