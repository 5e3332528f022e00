// SPDX-License-Identifier: GPL-3.0-or-later
#include "tWindowFixture.h"

#include <cstdlib>
#include <stdexcept>

namespace wt {

std::string MakeTempDir() {
    char name[] = "/tmp/rvwin-XXXXXX";
    const char* made = ::mkdtemp(name);
    if (made == nullptr)
        throw std::runtime_error("mkdtemp failed");
    return made;
}

void EnsureApplication() {
    if (QApplication::instance() != nullptr)
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test_windows";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

void WindowTest::SetUpTestSuite() {
    s_home = MakeTempDir();
    ::setenv("RAVELOX_HOME", s_home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (s_home + "/xdg").c_str(), 1);
    EnsureApplication();
    InitSettingsStore();
    NetOutward.ShowTextOnAnyThread = false;
    NetOutward.ShowText = [](const std::string& text, const std::string& caption) {
        if (fmMain)
            fmMain->ShowError(QString::fromStdString(text), QString::fromStdString(caption));
    };
}

void WindowTest::TearDownTestSuite() {
    NetOutward = {};
    DoneSettingsStore();
    std::system(("rm -rf '" + s_home + "'").c_str());
}

void WindowTest::OpenWindow(const TCfgOpt& options) {
    CfgOpt = options;
    Cfg = {};
    m_window = std::make_unique<TfmMain>();
    m_window->OnStart();
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    ASSERT_NE(Engine(), nullptr);
}

void WindowTest::CloseWindow() {
    if (m_window) {
        m_window->close();
        m_window.reset();
    }
    EXPECT_EQ(NetClient.load(), nullptr);
    EXPECT_TRUE(fmLocal.isNull());
}

} // namespace wt
