// SPDX-License-Identifier: GPL-3.0-or-later
// The client part of the engine: socket creation and the remote host.
#include <cstring>
#include <strings.h>

#include "cNet0.h"
#include "uConfig.h"

std::atomic<TbNBSClient*> NetClient{nullptr};

TbNBSClient::TbNBSClient() {
    m_remoteHost = "255.255.255.255";
    m_destinationUsable.store(false);
    m_socketsReady = SocketsStartupCheck();
    if (m_socketsReady)
        TbNBSClient::Open(true);
    TbNBSClient* none = nullptr;
    NetClient.compare_exchange_strong(none, this);
}

TbNBSClient::~TbNBSClient() {
    TbNBSClient* self = this;
    NetClient.compare_exchange_strong(self, nullptr);
    if (m_socketsReady) {
        SetSending(false, false);
        // Give the tick and the send thread the time to put the last control
        // datagram, with the stopped state, on the wire.
        const std::int64_t waitMs = 120;
        timespec pause{0, waitMs * 1'000'000};
        ::nanosleep(&pause, nullptr);
    }
    StopThreads();
    ReleaseSocket();
    if (m_socketsReady)
        WSACleanup();
}

bool TbNBSClient::IsOpen() const {
    return m_socket.load() != INVALID_SOCKET;
}

void TbNBSClient::Reset() {
    ResetStatistics();
    RebuildHeader();
    SetSending(false, false);
}

void TbNBSClient::BuildDestination() {
    m_destinationAddress.store(inet_addr(m_remoteHost.c_str()));
    m_destinationUsable.store(true);
}

bool TbNBSClient::CreateSocket() {
    // The socket is handed to the send thread only once it is complete; a
    // step that fails reports and closes it here.
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s == INVALID_SOCKET) {
        ReportSocketError("Create");
        return false;
    }
    auto fail = [&](const char* step) {
        ReportSocketError(step);
        closesocket(s);
        return false;
    };
    m_port.store(static_cast<std::uint16_t>(CfgOpt.Port));
    m_bindAddress = {};
    m_bindAddress.sin_family = AF_INET;
    m_bindAddress.sin_addr.s_addr = htonl(INADDR_ANY);
    m_bindAddress.sin_port = htons(m_port.load());
    if (::bind(s, reinterpret_cast<const sockaddr*>(&m_bindAddress), sizeof m_bindAddress) != 0)
        return fail("Bind");
    BuildDestination();
    const int recvBuf = CfgOpt.SockRecvBuf;
    const int sendBuf = CfgOpt.SockSendBuf;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &recvBuf, sizeof recvBuf);
    ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, &sendBuf, sizeof sendBuf);
    const int on = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return fail("Broadcast");
    unsigned long blocking = 0;
    ioctlsocket(s, FIONBIO_QUERY, &blocking);
    m_socket.store(s, std::memory_order_release);
    return true;
}

void TbNBSClient::Open(bool on) {
    if (IsOpen()) {
        Reset();
        ReleaseSocket();
    }
    if (on) {
        CreateSocket();
        if (!m_started)
            Start();
    }
    TbNClient::Open(on);
}

void TbNBSClient::SetRemoteHost(const std::string& host) {
    if (::strcasecmp(host.c_str(), kBroadcastHost) == 0) {
        m_remoteHost = "255.255.255.255";
        m_flags.fetch_or(nfBroadcast);
    } else {
        m_remoteHost = host;
        m_flags.fetch_and(static_cast<std::uint16_t>(~nfBroadcast));
    }
    m_lastAcceptedSource.store(0);
    BuildDestination();
}

std::string TbNBSClient::GetRemoteHost() const {
    return m_remoteHost;
}
