// SPDX-License-Identifier: GPL-3.0-or-later
// The test engine: one UDP socket, a periodic tick that turns the speed into
// datagram credit and closes information intervals, and one send thread that
// both sends and receives. Three threads use it (user interface, tick, send
// thread) without locks: every value more than one of them touches is atomic,
// and the queues and report rings have one producer and one consumer each.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "cDelay.h"
#include "cNetLimits.h"
#include "cNetWire.h"
#include "cSpsc.h"
#include "xSocket.h"

// The engine's two outward operations. The program sets them before it
// creates the engine; both may be called from the user-interface thread or the
// send thread.
struct TNetOutward {
    // Shows a text with a caption (the main window's error box).
    std::function<void(const std::string& text, const std::string& caption)> ShowText;
    // When false, a box raised on the send thread is not shown there: it waits
    // in the engine until the user-interface thread calls ShowPendingBox(),
    // and the send thread waits with it (but never past a stop request).
    bool ShowTextOnAnyThread = true;
    // Looks up a message text by section and key, with a default.
    std::function<std::string(const std::string& section, const std::string& key,
                              const std::string& def)>
        LookupText;
};
extern TNetOutward NetOutward;

class TbNet0;
class TbNClient;

// Seams for the tests of the send thread's races: each is called, when set,
// on the send thread at the point where another thread's action would do the
// most harm, so that a test can act exactly there. The programs never set
// them; unset, each costs one relaxed load per send batch or found server.
struct TNetSeams {
    // A data batch has taken its first sequence number; nothing is built yet.
    std::atomic<void (*)(TbNet0& engine, std::uint32_t first)> SequenceTaken{nullptr};
    // Stands in for the sendmmsg of a data batch (same arguments and answer),
    // so that a test can see every batch and cut one short.
    std::atomic<int (*)(int fd, mmsghdr* messages, unsigned count)> SendBatch{nullptr};
    // A found server's entry is written; the count is not raised yet.
    std::atomic<void (*)(TbNClient& engine)> FoundEntryWritten{nullptr};
};
extern TNetSeams NetSeams;

extern const char* const kBroadcastHost; // "Broadcast"
extern const char* const kAnyHost;       // "Any"

inline constexpr std::int32_t kCommandTime = 300; // ms a command stays in the flags
inline constexpr std::int32_t kPacketOffset = 54; // packet size on screen = length + 54
inline constexpr std::int32_t kSeenMax = 20;
inline constexpr std::int32_t kFoundMax = 20;
inline constexpr std::int32_t kRingSize = 100;
inline constexpr std::int32_t kSendSlots = 100;
inline constexpr std::int32_t kControlSlots = 10;
// Speeds a peer may ask for, kbit/s: 1 kbit/s to 10 Gbit/s.
inline constexpr std::int32_t kMinPeerSpeed = 1;
inline constexpr std::int32_t kMaxPeerSpeed = 10'000'000;

// Datagrams a receiving socket dropped because its buffer was full (not the
// channel's loss), cumulative since that side last reset its statistics,
// modulo 65536 as the lost counter. Unknown for a peer whose datagrams do not
// carry the count: show that as unknown, never as zero.
struct TbNRcvbufDrops {
    bool Known = false;
    std::uint16_t Count = 0;
    friend bool operator==(const TbNRcvbufDrops&, const TbNRcvbufDrops&) = default;
};

// One side's figures of the extension as a report ring holds them: for the
// Local ring this side's measurements of the peer's traffic (as of its last
// closed interval), for the Remote ring the figures the peer's last block
// carried about this side's traffic. Unknown (Known false) when that side
// does not measure them: a peer without the extension, or the extension
// switched off; show that as unknown, never as zero.
struct TbNDelayRecord {
    bool Known = false;      // the figures are measured
    bool DelayKnown = false; // delay and jitter are measured (send times came with the datagrams)
    bool RttKnown = false;   // round-trip times are measured (this side only)
    std::uint32_t Interval = 0; // number of the measuring side's closed interval
    TbNExtFigures Figures{};
    std::uint32_t RttP50Ns = 0;
    std::uint32_t RttP99Ns = 0;
    std::uint32_t RttMaxNs = 0;
    std::uint32_t RttSamples = 0;
};

