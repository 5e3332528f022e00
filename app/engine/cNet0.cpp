// SPDX-License-Identifier: GPL-3.0-or-later
#include "cNet0.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <ifaddrs.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "uConfig.h"
#include "xTimer.h"

TNetOutward NetOutward;
TNetSeams NetSeams;
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

bool ValidLength(std::uint32_t length) {
    return length >= kMinDatagram && length <= kBufferSize;
}

bool IsLoopback(std::uint32_t address) {
    return (ntohl(address) >> 24) == 127;
}

// The control datagram bit of the control request.
constexpr std::uint8_t kControlWanted = 0x02;

} // namespace

// ---------------------------------------------------------------- report ring

bool TbNReportRing::Take(TbNReport* out, TbNRcvbufDrops* drops, std::int32_t& count) {
    return TakeEach(count, [&](const TbNReportRecord& record, std::int32_t i) {
        out[i] = record.Report;
        if (drops != nullptr)
            drops[i] = record.Drops;
    });
}

bool TbNReportRing::Take(TbNReportRecord* out, std::int32_t& count) {
    return TakeEach(count, [&](const TbNReportRecord& record, std::int32_t i) { out[i] = record; });
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
    m_extEnabled.store(CfgOpt.Extension != 0);
    TbNLimits limits;
    limits.PeerSilence = CfgOpt.PeerSilence;
    limits.MaxSpeed = CfgOpt.PeerMaxSpeed;
    limits.MaxSendTime = CfgOpt.PeerMaxSendTime;
    if (std::string error; !ParseAllowList(CfgOpt.PeerAllow, limits.Allow, error)) {
        // A list that cannot be read obeys nobody rather than everybody.
        limits.Allow = TbNAllowList{};
        limits.Allow.Active = true;
    }
    SetLimits(limits);
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
    // The loop sees the request at once (the eventfd wakes it); a box waiting
    // in the mailbox is released by m_stopping above.
    while (!m_thread.WaitFor(120)) {
    }
}

void TbNet0::Wake() {
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(m_wakeFd, &one, sizeof one);
    }
}

// Called after anything that gives the tick work: a timer asleep to the next
// interval end calls back at the next period boundary instead. (The tick
// sets m_timerAsleep before it checks for work a last time, and the work is
// stored before this check: one of the two always sees the other.)
void TbNet0::WakeTimer() {
    if (m_timerAsleep.load(std::memory_order_seq_cst))
        if (const unsigned id = m_timerId.load(); id != 0)
            timeWakeEvent(id);
}

void TbNet0::RequestControl() {
    m_controlRequest.fetch_or(kControlWanted, std::memory_order_seq_cst);
    WakeTimer();
}

void TbNet0::Start() {
    m_thread.Resume();
    SetTimerPeriod(CfgOpt.TimerPeriod);
    RequestControl();
    m_started = true;
}

void TbNet0::SetLimits(const TbNLimits& limits) {
    m_peerSilence.store(std::max(limits.PeerSilence, 0));
    m_maxPeerSpeed.store(std::max(limits.MaxSpeed, 0));
    m_maxSendTime.store(std::max(limits.MaxSendTime, 0));
    m_allowSet = limits.Allow;
    m_allow.Store(limits.Allow);
    m_allowActive.store(limits.Allow.Active);
}

TbNLimits TbNet0::Limits() const {
    TbNLimits limits;
    limits.PeerSilence = m_peerSilence.load();
    limits.MaxSpeed = m_maxPeerSpeed.load();
    limits.MaxSendTime = m_maxSendTime.load();
    limits.Allow = m_allowSet;
    return limits;
}

std::int32_t TbNet0::PeerSilenceInForce() const {
    return PeerSilenceMs(m_peerSilence.load(), m_infoTime.load());
}

std::uint32_t TbNet0::PeerSilentMs() const {
    if (!m_peerHeard.load(std::memory_order_acquire))
        return ~0u;
    const std::uint32_t now = timeGetTime();
    const std::uint32_t heard =
        m_commanded.load() ? m_commanderHeardMs.load() : m_peerHeardMs.load();
    return now - heard;
}

void TbNet0::RepeatDiscovery() {
    if (!m_ownAddressKnown.load())
        RequestControl();
}

void TbNet0::SetTimerPeriod(std::int32_t period) {
    const std::int32_t current = m_timerPeriod.load();
    const unsigned running = m_timerId.load();
    if (running != 0 && current == period && period != 0)
        return;
    if (running != 0) {
        m_timerId.store(0);
        timeKillEvent(running);
        timeEndPeriod(static_cast<unsigned>(current));
    }
    if (period <= 0)
        return;
    if (timeBeginPeriod(static_cast<unsigned>(period)) != TIMERR_NOERROR)
        return;
    m_timerPeriod.store(period);
    m_ticksPerInterval.store(m_infoTime.load() / period);
    // The timer thread is gone (killed and joined) and the next one is not
    // started yet: the tick's own values may be set from here.
    m_tickCounter = 0;
    m_lastTickIndex = 0;
    m_timerAsleep.store(false);
    const unsigned id = timeSetEvent(static_cast<unsigned>(period), 0, &TbNet0::TimerCallback,
                                     reinterpret_cast<std::uintptr_t>(this), TIME_PERIODIC);
    m_timerId.store(id);
    if (id == 0)
        ShowText("ERROR: timeSetEvent()", "", false);
    m_headerTimerPeriod.store(static_cast<std::uint16_t>(period));
}

void TbNet0::SetInfoTime(std::int32_t ms) {
    m_infoTime.store(ms);
    if (const std::int32_t period = m_timerPeriod.load(); period > 0)
        m_ticksPerInterval.store(ms / period);
    WakeTimer();
}

