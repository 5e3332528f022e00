// SPDX-License-Identifier: GPL-3.0-or-later
// ravelox: the desktop program. Opens the settings store, reads the test
// settings, creates the main window and runs the event loop; the main window
// creates the panels and through the Local panel the engine.
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <exception>

#include "bConfig.h"
#include "cNet0.h"
#include "uConfigIni.h"
#include "uMain.h"
#include "xVersion.h"

namespace {

// The engine's two outward operations. A box raised on the send thread waits
// in the engine until the main window's 250 ms poll shows it on this thread.
void InstallOutward() {
    NetOutward.ShowTextOnAnyThread = false;
    NetOutward.ShowText = [](const std::string& text, const std::string& caption) {
        if (fmMain)
            fmMain->ShowError(QString::fromStdString(text), QString::fromStdString(caption));
    };
    NetOutward.LookupText = [](const std::string&, const std::string&, const std::string& def) {
        return def;
    };
}

} // namespace

int main(int argc, char** argv) {
    // Answered before any window system is needed (packaging checks, scripts).
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Ravelox %s\n", VersionRecord().FileVersion.c_str());
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ravelox"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ravelox"));
    try {
        InitSettingsStore();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Ravelox"), QString::fromUtf8(e.what()));
        return 1;
    }
    const std::string problem = ReadTestSettings();
    InstallOutward();
    int result = 0;
    {
        TfmMain window;
        if (!problem.empty())
            window.ShowStatus(QString::fromStdString(problem));
        window.show();
        QTimer::singleShot(0, &window, &TfmMain::OnStart);
        result = QApplication::exec();
    }
    NetOutward = {};
    DoneSettingsStore();
    return result;
}
