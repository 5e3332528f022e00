// SPDX-License-Identifier: GPL-3.0-or-later
// The server part of the engine: the socket-interface start-up check.
#include <cstdio>

#include "cNet0.h"

WSADATA SocketInfo;

namespace {

void Complain(const std::string& text) {
    if (NetOutward.ShowText)
        NetOutward.ShowText(text, "Windows Sockets Error");
}

} // namespace

bool SocketsStartupCheck() {
    if (WSAStartup(MakeWord(1, 1), &SocketInfo) != 0) {
        Complain("WINSOCK.DLL not responding.");
        return false;
    }
    const unsigned major = SocketInfo.wVersion & 0xFFu;
    const unsigned minor = (SocketInfo.wVersion >> 8) & 0xFFu;
    char text[128];
    if (major < 1 || (major == 1 && minor < 1)) {
        std::snprintf(text, sizeof text,
                      "Windows Sockets version %u.%u not supported by WINSOCK.DLL", major, minor);
        Complain(text);
        return false;
    }
    if (SocketInfo.iMaxSockets < 2) {
        std::snprintf(text, sizeof text,
                      "This application requires a minimum of %d supported sockets.", 2);
        Complain(text);
        return false;
    }
    return true;
}
