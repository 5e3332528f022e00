// SPDX-License-Identifier: GPL-3.0-or-later
// What the settings dialogs change outside themselves, as program-wide
// references that the main window sets at start (and clears at its end);
// empty references are skipped. User-interface thread only.
#pragma once

#include <functional>

#include "xSocket.h"

// The colour hook: refreshes both channel panels from the settings (series
// colours from Colors, time axis from GraphTime), Local then Remote.
extern std::function<void()> ColorHook;
// The main window's SetViewTime: interval of its view timer, in ms.
extern std::function<void(int)> ViewTimeHook;

// Socket buffer sizes as the kernel reports them for a socket (bytes);
// 0 where the socket is not open or the query failed. Linux doubles the size
// asked for (room for its own bookkeeping) and caps it at
// net.core.rmem_max / wmem_max.
struct TSocketBuffers {
    int Receive = 0;
    int Send = 0;
};
TSocketBuffers SocketBuffersInForce(SOCKET socket);
// Asks the kernel for these sizes (4-byte integers), ignoring refusals, and
// answers what it then reports.
TSocketBuffers ApplySocketBuffers(SOCKET socket, int receive, int send);
