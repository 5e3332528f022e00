// SPDX-License-Identifier: GPL-3.0-or-later
#include "vzCliSrv.h"

#include <QActionGroup>
#include <QChartView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <cmath>

#include "uAppStr.h"
#include "uConfig.h"
#include "uPanelRules.h"
#include "uSpeedStr.h"
#include "ui_vzCliSrv.h"

namespace {

constexpr int kLineWidth = 3;
// Reads per tick at most this many times the whole ring: a ring refilled
// while it is read cannot keep the tick busy.
constexpr int kMaxRingReads = 4;

QColor FromColorRef(std::int32_t bgr) {
    const auto v = static_cast<std::uint32_t>(bgr);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

QString Text(const std::string& s) {
    return QString::fromStdString(s).trimmed();
}

// The general text of a mark's speed in Mbit/s: 0.1, 0.3, 1, 3, 10, ...
QString MarkText(std::int32_t kbps) {
    return QString::number(kbps * 0.001, 'g', 3);
}

} // namespace

TzfmCliSrv::TzfmCliSrv(int side, char letter, QWidget* owner)
    : TzfmForm(owner), ui(std::make_unique<Ui::TzfmCliSrv>()), m_side(side), m_letter(letter),
      m_processor(letter, ClampTimingOptions(CfgOpt)) {
    ui->setupUi(this);
    m_recordBuffer.resize(kRingSize);
    ui->frameLayout->setStretchFactor(ui->paSend, 1);
    ui->frameLayout->setStretchFactor(ui->paRecv, 1);

    m_chartSend = std::make_unique<TChartAdapter>(ui->ChartSend, QStringLiteral("SerSend"),
                                                  ui->laSendMax, false, 55);
    m_chartRecv = std::make_unique<TChartAdapter>(ui->ChartRecv, QStringLiteral("SerRecv"),
                                                  ui->laRecvMax, false, 55);
    m_chartErrp = std::make_unique<TChartAdapter>(ui->ChartErrp, QStringLiteral("SerErrp"),
                                                  ui->laErrpMax, true, 45);
    m_chartSend->SetTitle(tr("Send"));
    m_chartRecv->SetTitle(tr("Receive"));
    m_chartErrp->SetTitle(tr("Lost packets") + QChar(0xA0));
    m_scaleMarks = {ui->st0, ui->st1, ui->st2, ui->st3, ui->st4, ui->st5, ui->st6};
    m_packetMarks = {ui->sp0, ui->sp1, ui->sp2, ui->sp3, ui->sp4};
    for (std::size_t i = 0; i < m_scaleMarks.size(); ++i) {
        m_scaleMarks[i]->setProperty("Tag", SpeedScale[i]);
        m_scaleMarks[i]->setText(MarkText(SpeedScale[i]));
    }
    for (std::size_t i = 0; i < m_packetMarks.size(); ++i)
        m_packetMarks[i]->setText(QString::number(PacketSizes[i]));

    m_puSpeed = new QMenu(this);
    m_puSpeed->setObjectName(QStringLiteral("puSpeed"));
    m_speedGroup = new QActionGroup(m_puSpeed);
    m_speedGroup->setExclusive(true);

    ui->TrackPacket->setMaximum(static_cast<int>(PacketSizes.size()) - 1);
    connect(ui->TrackSpeed, &QSlider::valueChanged, this, &TzfmCliSrv::TrackSpeedChange);
    connect(ui->TrackPacket, &QSlider::valueChanged, this, &TzfmCliSrv::TrackPacketChange);
    for (QWidget* w :
         {static_cast<QWidget*>(ui->TrackSpeed), static_cast<QWidget*>(ui->TrackPacket),
          static_cast<QWidget*>(ui->stSpeed)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint& at) { PopupSpeedMenu(w->mapToGlobal(at)); });
    }
    ApplyColors();
    ClearGraphs();
    m_processor.RestartStatistics(ClockNow());
}

TzfmCliSrv::~TzfmCliSrv() = default;

void TzfmCliSrv::ApplyOptions(const TCfgOpt& options) {
    m_processor.ApplyOptions(ClampTimingOptions(options));
    ApplyColors();
}

void TzfmCliSrv::ApplyColors() {
    m_chartSend->SetColor(FromColorRef(Colors[coSend]), kLineWidth);
    m_chartRecv->SetColor(FromColorRef(Colors[coRecv]), kLineWidth);
    m_chartErrp->SetColor(FromColorRef(Colors[coErrp]), kLineWidth);
    const double seconds = m_processor.GraphWidth() / 1000.0;
    m_chartSend->SetXMaximum(seconds);
    m_chartRecv->SetXMaximum(seconds);
    m_chartErrp->SetXMaximum(seconds);
}

