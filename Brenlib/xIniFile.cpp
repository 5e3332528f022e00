// SPDX-License-Identifier: GPL-3.0-or-later
#include "xIniFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "zUtils.h"

namespace {

namespace fs = std::filesystem;

enum class TLineType { Other, Section, Key };

struct TLine {
    std::string text; // without its line end
    std::string eol;  // "\n", "\r\n", or "" for a last line without one
    TLineType type = TLineType::Other;
    std::string name;           // section or key name, trimmed
    std::size_t valueStart = 0; // keys: first character after "=" and its blanks
};

struct TDocument {
    bool bom = false;
    std::string eol = "\n"; // line end for new lines: the file's own
    std::vector<TLine> lines;
};

void ParseLine(TLine& line) {
    const std::string_view text = line.text;
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return;
    if (text[first] == '[') {
        const auto close = text.find(']', first);
        line.type = TLineType::Section;
        line.name =
            Trim(text.substr(first + 1, close == std::string_view::npos ? std::string_view::npos
                                                                        : close - first - 1));
        return;
    }
    if (text[first] == ';' || text[first] == '#')
        return;
    const auto equal = text.find('=');
    if (equal == std::string_view::npos)
        return;
    line.type = TLineType::Key;
    line.name = Trim(text.substr(0, equal));
    line.valueStart = text.find_first_not_of(" \t", equal + 1);
    if (line.valueStart == std::string_view::npos)
        line.valueStart = text.size();
}

TDocument Load(const std::string& fileName) {
    TDocument doc;
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return doc;
    std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string_view rest = data;
    if (rest.starts_with("\xEF\xBB\xBF")) {
        doc.bom = true;
        rest.remove_prefix(3);
    }
    bool eolKnown = false;
    while (!rest.empty()) {
        TLine line;
        const auto newline = rest.find('\n');
        std::string_view text = rest.substr(0, newline);
        if (newline != std::string_view::npos) {
            if (text.ends_with('\r')) {
                text.remove_suffix(1);
                line.eol = "\r\n";
            } else {
                line.eol = "\n";
            }
            if (!eolKnown) {
                doc.eol = line.eol;
                eolKnown = true;
            }
            rest.remove_prefix(newline + 1);
        } else {
            rest = {};
        }
        line.text = text;
        ParseLine(line);
        doc.lines.push_back(std::move(line));
    }
    return doc;
}

std::string Serialize(const TDocument& doc) {
    std::string data = doc.bom ? "\xEF\xBB\xBF" : "";
    for (const auto& line : doc.lines)
        data += line.text + line.eol;
    return data;
}

constexpr std::size_t npos = std::string::npos;

std::size_t FindSection(const TDocument& doc, std::string_view section, std::size_t from = 0) {
    const auto name = TrimView(section);
    for (std::size_t i = from; i < doc.lines.size(); ++i)
        if (doc.lines[i].type == TLineType::Section && SameText(doc.lines[i].name, name))
            return i;
    return npos;
}

// One past the last line of the section whose header is at index header.
std::size_t SectionEnd(const TDocument& doc, std::size_t header) {
    std::size_t i = header + 1;
    while (i < doc.lines.size() && doc.lines[i].type != TLineType::Section)
        ++i;
    return i;
}

std::size_t FindKey(const TDocument& doc, std::size_t header, std::string_view key) {
    const auto name = TrimView(key);
    const auto end = SectionEnd(doc, header);
    for (std::size_t i = header + 1; i < end; ++i)
        if (doc.lines[i].type == TLineType::Key && SameText(doc.lines[i].name, name))
            return i;
    return npos;
}

bool Quoted(std::string_view value) {
    return value.size() >= 2 && value.front() == value.back() &&
           (value.front() == '"' || value.front() == '\'');
}

std::string ValueOf(const TLine& line) {
    auto value = TrimView(std::string_view(line.text).substr(line.valueStart));
    // One pair of enclosing quotes is not part of the value.
    if (Quoted(value))
        value = value.substr(1, value.size() - 2);
    if (value.size() > TIniFile::kMaxValueLength) {
        // Cut at a character boundary: never half of a UTF-8 sequence.
        std::size_t n = TIniFile::kMaxValueLength;
        while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80)
            --n;
        value = value.substr(0, n);
    }
    return std::string(value);
}

