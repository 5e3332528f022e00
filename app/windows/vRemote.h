// SPDX-License-Identifier: GPL-3.0-or-later
// The Remote panel: the peer's counters as the peer reports them (side 1),
// the peer's host in `coAddress` with the list of recent hosts (section
// "HostAddress"), and the peer's speed and packet size driven by command.
// User-interface thread only.
#pragma once

#include <QElapsedTimer>
#include <string>
#include <vector>

#include "vzCliSrv.h"

class TfmRemote final : public TzfmCliSrv {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TfmRemote)

public:
    Q_INVOKABLE explicit TfmRemote(QWidget* owner = nullptr);
    ~TfmRemote() override;

    bool AttachEngine() override;
    void UpdateSendingFlag() override;
    void ShowControls() override;

    // Puts the host into `coAddress` and applies it; false when refused.
    bool SetHost(const QString& host);
    // Applies the text of `coAddress`: a text that is no IPv4 address nor
    // "Broadcast" is refused with a status message and the old text returns.
    bool ApplyHost();
    // Shows the engine's destination unless this copy commands the peer to
    // send (`commanding`, the Centre panel's remote send button).
    void ShowDestination(bool commanding);
    // Every 250 ms: the peer's packet-size and speed change flags, the own
    // address for `coRecvAddr` once it is known, and the header's "peer
    // silent" while the own sending goes on to a peer that is not heard.
    void EnginePoll();
    void SaveHostList();
    std::vector<std::string> HostList() const;

protected:
    void ShowHeader() override;
    TbNReportRing* ReportRing() override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    TbNRcvbufDrops CurrentDrops() const override;

private:
    void SetHostItems(const std::vector<std::string>& list);
    void ApplyRecvAddress();
    void FillRecvAddresses();
    void ShowPeerSilence();

    std::uint32_t m_lastDestination = 0;
    QString m_currentHost;
    bool m_recvAddressFilled = false;
    int m_hostWait = 0; // polls left before the host is applied without the own address
    // Seconds the peer has been silent as the header shows them (-1: not
    // silent), and how long the own sending has gone on.
    int m_silentSeconds = -1;
    QElapsedTimer m_sendingFor;
};

extern QPointer<TfmRemote> fmRemote;
