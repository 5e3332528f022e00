// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the window tests: wait for a condition with a deadline while
// the event loop runs, and act inside a modal loop that the test starts.
#pragma once

#include <chrono>
#include <functional>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
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
// A step that has not finished after `limit` fails the test and closes the
// modal window, so that a condition that never comes is a failure with its
// place, not a test hanging until the runner's timeout.
inline void WhileModal(std::function<bool()> step,
                       std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, deadline, step = std::move(step)] {
        bool done = step();
        if (!done && std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "a step inside a modal window did not finish in time";
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
            done = true;
        }
        if (done) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

} // namespace windows_test
