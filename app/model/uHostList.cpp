// SPDX-License-Identifier: GPL-3.0-or-later
#include "uHostList.h"

#include <algorithm>
#include <cctype>

#include <arpa/inet.h>

#include "cNet0.h"

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void EnsureBroadcast(std::vector<std::string>& list) {
    if (std::none_of(list.begin(), list.end(), IsBroadcastText))
        list.emplace_back(kBroadcastHost);
}

} // namespace

std::optional<std::uint32_t> ParseIPv4(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

std::string FormatIPv4(std::uint32_t address) {
    in_addr a{};
    a.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

bool IsBroadcastText(const std::string& text) {
    return EqualNoCase(text, kBroadcastHost);
}

bool IsAnyText(const std::string& text) {
    return EqualNoCase(text, kAnyHost);
}

std::optional<THostChoice> CheckHost(const std::string& text) {
    if (IsBroadcastText(text))
        return THostChoice{kBroadcastHost, kBroadcastAddress};
    const auto address = ParseIPv4(text);
    if (!address || *address == 0)
        return std::nullopt;
    if (*address == kBroadcastAddress)
        return THostChoice{kBroadcastHost, kBroadcastAddress};
    return THostChoice{FormatIPv4(*address), *address};
}

std::optional<std::uint32_t> CheckAcceptAddress(const std::string& text) {
    if (IsAnyText(text))
        return 0U;
    const auto address = ParseIPv4(text);
    if (!address || *address == 0 || *address == kBroadcastAddress)
        return std::nullopt;
    return address;
}

void PushHost(std::vector<std::string>& list, const std::string& host) {
    if (host.empty())
        return;
    const auto found = std::find_if(list.begin(), list.end(),
                                    [&](const std::string& h) { return EqualNoCase(h, host); });
    if (found != list.end())
        list.erase(found);
    list.insert(list.begin(), host);
    // "Broadcast" does not take one of the ten places of real hosts.
    std::size_t hosts = 0;
    for (auto it = list.begin(); it != list.end();) {
        if (!IsBroadcastText(*it) && ++hosts > kHostListMax)
            it = list.erase(it);
        else
            ++it;
    }
    EnsureBroadcast(list);
}

std::vector<std::string> FilterHostList(const std::vector<std::string>& lines) {
    std::vector<std::string> list;
    for (const std::string& line : lines) {
        const auto choice = CheckHost(line);
        if (!choice)
            continue;
        if (std::any_of(list.begin(), list.end(),
                        [&](const std::string& h) { return EqualNoCase(h, choice->Text); }))
            continue;
        const std::size_t hosts = static_cast<std::size_t>(std::count_if(
            list.begin(), list.end(), [](const std::string& h) { return !IsBroadcastText(h); }));
        if (!IsBroadcastText(choice->Text) && hosts >= kHostListMax)
            continue;
        list.push_back(choice->Text);
    }
    EnsureBroadcast(list);
    return list;
}
