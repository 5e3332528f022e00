// SPDX-License-Identifier: GPL-3.0-or-later
// Storing and viewing the result log, the Centre panel's `ActStoreLog` and
// `ActViewLog`: the program-wide log state (TResultLog, app/model) between
// the two channel panels, the main window and the Centre panel.
//
// Storing writes every sample either panel adds; a restart of the
// statistics (every start or stop of sending and every speed or size change
// while sending, the peer's too) ends it, and the status line says so. A new
// store keeps a previous log that is not empty (renamed with its time). A
// failed write stops storing and is shown to the user. The delay figures go
// into a file of their own beside the log (uDelayLog.h), which follows it. Viewing draws a
// stored log in the panels (x axis in minutes) and the Centre figures come
// from its view statistics; storing and viewing exclude each other.
//
// The store knows no window: the main window, which owns it, feeds it the
// panels' samples, shows its messages (ShowStatus, ShowWarning) and lets the
// panels draw the log or their live graphs again when ViewChanged is
// signalled.
//
// User-interface thread only. One instance, owned by the main window.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

#include "uAppStr.h"
#include "uDelayLog.h"
#include "uResultLog.h"

class QAction;
class QTimer;

class TLogStore final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TLogStore)

public:
    explicit TLogStore(QObject* owner = nullptr);
    ~TLogStore() override;

    // The Centre panel's actions: their Execute on trigger, their Update
    // (and ActLookup's) every 250 ms.
    void Attach(QAction* storeLog, QAction* viewLog);

    void ActStoreLogExecute();
    void ActStoreLogUpdate();
    void ActViewLogExecute();
    void ActViewLogUpdate();

    // Switches view mode; answers whether it is on afterwards.
    bool SetViewMode(bool on);
    // Signals ViewChanged: each panel draws the log in view mode, or its
    // live time axis again.
    void RefreshLogView();

    // Every sample a panel added, in order: the restart mark first, then
    // the records while storing.
    void AddSamples(char side, const std::vector<TSample>& samples);
    // The delay figures of one side's tick (after its samples): a line of
    // the delay file beside the log while storing.
    void AddDelay(char side, std::uint32_t reportTime, const TDelayFigures& figures);
    // The delay file's lines of the log shown in view mode (none for a log
    // without the file).
    const std::vector<TDelayLogLine>& ViewDelays() const { return m_viewDelays; }
    // Their figures per side (kSideLocal, kSideRemote), made once at loading.
    const TDelayFigures& ViewDelayFigures(char side) const {
        return side == kSideLocal ? m_viewDelayLocal : m_viewDelayRemote;
    }
    // Raised by the main window's EraseStatistics.
    void RaiseRestartMark() { m_log.RaiseRestartMark(); }

    bool Storing() const { return m_log.Storing(); }
    bool Viewing() const { return m_log.Viewing(); }
    const TLogView& View(char side) const { return m_log.View(side); }
    const TResultLog& Log() const { return m_log; }

    // The log file: the program's base path with ".log".
    std::string Path() const;
    void SetPath(const std::string& path) { m_path = path; }

    // Where messages for the user go (the main window's status line, which
    // makes the text again after a language change; a failed write also
    // raises a box).
    using TMakeText = ::TMakeText;
    std::function<void(const TMakeText&)> ShowStatus;
    std::function<void(const QString&)> ShowWarning;

signals:
    // View mode began or ended, or the log shown changed: each channel
    // panel shows View(its letter) while Viewing(), its live graphs
    // otherwise.
    void ViewChanged();

private:
    void Report(const TLogResult& result, bool box);

    TResultLog m_log;
    TDelayLog m_delayLog;
    std::vector<TDelayLogLine> m_viewDelays;
    TDelayFigures m_viewDelayLocal;
    TDelayFigures m_viewDelayRemote;
    std::string m_path;
    QPointer<QAction> m_storeLog;
    QPointer<QAction> m_viewLog;
    QTimer* m_update = nullptr;
};

// The program's one instance; empty before the main window made it and after
// its end.
extern QPointer<TLogStore> LogStore;
