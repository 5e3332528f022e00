// SPDX-License-Identifier: GPL-3.0-or-later
// Test settings: the options (section "Config"), the colour list and the
// current test values (section "Current"), with their compiled-in defaults.
// Reading and writing them through the settings store lives beside the store.
#pragma once

#include <array>
#include <cstdint>
#include <string>

enum tColorList : int { coSend = 0, coRecv = 1, coErrp = 2, co__Count = 3 };

// Colours are 0x00BBGGRR.
using TColorArray = std::array<std::int32_t, co__Count>;
inline constexpr TColorArray kDefaultColors{0x00FF0000, 0x00008000, 0x000000FF};

struct TCfgOpt {
    std::int32_t TimerPeriod = 10; // ms
    std::int32_t InfoTime = 200;   // ms
    std::int32_t ViewTime = 1000;  // ms
    std::int32_t GraphTime = 30;   // s
    std::int32_t Port = 2222;      // UDP port, used as 16 bits
    // 256 KB: the largest the Network settings offer; smaller buffers drop
    // datagrams at this host at rates a clean link carries.
    std::int32_t SockRecvBuf = 256 * 1024; // bytes
    std::int32_t SockSendBuf = 256 * 1024; // bytes
    // 1: the delay extension block with peers that speak it; 0: the
    // described datagrams only.
    std::int32_t Extension = 1;
    // What a peer may command (off by default; the responder's service sets
    // them): a sending the peer commanded stops when that peer was silent
    // for PeerSilence s (0: never), a commanded speed above PeerMaxSpeed is
    // lowered to it, one commanded sending ends after PeerMaxSendTime s;
    // PeerAllow lists the networks whose datagrams are obeyed and answered
    // ("198.18.0.0/15,10.0.0.7"; empty: all).
    std::int32_t PeerSilence = 10;    // s
    std::int32_t PeerMaxSpeed = 0;    // kbit/s, 0: no limit
    std::int32_t PeerMaxSendTime = 0; // s, 0: no limit
    std::string PeerAllow;

    static void Read();
    static void Save();
};

struct TCfg {
    std::int32_t LocalSpeed = 1000;   // kbit/s
    std::int32_t RemoteSpeed = 1000;  // kbit/s
    std::int32_t MaxSpeed = 1000;     // kbit/s, stored only
    std::int32_t SizeOfPacket = 1450; // datagram length, bytes
    std::int32_t RemotePacket = 1000; // datagram length asked of the peer, bytes
    std::int32_t MaxPacket = 0;       // stored only

    static void Read();
    static void Save();
};

// The program-wide records. Only the user-interface thread touches them.
extern TCfgOpt CfgOpt;
extern TCfg Cfg;
extern TColorArray Colors;
