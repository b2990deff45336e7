#include "shell/privatebus.h"

PrivateBus::PrivateBus()
{
    // --print-address writes the address on the daemon's output once it listens.
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1"),
                    QStringLiteral("--address=unix:dir=") + m_dir.path()});
    if (!m_daemon.waitForStarted(10000)) {
        m_problem = QStringLiteral("dbus-daemon does not start (package dbus-daemon): ") +
                    m_daemon.errorString();
        return;
    }
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    if (m_address.isEmpty())
        m_problem = QStringLiteral("dbus-daemon said no address: ") +
                    QString::fromUtf8(m_daemon.readAllStandardError());
}

PrivateBus::~PrivateBus()
{
    for (const QString& name : m_connections)
        QDBusConnection::disconnectFromBus(name);
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate(); // SIGTERM to its own pid
    if (!m_daemon.waitForFinished(5000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

QDBusConnection PrivateBus::connect(const QString& name)
{
    m_connections.append(name);
    return QDBusConnection::connectToBus(m_address, name);
}
