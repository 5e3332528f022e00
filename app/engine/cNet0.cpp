// SPDX-License-Identifier: GPL-3.0-or-later
#include "cNet0.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "uConfig.h"
#include "xTimer.h"

TNetOutward NetOutward;
const char* const kBroadcastHost = "Broadcast";
const char* const kAnyHost = "Any";

namespace {

std::int64_t NowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::string DottedAddress(std::uint32_t address) {
    in_addr a{};
    a.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    return ::inet_ntop(AF_INET, &a, text, sizeof text) != nullptr ? std::string(text)
                                                                  : std::string{};
}

bool ValidPeerSpeed(std::uint32_t kbps) {
    return kbps >= static_cast<std::uint32_t>(kMinPeerSpeed) &&
           kbps <= static_cast<std::uint32_t>(kMaxPeerSpeed);
}

// True when the address belongs to this host: a socket can be bound to it.
bool IsHostAddress(std::uint32_t address) {
    if ((ntohl(address) >> 24) == 127)
        return true;
    const SOCKET probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe == INVALID_SOCKET)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = address;
    const bool local = ::bind(probe, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    closesocket(probe);
    return local;
}

bool ValidLength(std::uint32_t length) {
    return length >= kMinDatagram && length <= kBufferSize;
}

} // namespace

// ---------------------------------------------------------------- report ring

void TbNReportRing::Store(std::int32_t index, const TbNReport& report) {
    std::array<std::uint8_t, kReportSize> bytes{};
    EncodeReport(report, bytes.data());
    auto& words = Records[static_cast<std::size_t>(index)];
    for (std::size_t i = 0; i < kWords; ++i)
        words[i].store(GetU32(bytes.data() + 4 * i), std::memory_order_relaxed);
}

TbNReport TbNReportRing::Load(std::int32_t index) const {
    std::array<std::uint8_t, kReportSize> bytes{};
    const auto& words = Records[static_cast<std::size_t>(index)];
    for (std::size_t i = 0; i < kWords; ++i)
        PutU32(bytes.data() + 4 * i, words[i].load(std::memory_order_relaxed));
    return DecodeReport(bytes.data());
}

void TbNReportRing::Clear() {
    Count.store(0, std::memory_order_release);
    WriteIndex.store(0, std::memory_order_relaxed);
    ReadIndex.store(0, std::memory_order_relaxed);
}

// ---------------------------------------------------------------- send thread

TSendThread::~TSendThread() {
    Terminate();
    if (m_thread.joinable())
        m_thread.join();
}

void TSendThread::Resume() {
    if (m_thread.joinable())
        return;
    m_thread = std::thread([this] {
        m_running.store(true, std::memory_order_release);
        m_net.SendLoop();
        m_running.store(false, std::memory_order_release);
    });
}

void TSendThread::Terminate() {
    m_terminated.store(true, std::memory_order_release);
    m_net.Wake();
}

bool TSendThread::WaitFor(int ms) {
    const std::int64_t deadline = NowNs() + std::int64_t{ms} * 1'000'000;
    while (Running() && NowNs() < deadline) {
        timespec pause{0, 1'000'000};
        ::nanosleep(&pause, nullptr);
    }
    if (!Running() && m_thread.joinable())
        m_thread.join();
    return !Running();
}

// ---------------------------------------------------------------- TbNet0

TbNet0::TbNet0() {
    m_instance = static_cast<std::uint16_t>(timeGetTime());
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    RebuildHeader();
    m_infoTime.store(CfgOpt.InfoTime);
}

TbNet0::~TbNet0() {
    StopThreads();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void TbNet0::StopThreads() {
    SetTimerPeriod(0);
    m_stopping.store(true);
    {
        std::lock_guard lock(m_boxMutex);
        m_boxDone.notify_all();
    }
    m_thread.Terminate();
    // The loop sees the request within one timer period; a box waiting in the
    // mailbox is released by m_stopping above.
    while (!m_thread.WaitFor(120)) {
    }
}

void TbNet0::Wake() {
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(m_wakeFd, &one, sizeof one);
    }
}

void TbNet0::Start() {
    m_thread.Resume();
    SetTimerPeriod(CfgOpt.TimerPeriod);
    m_controlRequest.fetch_or(0x02);
    m_started = true;
}

void TbNet0::SetTimerPeriod(std::int32_t period) {
    const std::int32_t current = m_timerPeriod.load();
    if (m_timerId != 0 && current == period && period != 0)
        return;
    if (m_timerId != 0) {
        timeKillEvent(m_timerId);
        m_timerId = 0;
        timeEndPeriod(static_cast<unsigned>(current));
    }
    if (period <= 0)
        return;
    if (timeBeginPeriod(static_cast<unsigned>(period)) != TIMERR_NOERROR)
        return;
    m_timerPeriod.store(period);
    m_ticksPerInterval.store(m_infoTime.load() / period);
    m_tickCounter.store(0);
    m_timerId = timeSetEvent(static_cast<unsigned>(period), 0, &TbNet0::TimerCallback,
                             reinterpret_cast<std::uintptr_t>(this), TIME_PERIODIC);
    if (m_timerId == 0)
        ShowText("ERROR: timeSetEvent()", "", false);
    m_headerTimerPeriod.store(static_cast<std::uint16_t>(period));
}

