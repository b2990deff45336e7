#pragma once

// Stand-ins for the desktop's services, served on a private bus from the test itself.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// org.freedesktop.Notifications: records what it is asked to show.
class StandInNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notification
    {
        QString appName;
        uint replacesId = 0;
        QString icon;
        QString summary;
        QString body;
        QVariantMap hints;
    };
    QList<Notification> shown;

    bool serveOn(QDBusConnection bus)
    {
        return bus.registerService(QStringLiteral("org.freedesktop.Notifications")) &&
               bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                  QDBusConnection::ExportAllSlots);
    }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon,
                const QString& summary, const QString& body, const QStringList&,
                const QVariantMap& hints, int)
    {
        shown.append({appName, replacesId, icon, summary, body, hints});
        return uint(40 + shown.size());
    }
};

// org.freedesktop.login1.Manager: answers CanPowerOff as told, records PowerOff, and can
// hold its answers back, as logind does while polkit asks the user.
class StandInLogind : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QString canPowerOff = QStringLiteral("yes");
    bool refusePowerOff = false;
    bool holdAnswers = false;
    QStringList calls; // "CanPowerOff", "PowerOff true"

    bool serveOn(QDBusConnection bus)
    {
        m_bus = bus;
        return bus.registerService(QStringLiteral("org.freedesktop.login1")) &&
               bus.registerObject(QStringLiteral("/org/freedesktop/login1"), this,
                                  QDBusConnection::ExportAllSlots);
    }
    // Sends the answers held back so far.
    void release()
    {
        for (const QDBusMessage& answer : std::exchange(m_held, {}))
            m_bus.send(answer);
    }
    int held() const { return int(m_held.size()); }

public slots:
    QString CanPowerOff()
    {
        calls << QStringLiteral("CanPowerOff");
        answer(message().createReply(canPowerOff));
        return QString();
    }
    void PowerOff(bool interactive)
    {
        calls << (interactive ? QStringLiteral("PowerOff true") : QStringLiteral("PowerOff false"));
        answer(refusePowerOff
                   ? message().createErrorReply(QStringLiteral("org.freedesktop.login1.NotAllowed"),
                                                QStringLiteral("Not allowed"))
                   : message().createReply());
    }

private:
    void answer(const QDBusMessage& reply)
    {
        setDelayedReply(true);
        if (holdAnswers)
            m_held.append(reply);
        else
            m_bus.send(reply);
    }

    QDBusConnection m_bus{QString()};
    QList<QDBusMessage> m_held;
};

// A dock: records the launcher entry updates sent on the bus.
class StandInDock : public QObject
{
    Q_OBJECT
public:
    struct Update
    {
        QString appUri;
        QVariantMap properties;
    };
    QList<Update> updates;

    bool watch(QDBusConnection bus)
    {
        return bus.connect(QString(), QString(),
                           QStringLiteral("com.canonical.Unity.LauncherEntry"),
                           QStringLiteral("Update"), this, SLOT(onUpdate(QString, QVariantMap)));
    }

public slots:
    void onUpdate(const QString& appUri, const QVariantMap& properties)
    {
        updates.append({appUri, properties});
    }
};
