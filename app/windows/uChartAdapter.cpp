// SPDX-License-Identifier: GPL-3.0-or-later
#include "uChartAdapter.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>
#include <algorithm>

TChartAdapter::TChartAdapter(QChartView* view, const QString& seriesName, QLabel* maxLabel,
                             bool isCount, int legendPercent)
    : m_view(view), m_maxLabel(maxLabel), m_isCount(isCount), m_legendPercent(legendPercent) {
    m_chart = new QChart();
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->legend()->hide();
    m_chart->setMargins(QMargins(0, 10, 0, 3));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->setBackgroundRoundness(0);
    m_series = new QLineSeries(m_chart);
    m_series->setObjectName(seriesName);
    m_series->setUseOpenGL(false);
    m_chart->addSeries(m_series);
    m_axisX = new QValueAxis(m_chart);
    m_axisY = new QValueAxis(m_chart);
    for (QValueAxis* axis : {m_axisX, m_axisY}) {
        axis->setLabelsVisible(false);
        axis->setGridLineVisible(false);
        axis->setMinorGridLineVisible(false);
        axis->setTickCount(2);
    }
    m_axisX->setRange(0.0, m_xMax);
    m_axisY->setRange(0.0, 1.0);
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    m_series->attachAxis(m_axisX);
    m_series->attachAxis(m_axisY);
    view->setChart(m_chart);
    view->setRenderHint(QPainter::Antialiasing, false);
    view->setRubberBand(QChartView::NoRubberBand);
    view->setFrameShape(QFrame::StyledPanel);
    view->setFrameShadow(QFrame::Sunken);

    if (m_maxLabel != nullptr) {
        m_maxLabel->setParent(view);
        m_maxLabel->move(8, 1);
        m_maxLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_maxLabel->setTextFormat(Qt::PlainText);
        m_maxLabel->show();
        m_maxLabel->raise();
    }
    m_legend = new QLabel(view);
    m_legend->setObjectName(seriesName + QStringLiteral("Legend"));
    m_legend->setTextFormat(Qt::PlainText);
    m_legend->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Opaque, on the plot's own background, with a little room around the
    // text: a trace passes behind the legend, never through its text.
    m_legend->setAutoFillBackground(true);
    m_legend->setContentsMargins(3, 0, 3, 0);
    m_legend->show();
}

void TChartAdapter::SetColor(const QColor& color, int width) {
    QPen pen(color);
    pen.setWidth(width);
    m_series->setPen(pen);
    QPalette palette = m_legend->palette();
    palette.setColor(QPalette::WindowText, color);
    const QBrush& plot = m_chart->backgroundBrush();
    palette.setColor(QPalette::Window,
                     plot.style() == Qt::SolidPattern ? plot.color() : QColor(Qt::white));
    m_legend->setPalette(palette);
}

void TChartAdapter::SetTitle(const QString& title) {
    m_series->setName(title);
    m_legend->setText(title);
    m_legend->adjustSize();
    PlaceLegend();
}

QString TChartAdapter::Title() const {
    return m_series->name();
}

QString TChartAdapter::LegendText() const {
    return m_legend->text();
}

void TChartAdapter::SetXMaximum(double seconds) {
    m_xMax = seconds > 0.0 ? seconds : 1.0;
    m_axisX->setRange(0.0, m_xMax);
}

void TChartAdapter::SetXLabelsVisible(bool visible) {
    m_axisX->setLabelsVisible(visible);
    // Shown only over a stored log, whose axis runs in minutes.
    m_axisX->setLabelFormat(QStringLiteral("%.3g min"));
}

void TChartAdapter::SetAxisMaximum(double maximum) {
    const TAxisScale scale = AxisScale(maximum, m_isCount);
    if (scale.Top != m_top) {
        m_top = scale.Top;
        m_axisY->setRange(0.0, m_top);
    }
    if (m_maxLabel != nullptr) {
        const QString text = QString::fromStdString(scale.Label).trimmed();
        if (m_maxLabel->text() != text) {
            m_maxLabel->setText(text);
            m_maxLabel->adjustSize();
        }
    }
}

void TChartAdapter::UpdateAll(TChartAdapter& output, TChartAdapter& input, TChartAdapter& lost,
                              const std::deque<TSample>& points, std::uint32_t origin) {
    // About two points per pixel of plot width; above that, each bucket keeps
    // its highest value of each series, so a short peak still shows.
    const int width = output.m_view ? std::max(1, output.m_view->width()) : 1;
    const std::size_t limit = static_cast<std::size_t>(width) * 2;
    const std::size_t step = points.size() <= limit ? 1 : (points.size() + limit - 1) / limit;
    for (TChartAdapter* a : {&output, &input, &lost}) {
        a->m_buffer.clear();
        a->m_buffer.reserve(static_cast<qsizetype>(points.size() / step + 1));
    }
    auto it = points.begin();
    while (it != points.end()) {
        const double x = static_cast<std::uint32_t>(it->X - origin) * 0.001;
        std::uint32_t out = 0;
        std::uint32_t in = 0;
        std::uint32_t lo = 0;
        for (std::size_t i = 0; i < step && it != points.end(); ++i, ++it) {
            out = std::max(out, it->Output);
            in = std::max(in, it->Input);
            lo = std::max(lo, it->Lost);
        }
        output.m_buffer.append(QPointF(x, out));
        input.m_buffer.append(QPointF(x, in));
        lost.m_buffer.append(QPointF(x, lo));
    }
    for (TChartAdapter* a : {&output, &input, &lost})
        a->m_series->replace(a->m_buffer);
}

void TChartAdapter::Clear() {
    m_series->clear();
    SetAxisMaximum(0.0);
}

void TChartAdapter::PlaceLegend() {
    if (!m_view)
        return;
    // A translation sets the legend's text directly: size it to that text.
    m_legend->adjustSize();
    const int height = m_view->height();
    int y = height * m_legendPercent / 100 - m_legend->height() / 2;
    y = std::clamp(y, 0, std::max(0, height - m_legend->height()));
    m_legend->move(std::max(0, m_view->width() - m_legend->width() - 6), y);
    m_legend->raise();
}

qsizetype TChartAdapter::PointCount() const {
    return m_series->count();
}