TLine MakeLine(const TDocument& doc, std::string text) {
    TLine line;
    line.text = std::move(text);
    line.eol = doc.eol;
    ParseLine(line);
    return line;
}

// Lines are inserted before index at; the line before them gets a line end
// if it was the file's last line without one.
void InsertLines(TDocument& doc, std::size_t at, std::vector<TLine> lines) {
    if (at > 0 && doc.lines[at - 1].eol.empty())
        doc.lines[at - 1].eol = doc.eol;
    doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at),
                     std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
}

std::string CheckedSection(std::string_view section) {
    auto name = Trim(section);
    if (name.empty() || name.find_first_of("]\r\n") != std::string::npos)
        throw EIniFileException("Invalid section name '" + std::string(section) + "'");
    return name;
}

std::string CheckedKey(std::string_view key) {
    auto name = Trim(key);
    if (name.empty() || name.find_first_of("=\r\n") != std::string::npos || name.front() == '[' ||
        name.front() == ';' || name.front() == '#')
        throw EIniFileException("Invalid key name '" + std::string(key) + "'");
    return name;
}

// The text of a value as written: on one line, and quoted when the reader
// would otherwise lose its outer blanks or its own enclosing quotes.
std::string ValueText(std::string_view value) {
    std::string text(value);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (!text.empty() && (blank(text.front()) || blank(text.back()) || Quoted(text)))
        return '"' + text + '"';
    return text;
}

// Writes data to a new file beside target and renames it over target, so that
// the old contents stay whole until the new ones are complete on disk.
void ReplaceFile(const std::string& fileName, const std::string& data) {
    const auto fail = [&fileName]() -> void {
        throw EIniFileException("Unable to write to " + fileName);
    };
    std::error_code ec;
    fs::path target = fileName;
    if (fs::is_symlink(target, ec)) {
        // Replace the link's target, keep the link.
        target = fs::weakly_canonical(target, ec);
        if (ec)
            fail();
    }
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    // A file without any write permission is read-only for us, also when we
    // run as root.
    if (exists && ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
        fail();

    static std::atomic<unsigned> serial{0};
    const auto folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = (folder / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) +
                          "." + std::to_string(serial++)))
                   .string();
        // 0666 filtered by the umask, as any new file of the program.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        fail();
    bool ok = !exists || ::fchmod(fd, st.st_mode & 07777) == 0;
    for (std::size_t done = 0; ok && done < data.size();) {
        const auto n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        fail();
    }
}

void Store(const std::string& fileName, const TDocument& doc, const std::string& before) {
    const auto after = Serialize(doc);
    if (after != before)
        ReplaceFile(fileName, after);
}

} // namespace

