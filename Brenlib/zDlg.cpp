// SPDX-License-Identifier: GPL-3.0-or-later
#include "zDlg.h"

#include <algorithm>

#include <QDesktopServices>
#include <QKeyEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>

#include "ui_zDlg.h"
#include "zMain.h"

namespace {

constexpr const char* kSetting = "Setting";
constexpr const char* kConfPage = "ConfPage";
constexpr const char* kDesignedCaption = "zDesignedCaption";

std::vector<const QMetaObject*> g_registered;
// The data of the ShowConfigDialog call in progress.
QObject* g_currentData = nullptr;

} // namespace

TzfmDlg::TzfmDlg(QWidget* owner) : TzfmForm(owner), m_ui(new Ui::TzfmDlg) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    connect(m_ui->bbOk, &QPushButton::clicked, this, Guarded([this] { SetModalResult(mrOk); }));
    connect(m_ui->bbCancel, &QPushButton::clicked, this,
            Guarded([this] { SetModalResult(mrCancel); }));
    connect(m_ui->bbHelp, &QPushButton::clicked, this, Guarded([] {
                if (!TzfmMain::HelpFile.empty())
                    QDesktopServices::openUrl(
                        QUrl::fromLocalFile(QString::fromStdString(TzfmMain::HelpFile)));
            }));
    connect(m_ui->PageControl, &QTabWidget::currentChanged, this,
            Guarded([this] { PageControlChange(m_ui->PageControl->currentIndex()); }));
}

TzfmDlg::~TzfmDlg() {
    delete m_ui;
}

QTabWidget* TzfmDlg::PageControl() const {
    return m_ui->PageControl;
}
QWidget* TzfmDlg::paButtons() const {
    return m_ui->paButtons;
}
QPushButton* TzfmDlg::bbOk() const {
    return m_ui->bbOk;
}
QPushButton* TzfmDlg::bbCancel() const {
    return m_ui->bbCancel;
}
QPushButton* TzfmDlg::bbHelp() const {
    return m_ui->bbHelp;
}

// --- registry ---

void TzfmDlg::AddConfigDlgForm(const QMetaObject& dialogClass) {
    if (std::find(g_registered.begin(), g_registered.end(), &dialogClass) == g_registered.end())
        g_registered.push_back(&dialogClass);
}

const std::vector<const QMetaObject*>& TzfmDlg::ConfigDlgForms() {
    return g_registered;
}

void TzfmDlg::ClearConfigDlgForms() {
    g_registered.clear();
}

bool TzfmDlg::IsMergedDialog() const {
    return std::find(g_registered.begin(), g_registered.end(), metaObject()) != g_registered.end();
}

int TzfmDlg::ShowConfigDialog(const QMetaObject& dialogClass, QObject* data) {
    struct TDataScope {
        explicit TDataScope(QObject* data) { g_currentData = data; }
        ~TDataScope() { g_currentData = nullptr; }
        TDataScope(const TDataScope&) = delete;
        TDataScope& operator=(const TDataScope&) = delete;
    } scope(data);
    TzfmForm* dialog = CreateForm(dialogClass, nullptr);
    int result = mrNone;
    try {
        result = dialog->ShowModal();
    } catch (...) {
        DestroyForm(dialog);
        throw;
    }
    DestroyForm(dialog);
    return result;
}

// --- pages ---

QString TzfmDlg::DesignedCaption(QWidget* page, const QString& shown) {
    const QVariant designed = page != nullptr ? page->property(kDesignedCaption) : QVariant();
    return designed.isValid() ? designed.toString() : shown;
}

void TzfmDlg::AdoptPages(QTabWidget* designed) {
    if (designed == nullptr)
        return;
    while (designed->count() > 0) {
        QWidget* page = designed->widget(0);
        const QString caption = designed->tabText(0);
        const bool enabled = designed->isTabEnabled(0);
        const bool visible = designed->isTabVisible(0);
        designed->removeTab(0);
        if (!page->property(kDesignedCaption).isValid())
            page->setProperty(kDesignedCaption, caption);
        const int index = m_ui->PageControl->addTab(page, caption);
        m_ui->PageControl->setTabEnabled(index, enabled);
        m_ui->PageControl->setTabVisible(index, visible);
    }
    designed->hide();
}

std::vector<TzfmDlg*> TzfmDlg::ChildDialogs() const {
    std::vector<TzfmDlg*> children;
    for (const auto& child : m_children)
        if (child != nullptr)
            children.push_back(child);
    return children;
}

void TzfmDlg::FormCreate() {
    TzfmForm::FormCreate();
    m_data = g_currentData;
    m_merged = IsMergedDialog();
    if (!m_merged && metaObject() == &TzfmDlg::staticMetaObject) {
        DoDlgCreate();
        const std::string stored =
            IniMain != nullptr ? IniMain->ReadString(kSetting, kConfPage, "") : std::string();
        if (!stored.empty()) {
            const auto wanted = QString::fromStdString(stored);
            auto* pages = m_ui->PageControl;
            for (int i = 0; i < pages->count(); ++i) {
                const bool match = DesignedCaption(pages->widget(i), pages->tabText(i)) == wanted ||
                                   pages->tabText(i) == wanted;
                if (match && pages->isTabVisible(i)) {
                    pages->setCurrentIndex(i);
                    break;
                }
            }
        }
    }
    PageControlChange(m_ui->PageControl->currentIndex());
}

void TzfmDlg::DoDlgCreate() {
    for (const QMetaObject* dialogClass : g_registered) {
        auto* child = qobject_cast<TzfmDlg*>(CreateForm(*dialogClass, this));
        if (child == nullptr)
            continue;
        m_children.emplace_back(child);
        auto* from = child->PageControl();
        int i = 0;
        while (i < from->count()) {
            if (!from->isTabEnabled(i)) {
                ++i;
                continue;
            }
            QWidget* page = from->widget(i);
            const QString caption = from->tabText(i);
            const bool visible = from->isTabVisible(i);
            from->removeTab(i);
            const int index = m_ui->PageControl->addTab(page, caption);
            m_ui->PageControl->setTabVisible(index, visible);
            if (visible)
                m_ui->PageControl->setCurrentIndex(index);
        }
    }
}

void TzfmDlg::PageControlChange(int index) {
    QWidget* page = m_ui->PageControl->widget(index);
    m_ui->bbHelp->setProperty("HelpContext",
                              page != nullptr ? page->property("HelpContext") : QVariant());
}

bool TzfmDlg::DoDlgClose() {
    for (auto* child : ChildDialogs()) {
        child->SetModalResultQuietly(ModalResult());
        if (!child->OnCloseDialog())
            return false;
    }
    return true;
}

bool TzfmDlg::OnCloseDialog() {
    return true;
}

void TzfmDlg::FormClose(bool& accept) {
    TzfmForm::FormClose(accept);
    if (!m_merged) {
        if (ModalResult() == mrOk && IniMain != nullptr) {
            auto* pages = m_ui->PageControl;
            const int index = pages->currentIndex();
            if (index >= 0)
                IniMain->WriteString(
                    kSetting, kConfPage,
                    DesignedCaption(pages->widget(index), pages->tabText(index)).toStdString());
        }
        if (!DoDlgClose()) {
            accept = false;
            return;
        }
    }
    if (!OnCloseDialog())
        accept = false;
}

void TzfmDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        SetModalResult(mrCancel);
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        m_ui->bbOk->click();
        return;
    }
    TzfmForm::keyPressEvent(event);
}
