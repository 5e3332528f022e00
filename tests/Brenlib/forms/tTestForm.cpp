// SPDX-License-Identifier: GPL-3.0-or-later
#include "tTestForm.h"

#include <algorithm>

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui_tTestForm.h"

TfmTestForm::TfmTestForm(QWidget* owner) : TzfmForm(owner), m_ui(new Ui::TfmTestForm) {
    Log.push_back("constructor");
    m_ui->setupUi(this);
    connect(m_ui->bbThrow, &QPushButton::clicked, this,
            Guarded([] { throw EzExcept(IDS_zeNotFound, "TfmTestForm", "bbThrowClick"); }));
}

TfmTestForm::~TfmTestForm() {
    delete m_ui;
}

QPushButton* TfmTestForm::bbThrow() const {
    return m_ui->bbThrow;
}

void TfmTestForm::OnReadLayout(tPropMode modes) {
    Log.push_back("OnReadLayout");
    TzfmForm::OnReadLayout(modes);
}

void TfmTestForm::FormCreate() {
    TzfmForm::FormCreate();
    Log.push_back("FormCreate");
}

void TfmTestForm::OnStart() {
    Log.push_back("OnStart");
}

void TfmTestForm::OnSaveLayout(tPropMode modes) {
    Log.push_back(std::string("OnSaveLayout ") + metaObject()->className());
    TzfmForm::OnSaveLayout(modes);
}

void TfmTestForm::FormDestroy() {
    Log.push_back("FormDestroy");
    TzfmForm::FormDestroy();
}

void TfmTestForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F9)
        throw EzException("key %s", "F9");
    TzfmForm::keyPressEvent(event);
}

TfmTestDlgBase::TfmTestDlgBase(QWidget* owner, const QStringList& captions) : TzfmDlg(owner) {
    // The pages as a derived dialog's own form would hold them.
    auto* holder = new QWidget(this);
    holder->hide();
    auto* designed = new QTabWidget(holder);
    for (const auto& caption : captions) {
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("ts") + caption);
        auto* layout = new QVBoxLayout(page);
        layout->addWidget(new QLabel(QStringLiteral("Page ") + caption, page));
        const int index = designed->addTab(page, caption);
        designed->setTabEnabled(index, !Disabled.contains(caption));
        designed->setTabVisible(index, !Hidden.contains(caption));
    }
    AdoptPages(designed);
}

bool TfmTestDlgBase::OnCloseDialog() {
    const std::string name = metaObject()->className();
    Log.push_back(name + (ModalResult() == mrOk ? " OK" : " Cancel"));
    return std::find(Refuse.begin(), Refuse.end(), name) == Refuse.end();
}
