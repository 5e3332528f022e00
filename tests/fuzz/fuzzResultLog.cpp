// SPDX-License-Identifier: GPL-3.0-or-later
// The result-log reader and the view arithmetic: the input is a log file.
// The streaming view must give the same views as the one built from the
// whole file in memory (its promise), and the Centre panel's figures and the
// time axis come from both.
#include <cmath>
#include <cstdint>
#include <span>

#include "fuzzCommon.h"
#include "uResultLog.h"

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

bool Same(float a, float b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

void Compare(const TLogView& a, const TLogView& b) {
    Check(a.HasData == b.HasData && a.Count == b.Count && a.Step == b.Step && a.Span == b.Span);
    Check(Same(a.MaxOutput, b.MaxOutput) && Same(a.MaxInput, b.MaxInput) &&
          Same(a.MaxLost, b.MaxLost));
    Check(a.Points.size() == b.Points.size());
    Check(a.Points.size() <= 2 * kViewPoints + 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteInput("result.log", data, size);
    const TLogReadResult read = ReadResultLog(path);
    const TLogViewResult view = ViewResultLog(path);
    Check(read.Loaded() == view.Loaded());
    if (!read.Loaded())
        return 0;
    Check(read.Records.size() == view.Records && read.TrailingBytes == view.TrailingBytes);
    const std::span<const TLogRecord> records(read.Records);
    const TLogView local = BuildLogView(records, kSideLocal);
    const TLogView remote = BuildLogView(records, kSideRemote);
    Compare(local, view.Local);
    Compare(remote, view.Remote);
    for (const TLogView* v : {&view.Local, &view.Remote}) {
        const double minutes = ViewAxisMinutes(*v);
        Check(std::isfinite(minutes) && minutes > 0.0);
    }
    if (const auto summary = ViewSummary(view.Local, view.Remote))
        Check(summary->ElapsedMs == (view.Local.HasData ? view.Local.Span : view.Remote.Span));
    return 0;
}
