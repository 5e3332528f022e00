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

#include "cNetWire.h"
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

// One ring of report records: the tick writes, one reader takes. Records are
// kept as their 20 wire bytes in atomic words, so a reset from another thread
// can at worst hand a reader a stale or zeroed record, never a torn word.
struct TbNReportRing {
    static constexpr std::size_t kWords = kReportSize / 4;
    std::array<std::array<std::atomic<std::uint32_t>, kWords>, kRingSize> Records{};
    std::atomic<std::int32_t> WriteIndex{0}; // advanced by the tick
    std::atomic<std::int32_t> ReadIndex{0};  // advanced by the reader
    std::atomic<std::int32_t> Count{0};      // records waiting

    void Store(std::int32_t index, const TbNReport& report);
    TbNReport Load(std::int32_t index) const;
    void Clear();
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

    // Reports. Reader 0 takes LocalReports, reader 1 RemoteReports.
    TbNReportRing& LocalReports() { return m_localReports; }
    bool GetReports(TbNReportRing& ring, TbNReport* out, std::int32_t& count, int reader);
    TbNReport CurrentReport() const;

    // The own address, dotted, once the echo of the own broadcast was heard;
    // empty before.
    std::string LocalAddress() const;
    std::uint16_t Instance() const { return m_instance; }

    // Seen senders: entry 0 stands for anybody.
    std::int32_t SeenCount() const { return m_seenCount.load(std::memory_order_acquire); }
    std::uint32_t SeenAddress(std::int32_t i) const;

    // Queue state, for the debug view.
    std::int32_t SendQueue() const { return m_sendQueue.load(); }
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

protected:
    friend class TSendThread;
    static void TimerCallback(unsigned id, unsigned msg, std::uintptr_t user, std::uintptr_t,
                              std::uintptr_t);
    void Tick();
    void SendLoop();
    void RebuildHeader();
    void RaiseCommand(std::uint16_t bits);
    void ApplyCommands(const std::uint8_t* datagram);
    void ReceiveOne();
    void ReportSocketError(const char* step);
    void ShowText(const std::string& text, const std::string& caption, bool onSendThread);
    void AddSeen(std::uint32_t address, std::int32_t first);
    void Wake();
    void StopThreads();
    void ReleaseSocket();
    void SetLocalLength(std::int32_t length);
    bool IsOwn(const std::uint8_t* datagram) const;

    // Send thread helpers.
    bool TakeControl();
    void DropPending();
    void AssembleHeader(std::uint8_t* datagram, std::uint8_t kind, std::int32_t size);
    void SendOne(std::uint8_t kind, std::int32_t size);
    void Pace(std::int32_t entry);
    void WaitForWork(std::int64_t deadlineNs);

    std::atomic<std::int32_t> m_commandTime{0};
    std::uint32_t m_expectedSequence = 0; // send thread
    std::atomic<bool> m_commandSeen{false};
    std::atomic<bool> m_ownAddressKnown{false};
    std::uint16_t m_instance = 0;
    std::atomic<SOCKET> m_socket{INVALID_SOCKET};
    std::atomic<SOCKET> m_socketInUse{INVALID_SOCKET}; // the send thread's socket of this pass
    std::atomic<std::int32_t> m_localSpeed{0};
    std::atomic<std::int32_t> m_remoteSpeed{0};
    std::atomic<std::int32_t> m_localLength{256};
    std::atomic<std::int32_t> m_remoteLength{0};
    bool m_started = false;
    std::atomic<bool> m_sending{false};
    std::atomic<bool> m_remoteSending{false};
    std::atomic<std::int32_t> m_seenCount{0};
    std::atomic<std::uint32_t> m_acceptAddress{0};
    std::atomic<std::uint32_t> m_peerAcceptAddress{0};

    // The outgoing header's values: the send thread assembles the header from
    // them immediately before each send, so only it writes the send buffers.
    std::atomic<std::uint16_t> m_flags{0};
    std::atomic<std::uint32_t> m_sequence{0};
    std::atomic<std::uint32_t> m_headerRequestedSpeed{0};
    std::atomic<std::uint32_t> m_headerOwnSpeed{0};
    std::atomic<std::uint32_t> m_headerAccept{0};
    std::atomic<std::uint16_t> m_headerTimerPeriod{0};

    // Two send buffers, for even and odd sequence numbers: their check
    // patterns differ in one bit per word, and each is written again only when
    // the datagram length changes.
    alignas(64) std::array<std::array<std::uint8_t, kBufferSize>, 2> m_sendBuffers{};
    std::array<std::int32_t, 2> m_patternLength{{-1, -1}};
    alignas(64) std::array<std::uint8_t, kBufferSize> m_receiveBuffer{};

    std::atomic<std::uint16_t> m_intervalCount{0};
    std::uint16_t m_lastPeerInterval = 0; // tick
    bool m_socketsReady = false;
    std::atomic<bool> m_sendErrorShown{false};
    std::atomic<bool> m_versionMessageShown{false};
    std::atomic<bool> m_speedLowered{false};
    std::atomic<std::uint8_t> m_controlRequest{0};
    unsigned m_timerId = 0;
    std::atomic<std::int32_t> m_lastReceiveLength{0};
    std::atomic<std::int32_t> m_lastSendResult{0};

