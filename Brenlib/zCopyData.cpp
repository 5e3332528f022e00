// SPDX-License-Identifier: GPL-3.0-or-later
#include "zCopyData.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <atomic>
#include <cstring>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "zExcept.h"

namespace {

constexpr qsizetype kHeaderSize = 16;
constexpr std::uint32_t kMaxTitle = 1024;
constexpr int kCompareChars = 80;

std::atomic<int> g_serial{0};

void PutU32(QByteArray& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFFu));
}

std::uint32_t GetU32(const QByteArray& in, qsizetype at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return value;
}

QByteArray Frame(std::uint32_t kind, std::uint32_t code, const QByteArray& data) {
    QByteArray out;
    PutU32(out, TzCopyDataServer::kMagic);
    PutU32(out, kind);
    PutU32(out, code);
    PutU32(out, static_cast<std::uint32_t>(data.size()));
    out += data;
    return out;
}

// Reads until count bytes are there or the deadline passes.
bool ReadAtLeast(QLocalSocket& socket, QByteArray& buffer, qsizetype count,
                 const QElapsedTimer& clock) {
    while (buffer.size() < count) {
        const auto left = TzCopyDataServer::kTimeoutMs - clock.elapsed();
        if (left <= 0)
            return false;
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(static_cast<int>(left)))
            return false;
        buffer += socket.readAll();
    }
    return true;
}

// Sends a frame and reads the answer: result, then (for ident) the title.
std::optional<std::pair<std::uint32_t, QString>> Ask(const QString& path, std::uint32_t kind,
                                                     std::uint32_t code, const QByteArray& data) {
    QLocalSocket socket;
    QElapsedTimer clock;
    clock.start();
    socket.connectToServer(path);
    if (!socket.waitForConnected(TzCopyDataServer::kTimeoutMs))
        return std::nullopt;
    socket.write(Frame(kind, code, data));
    if (!socket.waitForBytesWritten(TzCopyDataServer::kTimeoutMs))
        return std::nullopt;
    QByteArray answer;
    if (!ReadAtLeast(socket, answer, 12, clock) || GetU32(answer, 0) != TzCopyDataServer::kMagic)
        return std::nullopt;
    const std::uint32_t result = GetU32(answer, 4);
    const std::uint32_t titleSize = GetU32(answer, 8);
    if (titleSize > kMaxTitle || !ReadAtLeast(socket, answer, 12 + titleSize, clock))
        return std::nullopt;
    return std::make_pair(result, QString::fromUtf8(answer.mid(12, titleSize)));
}

// A copy that ended without closing its socket (killed) leaves the file:
// it is removed once the process named in it is gone.
void RemoveIfStale(const QString& path, const QString& entry) {
    bool ok = false;
    const auto pid = entry.section(QLatin1Char('-'), 0, 0).toLongLong(&ok);
    if (!ok || pid <= 0 || pid == ::getpid())
        return;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        QFile::remove(path);
}

} // namespace

TzCopyDataServer::TzCopyDataServer(TTitle title, TCopyData copyData, QObject* parent)
    : QObject(parent), m_title(std::move(title)), m_copyData(std::move(copyData)),
      m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path =
        Folder() + QStringLiteral("/%1-%2.sock").arg(::getpid()).arg(g_serial.fetch_add(1));
    QLocalServer::removeServer(path);
    if (!m_server->listen(path))
        qWarning("copy data: cannot listen at %s: %s", qPrintable(path),
                 qPrintable(m_server->errorString()));
    connect(m_server, &QLocalServer::newConnection, this, &TzCopyDataServer::OnNewConnection);
}

TzCopyDataServer::~TzCopyDataServer() {
    m_server->close();
}

bool TzCopyDataServer::IsListening() const {
    return m_server->isListening();
}

QString TzCopyDataServer::SocketPath() const {
    return m_server->fullServerName();
}

QString TzCopyDataServer::Folder() {
    const auto runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString folder = !runtime.isEmpty()
                               ? runtime + QStringLiteral("/ravelox")
                               : QDir::tempPath() + QStringLiteral("/ravelox-%1").arg(::getuid());
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return folder;
}

void TzCopyDataServer::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, &QLocalSocket::abort);
        timer->start(kTimeoutMs);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, Guarded([this, socket, buffer] {
                    *buffer += socket->readAll();
                    if (buffer->size() < kHeaderSize)
                        return;
                    const std::uint32_t kind = GetU32(*buffer, 4);
                    const std::uint32_t size = GetU32(*buffer, 12);
                    if (GetU32(*buffer, 0) != kMagic || size > kMaxCopyData ||
                        (kind != kKindIdent && kind != kKindCopyData)) {
                        qWarning("copy data: refused a frame (kind %u, %u bytes)", kind, size);
                        buffer->clear();
                        socket->abort();
                        return;
                    }
                    if (buffer->size() < kHeaderSize + static_cast<qsizetype>(size))
                        return;
                    std::uint32_t result = 0;
                    if (kind == kKindIdent)
                        result = kIdentAnswer;
                    else if (m_copyData)
                        result = m_copyData(buffer->mid(kHeaderSize, size), GetU32(*buffer, 8));
                    const QByteArray title = m_title ? m_title().toUtf8().left(kMaxTitle) : "";
                    QByteArray answer;
                    PutU32(answer, kMagic);
                    PutU32(answer, result);
                    PutU32(answer, static_cast<std::uint32_t>(title.size()));
                    answer += title;
                    buffer->clear();
                    socket->write(answer);
                    socket->flush();
                    socket->disconnectFromServer();
                }));
    }
}

std::optional<TzInstance> TzCopyDataServer::FindPrevInstance(const QString& caption,
                                                             const QString& own) {
    const QDir folder(Folder());
    const auto entries =
        folder.entryList({QStringLiteral("*.sock")}, QDir::System | QDir::Files, QDir::Name);
    for (const auto& entry : entries) {
        const QString path = folder.filePath(entry);
        if (path == own)
            continue;
        const auto answer = Ask(path, kKindIdent, 0, {});
        if (!answer) {
            RemoveIfStale(path, entry);
            continue;
        }
        if (answer->first != kIdentAnswer)
            continue;
        const QString title = answer->second.left(kCompareChars);
        if (title.startsWith(caption))
            return TzInstance{path, answer->second};
    }
    return std::nullopt;
}

std::optional<std::uint32_t> TzCopyDataServer::SendCopyData(const TzInstance& instance,
                                                            std::uint32_t code,
                                                            const QByteArray& data) {
    if (data.size() > static_cast<qsizetype>(kMaxCopyData))
        return std::nullopt;
    const auto answer = Ask(instance.SocketPath, kKindCopyData, code, data);
    if (!answer)
        return std::nullopt;
    return answer->first;
}
