// SPDX-License-Identifier: GPL-3.0-or-later
// The about box TzfmAboutBox and the version texts it shares with the
// splash window: all from the program's version record. The about box does
// not save its layout and exists at most once (a second one destroys the
// first and raises EzForm IDS_zfSingleForm).
//
// User-interface thread only.
#pragma once

#include <QPointer>

#include "zForm.h"

class QLabel;
class QWidget;
struct TVersionRecord;

namespace Ui {
class TzfmAboutBox;
}

// "major.minor.release.build" through "%d.%d" and "%s.%d.%d".
std::string VersionText(const TVersionRecord& version);
// The program file's modification time in the locale's short form.
QString ProgramFileDate();
// Fills the labels named ProductName, Version, FileDate, Description,
// Comments, Copyright and Trademarks found under root (plain text); a
// missing record text leaves the designed text.
void FillVersionLabels(QWidget* root, const TVersionRecord& version);

class TzfmAboutBox : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzfmAboutBox)

public:
    Q_INVOKABLE explicit TzfmAboutBox(QWidget* owner = nullptr);
    ~TzfmAboutBox() override;

    static inline QPointer<TzfmForm> Instance;

protected:
    void FormCreate() override;

private:
    Ui::TzfmAboutBox* m_ui = nullptr;
};
