#include "shell/singleinstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A request: a 4-byte big-endian length, then "TRLV1\n" and the paths in UTF-8, each
// ended by a NUL (which no path holds). The answer is one byte.
const QByteArray kGreeting = QByteArrayLiteral("TRLV1\n");
constexpr qint64 kLongestRequest = 4 * 1024 * 1024;
constexpr char kTaken = 'k';

QByteArray request(const QStringList& files)
{
    QByteArray payload = kGreeting;
    for (const QString& file : files)
        payload += file.toUtf8() + '\0';
    QByteArray frame(4, '\0');
    qToBigEndian(quint32(payload.size()), frame.data());
    return frame + payload;
}

// A folder fit for the socket: made when missing, a real folder (not a link) of
// `owner`'s that nobody else may write in. One of ours that others could only read is
// closed; one that others could write in may hold anything, and is refused.
bool safeFolder(const QString& folder, uint owner)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        QDir().mkpath(folder); // its parents were missing
        ::mkdir(path.constData(), 0700);
    }
    struct stat info = {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != owner ||
        (info.st_mode & (S_IWGRP | S_IWOTH)))
        return false;
    return (info.st_mode & 077) == 0 || ::chmod(path.constData(), 0700) == 0;
}

} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent, uint owner)
    : QObject(parent), m_socketPath(folder + QStringLiteral("/trelvo-converter.socket")),
      m_owner(owner), m_folderSafe(safeFolder(folder, owner))
{
    if (!m_folderSafe)
        qWarning("%s is not a folder of this user's alone: this window neither hands its files "
                 "to another nor takes theirs",
                 qUtf8Printable(folder));
    m_lock = std::make_unique<QLockFile>(m_socketPath + QStringLiteral(".lock"));
    // Held as long as the window runs: stale only when its process is gone, never by age.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    stopServing();
}

uint SingleInstance::currentUser()
{
    return ::getuid();
}

QString SingleInstance::runtimeFolder()
{
    // Qt makes sure of its own folder; ours, by the user's number (a name may be empty
    // or shared), is checked when claimed.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath() + QStringLiteral("/trelvo-converter-%1").arg(::getuid());
    return folder;
}

bool SingleInstance::trusted(const QLocalSocket& socket) const
{
    ucred peer = {};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) ==
               0 &&
           uint(peer.uid) == m_owner;
}

SingleInstance::Claim SingleInstance::claim(const QStringList& files, int timeoutMs)
{
    if (!m_folderSafe)
        return Claim::Alone;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int left = std::max(0, timeoutMs - int(clock.elapsed()));
        switch (handOver(files, left)) {
        case HandOver::Taken:
            return Claim::HandedOver;
        case HandOver::NoAnswer:
            return Claim::NoAnswer;
        case HandOver::Untrusted:
            return Claim::Alone;
        case HandOver::NoServer:
            break;
        }
        // Nobody serves. Of the starts that find so at the same moment, the one that
        // takes the lock serves; a crashed window's lock is taken over, its socket removed.
        if (m_lock->tryLock(0)) {
            serve();
            return Claim::First;
        }
        // Another start holds the lock and is about to serve, or it serves no more.
        if (clock.elapsed() >= timeoutMs)
            return Claim::NoAnswer;
        QThread::msleep(50);
    }
}

SingleInstance::HandOver SingleInstance::handOver(const QStringList& files, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(std::min(timeoutMs, 1000)))
        return HandOver::NoServer;
    // The paths go only to a window of this user's.
    if (!trusted(socket)) {
        socket.abort();
        return HandOver::Untrusted;
    }
    socket.write(request(files));
    QElapsedTimer clock;
    clock.start();
    while (socket.bytesAvailable() < 1) {
        // Closed without an answer: the window was closing. The caller tries again.
        if (socket.state() != QLocalSocket::ConnectedState)
            return HandOver::NoServer;
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            return HandOver::NoAnswer;
        socket.waitForReadyRead(left);
    }
    char answer = 0;
    socket.getChar(&answer);
    return answer == kTaken ? HandOver::Taken : HandOver::NoAnswer;
}

void SingleInstance::serve()
{
    // Left by a window that crashed: nobody answered at it.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        qWarning("Later starts cannot reach this window: %s",
                 qUtf8Printable(m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            if (!trusted(*socket)) {
                socket->abort();
                socket->deleteLater();
                continue;
            }
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this,
                    [this, socket] { readRequest(socket); });
            readRequest(socket);
        }
    });
}

void SingleInstance::readRequest(QLocalSocket* socket)
{
    if (socket->bytesAvailable() < 4)
        return;
    const qint64 length = qFromBigEndian<quint32>(socket->peek(4).constData());
    if (length > kLongestRequest) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < 4 + length)
        return;
    socket->read(4);
    const QByteArray payload = socket->read(length);
    if (!payload.startsWith(kGreeting)) {
        socket->abort();
        return;
    }
    QStringList files;
    for (const QByteArray& file : payload.mid(kGreeting.size()).split('\0'))
        if (!file.isEmpty())
            files << QString::fromUtf8(file);
    socket->write(&kTaken, 1);
    socket->flush();
    socket->disconnectFromServer();
    emit filesHandedOver(files);
}

void SingleInstance::stopServing()
{
    if (m_server)
        m_server->close();
}

qint64 SingleInstance::serverPid() const
{
    qint64 pid = 0;
    QString host, application;
    return m_lock->getLockInfo(&pid, &host, &application) ? pid : 0;
}
