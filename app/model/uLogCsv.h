// SPDX-License-Identifier: GPL-3.0-or-later
// The result log as CSV: a header row, then one row per 16-byte record in
// the order stored (both sides' records interleaved, as written). For
// spreadsheets and scripts; the desktop program's export writes the same.
// Streams the file a chunk at a time, so a log of any length converts.
#pragma once

#include <cstdio>
#include <string>

#include "uResultLog.h"

// "side,report_time_ms,input_kbps,output_kbps,lost"
std::string LogCsvHeader();
// "L,1000,8000,8000,0"
std::string LogCsvRow(const TLogRecord& record);

// Writes the header and every whole record of the log at `path` to `out`.
// lsTruncated when the file ends in a partial record (the whole ones were
// written), lsTooShort for a log of 16 bytes or less (nothing written).
TLogResult WriteLogCsv(const std::string& path, std::FILE* out);
