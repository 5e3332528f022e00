// SPDX-License-Identifier: GPL-3.0-or-later
#include "uReportModel.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "uSpeedStr.h"
#include "xTimer.h"

namespace {

std::uint32_t AtLeastOne(std::int32_t value) {
    return value < 1 ? 1U : static_cast<std::uint32_t>(value);
}

// Bytes per millisecond x 8 is kilobits per second. Worked in 64 bits: a
// 32-bit product overflows from 537 MB per interval, which a gap of a minute
// at 100 Mbps already reaches.
std::uint32_t RateKbps(std::uint64_t bytes, std::uint64_t dt) {
    const std::uint64_t rate = bytes * 8U / dt;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(rate, std::numeric_limits<std::uint32_t>::max()));
}

} // namespace

std::uint32_t GapThreshold(std::uint32_t viewTime, std::uint32_t infoTime) {
    const std::uint64_t intervals = kGapIntervals * std::max<std::uint64_t>(viewTime, infoTime);
    return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(intervals, kGapTime, 0xFFFFFFFFU));
}

bool CounterAmbiguous(std::int64_t speedKbps, std::int32_t infoTimeMs) {
    if (speedKbps <= 0 || infoTimeMs <= 0)
        return false;
    // kbit/s x ms / 8 = bytes per interval.
    const double bytes = static_cast<double>(speedKbps) * infoTimeMs / 8.0;
    return bytes >= static_cast<double>(kMaxPairBytes);
}

TClockNow ClockNow() {
    const auto wall = std::chrono::system_clock::now().time_since_epoch();
    return {timeGetTime(), std::chrono::duration<double>(wall).count()};
}

TElapsed SplitElapsed(std::uint64_t ms) {
    TElapsed e;
    e.Milliseconds = static_cast<std::uint32_t>(ms % 1000);
    e.Seconds = static_cast<std::uint32_t>(ms / 1000 % 60);
    e.Minutes = static_cast<std::uint32_t>(ms / 60000 % 60);
    e.Hours = static_cast<std::uint32_t>(ms / 3600000);
    return e;
}

std::string FormatElapsed(const TElapsed& elapsed) {
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u:%02u", elapsed.Hours, elapsed.Minutes,
                  elapsed.Seconds);
    return text;
}

TAxisScale AxisScale(double maximum, bool isCount) {
    if (!(maximum > 0.0))
        return {};
    TAxisScale scale;
    scale.Top = maximum * 1.05;
    const double rounded = std::min(std::round(maximum),
                                    static_cast<double>(std::numeric_limits<std::int32_t>::max()));
    const auto value = static_cast<std::int32_t>(rounded);
    scale.Label = isCount ? std::to_string(value) : SpeedToStr(value);
    return scale;
}

std::int32_t KbpsToBytesPerSecond(std::uint64_t kbps) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::min<std::uint64_t>(kbps * 125U, kMax));
}

TReportProcessor::TReportProcessor(char sideLetter, const TCfgOpt& options)
    : m_sideLetter(sideLetter) {
    ApplyOptions(options);
}

void TReportProcessor::ApplyOptions(const TCfgOpt& options) {
    m_viewTime = AtLeastOne(options.ViewTime);
    m_graphWidth = std::min<std::uint32_t>(AtLeastOne(options.GraphTime), 4000000U) * 1000U;
    m_gapTime = GapThreshold(m_viewTime, AtLeastOne(options.InfoTime));
}

void TReportProcessor::UpdateSendingFlag(bool sending) {
    if (sending)
        m_indicatorState |= 2;
    else
        m_indicatorState &= ~2;
}

void TReportProcessor::ResetTitles() {
    m_outputRateText.clear();
    m_inputRateText.clear();
}

void TReportProcessor::ClearGraphs() {
    m_points.clear();
    m_xOrigin = 0;
    m_maxOutputQueue.clear();
    m_maxInputQueue.clear();
    m_maxLostQueue.clear();
    m_maxOutput = 0.0F;
    m_maxInput = 0.0F;
    m_maxLost = 0.0F;
    m_xPosition = 0;
}

void TReportProcessor::RestartStatistics(const TClockNow& now) {
    m_live = {};
    m_live.StartTime = now.Time;
    m_live.StartTick = now.Tick - m_viewTime;
    m_live.ReportsToSkip = kSkipReports;
}

