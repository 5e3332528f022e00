// SPDX-License-Identifier: GPL-3.0-or-later
// ravelox: the desktop program. Opens the settings store, reads the test
// settings, creates the main window and runs the event loop; the main window
// creates the panels and through the Local panel the engine.
#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>

#include <sys/socket.h>
#include <unistd.h>

#include "cNet0.h"
#include "uConfigIni.h"
#include "uMain.h"
#include "xVersion.h"
#include "zInit.h"
#include "zMsgStr.h"

namespace {

// The engine's two outward operations. A box raised on the send thread waits
// in the engine until the main window's 250 ms poll shows it on this thread.
void InstallOutward() {
    NetOutward.ShowTextOnAnyThread = false;
    NetOutward.ShowText = [](const std::string& text, const std::string& caption) {
        if (fmMain)
            fmMain->ShowError(QString::fromStdString(text), QString::fromStdString(caption));
    };
    // Socket error texts and the like from the message files (any thread).
    NetOutward.LookupText = LookupMessageText;
}

// SIGINT and SIGTERM close the main window in order (panels, engine, the
// current test values saved), as the window's close button does: the handler
// only writes a byte that the event loop reads.
int g_signalPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}

void InstallStopSignals(QObject* context, QWidget* window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(g_signalPipe[0], &byte, 1);
        window->close();
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
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
    TzApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ravelox"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ravelox"));
    try {
        Initialize_Brenlib();
    } catch (const std::exception& e) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ravelox"),
                        QString::fromUtf8(e.what()), QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return 1;
    }
    InstallMessageBoxes();
    const std::string problem = ReadTestSettings();
    InstallOutward();
    // The form base creates the window (layout, translation) and runs its
    // start hook from the event loop: panels, engine, timers.
    QPointer<TfmMain> window;
    try {
        window = TzfmForm::Create<TfmMain>();
    } catch (const std::exception& e) {
        // Nothing to show the program in: say why and end.
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Ravelox"),
                        QString::fromUtf8(e.what()), QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        std::fprintf(stderr, "ravelox: %s\n", e.what());
        NetOutward = {};
        Finalize_Brenlib();
        return 1;
    }
    if (!problem.empty())
        window->ShowStatus(QString::fromStdString(problem));
    InstallStopSignals(&app, window);
    window->show();
    const int result = QApplication::exec();
    if (window)
        TzfmForm::DestroyForm(window);
    NetOutward = {};
    Finalize_Brenlib();
    return result;
}
