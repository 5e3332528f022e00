// SPDX-License-Identifier: GPL-3.0-or-later
#include "vLookup.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include "cNet0.h"
#include "ui_vLookup.h"

namespace {

TbNBSClient* Engine() {
    return NetClient.load();
}

QString AddressText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace

TfmLookup::TfmLookup(QWidget* owner) : TzfmForm(owner), ui(std::make_unique<Ui::TfmLookup>()) {
    ui->setupUi(this);
    // A dialog without border icons: no system menu, no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(263, 167);
    m_timer = new QTimer(this);
    m_timer->setInterval(kLookupRepeatMs);
    connect(m_timer, &QTimer::timeout, this, &TfmLookup::SearchStep);
    connect(ui->bbOk, &QPushButton::clicked, this, &TfmLookup::bbOkClick);
    connect(ui->bbCancel, &QPushButton::clicked, this, &TfmLookup::bbCancelClick);
    connect(ui->ListBox, &QListWidget::itemDoubleClicked, this, &TfmLookup::ListBoxDblClick);
}

TfmLookup::~TfmLookup() {
    EndSearch();
}

void TfmLookup::FormCreate() {
    TzfmForm::FormCreate();
    m_running = false;
}

void TfmLookup::FormDestroy() {
    EndSearch();
    TzfmForm::FormDestroy();
}

void TfmLookup::FormClose(bool& accept) {
    TzfmForm::FormClose(accept);
    if (accept)
        EndSearch();
}

QListWidget* TfmLookup::ListBox() const {
    return ui->ListBox;
}
QPushButton* TfmLookup::OkButton() const {
    return ui->bbOk;
}
QPushButton* TfmLookup::CancelButton() const {
    return ui->bbCancel;
}

void TfmLookup::OnStart() {
    TbNBSClient* engine = Engine();
    if (engine == nullptr)
        return;
    m_keptHost = engine->GetRemoteHost();
    m_searchOpen = true;
    m_running = true;
    ui->bbOk->setEnabled(false);
    SearchStep();
    m_timer->start();
}

void TfmLookup::SearchStep() {
    if (!m_running)
        return;
    TbNBSClient* engine = Engine();
    if (engine == nullptr) {
        // The engine went away (the program is closing): nothing to restore.
        m_searchOpen = false;
        m_running = false;
        m_timer->stop();
        return;
    }
    if (engine->IsSending(false)) {
        // The peer started this side's sending: the data must not follow the
        // lookup's broadcast destination.
        EndSearch();
        return;
    }
    // On every pass one more request goes out at the engine's next tick.
    engine->SetLookup(true);
    const int found = engine->FoundCount();
    int lines = ui->ListBox->count();
    const int hosts = ui->bbOk->isEnabled() ? lines : lines - 1;
    if (hosts < found) {
        if (!ui->bbOk->isEnabled()) {
            ui->ListBox->clear();
            ui->bbOk->setEnabled(true);
            lines = 0;
        }
        // One host per pass, in the order the engine found them.
        if (lines < found)
            ui->ListBox->addItem(AddressText(engine->FoundServer(lines)));
    }
}

void TfmLookup::EndSearch() {
    m_running = false;
    if (m_timer != nullptr)
        m_timer->stop();
    if (!m_searchOpen)
        return;
    m_searchOpen = false;
    if (TbNBSClient* engine = Engine()) {
        engine->SetLookup(false);
        engine->SetRemoteHost(m_keptHost);
    }
}

void TfmLookup::bbOkClick() {
    const int row = ui->ListBox->currentRow();
    if (row < 0 || row >= ui->ListBox->count() || ui->ListBox->currentItem() == nullptr ||
        !ui->ListBox->currentItem()->isSelected()) {
        QApplication::beep();
        return;
    }
    m_selectedHost = ui->ListBox->item(row)->text().toStdString();
    EndSearch();
    SetModalResult(mrOk);
}

void TfmLookup::bbCancelClick() {
    EndSearch();
    if (sender() == ui->bbCancel || sender() == nullptr)
        SetModalResult(mrCancel);
}

void TfmLookup::ListBoxDblClick() {
    if (ui->bbOk->isEnabled())
        bbOkClick();
}

void TfmLookup::keyPressEvent(QKeyEvent* event) {
    // The OK button reacts to Enter, Cancel to Escape (keys the list leaves).
    switch (event->key()) {
    case Qt::Key_Escape:
        ui->bbCancel->click();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (ui->bbOk->isEnabled())
            ui->bbOk->click();
        event->accept();
        return;
    default:
        TzfmForm::keyPressEvent(event);
    }
}

void TfmLookup::mouseDoubleClickEvent(QMouseEvent* event) {
    // Only the background: the list handles its own double clicks.
    EndSearch();
    event->accept();
}

bool LookupAllowed() {
    TbNBSClient* engine = Engine();
    return engine != nullptr && !engine->IsSending(false);
}

std::string LookupServer(QWidget* owner) {
    if (!LookupAllowed())
        return {};
    TfmLookup* dialog = TzfmForm::Create<TfmLookup>(owner);
    std::string host;
    try {
        if (dialog->ShowModal() == mrOk)
            host = dialog->SelectedHost();
    } catch (...) {
        TzfmForm::DestroyForm(dialog);
        throw;
    }
    TzfmForm::DestroyForm(dialog);
    return host;
}
