// SPDX-License-Identifier: GPL-3.0-or-later
// Texts the program sets by code rather than holding them in a form: lines
// of its message file "ravelox.hnt" (store MsgApp), so that they follow the
// selected language as the forms do. Each line keeps its English text here
// too; it is used when no message file has the line (a program folder
// without its message files), never the missing-line text, since these
// texts stand in labels and the status line.
//
// A text already on screen is made again after a language change by whoever
// shows it: the panels every view tick, the main window for the status line
// (TfmMain::ShowStatusLine). User-interface thread.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <span>

#include "zFormat.h"

// One numbered line of a section of the program's message file.
struct TAppLine {
    const char* Section;
    int N;
    const char* English;
};

// Strings: labels of the panels and dialogs.
inline constexpr TAppLine kLineBufferDrops{"Strings", 3, "Buffer drops: %d"};
inline constexpr TAppLine kLineBufferDropsUnknown{"Strings", 4, "Buffer drops: ?"};
inline constexpr TAppLine kLineBuffersInForce{"Strings", 5,
                                              "Buffers in force: receive %d KB, send %d KB"};
inline constexpr TAppLine kLineInForce{"Strings", 6, "in force: %d KB"};
inline constexpr TAppLine kLineSilenceInForce{"Strings", 7, "in force: %d s"};
inline constexpr TAppLine kLineBadAllowList{
    "Strings", 8, "Not a list of IPv4 networks such as 198.18.0.0/15,10.0.0.7: \"%s\""};
// The Remote panel's header while the own sending goes to a silent peer.
inline constexpr TAppLine kLinePeerSilentFor{"Strings", 9, "%s: peer silent for %d s"};
// Status: messages of the status line.
inline constexpr TAppLine kLineBadRemoteHost{
    "Status", 1, "Not an IPv4 address: \"%s\"; the remote host stays %s"};
inline constexpr TAppLine kLineBadRecvAddress{
    "Status", 2, "Not an IPv4 address: \"%s\"; the receive address stays %s"};
inline constexpr TAppLine kLineCounterRange{
    "Status", 3,
    "At this speed the byte counters pass half their range within one information interval (%d "
    "ms): figures may be wrong. Lower InfoTime."};
inline constexpr TAppLine kLineStoringTo{"Status", 4, "Storing to %s"};
inline constexpr TAppLine kLineStoringKept{"Status", 5,
                                           "Storing to %s; the previous log was kept as %s"};
inline constexpr TAppLine kLineStored{"Status", 6, "Stored %d records to %s"};
inline constexpr TAppLine kLineStoringEnded{"Status", 7,
                                            "Storing ended: the statistics restarted (%s)"};
// The engine ended a sending that the peer had commanded.
inline constexpr TAppLine kLinePeerSilentStopped{"Status", 8,
                                                 "Peer silent for %d s: sending stopped"};
inline constexpr TAppLine kLineSendTimeStopped{
    "Status", 9, "Sending ran for %d s, the longest allowed: sending stopped"};
inline constexpr TAppLine kLineViewing{"Status", 10, "Viewing %s: %d records"};

// Delay: the delay extension's figures (Centre boxes, RTT panel, Delay window).
inline constexpr TAppLine kLineDelayMs{"Delay", 1, "%s ms"};
inline constexpr TAppLine kLineDelayHintToRemote{
    "Delay", 2,
    "Delay variation local → remote: 99th percentile above the minimum, as the peer measured it; "
    "jitter %s"};
inline constexpr TAppLine kLineDelayHintToLocal{
    "Delay", 3, "Delay variation remote → local: 99th percentile above the minimum; jitter %s"};
inline constexpr TAppLine kLineDelayUnknown{"Delay", 4, "the peer does not report delay"};
inline constexpr TAppLine kLineRtt{"Delay", 5, "RTT: %s"};
inline constexpr TAppLine kLineRttHint{"Delay", 6,
                                       "Round-trip time: the median over the last view interval"};
inline constexpr TAppLine kLineDelayToRemoteP50{"Delay", 7, "L→R p50"};
inline constexpr TAppLine kLineDelayToRemoteP99{"Delay", 8, "L→R p99"};
inline constexpr TAppLine kLineDelayToLocalP50{"Delay", 9, "R→L p50"};
inline constexpr TAppLine kLineDelayToLocalP99{"Delay", 10, "R→L p99"};
inline constexpr TAppLine kLineDelayRtt{"Delay", 11, "RTT"};
inline constexpr TAppLine kLineDelayAxis{"Delay", 12, "delay, ms"};
inline constexpr TAppLine kLineDelayRttAxis{"Delay", 13, "RTT, ms"};

// Makes a text in the language selected when it is called: what a window
// hands to whoever shows it, so that it can be made again after a change.
using TMakeText = std::function<QString()>;

// The line in the selected language, formatted with the arguments.
QString AppTextList(const TAppLine& line, std::span<const TFmtArg> args);
template <class... TArgs> QString AppText(const TAppLine& line, const TArgs&... args) {
    const std::array<TFmtArg, sizeof...(TArgs)> list{TFmtArg(args)...};
    return AppTextList(line, list);
}