void TzfmCliSrv::ClearGraphs() {
    m_processor.ClearGraphs();
    m_chartSend->Clear();
    m_chartRecv->Clear();
    m_chartErrp->Clear();
}

void TzfmCliSrv::RestartStatistics() {
    m_processor.RestartStatistics(ClockNow());
    m_delay.Restart();
    m_delayTick = {};
    m_dropsBase = m_engine != nullptr ? CurrentDrops() : TbNRcvbufDrops{};
}

QString TzfmCliSrv::DropsText() {
    if (m_engine == nullptr)
        return {};
    const TbNRcvbufDrops now = CurrentDrops();
    if (!now.Known)
        return AppText(kLineBufferDropsUnknown);
    if (!m_dropsBase.Known)
        m_dropsBase = {true, 0};
    // Counted modulo 65536 like lost packets.
    const auto since = static_cast<std::uint16_t>(now.Count - m_dropsBase.Count);
    return AppText(kLineBufferDrops, since);
}

std::uint32_t TzfmCliSrv::ElapsedMs() const {
    return m_processor.ElapsedMs(ClockNow());
}

void TzfmCliSrv::TimerTick() {
    if (AttachEngine()) {
        ProcessReports();
    } else {
        m_processor.ResetTitles();
        UpdateTitles();
    }
}

void TzfmCliSrv::ProcessReports() {
    UpdateSendingFlag();
    TbNReportRing* ring = ReportRing();
    if (m_engine == nullptr || ring == nullptr) {
        m_processor.ResetTitles();
        UpdateTitles();
        return;
    }
    // Every waiting record, not a fixed batch: a long ViewTime over a short
    // InfoTime brings more than any batch, and the ring drops new records
    // when it is full, so a batch would leave the graphs behind for good.
    const TClockNow now = ClockNow();
    std::vector<TbNReport> taken;
    std::vector<TbNReportRecord> records;
    bool first = false;
    for (int read = 0; read < kMaxRingReads; ++read) {
        std::int32_t count = kRingSize;
        const bool chunkFirst = m_engine->GetRecords(*ring, m_recordBuffer.data(), count);
        if (chunkFirst && !taken.empty()) {
            // The engine forgot the reader in between: what came before
            // belongs to the old counters.
            LogSamples(m_processor.ProcessReports(first, taken, now));
            taken.clear();
            records.clear();
        }
        first = first || chunkFirst;
        for (std::int32_t i = 0; i < count; ++i)
            taken.push_back(m_recordBuffer[static_cast<std::size_t>(i)].Report);
        records.insert(records.end(), m_recordBuffer.begin(), m_recordBuffer.begin() + count);
        if (count < kRingSize)
            break;
    }
    ProcessDelays(first, records);
    ProcessBatch(first, taken, now);
}

void TzfmCliSrv::ProcessDelays(bool first, std::span<const TbNReportRecord> records) {
    // A reset of the engine's counters starts the figures again, as it
    // starts the statistics.
    if (first)
        m_delay.Restart();
    for (const TbNReportRecord& record : records)
        m_delay.Add(record.Delay);
    m_delayTick = m_delay.Take();
}

void TzfmCliSrv::ProcessBatch(bool first, std::span<const TbNReport> reports,
                              const TClockNow& now) {
    LogSamples(m_processor.ProcessReports(first, reports, now));
    // In view mode the graphs show the stored log: no live points.
    if (m_showingLog)
        return;
    const auto& points = m_processor.Points();
    TChartAdapter::UpdateAll(*m_chartSend, *m_chartRecv, *m_chartErrp, points,
                             m_processor.XOrigin());
    m_chartSend->SetAxisMaximum(m_processor.MaxOutput());
    m_chartRecv->SetAxisMaximum(m_processor.MaxInput());
    m_chartErrp->SetAxisMaximum(m_processor.MaxLost());
    UpdateTitles();
    PaintIndicator();
    const QString drops = DropsText();
    if (ui->stDrops->text() != drops)
        ui->stDrops->setText(drops);
}

void TzfmCliSrv::LogSamples(const std::vector<TSample>& samples) {
    // In view mode no points are added (storing is off then): a restart of
    // the statistics meanwhile does not end the view.
    if (!m_showingLog && !samples.empty())
        emit SamplesAdded(m_letter, samples);
}

