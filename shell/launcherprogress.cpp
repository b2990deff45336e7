#include "shell/launcherprogress.h"

#include "engine/batchdriver.h"
#include "engine/clock.h"

#include <QDBusMessage>

#include <algorithm>
#include <cmath>

LauncherProgress::LauncherProgress(const BatchDriver& driver, QObject* parent)
    : QObject(parent), m_driver(driver)
{
    // At batchStarted the Tasks still hold the last batch's progress: the bar starts empty.
    connect(&driver, &BatchDriver::batchStarted, this, [this] {
        m_sent = 0.0;
        send(0.0, true);
    });
    connect(&driver, &BatchDriver::taskChanged, this, [this] { update(false); });
    connect(&driver, &BatchDriver::taskEnded, this, [this] { update(true); });
    connect(&driver, &BatchDriver::batchEnded, this, [this] {
        m_sent = -1.0;
        send(0.0, false);
    });
}

void LauncherProgress::update(bool always)
{
    if (!m_driver.converting() || m_sent < 0.0)
        return;
    const double progress = std::clamp(m_driver.progress(tickCount()).percent / 100.0, 0.0, 1.0);
    // The bar moves by whole percents: an encoder reports several times a second.
    if (!always && std::fabs(progress - m_sent) < 0.01)
        return;
    m_sent = progress;
    send(progress, true);
}

void LauncherProgress::send(double progress, bool visible)
{
    const QDBusConnection bus = m_bus ? *m_bus : QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(
        QString::fromLatin1(kObjectPath), QStringLiteral("com.canonical.Unity.LauncherEntry"),
        QStringLiteral("Update"));
    const QVariantMap properties{
        {QStringLiteral("progress"), progress},
        {QStringLiteral("progress-visible"), visible},
    };
    update << QString::fromLatin1(kAppUri) << properties;
    bus.send(update);
}
