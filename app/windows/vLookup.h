// SPDX-License-Identifier: GPL-3.0-or-later
// The server lookup dialog "Lookup Server": while it is open the engine is in
// lookup mode and broadcasts a lookup request about every 60 ms; every copy
// that answers is listed by its IPv4 address, in the order found. The user
// confirms one (OK or a double click) and LookupServer answers its address.
//
// The search runs on a 60 ms QTimer, so the event loop keeps running (the
// program can quit, the session can end) while the dialog searches. However
// the dialog ends (OK, Cancel, Escape, closing, destruction, an error, the
// engine going away), lookup mode is switched off and the engine's
// destination host is the one it had before the dialog opened. Lookup is not
// offered while this side sends: lookup mode points the destination at the
// broadcast address, and the data stream would follow it.
//
// User-interface thread only. Owns its form; reaches the engine through the
// program-wide reference at every step, never keeping it.
#pragma once

#include <memory>
#include <string>

#include <QPointer>

#include "zForm.h"

namespace Ui {
class TfmLookup;
}
class QListWidget;
class QPushButton;
class QTimer;
class TbNBSClient;

inline constexpr int kLookupRepeatMs = 60;
inline constexpr const char* kNoServerLine = "<Not response from server(s)>";

class TfmLookup final : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmLookup)

public:
    Q_INVOKABLE explicit TfmLookup(QWidget* owner = nullptr);
    ~TfmLookup() override;

    // Starts the search (the framework calls it once the dialog is shown).
    void OnStart() override;

    void bbOkClick();
    void bbCancelClick();
    void ListBoxDblClick();

    // The line the user confirmed; empty until then.
    const std::string& SelectedHost() const { return m_selectedHost; }
    bool Running() const { return m_running; }

    QListWidget* ListBox() const;
    QPushButton* OkButton() const;
    QPushButton* CancelButton() const;

protected:
    void FormCreate() override;
    void FormDestroy() override;
    void FormClose(bool& accept) override;
    // A double click on the dialog's own background stops the search and
    // leaves the dialog open.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SearchStep();
    void EndSearch();

    std::unique_ptr<Ui::TfmLookup> ui;
    QTimer* m_timer = nullptr;
    std::string m_selectedHost;
    std::string m_keptHost;
    bool m_running = false;
    bool m_searchOpen = false; // lookup mode was switched on and not yet off
};

// Whether lookup can be offered now: an engine exists and this side is not
// sending. The main window enables `ActLookup` by it.
bool LookupAllowed();

// Shows the lookup dialog modally and answers the confirmed host, or the
// empty string (Cancel, no answer, or lookup not allowed now). The dialog is
// destroyed in every case.
std::string LookupServer(QWidget* owner = nullptr);
