// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's dialogs and small windows, connected in one step from
// its start hook: Lookup Server (offered only while this side does not send),
// the Timing, Network and Colors settings, System, Var watch and the lock.
// Sets the hooks the settings pages use (colour refresh, view interval) from
// what the main window hands over; knows neither the main window's class nor
// the panels. User-interface thread only.
#pragma once

#include <QString>
#include <functional>
#include <vector>

class QMetaObject;
class QWidget;

// What the dialogs change outside themselves; the main window fills it.
struct TDialogLinks {
    // Both channel panels from the settings (colours, time axis and the
    // report processing's timing).
    std::function<void()> RefreshPanels;
    // The interval of the view timer, ms.
    std::function<void(int)> SetViewTime;
    // A host confirmed in Lookup Server becomes the Remote panel's peer.
    std::function<void(const QString&)> SetHost;
};

// Registers the settings pages with the general Properties dialog, in the
// order Timing, Network, Colors (once per process).
void RegisterSettingsPages();

// Connects the main window's menu actions (found by name among its
// children) and sets the settings pages' hooks.
void ConnectDialogs(QWidget* main, const TDialogLinks& links);

// ActLookupExecute: the lookup dialog; a confirmed host goes to setHost.
void ActLookupExecute(QWidget* main, const std::function<void(const QString&)>& setHost);

// The program's forms that exist only while the user has them open: Lookup
// Server, the three settings pages, System and Var watch.
std::vector<const QMetaObject*> OnDemandFormClasses();

// With the switch UpLang: records the framework's and the program's
// on-demand forms into the reference language file (each created once,
// never shown, destroyed at once) and says so on standard error ("UpLang:
// every form recorded into <file>"). Does nothing otherwise.
void RecordOnDemandForms(QWidget* main);
