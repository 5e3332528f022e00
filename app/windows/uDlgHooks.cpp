// SPDX-License-Identifier: GPL-3.0-or-later
#include "uDlgHooks.h"

#include <cstdint>

#include <sys/socket.h>

std::function<void()> ColorHook;
std::function<void(int)> ViewTimeHook;

namespace {

int ReadOption(SOCKET socket, int option) {
    std::int32_t value = 0;
    socklen_t length = sizeof value;
    if (getsockopt(socket, SOL_SOCKET, option, &value, &length) != 0)
        return 0;
    return value;
}

} // namespace

TSocketBuffers SocketBuffersInForce(SOCKET socket) {
    if (socket == INVALID_SOCKET)
        return {};
    return {ReadOption(socket, SO_RCVBUF), ReadOption(socket, SO_SNDBUF)};
}

TSocketBuffers ApplySocketBuffers(SOCKET socket, int receive, int send) {
    if (socket == INVALID_SOCKET)
        return {};
    const std::int32_t r = receive;
    const std::int32_t s = send;
    // A refused size leaves the socket as it was; what is in force is read
    // back below.
    (void)setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &r, sizeof r);
    (void)setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &s, sizeof s);
    return SocketBuffersInForce(socket);
}
