// SPDX-License-Identifier: GPL-3.0-or-later
#include "uCliArgs.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

[[noreturn]] void Fail(std::string_view option, const std::string& what) {
    throw ECliArgError(std::string(option) + ": " + what);
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::int32_t CheckRange(std::int64_t value, std::int64_t lowest, std::int64_t highest,
                        std::string_view option, std::string_view unit) {
    if (value < lowest || value > highest) {
        Fail(option, std::to_string(value) + " is outside " + std::to_string(lowest) + ".." +
                         std::to_string(highest) + std::string(unit));
    }
    return static_cast<std::int32_t>(value);
}

} // namespace

std::int32_t ParseRate(std::string_view text, std::string_view option) {
    const std::string_view original = text;
    if (text.empty())
        Fail(option, "empty rate; give bits per second, e.g. 100k, 10M or 1G");
    double value = 0.0;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range)
        Fail(option, Quoted(original) + " is out of range");
    if (ec != std::errc{} || !std::isfinite(value))
        Fail(option,
             Quoted(original) + " is not a rate; give bits per second, e.g. 100k, 10M or 1G");
    std::string_view unit = text.substr(static_cast<std::size_t>(end - text.data()));
    for (const std::string_view tail : {"bit/s", "bps"}) {
        if (EndsWith(unit, tail)) {
            unit.remove_suffix(tail.size());
            break;
        }
    }
    double scale = 0.0;
    if (unit.empty())
        scale = 1.0;
    else if (unit == "k" || unit == "K")
        scale = 1e3;
    else if (unit == "m" || unit == "M")
        scale = 1e6;
    else if (unit == "g" || unit == "G")
        scale = 1e9;
    else
        Fail(option, "unknown unit " + Quoted(unit) + " in " + Quoted(original) +
                         "; use k, M or G (decimal, bits per second)");
    if (!(value > 0.0))
        Fail(option, "the speed " + Quoted(original) + " must be above 0");
    const double kbps = std::round(value * scale / 1000.0);
    if (kbps < kCliMinSpeed)
        Fail(option, Quoted(original) + " is below the smallest speed, 1k (1 kbit/s)");
    if (kbps > kCliMaxSpeed)
        Fail(option, Quoted(original) + " is above the largest speed, 10G (10 Gbit/s)");
    return static_cast<std::int32_t>(kbps);
}

std::int32_t CheckLength(std::int64_t value, std::string_view option) {
    return CheckRange(value, kCliMinLength, kCliMaxLength, option, " bytes (datagram length)");
}

std::int32_t CheckPort(std::int64_t value, std::string_view option) {
    return CheckRange(value, kCliMinPort, kCliMaxPort, option, "");
}

std::int32_t CheckBufferKb(std::int64_t value, std::string_view option) {
    return CheckRange(value, 1, kCliMaxBufferKb, option, " KB") * 1024;
}

std::int32_t CheckTimerPeriod(std::int64_t value, std::string_view option) {
    return CheckRange(value, kCliMinTimerPeriod, kCliMaxTimerPeriod, option, " ms");
}

std::int32_t CheckMs(std::int64_t value, std::int32_t lowest, std::string_view option) {
    return CheckRange(value, lowest, kCliMaxMs, option, " ms");
}

std::int32_t CheckSeconds(std::int64_t value, std::int32_t lowest, std::string_view option) {
    return CheckRange(value, lowest, kCliMaxSeconds, option, " s");
}

std::string CheckHost(std::string_view text) {
    const std::string host(text);
    in_addr address{};
    // inet_pton takes exactly four dotted decimal parts: no names, no short
    // forms, no octal, which inet_addr would read differently or turn into
    // the broadcast address.
    if (host.empty() || inet_pton(AF_INET, host.c_str(), &address) != 1) {
        Fail("HOST", Quoted(text) +
                         " is not an IPv4 address (dotted, e.g. 198.18.0.2); host names are not "
                         "resolved, and the engine would broadcast instead");
    }
    if (address.s_addr == htonl(INADDR_BROADCAST))
        Fail("HOST", Quoted(text) + " is the broadcast address; give the peer's own address "
                                    "(ravelox-cli lookup lists the copies that answer)");
    if (address.s_addr == htonl(INADDR_ANY))
        Fail("HOST", Quoted(text) + " is no host; give the peer's address");
    return host;
}

std::string SelfAsPeer(std::string_view host, std::string_view own, tCliDirection direction) {
    if (direction == cdLocal)
        return {};
    const bool loopback = host.substr(0, 4) == "127.";
    if (!loopback && (own.empty() || host != own))
        return {};
    return std::string(host) +
           " is this host itself: a copy cannot command its own sending as a peer's (it would "
           "restart its own counters over and over); measure its own loop with --direction "
           "local, or run ravelox-cli respond on another host or network namespace";
}

tCliDirection ParseDirection(std::string_view text) {
    if (text == "both")
        return cdBoth;
    if (text == "local")
        return cdLocal;
    if (text == "remote")
        return cdRemote;
    Fail("--direction", Quoted(text) + " is not one of both, local, remote");
}

const char* DirectionName(tCliDirection direction) {
    switch (direction) {
    case cdLocal:
        return "local";
    case cdRemote:
        return "remote";
    case cdBoth:
        break;
    }
    return "both";
}
