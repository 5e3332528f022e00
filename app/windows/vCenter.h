// SPDX-License-Identifier: GPL-3.0-or-later
// The Centre panel "Statistics": the send buttons of both directions, the
// clear buttons, the store/view log buttons (their actions `ActStoreLog` and
// `ActViewLog`; storing and viewing belong to the result-log windows) and
// the eight figure boxes that UpdateSummary fills from the two channel
// panels' totals. User-interface thread only.
#pragma once

#include <QPointer>
#include <memory>

#include "zForm.h"

namespace Ui {
class TfmCenter;
}
class QAction;
class QToolButton;

class TfmCenter final : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmCenter)

public:
    Q_INVOKABLE explicit TfmCenter(QWidget* owner = nullptr);
    ~TfmCenter() override;

    void UpdateSummary();
    void LocalSendingCheck();
    void EnginePoll();
    void ShowSendButtons();
    void SetSendLocal(bool down);

    void sbSendLocalClick();
    void sbSendRemoteClick();
    void sbClearGrClick();
    void sbClearStatClick();

    QToolButton* SendLocalButton() const;
    QToolButton* SendRemoteButton() const;
    QAction* ActStoreLog() const;
    QAction* ActViewLog() const;
    int RepeatCounter() const { return m_repeat; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::unique_ptr<Ui::TfmCenter> ui;
    int m_repeat = 0;
};

extern QPointer<TfmCenter> fmCenter;