void TbNet0::SetInfoTime(std::int32_t ms) {
    m_infoTime.store(ms);
    if (const std::int32_t period = m_timerPeriod.load(); period > 0)
        m_ticksPerInterval.store(ms / period);
}

void TbNet0::RebuildHeader() {
    const std::int32_t period = m_timerPeriod.load();
    m_sendQueueMax.store(period == 0 ? 4 : std::clamp(200 / period, 2, kSendSlots));
    // Both queues are emptied by their own sides: the tick forgets its credit,
    // the send thread drops what waits.
    m_tickFlush.store(true);
    // Only what waits now is dropped: a request the tick queues after this
    // point (the first control datagram after an opening) goes out.
    m_flushControl.store(m_controlCount.load());
    m_flushSend.store(m_sendQueue.load());
    m_intervalCount.store(0);
    m_headerOwnSpeed.store(static_cast<std::uint32_t>(m_localSpeed.load()));
    m_headerRequestedSpeed.store(static_cast<std::uint32_t>(m_remoteSpeed.load()));
    m_headerAccept.store(m_peerAcceptAddress.load());
    m_headerTimerPeriod.store(static_cast<std::uint16_t>(period));
    m_flags.store(m_ownAddressKnown.load() ? 0 : nfDiscover);
    m_sequence.store(0);
    Wake();
}

void TbNet0::ClearCurrentReport() {
    m_bytesSent.store(0);
    m_bytesReceived.store(0);
    m_bytesFromOthers.store(0);
    m_lost.store(0);
    m_bad.store(0);
    m_status.store(0);
    m_stamp.store(0);
}

TbNReport TbNet0::CurrentReport() const {
    TbNReport r;
    r.Stamp = m_stamp.load(std::memory_order_relaxed);
    r.Status = m_status.load(std::memory_order_relaxed);
    r.BytesSent = m_bytesSent.load(std::memory_order_relaxed);
    r.BytesReceived = m_bytesReceived.load(std::memory_order_relaxed);
    r.BytesFromOthers = m_bytesFromOthers.load(std::memory_order_relaxed);
    r.Lost = m_lost.load(std::memory_order_relaxed);
    r.Bad = m_bad.load(std::memory_order_relaxed);
    return r;
}

void TbNet0::ResetStatistics() {
    m_readerMask.store(0);
    m_localReports.Clear();
    ClearCurrentReport();
}

void TbNet0::Open(bool /*on*/) {
    m_sendErrorShown.store(false);
    m_versionMessageShown.store(false);
}

std::string TbNet0::LocalAddress() const {
    return m_ownAddressKnown.load(std::memory_order_acquire) ? DottedAddress(m_localAddress.load())
                                                             : std::string{};
}

std::uint32_t TbNet0::SeenAddress(std::int32_t i) const {
    return m_seenAddresses[static_cast<std::size_t>(i)].load(std::memory_order_relaxed);
}

void TbNet0::AddSeen(std::uint32_t address, std::int32_t first) {
    auto known = [&] {
        const std::int32_t count = m_seenCount.load(std::memory_order_acquire);
        for (std::int32_t i = first; i < count; ++i)
            if (SeenAddress(i) == address)
                return true;
        return count >= kSeenMax;
    };
    if (known())
        return;
    std::lock_guard lock(m_seenMutex);
    if (known())
        return;
    const std::int32_t count = m_seenCount.load();
    m_seenAddresses[static_cast<std::size_t>(count)].store(address, std::memory_order_relaxed);
    m_seenCount.store(count + 1, std::memory_order_release);
}

// ---------------------------------------------------------------- peer control

bool TbNet0::IsSending(bool remote) const {
    return remote ? m_remoteSending.load() : m_sending.load();
}

std::int32_t TbNet0::GetSpeed(bool remote) const {
    return remote ? m_remoteSpeed.load() : m_localSpeed.load();
}

std::int32_t TbNet0::GetPacketSize(bool remote) const {
    return (remote ? m_remoteLength.load() : m_localLength.load()) + kPacketOffset;
}

void TbNet0::SetLocalLength(std::int32_t length) {
    // A datagram outside 64..2000 bytes is never built: settings beyond the
    // range are clamped to it.
    m_localLength.store(std::clamp<std::int32_t>(length, kMinDatagram, kBufferSize));
}

