// SPDX-License-Identifier: GPL-3.0-or-later
#include "cNetWire.h"

#include <algorithm>
#include <cstring>

void EncodeReport(const TbNReport& report, std::uint8_t* out) {
    PutU16(out + rpt::Stamp, report.Stamp);
    out[rpt::Status] = report.Status;
    out[rpt::Reserved] = report.Reserved;
    PutU32(out + rpt::BytesSent, report.BytesSent);
    PutU32(out + rpt::BytesReceived, report.BytesReceived);
    PutU32(out + rpt::BytesFromOthers, report.BytesFromOthers);
    PutU16(out + rpt::Lost, report.Lost);
    PutU16(out + rpt::Bad, report.Bad);
}

TbNReport DecodeReport(const std::uint8_t* in) {
    TbNReport report;
    report.Stamp = GetU16(in + rpt::Stamp);
    report.Status = in[rpt::Status];
    report.Reserved = in[rpt::Reserved];
    report.BytesSent = GetU32(in + rpt::BytesSent);
    report.BytesReceived = GetU32(in + rpt::BytesReceived);
    report.BytesFromOthers = GetU32(in + rpt::BytesFromOthers);
    report.Lost = GetU16(in + rpt::Lost);
    report.Bad = GetU16(in + rpt::Bad);
    return report;
}

void EncodeHeader(const TbNHeader& h, std::uint8_t* out) {
    std::memcpy(out + hdr::Signature, h.Signature.data(), 4);
    out[hdr::Version] = h.Version;
    out[hdr::HeaderLength] = h.HeaderLength;
    out[hdr::PatternOffset] = h.PatternOffset;
    out[hdr::Kind] = h.Kind;
    PutU16(out + hdr::Length, h.Length);
    PutU16(out + hdr::Flags, h.Flags);
    PutU32(out + hdr::Sequence, h.Sequence);
    PutU16(out + hdr::Interval, h.Interval);
    PutU16(out + hdr::RequestedLength, h.RequestedLength);
    PutU16(out + hdr::TimerPeriod, h.TimerPeriod);
    PutU16(out + hdr::RcvbufDrops, h.RcvbufDrops);
    PutU32(out + hdr::RequestedSpeed, h.RequestedSpeed);
    std::memcpy(out + hdr::AcceptAddress, h.AcceptAddress.data(), 4);
    EncodeReport(h.Report, out + hdr::Report);
    PutU32(out + hdr::OwnSpeed, h.OwnSpeed);
    PutU16(out + hdr::Instance, h.Instance);
    PutU16(out + hdr::Reserved2, h.Reserved2);
    PutU32(out + hdr::Checksum, h.Checksum);
}

TbNHeader DecodeHeader(const std::uint8_t* in) {
    TbNHeader h;
    std::memcpy(h.Signature.data(), in + hdr::Signature, 4);
    h.Version = in[hdr::Version];
    h.HeaderLength = in[hdr::HeaderLength];
    h.PatternOffset = in[hdr::PatternOffset];
    h.Kind = in[hdr::Kind];
    h.Length = GetU16(in + hdr::Length);
    h.Flags = GetU16(in + hdr::Flags);
    h.Sequence = GetU32(in + hdr::Sequence);
    h.Interval = GetU16(in + hdr::Interval);
    h.RequestedLength = GetU16(in + hdr::RequestedLength);
    h.TimerPeriod = GetU16(in + hdr::TimerPeriod);
    h.RcvbufDrops = GetU16(in + hdr::RcvbufDrops);
    h.RequestedSpeed = GetU32(in + hdr::RequestedSpeed);
    std::memcpy(h.AcceptAddress.data(), in + hdr::AcceptAddress, 4);
    h.Report = DecodeReport(in + hdr::Report);
    h.OwnSpeed = GetU32(in + hdr::OwnSpeed);
    h.Instance = GetU16(in + hdr::Instance);
    h.Reserved2 = GetU16(in + hdr::Reserved2);
    h.Checksum = GetU32(in + hdr::Checksum);
    return h;
}

std::uint32_t Checksum(const std::uint8_t* datagram) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < hdr::Checksum; ++i)
        sum += datagram[i];
    return sum;
}

void WriteChecksum(std::uint8_t* datagram) {
    PutU32(datagram + hdr::Checksum, Checksum(datagram));
}

namespace {

// K is the lowest sequence bit minus 2: 0xFFFFFFFE for even, 0xFFFFFFFF for odd.
std::uint32_t PatternKey(std::uint32_t sequence) {
    return (sequence & 1u) - 2u;
}

std::size_t PatternWords(std::size_t patternOffset, std::size_t length) {
    return length > patternOffset ? (length - patternOffset) / 4 : 0;
}

} // namespace

void WritePattern(std::uint8_t* datagram, std::size_t bufferSize, std::uint32_t sequence,
                  std::size_t patternOffset, std::size_t length) {
    const std::size_t n = PatternWords(patternOffset, std::min(length, bufferSize));
    const std::uint32_t key = PatternKey(sequence);
    std::uint32_t base = kPatternBase;
    std::uint8_t* word = datagram + patternOffset;
    // r counts the words still to do, this one included; the groups of eight
    // are aligned with the end of the datagram.
    for (std::size_t r = n; r > 0; --r, word += 4) {
        if (r % 8 == 0)
            base = kPatternBase;
        PutU32(word, base ^ key);
        base <<= 1;
    }
}

bool VerifyPattern(const std::uint8_t* datagram, std::uint32_t sequence, std::size_t patternOffset,
                   std::size_t length) {
    const std::size_t n = PatternWords(patternOffset, length);
    const std::uint32_t key = PatternKey(sequence);
    std::uint32_t base = kPatternBase;
    const std::uint8_t* word = datagram + patternOffset;
    for (std::size_t r = n; r > 0; --r, word += 4) {
        if (r % 8 == 0)
            base = kPatternBase;
        if (GetU32(word) != (base ^ key))
            return false;
        base <<= 1;
    }
    return true;
}

