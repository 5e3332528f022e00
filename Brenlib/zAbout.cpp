// SPDX-License-Identifier: GPL-3.0-or-later
#include "zAbout.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include "ui_zAbout.h"
#include "xVersion.h"

namespace {

void SetLabel(QWidget* root, const char* name, const std::string& text) {
    auto* label = root->findChild<QLabel*>(QString::fromLatin1(name));
    if (label == nullptr)
        return;
    label->setTextFormat(Qt::PlainText);
    if (!text.empty())
        label->setText(QString::fromStdString(text));
}

} // namespace

std::string VersionText(const TVersionRecord& version) {
    return Format("%s.%d.%d", Format("%d.%d", version.Major, version.Minor), version.Release,
                  version.Build);
}

QString ProgramFileDate() {
    const QFileInfo info(QStringLiteral("/proc/self/exe"));
    const QFileInfo target(info.symLinkTarget().isEmpty() ? info.filePath() : info.symLinkTarget());
    return QLocale().toString(target.lastModified(), QLocale::ShortFormat);
}

void FillVersionLabels(QWidget* root, const TVersionRecord& version) {
    SetLabel(root, "ProductName", version.ProductName);
    SetLabel(root, "Version", "Version " + VersionText(version));
    SetLabel(root, "FileDate", ProgramFileDate().toStdString());
    SetLabel(root, "Description", version.FileDescription);
    SetLabel(root, "Comments", version.Comments);
    SetLabel(root, "Copyright", version.LegalCopyright);
    SetLabel(root, "Trademarks", {});
}

TzfmAboutBox::TzfmAboutBox(QWidget* owner) : TzfmForm(owner), m_ui(new Ui::TzfmAboutBox) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    m_ui->ProgramIcon->setPixmap(
        QApplication::style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(48, 48));
    connect(m_ui->OKButton, &QPushButton::clicked, this, Guarded([this] { SetModalResult(mrOk); }));
}

TzfmAboutBox::~TzfmAboutBox() {
    delete m_ui;
}

void TzfmAboutBox::FormCreate() {
    TzfmForm::FormCreate();
    TestSingleForm(Instance);
    const auto& version = VersionRecord();
    if (!version.ProductName.empty())
        setWindowTitle(QString::fromStdString("About " + version.ProductName));
    FillVersionLabels(this, version);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}
