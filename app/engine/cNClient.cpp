// SPDX-License-Identifier: GPL-3.0-or-later
// The client part of the engine: the peer's report ring and the server
// lookup (TbNClient), socket creation and the remote host (TbNBSClient).
#include <algorithm>
#include <cstring>
#include <strings.h>

#include "cNet0.h"
#include "uConfig.h"

std::atomic<TbNBSClient*> NetClient{nullptr};

// ---------------------------------------------------------------- TbNClient

TbNClient::TbNClient() {
    TbNClient::ResetStatistics();
    SetLocalLength(Cfg.SizeOfPacket);
    m_remoteLength.store(std::clamp<std::int32_t>(Cfg.RemotePacket, kMinDatagram, kBufferSize));
    m_localSpeed.store(Cfg.LocalSpeed);
    m_remoteSpeed.store(Cfg.RemoteSpeed);
    m_lookupActive.store(false);
    m_seenAddresses[0].store(0);
    m_seenCount.store(1);
}

TbNClient::~TbNClient() {
    Cfg.LocalSpeed = m_localSpeed.load();
    Cfg.RemoteSpeed = m_remoteSpeed.load();
    Cfg.SizeOfPacket = m_localLength.load();
    Cfg.RemotePacket = m_remoteLength.load();
}

void TbNClient::ResetStatistics() {
    TbNet0::ResetStatistics();
    m_remoteReports.RequestReset();
}

void TbNClient::Open(bool on) {
    TbNet0::Open(on);
    ResetStatistics();
    RebuildHeader();
    if (!on) {
        SetSending(false, false);
        m_lastAcceptedSource.store(0);
    }
}

// Send thread. An entry is complete before the count is raised, and it is
// raised only within the search it was made for.
void TbNClient::AfterReceive() {
    if (!m_lookupActive.load())
        return;
    const std::uint32_t address = m_lastAcceptedSource.load();
    const std::uint16_t port = m_lastAcceptedPort.load();
    for (;;) {
        std::uint32_t found = m_found.load(std::memory_order_acquire);
        const std::uint32_t count = found & 0xFFu;
        if (count >= static_cast<std::uint32_t>(kFoundMax))
            return;
        for (std::uint32_t i = 0; i < count; ++i)
            if (m_foundAddresses[i].load(std::memory_order_relaxed) == address)
                return;
        m_foundAddresses[count].store(address, std::memory_order_relaxed);
        m_foundPorts[count].store(port, std::memory_order_relaxed);
        if (const auto seam = NetSeams.FoundEntryWritten.load(std::memory_order_relaxed))
            seam(*this);
        if (m_found.compare_exchange_strong(found, found + 1, std::memory_order_acq_rel))
            return;
        // A new search began meanwhile: add the sender to that one.
    }
}

void TbNClient::SetLookup(bool on) {
    if (m_lookupActive.load() != on) {
        if (on) {
            // A new search: count 0 under a new search number.
            std::uint32_t found = m_found.load();
            while (!m_found.compare_exchange_weak(found, ((found >> 8) + 1) << 8,
                                                  std::memory_order_acq_rel)) {
            }
            m_lookupActive.store(true);
            SetRemoteHost(kBroadcastHost);
            m_flags.fetch_or(nfLookup);
        } else {
            m_lookupActive.store(false);
            m_flags.store(0);
        }
    }
    if (on)
        RequestControl();
}

sockaddr_in TbNClient::FoundServer(std::int32_t i) const {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr =
        m_foundAddresses[static_cast<std::size_t>(i)].load(std::memory_order_relaxed);
    a.sin_port = htons(m_foundPorts[static_cast<std::size_t>(i)].load(std::memory_order_relaxed));
    return a;
}

// ---------------------------------------------------------------- TbNBSClient

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
        SocketsCleanup();
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
    ReadBackBuffers(s);
    const int on = 1;
    if (::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return fail("Broadcast");
    // Each datagram read then tells how many the socket dropped for want of
    // buffer (only once there were drops: no cost before).
    m_rcvbufDropsSeen.store(0);
    m_rcvbufDropsBase.store(0);
    m_rcvbufDropsKnown.store(::setsockopt(s, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) == 0);
    m_rcvbufDropsTotal.store(0);
    m_rcvbufDropsTotalBase.store(0);
    // The kernel's receive time of each datagram: the thread's own delay
    // before it reads a datagram stays out of the measured delay.
    m_kernelStamps.store(m_extEnabled.load() &&
                         ::setsockopt(s, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0);
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
