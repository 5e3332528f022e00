// SPDX-License-Identifier: GPL-3.0-or-later
// The application lock (File menu, "&Lock application"): a modal box on top
// of every window with line 1 of the application's message section
// "Strings", which must be acknowledged before the program takes input again.
// The box runs its own event loop, so the window timers, the engine's timer
// and its send thread go on meanwhile. User-interface thread only.
#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// "\n<line>\n" with line 1 of "Strings" (or the message store's text for a
// missing line). The whole line is shown, however long.
QString LockText();

// The box as miLockClick shows it, not yet shown: caption the application's
// title, OK only, exclamation icon, application-modal, on top of all windows.
QMessageBox* MakeLockBox(QWidget* owner);

// miLockClick: shows the box and returns when the user pressed OK.
void LockApplication(QWidget* owner);
