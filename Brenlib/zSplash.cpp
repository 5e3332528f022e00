// SPDX-License-Identifier: GPL-3.0-or-later
#include "zSplash.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include "ui_zSplash.h"
#include "xVersion.h"
#include "zAbout.h"
#include "zExcept.h"
#include "zMain.h"
#include "zParams.h"

namespace {

QPointer<QWidget> g_splash;
QElapsedTimer g_opened;
bool g_cursorSet = false;

void RestoreCursor() {
    if (g_cursorSet) {
        g_cursorSet = false;
        QApplication::restoreOverrideCursor();
    }
}

} // namespace

TzfmSplash::TzfmSplash(QWidget* owner)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_ui(new Ui::TzfmSplash) {
    m_ui->setupUi(this);
    m_ui->Image->setPixmap(
        QApplication::style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(64, 64));
    FillVersionLabels(this, VersionRecord());
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

TzfmSplash::~TzfmSplash() {
    delete m_ui;
}

void SplashOpen(const QMetaObject* splashClass) {
    if (!g_cursorSet) {
        g_cursorSet = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    if (g_splash != nullptr)
        return;
    if (TbParam::GetParamSwitch("ns") && MainForm == nullptr)
        return;
    const QMetaObject* meta = splashClass != nullptr ? splashClass : &TzfmSplash::staticMetaObject;
    QObject* object = meta->newInstance(Q_ARG(QWidget*, nullptr));
    auto* splash = qobject_cast<QWidget*>(object);
    if (splash == nullptr) {
        delete object;
        return;
    }
    splash->setAttribute(Qt::WA_DeleteOnClose);
    g_splash = splash;
    g_opened.start();
    splash->show();
}

void SplashClose(int minimumMs) {
    RestoreCursor();
    if (g_splash == nullptr)
        return;
    if (minimumMs < 0)
        minimumMs = SplashCloseTime;
    const auto left = minimumMs - g_opened.elapsed();
    if (left <= 0) {
        g_splash->close();
        g_splash = nullptr;
        return;
    }
    QTimer::singleShot(static_cast<int>(left), g_splash.data(), [] {
        if (g_splash != nullptr) {
            g_splash->close();
            g_splash = nullptr;
        }
    });
}

QWidget* SplashWindow() {
    return g_splash;
}
