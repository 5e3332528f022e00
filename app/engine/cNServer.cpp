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

std::string StartupCheckText(const WSADATA* data) {
    if (data == nullptr)
        return "WINSOCK.DLL not responding.";
    const unsigned major = data->wVersion & 0xFFu;
    const unsigned minor = (data->wVersion >> 8) & 0xFFu;
    char text[128];
    if (major < 1 || (major == 1 && minor < 1)) {
        std::snprintf(text, sizeof text,
                      "Windows Sockets version %u.%u not supported by WINSOCK.DLL", major, minor);
        return text;
    }
    if (data->iMaxSockets < 2) {
        std::snprintf(text, sizeof text,
                      "This application requires a minimum of %d supported sockets.", 2);
        return text;
    }
    return {};
}

std::string SocketInterfaceErrorText(int code, const char* api) {
    char text[512];
    std::snprintf(text, sizeof text, "Windows socket error: %s (%d), on API '%s'",
                  SocketErrorText(code).c_str(), code, api);
    return text;
}

bool SocketsStartupCheck() {
    const int code = WSAStartup(MakeWord(1, 1), &SocketInfo);
    if (code != 0) {
        // The start-up's own error, then the check's answer to no record.
        Complain(SocketInterfaceErrorText(code, "WSAStartup"));
        Complain(StartupCheckText(nullptr));
        return false;
    }
    const std::string text = StartupCheckText(&SocketInfo);
    if (!text.empty())
        Complain(text);
    return text.empty();
}

bool SocketsCleanup() {
    const int code = WSACleanup();
    if (code == 0)
        return true;
    Complain(SocketInterfaceErrorText(code, "WSACleanup"));
    return false;
}