TbNDatagramClass ClassifyDatagram(const std::uint8_t* buffer, std::size_t bufferSize,
                                  std::size_t received) {
    TbNDatagramClass c;
    const std::size_t have = std::min(received, bufferSize);
    if (have < kHeaderSize)
        return c; // no whole header: bad, and none of the stale bytes beyond `have` count
    c.Complete = true;
    c.Kind = buffer[hdr::Kind];
    c.IsData = c.Kind == nkData;
    const bool signature = std::memcmp(buffer, kSignature.data(), 4) == 0;
    const bool checksum = GetU32(buffer + hdr::Checksum) == Checksum(buffer);
    const std::size_t length = GetU16(buffer + hdr::Length);
    if (!signature || !checksum || length > have)
        return c;
    c.Valid = true;
    c.Flags = GetU16(buffer + hdr::Flags);
    c.Sequence = GetU32(buffer + hdr::Sequence);
    c.PatternOk = VerifyPattern(buffer, c.Sequence, buffer[hdr::PatternOffset], length);
    return c;
}

namespace {

std::uint32_t BlockCheck(const std::uint8_t* block, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 4 < length; ++i)
        sum += block[i];
    return sum;
}

void EncodeFigures(const TbNExtFigures& f, std::uint8_t* b) {
    PutU64(b + ext::Received, f.Received);
    PutU64(b + ext::Lost, f.Lost);
    PutU64(b + ext::Late, f.Late);
    PutU64(b + ext::Duplicate, f.Duplicate);
    PutU64(b + ext::RcvbufDrops, f.RcvbufDrops);
    PutU64(b + ext::Bytes, f.Bytes);
    PutU32(b + ext::JitterNs, f.JitterNs);
    PutU32(b + ext::DelayMinNs, f.DelayMinNs);
    PutU32(b + ext::DelayP50Ns, f.DelayP50Ns);
    PutU32(b + ext::DelayP99Ns, f.DelayP99Ns);
    PutU32(b + ext::DelayMaxNs, f.DelayMaxNs);
    PutU32(b + ext::DelaySamples, f.DelaySamples);
}

TbNExtFigures DecodeFigures(const std::uint8_t* b) {
    TbNExtFigures f;
    f.Received = GetU64(b + ext::Received);
    f.Lost = GetU64(b + ext::Lost);
    f.Late = GetU64(b + ext::Late);
    f.Duplicate = GetU64(b + ext::Duplicate);
    f.RcvbufDrops = GetU64(b + ext::RcvbufDrops);
    f.Bytes = GetU64(b + ext::Bytes);
    f.JitterNs = GetU32(b + ext::JitterNs);
    f.DelayMinNs = GetU32(b + ext::DelayMinNs);
    f.DelayP50Ns = GetU32(b + ext::DelayP50Ns);
    f.DelayP99Ns = GetU32(b + ext::DelayP99Ns);
    f.DelayMaxNs = GetU32(b + ext::DelayMaxNs);
    f.DelaySamples = GetU32(b + ext::DelaySamples);
    return f;
}

} // namespace

void EncodeExtBlock(const TbNExtBlock& block, std::uint8_t* b) {
    b[ext::Version] = block.Version;
    b[ext::Length] = static_cast<std::uint8_t>(kExtSize);
    PutU16(b + ext::Flags, block.Flags);
    PutU32(b + ext::FiguresInterval, block.FiguresInterval);
    PutU64(b + ext::SendTimeNs, block.SendTimeNs);
    PutU64(b + ext::EchoTimeNs, block.EchoTimeNs);
    PutU64(b + ext::HoldNs, block.HoldNs);
    PutU64(b + ext::BytesSent, block.BytesSent);
    PutU64(b + ext::BytesReceived, block.BytesReceived);
    EncodeFigures(block.Figures, b);
    PutU32(b + ext::Reserved, 0);
    PutU32(b + ext::Check, BlockCheck(b, kExtSize));
}

bool DecodeExtBlock(const std::uint8_t* d, std::size_t length, TbNExtBlock& out) {
    if (length < kExtMinDatagram || (d[hdr::Report + rpt::Reserved] & kMarkExtension) == 0)
        return false;
    const std::size_t patternOffset = d[hdr::PatternOffset];
    const std::uint8_t* b = d + kHeaderSize;
    const std::size_t blockLength = b[ext::Length];
    // A later version may be longer; it keeps the fields of this one.
    if (b[ext::Version] < kExtVersion || blockLength < kExtSize ||
        kHeaderSize + blockLength > patternOffset || patternOffset > length)
        return false;
    if (GetU32(b + blockLength - 4) != BlockCheck(b, blockLength))
        return false;
    out.Version = b[ext::Version];
    out.Length = static_cast<std::uint8_t>(blockLength);
    out.Flags = GetU16(b + ext::Flags);
    out.FiguresInterval = GetU32(b + ext::FiguresInterval);
    out.SendTimeNs = GetU64(b + ext::SendTimeNs);
    out.EchoTimeNs = GetU64(b + ext::EchoTimeNs);
    out.HoldNs = GetU64(b + ext::HoldNs);
    out.BytesSent = GetU64(b + ext::BytesSent);
    out.BytesReceived = GetU64(b + ext::BytesReceived);
    out.Figures = DecodeFigures(b);
    out.Reserved = GetU32(b + ext::Reserved);
    out.Check = GetU32(b + blockLength - 4);
    return true;
}
