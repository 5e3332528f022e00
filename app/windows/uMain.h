// SPDX-License-Identifier: GPL-3.0-or-later
// The main window "Ravelox": three places side by side (Local, Centre,
// Remote), the status bar with bandwidth, quality, elapsed time and the
// message line, the menus with the hidden command shortcuts, and the update
// loop on two timers: `Timer` every ViewTime moves reports into the panels,
// `TimerUpdate` every 250 ms polls the engine's change flags and shows a box
// an engine thread raised. It owns the three panels (and through the Local
// panel the engine) and the result log's store, and wires them: the panels
// know neither this window nor each other, they signal what they need done
// and take what they need from the references handed to them here.
// User-interface thread only, but for ShowError, which an engine thread may
// call.
#pragma once

#include <QPointer>
#include <array>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "zMain.h"

namespace Ui {
class TfmMain;
}
class QLabel;
class QTimer;
class QAction;
class TfmLocal;
class TfmRemote;
class TfmCenter;
class TzfmCliSrv;
class TfmDelay;
class QDockWidget;
class TLogStore;

class TfmMain final : public TzfmMain {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmMain)

public:
    Q_INVOKABLE explicit TfmMain(QWidget* owner = nullptr);
    ~TfmMain() override;

    // The start hook: creates and docks the panels, starts the timers.
    void OnStart() override;

    void SetViewTime(int interval);
    void ShowBandwidth(const std::string& text); // empty: bare label
    void ShowQuality(const std::string& text);   // empty: bare label
    void ShowElapsed(const QString& text);
    // The round-trip panel: the median over the last view tick, kept while a
    // tick brought none; "?" while the peer does not report delay.
    void ShowRtt(std::optional<double> medianUs, bool peerReports);
    QLabel* RttPanel() const { return m_rttPanel; }
    TfmDelay* DelayWindow() const;
    QDockWidget* DelayDock() const { return m_delayDock; }
    // The status line's message panel.
    void ShowStatus(const QString& text);
    // Shows the text make returns (from message lines, see uAppStr.h), and
    // makes it again after a language change while it is still shown.
    void ShowStatusLine(std::function<QString()> make);
    QString StatusText() const;
    void ClearGraphs();
    void EraseStatistics();
    void RestartMark() { m_restartMark = true; }
    bool RestartMarkRaised() const { return m_restartMark; }
    // The engine's error box: on the UI thread at once; from another thread
    // queued to the UI thread (the engine's own threads use the pending-box
    // path instead).
    void ShowError(const QString& text, const QString& caption);

    void TimerTimer();
    // The work of one view tick: both panels, then the Centre panel.
    void TimerWork();
    void TimerUpdateTimer();
    // The commands of the hidden menu.
    void SendLocal();
    void SendRemote();

    QTimer* ViewTimer() const { return m_timer; }
    QTimer* UpdateTimer() const { return m_timerUpdate; }
    QAction* Action(const char* name) const;
    QLabel* StatusPanel(int index) const;
    bool BoxShowing() const { return m_boxShowing; }

    // The base's language menu, then the status message in the new language.
    void OnUpdateLang(const QString& language) override;

protected:
    // Shut-down in order; refused (and done right after) while the
    // engine's box is open in this call chain.
    void FormClose(bool& accept) override;

private:
    void createMenus();
    void createActions();
    void createStatusBar();
    void createPanels();
    void connectPanel(TzfmCliSrv* panel);
    void connectCenter();
    void createLogStore();
    void connectDialogs();
    // The Delay window in its dock below the panels, where it was last time.
    void createDelayWindow();
    void saveDelayWindow();
    void refreshDelayWindow();
    // Both channel panels from the settings (colours, time axis, timing); a
    // panel showing a stored log keeps its axis in minutes.
    void RefreshPanels();
    // Each channel panel shows the store's view of its side in view mode,
    // its live graphs otherwise.
    void ShowLogViews();
    void ShowStatusHints();
    void ShutDown();
    void CheckCounterRange();
    // The engine ended a sending the peer had commanded: says why.
    void ShowSendingStopped();

    std::unique_ptr<Ui::TfmMain> ui;
    QPointer<TfmLocal> m_local;
    QPointer<TfmRemote> m_remote;
    QPointer<TfmCenter> m_center;
    QPointer<TLogStore> m_logStore;
    QPointer<TfmDelay> m_delay;
    QDockWidget* m_delayDock = nullptr;
    QTimer* m_timer = nullptr;
    QTimer* m_timerUpdate = nullptr;
    std::array<QLabel*, 4> m_panels{};
    QLabel* m_rttPanel = nullptr;
    std::optional<double> m_rttShownUs;
    QMenu* m_mmCommands = nullptr;
    bool m_restartMark = false;
    bool m_boxShowing = false;
    bool m_shutDown = false;
    bool m_rangeWarned = false;
    bool m_closeAfterBox = false;
    bool m_tickLog = false;
    std::vector<double> m_tickTimes;       // ms per view tick, with RAVELOX_TICK_LOG
    std::function<QString()> m_makeStatus; // of the message shown, if made so
    QString m_madeStatus;
};

extern QPointer<TfmMain> fmMain;
