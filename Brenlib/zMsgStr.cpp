// SPDX-License-Identifier: GPL-3.0-or-later
#include "zMsgStr.h"

#include <cstdlib>

#include <QtGlobal>

#include "xHome.h"
#include "zExcept.h"
#include "zIniReg.h"
#include "zLang.h"
#include "zUtils.h"

TbMsgStr* MsgStr = nullptr;
TbMsgStr* MsgApp = nullptr;

// One opened file and, for a selected language, the "Default" file behind it.
struct TbMsgStr::TFiles {
    TFiles(const std::string& fileName, std::uint32_t lcid) : File(fileName, lcid) {}
    TbLangFile File;
    std::shared_ptr<const TFiles> Fallback;

    std::string GetLine(std::string_view section, int n, std::span<const TFmtArg> args,
                        bool format) const {
        const std::string key = "L" + std::to_string(std::abs(static_cast<long>(n)));
        std::string value = File.ReadString(section, key, "");
        if (format && !value.empty())
            value = FormatStr(value, args);
        if (value.empty() && Fallback)
            return Fallback->GetLine(section, n, args, format);
        if (value.empty())
            return ErrStr(section, n);
        return value.starts_with(';') ? std::string{} : value;
    }

    std::string ErrStr(std::string_view section, int n) const {
        return "ERROR: " + std::string(section) + "." + std::to_string(n) + "\n\r(" +
               File.FileName() + ")";
    }
};

namespace {

std::string SharedMsgFile() {
    const TRegistryB shared(TRegistryB::TRoot::LocalMachine, "Brenvik", "", "Shared");
    const std::string value = shared.ReadString("", "FileMsgs", "");
    return value.empty() ? value : TbFile::FileNameExePath(NativeSeparators(value));
}

bool FileExists(const std::string& name) {
    return TbLangFile(name, 0).Exists();
}

} // namespace

tAskResult AskResultOf(int button) {
    switch (button) {
    case idOk:
    case idYes:
        return arYes;
    case idCancel:
    case idAbort:
    case idIgnore:
        return arCancel;
    default:
        return arNo;
    }
}

TbMsgStr::TbMsgStr(std::string stem, bool sharedPath)
    : m_stem(std::move(stem)), m_sharedPath(sharedPath) {
    Reopen();
    if (LangDef != nullptr)
        m_notifyId = LangDef->AddNotify([this](const std::string&) { Reopen(); });
}

TbMsgStr::~TbMsgStr() {
    if (LangDef != nullptr && m_notifyId != 0)
        LangDef->RemoveNotify(m_notifyId);
}

void TbMsgStr::Reopen() {
    const auto nameFor = [this](tLangOpenMode modes) {
        std::string name = LangDef != nullptr
                               ? LangDef->FileNameLang(m_stem, ".hnt", modes)
                               : ShippedDataFolder() + "/" + TbLangDef::kDefaultFolder + "/" +
                                     (m_stem.empty() ? TbLangDef::ProgramFileName() : m_stem) +
                                     ".hnt";
        if (m_sharedPath && !FileExists(name))
            if (std::string shared = SharedMsgFile(); !shared.empty())
                name = shared;
        return name;
    };
    const bool selected = LangDef != nullptr && LangDef->ItemIndex() != 0;
    auto files =
        std::make_shared<TFiles>(nameFor(lomCanDefault), LangDef != nullptr ? LangDef->Lcid() : 0);
    if (selected)
        files->Fallback = std::make_shared<const TFiles>(nameFor(lomForceDefault), 0);
    if (OpenFileTrace)
        for (const TFiles* f = files.get(); f != nullptr; f = f->Fallback.get())
            OpenFileTrace("TbMsgStr", f->File.FileName(), f->File.Exists());
    const std::lock_guard lock(m_mutex);
    m_files = std::move(files);
}

std::shared_ptr<const TbMsgStr::TFiles> TbMsgStr::Files() const {
    const std::lock_guard lock(m_mutex);
    return m_files;
}

std::string TbMsgStr::FileName() const {
    return Files()->File.FileName();
}

std::string TbMsgStr::FallbackFileName() const {
    const auto files = Files();
    return files->Fallback ? files->Fallback->File.FileName() : std::string{};
}

std::string TbMsgStr::GetLine(std::string_view section, int n) const {
    return Files()->GetLine(section, n, {}, false);
}

std::string TbMsgStr::GetLineFmtList(std::string_view section, int n,
                                     std::span<const TFmtArg> args) const {
    return Files()->GetLine(section, n, args, true);
}

std::string TbMsgStr::GetErrStr(std::string_view section, int n) const {
    return Files()->ErrStr(section, n);
}

std::string TbMsgStr::GetValue(std::string_view section, std::string_view key,
                               std::string_view def) const {
    for (auto files = Files(); files; files = files->Fallback)
        if (std::string value = files->File.ReadString(section, key, ""); !value.empty())
            return value;
    return std::string(def);
}

tAskResult TbMsgStr::MessageBox(std::string_view section, int n, unsigned flags) const {
    return ShowAsk(GetLine(section, n), flags);
}

tAskResult TbMsgStr::ShowAsk(const std::string& text, unsigned flags) const {
    if (!ShowBox) {
        qWarning("Confirm: %s", text.c_str());
        return arCancel;
    }
    return AskResultOf(ShowBox(text, "Confirm", flags));
}

void TbMsgStr::DoRaise(int n) const {
    throw EbMsgStr(GetLine("Errors", n));
}

bool TbMsgStr::MakeLangFile(std::string& name) {
    if (LangDef == nullptr)
        return false;
    name = LangDef->FileNameLang(name, ".hnt", lomCanDefault);
    return FileExists(name);
}

TbMsgStr* CreateMsgStr() {
    auto* store = new TbMsgStr("MsgStr", true);
    if (MsgStr == nullptr)
        MsgStr = store;
    return store;
}

TbMsgStr* CreateMsgApp() {
    return new TbMsgStr({}, false);
}

void InitMsgStrings() {
    CreateLangDef();
    if (MsgStr == nullptr)
        CreateMsgStr();
    if (MsgApp == nullptr)
        MsgApp = CreateMsgApp();
    SetMsgLineSource([](std::string_view section, int number) {
        TbMsgStr* store = MsgStr;
        return store != nullptr ? store->GetLine(section, number) : BuiltinMsgLine(section, number);
    });
    TbIniReg::ReportMessage = [](std::string_view group, int number, std::string_view argument) {
        if (MsgStr != nullptr)
            MsgStr->MessageBoxFmt(group, number, mbOK | mbIconWarning, argument);
    };
}

void DoneMsgStrings() {
    SetMsgLineSource({});
    TbIniReg::ReportMessage = {};
    delete MsgApp;
    MsgApp = nullptr;
    delete MsgStr;
    MsgStr = nullptr;
}

std::string LookupMessageText(const std::string& section, const std::string& key,
                              const std::string& def) {
    for (TbMsgStr* store : {MsgApp, MsgStr})
        if (store != nullptr)
            if (std::string value = store->GetValue(section, key, ""); !value.empty())
                return value;
    return def;
}