void TbNet0::RaiseCommand(std::uint16_t bits) {
    m_commandTime.store(kCommandTime);
    m_flags.fetch_or(bits);
    if (!m_sending.load())
        m_controlRequest.fetch_or(0x02);
}

void TbNet0::SetSending(bool on, bool remote) {
    if (remote) {
        m_versionMessageShown.store(false);
        if (m_remoteSending.load() == on)
            return;
        m_remoteSending.store(on);
        if (on) {
            m_flags.fetch_or(nfSendOn);
            m_headerRequestedSpeed.store(static_cast<std::uint32_t>(m_remoteSpeed.load()));
            RaiseCommand(nfSendCmd | nfSpeedCmd | nfLengthCmd | nfResetCmd);
        } else {
            m_flags.fetch_and(static_cast<std::uint16_t>(~nfSendOn));
            RaiseCommand(nfSendCmd);
        }
        return;
    }
    m_sendErrorShown.store(false);
    m_sending.store(on);
    if (on) {
        m_flags.fetch_and(static_cast<std::uint16_t>(~nfStopped));
    } else {
        m_flags.fetch_or(nfStopped);
        m_controlRequest.fetch_or(0x02);
    }
}

void TbNet0::SetSpeed(std::int32_t kbps, bool remote) {
    if (remote) {
        if (m_remoteSpeed.load() == kbps)
            return;
        m_remoteSpeed.store(kbps);
        m_headerRequestedSpeed.store(static_cast<std::uint32_t>(kbps));
        RaiseCommand(nfSpeedCmd);
        return;
    }
    const std::int32_t current = m_localSpeed.load();
    if (current == kbps)
        return;
    if (kbps < current)
        m_speedLowered.store(true);
    m_localSpeed.store(kbps);
    m_headerOwnSpeed.store(static_cast<std::uint32_t>(kbps));
}

void TbNet0::SetPacketSize(std::int32_t size, bool remote) {
    const std::int32_t length =
        std::clamp<std::int32_t>(size - kPacketOffset, kMinDatagram, kBufferSize);
    if (remote) {
        if (m_remoteLength.load() == length)
            return;
        m_remoteLength.store(length);
        RaiseCommand(nfLengthCmd);
        return;
    }
    SetLocalLength(length);
}

void TbNet0::SetPeerAddress(std::uint32_t address, bool remote) {
    if (remote) {
        if (m_peerAcceptAddress.load() == address)
            return;
        m_peerAcceptAddress.store(address);
        m_headerAccept.store(address);
        RaiseCommand(nfAcceptCmd);
        return;
    }
    m_acceptAddress.store(address);
    AddSeen(address, 0);
}

void TbNet0::AcceptPeerPacketSize() {
    m_remoteLength.store(PeerPacketSize.load());
    PeerPacketSizeChanged.store(false);
}

void TbNet0::AcceptPeerSpeed() {
    m_remoteSpeed.store(static_cast<std::int32_t>(PeerSpeed.load()));
    PeerSpeedChanged.store(false);
}

// Commands of one valid datagram (send thread).
void TbNet0::ApplyCommands(const std::uint8_t* d) {
    const std::uint16_t flags = GetU16(d + hdr::Flags);
    if ((flags & nfResetCmd) != 0) {
        ResetStatistics();
        m_expectedSequence = 0;
    }
    if ((flags & nfSendCmd) != 0) {
        m_sending.store((flags & nfSendOn) != 0);
        m_flags.fetch_or(nfResetCmd);
        m_status.fetch_or(kStatusResetAsked);
        m_commandTime.store(kCommandTime);
    }
    if ((flags & nfSpeedCmd) != 0) {
        const std::uint32_t speed = GetU32(d + hdr::RequestedSpeed);
        if (ValidPeerSpeed(speed)) {
            const auto v = static_cast<std::int32_t>(speed);
            if (v < m_localSpeed.load())
                m_speedLowered.store(true);
            m_localSpeed.store(v);
            m_headerOwnSpeed.store(speed);
        }
    }
    if ((flags & nfLengthCmd) != 0) {
        const std::uint16_t length = GetU16(d + hdr::RequestedLength);
        if (ValidLength(length))
            m_localLength.store(length);
    }
    m_commandSeen.store(true);
}

// ---------------------------------------------------------------- reports

bool TbNet0::GetReports(TbNReportRing& ring, TbNReport* out, std::int32_t& count, int reader) {
    std::int32_t max = count;
    count = 0;
    bool first = false;
    const std::uint32_t bit = 1u << reader;
    while (ring.Count.load(std::memory_order_acquire) > 0 && max-- > 0) {
        if ((m_readerMask.load() & bit) == 0) {
            if (ring.Count.load(std::memory_order_acquire) < 2)
                break;
            m_readerMask.fetch_or(bit);
            first = true;
        }
        const std::int32_t index = ring.ReadIndex.load(std::memory_order_relaxed);
        out[count++] = ring.Load(index);
        ring.ReadIndex.store((index + 1) % kRingSize, std::memory_order_relaxed);
        ring.Count.fetch_sub(1, std::memory_order_acq_rel);
    }
    return first;
}