void TbNet0::RebuildHeader() {
    const std::int32_t period = m_timerPeriod.load();
    m_sendQueueMax.store(period == 0 ? 4 : std::clamp(200 / period, 2, kSendSlots));
    // Both queues are emptied by their own sides: a reset request makes the
    // send thread drop the entries waiting now and the tick forget its
    // credit; entries the tick queues after it go out.
    m_sendQueue.RequestReset();
    // Only what waits now is dropped: a request the tick queues after this
    // point (the first control datagram after an opening) goes out.
    m_flushControl.store(m_controlCount.load());
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
    m_rcvbufDropsBase.store(m_rcvbufDropsSeen.load());
    m_bytesSent64.store(0);
    m_bytesReceived64.store(0);
    m_rcvbufDropsTotalBase.store(m_rcvbufDropsTotal.load());
    m_extResetAsked.store(true);
}

TbNReport TbNet0::CurrentReport() const {
    TbNReport r;
    r.Stamp = m_stamp.load(std::memory_order_relaxed);
    r.Status = m_status.load(std::memory_order_relaxed);
    r.Reserved = static_cast<std::uint8_t>(
        (m_rcvbufDropsKnown.load(std::memory_order_relaxed) ? kMarkRcvbufDrops : 0) |
        (m_extEnabled.load(std::memory_order_relaxed) ? kMarkExtension : 0));
    r.BytesSent = m_bytesSent.load(std::memory_order_relaxed);
    r.BytesReceived = m_bytesReceived.load(std::memory_order_relaxed);
    r.BytesFromOthers = m_bytesFromOthers.load(std::memory_order_relaxed);
    r.Lost = m_lost.load(std::memory_order_relaxed);
    r.Bad = m_bad.load(std::memory_order_relaxed);
    return r;
}

TbNRcvbufDrops TbNet0::LocalRcvbufDrops() const {
    TbNRcvbufDrops drops;
    drops.Known = m_rcvbufDropsKnown.load(std::memory_order_relaxed);
    if (drops.Known)
        drops.Count =
            static_cast<std::uint16_t>(m_rcvbufDropsSeen.load() - m_rcvbufDropsBase.load());
    return drops;
}

TbNRcvbufDrops TbNet0::RemoteRcvbufDrops() const {
    const std::uint32_t packed = m_peerRcvbufDrops.load(std::memory_order_relaxed);
    return {(packed & 0x10000u) != 0, static_cast<std::uint16_t>(packed)};
}

TbNSocketBuffers TbNet0::SocketBuffers() const {
    return {m_recvBufInForce.load(), m_sendBufInForce.load()};
}

void TbNet0::ReadBackBuffers(SOCKET s) {
    int value = 0;
    socklen_t size = sizeof value;
    m_recvBufInForce.store(::getsockopt(s, SOL_SOCKET, SO_RCVBUF, &value, &size) == 0 ? value : 0);
    value = 0;
    size = sizeof value;
    m_sendBufInForce.store(::getsockopt(s, SOL_SOCKET, SO_SNDBUF, &value, &size) == 0 ? value : 0);
}

bool TbNet0::ApplySocketBuffers(std::int32_t recvBuf, std::int32_t sendBuf) {
    const SOCKET s = m_socket.load();
    if (s == INVALID_SOCKET)
        return false;
    ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &recvBuf, sizeof recvBuf);
    ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, &sendBuf, sizeof sendBuf);
    ReadBackBuffers(s);
    return true;
}

void TbNet0::ResetStatistics() {
    // The counters first, then the request: a record the tick builds after
    // it sees the request holds only cleared or newer counters.
    ClearCurrentReport();
    m_localReports.RequestReset();
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
        m_controlRequest.fetch_or(kControlWanted);
    WakeTimer();
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
    // Sending the user switches is the user's: no peer's silence ends it.
    m_commanded.store(false);
    m_sending.store(on);
    if (on) {
        m_flags.fetch_and(static_cast<std::uint16_t>(~nfStopped));
        WakeTimer();
    } else {
        m_flags.fetch_or(nfStopped);
        RequestControl();
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
        const bool on = (flags & nfSendOn) != 0;
        if (on) {
            // The peer that commands it answers for it: the tick ends it when
            // that peer falls silent (TickEndCommanded). A repeated command
            // starts the time limit again.
            const std::uint32_t now = timeGetTime();
            m_commander.store(m_lastSource.load(std::memory_order_relaxed));
            m_commanderHeardMs.store(now);
            m_commandedAtMs.store(now);
        }
        m_commanded.store(on);
        m_sending.store(on);
        m_flags.fetch_or(nfResetCmd);
        m_status.fetch_or(kStatusResetAsked);
        m_commandTime.store(kCommandTime);
    }
    if ((flags & nfSpeedCmd) != 0) {
        // Only the speed: what waits in the queue still goes out (the own
        // "speed lowered" rule belongs to SetSpeed).
        std::uint32_t speed = GetU32(d + hdr::RequestedSpeed);
        if (ValidPeerSpeed(speed)) {
            // The own-speed field then tells the peer what it really gets.
            if (const std::int32_t max = m_maxPeerSpeed.load(); max > 0)
                speed = std::min(speed, static_cast<std::uint32_t>(max));
            m_localSpeed.store(static_cast<std::int32_t>(speed));
            m_headerOwnSpeed.store(speed);
        }
    }
    if ((flags & nfLengthCmd) != 0) {
        const std::uint16_t length = GetU16(d + hdr::RequestedLength);
        if (ValidLength(length))
            m_localLength.store(length);
    }
    m_commandSeen.store(true);
    WakeTimer();
}

// ---------------------------------------------------------------- reports

bool TbNet0::GetReports(TbNReportRing& ring, TbNReport* out, std::int32_t& count, int /*reader*/,
                        TbNRcvbufDrops* drops) {
    return ring.Take(out, drops, count);
}

bool TbNet0::GetRecords(TbNReportRing& ring, TbNReportRecord* out, std::int32_t& count) {
    return ring.Take(out, count);
}

// ---------------------------------------------------------------- the tick

