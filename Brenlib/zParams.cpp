// SPDX-License-Identifier: GPL-3.0-or-later
#include "zParams.h"

#include <fstream>
#include <iterator>
#include <optional>

#include "zUtils.h"

namespace {

constexpr std::size_t kMaxValue = 100;

std::optional<std::vector<std::string>>& GivenArguments() {
    static std::optional<std::vector<std::string>> arguments;
    return arguments;
}

std::vector<std::string> ProcessArguments() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> arguments;
    std::size_t start = 0;
    while (start < data.size()) {
        const auto end = data.find('\0', start);
        arguments.push_back(data.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (!arguments.empty())
        arguments.erase(arguments.begin());
    return arguments;
}

} // namespace

std::vector<std::string> TbParam::Arguments() {
    if (GivenArguments())
        return *GivenArguments();
    return ProcessArguments();
}

void TbParam::SetArguments(std::vector<std::string> arguments) {
    GivenArguments() = std::move(arguments);
}

bool TbParam::GetParamSwitch(std::string_view name) {
    const auto upper = UpperCase(name);
    for (const auto& argument : Arguments()) {
        const auto text = UpperCase(argument);
        if (text.find("-" + upper) != std::string::npos ||
            text.find("/" + upper) != std::string::npos)
            return true;
    }
    return false;
}

bool TbParam::GetParamValue(std::string_view name, std::string& value) {
    const auto upper = UpperCase(name);
    for (const auto& argument : Arguments()) {
        const auto text = UpperCase(argument);
        if (!text.starts_with("-" + upper) && !text.starts_with("/" + upper))
            continue;
        const auto rest = argument.substr(1 + upper.size(), kMaxValue);
        if (rest.empty() || (rest.front() != '=' && rest.front() != ':'))
            return false;
        value = rest.substr(1, kMaxValue);
        return true;
    }
    return false;
}

std::string TbParam::GetParamFileName(std::string_view extension) {
    const auto upper = UpperCase(extension);
    for (const auto& argument : Arguments()) {
        const auto at = UpperCase(argument).find(upper, 1);
        if (!upper.empty() && at != std::string::npos)
            return argument;
    }
    return {};
}
