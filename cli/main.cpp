// SPDX-License-Identifier: GPL-3.0-or-later
// ravelox-cli: the test engine without windows.
#include <cstdio>

#include <CLI/CLI.hpp>

#include "xVersion.h"

int main(int argc, char** argv) {
    const auto& version = VersionRecord();
    CLI::App app{version.ProductName + " command line: " + version.FileDescription};
    app.set_version_flag("--version", version.ProductName + " " + version.FileVersion);
    app.require_subcommand(0, 1);
    CLI11_PARSE(app, argc, argv);
    if (app.get_subcommands().empty()) {
        std::fputs(app.help().c_str(), stdout);
        return 0;
    }
    return 0;
}
