// SPDX-License-Identifier: GPL-3.0-or-later
#include "vDlgNet.h"

#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <algorithm>
#include <string>

#include "cNet0.h"
#include "uConfig.h"
#include "uAppStr.h"
#include "ui_vDlgNet.h"

QString InForceText(int bytes) {
    if (bytes <= 0)
        return {};
    return AppText(kLineInForce, bytes / 1024);
}

bool PeerLimitsFrom(const TCfgOpt& options, TbNLimits& limits) {
    limits.PeerSilence = std::max(options.PeerSilence, 0);
    limits.MaxSpeed = std::max(options.PeerMaxSpeed, 0);
    limits.MaxSendTime = std::max(options.PeerMaxSendTime, 0);
    std::string error;
    return ParseAllowList(options.PeerAllow, limits.Allow, error);
}

TfmDlgNet::TfmDlgNet(QWidget* owner) : TzfmDlg(owner), m_ui(new Ui::TfmDlgNet) {
    auto* holder = new QWidget(this);
    holder->hide();
    m_ui->setupUi(holder);
    setWindowTitle(QStringLiteral("Network"));
    AdoptPages(m_ui->Pages);
}

TfmDlgNet::~TfmDlgNet() {
    delete m_ui;
}

QSpinBox* TfmDlgNet::esPort() const {
    return m_ui->esPort;
}
QSpinBox* TfmDlgNet::esSendBuf() const {
    return m_ui->esSendBuf;
}
QSpinBox* TfmDlgNet::esRecvBuf() const {
    return m_ui->esRecvBuf;
}
QLabel* TfmDlgNet::stRecvBufInForce() const {
    return m_ui->stRecvBufInForce;
}
QLabel* TfmDlgNet::stSendBufInForce() const {
    return m_ui->stSendBufInForce;
}
QSpinBox* TfmDlgNet::esPeerSilence() const {
    return m_ui->esPeerSilence;
}
QSpinBox* TfmDlgNet::esPeerMaxSendTime() const {
    return m_ui->esPeerMaxSendTime;
}
QSpinBox* TfmDlgNet::esPeerMaxSpeed() const {
    return m_ui->esPeerMaxSpeed;
}
QLineEdit* TfmDlgNet::edPeerAllow() const {
    return m_ui->edPeerAllow;
}
QLabel* TfmDlgNet::stPeerSilenceInForce() const {
    return m_ui->stPeerSilenceInForce;
}
QLabel* TfmDlgNet::stPeerAllowError() const {
    return m_ui->stPeerAllowError;
}

void TfmDlgNet::FormCreate() {
    TzfmDlg::FormCreate();
    m_ui->esPort->setValue(CfgOpt.Port);
    m_ui->esRecvBuf->setValue(CfgOpt.SockRecvBuf / 1024);
    m_ui->esSendBuf->setValue(CfgOpt.SockSendBuf / 1024);
    const TbNBSClient* engine = NetClient.load();
    ShowInForce(engine != nullptr ? engine->SocketBuffers() : TbNSocketBuffers{});
    // Values from the settings file beyond a field's range are shown at its
    // nearest end; the speed is shown in whole Mbps and stored again only
    // when the user changes it, so 1500 kbit/s stays 1500.
    m_ui->esPeerSilence->setValue(CfgOpt.PeerSilence);
    m_ui->esPeerMaxSendTime->setValue(CfgOpt.PeerMaxSendTime);
    m_ui->esPeerMaxSpeed->setValue(CfgOpt.PeerMaxSpeed / 1000);
    m_maxSpeedShown = m_ui->esPeerMaxSpeed->value();
    m_ui->edPeerAllow->setText(QString::fromStdString(CfgOpt.PeerAllow));
    ShowSilenceInForce();
    connect(m_ui->esPeerSilence, &QSpinBox::valueChanged, this, [this] { ShowSilenceInForce(); });
    connect(m_ui->edPeerAllow, &QLineEdit::textEdited, m_ui->stPeerAllowError, &QLabel::hide);
}

void TfmDlgNet::ShowSilenceInForce() {
    // A silence shorter than three information intervals (and 3 s) would
    // take a live peer for a silent one: the engine raises it.
    const std::int32_t ms = PeerSilenceMs(m_ui->esPeerSilence->value(), CfgOpt.InfoTime);
    const bool raised = ms > 0 && ms != m_ui->esPeerSilence->value() * 1000;
    m_ui->stPeerSilenceInForce->setText(raised ? AppText(kLineSilenceInForce, (ms + 999) / 1000)
                                               : QString());
}

bool TfmDlgNet::TakePeerLimits() {
    const std::string allow = m_ui->edPeerAllow->text().trimmed().toStdString();
    TbNAllowList list;
    if (std::string error; !ParseAllowList(allow, list, error)) {
        m_ui->stPeerAllowError->setText(AppText(kLineBadAllowList, allow));
        m_ui->stPeerAllowError->show();
        // In the merged dialog the page may lie behind another tab.
        QWidget* stack = m_ui->tsNet->parentWidget();
        if (auto* tabs =
                qobject_cast<QTabWidget*>(stack != nullptr ? stack->parentWidget() : nullptr))
            tabs->setCurrentWidget(m_ui->tsNet);
        m_ui->edPeerAllow->setFocus();
        return false;
    }
    m_ui->stPeerAllowError->clear();
    m_ui->stPeerAllowError->hide();
    CfgOpt.PeerSilence = m_ui->esPeerSilence->value();
    CfgOpt.PeerMaxSendTime = m_ui->esPeerMaxSendTime->value();
    if (m_ui->esPeerMaxSpeed->value() != m_maxSpeedShown)
        CfgOpt.PeerMaxSpeed = m_ui->esPeerMaxSpeed->value() * 1000;
    CfgOpt.PeerAllow = allow;
    return true;
}

void TfmDlgNet::ShowInForce(const TbNSocketBuffers& buffers) {
    m_ui->stRecvBufInForce->setText(InForceText(buffers.RecvBuf));
    m_ui->stSendBufInForce->setText(InForceText(buffers.SendBuf));
}

bool TfmDlgNet::OnCloseDialog() {
    if (ModalResult() != mrOk)
        return true;
    if (!TakePeerLimits())
        return false;
    CfgOpt.Port = m_ui->esPort->value();
    CfgOpt.SockRecvBuf = m_ui->esRecvBuf->value() * 1024;
    CfgOpt.SockSendBuf = m_ui->esSendBuf->value() * 1024;
    // At once on the open socket; a refused size leaves it as it was, and
    // the setting is stored all the same.
    if (TbNBSClient* engine = NetClient.load();
        engine != nullptr && engine->ApplySocketBuffers(CfgOpt.SockRecvBuf, CfgOpt.SockSendBuf)) {
        m_applied = engine->SocketBuffers();
        ShowInForce(m_applied);
    }
    if (TbNBSClient* engine = NetClient.load(); engine != nullptr) {
        TbNLimits limits;
        PeerLimitsFrom(CfgOpt, limits);
        engine->SetLimits(limits);
    }
    TCfgOpt::Save();
    return true;
}
