// SPDX-License-Identifier: GPL-3.0-or-later
#include "tWindowFixture.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "xHome.h"
#include "zMsgStr.h"

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
    new TzApplication(argc, argv);
}

void WindowTest::SetUpTestSuite() {
    // The program folder "bin" with the library's data beside it, as in the
    // build tree.
    s_root = MakeTempDir();
    s_home = s_root + "/bin";
    std::filesystem::create_directory(s_home);
    ::setenv("RAVELOX_HOME", s_home.c_str(), 1);
    // The shipped files come from the same folder: a test may put a language
    // there.
    SetShippedDataFolder(s_home);
    // The shipped message files, as beside the program.
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    // Without them every message line reads as missing, which the tests
    // that check message texts show.
    std::error_code ignored;
    std::filesystem::copy(exe + "/Default", s_home + "/Default",
                          std::filesystem::copy_options::recursive, ignored);
    std::filesystem::create_directory(s_root + "/Brenlib", ignored);
    std::filesystem::copy(exe + "/../Brenlib/Default", s_root + "/Brenlib/Default",
                          std::filesystem::copy_options::recursive, ignored);
    ::setenv("XDG_CONFIG_HOME", (s_home + "/xdg").c_str(), 1);
    EnsureApplication();
    Initialize_Brenlib();
    // The program's message file is named after the program, not the test.
    delete MsgApp;
    MsgApp = new TbMsgStr("ravelox", false);
    NetOutward.ShowTextOnAnyThread = false;
    NetOutward.ShowText = [](const std::string& text, const std::string& caption) {
        if (fmMain)
            fmMain->ShowError(QString::fromStdString(text), QString::fromStdString(caption));
    };
}

void WindowTest::TearDownTestSuite() {
    NetOutward = {};
    Finalize_Brenlib();
    SetShippedDataFolder({});
    std::system(("rm -rf '" + s_root + "'").c_str());
}

void WindowTest::OpenWindow(const TCfgOpt& options) {
    CfgOpt = options;
    Cfg = {};
    m_window = TzfmForm::Create<TfmMain>();
    m_window->show();
    // The start hook runs from the event loop: panels, engine, timers.
    ASSERT_TRUE(WaitUntil([&] { return m_window->IsStarted(); }, 5000));
    QApplication::setActiveWindow(m_window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window));
    ASSERT_NE(Engine(), nullptr);
}

void WindowTest::CloseWindow() {
    if (m_window) {
        m_window->close();
        TzfmForm::DestroyForm(m_window);
    }
    EXPECT_EQ(NetClient.load(), nullptr);
    EXPECT_TRUE(fmLocal.isNull());
}

} // namespace wt
