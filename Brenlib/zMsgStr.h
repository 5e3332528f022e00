// SPDX-License-Identifier: GPL-3.0-or-later
// Message strings: the texts the program shows (messages, questions, error
// texts, status-bar hints) live in message files ".hnt", one set per
// language, as numbered lines "L1", "L2", ... of named sections.
//
// Two stores exist while the program runs: MsgStr on "MsgStr.hnt" (the
// framework's texts) and MsgApp on the program's own "ravelox.hnt". Each
// reads the selected language's file, falls back line by line to the file
// in "Default", and for MsgStr, when its file is missing, to the file named
// by the machine registry value \Software\Brenvik\Shared "FileMsgs".
//
// Threads: look-ups may come from any thread (the engine's send thread reads
// socket-error texts). A language change reopens the files under a lock; a
// reader keeps the files it started with until it is done, so a store is
// never destroyed under a caller. Message boxes are shown through ShowBox,
// which the window library installs for the user-interface thread.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "zFormat.h"

// The platform's message-box style: one button set, optionally one icon.
enum tMsgBoxFlag : unsigned {
    mbOK = 0x0,
    mbOKCancel = 0x1,
    mbAbortRetryIgnore = 0x2,
    mbYesNoCancel = 0x3,
    mbYesNo = 0x4,
    mbRetryCancel = 0x5,
    mbButtonsMask = 0xF,
    mbIconStop = 0x10,
    mbIconQuestion = 0x20,
    mbIconWarning = 0x30,
    mbIconInformation = 0x40,
    mbIconMask = 0xF0,
};

// The button a message box was closed with.
enum tMsgBoxResult : int {
    idOk = 1,
    idCancel = 2,
    idAbort = 3,
    idRetry = 4,
    idIgnore = 5,
    idYes = 6,
    idNo = 7,
    idClose = 8,
};

enum tAskResult : std::uint8_t { arYes = 0, arNo = 1, arCancel = 2 };

// OK or Yes -> arYes; Cancel, Abort or Ignore -> arCancel; anything else -> arNo.
tAskResult AskResultOf(int button);

// The error raised with a text from a message store.
class EbMsgStr : public std::runtime_error {
public:
    explicit EbMsgStr(const std::string& text) : std::runtime_error(text) {}
};

class TbLangFile;

class TbMsgStr final {
public:
    // Shows text in a modal box and returns the tMsgBoxResult of the button.
    using TShowBox =
        std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;

    // stem: "MsgStr", or empty for the program's own file. sharedPath: when
    // the file is missing, ask the registry value "FileMsgs".
    TbMsgStr(std::string stem, bool sharedPath);
    ~TbMsgStr();
    TbMsgStr(const TbMsgStr&) = delete;
    TbMsgStr& operator=(const TbMsgStr&) = delete;

    // Opens the files of the selected language again.
    void Reopen();
    // The file lines are read from first.
    std::string FileName() const;
    // The fallback's file; empty when there is none.
    std::string FallbackFileName() const;

    // Line |n| of the section; the fallback when it is missing or empty;
    // else the missing-line text; a line beginning with ";" is empty.
    std::string GetLine(std::string_view section, int n) const;
    std::string GetLineFmtList(std::string_view section, int n,
                               std::span<const TFmtArg> args) const;
    template <class... TArgs>
    std::string GetLineFmt(std::string_view section, int n, const TArgs&... args) const {
        const std::array<TFmtArg, sizeof...(TArgs)> list{TFmtArg(args)...};
        return GetLineFmtList(section, n, list);
    }
    // "ERROR: <section>.<n>\n\r(<file>)" with n's sign.
    std::string GetErrStr(std::string_view section, int n) const;
    // The value of any key (not a numbered line), through the fallback;
    // def when none has it.
    std::string GetValue(std::string_view section, std::string_view key,
                         std::string_view def) const;

    tAskResult MessageBox(std::string_view section, int n, unsigned flags) const;
    template <class... TArgs>
    tAskResult MessageBoxFmt(std::string_view section, int n, unsigned flags,
                             const TArgs&... args) const {
        return ShowAsk(GetLineFmt(section, n, args...), flags);
    }
    template <class... TArgs>
    tAskResult MessageBoxFmt_Quest(int n, unsigned flags, const TArgs&... args) const {
        return MessageBoxFmt("Quests", n, flags, args...);
    }
    template <class... TArgs> std::string GetLineFmt_Strings(int n, const TArgs&... args) const {
        return GetLineFmt("Strings", n, args...);
    }
    template <class... TArgs> std::string GetErrorFmt_Strings(int n, const TArgs&... args) const {
        return GetLineFmt("Errors", n, args...);
    }
    [[noreturn]] void DoRaise(int n) const;
    template <class... TArgs> [[noreturn]] void DoRaiseFmt(int n, const TArgs&... args) const {
        throw EbMsgStr(GetErrorFmt_Strings(n, args...));
    }

    // name (empty: the program's own file) becomes its ".hnt" file of the
    // selected language, or of "Default" when the language has none; true
    // when that file exists.
    static bool MakeLangFile(std::string& name);

    // Installed by the window library; tests install their own. Without it a
    // box is written as a warning and answers Cancel.
    static inline TShowBox ShowBox;

private:
    struct TFiles;
    std::shared_ptr<const TFiles> Files() const;
    tAskResult ShowAsk(const std::string& text, unsigned flags) const;

    std::string m_stem;
    bool m_sharedPath = false;
    int m_notifyId = 0;
    mutable std::mutex m_mutex;
    std::shared_ptr<const TFiles> m_files; // guarded by m_mutex
};

// The two stores; empty before InitMsgStrings and after DoneMsgStrings.
extern TbMsgStr* MsgStr;
extern TbMsgStr* MsgApp;

TbMsgStr* CreateMsgStr();
TbMsgStr* CreateMsgApp();
// Creates both stores for the selected language (they follow every later
// change by themselves), makes them the source of the framework's numbered
// lines, and routes the settings store's messages to a box.
void InitMsgStrings();
void DoneMsgStrings();
// Window library (zMsgStrW.cpp): shows the boxes with QMessageBox on the
// user-interface thread (caption, buttons and icon from the flags).
void InstallMessageBoxes();
// The QMessageBox buttons and icon of the flags, and the result of a button.
int ShowMessageBoxQt(const std::string& text, const std::string& caption, unsigned flags);

// The engine's look-up of a message text by section and key: the program's
// own file, then the framework's; def when neither has it. Any thread.
std::string LookupMessageText(const std::string& section, const std::string& key,
                              const std::string& def);
