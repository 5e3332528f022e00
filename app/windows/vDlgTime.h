// SPDX-License-Identifier: GPL-3.0-or-later
// The Timing settings page ("Timing"): timer period, information interval,
// view refresh interval and graph time. Each change takes effect at once
// (the engine's timer, the main window's view timer, the panels' time axis);
// OK keeps the values and saves the options, Cancel puts back what was in
// force when the dialog opened. Neither interval can be set below the timer
// period. User-interface thread only.
#pragma once

#include <cstdint>

#include "zDlg.h"

namespace Ui {
class TfmDlgTime;
}
class QSpinBox;

class TfmDlgTime final : public TzfmDlg {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmDlgTime)

public:
    Q_INVOKABLE explicit TfmDlgTime(QWidget* owner = nullptr);
    ~TfmDlgTime() override;

    bool OnCloseDialog() override;

    void esTimerEditDone();
    void esInfoTimeEditDone();
    void esViewTimeEditDone();
    void esGraphTimeEditDone();

    QSpinBox* esTimer() const;
    QSpinBox* esInfoTime() const;
    QSpinBox* esViewTime() const;
    QSpinBox* esGraphTime() const;

protected:
    void FormCreate() override;

private:
    Ui::TfmDlgTime* m_ui = nullptr;
    std::int32_t m_keptGraphTime = 0;
    std::int32_t m_keptTimer = 0;
    std::int32_t m_keptInfoTime = 0;
    std::int32_t m_keptViewTime = 0;
    // The changed marks (the spin edits' tags in the design).
    bool m_timerChanged = false;
    bool m_infoTimeChanged = false;
    bool m_viewTimeChanged = false;
    bool m_graphTimeChanged = false;
};
