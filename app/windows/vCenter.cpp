// SPDX-License-Identifier: GPL-3.0-or-later
#include "vCenter.h"

#include <QLabel>
#include <QStyle>
#include <QToolButton>

#include "cNet0.h"
#include "uAppStr.h"
#include "ui_vCenter.h"

QPointer<TfmCenter> fmCenter;

namespace {

// Polls of TimerUpdate during which a click on the remote send button is
// repeated and the button keeps the state the user gave it.
constexpr int kRepeatTime = 2000;
constexpr int kUpdateInterval = 250;

void SetText(QLabel* label, const std::string& text) {
    const QString t = QString::fromStdString(text).trimmed();
    if (label->text() != t)
        label->setText(t);
}

// A direction's delay box: the 99th percentile above the minimum, with the
// jitter in its hint; "?" while the peer does not report delay, empty while
// nothing was measured yet.
void ShowDelay(QLabel* label, const std::optional<TDelayFigures>& figures, bool peerReports,
               const TAppLine& hint) {
    QString text = QStringLiteral("?");
    QString jitter = QStringLiteral("?");
    if (peerReports && figures) {
        text =
            figures->Delay ? AppText(kLineDelayMs, DelayMsText(figures->Delay->P99Us)) : QString();
        if (figures->JitterUs)
            jitter = AppText(kLineDelayMs, DelayMsText(*figures->JitterUs));
    }
    if (label->text() != text)
        label->setText(text);
    const QString tip = AppText(hint, jitter.toStdString());
    if (label->toolTip() != tip) {
        label->setToolTip(tip);
        label->setStatusTip(tip);
    }
}

} // namespace

TfmCenter::TfmCenter(QWidget* owner) : TzfmForm(owner), ui(std::make_unique<Ui::TfmCenter>()) {
    ui->setupUi(this);
    fmCenter = this;
    ui->sbClearGr->setIcon(style()->standardIcon(QStyle::SP_DialogResetButton));
    ui->sbClearStat->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    ui->sbStoreLog->setDefaultAction(ui->ActStoreLog);
    ui->sbViewLog->setDefaultAction(ui->ActViewLog);
    ui->ActStoreLog->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    ui->ActViewLog->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    // Storing and viewing are connected by the result-log windows.
    ui->ActStoreLog->setChecked(false);
    connect(ui->sbSendLocal, &QToolButton::clicked, this, &TfmCenter::sbSendLocalClick);
    connect(ui->sbSendRemote, &QToolButton::clicked, this, &TfmCenter::sbSendRemoteClick);
    connect(ui->sbClearGr, &QToolButton::clicked, this, &TfmCenter::sbClearGrClick);
    connect(ui->sbClearStat, &QToolButton::clicked, this, &TfmCenter::sbClearStatClick);
    UpdateSummary();
}

TfmCenter::~TfmCenter() = default;

QToolButton* TfmCenter::SendLocalButton() const {
    return ui->sbSendLocal;
}
QToolButton* TfmCenter::SendRemoteButton() const {
    return ui->sbSendRemote;
}
QAction* TfmCenter::ActStoreLog() const {
    return ui->ActStoreLog;
}
QAction* TfmCenter::ActViewLog() const {
    return ui->ActViewLog;
}

void TfmCenter::ShowSendButtons() {
    ui->sbSendLocal->setVisible(true);
    ui->sbSendRemote->setVisible(true);
}

void TfmCenter::SetSendLocal(bool down) {
    ui->sbSendLocal->setChecked(down);
}

void TfmCenter::resizeEvent(QResizeEvent* event) {
    TzfmForm::resizeEvent(event);
    ui->paCRemote->setFixedHeight(std::max(138, (height() - 22) / 2));
}

void TfmCenter::UpdateSummary() {
    if (!m_source)
        return;
    const std::optional<TCenterFigures> figures = m_source();
    if (!figures)
        return;
    emit ElapsedShown(figures->ElapsedMs);
    if (!figures->Summary)
        return;
    const TSummary& s = *figures->Summary;
    SetText(ui->stLSAvrgSpd, s.LSAvrgSpd);
    SetText(ui->stLRAvrgSpd, s.LRAvrgSpd);
    SetText(ui->stRQuality, s.RQuality);
    SetText(ui->stRErrors, s.RErrors);
    SetText(ui->stRSAvrgSpd, s.RSAvrgSpd);
    SetText(ui->stRRAvrgSpd, s.RRAvrgSpd);
    SetText(ui->stLQuality, s.LQuality);
    SetText(ui->stLErrors, s.LErrors);
    ShowDelay(ui->stRDelay, figures->DelayToRemote, figures->PeerReportsDelay,
              kLineDelayHintToRemote);
    ShowDelay(ui->stLDelay, figures->DelayToLocal, figures->PeerReportsDelay,
              kLineDelayHintToLocal);
    emit SummaryShown(s);
}

void TfmCenter::LocalSendingCheck() {
    TbNBSClient* engine = NetClient.load();
    if (engine == nullptr)
        return;
    const bool sending = engine->IsSending(false);
    if (sending != ui->sbSendLocal->isChecked()) {
        ui->sbSendLocal->setChecked(sending);
        emit EraseStatisticsWanted();
    }
}

void TfmCenter::sbSendLocalClick() {
    TbNBSClient* engine = NetClient.load();
    if (engine == nullptr)
        return;
    engine->SetSending(ui->sbSendLocal->isChecked(), false);
    emit EraseStatisticsWanted();
    if (ui->sbSendLocal->isChecked())
        emit LiveWanted();
}

void TfmCenter::sbSendRemoteClick() {
    TbNBSClient* engine = NetClient.load();
    if (engine == nullptr)
        return;
    engine->SetSending(ui->sbSendRemote->isChecked(), true);
    m_repeat = kRepeatTime / kUpdateInterval;
    emit EraseStatisticsWanted();
    if (ui->sbSendRemote->isChecked())
        emit LiveWanted();
}

void TfmCenter::EnginePoll() {
    TbNBSClient* engine = NetClient.load();
    if (engine == nullptr)
        return;
    if (m_repeat > 0) {
        // For about a second after a click the command is repeated and the
        // button is not taken back from the engine.
        engine->SetSending(ui->sbSendRemote->isChecked(), true);
        m_repeat -= 2;
        return;
    }
    if (engine->RemoteSendingChanged.exchange(false)) {
        const bool sending = engine->IsSending(true);
        if (sending != ui->sbSendRemote->isChecked()) {
            ui->sbSendRemote->setChecked(sending);
            emit EraseStatisticsWanted();
        }
    }
}

void TfmCenter::sbClearGrClick() {
    emit ClearGraphsWanted();
}

void TfmCenter::sbClearStatClick() {
    emit RestartStatisticsWanted();
}
