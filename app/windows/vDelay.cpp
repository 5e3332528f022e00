// SPDX-License-Identifier: GPL-3.0-or-later
#include "vDelay.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPen>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "uAppStr.h"
#include "ui_vDelay.h"

namespace {

constexpr int kLineWidth = 2;

const TAppLine* const kLegend[TfmDelay::dlCount] = {&kLineDelayToRemoteP50, &kLineDelayToRemoteP99,
                                                    &kLineDelayToLocalP50, &kLineDelayToLocalP99,
                                                    &kLineDelayRtt};

// A round top for a scale: 1, 2 or 5 times a power of ten, a little above
// the highest point; 1 for none.
double RoundTop(double highest) {
    if (!(highest > 0.0))
        return 1.0;
    const double wanted = highest * 1.05;
    const double decade = std::pow(10.0, std::floor(std::log10(wanted)));
    for (const double step : {1.0, 2.0, 5.0})
        if (decade * step >= wanted)
            return decade * step;
    return decade * 10.0;
}

} // namespace

TfmDelay::TfmDelay(QWidget* owner) : TzfmForm(owner), ui(std::make_unique<Ui::TfmDelay>()) {
    ui->setupUi(this);
    m_chart = new QChart();
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setMargins(QMargins(2, 4, 6, 2));
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->setBackgroundRoundness(0);
    // The legend stands beside the plot area, never over it: no line
    // crosses its text.
    QLegend* legend = m_chart->legend();
    legend->setAlignment(Qt::AlignTop);
    legend->setBackgroundVisible(true);
    legend->setBrush(m_chart->backgroundBrush());
    legend->setPen(QPen(QColor(0xA0, 0xA0, 0xA0)));
    m_axisX = new QValueAxis(m_chart);
    m_axisY = new QValueAxis(m_chart);
    m_axisRtt = new QValueAxis(m_chart);
    m_axisX->setLabelsVisible(false);
    m_axisX->setGridLineVisible(false);
    m_axisX->setTickCount(2);
    // The delay above the minimum on the left, the round trip (a figure of
    // another size) on the right: neither flattens the other.
    for (QValueAxis* axis : {m_axisY, m_axisRtt}) {
        axis->setLabelFormat(QStringLiteral("%.3g"));
        axis->setTickCount(3);
        axis->setRange(0.0, 1.0);
        QFont font = axis->labelsFont();
        font.setPointSizeF(font.pointSizeF() * 0.85);
        axis->setLabelsFont(font);
        axis->setTitleFont(font);
    }
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    m_chart->addAxis(m_axisRtt, Qt::AlignRight);
    for (int i = 0; i < dlCount; ++i) {
        auto* series = new QLineSeries(m_chart);
        series->setObjectName(QStringLiteral("SerDelay%1").arg(i));
        m_chart->addSeries(series);
        series->attachAxis(m_axisX);
        series->attachAxis(i == dlRtt ? m_axisRtt : m_axisY);
        m_series[static_cast<std::size_t>(i)] = series;
    }
    ui->ChartDelay->setChart(m_chart);
    ui->ChartDelay->setRenderHint(QPainter::Antialiasing, true);
    ui->ChartDelay->setFrameShape(QFrame::StyledPanel);
    ui->ChartDelay->setFrameShadow(QFrame::Sunken);
    ui->stNoDelay->setParent(ui->ChartDelay);
    ui->stNoDelay->setAutoFillBackground(true);
    ui->stNoDelay->setAttribute(Qt::WA_TransparentForMouseEvents);
    ApplyOptions(30000, QColor(0x00, 0x00, 0xC0), QColor(0x00, 0x80, 0x00), QColor(0xC0, 0, 0));
    ShowTexts();
    Clear();
}

TfmDelay::~TfmDelay() = default;

QLabel* TfmDelay::Notice() const {
    return ui->stNoDelay;
}

double TfmDelay::YMaximum() const {
    return m_axisY->max();
}

double TfmDelay::RttMaximum() const {
    return m_axisRtt->max();
}

void TfmDelay::ApplyOptions(int graphWidthMs, const QColor& toRemote, const QColor& toLocal,
                            const QColor& rtt) {
    m_widthSeconds = std::max(1, graphWidthMs) / 1000.0;
    const QColor colors[dlCount] = {toRemote, toRemote, toLocal, toLocal, rtt};
    for (int i = 0; i < dlCount; ++i) {
        // The medians thin and dashed, the 99th percentiles full.
        const bool median = i == dlToRemoteP50 || i == dlToLocalP50;
        QPen pen(colors[i], median ? 1 : kLineWidth);
        pen.setStyle(median ? Qt::DashLine : Qt::SolidLine);
        m_series[static_cast<std::size_t>(i)]->setPen(pen);
    }
    m_axisX->setRange(m_last - m_widthSeconds, m_last);
}

