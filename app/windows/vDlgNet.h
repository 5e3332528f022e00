// SPDX-License-Identifier: GPL-3.0-or-later
// The Network settings page ("Network"): UDP port and socket buffer sizes,
// and what a peer may command (peer silence, longest commanded send time,
// highest commanded speed, the networks that are obeyed). Nothing applies
// while editing. OK stores the values, applies the buffer sizes and the
// limits to the engine at once (the port only when the socket is next
// opened) and saves the options; beside each buffer the page shows the size
// in force as the kernel reports it for the open socket, beside the peer
// silence the silence in force. An allow list that cannot be read keeps the
// page open with the reason. User-interface thread only.
#pragma once

#include "cNet0.h"
#include "uConfig.h"
#include "zDlg.h"

namespace Ui {
class TfmDlgNet;
}
class QSpinBox;
class QLabel;
class QLineEdit;

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
    QSpinBox* esPeerSilence() const;
    QSpinBox* esPeerMaxSendTime() const;
    QSpinBox* esPeerMaxSpeed() const;
    QLineEdit* edPeerAllow() const;
    QLabel* stPeerSilenceInForce() const;
    QLabel* stPeerAllowError() const;

protected:
    void FormCreate() override;

private:
    void ShowInForce(const TbNSocketBuffers& buffers);
    void ShowSilenceInForce();
    // Takes the peer limits from the page into CfgOpt; false (and the
    // reason shown) for an allow list that cannot be read.
    bool TakePeerLimits();

    Ui::TfmDlgNet* m_ui = nullptr;
    TbNSocketBuffers m_applied;
    int m_maxSpeedShown = 0; // Mbps as shown at creation
};

// "in force: 16 KB" (the kernel's figure, in KB of 1024 bytes), or "" when
// no socket is open.
QString InForceText(int bytes);
// The limits a peer's commands meet, as the engine takes them from the
// options (PeerSilence, PeerMaxSpeed, PeerMaxSendTime, PeerAllow); false for
// an allow list that cannot be read.
bool PeerLimitsFrom(const TCfgOpt& options, TbNLimits& limits);
