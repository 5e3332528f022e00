// SPDX-License-Identifier: GPL-3.0-or-later
// The datagram-socket names the engine is written against, on POSIX sockets.
#pragma once

#include <cstdint>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

using SOCKET = int;
inline constexpr SOCKET INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;
inline constexpr long FIONBIO_QUERY = 0x5421;  // FIONBIO
inline constexpr long FIONREAD_QUERY = 0x541B; // FIONREAD

int closesocket(SOCKET s);
// cmd is FIONBIO_QUERY (argp: 0 = blocking) or FIONREAD_QUERY (argp: bytes waiting).
int ioctlsocket(SOCKET s, long cmd, unsigned long* argp);
int WSAGetLastError();

// Start-up description record, filled from the running system.
struct WSADATA {
    std::uint16_t wVersion = 0; // low byte major, high byte minor
    std::uint16_t wHighVersion = 0;
    std::string szDescription;
    std::string szSystemStatus;
    unsigned iMaxSockets = 0;
};

inline constexpr std::uint16_t MakeWord(unsigned low, unsigned high) {
    return static_cast<std::uint16_t>((low & 0xFF) | ((high & 0xFF) << 8));
}

// Returns 0 and fills data; the requested version is recorded but every
// version from 1.1 up is served.
int WSAStartup(std::uint16_t requested, WSADATA* data);
int WSACleanup();

// The system's text for an error number.
std::string SocketErrorText(int error);