std::uint32_t TReportProcessor::ElapsedMs(const TClockNow& now) const {
    return now.Tick - m_live.StartTick;
}

std::vector<TSample> TReportProcessor::ProcessReports(bool first,
                                                      std::span<const TbNReport> reports,
                                                      const TClockNow& now) {
    std::vector<TSample> added;
    if (first && !reports.empty()) {
        m_resync = 3;
        m_rebase = false;
        m_pending = {};
        m_last.Stamp = reports.front().Stamp;
        m_last.BytesSent = 0;
        m_last.BytesReceived = 0;
        m_outputQuietTime = 0;
        m_inputQuietTime = 0;
        m_idleTime = 0;
        reports = reports.subspan(1);
    }
    if (reports.empty()) {
        m_idleTime += m_viewTime;
        if (m_idleTime > kTitleTimeout)
            ResetTitles();
        return added;
    }
    m_idleTime = 0;
    std::uint32_t period = m_viewTime;
    if (m_resync != 0) {
        period = kFirstPeriod;
        m_reportTime = 0;
    }
    const std::uint16_t batchStart = m_last.Stamp;
    std::uint32_t output = 0;
    std::uint32_t input = 0;
    std::uint32_t foreign = 0;

    for (const TbNReport& r : reports) {
        if (r == TbNReport{}) {
            // Zeroed by a reset on another thread while it was taken: its
            // stamp means nothing either, so the next record is the baseline.
            m_rebase = true;
            continue;
        }
        if (m_resync != 0) {
            if (static_cast<std::uint16_t>(r.Stamp - m_last.Stamp) < period)
                continue;
            m_resync = 0;
            period = m_viewTime;
            NewBaseline(r);
            continue;
        }
        if (m_rebase) {
            m_rebase = false;
            NewBaseline(r);
            continue;
        }
        // One pair: counters differ modulo their width.
        const std::uint32_t pairDt = static_cast<std::uint16_t>(r.Stamp - m_prev.Stamp);
        const std::uint32_t dSent = r.BytesSent - m_prev.BytesSent;
        const std::uint32_t dRecv = r.BytesReceived - m_prev.BytesReceived;
        const std::uint32_t dOthers = r.BytesFromOthers - m_prev.BytesFromOthers;
        const std::uint64_t plausible = std::min<std::uint64_t>(
            std::max<std::uint32_t>(pairDt, 1U) * kMaxBytesPerMs, kMaxPairBytes);
        if (dSent >= plausible || dRecv >= plausible || dOthers >= plausible) {
            NewBaseline(r);
            continue;
        }
        m_pending.Dt += pairDt;
        m_pending.Sent += dSent;
        m_pending.Received += dRecv;
        m_pending.FromOthers += dOthers;
        // Lost packets are seen only when something arrives. A huge
        // difference is the counter going back (a late datagram after its gap
        // was counted): drawn as a mark, not counted.
        if (dRecv > 0) {
            const auto lost = static_cast<std::uint16_t>(r.Lost - m_prev.Lost);
            if (lost > kLostBackward) {
                m_pending.LostPlotted += kLostBackwardMark;
            } else {
                m_pending.Lost += lost;
                m_pending.LostPlotted += lost;
            }
        }
        m_prev = r;
        if (m_pending.Dt < period)
            continue;

        const TPending p = m_pending;
        m_pending = {};
        // The reports right after a restart only set the clock; whatever they
        // carry (bytes and lost alike) stays out of the totals.
        if (m_live.ReportsToSkip > 0) {
            if (--m_live.ReportsToSkip == 0) {
                m_live.StartTime = now.Time;
                m_live.StartTick = now.Tick;
            }
        } else {
            m_live.BytesSent += static_cast<double>(p.Sent);
            m_live.BytesReceived += static_cast<double>(p.Received);
            m_live.Lost += static_cast<std::int64_t>(p.Lost);
        }
        output = RateKbps(p.Sent, p.Dt);
        input = RateKbps(p.Received, p.Dt);
        foreign = RateKbps(p.FromOthers, p.Dt);
        const std::uint32_t lost =
            input > 0
                ? static_cast<std::uint32_t>(std::min<std::uint64_t>(p.LostPlotted, 0xFFFFFFFFU))
                : 0U;
        auto dt = static_cast<std::uint32_t>(std::min<std::uint64_t>(p.Dt, 0xFFFFFFFFU));
        if (dt >= m_gapTime) {
            // Fall to zero at the old x, run at zero across the gap, and let
            // the new rates stand at the new x.
            AddSample(0, 0, 0, 0, added);
            AddSample(dt, 0, 0, 0, added);
            dt = 0;
        }
        m_reportTime += dt;
        AddSample(dt, output, input, lost, added);
        m_last = r;
    }

    // Modulo 2^16 like every stamp difference: across a wrap of the stamps a
    // plain difference goes negative and would swell the quiet times.
    const std::uint32_t span = static_cast<std::uint16_t>(m_last.Stamp - batchStart);
    const bool sendFailed = (m_last.Status & kStatusSendFailed) != 0;
    if (static_cast<std::uint64_t>(output) + input + foreign != 0) {
        m_indicatorState ^= 1;
        m_indicatorState |= 2;
    } else {
        m_indicatorState = sendFailed ? 1 : 0;
    }

    if (output != 0) {
        m_outputRateText = SpeedResToStr(KbpsToBytesPerSecond(output));
        m_outputQuietTime = 0;
    } else {
        m_outputQuietTime += span;
        if (sendFailed)
            m_indicatorState = 1;
        if (m_outputQuietTime > 2 * period || span == 0)
            m_outputRateText.clear();
    }
    if (input != 0) {
        m_inputRateText = SpeedResToStr(KbpsToBytesPerSecond(input));
        m_inputQuietTime = 0;
    } else {
        m_inputQuietTime += span;
        if (m_inputQuietTime > 2 * period || span == 0)
            m_inputRateText.clear();
    }
    return added;
}

