// SPDX-License-Identifier: GPL-3.0-or-later
// The cost of one view tick of the desktop program, offscreen: the main
// window with both channel panels and the Centre panel, fed synthetic report
// streams (1 Gbit/s each way with some loss, one record every InfoTime) with
// the graphs full. One tick = both panels taking their records and handing
// the graphs their points, the Centre panel's summary, and the repaint that
// follows. Run by ui-tick.sh inside a private network namespace (the engine
// of the Local panel broadcasts as soon as it starts).
//
// usage: bench_ui_tick VIEW_MS INFO_MS GRAPH_S TICKS
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cNet0.h"
#include "uConfig.h"
#include "uMain.h"
#include "vCenter.h"
#include "vLocal.h"
#include "vRemote.h"
#include "zInit.h"

namespace {

struct TStream {
    TbNReport r{};
    std::uint32_t lostEvery = 97;
    std::uint32_t n = 0;
    TbNReport Next(std::uint32_t dtMs) {
        r.Stamp = static_cast<std::uint16_t>(r.Stamp + dtMs);
        const std::uint32_t bytes = 125'000U * dtMs; // 1 Gbit/s
        r.BytesSent += bytes;
        r.BytesReceived += bytes - bytes / 100;
        if (++n % lostEvery == 0)
            r.Lost = static_cast<std::uint16_t>(r.Lost + 80);
        return r;
    }
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
double Percentile95(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() * 95 / 100];
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bench_ui_tick VIEW_MS INFO_MS GRAPH_S TICKS\n");
        return 2;
    }
    const int viewMs = std::atoi(argv[1]);
    const int infoMs = std::atoi(argv[2]);
    const int graphS = std::atoi(argv[3]);
    const int ticks = std::atoi(argv[4]);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TzApplication app(argc, argv);
    Initialize_Brenlib();
    CfgOpt.ViewTime = viewMs;
    CfgOpt.InfoTime = infoMs;
    CfgOpt.GraphTime = graphS;
    QPointer<TfmMain> window = TzfmForm::Create<TfmMain>();
    window->resize(900, 600);
    window->show();
    while (!window->IsStarted())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // The synthetic streams replace the engine's: no timer takes reports.
    window->ViewTimer()->stop();

    TStream local;
    TStream remote;
    TClockNow now{1'000'000, 1.0e9};
    const auto perTick = static_cast<std::uint32_t>(std::max(1, viewMs / infoMs));
    const auto batch = [&](TStream& s, std::uint32_t count) {
        std::vector<TbNReport> b;
        for (std::uint32_t i = 0; i < count; ++i)
            b.push_back(s.Next(static_cast<std::uint32_t>(infoMs)));
        return b;
    };
    fmLocal->ProcessBatch(true, batch(local, 3), now);
    fmRemote->ProcessBatch(true, batch(remote, 3), now);
    // Fill the graphs: GraphTime seconds of records, in large batches.
    const std::uint64_t fillRecords = static_cast<std::uint64_t>(graphS) * 1000 / infoMs + 10;
    for (std::uint64_t done = 0; done < fillRecords; done += 1000) {
        now.Tick += 1000U * static_cast<std::uint32_t>(infoMs);
        fmLocal->ProcessBatch(false, batch(local, 1000), now);
        fmRemote->ProcessBatch(false, batch(remote, 1000), now);
    }
    QCoreApplication::processEvents();

    std::vector<double> times;
    for (int t = 0; t < ticks; ++t) {
        const auto l = batch(local, perTick);
        const auto r = batch(remote, perTick);
        now.Tick += static_cast<std::uint32_t>(viewMs);
        const auto start = std::chrono::steady_clock::now();
        fmLocal->ProcessBatch(false, l, now);
        fmRemote->ProcessBatch(false, r, now);
        fmCenter->UpdateSummary();
        QCoreApplication::processEvents(); // the repaint the tick causes
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::printf("ViewTime %d ms, InfoTime %d ms, GraphTime %d s: %zu points per graph, "
                "%d ticks: median %.3f ms, p95 %.3f ms\n",
                viewMs, infoMs, graphS, fmLocal->Processor().Points().size(), ticks, Median(times),
                Percentile95(times));
    TzfmForm::DestroyForm(window);
    Finalize_Brenlib();
    return 0;
}
