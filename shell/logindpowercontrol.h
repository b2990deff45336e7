#pragma once

#include "engine/batchhost.h"

#include <QDBusConnection>
#include <QObject>

#include <optional>

// Powers the machine off through systemd-logind: CanPowerOff, then PowerOff, both
// asynchronous, so that the window goes on while logind (or polkit asking the user for
// permission) takes its time.
class LogindPowerControl : public QObject, public PowerControl
{
    Q_OBJECT
public:
    // PowerOff may wait for the user to authenticate; a refusal comes long before this.
    static constexpr int kPowerOffTimeoutMs = 10 * 60 * 1000;

    // Asks logind on the system bus.
    explicit LogindPowerControl(QObject* parent = nullptr);
    // Asks logind on `bus` (a test's own).
    explicit LogindPowerControl(const QDBusConnection& bus, QObject* parent = nullptr);

    void powerOff(Done done) override;
    QString refusalReason() const override { return m_reason; }

private:
    void askToPowerOff(const QDBusConnection& bus, Done done);

    QString m_reason;
    std::optional<QDBusConnection> m_bus; // unset: the system bus, connected when first needed
};
