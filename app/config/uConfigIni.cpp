// SPDX-License-Identifier: GPL-3.0-or-later
#include "uConfigIni.h"

#include "zIniReg.h"
#include "zUtils.h"

namespace {

RIni kOptionsTable[] = {
    {ikNone, rU, "Config", nullptr, 0},
    {ikInteger, r_, "TimerPeriod", &CfgOpt.TimerPeriod, 0},
    {ikInteger, r_, "InfoTime", &CfgOpt.InfoTime, 0},
    {ikInteger, r_, "ViewTime", &CfgOpt.ViewTime, 0},
    {ikInteger, r_, "GraphTime", &CfgOpt.GraphTime, 0},
    {ikInteger, r_, "Port", &CfgOpt.Port, 0},
    {ikInteger, r_, "SockRecvBuf", &CfgOpt.SockRecvBuf, 0},
    {ikInteger, r_, "SockSendBuf", &CfgOpt.SockSendBuf, 0},
    {ikIntList, r_, "Colors", Colors.data(), co__Count},
    // What a peer may command: see TCfgOpt.
    {ikInteger, r_, "PeerSilence", &CfgOpt.PeerSilence, 0},
    {ikInteger, r_, "PeerMaxSpeed", &CfgOpt.PeerMaxSpeed, 0},
    {ikInteger, r_, "PeerMaxSendTime", &CfgOpt.PeerMaxSendTime, 0},
    {ikString, r_, "PeerAllow", &CfgOpt.PeerAllow, 0},
    {ikInteger, r_, "Extension", &CfgOpt.Extension, 0},
    {},
};

RIni kCurrentTable[] = {
    {ikNone, r_, "Current", nullptr, 0},
    {ikInteger, rU, "LocalSpeed", &Cfg.LocalSpeed, 0},
    {ikInteger, rU, "RemoteSpeed", &Cfg.RemoteSpeed, 0},
    {ikInteger, rU, "MaxSpeed", &Cfg.MaxSpeed, 0},
    {ikInteger, rU, "SizeOfPacket", &Cfg.SizeOfPacket, 0},
    {ikInteger, rU, "RemotePacket", &Cfg.RemotePacket, 0},
    {ikInteger, rU, "MaxPacket", &Cfg.MaxPacket, 0},
    {},
};

} // namespace

void TCfgOpt::Read() {
    if (IniMain != nullptr)
        IniMain->ReadRIni(kOptionsTable);
}

void TCfgOpt::Save() {
    if (IniMain != nullptr)
        IniMain->WriteRIni(kOptionsTable);
}

void TCfg::Read() {
    if (IniMain != nullptr)
        IniMain->ReadRIni(kCurrentTable);
}

void TCfg::Save() {
    if (IniMain != nullptr)
        IniMain->WriteRIni(kCurrentTable);
}

std::string ReadTestSettings() {
    try {
        TCfg::Read();
        TCfgOpt::Read();
        return {};
    } catch (const EConvertError& error) {
        return std::string("Settings file ") + (IniMain ? IniMain->FileName() : "") + ": " +
               error.what();
    }
}