void TbNet0::TimerCallback(unsigned, unsigned, std::uintptr_t user, std::uintptr_t tick,
                           std::uintptr_t) {
    reinterpret_cast<TbNet0*>(user)->Tick(static_cast<std::uint32_t>(tick));
}

void TbNet0::Tick(std::uint32_t tickIndex) {
    m_timerAsleep.store(false, std::memory_order_seq_cst);
    // Periods since the last tick: more than one after the timer slept.
    const std::uint32_t passed = m_lastTickIndex == 0 ? 1 : tickIndex - m_lastTickIndex;
    m_lastTickIndex = tickIndex;
    const TbNLastRead last = m_lastRead.Load();
    bool queued = false;

    if ((last.Flags & nfResetCmd) != 0)
        ResetStatistics();

    if ((m_controlRequest.fetch_and(static_cast<std::uint8_t>(~kControlWanted)) & kControlWanted) !=
            0 &&
        m_controlCount.load(std::memory_order_acquire) < kControlSlots) {
        m_controlCount.fetch_add(1, std::memory_order_release);
        queued = true;
    }

    TickAddCredit(queued);

    m_tickCounter += passed;
    if (m_tickCounter >= static_cast<std::uint32_t>(m_ticksPerInterval.load())) {
        m_tickCounter = 0;
        TickCloseInterval(last);
    }

    if (queued)
        Wake();
    TickMaySleep();
}

void TbNet0::TickAddCredit(bool& queued) {
    // A rebuild asked the queue to drop what waits: the credit goes with it.
    const std::uint32_t generation = m_sendQueue.Generation();
    if (generation != m_creditGeneration) {
        m_creditGeneration = generation;
        m_credit = 0;
    }
    if (!m_sending.load())
        return;
    const std::int32_t period = m_timerPeriod.load();
    const std::int32_t perTick = period > 0 ? 8000 / period : 0;
    if (perTick > 0) {
        // Computed in 64 bits so that speeds up to 10 Gbit/s do not overflow;
        // the result is the same as in 32 bits below 2.1 Gbit/s.
        m_credit += (std::int64_t{m_localSpeed.load()} * 1000) / perTick;
    }
    const std::int32_t length = m_localLength.load();
    const std::int64_t n = m_credit / length;
    if (n <= 0)
        return;
    m_credit -= n * length;
    if (m_sendQueueMax.load() / 2 > static_cast<std::int32_t>(m_sendQueue.Size()) &&
        m_sendQueue.Push(static_cast<std::int32_t>(std::min<std::int64_t>(n, INT32_MAX)),
                         generation))
        queued = true;
}

void TbNet0::TickCloseInterval(const TbNLastRead& last) {
    m_stamp.store(static_cast<std::uint16_t>(timeGetTime()));
    const std::uint32_t localGeneration = m_localReports.Generation();
    TbNDelayRecord localDelay;
    if (m_extEnabled.load(std::memory_order_relaxed)) {
        // The send thread's last closed interval: it closes its own when it
        // sees this one end, so the figures are an interval behind the counters.
        const TbNDelayInterval closed = m_closedDelay.Load();
        localDelay.Known = closed.Number > 0;
        localDelay.DelayKnown = closed.DelayKnown;
        localDelay.RttKnown = closed.RttKnown;
        localDelay.Interval = closed.Number;
        localDelay.Figures = closed.Figures;
        localDelay.RttP50Ns = closed.RttP50Ns;
        localDelay.RttP99Ns = closed.RttP99Ns;
        localDelay.RttMaxNs = closed.RttMaxNs;
        localDelay.RttSamples = closed.RttSamples;
    }
    m_localReports.Append({CurrentReport(), LocalRcvbufDrops(), localDelay}, localGeneration);
    m_status.store((m_flags.load() & nfResetCmd) != 0 ? kStatusResetAsked : 0);

    // The answer to a peer that sends data or looks for servers.
    if (!m_sending.load() && last.Interval != m_lastPeerInterval &&
        (last.Kind != nkControl || (last.Flags & nfLookup) != 0)) {
        m_lastPeerInterval = last.Interval;
        m_controlRequest.fetch_or(kControlWanted);
    }

    if (m_socket.load() != INVALID_SOCKET) {
        TbNReport report = last.Report;
        TbNDelayRecord remoteDelay;
        if (last.HasBlock) {
            // The report's stamp is that of the peer's last interval end, but
            // its byte counters run on: a rate from them is off whenever the
            // datagram came in the middle of the peer's interval. The block's
            // counters go with the time they were read at, on the same
            // millisecond clock as the stamps.
            report.Stamp = static_cast<std::uint16_t>(last.Block.SendTimeNs / 1'000'000);
            report.BytesSent = static_cast<std::uint32_t>(last.Block.BytesSent);
            report.BytesReceived = static_cast<std::uint32_t>(last.Block.BytesReceived);
            if ((last.Block.Flags & efFigures) != 0) {
                remoteDelay.Known = true;
                remoteDelay.DelayKnown = (last.Block.Flags & efDelayKnown) != 0;
                remoteDelay.Interval = last.Block.FiguresInterval;
                remoteDelay.Figures = last.Block.Figures;
            }
        }
        m_remoteReports.Append({report, last.Drops, remoteDelay}, m_remoteReports.Generation());
    }

    // Commands expire on time also when an interval is shorter than a tick:
    // the countdown steps by at least one timer period.
    if (m_commandTime.load() > 0) {
        const std::int32_t period = m_timerPeriod.load();
        const std::int32_t step = std::max(period * m_ticksPerInterval.load(), period);
        if (m_commandTime.fetch_sub(step) - step <= 0)
            m_flags.fetch_and(static_cast<std::uint16_t>(~kCommandMask));
    }

    m_intervalCount.fetch_add(1);
    TickEndCommanded();

    if (m_commandSeen.exchange(false))
        SettingsChanged.store(true);
    // The send thread closes its measurements' interval when it sees this
    // one end; it may be waiting for input.
    if (m_extBusy.exchange(false))
        Wake();
}

