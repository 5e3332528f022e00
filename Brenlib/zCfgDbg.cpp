// SPDX-License-Identifier: GPL-3.0-or-later
#include "zCfgDbg.h"

#include <algorithm>

#include "zIniReg.h"
#include "zUtils.h"

TCfgDbg CfgDbg;

namespace {

constexpr const char* kSection = "Debug";

// Flags are stored as "0"/"1" bytes; the record keeps bools.
struct TFlags {
    std::uint8_t Trace = 0;
    std::uint8_t TrToStat = 0;
    std::uint8_t StatToTr = 0;
    std::uint8_t LangEdit = 0;
    std::uint8_t OpenCloseFile = 0;
};

template <class TBody> void WithTable(TFlags& flags, std::int32_t& maxTrace, TBody body) {
    const RIni table[] = {
        {ikNone, r_, kSection, nullptr, 0},
        {ikFlag, r_, "Trace", &flags.Trace, 0},
        {ikFlag, r_, "TrToStat", &flags.TrToStat, 0},
        {ikFlag, r_, "StatToTr", &flags.StatToTr, 0},
        {ikInteger, r_, "MaxTrace", &maxTrace, 0},
        {ikFlag, r_, "LangEdit", &flags.LangEdit, 0},
        {ikFlag, r_, "OpenCloseFile", &flags.OpenCloseFile, 0},
        {},
    };
    body(table);
}

} // namespace

void TCfgDbg::Read() {
    if (IniMain == nullptr)
        return;
    TFlags flags{CfgDbg.Trace, CfgDbg.TrToStat, CfgDbg.StatToTr, CfgDbg.LangEdit,
                 CfgDbg.OpenCloseFile};
    std::int32_t maxTrace = CfgDbg.MaxTrace;
    try {
        WithTable(flags, maxTrace, [](const auto& table) { IniMain->ReadRIni(table); });
    } catch (const EConvertError&) {
        // Entries before the bad one are taken; the rest keep their values.
    }
    CfgDbg.Trace = flags.Trace != 0;
    CfgDbg.TrToStat = flags.TrToStat != 0;
    CfgDbg.StatToTr = flags.StatToTr != 0;
    CfgDbg.LangEdit = flags.LangEdit != 0;
    CfgDbg.OpenCloseFile = flags.OpenCloseFile != 0;
    CfgDbg.MaxTrace = std::clamp(maxTrace, kMinMaxTrace, kMaxMaxTrace);
}

void TCfgDbg::Save() {
    if (IniMain == nullptr)
        return;
    TFlags flags{CfgDbg.Trace, CfgDbg.TrToStat, CfgDbg.StatToTr, CfgDbg.LangEdit,
                 CfgDbg.OpenCloseFile};
    std::int32_t maxTrace = CfgDbg.MaxTrace;
    WithTable(flags, maxTrace, [](const auto& table) { IniMain->WriteRIni(table); });
}

std::int32_t TCfgDbg::ReadDebugLevel() {
    return IniMain != nullptr ? IniMain->ReadInteger(kSection, "Debug", 0) : 0;
}

void TCfgDbg::WriteDebugLevel(std::int32_t value) {
    if (IniMain != nullptr)
        IniMain->WriteInteger(kSection, "Debug", value);
}
