// SPDX-License-Identifier: GPL-3.0-or-later
// A program run in the background for a test, optionally with `ip netns exec`
// in a host's namespace: its output goes to two files, its program home to a
// folder the test chose. Killed at the end if it still runs.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tHelpers.h"

namespace testhelp {

class ChildProcess final {
public:
    using Environment = std::vector<std::pair<std::string, std::string>>;

    // `home` becomes RAVELOX_HOME (settings and logs) and holds the
    // XDG_CONFIG_HOME of the run; `env` is set on top.
    ChildProcess(const std::string& ns, const std::vector<std::string>& args,
                 const std::string& home, std::string out, std::string err,
                 const Environment& env = {})
        : m_out(std::move(out)), m_err(std::move(err)) {
        std::vector<std::string> argv;
        if (!ns.empty())
            argv = {"ip", "netns", "exec", ns};
        argv.insert(argv.end(), args.begin(), args.end());
        m_pid = ::fork();
        if (m_pid == 0) {
            const int outFd = ::open(m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int errFd = ::open(m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(outFd, 1);
            ::dup2(errFd, 2);
            ::setenv("RAVELOX_HOME", home.c_str(), 1);
            ::setenv("XDG_CONFIG_HOME", (home + "/xdg").c_str(), 1);
            for (const auto& [name, value] : env)
                ::setenv(name.c_str(), value.c_str(), 1);
            std::vector<char*> raw;
            for (std::string& a : argv)
                raw.push_back(a.data());
            raw.push_back(nullptr);
            ::execvp(raw[0], raw.data());
            ::_exit(127);
        }
    }
    ~ChildProcess() {
        if (!m_status && m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The exit code once the program ended within timeoutMs; -1 when it was
    // killed by a signal; empty when it still runs.
    std::optional<int> Wait(int timeoutMs) {
        WaitUntil(
            [&] {
                int status = 0;
                if (!m_status && ::waitpid(m_pid, &status, WNOHANG) == m_pid)
                    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return m_status.has_value();
            },
            std::chrono::milliseconds(timeoutMs), std::chrono::milliseconds(20));
        return m_status;
    }
    void Signal(int signal) const { ::kill(m_pid, signal); }

    std::string Out() const { return ReadFile(m_out); }
    std::string Err() const { return ReadFile(m_err); }

private:
    std::string m_out;
    std::string m_err;
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

} // namespace testhelp
