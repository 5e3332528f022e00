// SPDX-License-Identifier: GPL-3.0-or-later
// The Network settings page ("Network"): UDP port and socket buffer sizes.
// Nothing applies while editing. OK stores the three values, applies the
// buffer sizes to the engine's open socket at once (the port only when the
// socket is next opened) and saves the options; beside each buffer the page
// shows the size in force as the kernel reports it for the open socket.
// User-interface thread only.
#pragma once

#include "cNet0.h"
#include "zDlg.h"

namespace Ui {
class TfmDlgNet;
}
class QSpinBox;
class QLabel;

class TfmDlgNet final : public TzfmDlg {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmDlgNet)

public:
    Q_INVOKABLE explicit TfmDlgNet(QWidget* owner = nullptr);
    ~TfmDlgNet() override;

    bool OnCloseDialog() override;

    // The sizes in force read back after the last OK (zero before).
    const TbNSocketBuffers& Applied() const { return m_applied; }

    QSpinBox* esPort() const;
    QSpinBox* esSendBuf() const;
    QSpinBox* esRecvBuf() const;
    QLabel* stRecvBufInForce() const;
    QLabel* stSendBufInForce() const;

protected:
    void FormCreate() override;

private:
    void ShowInForce(const TbNSocketBuffers& buffers);

    Ui::TfmDlgNet* m_ui = nullptr;
    TbNSocketBuffers m_applied;
};

// "in force: 16 KB" (the kernel's figure, in KB of 1024 bytes), or "" when
// no socket is open.
QString InForceText(int bytes);