// A sending the peer commanded ends when that peer has been silent for the
// peer silence, or when it has run for the longest send time since it was
// last commanded: an ordinary own sending-off, so the peer reads the stopped
// state if it ever comes back. (A live peer answers at least once per
// interval, and the silence is at least three intervals.)
void TbNet0::TickEndCommanded() {
    if (!m_commanded.load() || !m_sending.load())
        return;
    const std::uint32_t now = timeGetTime();
    const auto silence = static_cast<std::uint32_t>(PeerSilenceInForce());
    const std::uint64_t maxTimeMs =
        std::uint64_t{static_cast<std::uint32_t>(m_maxSendTime.load())} * 1000;
    tNetStopCause cause = nsNone;
    if (silence > 0 && now - m_commanderHeardMs.load() >= silence)
        cause = nsPeerSilent;
    else if (maxTimeMs > 0 && now - m_commandedAtMs.load() >= maxTimeMs)
        cause = nsMaxSendTime;
    if (cause == nsNone)
        return;
    m_stopCause.store(cause);
    SetSending(false, false);
    SendingStoppedChanged.store(true);
}

// With nothing to pace, no control datagram wanted and no command counting
// down, the ticks until the next interval end would do nothing: the timer
// sleeps to that tick instead (an idle copy then wakes once per interval).
void TbNet0::TickMaySleep() {
    const auto perInterval = static_cast<std::uint32_t>(m_ticksPerInterval.load());
    if (perInterval <= m_tickCounter + 1)
        return;
    const auto idle = [this] {
        return !m_sending.load() && m_controlRequest.load() == 0 && m_controlCount.load() == 0 &&
               m_commandTime.load() <= 0 && m_sendQueue.Size() == 0;
    };
    if (!idle())
        return;
    m_timerAsleep.store(true, std::memory_order_seq_cst);
    if (!idle()) {
        m_timerAsleep.store(false);
        return;
    }
    timeSleepEvent(perInterval - m_tickCounter);
}

// ---------------------------------------------------------------- sending

void TbNet0::AssembleHeader(std::uint8_t* d, std::uint8_t kind, std::int32_t size,
                            std::uint32_t sequence, std::uint8_t patternOffset,
                            std::uint32_t sentAhead) {
    std::memcpy(d + hdr::Signature, kSignature.data(), 4);
    d[hdr::Version] = kProtocolVersion;
    d[hdr::HeaderLength] = kHeaderSize;
    d[hdr::PatternOffset] = patternOffset;
    d[hdr::Kind] = kind;
    PutU16(d + hdr::Length, static_cast<std::uint16_t>(size));
    PutU16(d + hdr::Flags, m_flags.load(std::memory_order_relaxed));
    PutU32(d + hdr::Sequence, sequence);
    PutU16(d + hdr::Interval, m_intervalCount.load(std::memory_order_relaxed));
    PutU16(d + hdr::RequestedLength, static_cast<std::uint16_t>(m_remoteLength.load()));
    PutU16(d + hdr::TimerPeriod, m_headerTimerPeriod.load(std::memory_order_relaxed));
    PutU16(d + hdr::RcvbufDrops, LocalRcvbufDrops().Count);
    PutU32(d + hdr::RequestedSpeed, m_headerRequestedSpeed.load(std::memory_order_relaxed));
    const std::uint32_t accept = m_headerAccept.load(std::memory_order_relaxed);
    std::memcpy(d + hdr::AcceptAddress, &accept, 4); // network byte order as held
    TbNReport report = CurrentReport();
    report.BytesSent += sentAhead; // modulo 2^32, as the counter itself
    EncodeReport(report, d + hdr::Report);
    PutU32(d + hdr::OwnSpeed, m_headerOwnSpeed.load(std::memory_order_relaxed));
    PutU16(d + hdr::Instance, m_instance);
    PutU16(d + hdr::Reserved2, 0);
    WriteChecksum(d);
}

bool TbNet0::Send(std::uint8_t* d) {
    const std::size_t length = GetU16(d + hdr::Length);
    WriteChecksum(d);
    const SOCKET s = m_socketInUse.load(std::memory_order_relaxed);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_port.load());
    // Every receiver drops a datagram that still carries the discovery flag:
    // until the own broadcast has come back, a control datagram is useful
    // only as that broadcast, whatever the destination is by now.
    to.sin_addr.s_addr =
        (GetU16(d + hdr::Flags) & nfDiscover) != 0 ? INADDR_BROADCAST : m_destinationAddress.load();
    const auto sent = ::sendto(s, d, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    m_lastSendResult.store(static_cast<std::int32_t>(sent));
    return sent == static_cast<ssize_t>(length);
}

void TbNet0::SendFailed(int error) {
    m_status.fetch_or(kStatusSendFailed);
    if (!m_sendErrorShown.load() && m_socketInUse.load() != INVALID_SOCKET) {
        m_sendErrorShown.store(true);
        errno = error;
        ReportSocketError("Send");
    }
}

void TbNet0::SendControl() {
    // One load of the sequence: the header carries the number the count
    // goes on from, also when a rebuild sets it to 0 meanwhile.
    const std::uint32_t sequence = m_sequence.load(std::memory_order_relaxed);
    const std::size_t index = (sequence & 1u) * kBatch;
    std::uint8_t* d = m_sendBuffers[index].data();
    if (BlockWanted()) {
        // Answers carry the echo: length 64 + block, no pattern words.
        AssembleHeader(d, nkControl, static_cast<std::int32_t>(kExtMinDatagram), sequence,
                       static_cast<std::uint8_t>(kExtMinDatagram));
        WriteBlock(d, m_bytesSent64.load(std::memory_order_relaxed));
        m_patternLength[index] = -1; // the block overwrote the start of the data pattern
    } else {
        AssembleHeader(d, nkControl, kHeaderSize, sequence);
    }
    if (!m_destinationUsable.load() || m_socketInUse.load() == INVALID_SOCKET) {
        m_status.fetch_or(kStatusSendFailed);
        return;
    }
    if (Send(d)) {
        std::uint32_t expected = sequence;
        m_sequence.compare_exchange_strong(expected, sequence + 1);
        return;
    }
    SendFailed(errno);
}

