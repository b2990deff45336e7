#include "shell/batchnotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QWidget>

BatchNotifier::BatchNotifier(QWidget* window, QObject* parent) : QObject(parent), m_window(window)
{
}

void BatchNotifier::batchEnded(const BatchDriver::Summary& summary)
{
    if (m_window && m_window->isActiveWindow())
        return;
    const QDBusConnection bus = m_bus ? *m_bus : QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;

    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("desktop-entry"), QStringLiteral("trelvo-converter")},
        {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)},
    };
    notify << QStringLiteral("Trelvo Converter") << m_lastId << QStringLiteral("trelvo-converter")
           << BatchDriver::summaryText(summary, true) << QString() << QStringList() << hints
           << qint32(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isValid())
                    m_lastId = reply.value();
                emit answered(reply.isValid());
            });
}