void TbNet0::PublishLastRead(const TbNLastRead& last) {
    std::array<std::uint8_t, kLastReadWords * 4> bytes{};
    PutU16(bytes.data(), last.Flags);
    bytes[2] = last.Kind;
    PutU16(bytes.data() + 4, last.Interval);
    std::memcpy(bytes.data() + 8, last.Report.data(), kReportSize);
    const std::uint32_t seq = m_lastReadSeq.load(std::memory_order_relaxed);
    // Release stores keep the odd count ahead of every word; acquire loads on
    // the reader side keep the second look at the count behind them.
    m_lastReadSeq.store(seq + 1, std::memory_order_relaxed);
    for (std::size_t i = 0; i < kLastReadWords; ++i)
        m_lastReadWords[i].store(GetU32(bytes.data() + 4 * i), std::memory_order_release);
    m_lastReadSeq.store(seq + 2, std::memory_order_release);
}

TbNet0::TbNLastRead TbNet0::LastRead() const {
    std::array<std::uint8_t, kLastReadWords * 4> bytes{};
    // The writer holds the lock for a few stores; a handful of tries always
    // succeeds in practice, and the tick must not wait longer than that.
    for (int attempt = 0; attempt < 64; ++attempt) {
        const std::uint32_t before = m_lastReadSeq.load(std::memory_order_acquire);
        if ((before & 1u) != 0)
            continue;
        for (std::size_t i = 0; i < kLastReadWords; ++i)
            PutU32(bytes.data() + 4 * i, m_lastReadWords[i].load(std::memory_order_acquire));
        if (m_lastReadSeq.load(std::memory_order_relaxed) == before)
            break;
    }
    TbNLastRead last;
    last.Flags = GetU16(bytes.data());
    last.Kind = bytes[2];
    last.Interval = GetU16(bytes.data() + 4);
    std::memcpy(last.Report.data(), bytes.data() + 8, kReportSize);
    return last;
}

// ---------------------------------------------------------------- the tick

void TbNet0::TimerCallback(unsigned, unsigned, std::uintptr_t user, std::uintptr_t,
                           std::uintptr_t) {
    reinterpret_cast<TbNet0*>(user)->Tick();
}

void TbNet0::Tick() {
    const TbNLastRead last = LastRead();
    bool queued = false;

    if (m_tickFlush.exchange(false))
        m_credit = 0;

    if ((last.Flags & nfResetCmd) != 0)
        ResetStatistics();

    if ((m_controlRequest.fetch_and(static_cast<std::uint8_t>(~0x02)) & 0x02) != 0 &&
        m_controlCount.load(std::memory_order_acquire) < kControlSlots) {
        m_controlCount.fetch_add(1, std::memory_order_release);
        queued = true;
    }

    if (m_sending.load()) {
        const std::int32_t period = m_timerPeriod.load();
        const std::int32_t perTick = period > 0 ? 8000 / period : 0;
        if (perTick > 0) {
            // Computed in 64 bits so that speeds up to 10 Gbit/s do not
            // overflow; the result is the same as in 32 bits below 2.1 Gbit/s.
            m_credit += (std::int64_t{m_localSpeed.load()} * 1000) / perTick;
        }
        const std::int32_t length = m_localLength.load();
        const std::int64_t n = m_credit / length;
        if (n > 0) {
            m_credit -= n * length;
            if (m_sendQueueMax.load() / 2 > m_sendQueue.load(std::memory_order_acquire)) {
                m_sendSlots[static_cast<std::size_t>(m_sendWrite)].store(
                    static_cast<std::int32_t>(std::min<std::int64_t>(n, INT32_MAX)),
                    std::memory_order_relaxed);
                m_sendWrite = (m_sendWrite + 1) % kSendSlots;
                m_sendQueue.fetch_add(1, std::memory_order_release);
                queued = true;
            }
        }
    }

    const std::uint32_t ticks = m_tickCounter.load(std::memory_order_relaxed) + 1;
    if (ticks >= static_cast<std::uint32_t>(m_ticksPerInterval.load())) {
        m_tickCounter.store(0, std::memory_order_relaxed);
        m_stamp.store(static_cast<std::uint16_t>(timeGetTime()));

        if (m_localReports.Count.load(std::memory_order_acquire) < kRingSize) {
            const std::int32_t w = m_localReports.WriteIndex.load(std::memory_order_relaxed);
            m_localReports.Store(w, CurrentReport());
            m_localReports.WriteIndex.store((w + 1) % kRingSize, std::memory_order_relaxed);
            m_localReports.Count.fetch_add(1, std::memory_order_release);
        }
        m_status.store((m_flags.load() & nfResetCmd) != 0 ? kStatusResetAsked : 0);

        if (!m_sending.load() && last.Interval != m_lastPeerInterval &&
            (last.Kind != nkControl || (last.Flags & nfLookup) != 0)) {
            m_lastPeerInterval = last.Interval;
            m_controlRequest.fetch_or(0x02);
        }

        if (m_socket.load() != INVALID_SOCKET &&
            m_remoteReports.Count.load(std::memory_order_acquire) < kRingSize) {
            const std::int32_t w = m_remoteReports.WriteIndex.load(std::memory_order_relaxed);
            m_remoteReports.Store(w, DecodeReport(last.Report.data()));
            m_remoteReports.WriteIndex.store((w + 1) % kRingSize, std::memory_order_relaxed);
            m_remoteReports.Count.fetch_add(1, std::memory_order_release);
        }

        if (m_commandTime.load() > 0) {
            const std::int32_t step = m_timerPeriod.load() * m_ticksPerInterval.load();
            if (m_commandTime.fetch_sub(step) - step <= 0)
                m_flags.fetch_and(static_cast<std::uint16_t>(~kCommandMask));
        }

        m_intervalCount.fetch_add(1);

        if (m_commandSeen.exchange(false))
            SettingsChanged.store(true);
    } else {
        m_tickCounter.store(ticks, std::memory_order_relaxed);
    }

    if (queued)
        Wake();
}

