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
