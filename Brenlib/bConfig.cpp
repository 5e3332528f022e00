// SPDX-License-Identifier: GPL-3.0-or-later
#include "bConfig.h"

#include <memory>

#include "xHome.h"
#include "zIniReg.h"
#include "zParams.h"
#include "zUtils.h"

TCfgPar CfgPar;
TbCfgOpt bCfgOpt;
TbCfg bCfg;
std::uint32_t ProgramFileVersion = 0;

namespace {

std::unique_ptr<TbIniReg> g_iniMain;
std::unique_ptr<TIniFileB> g_iniDebug;

} // namespace

// Each record's table points at that record's own fields.

bool TCfgPar::Read() {
    UpLang = TbParam::GetParamSwitch("UpLang");
    UpHelp = TbParam::GetParamSwitch("UpHelp");
    const RIni table[] = {
        {ikNone, r_, "Params", nullptr, 0},
        {ikString, r_, "Language", &Language, 0},
        {},
    };
    if (IniMain != nullptr)
        IniMain->ReadRIni(table);
    return TbParam::GetParamValue("Lang", Language);
}

void TCfgPar::Save() {
    const RIni table[] = {
        {ikNone, r_, "Params", nullptr, 0},
        {ikString, r_, "Language", &Language, 0},
        {},
    };
    if (IniMain != nullptr)
        IniMain->WriteRIni(table);
}

namespace {

template <class TBody> void WithBrenlibConfigTable(TbCfgOpt& record, TBody body) {
    const RIni table[] = {
        {ikNone, rU, "BrenlibConfig", nullptr, 0},
        {ikInteger, r_, "MRUFiles", &record.MRUFiles, 0},
        {ikByte, r_, "ToolMenu", &record.ToolMenu, 0},
        {},
    };
    if (IniMain != nullptr)
        body(table);
}

constexpr RIni kBrenlibCurrentTable[] = {
    {ikNone, r_, "BrenlibCurrent", nullptr, 0},
    {},
};

} // namespace

void TbCfgOpt::Read() {
    WithBrenlibConfigTable(*this, [](const auto& table) { IniMain->ReadRIni(table); });
}

void TbCfgOpt::Save() {
    WithBrenlibConfigTable(*this, [](const auto& table) { IniMain->WriteRIni(table); });
}

void TbCfg::Read() {
    if (IniMain != nullptr)
        IniMain->ReadRIni(kBrenlibCurrentTable);
}

void TbCfg::Save() {
    if (IniMain != nullptr)
        IniMain->WriteRIni(kBrenlibCurrentTable);
}

void InitSettingsStore(const std::string& iniFileName) {
    DoneSettingsStore();
    g_iniMain =
        std::make_unique<TbIniReg>(iniFileName.empty() ? TbIniReg::FileNameExeIni() : iniFileName);
    IniMain = g_iniMain.get();
    try {
        CfgPar.Read();
        g_iniDebug = std::make_unique<TIniFileB>(ProgramBasePath() + ".dbg");
        IniDebug = g_iniDebug.get();
        CreateRegistries();
        ProgramFileVersion = TbFile::GetFileVersion("");
    } catch (...) {
        DoneSettingsStore();
        throw;
    }
}

void DoneSettingsStore() {
    FreeRegistries();
    IniDebug = nullptr;
    IniMain = nullptr;
    g_iniDebug.reset();
    g_iniMain.reset();
}
