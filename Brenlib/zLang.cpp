// SPDX-License-Identifier: GPL-3.0-or-later
#include "zLang.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <QLocale>
#include <QMetaObject>
#include <QObject>
#include <QtGlobal>

#include "bConfig.h"
#include "xHome.h"
#include "zIniReg.h"
#include "zUtils.h"

TbLangDef* LangDef = nullptr;
TOpenFileTrace OpenFileTrace;

namespace {

namespace fs = std::filesystem;

struct TLocaleLcid {
    const char* name;
    std::uint32_t lcid;
};

// Language-and-region entries first: a lookup tries "ll_CC", then "ll".
constexpr TLocaleLcid kLocaleLcids[] = {
    {"de_AT", 0x0C07}, {"de_CH", 0x0807}, {"en_GB", 0x0809}, {"fr_CA", 0x0C0C}, {"fr_BE", 0x080C},
    {"pt_BR", 0x0416}, {"zh_TW", 0x0404}, {"sr_RS", 0x0C1A}, {"ar", 0x0401},    {"bg", 0x0402},
    {"cs", 0x0405},    {"da", 0x0406},    {"de", 0x0407},    {"el", 0x0408},    {"en", 0x0409},
    {"es", 0x0C0A},    {"et", 0x0425},    {"fa", 0x0429},    {"fi", 0x040B},    {"fr", 0x040C},
    {"he", 0x040D},    {"hr", 0x041A},    {"hu", 0x040E},    {"it", 0x0410},    {"ja", 0x0411},
    {"ko", 0x0412},    {"lt", 0x0427},    {"lv", 0x0426},    {"mk", 0x042F},    {"nb", 0x0414},
    {"nl", 0x0413},    {"pl", 0x0415},    {"pt", 0x0816},    {"ro", 0x0418},    {"ru", 0x0419},
    {"sk", 0x041B},    {"sl", 0x0424},    {"sq", 0x041C},    {"sv", 0x041D},    {"th", 0x041E},
    {"tr", 0x041F},    {"uk", 0x0422},    {"be", 0x0423},    {"vi", 0x042A},    {"zh", 0x0804},
    {"kk", 0x043F},
};

std::string ReadAll(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes data beside fileName and renames it over the file, so the file is
// either the old or the new text.
bool WriteAtomically(const std::string& fileName, const std::string& data) {
    const std::string temp = fileName + ".tmp~";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < data.size()) {
        const auto n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || std::rename(temp.c_str(), fileName.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace

int CodePageOfLcid(std::uint32_t lcid) {
    const std::uint32_t primary = lcid & 0x3FF;
    const std::uint32_t sub = (lcid >> 10) & 0x3F;
    switch (primary) {
    case 0x05:
    case 0x0E:
    case 0x15:
    case 0x18:
    case 0x1B:
    case 0x1C:
    case 0x24:
        return 1250;
    case 0x1A: // Croatian and Serbian or Bosnian in Latin script; Cyrillic sublanguages
        return (sub == 3 || sub == 7 || sub == 8) ? 1251 : 1250;
    case 0x02:
    case 0x19:
    case 0x22:
    case 0x23:
    case 0x2F:
    case 0x3F:
    case 0x40:
    case 0x44:
    case 0x50:
        return 1251;
    case 0x2C:
    case 0x43: // Azeri and Uzbek: Latin 1254, Cyrillic 1251
        return sub == 2 ? 1251 : 1254;
    case 0x08:
        return 1253;
    case 0x1F:
        return 1254;
    case 0x0D:
        return 1255;
    case 0x01:
    case 0x20:
    case 0x29:
        return 1256;
    case 0x25:
    case 0x26:
    case 0x27:
        return 1257;
    case 0x2A:
        return 1258;
    case 0x1E:
        return 874;
    default:
        return 1252;
    }
}

std::uint32_t LcidOfLocaleName(std::string_view name) {
    const auto cut = name.find_first_of(".@");
    const std::string full(name.substr(0, cut));
    const std::string language = full.substr(0, full.find('_'));
    for (const std::string& candidate : {full, language})
        for (const auto& entry : kLocaleLcids)
            if (candidate == entry.name)
                return entry.lcid;
    return 0;
}

namespace {

// The length of the well-formed UTF-8 sequence at text[i]; 0 when none
// begins there.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    std::uint32_t min = 0;
    if (c < 0x80)
        return 1;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + extra >= text.size())
        return 0;
    std::uint32_t code = c & (0x3Fu >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto d = static_cast<unsigned char>(text[i + k]);
        if ((d & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (d & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return extra + 1;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8SequenceAt(text, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string ValidUtf8(std::string text) {
    if (IsValidUtf8(text))
        return text;
    std::string out;
    out.reserve(text.size() + 16);
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8SequenceAt(text, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text, i, n);
            i += n;
        }
    }
    return out;
}

std::string AnsiToUtf8(std::string_view text, int codePage) {
    const std::string from = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = iconv_open("UTF-8", "CP1252");
    std::string out;
    out.reserve(text.size() * 2);
    std::string in(text);
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const auto rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A byte the code page leaves undefined (0x81 in CP1252, ...).
            out += "\xEF\xBF\xBD";
            ++inPtr;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

std::string NativeSeparators(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

// ---------------------------------------------------------------- TbLangFile

TbLangFile::TbLangFile(const std::string& fileName, std::uint32_t lcid)
    : TIniFileB(NativeSeparators(fileName)), m_codePage(CodePageOfLcid(lcid)) {
    const std::string data = ReadAll(FileName());
    m_utf8 = data.starts_with("\xEF\xBB\xBF") || IsValidUtf8(data);
}

bool TbLangFile::Exists() const {
    std::error_code ec;
    return fs::is_regular_file(FileName(), ec);
}

std::string TbLangFile::Decode(std::string text) const {
    return m_utf8 ? ValidUtf8(std::move(text)) : AnsiToUtf8(text, m_codePage);
}

std::string TbLangFile::ReadString(std::string_view section, std::string_view key,
                                   std::string_view def) const {
    if (!ValueExists(section, key))
        return std::string(def);
    return Decode(TIniFileB::ReadString(section, key, def));
}

void TbLangFile::WriteString(std::string_view section, std::string_view key,
                             std::string_view value) {
    EnsureUtf8();
    TIniFileB::WriteString(section, key, value);
}

TIniValues TbLangFile::ReadValues(std::string_view section) const {
    auto values = ReadSectionValues(section);
    for (auto& [key, value] : values) {
        key = Decode(key);
        value = Decode(value);
    }
    return values;
}

std::vector<std::string> TbLangFile::ReadLines(std::string_view section) const {
    auto lines = ReadSectionLines(section);
    for (auto& line : lines)
        line = Decode(line);
    return lines;
}

void TbLangFile::ReplaceValues(std::string_view section, const TIniValues& values) {
    EnsureUtf8();
    ReplaceSection(section, values);
}

void TbLangFile::WriteLines(std::string_view section, const std::vector<std::string>& lines) {
    EnsureUtf8();
    WriteSectionLines(section, lines);
}

void TbLangFile::Erase(std::string_view section) {
    EnsureUtf8();
    EraseSection(section);
}

void TbLangFile::EnsureUtf8() {
    if (m_utf8)
        return;
    const std::string data = ReadAll(FileName());
    if (data.starts_with("\xEF\xBB\xBF") || IsValidUtf8(data)) {
        m_utf8 = true;
        return;
    }
    // A file without any write permission stays as it is, also for root.
    std::error_code ec;
    const auto perms = fs::status(FileName(), ec).permissions();
    if (!ec && (perms & (fs::perms::owner_write | fs::perms::group_write |
                         fs::perms::others_write)) == fs::perms::none)
        throw EIniFileException("Unable to write to " + FileName());
    const std::string backup = FileName() + ".bak";
    if (!fs::exists(backup, ec) && !WriteAtomically(backup, data))
        throw EIniFileException("Unable to write to " + backup);
    if (!WriteAtomically(FileName(), AnsiToUtf8(data, m_codePage)))
        throw EIniFileException("Unable to write to " + FileName());
    m_utf8 = true;
}

// ----------------------------------------------------------------- TbLangDef

TbLangDef::TbLangDef() {
    SystemLcid = LcidOfLocaleName(QLocale::system().name().toStdString());
    UpdateLangList();
}

TbLangDef::~TbLangDef() {
    if (LangDef == this)
        LangDef = nullptr;
}

std::string TbLangDef::LangFolder() {
    return ShippedDataFolder();
}

std::string TbLangDef::ProgramFileName() {
    return TbFile::ExtractFileName(ProgramBasePath());
}

void TbLangDef::UpdateLangList() {
    m_languages.assign(1, TLangEntry{kNone, 0});
    m_index = 0;
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(LangFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code dirEc;
        if (!it->is_directory(dirEc))
            continue;
        const std::string name = it->path().filename().string();
        if (name.starts_with('.') || SameText(name, kDefaultFolder))
            continue;
        if (fs::is_regular_file(it->path() / (ProgramFileName() + ".lng"), dirEc))
            names.push_back(name);
    }
    // Directory order is arbitrary; the menu shows the languages sorted.
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    for (const auto& name : names) {
        const TIniFileB file(LangFolder() + "/" + name + "/" + ProgramFileName() + ".lng");
        const std::string text = file.ReadString(".Define", "LCID", "");
        std::uint32_t lcid = 0;
        if (!Trim(text).empty()) {
            try {
                lcid = static_cast<std::uint32_t>(StrToInt(text));
            } catch (const EConvertError&) {
                qWarning("Language %s: LCID \"%s\" is not a number; taken as 0", name.c_str(),
                         text.c_str());
            }
        }
        m_languages.push_back({name, lcid});
    }
}

std::string TbLangDef::GetLanguage() const {
    return m_index == 0 ? std::string{} : m_languages[static_cast<std::size_t>(m_index)].Name;
}

int TbLangDef::IndexOf(std::string_view name) const {
    for (int i = static_cast<int>(m_languages.size()) - 1; i > 0; --i)
        if (SameText(m_languages[static_cast<std::size_t>(i)].Name, name))
            return i;
    return 0;
}

void TbLangDef::InitLanguage() {
    int index = 0;
    if (!CfgPar.Language.empty()) {
        index = IndexOf(CfgPar.Language);
    } else if (SystemLcid != 0) {
        for (std::size_t i = 1; i < m_languages.size() && index == 0; ++i)
            if (m_languages[i].Lcid == SystemLcid)
                index = static_cast<int>(i);
    }
    // Without a language nothing is stored: a language whose folder is gone
    // stays stored for a later run, "<None>" stays the user's choice, and a
    // choice never made is left to the locale of a later start.
    const bool keepStored = index == 0;
    Select(index);
    if (!keepStored)
        SaveChoice();
    Notify(GetLanguage());
    DoApplyLanguage();
}

void TbLangDef::SetLanguage(const std::string& name) {
    if (name == GetLanguage())
        return;
    Select(IndexOf(name));
    SaveChoice();
    Notify(GetLanguage());
    DoApplyLanguage();
}

void TbLangDef::SetItemIndex(int index) {
    if (index < 0 || index >= static_cast<int>(m_languages.size()))
        index = 0;
    CfgPar.Language = m_languages[static_cast<std::size_t>(index)].Name;
    if (DoUpdateLanguage())
        DoApplyLanguage();
}

bool TbLangDef::DoUpdateLanguage() {
    if (IndexOf(CfgPar.Language) == m_index)
        return false;
    Select(IndexOf(CfgPar.Language));
    SaveChoice();
    Notify(GetLanguage());
    return true;
}

void TbLangDef::Select(int index) {
    m_index = index;
}

void TbLangDef::SaveChoice() {
    // "<None>" is stored as itself: an empty value means never chosen, and
    // would let the system's locale pick a language at the next start.
    CfgPar.Language = m_languages[static_cast<std::size_t>(m_index)].Name;
    try {
        CfgPar.Save();
    } catch (const std::exception& error) {
        qWarning("Language choice not saved: %s", error.what());
    }
}

void TbLangDef::Notify(const std::string& language) {
    const auto copy = m_listeners;
    for (const auto& entry : copy) {
        const bool live = std::any_of(m_listeners.begin(), m_listeners.end(),
                                      [&](const TNotify& n) { return n.Id == entry.Id; });
        if (live && entry.Call && *entry.Call)
            (*entry.Call)(language);
    }
}

void TbLangDef::DoApplyLanguage(const std::string& className) {
    if (!ApplyHook)
        return;
    m_applying = true;
    try {
        ApplyHook(className);
    } catch (...) {
        m_applying = false;
        throw;
    }
    m_applying = false;
}

bool TbLangDef::DoTranslate(QObject* component, bool saving) {
    // Without translation the form's components are still noted as its own.
    if (!MainWindowExists || (m_index == 0 && !CfgPar.UpLang && !m_applying)) {
        if (CreatedHook && !m_applying)
            CreatedHook(component);
        return MainWindowExists;
    }
    const bool upLang = CfgPar.UpLang;
    if (TranslateHook)
        TranslateHook(component, saving && upLang);
    return true;
}

std::string TbLangDef::FileNameLang(const std::string& file, const std::string& extension,
                                    tLangOpenMode modes) const {
    std::string base = TbFile::ExtractFileName(NativeSeparators(file));
    if (base.empty())
        base = ProgramFileName();
    if (const auto dot = base.rfind('.'); dot != std::string::npos && dot > 0)
        base.resize(dot);
    base += extension;
    const std::string defaultName = LangFolder() + "/" + kDefaultFolder + "/" + base;
    if (modes.testFlag(lomForceDefault) || m_index == 0)
        return defaultName;
    // The folder is the listed name, never a text from outside.
    const std::string name =
        LangFolder() + "/" + m_languages[static_cast<std::size_t>(m_index)].Name + "/" + base;
    std::error_code ec;
    if (modes.testFlag(lomCanDefault) && !fs::exists(name, ec) && fs::exists(defaultName, ec))
        return defaultName;
    return name;
}

int TbLangDef::AddNotify(TListener listener) {
    const int id = m_nextId++;
    m_listeners.push_back({id, std::make_shared<TListener>(std::move(listener))});
    return id;
}

void TbLangDef::RemoveNotify(int id) {
    std::erase_if(m_listeners, [id](const TNotify& n) { return n.Id == id; });
}

void TbLangDef::RegisterRootClass(const QMetaObject* root) {
    if (root != nullptr && std::find(m_roots.begin(), m_roots.end(), root) == m_roots.end())
        m_roots.push_back(root);
}

int TbLangDef::IsInheritsFrom(const QMetaObject* meta) const {
    int depth = 0;
    for (const QMetaObject* m = meta; m != nullptr; m = m->superClass(), ++depth)
        if (std::find(m_roots.begin(), m_roots.end(), m) != m_roots.end())
            return depth;
    return -1;
}

bool TbLangDef::IsForm(const QObject* object) const {
    return object != nullptr && IsInheritsFrom(object->metaObject()) >= 0;
}

std::vector<std::string> TbLangDef::AncestorNames(const QMetaObject* meta) const {
    std::vector<std::string> names;
    const int depth = IsInheritsFrom(meta);
    const QMetaObject* m = meta;
    for (int i = 1; i < depth; ++i) {
        m = m->superClass();
        names.emplace_back(m->className());
    }
    return names;
}

TbLangDef* CreateLangDef() {
    if (LangDef == nullptr)
        LangDef = new TbLangDef;
    return LangDef;
}

void FreeLangDef() {
    delete LangDef;
    LangDef = nullptr;
}
