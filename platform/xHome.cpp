// SPDX-License-Identifier: GPL-3.0-or-later
#include "xHome.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace {

std::filesystem::path ExecutablePath() {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path{} : exe;
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string{} : std::string{value};
}

std::string WithoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string UserHome() {
    std::string home = Env("HOME");
    if (home.empty()) {
        if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
            home = entry->pw_dir;
    }
    return home;
}

} // namespace

std::string InstallDataRelative() {
    return RAVELOX_INSTALL_DATA_RELATIVE;
}

THomeInputs HomeInputsNow() {
    THomeInputs in;
    in.RaveloxHome = Env("RAVELOX_HOME");
    in.XdgConfigHome = Env("XDG_CONFIG_HOME");
    in.Home = UserHome();
    const auto exe = ExecutablePath();
    if (!exe.empty()) {
        in.ExeFolder = exe.parent_path().string();
        in.ExeFolderWritable = ::access(in.ExeFolder.c_str(), W_OK) == 0;
        std::error_code ec;
        in.InstallDataExists = std::filesystem::is_directory(
            std::filesystem::path(in.ExeFolder) / InstallDataRelative(), ec);
    }
    return in;
}

THomeFolders ResolveHomeFolders(const THomeInputs& in) {
    THomeFolders out;
    const std::string exeFolder = in.ExeFolder.empty() ? std::string{"."} : in.ExeFolder;
    out.Installed = !in.ExeFolder.empty() && (in.InstallDataExists || !in.ExeFolderWritable);
    if (!in.RaveloxHome.empty()) {
        out.Program = WithoutTrailingSlash(in.RaveloxHome);
    } else if (out.Installed) {
        // XDG: a relative XDG_CONFIG_HOME is invalid and ignored.
        std::string config = in.XdgConfigHome;
        if (config.empty() || config.front() != '/')
            config = (in.Home.empty() ? std::string{"/tmp"} : WithoutTrailingSlash(in.Home)) +
                     "/.config";
        out.Program = WithoutTrailingSlash(config) + "/ravelox";
    } else {
        out.Program = exeFolder;
    }
    // RAVELOX_HOME moves only what the program writes: the shipped files
    // stay with the program (a service or `make run` would otherwise lose
    // its languages and message texts).
    if (in.InstallDataExists)
        out.Shipped = std::filesystem::path(exeFolder + "/" + InstallDataRelative())
                          .lexically_normal()
                          .string();
    else
        out.Shipped = exeFolder;
    out.Shipped = WithoutTrailingSlash(out.Shipped);
    return out;
}

std::string ProgramFolder() {
    const THomeFolders folders = ResolveHomeFolders(HomeInputsNow());
    if (folders.Installed) {
        // The per-user folder may not exist yet; the settings store and the
        // result log only create files, not folders.
        std::error_code ec;
        std::filesystem::create_directories(folders.Program, ec);
    }
    return folders.Program;
}

std::string ProgramBasePath() {
    // Both programs share one settings file, as the desktop program names it.
    return ProgramFolder() + "/ravelox";
}

namespace {
std::string g_shippedOverride;
} // namespace

void SetShippedDataFolder(const std::string& folder) {
    g_shippedOverride = WithoutTrailingSlash(folder);
}

std::string ShippedDataFolder() {
    if (!g_shippedOverride.empty())
        return g_shippedOverride;
    return ResolveHomeFolders(HomeInputsNow()).Shipped;
}

bool InstalledProgram() {
    return ResolveHomeFolders(HomeInputsNow()).Installed;
}