void TfmDelay::ShowTexts() {
    for (int i = 0; i < dlCount; ++i)
        m_series[static_cast<std::size_t>(i)]->setName(AppText(*kLegend[i]));
    m_axisY->setTitleText(AppText(kLineDelayAxis));
    m_axisRtt->setTitleText(AppText(kLineDelayRttAxis));
    ui->stNoDelay->setText(AppText(kLineDelayUnknown));
    PlaceNotice();
}

void TfmDelay::Clear() {
    for (int i = 0; i < dlCount; ++i) {
        m_points[static_cast<std::size_t>(i)].clear();
        m_series[static_cast<std::size_t>(i)]->clear();
    }
    m_axisY->setRange(0.0, 1.0);
    m_axisRtt->setRange(0.0, 1.0);
}

void TfmDelay::AddTick(double seconds, const TDelayFigures& toRemote, const TDelayFigures& toLocal,
                       bool peerReports) {
    if (m_showingLog)
        return;
    ui->stNoDelay->setVisible(!peerReports);
    if (!peerReports) {
        if (!m_points[0].isEmpty() || !m_points[dlRtt].isEmpty())
            Clear();
        return;
    }
    m_last = seconds;
    const auto add = [&](tLine line, double us) {
        m_points[static_cast<std::size_t>(line)].append(QPointF(seconds, us / 1000.0));
    };
    if (toRemote.Delay) {
        add(dlToRemoteP50, toRemote.Delay->P50Us);
        add(dlToRemoteP99, toRemote.Delay->P99Us);
    }
    if (toLocal.Delay) {
        add(dlToLocalP50, toLocal.Delay->P50Us);
        add(dlToLocalP99, toLocal.Delay->P99Us);
    }
    if (toLocal.Rtt)
        add(dlRtt, toLocal.Rtt->P50Us);
    // Only the window's width is kept (and one point before it, so that a
    // line enters from the left edge); the scale fits what is shown.
    const double from = seconds - m_widthSeconds;
    for (QList<QPointF>& points : m_points) {
        const auto first = std::find_if(points.begin(), points.end(),
                                        [from](const QPointF& p) { return p.x() >= from; });
        if (first - points.begin() > 1)
            points.erase(points.begin(), first - 1);
    }
    Redraw(from, seconds);
}

void TfmDelay::Redraw(double from, double to) {
    double top = 0.0;
    double topRtt = 0.0;
    for (int i = 0; i < dlCount; ++i) {
        const QList<QPointF>& points = m_points[static_cast<std::size_t>(i)];
        double& highest = i == dlRtt ? topRtt : top;
        for (const QPointF& p : points)
            highest = std::max(highest, p.y());
        m_series[static_cast<std::size_t>(i)]->replace(points);
    }
    m_axisX->setRange(from, to);
    for (const auto& [axis, highest] : {std::pair{m_axisY, top}, std::pair{m_axisRtt, topRtt}}) {
        const double scale = RoundTop(highest);
        if (axis->max() != scale)
            axis->setRange(0.0, scale);
    }
}

void TfmDelay::ShowLogView(const std::vector<TDelayViewPoint>& toRemote,
                           const std::vector<TDelayViewPoint>& toLocal, double minutes) {
    m_showingLog = true;
    Clear();
    const auto add = [this](tLine line, double x, const std::optional<double>& us) {
        if (us)
            m_points[static_cast<std::size_t>(line)].append(QPointF(x, *us / 1000.0));
    };
    for (const TDelayViewPoint& p : toRemote) {
        add(dlToRemoteP50, p.Minutes, p.Line.DelayP50Us);
        add(dlToRemoteP99, p.Minutes, p.Line.DelayP99Us);
    }
    for (const TDelayViewPoint& p : toLocal) {
        add(dlToLocalP50, p.Minutes, p.Line.DelayP50Us);
        add(dlToLocalP99, p.Minutes, p.Line.DelayP99Us);
        add(dlRtt, p.Minutes, p.Line.RttP50Us);
    }
    ui->stNoDelay->setVisible(toRemote.empty() && toLocal.empty());
    m_axisX->setLabelsVisible(true);
    Redraw(0.0, std::max(minutes, 1.0 / 60.0));
}

void TfmDelay::LeaveLogView() {
    if (!m_showingLog)
        return;
    m_showingLog = false;
    m_axisX->setLabelsVisible(false);
    Clear();
}

void TfmDelay::PlaceNotice() {
    QLabel* notice = ui->stNoDelay;
    notice->adjustSize();
    notice->resize(notice->width() + 16, notice->height() + 8);
    const QWidget* view = ui->ChartDelay;
    notice->move((view->width() - notice->width()) / 2, (view->height() - notice->height()) / 2);
    notice->raise();
}

void TfmDelay::resizeEvent(QResizeEvent* event) {
    TzfmForm::resizeEvent(event);
    PlaceNotice();
}

void TfmDelay::OnLangTranslating(bool& done, bool flag) {
    TzfmForm::OnLangTranslating(done, flag);
    ShowTexts();
}