void TzfmCliSrv::ShowLogView(const TLogView* view) {
    m_showingLog = view != nullptr;
    ClearGraphs();
    for (TChartAdapter* chart : {m_chartSend.get(), m_chartRecv.get()})
        chart->SetXLabelsVisible(view != nullptr);
    if (view == nullptr) {
        ApplyOptions(CfgOpt);
        ArrangeControls();
        return;
    }
    // The legends lose the live rates: a stored log's figures are in the
    // Centre panel.
    m_processor.ResetTitles();
    UpdateTitles();
    ArrangeControls();
    const double minutes = ViewAxisMinutes(*view);
    for (TChartAdapter* chart : {m_chartSend.get(), m_chartRecv.get(), m_chartErrp.get()})
        chart->SetXMaximum(minutes);
    m_chartSend->SetAxisMaximum(view->MaxOutput);
    m_chartRecv->SetAxisMaximum(view->MaxInput);
    m_chartErrp->SetAxisMaximum(view->MaxLost);
    // The adapter plots X / 1000: X in sixtieths of a millisecond puts the
    // points at their minute.
    std::deque<TSample> points;
    for (TSample p : view->Points) {
        p.X = p.X / 60;
        points.push_back(p);
    }
    TChartAdapter::UpdateAll(*m_chartSend, *m_chartRecv, *m_chartErrp, points, 0);
}

void TzfmCliSrv::OnLangTranslating(bool& done, bool flag) {
    ui->stHeader->setText(m_baseHeader);
    m_chartSend->SetTitle(m_baseOutputTitle);
    m_chartRecv->SetTitle(m_baseInputTitle);
    TzfmForm::OnLangTranslating(done, flag);
    m_baseHeader = ui->stHeader->text();
    m_baseOutputTitle = m_chartSend->LegendText();
    m_baseInputTitle = m_chartRecv->LegendText();
    ShowHeader();
    UpdateTitles();
    m_chartErrp->PlaceLegend();
}

void TzfmCliSrv::ShowHeader() {
    ui->stHeader->setText(m_baseHeader);
}

void TzfmCliSrv::UpdateTitles() {
    const QString send = m_baseOutputTitle + Text(m_processor.OutputRateText());
    const QString recv = m_baseInputTitle + Text(m_processor.InputRateText());
    if (m_chartSend->Title() != send)
        m_chartSend->SetTitle(send);
    if (m_chartRecv->Title() != recv)
        m_chartRecv->SetTitle(recv);
}

void TzfmCliSrv::PaintIndicator() {
    const int state = m_processor.IndicatorState();
    if (state == m_indicatorShown)
        return;
    m_indicatorShown = state;
    // 0 idle, 1 send error, 2 and 3 the two blink phases of traffic.
    static const QColor kColors[4] = {QColor(0xB0, 0xB0, 0xB0), QColor(0xD0, 0x20, 0x20),
                                      QColor(0x10, 0x80, 0x10), QColor(0x40, 0xE0, 0x40)};
    QPixmap pixmap(18, 18);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    painter.setBrush(kColors[state & 3]);
    painter.drawEllipse(QRectF(2.5, 2.5, 13, 13));
    painter.end();
    ui->pbSend->setPixmap(pixmap);
}

void TzfmCliSrv::showEvent(QShowEvent* event) {
    TzfmForm::showEvent(event);
    if (AttachEngine()) {
        ShowSpeed(0);
        ShowPacketSize(0);
    }
    ArrangeControls();
}

void TzfmCliSrv::resizeEvent(QResizeEvent* event) {
    TzfmForm::resizeEvent(event);
    ArrangeControls();
}

void TzfmCliSrv::ArrangeControls() {
    // Each label as wide as the longest text it can show: the highest speed
    // and a 16-bit drop count, in the language in force.
    const int speedWidth = std::max(
        64, ui->stSpeed->fontMetrics().horizontalAdvance(Text(SpeedToStr(kMaxSpeed))) + 10);
    ui->stSpeed->resize(speedWidth, ui->stSpeed->height());
    ui->stPacket->resize(speedWidth, ui->stPacket->height());
    QWidget* recv = ui->paRecvCtrl;
    const int dropsWidth =
        ui->stDrops->fontMetrics().horizontalAdvance(AppText(kLineBufferDrops, 65535)) + 6;
    const int dropsX = std::max(70, recv->width() - dropsWidth - 4);
    ui->stDrops->setGeometry(dropsX, ui->stDrops->y(), dropsWidth, ui->stDrops->height());
    ui->coRecvAddr->resize(std::clamp(dropsX - ui->coRecvAddr->x() - 5, 60, 121),
                           ui->coRecvAddr->height());
    QWidget* ctrl = ui->paSendCtrl;
    const int x = ctrl->width() - ui->stSpeed->width() - 8;
    ui->stSpeed->move(x, ui->stSpeed->y());
    ui->stPacket->move(x, ui->stPacket->y());
    ui->TrackSpeed->resize(std::max(40, x - 8), ui->TrackSpeed->height());
    ui->TrackPacket->resize(std::max(40, x - 8), ui->TrackPacket->height());

    // Marks stand under the handle's centre at their value, as the style
    // places it.
    const auto place = [](QSlider* slider, QLabel* mark, int value) {
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = Qt::Horizontal;
        const int handle = slider->style()->pixelMetric(QStyle::PM_SliderLength, &option, slider);
        const int span = std::max(1, slider->width() - handle);
        const int pos =
            QStyle::sliderPositionFromValue(slider->minimum(), slider->maximum(), value, span);
        mark->adjustSize();
        mark->move(slider->x() + handle / 2 + pos - mark->width() / 2, mark->y());
    };
    for (std::size_t i = 0; i < m_scaleMarks.size(); ++i) {
        const double position = 1000.0 * std::log10(SpeedScale[i] * 0.01);
        place(ui->TrackSpeed, m_scaleMarks[i], static_cast<int>(std::lround(position)));
    }
    for (std::size_t i = 0; i < m_packetMarks.size(); ++i)
        place(ui->TrackPacket, m_packetMarks[i], static_cast<int>(i));

    ui->ChartErrp->resize(ui->paRecvCtrl->width(), 48);
    m_chartSend->PlaceLegend();
    m_chartRecv->PlaceLegend();
    m_chartErrp->PlaceLegend();
}

