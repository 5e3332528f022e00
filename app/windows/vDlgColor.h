// SPDX-License-Identifier: GPL-3.0-or-later
// The Colors settings page ("Colors"): the colours of the send, receive and
// lost-packet series. A chosen colour shows in the graphs at once (through
// the colour hook); OK saves the options, Cancel puts all three colours back
// as they were when the dialog opened. The colour chooser is Qt's own dialog
// (never the desktop's, whose look and behaviour differ by platform); colours
// are kept in the stored format 0x00BBGGRR. User-interface thread only.
#pragma once

#include <cstdint>

#include <QColor>

#include "uConfig.h"
#include "zDlg.h"

namespace Ui {
class TfmDlgColors;
}
class QColorDialog;
class QListWidget;
class QPushButton;

// Stored 0x00BBGGRR <-> QColor.
QColor ColorFromStored(std::int32_t value);
std::int32_t StoredFromColor(const QColor& color);

class TfmDlgColors final : public TzfmDlg {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmDlgColors)

public:
    Q_INVOKABLE explicit TfmDlgColors(QWidget* owner = nullptr);
    ~TfmDlgColors() override;

    bool OnCloseDialog() override;

    void lbColorsClick();
    void lbColorsDblClick();
    void buChangeClick();

    QListWidget* lbColors() const;
    QPushButton* buChange() const;
    QColorDialog* ColorDialog() const { return m_colorDialog; }

protected:
    void FormCreate() override;

private:
    // Each line shows its colour as it stands.
    void ShowSwatches();

    Ui::TfmDlgColors* m_ui = nullptr;
    QColorDialog* m_colorDialog = nullptr;
    TColorArray m_kept{};
};
