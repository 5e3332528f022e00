// SPDX-License-Identifier: GPL-3.0-or-later
// The memory watch TfmWatchD ("DbgWatch"): the bytes the memory manager has
// handed out and not taken back (glibc's mallinfo2(), 64 bits, so nothing
// wraps past 2 GiB), shown against two baselines that a click resets and
// against the start baseline of MemPreStart. Opened and closed from the
// Debug menu's "Memory" item through the developer hooks.
//
// User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>

#include <QPointer>

#include "zForm.h"

class QAction;
class QTimer;

namespace Ui {
class TfmWatchD;
}

// The arithmetic of the window, apart from it.
struct TWatchFigures {
    std::int64_t Last = 0; // the count shown last
    std::int64_t BaselineA = 36;
    std::int64_t BaselineB = 0; // the count when the window was made
    // Returns false when the count is unchanged (nothing to redraw).
    bool Take(std::int64_t count) {
        if (count == Last)
            return false;
        Last = count;
        return true;
    }
};

class TfmWatchD : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmWatchD)

public:
    Q_INVOKABLE explicit TfmWatchD(QWidget* owner = nullptr);
    ~TfmWatchD() override;

    // The watched counter: mallinfo2().uordblks unless replaced (tests).
    static inline std::function<std::int64_t()> Counter;
    static std::int64_t Count();
    // The start baseline (0 until MemPreStart).
    static inline std::int64_t StartBaseline = 0;

    // One refresh step (the 500 ms timer runs it while the window is shown).
    void Refresh();
    // Label clicks.
    void ResetBaselineA();
    void ResetBaselineB();
    void SetMenuItem(QAction* item) { m_menuItem = item; }
    const TWatchFigures& Figures() const { return m_figures; }
    QTimer* tiWatch() const { return m_timer; }
    QString Text0() const;
    QString Text1() const;
    QString TextG() const;

protected:
    void FormCreate() override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Ui::TfmWatchD* m_ui = nullptr;
    TWatchFigures m_figures;
    QTimer* m_timer = nullptr;
    QPointer<QAction> m_menuItem;
};

// The single window; empty before the first DlgWatchShow and after it closed.
extern QPointer<TfmWatchD> DlgWatch;
// Creates the window on first use, remembers the item and shows the window
// when the item is checked, hides it when not.
void DlgWatchShow(QAction* menuItem);
void MemPreStart();
