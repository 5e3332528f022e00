// SPDX-License-Identifier: GPL-3.0-or-later
// The status line: TzStatusBar, the main window's status bar, whose panels
// are permanent QLabel widgets (QStatusBar::showMessage would hide them, so
// it is never used); and TzStatus, the object that writes short messages
// into the panel added as "StatMsg" and can copy each message to the tracer.
// A panel is found by the text it was added with, not by the text it shows
// (which a language may translate).
//
// User-interface thread only.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QLabel>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QStatusBar>

class TzfmForm;

class TzStatusBar : public QStatusBar {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzStatusBar)

public:
    explicit TzStatusBar(QWidget* parent = nullptr);

    // Appends a panel showing text (plain text): width in pixels (-1: as
    // wide as its text needs), stretch as for QStatusBar. Panels are named
    // "Panel0", "Panel1", ... in order; the text is also the panel's name for
    // TzStatus::GetStatusPanel.
    QLabel* AddPanel(const QString& text, int width = -1, int stretch = 0);
    const std::vector<QLabel*>& Panels() const { return m_panels; }
    // Opened on a right click.
    void SetPopup(QMenu* popup) { m_popup = popup; }
    QMenu* Popup() const { return m_popup; }

signals:
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    std::vector<QLabel*> m_panels;
    QPointer<QMenu> m_popup;
};

class TzStatus : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzStatus)

public:
    using TProcStr = std::function<void(const std::string& text)>;
    using TProcedure = std::function<void()>;

    // Finds the "StatMsg" panel (EzForm IDS_zfNotFound when there is none)
    // and empties it.
    Q_INVOKABLE TzStatus(TzfmForm* owner, TzStatusBar* statusBar);
    ~TzStatus() override;

    // Copies text to the trace procedure when StatToTr is on, then MsgOut.
    void Msg(std::string_view text);
    // Remembers text as the current message and shows it.
    void MsgOut(std::string_view text);
    // Shows text, or the current message when text is empty; repaints at once.
    void DoMsgOut(std::string_view text);
    // A hint: shown without changing the current message; an empty hint
    // brings the message back. Shows nothing while hints are off.
    void MsgHint(std::string_view text);
    void SetHintsOff(bool off) { m_hintsOff = off; }

    void SetProcTrac(TProcStr procedure) { m_procTrac = std::move(procedure); }
    void SetOnDestroy(TProcedure procedure) { m_onDestroy = std::move(procedure); }
    QAction* AddPopUpMenuItem(const QString& caption, std::function<void()> onClick);
    // The first panel whose text equals name; EzForm IDS_zfNotFound when
    // none does.
    QLabel* GetStatusPanel(std::string_view name) const;

    const std::string& CurrentMessage() const { return m_current; }
    QLabel* MessagePanel() const { return m_panel; }
    TzStatusBar* StatusBar() const { return m_statusBar; }
    TzfmForm* OwnerForm() const { return m_owner; }

private:
    QPointer<TzfmForm> m_owner;
    QPointer<TzStatusBar> m_statusBar;
    QPointer<QLabel> m_panel;
    std::string m_current;
    bool m_hintsOff = false;
    TProcStr m_procTrac;
    TProcedure m_onDestroy;
};

// The main window's status line; empty before it exists and after.
extern TzStatus* Stat;
