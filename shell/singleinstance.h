#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;

// One window per user. The first start serves a local socket in the user's runtime
// folder; a later start hands its files (none: "come to the front") to that window and
// ends. A lock file beside the socket decides between starts at the same moment, and
// tells a socket left behind by a crashed window from one that is served.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Claim
    {
        First,      // this process runs the window and serves later starts from now on
        HandedOver, // the running window took the files
        NoAnswer,   // a window runs but did not answer in time
        Alone       // the socket's folder, or whoever answered there, is not the user's
                    // own: this process runs a window of its own and hands nothing over
    };

    // `folder`: where the socket and its lock live; the user's runtime folder by default.
    // It must be a folder of `owner`'s, not a link, that nobody else may write in; and
    // whoever listens there must run as `owner` (the user running us, but for tests).
    explicit SingleInstance(const QString& folder = runtimeFolder(), QObject* parent = nullptr,
                            uint owner = currentUser());
    ~SingleInstance() override;

    Claim claim(const QStringList& files, int timeoutMs = 5000);
    // Later starts are no longer served (the window is closing); they start their own.
    void stopServing();
    QString socketPath() const { return m_socketPath; }
    // The process that serves, as its lock file says; 0 when unknown.
    qint64 serverPid() const;

    static QString runtimeFolder();
    static uint currentUser();

signals:
    // A later start's files (full paths); empty when it was started without any.
    void filesHandedOver(const QStringList& files);

private:
    enum class HandOver
    {
        Taken,
        NoServer,
        NoAnswer,
        Untrusted
    };
    HandOver handOver(const QStringList& files, int timeoutMs);
    void serve();
    void readRequest(QLocalSocket* socket);

    bool trusted(const QLocalSocket& socket) const;

    QString m_socketPath;
    uint m_owner = 0;
    bool m_folderSafe = false;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
