// SPDX-License-Identifier: GPL-3.0-or-later
// Datagram classification and the engine's whole receive step with command
// handling, on an engine with no socket and no threads (the fuzzer's thread
// acts as the send thread, and closes an information interval now and then
// as the tick would). The engine lives across inputs, so commands build on
// each other as they would on the wire.
//
// Input: 4 bytes source address, 2 bytes source port, 1 byte of switches,
// then the datagram. One switch puts the right checksum (and pattern) into a
// header-long datagram first, so that the fuzzer reaches the commands of
// valid datagrams and not only the checksum test.
#include <cstdint>
#include <cstring>
#include <memory>

#include "cNet0.h"
#include "uConfig.h"

namespace {

// An engine without a socket: what the socket client adds is left out.
class TFuzzEngine final : public TbNClient {
public:
    bool IsOpen() const override { return false; }
    void Reset() override {}
    void SetRemoteHost(const std::string&) override {}
    std::string GetRemoteHost() const override { return {}; }
    void CloseInterval() { TickCloseInterval(m_lastRead.Load()); }
};

TFuzzEngine& Engine() {
    static std::unique_ptr<TFuzzEngine> engine = [] {
        CfgOpt = TCfgOpt{};
        CfgOpt.PeerMaxSpeed = 50'000;
        CfgOpt.PeerMaxSendTime = 600;
        return std::make_unique<TFuzzEngine>();
    }();
    return *engine;
}

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 7)
        return 0;
    std::uint32_t source = 0;
    std::memcpy(&source, data, 4);
    const std::uint16_t port = static_cast<std::uint16_t>(data[4] | (data[5] << 8));
    const std::uint8_t switches = data[6];
    const std::uint8_t* datagram = data + 7;
    const std::size_t length = size - 7;
    static std::uint8_t fixed[kBufferSize];
    if ((switches & 0x40) != 0 && length >= kHeaderSize && length <= kBufferSize) {
        std::memcpy(fixed, datagram, length);
        const std::uint16_t declared = GetU16(fixed + hdr::Length);
        if (declared >= kHeaderSize && declared <= length)
            WritePattern(fixed, kBufferSize, GetU32(fixed + hdr::Sequence),
                         fixed[hdr::PatternOffset], declared);
        WriteChecksum(fixed);
        datagram = fixed;
    }

    // Classification alone, over a buffer as the socket fills it.
    static std::uint8_t buffer[kBufferSize];
    const std::size_t n = length < kBufferSize ? length : kBufferSize;
    std::memset(buffer, 0xA5, sizeof buffer);
    std::memcpy(buffer, datagram, n);
    const TbNDatagramClass c = ClassifyDatagram(buffer, kBufferSize, n);
    Check(!c.Valid || n >= kHeaderSize);

    TFuzzEngine& engine = Engine();
    if ((switches & 0x01) != 0) {
        // An allow list of one network around the source, or of another.
        TbNLimits limits = engine.Limits();
        limits.Allow = TbNAllowList{};
        limits.Allow.Active = (switches & 0x02) != 0;
        limits.Allow.Count = 1;
        limits.Allow.Entries[0] = {source & htonl(0xFFFFFF00u), htonl(0xFFFFFF00u)};
        if ((switches & 0x04) != 0)
            limits.Allow.Entries[0].Address ^= htonl(0x01000000u);
        engine.SetLimits(limits);
    }
    if ((switches & 0x08) != 0)
        engine.SetPeerAddress((switches & 0x10) != 0 ? source : 0, false);
    engine.ReceiveDatagram(datagram, length, source, port);
    if ((switches & 0x20) != 0)
        engine.CloseInterval();

    // Whatever a peer commanded stays within what a datagram can carry and
    // what this copy allows.
    const std::int32_t ownLength = engine.GetPacketSize(false) - kPacketOffset;
    Check(ownLength >= static_cast<std::int32_t>(kMinDatagram) &&
          ownLength <= static_cast<std::int32_t>(kBufferSize));
    const std::int32_t speed = engine.GetSpeed(false);
    const std::int32_t max = engine.Limits().MaxSpeed;
    Check(max == 0 || speed <= max);
    return 0;
}
