// SPDX-License-Identifier: GPL-3.0-or-later
// Text conversions and file-name helpers of the settings store. Every number
// the store reads from a settings file goes through the strict conversions
// here, so that a hand-edited value either converts completely or raises
// EConvertError with the offending text.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// A text that does not convert to the number kind asked for.
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
};

// Leading and trailing blanks (space, tab, CR, LF) removed.
std::string_view TrimView(std::string_view text);
std::string Trim(std::string_view text);
std::string UpperCase(std::string_view text);
// Compares without regard to ASCII case.
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);

// Signed decimal, blanks around it allowed; anything else (empty text, other
// characters, a value outside the 32-bit range) raises EConvertError.
std::int32_t StrToInt(std::string_view text);
std::int32_t StrToIntDef(std::string_view text, std::int32_t def);
// Decimal floating point with "." whatever the process locale is.
double StrToFloat(std::string_view text);
// Fixed notation with the given number of decimals ("%.*f"), locale-free.
std::string FloatToStrF(double value, int decimals);
// General format with 6 significant digits ("%g"), locale-free.
std::string FloatToStrG(double value);
std::string IntToStr(std::int64_t value);

// Length-prefixed buffers of the settings tables.
class TStrCvt final {
public:
    // bytes[0] = count n, bytes[1..n] = data. Never reads past size bytes.
    static std::string HexToStrBytes(const std::uint8_t* bytes, int size);
    // Two hexadecimal digits per byte read from the front of each piece; see
    // the .cpp. Stores at most min(maxCount - 1, highIndex) bytes at
    // buffer[1..] and their count in buffer[0]; returns the count. The empty
    // text gives count 0.
    static int StrToHexBytes(std::uint8_t* buffer, int highIndex, int maxCount,
                             std::string_view text);
    // values[0] = count n (clamped to 0..maxCount), values[1..n] = data.
    static std::string ArrayIntToStr(const std::int32_t* values, int maxCount);
    // Stores at most maxCount values at buffer[1..] and their count in
    // buffer[0]; buffer must hold maxCount + 1 values. The empty text gives
    // count 0. A piece that is not a number raises EConvertError and leaves
    // the buffer untouched.
    static int StrToArrayInt(std::int32_t* buffer, int maxCount, std::string_view text);
    // The kind-7 list: all count values joined by ",".
    static std::string IntListToStr(const std::int32_t* values, int count);
    // Up to count values from the front; missing ones keep their values, the
    // empty text keeps all. Returns the number of values stored. A piece that
    // is not a number raises EConvertError and leaves the values untouched.
    static int StrToIntList(std::int32_t* values, int count, std::string_view text);
};

// File names relative to the program's folder (ProgramFolder()).
class TbFile final {
public:
    // A relative name is prefixed with the program's folder.
    static std::string FileNameExePath(const std::string& name);
    // A name that is absolute or starts with "." is returned unchanged;
    // otherwise folder + "/" + name, completed by FileNameExePath.
    static std::string ExpandFileSubPath(const std::string& name, const std::string& folder);
    // Removes base's folder from the front of name when it is there.
    static std::string TruncPath(const std::string& name, const std::string& base);
    static std::string TruncExePath(const std::string& name);
    static std::string TruncExeSubPath(const std::string& name, const std::string& sub);
    // An absolute name unchanged, otherwise the program's folder + "CFG/" +
    // the name's file part.
    static std::string FileNameParams(const std::string& name);
    // The folder of name + the file part of other.
    static std::string ChangeFileNameExt(const std::string& name, const std::string& other);
    // Major version in the upper 16 bits, minor in the lower; the empty name
    // is the program itself. Other files carry no version record here: 0.
    static std::uint32_t GetFileVersion(const std::string& fileName);
    // Folder part including the last "/", and the file part after it.
    static std::string ExtractFilePath(const std::string& name);
    static std::string ExtractFileName(const std::string& name);
};
