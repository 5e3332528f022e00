// SPDX-License-Identifier: GPL-3.0-or-later
// The splash window TzfmSplash (a plain widget, not a form): borderless,
// on top, centred, with the program's version texts. At most one exists,
// between SplashOpen and SplashClose.
//
// SplashOpen sets the wait cursor once and SplashClose restores it once
// (Qt's override cursor is a stack: a second set would outlive the splash).
// SplashClose does not block: it closes the splash at once when it has been
// up for the minimum time, otherwise a timer closes it when that time is
// reached, so the start-up code never spins an event loop of its own.
//
// User-interface thread only.
#pragma once

#include <QWidget>

namespace Ui {
class TzfmSplash;
}

class TzfmSplash : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzfmSplash)

public:
    Q_INVOKABLE explicit TzfmSplash(QWidget* owner = nullptr);
    ~TzfmSplash() override;

private:
    Ui::TzfmSplash* m_ui = nullptr;
};

// 1500 ms: the time a splash stays up at least when closed with a negative
// minimum.
inline constexpr int SplashCloseTime = 1500;

// Creates the splash of the class (TzfmSplash when null) unless one exists,
// or the "ns" switch is given while no main window exists yet.
void SplashOpen(const QMetaObject* splashClass);
// Negative minimumMs means SplashCloseTime.
void SplashClose(int minimumMs);
// The open splash, or null.
QWidget* SplashWindow();
