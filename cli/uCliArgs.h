// SPDX-License-Identifier: GPL-3.0-or-later
// ravelox-cli's arguments: rates with units, datagram lengths, ports, hosts,
// buffer sizes and times, each checked with a message the user can act on.
// Nothing here opens a socket.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// A bad argument: the message names the option and the value (exit code 2).
class ECliArgError : public std::runtime_error {
public:
    explicit ECliArgError(const std::string& message) : std::runtime_error(message) {}
};

inline constexpr std::int32_t kCliMinSpeed = 1;          // kbit/s
inline constexpr std::int32_t kCliMaxSpeed = 10'000'000; // kbit/s = 10 Gbit/s
inline constexpr std::int32_t kCliMinLength = 64;        // datagram length, bytes
inline constexpr std::int32_t kCliMaxLength = 2000;
inline constexpr std::int32_t kCliMinPort = 1024;
inline constexpr std::int32_t kCliMaxPort = 9000;
inline constexpr std::int32_t kCliMaxBufferKb = 262144; // 256 MB: the kernel caps far below
inline constexpr std::int32_t kCliMinTimerPeriod = 1;   // ms, what the timer accepts
inline constexpr std::int32_t kCliMaxTimerPeriod = 1000;
inline constexpr std::int32_t kCliMaxMs = 60000; // longest info time and print interval
inline constexpr std::int32_t kCliMaxSeconds = 86400;

// A rate in bits per second with an optional decimal unit: "100k", "10M",
// "1.5G", "64000" (k = 1000, M = 10^6, G = 10^9; a trailing "bit/s" or "bps"
// is allowed). Answers kbit/s, rounded to the nearest whole one; the result is
// within kCliMinSpeed .. kCliMaxSpeed.
std::int32_t ParseRate(std::string_view text, std::string_view option);

// Datagram length 64 .. 2000 (the packet size on screen is this + 54).
std::int32_t CheckLength(std::int64_t value, std::string_view option);
std::int32_t CheckPort(std::int64_t value, std::string_view option);
// Kilobytes -> bytes, 1 .. kCliMaxBufferKb KB.
std::int32_t CheckBufferKb(std::int64_t value, std::string_view option);
std::int32_t CheckTimerPeriod(std::int64_t value, std::string_view option);
// Milliseconds in lowest .. kCliMaxMs.
std::int32_t CheckMs(std::int64_t value, std::int32_t lowest, std::string_view option);
// Whole seconds in lowest .. kCliMaxSeconds.
std::int32_t CheckSeconds(std::int64_t value, std::int32_t lowest, std::string_view option);

// The peer: a dotted IPv4 address of one host (not 0.0.0.0, not the broadcast
// address). Answers it as given. Anything else would silently become the
// broadcast address in the engine, so it is refused with a reason.
std::string CheckHost(std::string_view text);

enum tCliDirection : int { cdBoth = 0, cdLocal = 1, cdRemote = 2 };
// "both", "local" (this host sends to the peer) or "remote" (the peer sends here).
tCliDirection ParseDirection(std::string_view text);
const char* DirectionName(tCliDirection direction);
// A test or search that commands the peer's sending (--direction both or
// remote) against this host itself: a copy that is its own peer obeys its
// own commands, and each start command it hears from itself restarts its
// counters and asks for a restart again, so no step or test ever has
// statistics. The problem text, or empty. `own`: this copy's address as
// its broadcast told it (empty: not known yet); 127.0.0.0/8 is always this
// host.
std::string SelfAsPeer(std::string_view host, std::string_view own, tCliDirection direction);
