// SPDX-License-Identifier: GPL-3.0-or-later
#include "zUtils.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <vector>

#include "xHome.h"
#include "xVersion.h"

namespace {

char UpperChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The pieces of a list text cut at each ",".
std::vector<std::string_view> SplitCommas(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const auto comma = text.find(',');
        pieces.push_back(text.substr(0, comma));
        if (comma == std::string_view::npos)
            return pieces;
        text.remove_prefix(comma + 1);
    }
}

// Number lists are parsed completely before anything is stored, so that a bad
// piece leaves the caller's values as they were.
std::vector<std::int32_t> ParseIntPieces(std::string_view text, int maxCount) {
    std::vector<std::int32_t> values;
    if (maxCount < 1)
        return values;
    for (const auto piece : SplitCommas(text)) {
        values.push_back(StrToInt(piece));
        if (static_cast<int>(values.size()) >= maxCount)
            break;
    }
    return values;
}

} // namespace

std::string_view TrimView(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string Trim(std::string_view text) {
    return std::string(TrimView(text));
}

std::string UpperCase(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), UpperChar);
    return result;
}

int CompareText(std::string_view a, std::string_view b) {
    const auto n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(UpperChar(a[i]));
        const auto cb = static_cast<unsigned char>(UpperChar(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

std::int32_t StrToInt(std::string_view text) {
    auto digits = TrimView(text);
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    std::int64_t value = 0;
    const auto* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || ec != std::errc{} || ptr != end ||
        value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
    return static_cast<std::int32_t>(value);
}

std::int32_t StrToIntDef(std::string_view text, std::int32_t def) {
    try {
        return StrToInt(text);
    } catch (const EConvertError&) {
        return def;
    }
}

double StrToFloat(std::string_view text) {
    auto digits = TrimView(text);
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    double value = 0;
    const auto* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, value);
    if (digits.empty() || ec != std::errc{} || ptr != end)
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    return value;
}

std::string FloatToStrF(double value, int decimals) {
    // Enough for the largest double in fixed notation with 40 decimals.
    char buffer[400];
    decimals = std::clamp(decimals, 0, 40);
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return ec == std::errc{} ? std::string(buffer, ptr) : std::string{};
}

std::string FloatToStrG(double value) {
    char buffer[64];
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return ec == std::errc{} ? std::string(buffer, ptr) : std::string{};
}

std::string IntToStr(std::int64_t value) {
    return std::to_string(value);
}

std::string TStrCvt::HexToStrBytes(const std::uint8_t* bytes, int size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    if (bytes == nullptr || size < 1)
        return text;
    const int count = std::min<int>(bytes[0], size - 1);
    for (int i = 1; i <= count; ++i) {
        if (i > 1)
            text += ',';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

// Each step takes the next four characters, reads hexadecimal digits from
// their start up to the first other character and stores the low 8 bits of
// the value; it goes on just after that other character, or stops when the
// four characters were all digits (or the text ended).
int TStrCvt::StrToHexBytes(std::uint8_t* buffer, int highIndex, int maxCount,
                           std::string_view text) {
    if (buffer == nullptr || highIndex < 0)
        return 0;
    const int limit = std::min({maxCount - 1, highIndex, 255});
    if (limit < 1 || TrimView(text).empty()) {
        buffer[0] = 0;
        return 0;
    }
    std::size_t pos = 0;
    int count = 0;
    for (;;) {
        ++count;
        const auto chunk = text.substr(std::min(pos, text.size()), 4);
        unsigned value = 0;
        std::size_t i = 0;
        bool otherMet = false;
        for (; i < chunk.size(); ++i) {
            const int digit = HexDigit(chunk[i]);
            if (digit < 0) {
                otherMet = true;
                break;
            }
            value = value * 16 + static_cast<unsigned>(digit);
        }
        buffer[count] = static_cast<std::uint8_t>(value & 0xFF);
        if (!otherMet || count >= limit)
            break;
        pos += i + 1;
    }
    buffer[0] = static_cast<std::uint8_t>(count);
    return count;
}

std::string TStrCvt::ArrayIntToStr(const std::int32_t* values, int maxCount) {
    std::string text;
    if (values == nullptr)
        return text;
    const int count = std::clamp(values[0], 0, std::max(maxCount, 0));
    for (int i = 1; i <= count; ++i) {
        if (i > 1)
            text += ',';
        text += std::to_string(values[i]);
    }
    return text;
}

int TStrCvt::StrToArrayInt(std::int32_t* buffer, int maxCount, std::string_view text) {
    if (buffer == nullptr)
        return 0;
    // An empty list is written as the empty text and must read back empty.
    const auto values =
        TrimView(text).empty() ? std::vector<std::int32_t>{} : ParseIntPieces(text, maxCount);
    std::copy(values.begin(), values.end(), buffer + 1);
    buffer[0] = static_cast<std::int32_t>(values.size());
    return buffer[0];
}

std::string TStrCvt::IntListToStr(const std::int32_t* values, int count) {
    std::string text;
    for (int i = 0; values != nullptr && i < count; ++i) {
        if (i > 0)
            text += ',';
        text += std::to_string(values[i]);
    }
    return text;
}

int TStrCvt::StrToIntList(std::int32_t* values, int count, std::string_view text) {
    if (values == nullptr || TrimView(text).empty())
        return 0;
    const auto parsed = ParseIntPieces(text, count);
    std::copy(parsed.begin(), parsed.end(), values);
    return static_cast<int>(parsed.size());
}

std::string TbFile::ExtractFilePath(const std::string& name) {
    const auto slash = name.rfind('/');
    return slash == std::string::npos ? std::string{} : name.substr(0, slash + 1);
}

std::string TbFile::ExtractFileName(const std::string& name) {
    const auto slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string TbFile::FileNameExePath(const std::string& name) {
    if (!name.empty() && name.front() == '/')
        return name;
    return ProgramFolder() + "/" + name;
}

std::string TbFile::ExpandFileSubPath(const std::string& name, const std::string& folder) {
    if (!name.empty() && (name.front() == '/' || name.front() == '.'))
        return name;
    std::string result = folder;
    if (!result.empty() && result.back() != '/')
        result += '/';
    return FileNameExePath(result + name);
}

// Linux file names are case-sensitive, so the folder is compared exactly.
std::string TbFile::TruncPath(const std::string& name, const std::string& base) {
    const auto folder = ExtractFilePath(base);
    if (!folder.empty() && name.starts_with(folder))
        return name.substr(folder.size());
    return name;
}

std::string TbFile::TruncExePath(const std::string& name) {
    return TruncPath(name, ProgramBasePath());
}

std::string TbFile::TruncExeSubPath(const std::string& name, const std::string& sub) {
    std::string base = ProgramFolder() + "/" + sub;
    if (base.back() != '/')
        base += '/';
    return TruncPath(name, base);
}

std::string TbFile::FileNameParams(const std::string& name) {
    if (!name.empty() && name.front() == '/')
        return name;
    return ProgramFolder() + "/CFG/" + ExtractFileName(name);
}

std::string TbFile::ChangeFileNameExt(const std::string& name, const std::string& other) {
    return ExtractFilePath(name) + ExtractFileName(other);
}

std::uint32_t TbFile::GetFileVersion(const std::string& fileName) {
    if (!fileName.empty())
        return 0;
    const auto& version = VersionRecord();
    return (static_cast<std::uint32_t>(version.Major & 0xFFFF) << 16) |
           static_cast<std::uint32_t>(version.Minor & 0xFFFF);
}
