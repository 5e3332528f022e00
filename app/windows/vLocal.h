// SPDX-License-Identifier: GPL-3.0-or-later
// The Local panel: this copy's own sending and receiving (side 0). It creates
// the one engine of the program, publishes it, and destroys it when it is
// destroyed; the accepted sender is chosen in `coRecvAddr`. A change of
// this copy's settings by the peer is signalled (EngineSettingsChanged) for
// the main window to bring the other panels along.
// User-interface thread only.
#pragma once

#include "vzCliSrv.h"

class TfmLocal final : public TzfmCliSrv {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmLocal)

public:
    Q_INVOKABLE explicit TfmLocal(QWidget* owner = nullptr);
    ~TfmLocal() override;

    bool AttachEngine() override;
    void UpdateSendingFlag() override;
    void ShowControls() override;

    // Every 250 ms: the own address once it is known, and the engine's
    // SettingsChanged flag.
    void EnginePoll();
    // Takes the text of `coRecvAddr` as the accepted sender; refuses and
    // restores the old text when it is no address.
    void ApplyRecvAddress();

signals:
    // The peer changed this copy's sending, speed, size or destination (the
    // engine's SettingsChanged); `sending` is this copy's sending now. The
    // panel has shown its own speed and size already.
    void EngineSettingsChanged(bool sending);

protected:
    TbNReportRing* ReportRing() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    TbNRcvbufDrops CurrentDrops() const override;

private:
    void FillSeenAddresses();
    void ShowHeader() override;

    std::unique_ptr<TbNBSClient> m_ownEngine;
    bool m_addressShown = false;
    QString m_acceptText = QStringLiteral("Any");
};

// The program-wide Local panel; empty before creation and after destruction.
extern QPointer<TfmLocal> fmLocal;
