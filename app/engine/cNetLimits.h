// SPDX-License-Identifier: GPL-3.0-or-later
// What a copy obeys of a peer: the sources it takes commands from (an allow
// list of IPv4 networks), the highest speed a peer may command, how long one
// commanded sending may run, and after how long a silent commanding peer
// ends it. Plain values and parsing only; the engine applies them on its
// send thread and its tick.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::int32_t kAllowMax = 16;

// One IPv4 network; address and mask in network byte order.
struct TbNAllowEntry {
    std::uint32_t Address = 0;
    std::uint32_t Mask = 0;
};

// The sources a copy answers and obeys. Inactive: everybody.
struct TbNAllowList {
    std::array<TbNAllowEntry, kAllowMax> Entries{};
    std::int32_t Count = 0;
    bool Active = false;

    // `address` in network byte order.
    bool Contains(std::uint32_t address) const;
};

// "198.18.0.0/15,10.1.2.3" (a bare address is /32; blanks around the commas
// are allowed). Empty text gives the inactive list. False, with the reason,
// for anything else than up to kAllowMax dotted IPv4 networks.
bool ParseAllowList(std::string_view text, TbNAllowList& out, std::string& error);
// The list as text in the form ParseAllowList reads, networks as given (host
// bits cleared).
std::string AllowListText(const TbNAllowList& list);

// PeerSilence in seconds (0: never) -> the silence in ms that ends a
// commanded sending: at least three information intervals and never below
// 3 s, so that a live peer, which answers at least once per interval, is
// never taken for a silent one.
std::int32_t PeerSilenceMs(std::int32_t seconds, std::int32_t infoTimeMs);

// The limits of one engine. Zero means no limit.
struct TbNLimits {
    std::int32_t PeerSilence = 10; // s
    std::int32_t MaxSpeed = 0;     // kbit/s, the highest speed a peer may command
    std::int32_t MaxSendTime = 0;  // s, the longest one commanded sending runs
    TbNAllowList Allow;
};

// Why the engine last stopped a sending that a peer had commanded.
enum tNetStopCause : std::uint8_t { nsNone = 0, nsPeerSilent = 1, nsMaxSendTime = 2 };
