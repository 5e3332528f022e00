// SPDX-License-Identifier: GPL-3.0-or-later
// The Delay window: over the same GraphTime window as the channel panels,
// each direction's delay above the minimum (median and 99th percentile of
// the intervals the view tick brought) and the round-trip time, one point
// per view tick that brought figures. The main window docks it below the
// three panels (or lets it float), feeds it every tick and remembers where
// it was. Against a peer without the delay extension it draws nothing and
// says "the peer does not report delay". User-interface thread only.
#pragma once

#include <QList>
#include <QPointF>
#include <array>
#include <memory>

#include "uDelayLog.h"
#include "uDelayModel.h"
#include "zForm.h"

namespace Ui {
class TfmDelay;
}
class QChart;
class QLabel;
class QLineSeries;
class QValueAxis;

class TfmDelay final : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmDelay)

public:
    // The lines, in legend order.
    enum tLine : int { dlToRemoteP50, dlToRemoteP99, dlToLocalP50, dlToLocalP99, dlRtt, dlCount };

    Q_INVOKABLE explicit TfmDelay(QWidget* owner = nullptr);
    ~TfmDelay() override;

    // One view tick at `seconds` (any monotonic origin): the figures the
    // tick brought of each direction. toRemote is the peer's measurement of
    // this host's traffic, toLocal this host's of the peer's (with the round
    // trips).
    void AddTick(double seconds, const TDelayFigures& toRemote, const TDelayFigures& toLocal,
                 bool peerReports);
    // The width of the time axis (GraphTime, ms) and the line colours
    // (local -> remote, remote -> local, round trip).
    void ApplyOptions(int graphWidthMs, const QColor& toRemote, const QColor& toLocal,
                      const QColor& rtt);
    void Clear();
    // View mode of the result log: the stored figures of each direction on
    // a time axis in minutes (toRemote: the 'R' lines, toLocal: the 'L'
    // lines with the round trips); a log without them says so. While a log
    // is shown, ticks draw nothing.
    void ShowLogView(const std::vector<TDelayViewPoint>& toRemote,
                     const std::vector<TDelayViewPoint>& toLocal, double minutes);
    void LeaveLogView();
    bool ShowingLog() const { return m_showingLog; }
    // The legend texts and the notice again, from the message lines.
    void ShowTexts();

    QLineSeries* Series(tLine line) const { return m_series[static_cast<std::size_t>(line)]; }
    QLabel* Notice() const;
    double YMaximum() const;   // the delay scale's top, ms
    double RttMaximum() const; // the round trip's, ms

protected:
    void resizeEvent(QResizeEvent* event) override;
    void OnLangTranslating(bool& done, bool flag) override;

private:
    void PlaceNotice();
    // Hands every line its points and fits both scales.
    void Redraw(double from, double to);

    std::unique_ptr<Ui::TfmDelay> ui;
    QChart* m_chart = nullptr;
    std::array<QLineSeries*, dlCount> m_series{};
    std::array<QList<QPointF>, dlCount> m_points{};
    QValueAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    QValueAxis* m_axisRtt = nullptr;
    double m_widthSeconds = 30.0;
    double m_last = 0.0;
    bool m_showingLog = false;
};
