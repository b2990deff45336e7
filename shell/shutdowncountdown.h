#pragma once

#include "engine/batchhost.h"

#include <QDeadlineTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>

class QWidget;

// Powers the machine off only after a minute in which the user can call it off: a
// dialog counts the seconds down with a Cancel button, since other programs may hold
// unsaved work. When the time is up, the wrapped PowerControl asks the system.
class ShutdownCountdown : public QObject, public PowerControl
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kDefaultDuration{60000};

    // The dialog opens over `window`, which stays usable meanwhile.
    ShutdownCountdown(PowerControl& power, QWidget* window);
    ~ShutdownCountdown() override;

    void setDuration(std::chrono::milliseconds duration) { m_duration = duration; }
    static QString countdownText(int seconds);

    void powerOff(Done done) override;
    QString refusalReason() const override { return m_power.refusalReason(); }
    // Calls a running countdown off, as its Cancel button does.
    void cancel();
    bool counting() const { return bool(m_done); }
    // The open countdown dialog; null when none runs.
    QMessageBox* dialog() const { return m_dialog; }

private:
    void showRemaining();
    void expire();
    void closeDialog();

    PowerControl& m_power;
    QWidget* m_window;
    std::chrono::milliseconds m_duration = kDefaultDuration;
    QDeadlineTimer m_deadline;
    QTimer m_display;
    QTimer m_expiry;
    QPointer<QMessageBox> m_dialog;
    Done m_done;
};
