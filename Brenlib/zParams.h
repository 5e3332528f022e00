// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as the framework reads it: switches and values written
// with "-" or "/" in front, e.g. "-UpLang" or "/Lang:English".
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TbParam final {
public:
    // The parameters after the program name. Without SetArguments they are
    // taken from the process's own command line.
    static std::vector<std::string> Arguments();
    static void SetArguments(std::vector<std::string> arguments);

    // True when any parameter, upper-cased, contains "-NAME" or "/NAME"
    // anywhere in it.
    static bool GetParamSwitch(std::string_view name);
    // The first parameter that, upper-cased, begins with "-NAME" or "/NAME"
    // decides: when "=" or ":" follows the name, the rest (at most 100
    // characters, in its own case) becomes value and the result is true;
    // otherwise the result is false and value is unchanged.
    static bool GetParamValue(std::string_view name, std::string& value);
    // The first parameter in which the upper-cased extension occurs after its
    // first character; empty when none.
    static std::string GetParamFileName(std::string_view extension);
};
