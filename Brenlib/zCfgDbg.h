// SPDX-License-Identifier: GPL-3.0-or-later
// The developer trace settings: section "Debug" of the settings file.
// User-interface thread only.
#pragma once

#include <cstdint>

struct TCfgDbg {
    bool Trace = false;          // the tracer records lines
    bool TrToStat = false;       // each trace line also goes to the status line
    bool StatToTr = false;       // each status message also goes to the tracer
    std::int32_t MaxTrace = 100; // trace list length before trimming
    bool LangEdit = false;       // stored only
    bool OpenCloseFile = false;  // opening some files is traced

    // MaxTrace is clamped into [kMinMaxTrace, kMaxMaxTrace] after reading:
    // a hand-edited value must not make the tracer trim on every line or
    // keep a million lines.
    static constexpr std::int32_t kMinMaxTrace = 10;
    static constexpr std::int32_t kMaxMaxTrace = 10000;

    // Both do nothing while the store is closed.
    static void Read();
    static void Save();
    // The integer "Debug" of the section (0 when absent); above 0 shows the
    // "Trace" page.
    static std::int32_t ReadDebugLevel();
    static void WriteDebugLevel(std::int32_t value);
};

extern TCfgDbg CfgDbg;
