// SPDX-License-Identifier: GPL-3.0-or-later
// Window tests of the framework: one application object (TzApplication,
// offscreen unless a platform is set) for the whole executable, and a
// fixture that opens the settings store in a temporary folder, collects the
// exceptions that reach the handler, and leaves no form behind.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QTest>

#include "tStoreFixture.h"
#include "zDebug.h"
#include "zDlg.h"
#include "zExcept.h"
#include "zForm.h"
#include "zInit.h"

class TApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_framework";
        static char* argv[] = {name, nullptr};
        m_app = new TzApplication(argc, argv);
    }
    void TearDown() override {
        delete m_app;
        m_app = nullptr;
    }

private:
    TzApplication* m_app = nullptr;
};

inline const auto* const g_appEnvironment =
    ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment);

class TFrameworkTest : public TStoreTest {
protected:
    void SetUp() override {
        ::setenv("XDG_RUNTIME_DIR", (std::string(m_dir.path().toStdString()) + "/run").c_str(), 1);
        TStoreTest::SetUp();
        DevLevel = 0;
        SetExceptionHandler([this](const std::string& text, const std::string& className) {
            m_errors.push_back(className + "|" + text);
        });
    }

    void TearDown() override {
        for (auto* form : TzfmForm::Forms())
            if (form->parent() == nullptr)
                TzfmForm::DestroyForm(form);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetExceptionHandler({});
        zDbg = {};
        zDbgDB = {};
        LangHooks = {};
        TzfmDlg::ClearConfigDlgForms();
        TStoreTest::TearDown();
    }

    // Waits for the condition with a deadline, processing events.
    static bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000) {
        return QTest::qWaitFor(condition, timeoutMs);
    }

    std::vector<std::string> m_errors;
};
