// SPDX-License-Identifier: GPL-3.0-or-later
#include "zzWatchD.h"

#include <malloc.h>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QTimer>

#include "ui_zzWatchD.h"

QPointer<TfmWatchD> DlgWatch;

namespace {

constexpr int kRefreshMs = 500;

QString Number(std::int64_t value) {
    return QString::number(value);
}

} // namespace

std::int64_t TfmWatchD::Count() {
    if (Counter)
        return Counter();
    return static_cast<std::int64_t>(mallinfo2().uordblks);
}

TfmWatchD::TfmWatchD(QWidget* owner) : TzfmForm(owner), m_ui(new Ui::TfmWatchD) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose);
    // A developer's window beside the main one: it never keeps the program
    // running once the main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("tiWatch"));
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, Guarded(this, &TfmWatchD::Refresh));
    connect(m_ui->cbTop, &QCheckBox::toggled, this, Guarded([this] {
                const bool wasVisible = isVisible();
                setWindowFlag(Qt::WindowStaysOnTopHint, m_ui->cbTop->isChecked());
                if (wasVisible)
                    show();
            }));
    m_ui->laMemUse0->installEventFilter(this);
    m_ui->laMemUse1->installEventFilter(this);
}

TfmWatchD::~TfmWatchD() {
    delete m_ui;
}

void TfmWatchD::FormCreate() {
    TzfmForm::FormCreate();
    m_figures.Last = 0;
    m_figures.BaselineA = 36;
    m_figures.BaselineB = Count();
}

void TfmWatchD::Refresh() {
    const std::int64_t count = Count();
    if (!m_figures.Take(count))
        return;
    m_ui->laMemUse0->setText(Number(count - m_figures.BaselineA));
    m_ui->laMemUse1->setText(Number(count - m_figures.BaselineB));
    m_ui->laMemUseG->setText(Number(count - StartBaseline));
    if (isMinimized())
        setWindowTitle(Number(count - m_figures.BaselineA));
}

void TfmWatchD::ResetBaselineA() {
    m_figures.BaselineA = Count();
    m_figures.Last = -1;
}

void TfmWatchD::ResetBaselineB() {
    m_figures.BaselineB = Count();
    m_figures.Last = -1;
}

QString TfmWatchD::Text0() const {
    return m_ui->laMemUse0->text();
}
QString TfmWatchD::Text1() const {
    return m_ui->laMemUse1->text();
}
QString TfmWatchD::TextG() const {
    return m_ui->laMemUseG->text();
}

bool TfmWatchD::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == m_ui->laMemUse0)
            ResetBaselineA();
        else if (watched == m_ui->laMemUse1)
            ResetBaselineB();
    }
    return TzfmForm::eventFilter(watched, event);
}

void TfmWatchD::showEvent(QShowEvent* event) {
    TzfmForm::showEvent(event);
    m_timer->start();
}

void TfmWatchD::hideEvent(QHideEvent* event) {
    TzfmForm::hideEvent(event);
    if (!isMinimized())
        m_timer->stop();
}

void TfmWatchD::resizeEvent(QResizeEvent* event) {
    TzfmForm::resizeEvent(event);
    if (!isMinimized() && m_menuItem != nullptr)
        setWindowTitle(m_menuItem->text());
}

void TfmWatchD::changeEvent(QEvent* event) {
    TzfmForm::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && !isMinimized() && m_menuItem != nullptr)
        setWindowTitle(m_menuItem->text());
}

void TfmWatchD::closeEvent(QCloseEvent* event) {
    m_timer->stop();
    if (m_menuItem != nullptr)
        m_menuItem->setChecked(false);
    TzfmForm::closeEvent(event);
}

void DlgWatchShow(QAction* menuItem) {
    if (DlgWatch == nullptr)
        DlgWatch = TzfmForm::Create<TfmWatchD>(nullptr);
    DlgWatch->SetMenuItem(menuItem);
    const bool show = menuItem == nullptr || menuItem->isChecked();
    if (show) {
        if (menuItem != nullptr)
            DlgWatch->setWindowTitle(menuItem->text());
        DlgWatch->show();
        DlgWatch->raise();
    } else {
        DlgWatch->hide();
    }
}

void MemPreStart() {
    TfmWatchD::StartBaseline = TfmWatchD::Count();
}
