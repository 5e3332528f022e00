// SPDX-License-Identifier: GPL-3.0-or-later
// What the fuzz targets share: a folder of their own for the files a reader
// needs on disk, and the whole input written to one of them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace fuzz {

// A folder for this process under TMPDIR (run-fuzz.sh points it into its
// own work folder; libFuzzer ends without running exit handlers), made on
// first use and never shared.
inline const std::string& Folder() {
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string name =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/rvfuzz-XXXXXX";
        if (::mkdtemp(name.data()) == nullptr)
            std::abort();
        return name;
    }();
    return folder;
}

// Writes the bytes to Folder()/name and answers the path.
inline std::string WriteInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = Folder() + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    return path;
}

} // namespace fuzz
