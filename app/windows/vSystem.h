// SPDX-License-Identifier: GPL-3.0-or-later
// The System window: what the socket interface reported when it started
// (its description, system status and vendor text; the platform layer fills
// them from the running system: kernel name and release, "Running", no
// vendor text), and the engine socket's buffer sizes as the kernel reports
// them (Linux doubles what is asked and caps it). Created on first use, shown modally, kept until
// the program ends; one at a time. User-interface thread only.
#pragma once

#include <memory>

#include <QPointer>

#include "zForm.h"

namespace Ui {
class TfmSystem;
}
class QLabel;

// At most this many characters of each text, as the start-up record holds.
inline constexpr int kSockDescriptionLength = 256;
inline constexpr int kSystemStatusLength = 128;

class TfmSystem final : public TzfmForm {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmSystem)

public:
    Q_INVOKABLE explicit TfmSystem(QWidget* owner = nullptr);
    ~TfmSystem() override;

    QLabel* Description() const;
    QLabel* Status() const;
    QLabel* Vendor() const;
    QLabel* SocketBuffers() const;
    // The engine socket's buffers in force; empty without a socket.
    void ShowSocketBuffers();

protected:
    void FormCreate() override;
    void FormDestroy() override;

private:
    std::unique_ptr<Ui::TfmSystem> ui;
};

extern QPointer<TfmSystem> fmSystem;

// miSystemClick: creates the window on first use (owned by `owner`, the
// application's main window) and shows it modally.
void ShowSystemInfo(QWidget* owner);
