// SPDX-License-Identifier: GPL-3.0-or-later
#include "vDlgNet.h"

#include <QLabel>
#include <QSpinBox>
#include <QTabWidget>

#include "cNet0.h"
#include "uConfig.h"
#include "ui_vDlgNet.h"

QString InForceText(int bytes) {
    if (bytes <= 0)
        return {};
    return QStringLiteral("in force: %1 KB").arg(bytes / 1024);
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

void TfmDlgNet::FormCreate() {
    TzfmDlg::FormCreate();
    m_ui->esPort->setValue(CfgOpt.Port);
    m_ui->esRecvBuf->setValue(CfgOpt.SockRecvBuf / 1024);
    m_ui->esSendBuf->setValue(CfgOpt.SockSendBuf / 1024);
    const TbNBSClient* engine = NetClient.load();
    ShowInForce(SocketBuffersInForce(engine != nullptr ? engine->Socket() : INVALID_SOCKET));
}

void TfmDlgNet::ShowInForce(const TSocketBuffers& buffers) {
    m_ui->stRecvBufInForce->setText(InForceText(buffers.Receive));
    m_ui->stSendBufInForce->setText(InForceText(buffers.Send));
}

bool TfmDlgNet::OnCloseDialog() {
    if (ModalResult() != mrOk)
        return true;
    CfgOpt.Port = m_ui->esPort->value();
    CfgOpt.SockRecvBuf = m_ui->esRecvBuf->value() * 1024;
    CfgOpt.SockSendBuf = m_ui->esSendBuf->value() * 1024;
    if (const TbNBSClient* engine = NetClient.load()) {
        m_applied = ApplySocketBuffers(engine->Socket(), CfgOpt.SockRecvBuf, CfgOpt.SockSendBuf);
        ShowInForce(m_applied);
    }
    TCfgOpt::Save();
    return true;
}
