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

// A temporary folder for this process, made on first use and never shared.
inline const std::string& Folder() {
    static const std::string folder = [] {
        char name[] = "/tmp/rvfuzz-XXXXXX";
        const char* made = ::mkdtemp(name);
        if (made == nullptr)
            std::abort();
        return std::string(made);
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