// ---------------------------------------------------------------- sending

void TbNet0::AssembleHeader(std::uint8_t* d, std::uint8_t kind, std::int32_t size) {
    std::memcpy(d, kSignature.data(), 4);
    d[hdr::Version] = kProtocolVersion;
    d[5] = kHeaderSize;
    d[hdr::PatternOffset] = kHeaderSize;
    d[hdr::Kind] = kind;
    PutU16(d + hdr::Length, static_cast<std::uint16_t>(size));
    PutU16(d + hdr::Flags, m_flags.load(std::memory_order_relaxed));
    PutU32(d + hdr::Sequence, m_sequence.load(std::memory_order_relaxed));
    PutU16(d + hdr::Interval, m_intervalCount.load(std::memory_order_relaxed));
    PutU16(d + hdr::RequestedLength, static_cast<std::uint16_t>(m_remoteLength.load()));
    PutU16(d + 20, m_headerTimerPeriod.load(std::memory_order_relaxed));
    PutU16(d + 22, 0);
    PutU32(d + hdr::RequestedSpeed, m_headerRequestedSpeed.load(std::memory_order_relaxed));
    const std::uint32_t accept = m_headerAccept.load(std::memory_order_relaxed);
    std::memcpy(d + hdr::AcceptAddress, &accept, 4); // network byte order as held
    EncodeReport(CurrentReport(), d + hdr::Report);
    PutU32(d + hdr::OwnSpeed, m_headerOwnSpeed.load(std::memory_order_relaxed));
    PutU16(d + hdr::Instance, m_instance);
    PutU16(d + 58, 0);
}

bool TbNet0::Send(std::uint8_t* d) {
    const std::size_t length = GetU16(d + hdr::Length);
    WriteChecksum(d);
    // The pattern of the buffer in use is already in place for this length
    // and parity (see SendOne).
    const SOCKET s = m_socketInUse.load(std::memory_order_relaxed);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_port.load());
    to.sin_addr.s_addr = m_destinationAddress.load();
    const auto sent = ::sendto(s, d, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    m_lastSendResult.store(static_cast<std::int32_t>(sent));
    return sent == static_cast<ssize_t>(length);
}

void TbNet0::SendOne(std::uint8_t kind, std::int32_t size) {
    const std::uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
    const std::size_t parity = sequence & 1u;
    std::uint8_t* d = m_sendBuffers[parity].data();
    if (kind == nkData && m_patternLength[parity] != size) {
        WritePattern(d, kBufferSize, sequence, kHeaderSize, static_cast<std::size_t>(size));
        m_patternLength[parity] = size;
    }
    AssembleHeader(d, kind, size);
    if (!m_destinationUsable.load() || m_socketInUse.load() == INVALID_SOCKET) {
        m_status.fetch_or(kStatusSendFailed);
        return;
    }
    if (Send(d)) {
        // A rebuild may have set the number to 0 meanwhile; only count up from
        // the number this datagram carried.
        std::uint32_t expected = sequence;
        m_sequence.compare_exchange_strong(expected, sequence + 1);
        if (kind == nkData)
            m_bytesSent.fetch_add(static_cast<std::uint32_t>(size), std::memory_order_relaxed);
        return;
    }
    const int error = errno;
    m_status.fetch_or(kStatusSendFailed);
    if (!m_sendErrorShown.load() && m_socketInUse.load() != INVALID_SOCKET) {
        m_sendErrorShown.store(true);
        errno = error;
        ReportSocketError("Send");
    }
}

