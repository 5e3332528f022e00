// SPDX-License-Identifier: GPL-3.0-or-later
// The Centre panel "Statistics": the send buttons of both directions, the
// clear buttons, the store/view log buttons (their actions `ActStoreLog` and
// `ActViewLog`; storing and viewing belong to the result-log windows) and
// the eight figure boxes that UpdateSummary fills, and under each direction
// the box of its delay variation.
//
// The panel knows neither the main window nor the channel panels. The main
// window hands it the source of its figures (the two channel panels'
// totals, or a stored log's view statistics) and connects its signals: the
// figures once shown (ElapsedShown, SummaryShown: the status bar and any
// other window that presents the summary) and the requests of its buttons.
// User-interface thread only.
#pragma once

#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "uDelayModel.h"
#include "uSummary.h"
#include "zForm.h"

namespace Ui {
class TfmCenter;
}
class QAction;
class QToolButton;

// The figures of one view tick, as the main window gathers them.
struct TCenterFigures {
    std::uint32_t ElapsedMs = 0;     // the statistics time of the Local side
    std::optional<TSummary> Summary; // nothing while no time elapsed: the boxes keep their texts
    // The delay extension's figures of each direction over the same time;
    // empty, or without PeerReportsDelay, the boxes show "?".
    std::optional<TDelayFigures> DelayToRemote;
    std::optional<TDelayFigures> DelayToLocal;
    bool PeerReportsDelay = false;
};
// Answers nothing while there are no figures to show (no channel panels).
using TCenterSource = std::function<std::optional<TCenterFigures>()>;

class TfmCenter final : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmCenter)

public:
    Q_INVOKABLE explicit TfmCenter(QWidget* owner = nullptr);
    ~TfmCenter() override;

    void SetSource(TCenterSource source) { m_source = std::move(source); }
    // Takes the figures from the source, shows them in the boxes and
    // signals them.
    void UpdateSummary();
    void LocalSendingCheck();
    void EnginePoll();
    void ShowSendButtons();
    void SetSendLocal(bool down);

    void sbSendLocalClick();
    void sbSendRemoteClick();
    void sbClearGrClick();
    void sbClearStatClick();

    QToolButton* SendLocalButton() const;
    QToolButton* SendRemoteButton() const;
    QAction* ActStoreLog() const;
    QAction* ActViewLog() const;
    int RepeatCounter() const { return m_repeat; }

signals:
    void ElapsedShown(std::uint32_t elapsedMs);
    void SummaryShown(const TSummary& summary);
    // A send button changed this copy's or the peer's sending: both sides'
    // statistics restart.
    void EraseStatisticsWanted();
    // A send button started sending: a stored log shown gives way to the
    // live figures.
    void LiveWanted();
    void ClearGraphsWanted();
    // "Clear statistics": both sides' statistics restart (no restart mark
    // for the result log).
    void RestartStatisticsWanted();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<Ui::TfmCenter> ui;
    TCenterSource m_source;
    int m_repeat = 0;
};

extern QPointer<TfmCenter> fmCenter;
