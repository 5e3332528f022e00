// SPDX-License-Identifier: GPL-3.0-or-later
// The Debug window: a live watch of the engine's send queue (its length now,
// the largest length seen since the last clear, its capacity), refreshed on
// a window timer whose interval the user sets (0 stops the refresh and keeps
// the last figures). Always on top; one at a time; freed when closed.
// User-interface thread only; reads the engine's counters without a lock
// (each one 32-bit value, read once per tick).
#pragma once

#include <cstdint>
#include <memory>

#include <QPointer>

#include "zForm.h"

namespace Ui {
class TfmDebug;
}
class QLabel;
class QSpinBox;
class QTimer;
class QToolButton;

class TfmDebug final : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmDebug)

public:
    Q_INVOKABLE explicit TfmDebug(QWidget* owner = nullptr);
    ~TfmDebug() override;

    void TimerTimer();
    void esRefreshEditDone();
    void sbClearClick();

    std::int32_t MaxSeen() const { return m_maxSeen; }
    QTimer* Timer() const { return m_timer; }
    QSpinBox* Refresh() const;
    QLabel* SendQueueLine() const;
    QLabel* MaxSendQueueLine() const;
    QLabel* SendQueueMaxLine() const;

protected:
    void FormCreate() override;
    void FormDestroy() override;

private:
    std::unique_ptr<Ui::TfmDebug> ui;
    QTimer* m_timer = nullptr;
    std::int32_t m_maxSeen = 0;
};

extern QPointer<TfmDebug> fmDebug;

// miVarWatchClick: creates the window on first use and brings it to the top.
void ShowVarWatch(QWidget* owner);