bool TbNet0::TakeControl() {
    if (m_controlCount.load(std::memory_order_acquire) == 0)
        return false;
    m_controlCount.fetch_sub(1, std::memory_order_acq_rel);
    return true;
}

void TbNet0::DropPending() {
    while (m_sendQueue.load(std::memory_order_acquire) > 0) {
        m_sendRead = (m_sendRead + 1) % kSendSlots;
        m_sendQueue.fetch_sub(1, std::memory_order_acq_rel);
    }
    m_paceEntryRead = -1;
}

// Plans how the datagrams of one queue entry spread over the timer period:
// sub-bursts of about one millisecond of credit, evenly spaced, so that the
// receiver sees the average rate and not the tick's burst.
void TbNet0::Pace(std::int32_t entry) {
    const std::int32_t period = std::max<std::int32_t>(m_timerPeriod.load(), 1);
    // Spread over 90 % of the period so that an entry is done before the next
    // one is queued.
    const std::int64_t spanNs = std::int64_t{period} * 900'000;
    const std::int32_t bursts = std::clamp<std::int32_t>(entry, 1, period);
    m_paceBurst = (entry + bursts - 1) / bursts;
    m_paceLeft = m_paceBurst;
    m_paceIndex = 0;
    m_paceStartNs = NowNs();
    m_paceStepNs = spanNs / bursts;
}