// One record of a report ring: the report and, beside it, the drops and the
// extension's figures of the same side at the same moment.
struct TbNReportRecord {
    TbNReport Report{};
    TbNRcvbufDrops Drops{};
    TbNDelayRecord Delay{};
};

// A ring of report records: the tick appends, one reader takes. A reset is
// a request (any thread): the reader then gets no record from before it, and
// its next take starts with a baseline again.
class TbNReportRing final {
public:
    // Tick: the generation to tag a record with, taken before its values.
    std::uint32_t Generation() const { return m_ring.Generation(); }
    // Tick: false when the ring is full.
    bool Append(const TbNReportRecord& record, std::uint32_t generation) {
        return m_ring.Push(record, generation);
    }
    void RequestReset() { m_ring.RequestReset(); }
    // Records waiting (a figure for display; may include records that a
    // reset made stale and that the reader will skip).
    std::int32_t Count() const { return static_cast<std::int32_t>(m_ring.Size()); }
    // The reader: see TbNet0::GetReports.
    bool Take(TbNReport* out, TbNRcvbufDrops* drops, std::int32_t& count);
    bool Take(TbNReportRecord* out, std::int32_t& count);

private:
    // Hands up to `count` records to `put(record, index)`; answers whether
    // this was the first take since a reset.
    template <class TPut> bool TakeEach(std::int32_t& count, TPut put) {
        const std::int32_t max = count;
        count = 0;
        bool first = false;
        const std::uint32_t generation = m_ring.Generation();
        if (generation != m_readerGeneration) {
            // The first take after a reset waits for two records: the first
            // is the baseline of the differences.
            if (max <= 0 || m_ring.Ready(generation) < 2)
                return false;
            m_readerGeneration = generation;
            first = true;
        }
        while (count < max) {
            const TbNReportRecord* record = m_ring.Front(generation);
            if (record == nullptr)
                break;
            put(*record, count++);
            m_ring.Pop();
        }
        return first;
    }

    TSpscRing<TbNReportRecord, kRingSize> m_ring;
    std::uint32_t m_readerGeneration = ~0u; // reader: the generation of its first take
};

class TbNet0;

// The send thread: sends what the tick queued and reads what arrives.
class TSendThread final {
public:
    explicit TSendThread(TbNet0& net) : m_net(net) {}
    ~TSendThread();
    TSendThread(const TSendThread&) = delete;
    TSendThread& operator=(const TSendThread&) = delete;

    void Resume();
    void Terminate();     // asks the loop to end
    bool WaitFor(int ms); // true when the loop has ended within ms
    bool Running() const { return m_running.load(std::memory_order_acquire); }
    bool Terminated() const { return m_terminated.load(std::memory_order_acquire); }

private:
    TbNet0& m_net;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_terminated{false};
};

// What the tick needs of the last valid datagram read.
struct TbNLastRead {
    std::uint16_t Flags = 0;
    std::uint8_t Kind = nkControl;
    std::uint16_t Interval = 0;
    TbNReport Report{};
    TbNRcvbufDrops Drops{};
    bool HasBlock = false; // the datagram carried the extension block
    TbNExtBlock Block{};
};

// The figures of the socket in force, read back from the kernel after they
// were set (Linux doubles what is asked and caps it); 0 while no socket.
struct TbNSocketBuffers {
    std::int32_t RecvBuf = 0; // bytes
    std::int32_t SendBuf = 0; // bytes
};

class TbNet0 {
public:
    TbNet0();
    TbNet0(const TbNet0&) = delete;
    TbNet0& operator=(const TbNet0&) = delete;

    // Virtual operations, in their slot order.
    virtual bool Send(std::uint8_t* datagram);
    virtual bool Receive(std::uint8_t* buffer);
    virtual void AfterReceive() = 0;
    virtual ~TbNet0();
    virtual void ResetStatistics();
    virtual void Open(bool on);
    virtual bool IsOpen() const = 0;
    virtual void Reset() = 0;
    virtual void SetRemoteHost(const std::string& host) = 0;
    virtual std::string GetRemoteHost() const = 0;

    void Start();
    void SetTimerPeriod(std::int32_t period);
    void SetInfoTime(std::int32_t ms);
    std::int32_t TimerPeriod() const { return m_timerPeriod.load(); }
    std::int32_t InfoTime() const { return m_infoTime.load(); }

