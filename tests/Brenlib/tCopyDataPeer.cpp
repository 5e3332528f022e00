// SPDX-License-Identifier: GPL-3.0-or-later
// A second copy for the copy-data test: a main window titled by the first
// argument that answers copy data with size * 10 + code, and ends on code
// 99. Prints "ready" once its window has started.
#include <cstdio>

#include "zInit.h"
#include "zMain.h"

class TfmPeerMain : public TzfmMain {
    Q_OBJECT

public:
    Q_INVOKABLE explicit TfmPeerMain(QWidget* owner = nullptr) : TzfmMain(owner) {}

    std::uint32_t DoCopyData(const QByteArray& data, std::uint32_t code) override {
        if (code == 99)
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return static_cast<std::uint32_t>(data.size()) * 10 + code;
    }
    void OnStart() override {
        TzfmMain::OnStart();
        std::puts("ready");
        std::fflush(stdout);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TzApplication app(argc, argv);
    Initialize_Brenlib();
    auto* main = TzfmForm::Create<TfmPeerMain>();
    main->setSaveLayout(false);
    main->setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Peer"));
    main->show();
    const int result = app.exec();
    TzfmForm::DestroyForm(main);
    Finalize_Brenlib();
    return result;
}

#include "tCopyDataPeer.moc"
