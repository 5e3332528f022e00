// SPDX-License-Identifier: GPL-3.0-or-later
// Talking to other running copies of the program: each main window listens
// on a local socket of its own in the copies' folder ($XDG_RUNTIME_DIR/ravelox,
// or a private folder under the temporary folder when that is not set).
// FindPrevInstance asks every other socket there for its window title and the
// identification answer 1045; SendCopyData hands a block of data with a code
// to such a copy, whose main window answers with DoCopyData's result.
//
// What arrives is outside input: every message is framed (magic, kind, code,
// size, then the data), the data is capped at kMaxCopyData bytes (a larger
// frame is refused and the connection closed), and a peer that stalls is cut
// off after a second. The socket file of a copy that was killed is removed
// by the next FindPrevInstance once that process is gone.
//
// User-interface thread only; the client side blocks for at most the
// timeouts given.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QByteArray>
#include <QObject>
#include <QString>

class QLocalServer;

// One other copy, as FindPrevInstance found it.
struct TzInstance {
    QString SocketPath;
    QString Title;
};

class TzCopyDataServer final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TzCopyDataServer)

public:
    static constexpr std::uint32_t kMagic = 0x44435652; // "RVCD"
    static constexpr std::uint32_t kKindIdent = 1;
    static constexpr std::uint32_t kKindCopyData = 2;
    static constexpr std::uint32_t kMaxCopyData = 64 * 1024;
    static constexpr int kTimeoutMs = 1000;
    // The identification answer of a main window.
    static constexpr std::uint32_t kIdentAnswer = 1045;

    using TTitle = std::function<QString()>;
    using TCopyData = std::function<std::uint32_t(const QByteArray& data, std::uint32_t code)>;

    // Starts listening at once; IsListening tells whether it could.
    TzCopyDataServer(TTitle title, TCopyData copyData, QObject* parent = nullptr);
    ~TzCopyDataServer() override;

    bool IsListening() const;
    QString SocketPath() const;
    // The folder of the copies' sockets (created with mode 0700).
    static QString Folder();

    // The first other copy whose title begins with caption (the first 80
    // characters of the title are compared) and that answers 1045. own is
    // the caller's socket, skipped.
    static std::optional<TzInstance> FindPrevInstance(const QString& caption,
                                                      const QString& own = {});
    // DoCopyData's result of the other copy; empty when it could not be
    // reached, refused the data, or the data exceeds kMaxCopyData.
    static std::optional<std::uint32_t> SendCopyData(const TzInstance& instance, std::uint32_t code,
                                                     const QByteArray& data);

private:
    void OnNewConnection();

    TTitle m_title;
    TCopyData m_copyData;
    QLocalServer* m_server = nullptr;
};
