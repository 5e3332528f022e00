// SPDX-License-Identifier: GPL-3.0-or-later
// The multiple-document main window TzfmMainMDI: a TzfmMain whose central
// widget is a QMdiArea and whose menu gains "&Window" with Tile, Cascade and
// Arrange and the list of child windows.
//
// User-interface thread only.
#pragma once

#include "zMain.h"

class QMdiArea;
class QMdiSubWindow;

class TzfmMainMDI : public TzfmMain {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzfmMainMDI)

public:
    Q_INVOKABLE explicit TzfmMainMDI(QWidget* owner = nullptr);

    QMdiArea* MdiArea() const { return m_mdiArea; }
    QMenu* mmWindow() const { return m_mmWindow; }
    // Shows form as a child window of the frame.
    QMdiSubWindow* AddChild(TzfmForm* form);

    void mmTileClick();
    void mmCascadeClick();
    // Lines the minimised child windows up along the bottom edge.
    void mmArrangeClick();

private:
    void FillWindowList();

    QMdiArea* m_mdiArea = nullptr;
    QMenu* m_mmWindow = nullptr;
    QAction* m_listSeparator = nullptr;
};