TIniFile::TIniFile(std::string fileName) : m_fileName(std::move(fileName)) {}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
    const auto doc = Load(m_fileName);
    const auto header = FindSection(doc, section);
    if (header == npos)
        return std::string(def);
    const auto line = FindKey(doc, header, key);
    return line == npos ? std::string(def) : ValueOf(doc.lines[line]);
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const auto sectionName = CheckedSection(section);
    const auto keyName = CheckedKey(key);
    const auto text = ValueText(value);
    auto doc = Load(m_fileName);
    const auto before = Serialize(doc);
    const auto header = FindSection(doc, sectionName);
    if (header == npos) {
        InsertLines(doc, doc.lines.size(),
                    {MakeLine(doc, "[" + sectionName + "]"), MakeLine(doc, keyName + "=" + text)});
    } else if (const auto at = FindKey(doc, header, keyName); at != npos) {
        // Keep the key's own spelling and the blanks around "=".
        auto& line = doc.lines[at];
        line.text = line.text.substr(0, line.valueStart) + text;
    } else {
        auto last = header;
        for (auto i = header + 1; i < SectionEnd(doc, header); ++i)
            if (doc.lines[i].type == TLineType::Key)
                last = i;
        InsertLines(doc, last + 1, {MakeLine(doc, keyName + "=" + text)});
    }
    Store(m_fileName, doc, before);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                                   std::int32_t def) const {
    return StrToIntDef(ReadString(section, key, ""), def);
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
    std::vector<std::string> keys;
    for (auto& [key, value] : ReadSectionValues(section))
        keys.push_back(std::move(key));
    return keys;
}

std::vector<std::string> TIniFile::ReadSections() const {
    const auto doc = Load(m_fileName);
    std::vector<std::string> sections;
    for (const auto& line : doc.lines)
        if (line.type == TLineType::Section &&
            std::none_of(sections.begin(), sections.end(),
                         [&](const std::string& s) { return SameText(s, line.name); }))
            sections.push_back(line.name);
    return sections;
}

TIniValues TIniFile::ReadSectionValues(std::string_view section) const {
    const auto doc = Load(m_fileName);
    TIniValues values;
    const auto header = FindSection(doc, section);
    if (header == npos)
        return values;
    const auto end = SectionEnd(doc, header);
    for (auto i = header + 1; i < end; ++i) {
        const auto& line = doc.lines[i];
        if (line.type == TLineType::Key && !line.name.empty() &&
            std::none_of(values.begin(), values.end(),
                         [&](const auto& v) { return SameText(v.first, line.name); }))
            values.emplace_back(line.name, ValueOf(line));
    }
    return values;
}

bool TIniFile::SectionExists(std::string_view section) const {
    return FindSection(Load(m_fileName), section) != npos;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    const auto doc = Load(m_fileName);
    const auto header = FindSection(doc, section);
    return header != npos && FindKey(doc, header, key) != npos;
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key) {
    auto doc = Load(m_fileName);
    const auto before = Serialize(doc);
    const auto header = FindSection(doc, section);
    if (header == npos)
        return;
    // Every line of that name goes, so that no later duplicate shows through.
    for (auto at = FindKey(doc, header, key); at != npos; at = FindKey(doc, header, key))
        doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(at));
    Store(m_fileName, doc, before);
}

void TIniFile::EraseSection(std::string_view section) {
    auto doc = Load(m_fileName);
    const auto before = Serialize(doc);
    for (auto header = FindSection(doc, section); header != npos;
         header = FindSection(doc, section, header)) {
        doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(header),
                        doc.lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(doc, header)));
    }
    Store(m_fileName, doc, before);
}

void TIniFile::ReplaceSection(std::string_view section, const TIniValues& values) {
    const auto sectionName = CheckedSection(section);
    auto doc = Load(m_fileName);
    const auto before = Serialize(doc);
    std::vector<TLine> lines;
    for (const auto& [key, value] : values)
        lines.push_back(MakeLine(doc, CheckedKey(key) + "=" + ValueText(value)));
    auto header = FindSection(doc, sectionName);
    if (header == npos) {
        if (lines.empty())
            return;
        lines.insert(lines.begin(), MakeLine(doc, "[" + sectionName + "]"));
        InsertLines(doc, doc.lines.size(), std::move(lines));
    } else {
        std::size_t at = npos;
        for (auto i = header + 1; i < SectionEnd(doc, header);) {
            if (doc.lines[i].type == TLineType::Key) {
                doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(i));
                at = std::min(at, i);
            } else {
                ++i;
            }
        }
        InsertLines(doc, at == npos ? header + 1 : at, std::move(lines));
    }
    Store(m_fileName, doc, before);
}
