// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's dialogs and small windows, connected in one step from
// its start hook: Lookup Server (offered only while this side does not send),
// the Timing, Network and Colors settings, System, Var watch, the lock, and
// the result log's storing and viewing on the Centre panel. Sets the hooks
// the settings pages use (colour refresh, view interval). User-interface
// thread only.
#pragma once

#include <vector>

class QMetaObject;
class TfmMain;

// Registers the settings pages with the general Properties dialog, in the
// order Timing, Network, Colors (once per process).
void RegisterSettingsPages();

// Connects the main window's menu actions and the Centre panel's log
// actions; the panels exist already.
void ConnectDialogs(TfmMain* main);

// ActLookupExecute: the lookup dialog; a confirmed host becomes the Remote
// panel's peer.
void ActLookupExecute(TfmMain* main);

// The program's forms that exist only while the user has them open: Lookup
// Server, the three settings pages, System and Var watch.
std::vector<const QMetaObject*> OnDemandFormClasses();

// With the switch UpLang: records the framework's and the program's
// on-demand forms into the reference language file (each created once,
// never shown, destroyed at once) and says so on standard error ("UpLang:
// every form recorded into <file>"). Does nothing otherwise.
void RecordOnDemandForms(TfmMain* main);
