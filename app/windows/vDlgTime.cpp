// SPDX-License-Identifier: GPL-3.0-or-later
#include "vDlgTime.h"

#include <QSpinBox>
#include <QTabWidget>

#include "cNet0.h"
#include "uConfig.h"
#include "uDlgHooks.h"
#include "ui_vDlgTime.h"

namespace {

// Edit done: Enter or leaving the field after a change, and every arrow or
// key step (keyboard tracking is off, so typing alone does not fire).
template <class TSlot> void OnEditDone(QSpinBox* edit, TfmDlgTime* dialog, TSlot slot) {
    QObject::connect(edit, &QSpinBox::valueChanged, dialog, slot);
}

} // namespace

TfmDlgTime::TfmDlgTime(QWidget* owner) : TzfmDlg(owner), m_ui(new Ui::TfmDlgTime) {
    auto* holder = new QWidget(this);
    holder->hide();
    m_ui->setupUi(holder);
    setWindowTitle(QStringLiteral("Timing"));
    AdoptPages(m_ui->Pages);
}

TfmDlgTime::~TfmDlgTime() {
    delete m_ui;
}

QSpinBox* TfmDlgTime::esTimer() const {
    return m_ui->esTimer;
}
QSpinBox* TfmDlgTime::esInfoTime() const {
    return m_ui->esInfoTime;
}
QSpinBox* TfmDlgTime::esViewTime() const {
    return m_ui->esViewTime;
}
QSpinBox* TfmDlgTime::esGraphTime() const {
    return m_ui->esGraphTime;
}

void TfmDlgTime::FormCreate() {
    TzfmDlg::FormCreate();
    m_keptGraphTime = CfgOpt.GraphTime;
    m_keptTimer = CfgOpt.TimerPeriod;
    m_keptInfoTime = CfgOpt.InfoTime;
    m_keptViewTime = CfgOpt.ViewTime;
    // The minima follow the timer period, not the designed 100 ms: lowered
    // first, so that a stored interval below 100 ms is shown as it is.
    m_ui->esInfoTime->setMinimum(1);
    m_ui->esViewTime->setMinimum(1);
    m_ui->esTimer->setValue(CfgOpt.TimerPeriod);
    m_ui->esInfoTime->setValue(CfgOpt.InfoTime);
    m_ui->esViewTime->setValue(CfgOpt.ViewTime);
    m_ui->esGraphTime->setValue(CfgOpt.GraphTime);
    m_ui->esInfoTime->setMinimum(m_ui->esTimer->value());
    m_ui->esViewTime->setMinimum(m_ui->esTimer->value());
    // Connected after the values are in, so that filling them applies nothing.
    OnEditDone(m_ui->esTimer, this, &TfmDlgTime::esTimerEditDone);
    OnEditDone(m_ui->esInfoTime, this, &TfmDlgTime::esInfoTimeEditDone);
    OnEditDone(m_ui->esViewTime, this, &TfmDlgTime::esViewTimeEditDone);
    OnEditDone(m_ui->esGraphTime, this, &TfmDlgTime::esGraphTimeEditDone);
}

void TfmDlgTime::esTimerEditDone() {
    const int value = m_ui->esTimer->value();
    if (TbNBSClient* engine = NetClient.load())
        engine->SetTimerPeriod(value);
    m_timerChanged = true;
    CfgOpt.TimerPeriod = value;
    // Raising a minimum above the value raises the value: that change is
    // applied too, through its own edit-done.
    m_ui->esInfoTime->setMinimum(value);
    m_ui->esViewTime->setMinimum(value);
}

// The values in force while the page is open: the engine, the view timer
// and the panels' report processing (view interval, information interval,
// gap threshold) follow each edit at once; Cancel takes them all back.
void TfmDlgTime::esInfoTimeEditDone() {
    if (TbNBSClient* engine = NetClient.load())
        engine->SetInfoTime(m_ui->esInfoTime->value());
    m_infoTimeChanged = true;
    CfgOpt.InfoTime = m_ui->esInfoTime->value();
    if (ColorHook)
        ColorHook();
}

void TfmDlgTime::esViewTimeEditDone() {
    m_viewTimeChanged = true;
    CfgOpt.ViewTime = m_ui->esViewTime->value();
    if (ViewTimeHook)
        ViewTimeHook(m_ui->esViewTime->value());
    if (ColorHook)
        ColorHook();
}

void TfmDlgTime::esGraphTimeEditDone() {
    m_graphTimeChanged = true;
    CfgOpt.GraphTime = m_ui->esGraphTime->value();
    if (ColorHook)
        ColorHook();
}

bool TfmDlgTime::OnCloseDialog() {
    if (ModalResult() == mrOk) {
        CfgOpt.TimerPeriod = m_ui->esTimer->value();
        CfgOpt.InfoTime = m_ui->esInfoTime->value();
        CfgOpt.ViewTime = m_ui->esViewTime->value();
        CfgOpt.GraphTime = m_ui->esGraphTime->value();
        TCfgOpt::Save();
        return true;
    }
    TbNBSClient* engine = NetClient.load();
    CfgOpt.TimerPeriod = m_keptTimer;
    CfgOpt.InfoTime = m_keptInfoTime;
    CfgOpt.ViewTime = m_keptViewTime;
    if (m_timerChanged && engine != nullptr)
        engine->SetTimerPeriod(CfgOpt.TimerPeriod);
    if (m_infoTimeChanged && engine != nullptr)
        engine->SetInfoTime(CfgOpt.InfoTime);
    if (ViewTimeHook)
        ViewTimeHook(CfgOpt.ViewTime);
    if (m_graphTimeChanged)
        CfgOpt.GraphTime = m_keptGraphTime;
    if ((m_graphTimeChanged || m_infoTimeChanged || m_viewTimeChanged) && ColorHook)
        ColorHook();
    return true;
}
