// SPDX-License-Identifier: GPL-3.0-or-later
// The tracer: TzfmTrace, the "History of trace" window that keeps the most
// recent trace lines, with indentation for nested work, timed sections, an
// error prefix, a path for other threads and an optional copy of each line
// to the status line.
//
// Threads: the window and its list belong to the user-interface thread. Any
// other thread hands lines in through AddPostString (Msg from another thread
// does the same): they go into one process-wide post buffer, bounded at
// MaxTrace + 1 lines and locked, and the first line of a burst asks the
// user-interface thread once to drain it, in order.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <QPointer>

#include "zForm.h"

class QListWidget;
class TzStatus;

namespace Ui {
class TzfmTrace;
}

// The post buffer's logic, apart from the window so that it can be tested
// on its own. Thread-safe.
class TTracePostBuffer final {
public:
    static constexpr std::string_view kOverflowLine = "Post Trace buffer overflow";

    // Appends text. When the buffer already holds more than maxTrace lines,
    // its two oldest give way to one overflow line first, so it never holds
    // more than maxTrace + 1. Returns true for the first line since the last
    // Take: the caller then asks for one drain.
    bool Add(std::string text, std::size_t maxTrace);
    // Everything in order; the next Add asks for a drain again.
    std::vector<std::string> Take();
    std::size_t Size() const;

private:
    mutable std::mutex m_lock;
    std::deque<std::string> m_lines;
    bool m_drainRequested = false;
};

// One open timed section.
struct RStack {
    std::string Name;
    std::uint32_t Start = 0;
};

class TzfmTrace : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzfmTrace)

public:
    static constexpr int kMaxIndent = 10;

    Q_INVOKABLE explicit TzfmTrace(QWidget* owner = nullptr);
    ~TzfmTrace() override;

    // Creates the tracer of the given class, owned by owner and bound to
    // status.
    static TzfmTrace* GetTracInstance(const QMetaObject& traceClass, QWidget* owner,
                                      TzStatus* status);

    void SetBindStatus(TzStatus* status);
    // The boolean results are always true, so calls can stand in boolean
    // expressions.
    bool Msg(std::string_view text);
    template <class... TArgs> bool MsgFmt(std::string_view format, const TArgs&... args) {
        return Msg(Format(format, args...));
    }
    bool Error(std::string_view text);
    template <class... TArgs> bool ErrorFmt(std::string_view format, const TArgs&... args) {
        return Msg("Error: " + Format(format, args...));
    }
    bool MsgStringList(std::string_view title, const std::vector<std::string>& list);
    bool PushTime(std::string_view name);
    bool MsgTime(std::string_view text);
    bool PopTime(std::string_view text = {});
    // When ok is false: the last system error (errno) with its text.
    bool MsgLastError(bool ok, std::string_view text);
    // From any thread.
    static void AddPostString(std::string text);
    void AddString(std::string_view text);
    void SetFromStatus(const std::string& text);
    void Clear();
    void StatDestroy();

    int MaxTrace() const { return m_maxTrace; }
    // Clamped into [TCfgDbg::kMinMaxTrace, TCfgDbg::kMaxMaxTrace].
    void SetMaxTrace(int value);
    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool value) { m_enabled = value; }
    bool ToStatus() const { return m_toStatus; }
    void SetToStatus(bool value) { m_toStatus = value; }
    int Indent() const { return m_indent; }
    const std::string& Line() const { return m_line; }
    const std::string& TimeText() const { return m_timeText; }
    QListWidget* ListBox() const;
    QStringList Lines() const;

    // The tracer takes no part in language files.
    void OnLangSaving(bool& done) override { done = false; }

    // The millisecond clock of timed sections; tests replace it.
    static inline std::function<std::uint32_t()> Clock;

protected:
    void FormCreate() override;
    void FormDestroy() override;

private:
    static void DrainPost();
    std::uint32_t Now() const;

    Ui::TzfmTrace* m_ui = nullptr;
    int m_indent = 0;
    std::string m_line;
    std::string m_timeText;
    int m_maxTrace = 100;
    bool m_enabled = true;
    bool m_toStatus = false;
    RStack m_timeStack[kMaxIndent + 1];
    QPointer<TzStatus> m_status;
};

// The main window's tracer; empty before it exists and after.
extern TzfmTrace* Trac;