    // Peer control; remote = false for this copy, true for the peer.
    bool IsSending(bool remote) const;
    void SetSending(bool on, bool remote);
    std::int32_t GetSpeed(bool remote) const;
    void SetSpeed(std::int32_t kbps, bool remote);
    std::int32_t GetPacketSize(bool remote) const; // datagram length + 54
    void SetPacketSize(std::int32_t size, bool remote);
    void SetPeerAddress(std::uint32_t address, bool remote); // network byte order
    void AcceptPeerPacketSize();
    void AcceptPeerSpeed();
    std::uint32_t AcceptAddress() const { return m_acceptAddress.load(); }
    std::uint32_t PeerAcceptAddress() const { return m_peerAcceptAddress.load(); }
    std::uint16_t OutgoingFlags() const { return m_flags.load(); }
    std::uint32_t Destination() const { return m_destinationAddress.load(); }
    // Sends one more control datagram while the own address is unknown: the
    // broadcast that tells it, again (an echo may be lost).
    void RepeatDiscovery();

    // What a peer may command (taken from CfgOpt at construction). The allow
    // list is read by the send thread per datagram; set it from one thread.
    void SetLimits(const TbNLimits& limits);
    TbNLimits Limits() const;
    // The silence in ms that ends a commanded sending now (0: never).
    std::int32_t PeerSilenceInForce() const;
    // True while the own sending is one that a peer commanded (and so ends
    // when that peer falls silent or its time is up).
    bool SendingCommanded() const { return m_commanded.load(); }
    // Ms since a valid datagram came from the destination, or from the peer
    // that commanded the sending; ~0u before the first. For "peer is silent".
    std::uint32_t PeerSilentMs() const;
    // Why the engine last ended a commanded sending itself; see
    // SendingStoppedChanged.
    tNetStopCause StopCause() const { return m_stopCause.load(); }

    // Test seam: handles one datagram as if the socket had just delivered it
    // from source:port (network byte order address, host byte order port).
    // Only for an engine whose send thread is not running (the caller acts
    // as that thread); longer datagrams are cut to the buffer.
    void ReceiveDatagram(const std::uint8_t* data, std::size_t length, std::uint32_t source,
                         std::uint16_t port);

    // Reports. Reader 0 takes LocalReports, reader 1 RemoteReports; each
    // ring has exactly one reader. `drops`, when given, receives beside each
    // record the receive-buffer drops of the same side (count entries).
    TbNReportRing& LocalReports() { return m_localReports; }
    bool GetReports(TbNReportRing& ring, TbNReport* out, std::int32_t& count, int reader,
                    TbNRcvbufDrops* drops = nullptr);
    // The same with whole records (drops and the extension's figures).
    bool GetRecords(TbNReportRing& ring, TbNReportRecord* out, std::int32_t& count);
    TbNReport CurrentReport() const;

    // Receive-buffer drops now: this side's own socket, and the count the
    // peer carried in its last datagram read (unknown when it carried none).
    TbNRcvbufDrops LocalRcvbufDrops() const;
    TbNRcvbufDrops RemoteRcvbufDrops() const;
    // The extension block: on by default (the setting Extension); off, this
    // copy speaks exactly the described format and measures nothing beyond it.
    void SetExtension(bool on) { m_extEnabled.store(on); }
    bool ExtensionEnabled() const { return m_extEnabled.load(); }
    // True while the destination has advertised the extension (its datagrams
    // carry the mark): datagrams to it carry the block.
    bool PeerHasExtension() const { return m_peerHasExtension.load(std::memory_order_relaxed); }
    // Receive times from the kernel (false: taken when the datagram is read).
    bool KernelStamps() const { return m_kernelStamps.load(std::memory_order_relaxed); }

    // Socket buffer sizes in force (read back after they were set).
    TbNSocketBuffers SocketBuffers() const;
    // Sets the open socket's buffers (the Network settings, at once) and
    // reads back what the kernel made of them; false without a socket.
    bool ApplySocketBuffers(std::int32_t recvBuf, std::int32_t sendBuf);

    // The own address, dotted, once the echo of the own broadcast was heard;
    // empty before.
    std::string LocalAddress() const;
    std::uint16_t Instance() const { return m_instance; }

