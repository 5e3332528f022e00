// SPDX-License-Identifier: GPL-3.0-or-later
// The address texts the user types: the peer's host (Remote panel), the
// accepted sender (Local panel) and the list of recent hosts kept in section
// "HostAddress". Only dotted IPv4 texts, "Broadcast" and "Any" are taken; a
// typo is refused instead of turning into the broadcast destination (which
// would flood the LAN with the test stream) or into an accept address that
// silences reception. No Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

inline constexpr std::size_t kHostListMax = 10;
inline constexpr std::uint32_t kBroadcastAddress = 0xFFFFFFFFU;

// Dotted-decimal IPv4 (inet_pton: exactly four decimal parts) in network byte
// order; nothing for any other text.
std::optional<std::uint32_t> ParseIPv4(const std::string& text);
std::string FormatIPv4(std::uint32_t address); // network byte order

bool IsBroadcastText(const std::string& text); // "Broadcast", any case
bool IsAnyText(const std::string& text);       // "Any", any case

// A peer host as typed: "Broadcast" (any case) or 255.255.255.255 give the
// broadcast choice, shown as "Broadcast"; a unicast IPv4 address gives its
// dotted form. Anything else, and 0.0.0.0, is refused.
struct THostChoice {
    std::string Text; // as it goes into the box, the list and SetRemoteHost
    std::uint32_t Address = kBroadcastAddress;
};
std::optional<THostChoice> CheckHost(const std::string& text);

// The accepted sender as typed: "Any" (any case) is 0 (anybody), otherwise a
// unicast IPv4 address; anything else is refused.
std::optional<std::uint32_t> CheckAcceptAddress(const std::string& text);

// The host becomes the most recent entry: moved to the top if present, else
// inserted there; at most kHostListMax entries besides "Broadcast", which is
// always present.
void PushHost(std::vector<std::string>& list, const std::string& host);

// A list as loaded from the settings file: entries that CheckHost refuses are
// dropped, the rest normalised and without duplicates, at most kHostListMax,
// and "Broadcast" present.
std::vector<std::string> FilterHostList(const std::vector<std::string>& lines);
