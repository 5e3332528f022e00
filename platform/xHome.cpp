// SPDX-License-Identifier: GPL-3.0-or-later
#include "xHome.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

std::filesystem::path ExecutablePath() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path{} : exe;
}

} // namespace

std::string ProgramFolder() {
    if (const char* home = std::getenv("RAVELOX_HOME"); home != nullptr && *home != '\0') {
        std::string folder = home;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        return folder;
    }
    const auto exe = ExecutablePath();
    return exe.empty() ? std::string{"."} : exe.parent_path().string();
}

std::string ProgramBasePath() {
    // Both programs share one settings file, as the desktop program names it.
    return ProgramFolder() + "/ravelox";
}

std::string ShippedDataFolder() {
    return ProgramFolder();
}