void TbNet0::WaitForWork(std::int64_t deadlineNs) {
    const SOCKET s = m_socketInUse.load(std::memory_order_relaxed);
    pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {s, POLLIN, 0}};
    // The tick, a stop request, a rebuild and arriving datagrams all wake the
    // thread, so with nothing to pace it may sleep long: an idle engine costs
    // next to nothing.
    constexpr std::int64_t kIdleWaitNs = 200'000'000;
    std::int64_t waitNs = kIdleWaitNs;
    if (deadlineNs > 0)
        waitNs = std::clamp<std::int64_t>(deadlineNs - NowNs(), 0, kIdleWaitNs);
    const timespec timeout{static_cast<time_t>(waitNs / 1'000'000'000),
                           static_cast<long>(waitNs % 1'000'000'000)};
    if (::ppoll(fds, s == INVALID_SOCKET ? 1 : 2, &timeout, nullptr) > 0 &&
        (fds[0].revents & POLLIN) != 0) {
        std::uint64_t value = 0;
        [[maybe_unused]] const auto n = ::read(m_wakeFd, &value, sizeof value);
    }
}

void TbNet0::SendLoop() {
    while (!m_thread.Terminated()) {
        // The socket this pass works with; ReleaseSocket() waits until the
        // thread has let go of a socket before it is closed.
        // (Sequentially consistent on both sides: either ReleaseSocket() sees
        // the socket in use, or this pass sees it gone.)
        for (SOCKET s = m_socket.load();; s = m_socket.load()) {
            m_socketInUse.store(s);
            if (m_socket.load() == s)
                break;
        }
        for (std::int32_t n = m_flushControl.exchange(0); n > 0 && TakeControl(); --n) {
        }
        for (std::int32_t n = m_flushSend.exchange(0);
             n > 0 && m_sendQueue.load(std::memory_order_acquire) > 0; --n) {
            m_sendRead = (m_sendRead + 1) % kSendSlots;
            m_sendQueue.fetch_sub(1, std::memory_order_acq_rel);
            m_paceEntryRead = -1;
        }

        bool sent = false;
        std::int64_t deadline = 0;
        if (TakeControl()) {
            SendOne(nkControl, kHeaderSize);
            sent = true;
        } else if (m_sendQueue.load(std::memory_order_acquire) > 0 && !m_sending.load()) {
            DropPending();
        } else if (m_sendQueue.load(std::memory_order_acquire) > 0) {
            auto& slot = m_sendSlots[static_cast<std::size_t>(m_sendRead)];
            if (m_paceEntryRead != m_sendRead) {
                m_paceEntryRead = m_sendRead;
                Pace(slot.load(std::memory_order_relaxed));
            }
            // When the next entry already waits the thread is behind: no pause.
            const bool behind = m_sendQueue.load(std::memory_order_acquire) > 1;
            if (m_paceLeft == 0 && !behind) {
                deadline = m_paceStartNs + (m_paceIndex + 1) * m_paceStepNs;
                if (NowNs() >= deadline) {
                    ++m_paceIndex;
                    m_paceLeft = m_paceBurst;
                    deadline = 0;
                }
            }
            if (m_paceLeft > 0 || behind) {
                if (m_paceLeft > 0)
                    --m_paceLeft;
                SendOne(nkData, m_localLength.load());
                sent = true;
                if (slot.fetch_sub(1, std::memory_order_relaxed) - 1 <= 0) {
                    m_sendRead = (m_sendRead + 1) % kSendSlots;
                    m_sendQueue.fetch_sub(1, std::memory_order_acq_rel);
                    m_paceEntryRead = -1;
                }
            }
        }
        if (sent && m_speedLowered.exchange(false))
            DropPending();

        // While sending fast with nothing arriving, looking for input after
        // every datagram would double the system calls: after an empty look,
        // the next few sends go without one.
        bool received = false;
        if (m_socketInUse.load() != INVALID_SOCKET && (!sent || m_receiveSkip == 0)) {
            received = Receive(m_receiveBuffer.data());
            m_receiveSkip = received ? 0 : kReceiveSkip;
        } else if (m_receiveSkip > 0) {
            --m_receiveSkip;
        }
        if (!sent && !received)
            WaitForWork(deadline);
    }
    m_socketInUse.store(INVALID_SOCKET, std::memory_order_release);
}

void TbNet0::ReleaseSocket() {
    const SOCKET s = m_socket.exchange(INVALID_SOCKET);
    if (s == INVALID_SOCKET)
        return;
    // Closing a descriptor that the send thread is still using would let a
    // new socket reuse its number under that thread's feet.
    Wake();
    const std::int64_t deadline = NowNs() + 2'000'000'000;
    while (m_thread.Running() && m_socketInUse.load() == s && NowNs() < deadline) {
        timespec pause{0, 200'000};
        ::nanosleep(&pause, nullptr);
        Wake();
    }
    closesocket(s);
}

// ---------------------------------------------------------------- receiving

// The instance tag is only 16 bits of a clock, so two copies may share it: a
// datagram is the own only when it also comes from the own port and from an
// address of this host.
bool TbNet0::IsOwn(const std::uint8_t* d) const {
    if (GetU16(d + hdr::Instance) != m_instance || m_lastSourcePort != m_port.load())
        return false;
    const std::uint32_t source = m_lastSource.load(std::memory_order_relaxed);
    return (m_ownAddressKnown.load() && source == m_localAddress.load()) || IsHostAddress(source);
}

// Reads and handles one datagram when one waits; false when none did.
bool TbNet0::Receive(std::uint8_t* buffer) {
    const SOCKET s = m_socketInUse.load(std::memory_order_relaxed);
    std::memset(buffer, 0, 4);
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const auto received = ::recvfrom(s, buffer, kBufferSize, MSG_DONTWAIT,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0)
        return false;
    m_lastReceiveLength.store(static_cast<std::int32_t>(received));
    m_lastSource.store(from.sin_addr.s_addr, std::memory_order_relaxed);
    m_lastSourcePort = ntohs(from.sin_port);
    if (received == 0)
        return true; // an empty datagram: read, nothing else to do
    ReceiveOne();
    return true;
}

void TbNet0::ReceiveOne() {
    const std::uint8_t* d = m_receiveBuffer.data();
    const auto length = static_cast<std::uint32_t>(m_lastReceiveLength.load());
    const TbNDatagramClass c = ClassifyDatagram(d, kBufferSize, length);
    const std::uint32_t source = m_lastSource.load(std::memory_order_relaxed);
    const bool own = c.Valid && IsOwn(d);

    // Discovery: the first own discovery datagram heard tells the own address.
    if (c.Valid && (c.Flags & nfDiscover) != 0) {
        if (own && !m_ownAddressKnown.load()) {
            m_localAddress.store(source);
            m_ownAddressKnown.store(true, std::memory_order_release);
            m_flags.fetch_and(static_cast<std::uint16_t>(~nfDiscover));
            m_sequence.store(0);
        }
        return;
    }
    // The own broadcast heard back; also the own data sent to 255.255.255.255
    // without the broadcast flag, which must never count as the peer's.
    if (own)
        return;

    if (c.Valid && (c.Flags & nfAcceptCmd) != 0) {
        std::uint32_t accept = 0;
        std::memcpy(&accept, d + hdr::AcceptAddress, 4);
        m_acceptAddress.store(accept);
        m_commandSeen.store(true);
    }

    const std::uint32_t accept = m_acceptAddress.load();
    if (!m_sending.load() && accept == 0 && c.Valid && m_destinationAddress.load() != source) {
        m_destinationAddress.store(source);
        SettingsChanged.store(true);
    }

    bool accepted = true;
    if (accept != source) {
        AddSeen(source, 1);
        if (accept != 0) {
            m_bytesFromOthers.fetch_add(length, std::memory_order_relaxed);
            if (!(c.Complete && c.Kind == nkControl))
                return;
            accepted = false;
        }
    }
    if (accepted) {
        m_lastAcceptedSource.store(source);
        m_lastAcceptedPort.store(m_lastSourcePort);
    }

    if (c.IsData) {
        m_bytesReceived.fetch_add(length, std::memory_order_relaxed);
        if (c.Valid) {
            const std::uint16_t size = GetU16(d + hdr::Length);
            if (PeerPacketSize.exchange(size) != size)
                PeerPacketSizeChanged.store(true);
            const std::uint32_t speed = GetU32(d + hdr::OwnSpeed);
            if (PeerSpeed.exchange(speed) != speed)
                PeerSpeedChanged.store(true);
            m_remoteSending.store(true);
            RemoteSendingChanged.store(true);
        }
    } else if (c.Valid && (c.Flags & nfStopped) != 0) {
        m_remoteSending.store(false);
        RemoteSendingChanged.store(true);
    }

    if (c.Bad())
        m_bad.fetch_add(1, std::memory_order_relaxed);
    if (c.Valid) {
        if (d[hdr::Version] != kProtocolVersion && !m_versionMessageShown.exchange(true))
            ShowText("Incompatibile version of remote application", "Receive", true);
        m_lost.fetch_add(LostDelta(c.Sequence, m_expectedSequence), std::memory_order_relaxed);
        m_expectedSequence = c.Sequence + 1;

        TbNLastRead last;
        last.Flags = c.Flags;
        last.Kind = c.Kind;
        last.Interval = GetU16(d + hdr::Interval);
        std::memcpy(last.Report.data(), d + hdr::Report, kReportSize);
        PublishLastRead(last);

        if ((c.Flags & kCommandMask) != 0)
            ApplyCommands(d);
    }

    AfterReceive();
}

// ---------------------------------------------------------------- errors

void TbNet0::ShowText(const std::string& text, const std::string& caption, bool onSendThread) {
    if (!NetOutward.ShowText)
        return;
    if (!onSendThread || NetOutward.ShowTextOnAnyThread) {
        NetOutward.ShowText(text, caption);
        return;
    }
    // The user may take long to close the box: the socket must stay free to
    // be closed meanwhile.
    m_socketInUse.store(INVALID_SOCKET, std::memory_order_release);
    std::unique_lock lock(m_boxMutex);
    m_boxText = text;
    m_boxCaption = caption;
    m_boxPending = true;
    m_boxDone.wait(lock, [this] { return !m_boxPending || m_stopping.load(); });
    m_boxPending = false;
}

bool TbNet0::ShowPendingBox() {
    std::string text;
    std::string caption;
    {
        std::lock_guard lock(m_boxMutex);
        if (!m_boxPending)
            return false;
        text = m_boxText;
        caption = m_boxCaption;
    }
    if (NetOutward.ShowText)
        NetOutward.ShowText(text, caption);
    {
        std::lock_guard lock(m_boxMutex);
        m_boxPending = false;
    }
    m_boxDone.notify_all();
    return true;
}

// Shows the error of a socket step. The caller closes the socket where the
// step requires it ("Create", "Bind", "Broadcast"); "Send" leaves it open.
void TbNet0::ReportSocketError(const char* step) {
    const int error = WSAGetLastError();
    std::string text = NetOutward.LookupText
                           ? NetOutward.LookupText("SocketErrors", std::to_string(error), "")
                           : std::string{};
    char caption[60];
    std::snprintf(caption, sizeof caption, "ERROR Socket:%d %s", error, step);
    if (text.size() > kBufferSize - 1)
        text.resize(kBufferSize - 1);
    ShowText(text, caption, std::strcmp(step, "Send") == 0);
}

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
    m_remoteReports.Clear();
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

void TbNClient::AfterReceive() {
    if (!m_lookupActive.load())
        return;
    const std::int32_t count = m_foundCount.load(std::memory_order_relaxed);
    if (count >= kFoundMax)
        return;
    const std::uint32_t address = m_lastAcceptedSource.load();
    for (std::int32_t i = 0; i < count; ++i)
        if (m_foundAddresses[static_cast<std::size_t>(i)].load(std::memory_order_relaxed) ==
            address)
            return;
    m_foundAddresses[static_cast<std::size_t>(count)].store(address, std::memory_order_relaxed);
    m_foundPorts[static_cast<std::size_t>(count)].store(m_lastAcceptedPort.load(),
                                                        std::memory_order_relaxed);
    m_foundCount.store(count + 1, std::memory_order_release);
}

void TbNClient::SetLookup(bool on) {
    if (m_lookupActive.load() != on) {
        if (on) {
            m_foundCount.store(0, std::memory_order_release);
            m_lookupActive.store(true);
            SetRemoteHost(kBroadcastHost);
            m_flags.fetch_or(nfLookup);
        } else {
            m_lookupActive.store(false);
            m_flags.store(0);
        }
    }
    if (on)
        m_controlRequest.fetch_or(0x02);
}

sockaddr_in TbNClient::FoundServer(std::int32_t i) const {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr =
        m_foundAddresses[static_cast<std::size_t>(i)].load(std::memory_order_relaxed);
    a.sin_port = htons(m_foundPorts[static_cast<std::size_t>(i)].load(std::memory_order_relaxed));
    return a;
}
