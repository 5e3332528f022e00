// SPDX-License-Identifier: GPL-3.0-or-later
#include "vLocal.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include "uAppStr.h"
#include "uHostList.h"
#include "ui_vzCliSrv.h"

QPointer<TfmLocal> fmLocal;

TfmLocal::TfmLocal(QWidget* owner) : TzfmCliSrv(0, 'L', owner) {
    setObjectName(QStringLiteral("TfmLocal"));
    setWindowTitle(tr("Local"));
    ui->stHeader->setText(tr("  Local"));
    ui->stHeader->setObjectName(QStringLiteral("stHeader"));
    m_baseHeader = ui->stHeader->text();
    m_chartSend->SetTitle(tr("Local output") + QChar(0xA0));
    m_chartRecv->SetTitle(tr("Local input") + QChar(0xA0));
    m_baseOutputTitle = m_chartSend->Title();
    m_baseInputTitle = m_chartRecv->Title();

    // The one engine of the program; it publishes itself in NetClient.
    m_ownEngine = std::make_unique<TbNBSClient>();
    fmLocal = this;
    m_engine = m_ownEngine.get();
    // The own address arrives with the echo of the first broadcast; the
    // 250 ms poll fills the header then instead of waiting here.
    ShowHeader();

    ui->coRecvAddr->setEditable(true);
    ui->coRecvAddr->setInsertPolicy(QComboBox::NoInsert);
    ui->coRecvAddr->setEditText(m_acceptText);
    ui->coRecvAddr->installEventFilter(this);
    ui->coRecvAddr->lineEdit()->installEventFilter(this);
    connect(ui->coRecvAddr, &QComboBox::activated, this, [this](int) { ApplyRecvAddress(); });
}

TfmLocal::~TfmLocal() {
    // The engine switches its sending off and stops its threads.
    m_engine = nullptr;
    m_ownEngine.reset();
}

bool TfmLocal::AttachEngine() {
    m_engine = NetClient.load();
    return m_engine != nullptr;
}

TbNReportRing* TfmLocal::ReportRing() {
    return m_engine != nullptr ? &m_engine->LocalReports() : nullptr;
}

void TfmLocal::UpdateSendingFlag() {
    m_processor.UpdateSendingFlag(m_engine != nullptr && m_engine->IsSending(false));
}

void TfmLocal::ShowControls() {
    for (QWidget* w : {static_cast<QWidget*>(ui->TrackPacket), static_cast<QWidget*>(ui->stPacket),
                       static_cast<QWidget*>(ui->TrackSpeed), static_cast<QWidget*>(ui->stSpeed),
                       static_cast<QWidget*>(ui->coRecvAddr)})
        w->setVisible(true);
    ArrangeControls();
}

void TfmLocal::ShowHeader() {
    const std::string address = m_engine != nullptr ? m_engine->LocalAddress() : std::string{};
    m_addressShown = !address.empty();
    ui->stHeader->setText(QString::fromStdString(address) + m_baseHeader);
}

void TfmLocal::EnginePoll() {
    if (!AttachEngine())
        return;
    if (!m_addressShown)
        ShowHeader();
    // Cleared by exchange before the values are read: a change that lands
    // in between raises the flag again for the next poll instead of being
    // lost.
    if (m_engine->SettingsChanged.exchange(false)) {
        ShowSpeed(0);
        ShowPacketSize(0);
        emit EngineSettingsChanged(m_engine->IsSending(false));
    }
}

void TfmLocal::FillSeenAddresses() {
    if (!AttachEngine())
        return;
    const QString text = ui->coRecvAddr->currentText();
    QStringList lines;
    for (std::int32_t i = 0; i < m_engine->SeenCount(); ++i) {
        const std::uint32_t address = m_engine->SeenAddress(i);
        lines << (address == 0 ? QString::fromLatin1(kAnyHost)
                               : QString::fromStdString(FormatIPv4(address)));
    }
    lines.removeDuplicates();
    ui->coRecvAddr->blockSignals(true);
    ui->coRecvAddr->clear();
    ui->coRecvAddr->addItems(lines);
    ui->coRecvAddr->setEditText(text);
    ui->coRecvAddr->blockSignals(false);
}

void TfmLocal::ApplyRecvAddress() {
    if (!AttachEngine())
        return;
    const QString text = ui->coRecvAddr->currentText().trimmed();
    const auto address = CheckAcceptAddress(text.toStdString());
    if (!address) {
        // A typo would silence reception: refuse it, keep the old choice.
        emit StatusLineWanted([typed = text.toStdString(), kept = m_acceptText.toStdString()] {
            return AppText(kLineBadRecvAddress, typed, kept);
        });
        ui->coRecvAddr->setEditText(m_acceptText);
        return;
    }
    m_acceptText = *address == 0 ? QString::fromLatin1(kAnyHost)
                                 : QString::fromStdString(FormatIPv4(*address));
    ui->coRecvAddr->setEditText(m_acceptText);
    m_engine->SetPeerAddress(*address, false);
}

bool TfmLocal::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress && watched == ui->coRecvAddr) {
        FillSeenAddresses();
    } else if (event->type() == QEvent::FocusOut &&
               (watched == ui->coRecvAddr || watched == ui->coRecvAddr->lineEdit())) {
        if (!ui->coRecvAddr->view()->isVisible())
            ApplyRecvAddress();
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            ApplyRecvAddress();
            return true;
        }
    }
    return TzfmCliSrv::eventFilter(watched, event);
}

TbNRcvbufDrops TfmLocal::CurrentDrops() const {
    return m_engine != nullptr ? m_engine->LocalRcvbufDrops() : TbNRcvbufDrops{};
}