    // Seen senders: entry 0 stands for anybody.
    std::int32_t SeenCount() const { return m_seenCount.load(std::memory_order_acquire); }
    std::uint32_t SeenAddress(std::int32_t i) const;

    // Queue state, for the debug view.
    std::int32_t SendQueue() const { return static_cast<std::int32_t>(m_sendQueue.Size()); }
    std::int32_t SendQueueMax() const { return m_sendQueueMax.load(); }

    SOCKET Socket() const { return m_socket.load(); }

    // User-interface thread: shows a box that the send thread raised, if one
    // waits, and lets the send thread go on. True when one was shown.
    bool ShowPendingBox();

    // Change flags that the user interface polls and clears.
    std::atomic<bool> SettingsChanged{false};
    std::atomic<bool> RemoteSendingChanged{false};
    std::atomic<std::uint16_t> PeerPacketSize{0};
    std::atomic<bool> PeerPacketSizeChanged{false};
    std::atomic<std::uint32_t> PeerSpeed{0};
    std::atomic<bool> PeerSpeedChanged{false};
    // The engine ended a sending the peer had commanded (StopCause() says why).
    std::atomic<bool> SendingStoppedChanged{false};

protected:
    friend class TSendThread;
    static void TimerCallback(unsigned id, unsigned msg, std::uintptr_t user, std::uintptr_t tick,
                              std::uintptr_t);

    // ---- The tick (timer thread).
    void Tick(std::uint32_t tickIndex);
    void TickAddCredit(bool& queued);
    void TickCloseInterval(const TbNLastRead& last);
    void TickMaySleep();
    void TickEndCommanded();

    // ---- The send thread.
    void SendLoop();
    void TakeSocket();
    void ApplyFlushes();
    bool SendNext(std::int64_t& deadline);
    bool LookForInput(bool sent);
    void ReceiveOne();
    bool LearnOwnAddress(const TbNDatagramClass& c, bool own, std::uint32_t source);
    bool FilterSource(const TbNDatagramClass& c, std::uint32_t source, std::uint32_t length);
    void Count(const TbNDatagramClass& c, std::uint32_t length);
    void ApplyCommands(const std::uint8_t* datagram);
    bool AllowedSource(std::uint32_t source);
    void NoteHeard(std::uint32_t source);
    bool IsOwn(const std::uint8_t* datagram, std::uint32_t source);
    void NoteCapability(const TbNDatagramClass& c, std::uint32_t source);
    void Measure(const TbNDatagramClass& c, std::uint32_t source, TbNLastRead& last);
    void CloseDelayInterval();
    bool BlockWanted();
    void WriteBlock(std::uint8_t* datagram, std::uint64_t bytesSentBefore);
    bool IsHostAddress(std::uint32_t address);
    bool TakeControl();
    void DropPending();
    // `sentAhead`: data bytes of the datagrams before this one in its batch,
    // which the report counts as sent, as single sends would have.
    void AssembleHeader(std::uint8_t* datagram, std::uint8_t kind, std::int32_t size,
                        std::uint32_t sequence, std::uint8_t patternOffset = kHeaderSize,
                        std::uint32_t sentAhead = 0);
    void SendControl();
    std::int32_t SendData(std::int32_t count);
    void SendFailed(int error);
    void Pace(std::int32_t entry);
    void WaitForWork(std::int64_t deadlineNs);

    // ---- Any thread.
    void RebuildHeader();
    void RaiseCommand(std::uint16_t bits);
    void RequestControl();
    void WakeTimer();
    void ReportSocketError(const char* step);
    void ShowText(const std::string& text, const std::string& caption, bool onSendThread);
    void AddSeen(std::uint32_t address, std::int32_t first);
    void Wake();
    void StopThreads();
    void ReleaseSocket();
    void SetLocalLength(std::int32_t length);
    void ClearCurrentReport();
    void ReadBackBuffers(SOCKET s);

