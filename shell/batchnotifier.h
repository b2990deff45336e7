#pragma once

#include "engine/batchdriver.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

#include <optional>

class QWidget;

// Tells the desktop that a batch has ended when the user is looking at another window,
// as a long batch usually ends: a notification (org.freedesktop.Notifications) saying
// how many files converted and failed. Where no session bus or no notification service
// runs, nothing happens and nothing is said.
class BatchNotifier : public QObject
{
    Q_OBJECT
public:
    // Notifications stand for the window (`window`); `bus` unset: the session bus,
    // connected when first needed.
    explicit BatchNotifier(QWidget* window, QObject* parent = nullptr);
    void setBus(const QDBusConnection& bus) { m_bus = bus; }

    void batchEnded(const BatchDriver::Summary& summary);

signals:
    // The service's answer arrived (for tests and tools): whether it took the notification.
    void answered(bool shown);

private:
    QPointer<QWidget> m_window;
    std::optional<QDBusConnection> m_bus;
    uint m_lastId = 0; // a new batch's notification replaces the last one
};