// Sends up to `count` data datagrams in one sendmmsg call, each with its own
// header, sequence number and checksum. Answers how many the kernel took;
// the counters move for those only.
std::int32_t TbNet0::SendData(std::int32_t count) {
    const std::uint32_t first = m_sequence.load(std::memory_order_relaxed);
    if (const auto seam = NetSeams.SequenceTaken.load(std::memory_order_relaxed))
        seam(*this, first);
    const std::int32_t size = m_localLength.load();
    const std::int32_t n = std::clamp<std::int32_t>(count, 1, kBatch);
    // A datagram too short for the block goes without it.
    const bool block = BlockWanted() && size >= static_cast<std::int32_t>(kExtMinDatagram);
    const std::uint8_t patternOffset =
        block ? static_cast<std::uint8_t>(kExtMinDatagram) : static_cast<std::uint8_t>(kHeaderSize);
    const std::int32_t patternKey = size | (std::int32_t{patternOffset} << 16);
    const std::uint64_t bytesSent = m_bytesSent64.load(std::memory_order_relaxed);
    std::array<iovec, kBatch> parts{};
    std::array<mmsghdr, kBatch> messages{};
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_port.load());
    to.sin_addr.s_addr = m_destinationAddress.load();
    for (std::int32_t i = 0; i < n; ++i) {
        const std::uint32_t sequence = first + static_cast<std::uint32_t>(i);
        // Even numbers take buffers of the first half, odd ones of the second:
        // a buffer's pattern always has the same parity.
        const std::size_t index = (sequence & 1u) * kBatch + static_cast<std::size_t>(i / 2);
        std::uint8_t* d = m_sendBuffers[index].data();
        if (m_patternLength[index] != patternKey) {
            WritePattern(d, kBufferSize, sequence, patternOffset, static_cast<std::size_t>(size));
            m_patternLength[index] = patternKey;
        }
        const std::uint64_t ahead =
            static_cast<std::uint64_t>(i) * static_cast<std::uint64_t>(size);
        AssembleHeader(d, nkData, size, sequence, patternOffset, static_cast<std::uint32_t>(ahead));
        if (block)
            WriteBlock(d, bytesSent + ahead);
        parts[static_cast<std::size_t>(i)] = {d, static_cast<std::size_t>(size)};
        msghdr& h = messages[static_cast<std::size_t>(i)].msg_hdr;
        h.msg_name = &to;
        h.msg_namelen = sizeof to;
        h.msg_iov = &parts[static_cast<std::size_t>(i)];
        h.msg_iovlen = 1;
    }
    if (!m_destinationUsable.load() || m_socketInUse.load() == INVALID_SOCKET) {
        m_status.fetch_or(kStatusSendFailed);
        return 0;
    }
    const SOCKET s = m_socketInUse.load(std::memory_order_relaxed);
    const auto batch = NetSeams.SendBatch.load(std::memory_order_relaxed);
    const int sent = batch != nullptr ? batch(s, messages.data(), static_cast<unsigned>(n))
                                      : ::sendmmsg(s, messages.data(), static_cast<unsigned>(n), 0);
    if (sent <= 0) {
        m_lastSendResult.store(-1);
        SendFailed(errno);
        return 0;
    }
    m_lastSendResult.store(size);
    // A rebuild may have set the number to 0 meanwhile; only count up from
    // the numbers these datagrams carried.
    std::uint32_t expected = first;
    m_sequence.compare_exchange_strong(expected, first + static_cast<std::uint32_t>(sent));
    m_bytesSent.fetch_add(static_cast<std::uint32_t>(sent * size), std::memory_order_relaxed);
    m_bytesSent64.fetch_add(static_cast<std::uint64_t>(sent) * static_cast<std::uint64_t>(size),
                            std::memory_order_relaxed);
    return sent;
}

bool TbNet0::TakeControl() {
    if (m_controlCount.load(std::memory_order_acquire) == 0)
        return false;
    m_controlCount.fetch_sub(1, std::memory_order_acq_rel);
    return true;
}