void TzfmCliSrv::ShowSpeed(std::int64_t speed) {
    if (m_engine == nullptr)
        return;
    if (speed < 1)
        speed = m_engine->GetSpeed(Remote());
    const std::int32_t shown = ClampSpeed(speed);
    ui->stSpeed->setText(Text(SpeedToStr(shown)));
    for (QAction* action : m_speedGroup->actions())
        action->setChecked(action->data().toInt() == shown);
    if (m_updating == 0) {
        m_updating = -1;
        ui->TrackSpeed->setValue(SpeedToPosition(shown));
        m_updating = 0;
    }
}

void TzfmCliSrv::TrackSpeedChange(int position) {
    if (m_updating != 0 || !AttachEngine())
        return;
    m_engine->SetSpeed(PositionToSpeed(position), Remote());
    m_updating = 1;
    ShowSpeed(0);
    m_updating = 0;
    RestartOnChange(true);
}

void TzfmCliSrv::StepSpeed(int direction) {
    if (!AttachEngine())
        return;
    const int before = ui->TrackSpeed->value();
    ui->TrackSpeed->triggerAction(direction > 0 ? QAbstractSlider::SliderPageStepAdd
                                                : QAbstractSlider::SliderPageStepSub);
    const int after = ui->TrackSpeed->value();
    // Moved: the bar's change handler applied the new speed. At either end
    // the bar cannot move, and the Local shortcuts then do nothing at all: a
    // restart would cut the statistics (and end a running store) for a speed
    // that did not change.
    if (before != after || !Remote())
        return;
    // The Remote shortcuts apply the speed once more even then: the speed
    // stays as it is (a peer's 10 Gbit/s above the bar's top is not
    // lowered), and a step while the peer sends restarts the statistics.
    m_engine->SetSpeed(SpeedAfterStep(m_engine->GetSpeed(Remote()), before, after), Remote());
    m_updating = 1;
    ShowSpeed(0);
    m_updating = 0;
    RestartOnChange(true);
}

void TzfmCliSrv::PopupSpeedMenu(const QPoint& at) {
    if (m_speedGroup->actions().isEmpty()) {
        for (const std::int32_t speed : SpeedChoices) {
            QAction* item = m_puSpeed->addAction(Text(SpeedToStr(speed)));
            item->setCheckable(true);
            item->setData(speed);
            m_speedGroup->addAction(item);
            connect(item, &QAction::triggered, this, [this, speed] {
                if (!AttachEngine())
                    return;
                m_engine->SetSpeed(speed, Remote());
                ShowSpeed(0);
            });
        }
        if (m_engine != nullptr)
            ShowSpeed(0);
    }
    m_puSpeed->popup(at);
}

void TzfmCliSrv::TrackPacketChange(int position) {
    if (!AttachEngine())
        return;
    const std::int32_t size = PacketSizes[static_cast<std::size_t>(std::clamp(position, 0, 4))];
    ui->TrackPacket->setProperty("Tag", size);
    m_engine->SetPacketSize(size, Remote());
    ShowPacketSize(0);
    RestartOnChange(true);
}

void TzfmCliSrv::ShowPacketSize(std::int32_t size) {
    if (size < 1) {
        if (m_engine == nullptr)
            return;
        size = m_engine->GetPacketSize(Remote());
    }
    const int index = PacketSizeIndex(size);
    const std::int32_t entry = PacketSizes[static_cast<std::size_t>(index)];
    ui->TrackPacket->setProperty("Tag", entry);
    ui->stPacket->setText(QString::number(entry));
    // A size from the engine that is not in the table snaps up to it and,
    // when the bar moves, is applied.
    ui->TrackPacket->setValue(index);
}

void TzfmCliSrv::RestartOnChange(bool onlyWhenSending) {
    if (onlyWhenSending && (m_engine == nullptr || !m_engine->IsSending(Remote())))
        return;
    emit EraseStatisticsWanted();
}
