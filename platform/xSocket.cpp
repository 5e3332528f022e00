// SPDX-License-Identifier: GPL-3.0-or-later
#include "xSocket.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {
std::atomic<int> g_startups{0};
} // namespace

int closesocket(SOCKET s) {
    return ::close(s);
}

int ioctlsocket(SOCKET s, long cmd, unsigned long* argp) {
    if (cmd == FIONREAD_QUERY) {
        int waiting = 0;
        if (::ioctl(s, FIONREAD, &waiting) != 0)
            return SOCKET_ERROR;
        *argp = static_cast<unsigned long>(waiting);
        return 0;
    }
    if (cmd == FIONBIO_QUERY) {
        int on = *argp != 0 ? 1 : 0;
        return ::ioctl(s, FIONBIO, &on) == 0 ? 0 : SOCKET_ERROR;
    }
    errno = EINVAL;
    return SOCKET_ERROR;
}

int WSAGetLastError() {
    return errno;
}

int WSAStartup(std::uint16_t /*requested*/, WSADATA* data) {
    if (data == nullptr)
        return EFAULT;
    utsname uts{};
    std::string system = "POSIX sockets";
    if (::uname(&uts) == 0)
        system += std::string(" on ") + uts.sysname + " " + uts.release;
    rlimit files{};
    unsigned maxSockets = 0;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0)
        maxSockets = files.rlim_cur == RLIM_INFINITY || files.rlim_cur > 0xFFFF
                         ? 0xFFFFu
                         : static_cast<unsigned>(files.rlim_cur);
    data->wVersion = MakeWord(2, 2);
    data->wHighVersion = MakeWord(2, 2);
    data->szDescription = system;
    data->szSystemStatus = "Running";
    data->iMaxSockets = maxSockets;
    g_startups.fetch_add(1);
    return 0;
}

int WSACleanup() {
    if (g_startups.fetch_sub(1) <= 0) {
        g_startups.fetch_add(1);
        errno = EINVAL;
        return EINVAL;
    }
    return 0;
}

std::string SocketErrorText(int error) {
    char buffer[256] = {};
    // GNU strerror_r returns the text, which may not be in buffer.
    const char* text = ::strerror_r(error, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string{};
}