void TbNet0::DropPending() {
    while (m_sendQueue.Front() != nullptr)
        m_sendQueue.Pop();
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
    constexpr std::int64_t kIdleWaitNs = 1'000'000'000;
    std::int64_t waitNs = kIdleWaitNs;
    if (deadlineNs > 0)
        waitNs = std::clamp<std::int64_t>(deadlineNs - NowNs(), 0, kIdleWaitNs);
    const timespec timeout{static_cast<time_t>(waitNs / 1'000'000'000),
                           static_cast<long>(waitNs % 1'000'000'000)};
    const int ready = ::ppoll(fds, s == INVALID_SOCKET ? 1 : 2, &timeout, nullptr);
    // A read after a wait that saw nothing on the socket would find nothing.
    m_inputKnownEmpty = ready >= 0 && (s == INVALID_SOCKET || (fds[1].revents & POLLIN) == 0);
    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
        std::uint64_t value = 0;
        [[maybe_unused]] const auto n = ::read(m_wakeFd, &value, sizeof value);
    }
}

// The socket this pass works with; ReleaseSocket() waits until the thread
// has let go of a socket before it is closed. (Sequentially consistent on
// both sides: either ReleaseSocket() sees the socket in use, or this pass
// sees it gone.)
void TbNet0::TakeSocket() {
    for (SOCKET s = m_socket.load();; s = m_socket.load()) {
        m_socketInUse.store(s);
        if (m_socket.load() == s)
            break;
    }
}

void TbNet0::ApplyFlushes() {
    for (std::int32_t n = m_flushControl.exchange(0); n > 0 && TakeControl(); --n) {
    }
}

// Control datagrams first; then the front data entry, paced. Answers whether
// something went out; `deadline` is when the next sub-burst is due.
bool TbNet0::SendNext(std::int64_t& deadline) {
    if (TakeControl()) {
        SendControl();
        return true;
    }
    std::int32_t* entry = m_sendQueue.Front();
    if (entry == nullptr)
        return false;
    if (!m_sending.load()) {
        DropPending();
        return false;
    }
    if (m_sendQueue.ReadPosition() != m_pacedEntry) {
        m_pacedEntry = m_sendQueue.ReadPosition();
        Pace(*entry);
    }
    // When the next entry already waits the thread is behind: no pause.
    const bool behind = m_sendQueue.Size() > 1;
    if (m_paceLeft == 0 && !behind) {
        deadline = m_paceStartNs + (m_paceIndex + 1) * m_paceStepNs;
        if (NowNs() < deadline)
            return false;
        ++m_paceIndex;
        m_paceLeft = m_paceBurst;
        deadline = 0;
    }
    const std::int32_t wanted = behind ? *entry : std::min(*entry, m_paceLeft);
    // A failed send still uses up its datagram, as a single send would.
    const std::int32_t used = std::max(SendData(wanted), 1);
    m_paceLeft = std::max(m_paceLeft - used, 0);
    *entry -= used;
    if (*entry <= 0)
        m_sendQueue.Pop();
    return true;
}

// Reads what waits, up to one batch. While sending fast with nothing
// arriving, looking for input after every batch would cost a system call
// each: after an empty look the next few batches go without one.
bool TbNet0::LookForInput(bool sent) {
    if (m_socketInUse.load(std::memory_order_relaxed) == INVALID_SOCKET)
        return false;
    if (m_inputKnownEmpty) {
        m_inputKnownEmpty = false;
        return false;
    }
    if (sent && m_receiveSkip > 0) {
        --m_receiveSkip;
        return false;
    }
    if (m_extEnabled.load(std::memory_order_relaxed) &&
        m_kernelStamps.load(std::memory_order_relaxed)) {
        // Kernel stamps are on the wall clock; the measurements run on the
        // monotonic one.
        timespec real{};
        ::clock_gettime(CLOCK_REALTIME, &real);
        m_realtimeOffsetNs =
            static_cast<std::int64_t>(real.tv_sec) * 1'000'000'000 + real.tv_nsec - NowNs();
    }
    std::int32_t n = 0;
    while (n < kBatch && Receive(m_receiveBuffer.data()))
        ++n;
    m_receiveSkip = n > 0 ? 0 : kReceiveSkip;
    return n > 0;
}

void TbNet0::SendLoop() {
    while (!m_thread.Terminated()) {
        TakeSocket();
        ApplyFlushes();
        if (const std::uint16_t n = m_intervalCount.load(std::memory_order_relaxed);
            n != m_delayIntervalSeen) {
            m_delayIntervalSeen = n;
            if (m_extEnabled.load(std::memory_order_relaxed))
                CloseDelayInterval();
        }
        std::int64_t deadline = 0;
        const bool sent = SendNext(deadline);
        if (sent && m_speedLowered.exchange(false))
            DropPending();
        const bool received = LookForInput(sent);
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
    m_recvBufInForce.store(0);
    m_sendBufInForce.store(0);
}

// ---------------------------------------------------------------- receiving

// This host's addresses, read again from the interfaces.
bool TbNet0::RefreshHostAddresses() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return false;
    m_hostAddressCount = 0;
    for (const ifaddrs* i = list; i != nullptr && m_hostAddressCount < kHostAddressMax;
         i = i->ifa_next)
        if (i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET)
            m_hostAddresses[m_hostAddressCount++] =
                reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
    ::freeifaddrs(list);
    return true;
}

// True when the address is one of this host's own: from the cached list,
// read again only when an address not in it shows up (once per new address).
bool TbNet0::IsHostAddress(std::uint32_t address) {
    if (IsLoopback(address))
        return true;
    const auto known = [&] {
        return std::find(m_hostAddresses.begin(), m_hostAddresses.begin() + m_hostAddressCount,
                         address) != m_hostAddresses.begin() + m_hostAddressCount;
    };
    if (known())
        return true;
    if (address == m_lastRefreshSource)
        return false;
    m_lastRefreshSource = address;
    return RefreshHostAddresses() && known();
}

// The instance tag is only 16 bits of a clock, so two copies may share it: a
// datagram is the own only when it also comes from the own port and from an
// address of this host.
bool TbNet0::IsOwn(const std::uint8_t* d, std::uint32_t source) {
    return GetU16(d + hdr::Instance) == m_instance && m_lastSourcePort == m_port.load() &&
           IsHostAddress(source);
}

// Reads and handles one datagram when one waits; false when none did.
bool TbNet0::Receive(std::uint8_t* buffer) {
    const SOCKET s = m_socketInUse.load(std::memory_order_relaxed);
    std::memset(buffer, 0, 4);
    sockaddr_in from{};
    iovec part{buffer, kBufferSize};
    // The kernel's drop count comes with the datagram: no extra system call.
    alignas(cmsghdr)
        std::array<char, CMSG_SPACE(sizeof(std::uint32_t)) + CMSG_SPACE(sizeof(timespec))>
            control{};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    const auto received = ::recvmsg(s, &message, MSG_DONTWAIT);
    if (received < 0)
        return false;
    std::int64_t kernelNs = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SO_RXQ_OVFL) {
            std::uint32_t drops = 0;
            std::memcpy(&drops, CMSG_DATA(c), sizeof drops);
            // The kernel's count is 32 bits: carried on in 64.
            m_rcvbufDropsTotal.fetch_add(drops - m_rcvbufDropsSeen.load(std::memory_order_relaxed),
                                         std::memory_order_relaxed);
            m_rcvbufDropsSeen.store(drops, std::memory_order_relaxed);
        } else if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            kernelNs = static_cast<std::int64_t>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
        }
    }
    if (m_extEnabled.load(std::memory_order_relaxed))
        m_arrivalNs = kernelNs != 0 ? kernelNs - m_realtimeOffsetNs : NowNs();
    m_lastReceiveLength.store(static_cast<std::int32_t>(received));
    m_lastSource.store(from.sin_addr.s_addr, std::memory_order_relaxed);
    m_lastSourcePort = ntohs(from.sin_port);
    if (received == 0)
        return true; // an empty datagram: read, nothing else to do
    ReceiveOne();
    return true;
}

