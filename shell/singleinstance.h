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
        NoAnswer    // a window runs but did not answer in time
    };

    // `folder`: where the socket and its lock live; the user's runtime folder by default.
    explicit SingleInstance(const QString& folder = runtimeFolder(), QObject* parent = nullptr);
    ~SingleInstance() override;

    Claim claim(const QStringList& files, int timeoutMs = 5000);
    // Later starts are no longer served (the window is closing); they start their own.
    void stopServing();
    QString socketPath() const { return m_socketPath; }
    // The process that serves, as its lock file says; 0 when unknown.
    qint64 serverPid() const;

    static QString runtimeFolder();

signals:
    // A later start's files (full paths); empty when it was started without any.
    void filesHandedOver(const QStringList& files);

private:
    enum class HandOver
    {
        Taken,
        NoServer,
        NoAnswer
    };
    HandOver handOver(const QStringList& files, int timeoutMs);
    void serve();
    void readRequest(QLocalSocket* socket);

    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
