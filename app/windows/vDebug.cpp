// SPDX-License-Identifier: GPL-3.0-or-later
#include "vDebug.h"

#include <QLabel>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include "cNet0.h"
#include "ui_vDebug.h"

QPointer<TfmDebug> fmDebug;

TfmDebug::TfmDebug(QWidget* owner) : TzfmForm(owner), ui(std::make_unique<Ui::TfmDebug>()) {
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(248, 174);
    m_timer = new QTimer(this);
    m_timer->setInterval(500);
    connect(m_timer, &QTimer::timeout, this, &TfmDebug::TimerTimer);
    connect(ui->sbClear, &QToolButton::clicked, this, &TfmDebug::sbClearClick);
    // Edit done: Enter, leaving the field, and every arrow step.
    connect(ui->esRefresh, &QSpinBox::editingFinished, this, &TfmDebug::esRefreshEditDone);
    connect(ui->esRefresh, &QSpinBox::valueChanged, this, &TfmDebug::esRefreshEditDone);
}

TfmDebug::~TfmDebug() {
    if (fmDebug == this)
        fmDebug = nullptr;
}

void TfmDebug::FormCreate() {
    TzfmForm::FormCreate();
    fmDebug = this;
    m_maxSeen = 0;
    esRefreshEditDone();
    TimerTimer();
}

void TfmDebug::FormDestroy() {
    if (fmDebug == this)
        fmDebug = nullptr;
    TzfmForm::FormDestroy();
}

QSpinBox* TfmDebug::Refresh() const {
    return ui->esRefresh;
}
QLabel* TfmDebug::SendQueueLine() const {
    return ui->stSendQueue;
}
QLabel* TfmDebug::MaxSendQueueLine() const {
    return ui->stMaxSendQueue;
}
QLabel* TfmDebug::SendQueueMaxLine() const {
    return ui->stSendQueueMax;
}

void TfmDebug::TimerTimer() {
    TbNBSClient* engine = NetClient.load();
    if (engine == nullptr)
        return;
    ui->stSendQueueMax->setText(QString::number(engine->SendQueueMax()) + "   SendQueueMax");
    const std::int32_t q = engine->SendQueue();
    ui->stSendQueue->setText(QString::number(q) + "   SendQueue");
    if (m_maxSeen < q)
        m_maxSeen = q;
    ui->stMaxSendQueue->setText(QString::number(m_maxSeen) + "   MaxSendQueue");
}

void TfmDebug::esRefreshEditDone() {
    const int interval = ui->esRefresh->value();
    if (interval > 0) {
        m_timer->start(interval);
    } else {
        m_timer->stop();
    }
}

void TfmDebug::sbClearClick() {
    m_maxSeen = 0;
}

void ShowVarWatch(QWidget* owner) {
    if (fmDebug == nullptr) {
        TzfmForm::Create<TfmDebug>(owner);
        fmDebug->show();
    }
    fmDebug->show();
    fmDebug->raise();
    fmDebug->activateWindow();
}