    // ==== Shared by all three threads: atomics only. ====
    // Settings and peer control (written by the user interface, and by the
    // send thread when the peer commands).
    std::atomic<std::int32_t> m_commandTime{0};
    std::atomic<bool> m_commandSeen{false};
    std::atomic<bool> m_ownAddressKnown{false};
    std::uint16_t m_instance = 0; // set at construction, read-only after
    std::atomic<SOCKET> m_socket{INVALID_SOCKET};
    std::atomic<std::int32_t> m_localSpeed{0};
    std::atomic<std::int32_t> m_remoteSpeed{0};
    std::atomic<std::int32_t> m_localLength{256};
    std::atomic<std::int32_t> m_remoteLength{0};
    std::atomic<bool> m_sending{false};
    std::atomic<bool> m_remoteSending{false};
    std::atomic<std::int32_t> m_seenCount{0};
    std::atomic<std::uint32_t> m_acceptAddress{0};
    std::atomic<std::uint32_t> m_peerAcceptAddress{0};
    std::atomic<bool> m_sendErrorShown{false};
    std::atomic<bool> m_versionMessageShown{false};
    std::atomic<bool> m_speedLowered{false};
    std::atomic<std::uint8_t> m_controlRequest{0};
    std::atomic<std::int32_t> m_lastReceiveLength{0};
    std::atomic<std::int32_t> m_lastSendResult{0};

    // Limits of what a peer commands (user interface writes, send thread and
    // tick read), and the commanded sending they watch: the send thread
    // notes the command and who gave it, the tick ends it.
    std::atomic<std::int32_t> m_peerSilence{0};  // s
    std::atomic<std::int32_t> m_maxPeerSpeed{0}; // kbit/s
    std::atomic<std::int32_t> m_maxSendTime{0};  // s
    std::atomic<bool> m_allowActive{false};
    TSeqSnapshot<TbNAllowList> m_allow; // reader: the send thread
    TbNAllowList m_allowSet;            // writer's copy, for Limits()
    std::atomic<bool> m_commanded{false};
    std::atomic<std::uint32_t> m_commander{0};        // network byte order
    std::atomic<std::uint32_t> m_commanderHeardMs{0}; // timeGetTime
    std::atomic<std::uint32_t> m_commandedAtMs{0};
    std::atomic<std::uint32_t> m_peerHeardMs{0};
    std::atomic<bool> m_peerHeard{false};
    std::atomic<tNetStopCause> m_stopCause{nsNone};

    // The outgoing header's values: the send thread assembles the header from
    // them immediately before each send, so only it writes the send buffers.
    std::atomic<std::uint16_t> m_flags{0};
    std::atomic<std::uint32_t> m_sequence{0};
    std::atomic<std::uint32_t> m_headerRequestedSpeed{0};
    std::atomic<std::uint32_t> m_headerOwnSpeed{0};
    std::atomic<std::uint32_t> m_headerAccept{0};
    std::atomic<std::uint16_t> m_headerTimerPeriod{0};
    std::atomic<std::uint16_t> m_intervalCount{0};

    // Current report: the send thread counts, the tick stamps and records,
    // a reset (any thread) clears.
    std::atomic<std::uint32_t> m_bytesSent{0};
    std::atomic<std::uint32_t> m_bytesReceived{0};
    std::atomic<std::uint32_t> m_bytesFromOthers{0};
    std::atomic<std::uint16_t> m_lost{0};
    std::atomic<std::uint16_t> m_bad{0};
    std::atomic<std::uint8_t> m_status{0};
    std::atomic<std::uint16_t> m_stamp{0};
    // Receive-buffer drops: the kernel's count for the socket as last seen
    // (send thread), and its value at the last reset (any thread).
    std::atomic<bool> m_rcvbufDropsKnown{false};
    std::atomic<std::uint32_t> m_rcvbufDropsSeen{0};
    std::atomic<std::uint32_t> m_rcvbufDropsBase{0};
    std::atomic<std::uint32_t> m_peerRcvbufDrops{0};  // bit 16: known; low 16 bits: count
    std::atomic<std::uint64_t> m_rcvbufDropsTotal{0}; // 64-bit count as last seen (send thread)
    std::atomic<std::uint64_t> m_rcvbufDropsTotalBase{0};
    std::atomic<std::int32_t> m_recvBufInForce{0};
    // 64-bit byte counters beside the report's 32-bit ones, reset with them.
    std::atomic<std::uint64_t> m_bytesSent64{0};
    std::atomic<std::uint64_t> m_bytesReceived64{0};

