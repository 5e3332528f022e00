// SPDX-License-Identifier: GPL-3.0-or-later
// The datagram wire format: the 64-byte header that begins every datagram, the
// 20-byte report it carries, the flag bits, the checksum, the check pattern and
// the receiver's classification of one datagram. Everything on the wire is
// little-endian except the accept address, which keeps network byte order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kHeaderSize = 64;
inline constexpr std::size_t kReportSize = 20;
inline constexpr std::size_t kBufferSize = 2000; // largest datagram, send and receive buffers
inline constexpr std::size_t kMinDatagram = kHeaderSize;
inline constexpr std::uint8_t kProtocolVersion = 3;
inline constexpr std::uint32_t kPatternBase = 0x1373137F;
inline constexpr std::array<std::uint8_t, 4> kSignature{'B', 'r', 'e', 'n'};

// Flag bits (header offset 10). The low byte holds commands, which expire;
// the high byte describes lasting state.
enum : std::uint16_t {
    nfSendCmd = 0x0001,
    nfSpeedCmd = 0x0002,
    nfLengthCmd = 0x0004,
    nfAcceptCmd = 0x0008,
    nfResetCmd = 0x0020,
    nfSendOn = 0x0100,
    nfBroadcast = 0x0200,
    nfLookup = 0x0400,
    nfDiscover = 0x0800,
    nfStopped = 0x1000,
};
inline constexpr std::uint16_t kCommandMask = 0x00FF;

enum tNetKind : std::uint8_t { nkData = 0, nkControl = 1 };

// Report status bits.
inline constexpr std::uint8_t kStatusSendFailed = 0x01;
inline constexpr std::uint8_t kStatusResetAsked = 0x04;
// Report reserved-byte bits (offset 3 of the report). A receiver that does not
// know them ignores them, as it ignores every reserved byte.
// 0x01: the header's field at offset 22 carries the sender's receive-buffer
// drops. Without it the peer's drops are unknown, never zero.
inline constexpr std::uint8_t kMarkRcvbufDrops = 0x01;
// 0x02: the sender speaks the extension block (below) and takes it in the
// datagrams sent to it.
inline constexpr std::uint8_t kMarkExtension = 0x02;

struct TbNReport {
    std::uint16_t Stamp = 0; // low 16 bits of the millisecond clock at the interval end
    std::uint8_t Status = 0;
    std::uint8_t Reserved = 0;
    std::uint32_t BytesSent = 0;
    std::uint32_t BytesReceived = 0;
    std::uint32_t BytesFromOthers = 0;
    std::uint16_t Lost = 0;
    std::uint16_t Bad = 0;

    friend bool operator==(const TbNReport&, const TbNReport&) = default;
};
static_assert(sizeof(TbNReport) == kReportSize);

struct TbNHeader {
    std::array<std::uint8_t, 4> Signature = kSignature;
    std::uint8_t Version = kProtocolVersion;
    std::uint8_t HeaderLength = kHeaderSize;
    std::uint8_t PatternOffset = kHeaderSize;
    std::uint8_t Kind = nkData;
    std::uint16_t Length = 0;
    std::uint16_t Flags = 0;
    std::uint32_t Sequence = 0;
    std::uint16_t Interval = 0;
    std::uint16_t RequestedLength = 0;
    std::uint16_t TimerPeriod = 0;
    // Datagrams the sender's own socket dropped because its receive buffer
    // was full, cumulative since its last reset, modulo 65536; meaningful only
    // with kMarkRcvbufDrops in the report's reserved byte.
    std::uint16_t RcvbufDrops = 0;
    std::uint32_t RequestedSpeed = 0;
    std::array<std::uint8_t, 4> AcceptAddress{}; // network byte order
    TbNReport Report{};
    std::uint32_t OwnSpeed = 0;
    std::uint16_t Instance = 0;
    std::uint16_t Reserved2 = 0;
    std::uint32_t Checksum = 0;

    friend bool operator==(const TbNHeader&, const TbNHeader&) = default;
};
static_assert(sizeof(TbNHeader) == kHeaderSize);

