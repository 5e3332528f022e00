// SPDX-License-Identifier: GPL-3.0-or-later
#include "cNetLimits.h"

#include <algorithm>
#include <charconv>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

std::uint32_t MaskOf(int bits) {
    return bits == 0 ? 0u : htonl(~0u << (32 - bits));
}

bool ParseNetwork(std::string_view text, TbNAllowEntry& out, std::string& error) {
    const std::string_view original = text;
    int bits = 32;
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        const std::string_view length = text.substr(slash + 1);
        const auto [end, ec] = std::from_chars(length.data(), length.data() + length.size(), bits);
        if (length.empty() || ec != std::errc{} || end != length.data() + length.size() ||
            bits < 0 || bits > 32) {
            error = "'" + std::string(original) + "': the prefix length must be 0..32";
            return false;
        }
        text = text.substr(0, slash);
    }
    in_addr address{};
    if (const std::string host(text); inet_pton(AF_INET, host.c_str(), &address) != 1) {
        error = "'" + std::string(original) + "' is not an IPv4 network (e.g. 198.18.0.0/15)";
        return false;
    }
    out.Mask = MaskOf(bits);
    out.Address = address.s_addr & out.Mask;
    return true;
}

} // namespace

bool TbNAllowList::Contains(std::uint32_t address) const {
    if (!Active)
        return true;
    const std::int32_t n = std::clamp<std::int32_t>(Count, 0, kAllowMax);
    for (std::int32_t i = 0; i < n; ++i) {
        const TbNAllowEntry& e = Entries[static_cast<std::size_t>(i)];
        if ((address & e.Mask) == e.Address)
            return true;
    }
    return false;
}

bool ParseAllowList(std::string_view text, TbNAllowList& out, std::string& error) {
    out = TbNAllowList{};
    if (Trim(text).empty())
        return true;
    TbNAllowList list;
    list.Active = true;
    for (;;) {
        const auto comma = text.find(',');
        const std::string_view part = Trim(text.substr(0, comma));
        if (part.empty()) {
            error = "an empty network in the list";
            return false;
        }
        if (list.Count >= kAllowMax) {
            error = "more than " + std::to_string(kAllowMax) + " networks";
            return false;
        }
        if (!ParseNetwork(part, list.Entries[static_cast<std::size_t>(list.Count)], error))
            return false;
        ++list.Count;
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    out = list;
    return true;
}

std::string AllowListText(const TbNAllowList& list) {
    std::string text;
    for (std::int32_t i = 0; list.Active && i < std::clamp<std::int32_t>(list.Count, 0, kAllowMax);
         ++i) {
        const TbNAllowEntry& e = list.Entries[static_cast<std::size_t>(i)];
        in_addr a{};
        a.s_addr = e.Address;
        char dotted[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &a, dotted, sizeof dotted);
        int bits = 0;
        for (std::uint32_t m = ntohl(e.Mask); (m & 0x80000000u) != 0; m <<= 1)
            ++bits;
        if (!text.empty())
            text += ",";
        text += std::string(dotted) + "/" + std::to_string(bits);
    }
    return text;
}

std::int32_t PeerSilenceMs(std::int32_t seconds, std::int32_t infoTimeMs) {
    if (seconds <= 0)
        return 0;
    const std::int64_t wanted = std::int64_t{seconds} * 1000;
    const std::int64_t lowest = 3 * std::int64_t{std::max(infoTimeMs, 1000)};
    return static_cast<std::int32_t>(std::min<std::int64_t>(std::max(wanted, lowest), INT32_MAX));
}
