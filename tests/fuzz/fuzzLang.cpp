// SPDX-License-Identifier: GPL-3.0-or-later
// Language and message files (.lng, .hnt) as translators send them: decoded
// (UTF-8 with or without a BOM, or the ANSI code page of the language), every
// section read as values and as lines, and every text formatted with the
// arguments a message line gets, placeholders and all.
//
// Input: 1 byte choosing the language's code page, then the file.
#include <array>
#include <cstdint>
#include <string>

#include "fuzzCommon.h"
#include "zFormat.h"
#include "zLang.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// German, Czech, Russian, Greek, Turkish, Hebrew, Arabic, Baltic, Vietnamese,
// Thai and none: every code page the decoding knows, and the default.
constexpr std::array<std::uint32_t, 11> kLcids{0x0407, 0x0405, 0x0419, 0x0408, 0x041F, 0x040D,
                                               0x0401, 0x0426, 0x042A, 0x041E, 0};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetFormatFaultSink([](const std::string&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::uint32_t lcid = kLcids[data[0] % kLcids.size()];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string path =
        fuzz::WriteInput(data[0] & 0x80 ? "ravelox.hnt" : "ravelox.lng", data + 1, size - 1);

    Check(IsValidUtf8(AnsiToUtf8(text, CodePageOfLcid(lcid))));
    LcidOfLocaleName(text.substr(0, 16));
    NativeSeparators(std::string(text.substr(0, 64)));

    const TbLangFile file(path, lcid);
    const std::array<TFmtArg, 4> args{TFmtArg(std::int32_t{-42}), TFmtArg("text"), TFmtArg(3.25),
                                      TFmtArg(std::uint32_t{7})};
    for (const std::string& section : file.ReadSections()) {
        for (const auto& [key, value] : file.ReadValues(section)) {
            Check(IsValidUtf8(key) && IsValidUtf8(value));
            Check(IsValidUtf8(FormatStr(value, args)));
        }
        for (const std::string& line : file.ReadLines(section))
            Check(IsValidUtf8(line));
    }
    Check(IsValidUtf8(FormatStr(text.substr(0, 512), args)) || !IsValidUtf8(text.substr(0, 512)));
    return 0;
}
