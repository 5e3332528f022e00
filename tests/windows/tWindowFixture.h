// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's main window inside the test process: one
// QApplication (offscreen) for the whole run, the settings store on a
// temporary program folder, and a fixture that creates the main window and
// runs its start hook (which creates the panels and the engine) in the
// namespace the test chose. Waiting is always for a condition, with a
// deadline.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "zInit.h"
#include "cNet0.h"
#include "uConfig.h"
#include "uMain.h"
#include "vCenter.h"
#include "vLocal.h"
#include "vRemote.h"

namespace wt {

// Processes events until the condition holds or the deadline passes.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qSleep(5);
    }
    return true;
}

std::string MakeTempDir();
void EnsureApplication();

template <class T> T* Child(QObject* parent, const char* name) {
    return parent->findChild<T*>(QLatin1String(name));
}

class WindowTest : public testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void TearDown() override { CloseWindow(); }

    // Creates the main window with the options, runs its start hook and
    // shows it; the engine socket belongs to the calling thread's namespace.
    void OpenWindow(const TCfgOpt& options = {});
    void CloseWindow();
    TbNBSClient* Engine() const { return NetClient.load(); }
    QString Text(QObject* parent, const char* name) const {
        return Child<QLabel>(parent, name)->text();
    }

    QPointer<TfmMain> m_window;
    static inline std::string s_root; // holds bin/ (s_home) and Brenlib/Default
    static inline std::string s_home;
};

} // namespace wt
