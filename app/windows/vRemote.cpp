// SPDX-License-Identifier: GPL-3.0-or-later
#include "vRemote.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QToolButton>
#include <algorithm>

#include "uAppStr.h"
#include "uHostList.h"
#include "uPanelRules.h"
#include "ui_vzCliSrv.h"
#include "zIniReg.h"

QPointer<TfmRemote> fmRemote;

namespace {
constexpr const char* kHostSection = "HostAddress";
constexpr int kHostWaitPolls = 12; // 3 s of 250 ms polls
} // namespace

TfmRemote::TfmRemote(QWidget* owner) : TzfmCliSrv(1, 'R', owner) {
    setObjectName(QStringLiteral("TfmRemote"));
    setWindowTitle(tr("Remote"));
    ui->stHeader->setText(tr("Remote"));
    m_baseHeader = ui->stHeader->text();
    m_chartSend->SetTitle(tr("Remote output") + QChar(0xA0));
    m_chartRecv->SetTitle(tr("Remote input") + QChar(0xA0));
    m_baseOutputTitle = m_chartSend->Title();
    m_baseInputTitle = m_chartRecv->Title();
    // Input on top, output below: Local output faces Remote input.
    ui->frameLayout->removeWidget(ui->paSend);
    ui->frameLayout->addWidget(ui->paSend, 1);
    setTabOrder(ui->TrackPacket, ui->TrackSpeed);

    ui->coRecvAddr->setEditable(false);
    ui->coAddress->installEventFilter(this);
    ui->coAddress->lineEdit()->installEventFilter(this);
    connect(ui->coAddress, &QComboBox::activated, this, [this](int) { ApplyHost(); });
    connect(ui->coRecvAddr, &QComboBox::activated, this, [this](int) { ApplyRecvAddress(); });

    fmRemote = this;
    AttachEngine();
    std::vector<std::string> stored;
    if (IniMain != nullptr)
        stored = IniMain->ReadSectionLines(kHostSection);
    if (!stored.empty()) {
        SetHostItems(FilterHostList(stored));
        ui->coAddress->setCurrentIndex(0);
    } else if (m_engine != nullptr) {
        const auto current = CheckHost(m_engine->GetRemoteHost());
        ui->coAddress->setEditText(
            QString::fromStdString(current ? current->Text : std::string(kBroadcastHost)));
    }
    // The own address comes from the echo of the engine's first broadcast;
    // a unicast host applied before it arrives takes that broadcast away,
    // and the engine keeps marking every datagram as discovery, which peers
    // ignore. So the host is applied once the address is known (the 250 ms
    // poll), or after kHostWaitPolls at the latest.
    if (m_engine != nullptr && !m_engine->LocalAddress().empty())
        ApplyHost();
    else
        m_hostWait = kHostWaitPolls;
}

TfmRemote::~TfmRemote() {
    SaveHostList();
}

std::vector<std::string> TfmRemote::HostList() const {
    std::vector<std::string> list;
    for (int i = 0; i < ui->coAddress->count(); ++i)
        list.push_back(ui->coAddress->itemText(i).toStdString());
    return list;
}

void TfmRemote::SaveHostList() {
    if (IniMain == nullptr)
        return;
    try {
        IniMain->WriteSectionLines(kHostSection, HostList());
    } catch (const std::exception& e) {
        qWarning("Ravelox: the host list could not be saved: %s", e.what());
    }
}

bool TfmRemote::AttachEngine() {
    m_engine = NetClient.load();
    return m_engine != nullptr;
}

TbNReportRing* TfmRemote::ReportRing() {
    return m_engine != nullptr ? &m_engine->RemoteReports() : nullptr;
}

void TfmRemote::UpdateSendingFlag() {
    // The peer is heard while its reports arrive; the panel's processor
    // knows that from its idle time, the command state from the engine.
    m_processor.UpdateSendingFlag(m_engine != nullptr && m_engine->IsSending(true));
}

void TfmRemote::ShowControls() {
    for (QWidget* w : {static_cast<QWidget*>(ui->coAddress), static_cast<QWidget*>(ui->TrackPacket),
                       static_cast<QWidget*>(ui->stPacket), static_cast<QWidget*>(ui->TrackSpeed),
                       static_cast<QWidget*>(ui->stSpeed), static_cast<QWidget*>(ui->coRecvAddr)})
        w->setVisible(true);
    FillRecvAddresses();
    ArrangeControls();
}

void TfmRemote::FillRecvAddresses() {
    const std::string own = m_engine != nullptr ? m_engine->LocalAddress() : std::string{};
    ui->coRecvAddr->clear();
    ui->coRecvAddr->addItem(QString::fromLatin1(kAnyHost));
    if (!own.empty())
        ui->coRecvAddr->addItem(QString::fromStdString(own));
    ui->coRecvAddr->setCurrentIndex(0);
    m_recvAddressFilled = !own.empty();
}

void TfmRemote::ApplyRecvAddress() {
    if (!AttachEngine())
        return;
    std::uint32_t address = 0;
    if (ui->coRecvAddr->currentIndex() > 0) {
        const auto parsed = ParseIPv4(ui->coRecvAddr->currentText().toStdString());
        if (!parsed)
            return;
        address = *parsed;
    }
    m_engine->SetPeerAddress(address, true);
}

void TfmRemote::SetHostItems(const std::vector<std::string>& list) {
    const QString text = ui->coAddress->currentText();
    ui->coAddress->blockSignals(true);
    ui->coAddress->clear();
    for (const std::string& host : list)
        ui->coAddress->addItem(QString::fromStdString(host));
    ui->coAddress->setEditText(text);
    ui->coAddress->blockSignals(false);
}

