// SPDX-License-Identifier: GPL-3.0-or-later
// The "Debug Properties" page dialog with its one page "Trace": the trace
// settings of section "Debug". The page's tab is shown only when the
// setting "Debug" is above 0. Registered with the general Properties dialog
// by the library start-up.
//
// User-interface thread only.
#pragma once

#include "zDlg.h"

namespace Ui {
class TzfmDlgDebug;
}

class TzfmDlgDebug : public TzfmDlg {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzfmDlgDebug)

public:
    Q_INVOKABLE explicit TzfmDlgDebug(QWidget* owner = nullptr);
    ~TzfmDlgDebug() override;

    bool OnCloseDialog() override;
    // This page takes no part in language files.
    void OnLangSaving(bool& done) override { done = false; }

    bool TabShown() const { return m_tabShown; }
    QWidget* tsTrace() const;

protected:
    void FormCreate() override;

private:
    Ui::TzfmDlgDebug* m_ui = nullptr;
    bool m_tabShown = false;
};
