#pragma once

// A D-Bus daemon of the test's own, so that no test talks to the machine's buses (and
// so no test can reach the real logind). Ended by its process id when it goes.

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    // Why it is not running.
    QString problem() const { return m_problem; }
    QString address() const { return m_address; }
    // A connection of its own to this bus; `name` tells connections apart in this process.
    QDBusConnection connect(const QString& name);

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_problem;
    QStringList m_connections;
};
