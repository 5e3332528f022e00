// SPDX-License-Identifier: GPL-3.0-or-later
#include "vSystem.h"

#include <QLabel>

#include "cNet0.h"
#include "uAppStr.h"
#include "ui_vSystem.h"

QPointer<TfmSystem> fmSystem;

TfmSystem::TfmSystem(QWidget* owner) : TzfmForm(owner), ui(std::make_unique<Ui::TfmSystem>()) {
    ui->setupUi(this);
    // Only the system menu: no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(444, 154);
}

TfmSystem::~TfmSystem() = default;

void TfmSystem::FormCreate() {
    TzfmForm::FormCreate();
    fmSystem = this;
    ui->stSockDescription->setText(
        QString::fromStdString(SocketInfo.szDescription).left(kSockDescriptionLength));
    ui->stSystemStatus->setText(
        QString::fromStdString(SocketInfo.szSystemStatus).left(kSystemStatusLength));
    // The stand-in's record carries no vendor text.
    ui->stVendorInfo->clear();
    ShowSocketBuffers();
}

void TfmSystem::ShowSocketBuffers() {
    const TbNBSClient* engine = NetClient.load();
    const TbNSocketBuffers buffers =
        engine != nullptr ? engine->SocketBuffers() : TbNSocketBuffers{};
    if (buffers.RecvBuf <= 0 && buffers.SendBuf <= 0) {
        ui->stSocketBuffers->clear();
        return;
    }
    ui->stSocketBuffers->setText(
        AppText(kLineBuffersInForce, buffers.RecvBuf / 1024, buffers.SendBuf / 1024));
}

void TfmSystem::FormDestroy() {
    if (fmSystem == this)
        fmSystem = nullptr;
    TzfmForm::FormDestroy();
}

QLabel* TfmSystem::Description() const {
    return ui->stSockDescription;
}
QLabel* TfmSystem::Status() const {
    return ui->stSystemStatus;
}
QLabel* TfmSystem::Vendor() const {
    return ui->stVendorInfo;
}
QLabel* TfmSystem::SocketBuffers() const {
    return ui->stSocketBuffers;
}

void ShowSystemInfo(QWidget* owner) {
    if (fmSystem == nullptr)
        TzfmForm::Create<TfmSystem>(owner);
    // The buffers may have changed since (the Network settings).
    fmSystem->ShowSocketBuffers();
    fmSystem->ShowModal();
}