bool TfmRemote::SetHost(const QString& host) {
    ui->coAddress->setEditText(host);
    return ApplyHost();
}

bool TfmRemote::ApplyHost() {
    if (!AttachEngine())
        return false;
    const QString typed = ui->coAddress->currentText().trimmed();
    const auto choice = CheckHost(typed.toStdString());
    if (!choice) {
        // A typo used to become the broadcast destination and flood the LAN.
        emit StatusLineWanted([text = typed.toStdString(), kept = m_currentHost.toStdString()] {
            return AppText(kLineBadRemoteHost, text, kept);
        });
        ui->coAddress->setEditText(m_currentHost);
        return false;
    }
    const QString text = QString::fromStdString(choice->Text);
    ui->coAddress->setEditText(text);
    const auto current = CheckHost(m_engine->GetRemoteHost());
    if (current && current->Text == choice->Text) {
        // Nothing to apply: in particular a destination the engine adopted
        // from a peer that sent first is not taken back to broadcast.
        m_currentHost = text;
        return true;
    }
    m_lastDestination = choice->Address;
    m_currentHost = text;
    m_engine->SetRemoteHost(choice->Text);
    std::vector<std::string> list = HostList();
    PushHost(list, choice->Text);
    SetHostItems(list);
    ui->coAddress->setCurrentIndex(0);
    ui->coAddress->setEditText(text);
    if (m_engine->IsSending(false))
        emit EraseStatisticsWanted();
    return true;
}

void TfmRemote::ShowDestination(bool commanding) {
    // Only while this copy does not command the peer to send. The engine's
    // IsSending(true) also turns true as soon as the peer's data arrives,
    // which would hide exactly the peer that just started sending to us.
    if (!AttachEngine() || commanding)
        return;
    const std::uint32_t destination = m_engine->Destination();
    if (destination == m_lastDestination)
        return;
    m_lastDestination = destination;
    m_currentHost = destination == kBroadcastAddress
                        ? QString::fromLatin1(kBroadcastHost)
                        : QString::fromStdString(FormatIPv4(destination));
    ui->coAddress->setEditText(m_currentHost);
}

void TfmRemote::EnginePoll() {
    if (!AttachEngine())
        return;
    if (!m_recvAddressFilled && !m_engine->LocalAddress().empty())
        FillRecvAddresses();
    if (m_hostWait > 0 && (--m_hostWait == 0 || !m_engine->LocalAddress().empty())) {
        m_hostWait = 0;
        ApplyHost();
    }
    // Each flag is cleared by exchange before its value is read; the
    // engine's accept step clears it once more after taking the value, so a
    // change that lands in between is raised again here for the next poll.
    if (m_engine->PeerPacketSizeChanged.exchange(false)) {
        m_engine->AcceptPeerPacketSize();
        if (static_cast<std::int32_t>(m_engine->PeerPacketSize.load()) + kPacketOffset !=
            m_engine->GetPacketSize(true))
            m_engine->PeerPacketSizeChanged.store(true);
        ShowPacketSize(m_engine->GetPacketSize(true));
    }
    if (m_engine->PeerSpeedChanged.exchange(false)) {
        m_engine->AcceptPeerSpeed();
        const std::uint32_t speed = m_engine->PeerSpeed.load();
        if (static_cast<std::int64_t>(speed) != m_engine->GetSpeed(true))
            m_engine->PeerSpeedChanged.store(true);
        ShowSpeed(ClampSpeed(speed));
        RestartOnChange(true);
    }
    ShowPeerSilence();
}

void TfmRemote::ShowPeerSilence() {
    // A sending the user started is not stopped when the peer falls silent
    // (a commanded one is, by the engine): the header says so instead, once
    // the peer has been quiet longer than a live one ever is. Silence counts
    // from the start of the sending at the earliest; nobody answers a
    // broadcast as such.
    int seconds = -1;
    if (m_engine->IsSending(false) && !m_engine->SendingCommanded() &&
        m_engine->Destination() != kBroadcastAddress) {
        if (!m_sendingFor.isValid())
            m_sendingFor.start();
        const auto silent =
            std::min<std::int64_t>(m_engine->PeerSilentMs(), m_sendingFor.elapsed());
        if (silent >= PeerSilenceMs(1, m_engine->InfoTime()))
            seconds = static_cast<int>(silent / 1000);
    } else {
        m_sendingFor.invalidate();
    }
    if (seconds == m_silentSeconds)
        return;
    m_silentSeconds = seconds;
    ShowHeader();
}

void TfmRemote::ShowHeader() {
    if (m_silentSeconds >= 0)
        ui->stHeader->setText(
            AppText(kLinePeerSilentFor, m_baseHeader.toStdString(), m_silentSeconds));
    else
        ui->stHeader->setText(m_baseHeader);
}

bool TfmRemote::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut &&
        (watched == ui->coAddress || watched == ui->coAddress->lineEdit())) {
        if (!ui->coAddress->view()->isVisible())
            ApplyHost();
    } else if (event->type() == QEvent::KeyPress &&
               (watched == ui->coAddress || watched == ui->coAddress->lineEdit())) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            ApplyHost();
            return true;
        }
    }
    return TzfmCliSrv::eventFilter(watched, event);
}

TbNRcvbufDrops TfmRemote::CurrentDrops() const {
    return m_engine != nullptr ? m_engine->RemoteRcvbufDrops() : TbNRcvbufDrops{};
}