void TReportProcessor::NewBaseline(const TbNReport& r) {
    m_last = r;
    m_prev = r;
    m_pending = {};
    ++m_baselines;
}

void TReportProcessor::AddSample(std::uint32_t dx, std::uint32_t output, std::uint32_t input,
                                 std::uint32_t lost, std::vector<TSample>& added) {
    m_xPosition += dx;
    // Held in whole milliseconds so that scrolling never drifts: the newest
    // point of a full window stands exactly at its right edge.
    if (m_xPosition > m_graphWidth) {
        const std::uint32_t overflow = m_xPosition - m_graphWidth;
        ScrollPoints(overflow);
        m_xPosition -= overflow;
    }
    m_maxOutput = std::max(m_maxOutput, static_cast<float>(output));
    m_maxInput = std::max(m_maxInput, static_cast<float>(input));
    m_maxLost = std::max(m_maxLost, static_cast<float>(lost));
    const TSample sample{m_xPosition, output, input, lost, m_reportTime};
    const std::uint32_t stored = m_xPosition + m_xOrigin;
    m_points.push_back({stored, output, input, lost, m_reportTime});
    PushMax(m_maxOutputQueue, stored, output);
    PushMax(m_maxInputQueue, stored, input);
    PushMax(m_maxLostQueue, stored, lost);
    added.push_back(sample);
}

void TReportProcessor::PushMax(std::deque<TMaxEntry>& queue, std::uint32_t x, std::uint32_t value) {
    while (!queue.empty() && queue.back().Value <= value)
        queue.pop_back();
    queue.push_back({x, value});
}

void TReportProcessor::ScrollPoints(std::uint32_t overflow) {
    // Points whose x from the left edge is below the overflow leave; the
    // origin moves instead of every remaining point.
    const auto leaves = [&](std::uint32_t stored) {
        return static_cast<std::uint32_t>(stored - m_xOrigin) < overflow;
    };
    while (!m_points.empty() && leaves(m_points.front().X))
        m_points.pop_front();
    for (auto* queue : {&m_maxOutputQueue, &m_maxInputQueue, &m_maxLostQueue})
        while (!queue->empty() && leaves(queue->front().X))
            queue->pop_front();
    m_xOrigin += overflow;
    const auto top = [](const std::deque<TMaxEntry>& queue) {
        return queue.empty() ? 0.0F : static_cast<float>(queue.front().Value);
    };
    m_maxOutput = top(m_maxOutputQueue);
    m_maxInput = top(m_maxInputQueue);
    m_maxLost = top(m_maxLostQueue);
}
