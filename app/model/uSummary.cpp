// SPDX-License-Identifier: GPL-3.0-or-later
#include "uSummary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "uPanelRules.h"

namespace {

// Rates far beyond any link (or a garbage total) must not overflow the
// conversion to the text function's 64-bit argument.
std::int64_t ClampToInt64(double value) {
    constexpr double kMax = 9.0e18;
    if (!(value > 0.0))
        return 0;
    return value >= kMax ? static_cast<std::int64_t>(kMax) : static_cast<std::int64_t>(value);
}

struct TDirection {
    double Quality = 1.0;
    std::string QualityText;
    std::string ErrorsText;
    double LostPerSecond = 0.0;
};

// One direction: `lost` counted by the receiver, `sent` the sender's rate,
// `received` the receiver's rate.
TDirection Direction(std::int64_t lost, double sent, double received, std::uint32_t elapsedMs) {
    TDirection d;
    if (lost != 0) {
        d.LostPerSecond = static_cast<double>(lost) / elapsedMs * 1000.0;
        d.ErrorsText = FormatGeneral3(d.LostPerSecond);
        if (sent > 0.0) {
            // Above 0.999 (counter skew may even give more than 1) the three
            // digits would round up to 100 although packets were lost.
            d.Quality = std::min(received / sent, kQualityWithLosses);
            d.QualityText = FormatGeneral3(d.Quality * 100.0) + "%";
        } else {
            d.Quality = 0.0;
        }
    } else {
        d.Quality = 1.0;
        if (received > 0.0)
            d.QualityText = "100%";
    }
    return d;
}

} // namespace

std::string FormatGeneral3(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", value);
    return text;
}

std::optional<TSummary> UpdateSummary(const TStatBlock& local, const TStatBlock& remote,
                                      std::uint32_t elapsedMs) {
    return UpdateSummary(local, remote, elapsedMs, elapsedMs);
}

std::optional<TSummary> UpdateSummary(const TStatBlock& local, const TStatBlock& remote,
                                      std::uint32_t elapsedMs, std::uint32_t remoteElapsedMs) {
    if (elapsedMs == 0)
        return std::nullopt;
    if (remoteElapsedMs == 0)
        remoteElapsedMs = elapsedMs;
    TSummary s;
    s.ElapsedMs = elapsedMs;
    const double e = elapsedMs;
    const double re = remoteElapsedMs;
    s.LS = local.BytesSent / e * 1000.0;
    s.LR = local.BytesReceived / e * 1000.0;
    s.RS = remote.BytesSent / re * 1000.0;
    s.RR = remote.BytesReceived / re * 1000.0;

    s.LSAvrgSpd = SpeedResToStr64(ClampToInt64(s.LS));
    s.LRAvrgSpd = SpeedResToStr64(ClampToInt64(s.RR));
    s.RSAvrgSpd = SpeedResToStr64(ClampToInt64(s.RS));
    s.RRAvrgSpd = SpeedResToStr64(ClampToInt64(s.LR));

    s.LocalLost = local.Lost;
    s.RemoteLost = remote.Lost;
    const TDirection toHere = Direction(local.Lost, s.RS, s.LR, elapsedMs);
    const TDirection toPeer = Direction(remote.Lost, s.LS, s.RR, remoteElapsedMs);
    s.QL = toHere.Quality;
    s.LQuality = toHere.QualityText;
    s.LErrors = toHere.ErrorsText;
    s.LocalLostPerSecond = toHere.LostPerSecond;
    s.QR = toPeer.Quality;
    s.RQuality = toPeer.QualityText;
    s.RErrors = toPeer.ErrorsText;
    s.RemoteLostPerSecond = toPeer.LostPerSecond;

    s.Bandwidth = s.LR + s.RR;
    if (s.Bandwidth > 0.0)
        s.BandwidthText = SpeedResToStr64(ClampToInt64(std::round(s.Bandwidth)));
    s.Quality = (s.LR > 0.0 || s.RR > 0.0) ? s.QL * s.QR * 100.0 : -1.0;
    if (s.Quality > 0.0)
        s.QualityText = FormatGeneral3(s.Quality) + "%";
    return s;
}