// Field offsets inside the header, for code that works on the raw buffer.
namespace hdr {
inline constexpr std::size_t Signature = 0;
inline constexpr std::size_t Version = 4;
inline constexpr std::size_t HeaderLength = 5;
inline constexpr std::size_t PatternOffset = 6;
inline constexpr std::size_t Kind = 7;
inline constexpr std::size_t Length = 8;
inline constexpr std::size_t Flags = 10;
inline constexpr std::size_t Sequence = 12;
inline constexpr std::size_t Interval = 16;
inline constexpr std::size_t RequestedLength = 18;
inline constexpr std::size_t TimerPeriod = 20;
inline constexpr std::size_t RcvbufDrops = 22;
inline constexpr std::size_t RequestedSpeed = 24;
inline constexpr std::size_t AcceptAddress = 28;
inline constexpr std::size_t Report = 32;
inline constexpr std::size_t OwnSpeed = 52;
inline constexpr std::size_t Instance = 56;
inline constexpr std::size_t Reserved2 = 58;
inline constexpr std::size_t Checksum = 60;
} // namespace hdr

// Offsets inside the 20-byte report.
namespace rpt {
inline constexpr std::size_t Stamp = 0;
inline constexpr std::size_t Status = 2;
inline constexpr std::size_t Reserved = 3;
inline constexpr std::size_t BytesSent = 4;
inline constexpr std::size_t BytesReceived = 8;
inline constexpr std::size_t BytesFromOthers = 12;
inline constexpr std::size_t Lost = 16;
inline constexpr std::size_t Bad = 18;
} // namespace rpt

// The named offsets are the in-memory layout of the records, so a field
// cannot have one offset here and another in the encoder.
static_assert(offsetof(TbNHeader, Signature) == hdr::Signature);
static_assert(offsetof(TbNHeader, Version) == hdr::Version);
static_assert(offsetof(TbNHeader, HeaderLength) == hdr::HeaderLength);
static_assert(offsetof(TbNHeader, PatternOffset) == hdr::PatternOffset);
static_assert(offsetof(TbNHeader, Kind) == hdr::Kind);
static_assert(offsetof(TbNHeader, Length) == hdr::Length);
static_assert(offsetof(TbNHeader, Flags) == hdr::Flags);
static_assert(offsetof(TbNHeader, Sequence) == hdr::Sequence);
static_assert(offsetof(TbNHeader, Interval) == hdr::Interval);
static_assert(offsetof(TbNHeader, RequestedLength) == hdr::RequestedLength);
static_assert(offsetof(TbNHeader, TimerPeriod) == hdr::TimerPeriod);
static_assert(offsetof(TbNHeader, RcvbufDrops) == hdr::RcvbufDrops);
static_assert(offsetof(TbNHeader, RequestedSpeed) == hdr::RequestedSpeed);
static_assert(offsetof(TbNHeader, AcceptAddress) == hdr::AcceptAddress);
static_assert(offsetof(TbNHeader, Report) == hdr::Report);
static_assert(offsetof(TbNHeader, OwnSpeed) == hdr::OwnSpeed);
static_assert(offsetof(TbNHeader, Instance) == hdr::Instance);
static_assert(offsetof(TbNHeader, Reserved2) == hdr::Reserved2);
static_assert(offsetof(TbNHeader, Checksum) == hdr::Checksum);
static_assert(offsetof(TbNReport, Stamp) == rpt::Stamp);
static_assert(offsetof(TbNReport, Status) == rpt::Status);
static_assert(offsetof(TbNReport, Reserved) == rpt::Reserved);
static_assert(offsetof(TbNReport, BytesSent) == rpt::BytesSent);
static_assert(offsetof(TbNReport, BytesReceived) == rpt::BytesReceived);
static_assert(offsetof(TbNReport, BytesFromOthers) == rpt::BytesFromOthers);
static_assert(offsetof(TbNReport, Lost) == rpt::Lost);
static_assert(offsetof(TbNReport, Bad) == rpt::Bad);

inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

void EncodeReport(const TbNReport& report, std::uint8_t* out); // 20 bytes
TbNReport DecodeReport(const std::uint8_t* in);                // 20 bytes
void EncodeHeader(const TbNHeader& header, std::uint8_t* out); // 64 bytes, checksum as given
TbNHeader DecodeHeader(const std::uint8_t* in);                // 64 bytes

