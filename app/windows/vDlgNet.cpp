// SPDX-License-Identifier: GPL-3.0-or-later
#include "vDlgNet.h"

#include <QLabel>
#include <QSpinBox>
#include <QTabWidget>

#include "cNet0.h"
#include "uConfig.h"
#include "uAppStr.h"
#include "ui_vDlgNet.h"

QString InForceText(int bytes) {
    if (bytes <= 0)
        return {};
    return AppText(kLineInForce, bytes / 1024);
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
    ShowInForce(engine != nullptr ? engine->SocketBuffers() : TbNSocketBuffers{});
}

void TfmDlgNet::ShowInForce(const TbNSocketBuffers& buffers) {
    m_ui->stRecvBufInForce->setText(InForceText(buffers.RecvBuf));
    m_ui->stSendBufInForce->setText(InForceText(buffers.SendBuf));
}

bool TfmDlgNet::OnCloseDialog() {
    if (ModalResult() != mrOk)
        return true;
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
    TCfgOpt::Save();
    return true;
}
