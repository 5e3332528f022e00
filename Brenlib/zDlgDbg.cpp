// SPDX-License-Identifier: GPL-3.0-or-later
#include "zDlgDbg.h"

#include <QCheckBox>
#include <QSpinBox>
#include <QTabWidget>

#include "ui_zDlgDbg.h"
#include "zCfgDbg.h"

TzfmDlgDebug::TzfmDlgDebug(QWidget* owner) : TzfmDlg(owner), m_ui(new Ui::TzfmDlgDebug) {
    auto* holder = new QWidget(this);
    holder->hide();
    m_ui->setupUi(holder);
    setWindowTitle(QStringLiteral("Debug Properties"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    AdoptPages(m_ui->Pages);
}

TzfmDlgDebug::~TzfmDlgDebug() {
    delete m_ui;
}

QWidget* TzfmDlgDebug::tsTrace() const {
    return m_ui->tsTrace;
}

void TzfmDlgDebug::FormCreate() {
    TzfmDlg::FormCreate();
    m_tabShown = TCfgDbg::ReadDebugLevel() > 0;
    const int index = PageControl()->indexOf(m_ui->tsTrace);
    if (index >= 0)
        PageControl()->setTabVisible(index, m_tabShown);
    m_ui->cbTrace->setChecked(CfgDbg.Trace);
    m_ui->cbTrToStat->setChecked(CfgDbg.TrToStat);
    m_ui->cbStatToTr->setChecked(CfgDbg.StatToTr);
    m_ui->Edit1->setValue(CfgDbg.MaxTrace);
    m_ui->cbLangEd->setChecked(CfgDbg.LangEdit);
    m_ui->cbOpenCloseFile->setChecked(CfgDbg.OpenCloseFile);
}

bool TzfmDlgDebug::OnCloseDialog() {
    if (ModalResult() != mrOk)
        return true;
    CfgDbg.MaxTrace = m_ui->Edit1->value();
    CfgDbg.LangEdit = m_ui->cbLangEd->isChecked();
    if (m_tabShown) {
        CfgDbg.Trace = m_ui->cbTrace->isChecked();
        CfgDbg.TrToStat = m_ui->cbTrToStat->isChecked();
        CfgDbg.StatToTr = m_ui->cbStatToTr->isChecked();
        CfgDbg.OpenCloseFile = m_ui->cbOpenCloseFile->isChecked();
        TCfgDbg::Save();
    } else {
        CfgDbg.Trace = false;
        CfgDbg.TrToStat = false;
        CfgDbg.StatToTr = false;
        TCfgDbg::WriteDebugLevel(0);
    }
    return true;
}
