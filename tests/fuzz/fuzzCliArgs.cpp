// SPDX-License-Identifier: GPL-3.0-or-later
// ravelox-cli's argument texts: rates with units, hosts, directions, the
// allow list and the number checks. Each either answers a value within its
// documented range or raises ECliArgError with a message; nothing else.
//
// Input: 1 byte choosing the parser, then the text.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "cNetLimits.h"
#include "uCliArgs.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

std::int64_t Number(std::string_view text) {
    std::int64_t value = 0;
    std::memcpy(&value, text.data(), std::min(text.size(), sizeof value));
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        switch (data[0] % 8) {
        case 0: {
            const std::int32_t kbps = ParseRate(text, "--rate");
            Check(kbps >= kCliMinSpeed && kbps <= kCliMaxSpeed);
            break;
        }
        case 1: {
            const std::string host = CheckHost(text);
            Check(host == text);
            break;
        }
        case 2:
            Check(std::string_view(DirectionName(ParseDirection(text))) == text);
            break;
        case 3: {
            TbNAllowList list;
            std::string error;
            if (ParseAllowList(text, list, error)) {
                Check(list.Count >= 0 && list.Count <= kAllowMax);
                TbNAllowList again;
                Check(ParseAllowList(AllowListText(list), again, error));
                Check(AllowListText(again) == AllowListText(list));
            } else {
                Check(!error.empty() && !list.Active);
            }
            break;
        }
        case 4: {
            const std::int32_t length = CheckLength(Number(text), "--length");
            Check(length >= kCliMinLength && length <= kCliMaxLength);
            break;
        }
        case 5:
            Check(CheckBufferKb(Number(text), "--recv-buf") >= 1024);
            break;
        case 6:
            Check(CheckMs(Number(text), 10, "--info-time") <= kCliMaxMs);
            break;
        default:
            Check(CheckSeconds(Number(text), 0, "--time") <= kCliMaxSeconds);
            break;
        }
    } catch (const ECliArgError& error) {
        Check(std::strlen(error.what()) > 0);
    }
    return 0;
}
