// SPDX-License-Identifier: GPL-3.0-or-later
// The channel panel: one side of the test (output, input and lost-packet
// graphs, speed and packet-size track bars). TfmLocal (side 0) and TfmRemote
// (side 1) derive from it. Every view tick it takes all waiting report
// records of its side from the engine, lets the model turn them into points
// and totals, and hands the graphs their points in one batch each. The
// arithmetic lives in the model (uReportModel, uPanelRules); the panel only
// assigns what it answers. User-interface thread only. It owns its form and
// its three chart adapters; the engine is reached through the program-wide
// reference every tick, never kept across ticks.
//
// The panel knows neither the main window nor its siblings: what it needs
// done outside itself (restart both sides' statistics, store its samples,
// show a status message) it signals, and the main window, which creates the
// panels, connects those signals.
#pragma once

#include <QPointer>
#include <array>
#include <memory>
#include <span>
#include <vector>

#include "cNet0.h"
#include "uAppStr.h"
#include "uChartAdapter.h"
#include "uDelayModel.h"
#include "uReportModel.h"
#include "uResultLog.h"
#include "zForm.h"

namespace Ui {
class TzfmCliSrv;
}
class QLabel;
class QMenu;
class QActionGroup;

class TzfmCliSrv : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzfmCliSrv)

public:
    ~TzfmCliSrv() override;

    // Virtual operations in their slot order.
    virtual bool AttachEngine() = 0;
    virtual void UpdateSendingFlag() = 0;
    virtual void TimerTick();
    virtual void ApplyColors();
    virtual void ArrangeControls();
    virtual void ShowControls() = 0;

    int Side() const { return m_side; }
    char Letter() const { return m_letter; }

    // View mode of the result log (uLogStore): draws the side's view of a
    // stored log with the x axis in minutes and its labels shown; nullptr
    // leaves view mode (graphs cleared, the live time axis of GraphTime).
    // While a log is shown, reports still feed the statistics but add no
    // points to the graphs and no samples to the log.
    void ShowLogView(const TLogView* view);
    bool ShowingLog() const { return m_showingLog; }
    bool Remote() const { return m_side != 0; }

    void ShowSpeed(std::int64_t speed);
    void ShowPacketSize(std::int32_t size);
    // With `onlyWhenSending` and this side not sending, nothing happens;
    // otherwise EraseStatisticsWanted is signalled.
    void RestartOnChange(bool onlyWhenSending);
    // One page of the speed track bar down (-1) or up (+1), as the shortcuts
    // do. A step that cannot move the bar keeps the speed; on the Remote
    // side it still applies it once (and restarts the statistics while the
    // peer sends), on the Local side nothing happens.
    void StepSpeed(int direction);

    void ClearGraphs();
    void RestartStatistics();
    const TStatBlock& Statistics() const { return m_processor.Statistics(); }
    std::uint32_t ElapsedMs() const;
    const TReportProcessor& Processor() const { return m_processor; }
    // The delay extension's figures of the traffic this side receives (the
    // Local side: peer -> this host, with the round trips; the Remote side:
    // this host -> peer, as the peer measured it): since the statistics
    // restarted, and over the last view tick.
    TDelayFigures DelayTotal() const { return m_delay.Total(); }
    const TDelayFigures& DelayTick() const { return m_delayTick; }
    void ApplyOptions(const TCfgOpt& options);

    // One batch of report records as the engine handed them out: the model
    // takes them, the graphs get their points. TimerTick feeds it from the
    // engine; the tick benchmark feeds it synthetic streams.
    void ProcessBatch(bool first, std::span<const TbNReport> reports, const TClockNow& now);
    // The extension's figures of the records of one tick, in order.
    void ProcessDelays(bool first, std::span<const TbNReportRecord> records);

    // The engine reference of this tick; empty without an engine.
    TbNBSClient* Engine() const { return m_engine; }

signals:
    // Both sides' statistics should restart (a change of this side's speed,
    // size or host while it sends).
    void EraseStatisticsWanted();
    // The samples the statistics just took, in order, for the result log.
    void SamplesAdded(char side, const std::vector<TSample>& samples);
    // A message for the status line, made in the selected language.
    void StatusLineWanted(const TMakeText& make);

protected:
    TzfmCliSrv(int side, char letter, QWidget* owner);
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // The header and the graph titles show rates and the address after a
    // translated base text: put the bare base texts back for the translation,
    // then take the translated ones as the new bases.
    void OnLangTranslating(bool& done, bool flag) override;
    // Shows the header from m_baseHeader (the Local side adds its address).
    virtual void ShowHeader();

    void TrackSpeedChange(int position);
    void TrackPacketChange(int position);
    void PopupSpeedMenu(const QPoint& at);
    void ProcessReports();
    // Hands the samples just added to the result log.
    void LogSamples(const std::vector<TSample>& samples);
    void UpdateTitles();
    void PaintIndicator();
    virtual TbNReportRing* ReportRing() = 0;
    // Receive-buffer drops of this side's socket now (the engine's count).
    virtual TbNRcvbufDrops CurrentDrops() const = 0;
    // The drops since the statistics restarted, as the box shows them;
    // "?" while the side does not tell them.
    QString DropsText();

    std::unique_ptr<Ui::TzfmCliSrv> ui;
    int m_side = 0;
    char m_letter = 'L';
    TbNBSClient* m_engine = nullptr;
    int m_updating = 0;
    TReportProcessor m_processor;
    std::unique_ptr<TChartAdapter> m_chartSend;
    std::unique_ptr<TChartAdapter> m_chartRecv;
    std::unique_ptr<TChartAdapter> m_chartErrp;
    std::array<QLabel*, 7> m_scaleMarks{};
    std::array<QLabel*, 5> m_packetMarks{};
    QString m_baseOutputTitle;
    QString m_baseInputTitle;
    QString m_baseHeader;
    QMenu* m_puSpeed = nullptr;
    QActionGroup* m_speedGroup = nullptr;
    int m_indicatorShown = -1;
    bool m_showingLog = false;
    std::vector<TbNReportRecord> m_recordBuffer;
    TDelayTrack m_delay;
    TDelayFigures m_delayTick;
    TbNRcvbufDrops m_dropsBase{}; // the count at the last statistics restart
};
