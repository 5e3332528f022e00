// SPDX-License-Identifier: GPL-3.0-or-later
#include "vDlgColor.h"

#include <QColorDialog>
#include <QIcon>
#include <QPixmap>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include "uDlgHooks.h"
#include "ui_vDlgColor.h"

namespace {

// Each line carries the index of its colour in Colors.
constexpr int kColorRole = Qt::UserRole;

void CallColorHook() {
    if (ColorHook)
        ColorHook();
}

QIcon Swatch(std::int32_t stored) {
    QPixmap pixmap(16, 16);
    pixmap.fill(ColorFromStored(stored));
    return QIcon(pixmap);
}

} // namespace

QColor ColorFromStored(std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                  static_cast<int>((v >> 16) & 0xFF));
}

std::int32_t StoredFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(rgb.red()) |
                                     static_cast<std::uint32_t>(rgb.green()) << 8 |
                                     static_cast<std::uint32_t>(rgb.blue()) << 16);
}

TfmDlgColors::TfmDlgColors(QWidget* owner) : TzfmDlg(owner), m_ui(new Ui::TfmDlgColors) {
    auto* holder = new QWidget(this);
    holder->hide();
    m_ui->setupUi(holder);
    setWindowTitle(QStringLiteral("Colors"));
    m_colorDialog = new QColorDialog(this);
    m_colorDialog->setObjectName("ColorDialog");
    m_colorDialog->setOption(QColorDialog::DontUseNativeDialog);
    AdoptPages(m_ui->Pages);
    connect(m_ui->lbColors, &QListWidget::itemClicked, this, &TfmDlgColors::lbColorsClick);
    connect(m_ui->lbColors, &QListWidget::currentRowChanged, this, &TfmDlgColors::lbColorsClick);
    connect(m_ui->lbColors, &QListWidget::itemDoubleClicked, this, &TfmDlgColors::lbColorsDblClick);
    connect(m_ui->buChange, &QPushButton::clicked, this, &TfmDlgColors::buChangeClick);
}

TfmDlgColors::~TfmDlgColors() {
    delete m_ui;
}

QListWidget* TfmDlgColors::lbColors() const {
    return m_ui->lbColors;
}
QPushButton* TfmDlgColors::buChange() const {
    return m_ui->buChange;
}

void TfmDlgColors::FormCreate() {
    TzfmDlg::FormCreate();
    m_kept = Colors;
    for (int i = 0; i < co__Count && i < m_ui->lbColors->count(); ++i)
        m_ui->lbColors->item(i)->setData(kColorRole, i);
    ShowSwatches();
}

void TfmDlgColors::ShowSwatches() {
    for (int i = 0; i < m_ui->lbColors->count(); ++i) {
        QListWidgetItem* item = m_ui->lbColors->item(i);
        const QVariant index = item->data(kColorRole);
        if (index.isValid() && index.toInt() >= 0 && index.toInt() < co__Count)
            item->setIcon(Swatch(Colors[static_cast<std::size_t>(index.toInt())]));
    }
}

void TfmDlgColors::lbColorsClick() {
    const QListWidgetItem* item = m_ui->lbColors->currentItem();
    const bool hasColor = item != nullptr && item->data(kColorRole).isValid();
    m_ui->buChange->setEnabled(hasColor);
    if (hasColor)
        m_colorDialog->setCurrentColor(
            ColorFromStored(Colors[static_cast<std::size_t>(item->data(kColorRole).toInt())]));
}

void TfmDlgColors::lbColorsDblClick() {
    m_ui->buChange->click();
}

void TfmDlgColors::buChangeClick() {
    const QListWidgetItem* item = m_ui->lbColors->currentItem();
    if (item == nullptr)
        return;
    if (m_colorDialog->exec() != QDialog::Accepted || !item->data(kColorRole).isValid())
        return;
    const int index = item->data(kColorRole).toInt();
    if (index < 0 || index >= co__Count)
        return;
    Colors[static_cast<std::size_t>(index)] = StoredFromColor(m_colorDialog->currentColor());
    ShowSwatches();
    CallColorHook();
}

bool TfmDlgColors::OnCloseDialog() {
    if (ModalResult() == mrOk) {
        TCfgOpt::Save();
    } else {
        Colors = m_kept;
        CallColorHook();
    }
    return true;
}