    // The extension: switched by the setting (any thread); the measurements'
    // restart is asked by a statistics reset and done by the send thread; the
    // figures of the send thread's last closed interval for the tick's
    // records; whether the destination speaks it (for display).
    std::atomic<bool> m_extEnabled{true};
    std::atomic<bool> m_extResetAsked{false};
    std::atomic<bool> m_extBusy{false}; // the send thread measured since its last close
    std::atomic<bool> m_peerHasExtension{false};
    std::atomic<bool> m_kernelStamps{false};
    TSeqSnapshot<TbNDelayInterval> m_closedDelay;
    std::atomic<std::int32_t> m_sendBufInForce{0};

    std::atomic<std::int32_t> m_timerPeriod{0};
    std::atomic<std::int32_t> m_infoTime{0};
    std::atomic<std::int32_t> m_ticksPerInterval{0};

    std::atomic<std::uint32_t> m_destinationAddress{0}; // network byte order
    std::atomic<bool> m_destinationUsable{false};
    std::atomic<std::uint16_t> m_port{0}; // host byte order
    std::atomic<std::uint32_t> m_lastSource{0};
    std::atomic<std::uint32_t> m_lastAcceptedSource{0};
    std::atomic<std::uint16_t> m_lastAcceptedPort{0};
    std::array<std::atomic<std::uint32_t>, kSeenMax> m_seenAddresses{};
    std::mutex m_seenMutex; // user interface and send thread add entries; never the tick
    std::atomic<std::uint32_t> m_localAddress{0};

    // Queues and rings: one producer, one consumer each.
    // Send queue: the tick pushes entries (datagrams to send), the send
    // thread counts the front entry down; a rebuild asks for a reset.
    TSpscRing<std::int32_t, kSendSlots> m_sendQueue;
    std::atomic<std::int32_t> m_sendQueueMax{4};
    // Control queue: the only request ever queued is a 64-byte control
    // datagram, so the queue is its count (tick adds, send thread takes).
    std::atomic<std::int32_t> m_controlCount{0};
    std::atomic<std::int32_t> m_flushControl{0}; // entries a rebuild asked the send thread to drop
    TbNReportRing m_localReports;
    TbNReportRing m_remoteReports;
    // What the tick needs of the last valid datagram read (send thread
    // writes, tick reads).
    TSeqSnapshot<TbNLastRead> m_lastRead;

    // The timer: asleep to the next interval end while there is nothing to
    // pace; whoever gives it work wakes it.
    std::atomic<bool> m_timerAsleep{false};
    std::atomic<unsigned> m_timerId{0};

    // Wakes the send thread from its wait: the tick queued work, or stop.
    int m_wakeFd = -1;
    std::atomic<bool> m_stopping{false};

    // A box raised on the send thread while ShowTextOnAnyThread is false.
    std::mutex m_boxMutex;
    std::condition_variable m_boxDone;
    bool m_boxPending = false;
    std::string m_boxText;
    std::string m_boxCaption;

    // ==== User-interface thread only. ====
    bool m_started = false;
    bool m_socketsReady = false;

    // ==== The tick only. ====
    std::int64_t m_credit = 0;            // bytes
    std::uint32_t m_creditGeneration = 0; // send-queue generation the credit belongs to
    std::uint32_t m_tickCounter = 0;
    std::uint32_t m_lastTickIndex = 0;
    std::uint16_t m_lastPeerInterval = 0;

