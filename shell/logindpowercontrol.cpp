#include "logindpowercontrol.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>

namespace {

QDBusInterface loginManager()
{
    return QDBusInterface(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QDBusConnection::systemBus());
}

} // namespace

bool LogindPowerControl::canPowerOff()
{
    if (!QDBusConnection::systemBus().isConnected())
        return false;
    QDBusInterface manager = loginManager();
    if (!manager.isValid())
        return false;
    const QDBusReply<QString> reply = manager.call(QStringLiteral("CanPowerOff"));
    // "challenge" means logind will ask the user for permission itself.
    return reply.isValid() &&
           (reply.value() == QLatin1String("yes") || reply.value() == QLatin1String("challenge"));
}

bool LogindPowerControl::powerOff()
{
    QDBusInterface manager = loginManager();
    if (!manager.isValid())
        return false;
    const QDBusMessage reply = manager.call(QStringLiteral("PowerOff"), true);
    return reply.type() != QDBusMessage::ErrorMessage;
}
