// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's dialogs and small windows, connected in one step from
// its start hook: Lookup Server (offered only while this side does not send),
// the Timing, Network and Colors settings, System, Var watch, the lock, and
// the result log's storing and viewing on the Centre panel. Sets the hooks
// the settings pages use (colour refresh, view interval). User-interface
// thread only.
#pragma once

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
