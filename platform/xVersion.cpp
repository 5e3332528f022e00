// SPDX-License-Identifier: GPL-3.0-or-later
#include "xVersion.h"

#include "xVersionInfo.h"

const TVersionRecord& VersionRecord() {
    static const TVersionRecord record{
        .CompanyName = "Brenvik",
        .InternalName = "Quindle",
        .ProductName = "Ravelox",
        .FileDescription = "Network channel performance tester",
        .LegalCopyright = "Copyright (C) 2026 Brenvik. GPL-3.0-or-later.",
        .Comments = "Measures speed, loss and quality of a UDP channel between two hosts",
        .FileVersion = RAVELOX_VERSION_TEXT ".0",
        .Major = RAVELOX_VERSION_MAJOR,
        .Minor = RAVELOX_VERSION_MINOR,
        .Release = RAVELOX_VERSION_PATCH,
        .Build = 0,
    };
    return record;
}