    // ==== The send thread only. ====
    std::atomic<SOCKET> m_socketInUse{INVALID_SOCKET}; // read by ReleaseSocket()
    std::uint32_t m_expectedSequence = 0;
    std::uint16_t m_lastSourcePort = 0;
    // Send buffers for one sendmmsg batch: the even half for even sequence
    // numbers, the odd half for odd ones, so that each buffer's check
    // pattern is written again only when the datagram length changes.
    static constexpr std::int32_t kBatch = 32;
    alignas(64) std::array<std::array<std::uint8_t, kBufferSize>, 2 * kBatch> m_sendBuffers{};
    // Length and pattern offset each buffer's pattern was written for.
    std::array<std::int32_t, 2 * kBatch> m_patternLength{};
    alignas(64) std::array<std::uint8_t, kBufferSize> m_receiveBuffer{};
    // Pacing of data inside one tick.
    std::uint32_t m_pacedEntry = ~0u; // queue position the pacing plan belongs to
    bool m_inputKnownEmpty = false;   // the last wait saw nothing on the socket
    std::int32_t m_paceBurst = 0;     // datagrams per sub-burst
    std::int32_t m_paceLeft = 0;      // datagrams left in the current sub-burst
    std::int32_t m_paceIndex = 0;     // sub-bursts done
    std::int64_t m_paceStartNs = 0;
    std::int64_t m_paceStepNs = 0;
    static constexpr std::int32_t kReceiveSkip = 8;
    std::int32_t m_receiveSkip = 0; // sends left before the next look for input
    // This host's addresses, refreshed when an own-looking datagram comes from
    // an address not among them (never per datagram).
    static constexpr std::size_t kHostAddressMax = 32;
    std::array<std::uint32_t, kHostAddressMax> m_hostAddresses{};
    std::size_t m_hostAddressCount = 0;
    std::uint32_t m_lastRefreshSource = 0;
    bool RefreshHostAddresses();
    // The extension (send thread): the peers that advertised it, what this
    // side measures of its destination's traffic, the latest send time heard
    // from the destination for the echo, and the interval last closed.
    static constexpr std::size_t kExtPeersMax = 8;
    std::array<std::uint32_t, kExtPeersMax> m_extPeers{};
    std::size_t m_extPeerCount = 0;
    TbNDelayMeter m_meter;
    std::uint32_t m_meterSource = 0;
    bool m_echoKnown = false;
    std::uint32_t m_echoSource = 0;
    std::uint64_t m_echoSendNs = 0;
    std::int64_t m_echoArrivalNs = 0;
    std::uint64_t m_lastEchoTaken = 0;
    std::uint16_t m_delayIntervalSeen = 0;
    TbNDelayInterval m_lastClosed{};
    std::int64_t m_arrivalNs = 0;        // receive time of the datagram just read (monotonic)
    std::int64_t m_realtimeOffsetNs = 0; // realtime minus monotonic, for kernel stamps

    TSendThread m_thread{*this};
};

class TbNClient : public TbNet0 {
public:
    TbNClient();
    ~TbNClient() override;

    void AfterReceive() override;
    void ResetStatistics() override;
    void Open(bool on) override;

    TbNReportRing& RemoteReports() { return m_remoteReports; }

    void SetLookup(bool on);
    bool LookupActive() const { return m_lookupActive.load(); }
    std::int32_t FoundCount() const {
        return static_cast<std::int32_t>(m_found.load(std::memory_order_acquire) & 0xFFu);
    }
    // The i-th answering copy (IPv4 in network byte order), i < FoundCount().
    sockaddr_in FoundServer(std::int32_t i) const;

protected:
    // Found servers: the count in the low byte, the search number above it,
    // so that a new search (user interface) and an append (send thread)
    // agree: an append made for an older search is never counted.
    std::atomic<std::uint32_t> m_found{0};
    std::atomic<bool> m_lookupActive{false};
    std::array<std::atomic<std::uint32_t>, kFoundMax> m_foundAddresses{};
    std::array<std::atomic<std::uint16_t>, kFoundMax> m_foundPorts{};
};

class TbNBSClient final : public TbNClient {
public:
    TbNBSClient();
    ~TbNBSClient() override;

    void Open(bool on) override;
    bool IsOpen() const override;
    void Reset() override;
    void SetRemoteHost(const std::string& host) override;
    std::string GetRemoteHost() const override;

    bool SocketsReady() const { return m_socketsReady; }

private:
    bool CreateSocket();
    void BuildDestination();

    std::string m_remoteHost = "255.255.255.255";
    sockaddr_in m_bindAddress{};
};

// The socket interface's description record from the start-up, kept for the
// life of the program.
extern WSADATA SocketInfo;

// The one engine of the program; empty while none exists.
extern std::atomic<TbNBSClient*> NetClient;

// Socket-interface start-up check; shows its message and returns false when
// the interface is missing, too old or offers too few sockets, or when the
// start-up itself failed (its error text is then shown).
bool SocketsStartupCheck();
// The text of a failed socket-interface start-up or clean-up.
std::string SocketInterfaceErrorText(int code, const char* api);
// Socket-interface clean-up: true when it succeeded; otherwise its error
// text goes to the error box.
bool SocketsCleanup();
// The message of that check for a description record (none: the start-up
// failed); empty when the interface will do.
std::string StartupCheckText(const WSADATA* data);