    // Send queue: the tick produces, the send thread consumes. Slots are used
    // modulo kSendSlots; the capacity only limits how many entries may wait.
    std::atomic<std::int32_t> m_sendQueue{0};
    std::int32_t m_sendWrite = 0; // tick
    std::int32_t m_sendRead = 0;  // send thread
    std::int64_t m_credit = 0;    // tick, bytes
    std::atomic<std::int32_t> m_sendQueueMax{4};
    std::array<std::atomic<std::int32_t>, kSendSlots> m_sendSlots{};
    std::atomic<std::int32_t> m_flushControl{0}; // entries a rebuild asked the send thread to drop
    std::atomic<std::int32_t> m_flushSend{0};
    std::atomic<bool> m_tickFlush{false};

    // Control queue: the only request ever queued is a 64-byte control
    // datagram, so the queue is its count.
    std::atomic<std::int32_t> m_controlCount{0};

    TbNReportRing m_localReports;
    TbNReportRing m_remoteReports;
    std::atomic<std::uint32_t> m_readerMask{0};

    // Current report: the send thread counts, the tick stamps and records.
    std::atomic<std::uint32_t> m_bytesSent{0};
    std::atomic<std::uint32_t> m_bytesReceived{0};
    std::atomic<std::uint32_t> m_bytesFromOthers{0};
    std::atomic<std::uint16_t> m_lost{0};
    std::atomic<std::uint16_t> m_bad{0};
    std::atomic<std::uint8_t> m_status{0};
    std::atomic<std::uint16_t> m_stamp{0};
    void ClearCurrentReport();

    std::atomic<std::int32_t> m_timerPeriod{0};
    std::atomic<std::int32_t> m_infoTime{0};
    std::atomic<std::int32_t> m_ticksPerInterval{0};
    std::atomic<std::uint32_t> m_tickCounter{0};

    // What the tick needs of the last datagram read, published by the send
    // thread under a sequence lock so that the tick never blocks.
    struct TbNLastRead {
        std::uint16_t Flags = 0;
        std::uint8_t Kind = nkControl;
        std::uint16_t Interval = 0;
        std::array<std::uint8_t, kReportSize> Report{};
    };
    static constexpr std::size_t kLastReadWords = 7;
    std::atomic<std::uint32_t> m_lastReadSeq{0};
    std::array<std::atomic<std::uint32_t>, kLastReadWords> m_lastReadWords{};
    void PublishLastRead(const TbNLastRead& last);
    TbNLastRead LastRead() const;

    std::atomic<std::uint32_t> m_destinationAddress{0}; // network byte order
    std::atomic<bool> m_destinationUsable{false};
    std::atomic<std::uint16_t> m_port{0}; // host byte order
    std::atomic<std::uint32_t> m_lastSource{0};
    std::uint16_t m_lastSourcePort = 0; // send thread
    std::atomic<std::uint32_t> m_lastAcceptedSource{0};
    std::atomic<std::uint16_t> m_lastAcceptedPort{0};
    std::array<std::atomic<std::uint32_t>, kSeenMax> m_seenAddresses{};
    std::mutex m_seenMutex; // user interface and send thread add entries; never the tick
    std::atomic<std::uint32_t> m_localAddress{0};

    // Wakes the send thread from its wait: the tick queued work, or stop.
    int m_wakeFd = -1;
    std::atomic<bool> m_stopping{false};

    // A box raised on the send thread while ShowTextOnAnyThread is false.
    std::mutex m_boxMutex;
    std::condition_variable m_boxDone;
    bool m_boxPending = false;
    std::string m_boxText;
    std::string m_boxCaption;

    // Pacing of data inside one tick (send thread).
    std::int32_t m_paceEntryRead = -1; // slot the pacing plan belongs to
    std::int32_t m_paceBurst = 0;      // datagrams per sub-burst
    std::int32_t m_paceLeft = 0;       // datagrams left in the current sub-burst
    std::int32_t m_paceIndex = 0;      // sub-bursts done
    std::int64_t m_paceStartNs = 0;
    std::int64_t m_paceStepNs = 0;
    static constexpr std::int32_t kReceiveSkip = 8;
    std::int32_t m_receiveSkip = 0; // sends left before the next look for input

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
    std::int32_t FoundCount() const { return m_foundCount.load(std::memory_order_acquire); }
    // The i-th answering copy (IPv4 in network byte order), i < FoundCount().
    sockaddr_in FoundServer(std::int32_t i) const;

protected:
    std::atomic<std::int32_t> m_foundCount{0};
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
// the interface is missing, too old or offers too few sockets.
bool SocketsStartupCheck();
// The message of that check for a description record (none: the start-up
// failed); empty when the interface will do.
std::string StartupCheckText(const WSADATA* data);
