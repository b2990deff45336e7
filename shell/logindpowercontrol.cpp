#include "shell/logindpowercontrol.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

QDBusMessage managerCall(const QString& method)
{
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
                                          QStringLiteral("/org/freedesktop/login1"),
                                          QStringLiteral("org.freedesktop.login1.Manager"), method);
}

} // namespace

LogindPowerControl::LogindPowerControl(QObject* parent) : QObject(parent) {}

LogindPowerControl::LogindPowerControl(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus)
{
}

void LogindPowerControl::powerOff(Done done)
{
    const QDBusConnection bus = m_bus ? *m_bus : QDBusConnection::systemBus();
    m_reason.clear();
    if (!bus.isConnected()) {
        m_reason = tr("the system's message bus cannot be reached, so logind, the service "
                      "that powers the computer off, cannot be asked.");
        done(Outcome::Refused);
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(managerCall(QStringLiteral("CanPowerOff"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, bus, done = std::move(done)](QDBusPendingCallWatcher* call) mutable {
                call->deleteLater();
                const QDBusPendingReply<QString> reply = *call;
                // "challenge": logind asks the user for permission itself.
                const QString answer = reply.isValid() ? reply.value() : QString();
                if (answer == QLatin1String("yes") || answer == QLatin1String("challenge")) {
                    askToPowerOff(bus, std::move(done));
                    return;
                }
                if (!reply.isValid())
                    m_reason = tr("logind, the service that powers the computer off, is not "
                                  "running on this system.");
                else if (answer == QLatin1String("na"))
                    m_reason = tr("this computer cannot be powered off by a program.");
                else
                    m_reason = tr("the system does not allow this user to power the computer "
                                  "off.");
                done(Outcome::Refused);
            });
}

void LogindPowerControl::askToPowerOff(const QDBusConnection& bus, Done done)
{
    QDBusMessage request = managerCall(QStringLiteral("PowerOff"));
    request << true; // interactive: polkit may ask for a password
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(request, kPowerOffTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, done = std::move(done)](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (call->isError())
                    m_reason = tr("the system refused (%1).").arg(call->error().message());
                done(call->isError() ? Outcome::Refused : Outcome::PoweringOff);
            });
}
