// SPDX-License-Identifier: GPL-3.0-or-later
// Tool-bar utilities of the main-window base.
//
// User-interface thread only.
#pragma once

class QMenuBar;
class QToolBar;

// Every top-level menu of menu becomes a drop-down tool button of toolBar
// (captions only), one button per group index: the menu's "GroupIndex"
// property, else its position. Menus of an existing group index join that
// button's drop-down; buttons stay ordered by group index. The button takes
// the menu's object name and the menu gets its old name + "_bv"; the emptied
// top-level items leave the menu bar.
void ConvertMainMenuToToolBar(QMenuBar* menu, QToolBar* toolBar);