// Sum of bytes 0..59.
std::uint32_t Checksum(const std::uint8_t* datagram);
// Stores Checksum() at offset 60.
void WriteChecksum(std::uint8_t* datagram);

// Writes the check pattern for a datagram of `length` bytes whose pattern
// starts at `patternOffset`; never writes at or beyond min(length, bufferSize).
void WritePattern(std::uint8_t* datagram, std::size_t bufferSize, std::uint32_t sequence,
                  std::size_t patternOffset, std::size_t length);
// True when every whole pattern word inside the first `length` bytes matches;
// the caller guarantees `length` bytes are readable.
bool VerifyPattern(const std::uint8_t* datagram, std::uint32_t sequence, std::size_t patternOffset,
                   std::size_t length);

// What a receiver learns of one datagram before it acts on it.
struct TbNDatagramClass {
    bool Complete = false;  // at least a whole header was received
    bool Valid = false;     // signature, checksum and length field are right
    bool PatternOk = false; // the check pattern verified (Valid datagrams only)
    bool IsData = false;    // kind 0 with a whole header: counts as data bytes
    std::uint8_t Kind = nkControl;
    std::uint16_t Flags = 0; // 0 unless Valid: stale or forged bits are never obeyed
    std::uint32_t Sequence = 0;
    bool Bad() const { return !Valid || !PatternOk; }
};

// Classifies the `received` bytes at the start of `buffer` (which holds
// `bufferSize` bytes). Reads nothing beyond min(received, bufferSize).
// A datagram shorter than the header, or whose length field is above what
// was received, is bad and not Valid: it takes no part in sequence counting.
TbNDatagramClass ClassifyDatagram(const std::uint8_t* buffer, std::size_t bufferSize,
                                  std::size_t received);

// Receiver's lost accounting: the 16-bit difference between the sequence seen
// and the one expected, added to the lost count.
inline std::uint16_t LostDelta(std::uint32_t sequence, std::uint32_t expected) {
    return static_cast<std::uint16_t>(sequence - expected);
}

// ---------------------------------------------------------------- extension block
//
// Between the header and the check pattern of a datagram sent to a peer that
// advertised kMarkExtension: the pattern offset (header offset 6) points past
// it, so every receiver skips it. Little-endian; a later version keeps these
// fields at their offsets and may grow the block (its length says how far),
// with the check always in the last four bytes.
inline constexpr std::uint8_t kExtVersion = 1;
inline constexpr std::size_t kExtSize = 128;
// The smallest data datagram that carries the block.
inline constexpr std::size_t kExtMinDatagram = kHeaderSize + kExtSize;

// Block flag bits.
enum : std::uint16_t {
    efEcho = 0x0001,         // the echo fields hold a send time of the peer's
    efFigures = 0x0002,      // the receive figures hold a closed interval
    efKernelStamps = 0x0004, // the sender's receive times come from the kernel
    efDelayKnown = 0x0008,   // the figures' delay fields are measured (send times came)
};

// The receive-side figures of one side about the other side's traffic, as of
// the end of one statistics interval. Counters are cumulative since that
// side's last statistics reset; the delay figures are of the interval alone
// and measure the delay above the smallest seen since the reset (no clock
// synchronisation: the offset between the two clocks cancels).
struct TbNExtFigures {
    std::uint64_t Received = 0;    // datagrams, each counted once
    std::uint64_t Lost = 0;        // sequence numbers never seen (a late one is taken back)
    std::uint64_t Late = 0;        // arrived after a higher sequence number
    std::uint64_t Duplicate = 0;   // arrived again
    std::uint64_t RcvbufDrops = 0; // dropped by the own socket: its buffer was full
    std::uint64_t Bytes = 0;       // data-datagram bytes received
    std::uint32_t JitterNs = 0;    // interarrival jitter estimate at the interval end
    std::uint32_t DelayMinNs = 0;
    std::uint32_t DelayP50Ns = 0;
    std::uint32_t DelayP99Ns = 0;
    std::uint32_t DelayMaxNs = 0;
    std::uint32_t DelaySamples = 0; // datagrams with a send time in the interval

    friend bool operator==(const TbNExtFigures&, const TbNExtFigures&) = default;
};

