// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the window tests: wait for a condition with a deadline while
// the event loop runs, and act inside a modal loop that the test starts.
#pragma once

#include <chrono>
#include <functional>

#include <QTest>
#include <QTimer>

namespace windows_test {

// Runs the event loop until the condition holds or the deadline passes.
inline bool WaitFor(const std::function<bool()>& condition,
                    std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// While a modal loop runs: calls `step` every 10 ms until it answers true.
inline void WhileModal(std::function<bool()> step) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, step = std::move(step)] {
        if (step()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

} // namespace windows_test
