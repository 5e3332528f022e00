// SPDX-License-Identifier: GPL-3.0-or-later
#include "uLogCsv.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include <sys/stat.h>

std::string LogCsvHeader() {
    return "side,report_time_ms,input_kbps,output_kbps,lost";
}

std::string LogCsvRow(const TLogRecord& r) {
    return std::string(1, r.Side) + "," + std::to_string(r.ReportTime) + "," +
           std::to_string(r.Input) + "," + std::to_string(r.Output) + "," + std::to_string(r.Lost);
}

TLogResult WriteLogCsv(const std::string& path, std::FILE* out) {
    const auto fail = [&](tLogStatus status, const std::string& what) {
        TLogResult result;
        result.Status = status;
        result.Message = what;
        return result;
    };
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return fail(lsOpenFailed, "cannot open result log '" + path + "': " + std::strerror(errno));
    if (!S_ISREG(info.st_mode))
        return fail(lsNotAFile, "'" + path + "' is not a regular file");
    if (info.st_size <= static_cast<off_t>(kLogRecordSize))
        return fail(lsTooShort, "'" + path + "' holds 16 bytes or less: nothing to show");
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rb"),
                                                             &std::fclose);
    if (!in)
        return fail(lsOpenFailed, "cannot open result log '" + path + "': " + std::strerror(errno));
    std::fprintf(out, "%s\n", LogCsvHeader().c_str());
    std::array<std::uint8_t, kLogRecordSize * 1024> chunk{};
    std::size_t carry = 0;
    for (;;) {
        const std::size_t got = std::fread(chunk.data() + carry, 1, chunk.size() - carry, in.get());
        const std::size_t have = carry + got;
        const std::size_t whole = have / kLogRecordSize * kLogRecordSize;
        for (std::size_t at = 0; at < whole; at += kLogRecordSize)
            std::fprintf(out, "%s\n", LogCsvRow(DecodeLogRecord(chunk.data() + at)).c_str());
        carry = have - whole;
        std::memmove(chunk.data(), chunk.data() + whole, carry);
        if (got == 0)
            break;
    }
    if (std::ferror(in.get()))
        return fail(lsReadFailed, "reading '" + path + "' failed");
    if (carry != 0)
        return fail(lsTruncated, "'" + path + "' ends in a partial record of " +
                                     std::to_string(carry) + " bytes: the file is truncated");
    return {};
}