struct TbNExtBlock {
    std::uint8_t Version = kExtVersion;
    std::uint8_t Length = kExtSize;
    std::uint16_t Flags = 0;
    std::uint32_t FiguresInterval = 0; // number of the sender's interval the figures close
    std::uint64_t SendTimeNs = 0;      // sender's monotonic clock just before the send
    std::uint64_t EchoTimeNs = 0;      // send time of the latest datagram from the peer
    std::uint64_t HoldNs = 0;          // from that datagram's arrival to this send
    std::uint64_t BytesSent = 0;       // data bytes sent before this datagram
    std::uint64_t BytesReceived = 0;   // data bytes received up to this send
    TbNExtFigures Figures{};
    std::uint32_t Reserved = 0;
    std::uint32_t Check = 0; // sum of the block's bytes before it

    friend bool operator==(const TbNExtBlock&, const TbNExtBlock&) = default;
};
static_assert(sizeof(TbNExtBlock) == kExtSize);

namespace ext {
inline constexpr std::size_t Version = 0;
inline constexpr std::size_t Length = 1;
inline constexpr std::size_t Flags = 2;
inline constexpr std::size_t FiguresInterval = 4;
inline constexpr std::size_t SendTimeNs = 8;
inline constexpr std::size_t EchoTimeNs = 16;
inline constexpr std::size_t HoldNs = 24;
inline constexpr std::size_t BytesSent = 32;
inline constexpr std::size_t BytesReceived = 40;
inline constexpr std::size_t Received = 48;
inline constexpr std::size_t Lost = 56;
inline constexpr std::size_t Late = 64;
inline constexpr std::size_t Duplicate = 72;
inline constexpr std::size_t RcvbufDrops = 80;
inline constexpr std::size_t Bytes = 88;
inline constexpr std::size_t JitterNs = 96;
inline constexpr std::size_t DelayMinNs = 100;
inline constexpr std::size_t DelayP50Ns = 104;
inline constexpr std::size_t DelayP99Ns = 108;
inline constexpr std::size_t DelayMaxNs = 112;
inline constexpr std::size_t DelaySamples = 116;
inline constexpr std::size_t Reserved = 120;
inline constexpr std::size_t Check = 124;
} // namespace ext

static_assert(offsetof(TbNExtBlock, Flags) == ext::Flags);
static_assert(offsetof(TbNExtBlock, FiguresInterval) == ext::FiguresInterval);
static_assert(offsetof(TbNExtBlock, SendTimeNs) == ext::SendTimeNs);
static_assert(offsetof(TbNExtBlock, EchoTimeNs) == ext::EchoTimeNs);
static_assert(offsetof(TbNExtBlock, HoldNs) == ext::HoldNs);
static_assert(offsetof(TbNExtBlock, BytesSent) == ext::BytesSent);
static_assert(offsetof(TbNExtBlock, BytesReceived) == ext::BytesReceived);
static_assert(offsetof(TbNExtBlock, Figures) + offsetof(TbNExtFigures, Received) == ext::Received);
static_assert(offsetof(TbNExtBlock, Figures) + offsetof(TbNExtFigures, Bytes) == ext::Bytes);
static_assert(offsetof(TbNExtBlock, Figures) + offsetof(TbNExtFigures, JitterNs) == ext::JitterNs);
static_assert(offsetof(TbNExtBlock, Figures) + offsetof(TbNExtFigures, DelaySamples) ==
              ext::DelaySamples);
static_assert(offsetof(TbNExtBlock, Reserved) == ext::Reserved);
static_assert(offsetof(TbNExtBlock, Check) == ext::Check);

inline std::uint64_t GetU64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(GetU32(p)) |
           (static_cast<std::uint64_t>(GetU32(p + 4)) << 32);
}
inline void PutU64(std::uint8_t* p, std::uint64_t v) {
    PutU32(p, static_cast<std::uint32_t>(v));
    PutU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// Writes the block (kExtSize bytes) with its check.
void EncodeExtBlock(const TbNExtBlock& block, std::uint8_t* out);
// The block of a Valid datagram of `length` bytes (its length field), when it
// carries one: the advertising mark, a pattern offset past a whole block, and
// a block whose version, length and check are right. Reads nothing at or
// beyond `length`.
bool DecodeExtBlock(const std::uint8_t* datagram, std::size_t length, TbNExtBlock& out);