// Discovery: the first own discovery datagram heard tells the own address.
// Every discovery datagram ends here.
bool TbNet0::LearnOwnAddress(const TbNDatagramClass& c, bool own, std::uint32_t source) {
    if (!c.Valid || (c.Flags & nfDiscover) == 0)
        return false;
    if (own && !m_ownAddressKnown.load()) {
        m_localAddress.store(source);
        m_ownAddressKnown.store(true, std::memory_order_release);
        m_flags.fetch_and(static_cast<std::uint16_t>(~nfDiscover));
        m_sequence.store(0);
    }
    return true;
}

// The sender filter; false when the datagram ends here.
bool TbNet0::FilterSource(const TbNDatagramClass& c, std::uint32_t source, std::uint32_t length) {
    const std::uint32_t accept = m_acceptAddress.load();
    bool accepted = true;
    if (accept != source) {
        AddSeen(source, 1);
        if (accept != 0) {
            m_bytesFromOthers.fetch_add(length, std::memory_order_relaxed);
            if (!(c.Complete && c.Kind == nkControl))
                return false;
            accepted = false;
        }
    }
    if (accepted) {
        m_lastAcceptedSource.store(source);
        m_lastAcceptedPort.store(m_lastSourcePort);
    }
    return true;
}

// Counts one datagram that passed the filter and obeys its commands.
void TbNet0::Count(const TbNDatagramClass& c, std::uint32_t length) {
    const std::uint8_t* d = m_receiveBuffer.data();
    if (c.IsData) {
        m_bytesReceived.fetch_add(length, std::memory_order_relaxed);
        m_bytesReceived64.fetch_add(length, std::memory_order_relaxed);
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
    if (!c.Valid)
        return;
    if (d[hdr::Version] != kProtocolVersion && !m_versionMessageShown.exchange(true))
        ShowText("Incompatibile version of remote application", "Receive", true);
    m_lost.fetch_add(LostDelta(c.Sequence, m_expectedSequence), std::memory_order_relaxed);
    m_expectedSequence = c.Sequence + 1;

    TbNLastRead last;
    last.Flags = c.Flags;
    last.Kind = c.Kind;
    last.Interval = GetU16(d + hdr::Interval);
    last.Report = DecodeReport(d + hdr::Report);
    last.Drops.Known = (last.Report.Reserved & kMarkRcvbufDrops) != 0;
    last.Drops.Count = last.Drops.Known ? GetU16(d + hdr::RcvbufDrops) : 0;
    if (m_extEnabled.load(std::memory_order_relaxed))
        Measure(c, m_lastSource.load(std::memory_order_relaxed), last);
    m_lastRead.Store(last);
    m_peerRcvbufDrops.store((last.Drops.Known ? 0x10000u : 0u) | last.Drops.Count,
                            std::memory_order_relaxed);

    if ((c.Flags & kCommandMask) != 0)
        ApplyCommands(d);
}

bool TbNet0::AllowedSource(std::uint32_t source) {
    return !m_allowActive.load(std::memory_order_relaxed) || m_allow.Load().Contains(source);
}

// A valid datagram that passed the filter: the destination and the peer
// that commanded the sending are alive.
void TbNet0::NoteHeard(std::uint32_t source) {
    const std::uint32_t now = timeGetTime();
    if (source == m_commander.load())
        m_commanderHeardMs.store(now);
    if (source == m_destinationAddress.load()) {
        m_peerHeardMs.store(now);
        m_peerHeard.store(true, std::memory_order_release);
    }
}

void TbNet0::ReceiveDatagram(const std::uint8_t* data, std::size_t length, std::uint32_t source,
                             std::uint16_t port) {
    const std::size_t n = std::min<std::size_t>(length, kBufferSize);
    std::memset(m_receiveBuffer.data(), 0, 4);
    if (n > 0)
        std::memcpy(m_receiveBuffer.data(), data, n);
    m_lastReceiveLength.store(static_cast<std::int32_t>(n));
    m_lastSource.store(source, std::memory_order_relaxed);
    m_lastSourcePort = port;
    if (n > 0)
        ReceiveOne();
}

void TbNet0::ReceiveOne() {
    const std::uint8_t* d = m_receiveBuffer.data();
    const auto length = static_cast<std::uint32_t>(m_lastReceiveLength.load());
    const TbNDatagramClass c = ClassifyDatagram(d, kBufferSize, length);
    const std::uint32_t source = m_lastSource.load(std::memory_order_relaxed);
    const bool own = c.Valid && IsOwn(d, source);

    if (LearnOwnAddress(c, own, source))
        return;
    // The own broadcast heard back ends here. The own datagrams sent to one
    // of this host's addresses are a copy measuring its own loop: they count
    // as the peer's. (Where an own datagram went is where this copy sends.)
    if (own) {
        const std::uint32_t destination = m_destinationAddress.load();
        if ((c.Flags & nfBroadcast) != 0 || destination == INADDR_BROADCAST ||
            !IsHostAddress(destination))
            return;
    }

    // A source outside the allow list is counted and otherwise ignored:
    // never obeyed, answered or adopted.
    if (!own && !AllowedSource(source)) {
        m_bytesFromOthers.fetch_add(length, std::memory_order_relaxed);
        return;
    }
    NoteCapability(c, source);

    if (c.Valid && (c.Flags & nfAcceptCmd) != 0) {
        std::uint32_t accept = 0;
        std::memcpy(&accept, d + hdr::AcceptAddress, 4);
        m_acceptAddress.store(accept);
        m_commandSeen.store(true);
    }

    // An idle copy answers whoever last sent to it.
    if (!m_sending.load() && m_acceptAddress.load() == 0 && c.Valid && !own &&
        m_destinationAddress.load() != source) {
        m_destinationAddress.store(source);
        SettingsChanged.store(true);
    }

    if (!FilterSource(c, source, length))
        return;
    if (c.Valid)
        NoteHeard(source);
    Count(c, length);
    AfterReceive();
}

// ---------------------------------------------------------------- the extension

// Which peers speak the extension: a valid datagram with the mark adds its
// sender, one without it takes the sender off at once.
void TbNet0::NoteCapability(const TbNDatagramClass& c, std::uint32_t source) {
    if (!c.Valid || !m_extEnabled.load(std::memory_order_relaxed))
        return;
    const bool marked = (m_receiveBuffer[hdr::Report + rpt::Reserved] & kMarkExtension) != 0;
    const auto end = m_extPeers.begin() + static_cast<std::ptrdiff_t>(m_extPeerCount);
    const auto found = std::find(m_extPeers.begin(), end, source);
    if (marked && found == end) {
        if (m_extPeerCount == kExtPeersMax) {
            // Full: the oldest entry goes.
            std::move(m_extPeers.begin() + 1, end, m_extPeers.begin());
            --m_extPeerCount;
        }
        m_extPeers[m_extPeerCount++] = source;
    } else if (!marked && found != end) {
        std::move(found + 1, end, found);
        --m_extPeerCount;
    }
}

bool TbNet0::BlockWanted() {
    bool wanted = false;
    const std::uint32_t destination = m_destinationAddress.load(std::memory_order_relaxed);
    if (m_extEnabled.load(std::memory_order_relaxed) && destination != INADDR_BROADCAST &&
        (m_flags.load(std::memory_order_relaxed) & nfDiscover) == 0) {
        const auto end = m_extPeers.begin() + static_cast<std::ptrdiff_t>(m_extPeerCount);
        wanted = std::find(m_extPeers.begin(), end, destination) != end;
    }
    m_peerHasExtension.store(wanted, std::memory_order_relaxed);
    return wanted;
}

void TbNet0::WriteBlock(std::uint8_t* d, std::uint64_t bytesSentBefore) {
    TbNExtBlock b;
    // As late as possible before the send call.
    const std::int64_t now = NowNs();
    b.SendTimeNs = static_cast<std::uint64_t>(now);
    if (m_echoKnown && m_echoSource == m_destinationAddress.load(std::memory_order_relaxed)) {
        b.Flags |= efEcho;
        b.EchoTimeNs = m_echoSendNs;
        b.HoldNs = static_cast<std::uint64_t>(std::max<std::int64_t>(now - m_echoArrivalNs, 0));
    }
    if (m_lastClosed.Number > 0) {
        b.Flags |= efFigures;
        if (m_lastClosed.DelayKnown)
            b.Flags |= efDelayKnown;
        b.FiguresInterval = m_lastClosed.Number;
        b.Figures = m_lastClosed.Figures;
    }
    if (m_kernelStamps.load(std::memory_order_relaxed))
        b.Flags |= efKernelStamps;
    b.BytesSent = bytesSentBefore;
    b.BytesReceived = m_bytesReceived64.load(std::memory_order_relaxed);
    EncodeExtBlock(b, d + kHeaderSize);
}

// What this side measures of one valid datagram: its block (for the tick's
// records) and, when it comes from the destination, its place in the
// sequence, its delay and the round trip its echo closes.
void TbNet0::Measure(const TbNDatagramClass& c, std::uint32_t source, TbNLastRead& last) {
    const auto length = static_cast<std::size_t>(GetU16(m_receiveBuffer.data() + hdr::Length));
    last.HasBlock = DecodeExtBlock(m_receiveBuffer.data(), length, last.Block);
    if (m_extResetAsked.load(std::memory_order_relaxed) && m_extResetAsked.exchange(false))
        m_meter.Reset();
    // A third copy's lookups and answers are not the peer's traffic.
    if (source != m_destinationAddress.load(std::memory_order_relaxed))
        return;
    if (source != m_meterSource) {
        m_meterSource = source;
        m_meter.RestartDelayBase();
        m_echoKnown = false;
    }
    m_meter.AddDatagram(c.Sequence);
    m_extBusy.store(true, std::memory_order_relaxed);
    if (!last.HasBlock)
        return;
    const TbNExtBlock& b = last.Block;
    m_meter.AddDelay(b.SendTimeNs, m_arrivalNs);
    // One round trip per echoed send time: a peer that sends faster than
    // this side echoes the same time several times.
    if ((b.Flags & efEcho) != 0 && b.EchoTimeNs != m_lastEchoTaken) {
        m_lastEchoTaken = b.EchoTimeNs;
        // Modulo 2^64: the echo and hold fields are whatever the peer sent.
        const auto rtt = static_cast<std::int64_t>(static_cast<std::uint64_t>(m_arrivalNs) -
                                                   b.EchoTimeNs - b.HoldNs);
        constexpr std::int64_t kRttMaxNs = 60'000'000'000;
        if (rtt > 0 && rtt < kRttMaxNs)
            m_meter.AddRtt(rtt);
    }
    m_echoKnown = true;
    m_echoSource = source;
    m_echoSendNs = b.SendTimeNs;
    m_echoArrivalNs = m_arrivalNs;
}

void TbNet0::CloseDelayInterval() {
    if (m_extResetAsked.exchange(false))
        m_meter.Reset();
    const std::uint64_t drops = m_rcvbufDropsTotal.load() - m_rcvbufDropsTotalBase.load();
    m_lastClosed = m_meter.Close(m_bytesReceived64.load(std::memory_order_relaxed), drops);
    m_closedDelay.Store(m_lastClosed);
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
