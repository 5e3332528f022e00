// SPDX-License-Identifier: GPL-3.0-or-later
// One running line graph of a channel panel behind a small adapter: a chart
// view with one line series and two fixed value axes, the maximum label and
// the legend as overlays. The model computes the points; Update() hands the
// series one batch per view tick with replace(), decimated to about twice the
// plot width, so a full graph costs one call, not one per point.
// User-interface thread only.
#pragma once

#include <QChartView>
#include <QColor>
#include <QList>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <deque>

#include "uReportModel.h"

class QChart;
class QLineSeries;
class QValueAxis;
class QLabel;

class TChartAdapter final {
public:
    // Sets up the chart of `view` (margins, no animation, no grid, hidden axes
    // labels) and creates the series with its object name; `maxLabel` is the
    // designed label that shows the top of the scale.
    TChartAdapter(QChartView* view, const QString& seriesName, QLabel* maxLabel, bool isCount,
                  int legendPercent);

    void SetColor(const QColor& color, int width);
    void SetTitle(const QString& title);
    QString Title() const;
    // The legend as shown: the title, or what a translation put there.
    QString LegendText() const;
    void SetXMaximum(double seconds);
    // The bottom axis' labels ("2.5 min"): shown in the result log's view
    // mode only.
    void SetXLabelsVisible(bool visible);
    double XMaximum() const { return m_xMax; }
    // Left axis: 0 .. 1 and an empty label for 0, else 5 % headroom.
    void SetAxisMaximum(double maximum);
    // The three graphs of a panel in one pass over the points.
    static void UpdateAll(TChartAdapter& output, TChartAdapter& input, TChartAdapter& lost,
                          const std::deque<TSample>& points, std::uint32_t origin);
    void Clear();
    // Places the legend overlay at its share of the height.
    void PlaceLegend();

    QLineSeries* Series() const { return m_series; }
    QChartView* View() const { return m_view; }
    qsizetype PointCount() const;

private:
    QPointer<QChartView> m_view;
    QChart* m_chart = nullptr;
    QLineSeries* m_series = nullptr;
    QValueAxis* m_axisX = nullptr;
    QValueAxis* m_axisY = nullptr;
    QLabel* m_maxLabel = nullptr;
    QLabel* m_legend = nullptr;
    bool m_isCount = false;
    int m_legendPercent = 55;
    double m_xMax = 30.0;
    double m_top = 1.0;
    QList<QPointF> m_buffer;
};
