// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers that several test areas share: waiting for a condition with a
// deadline (never a fixed sleep), a temporary folder of one's own, and whole
// files read and written.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>

namespace testhelp {

// Polls `pred` until it holds or `timeout` passed; answers the last result.
template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000),
               std::chrono::milliseconds step = std::chrono::milliseconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return pred();
        std::this_thread::sleep_for(step);
    }
    return true;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A folder under /tmp of its own, removed with everything in it.
class TempDir final {
public:
    TempDir() {
        char name[] = "/tmp/rvtest-XXXXXX";
        const char* made = ::mkdtemp(name);
        if (made == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_path = made;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace testhelp
