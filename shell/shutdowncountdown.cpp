#include "shell/shutdowncountdown.h"

#include <QMessageBox>
#include <QWidget>

namespace {
// Often enough that the number shown never lags a second behind.
constexpr int kDisplayIntervalMs = 200;
} // namespace

ShutdownCountdown::ShutdownCountdown(PowerControl& power, QWidget* window)
    : QObject(window), m_power(power), m_window(window)
{
    m_display.setInterval(kDisplayIntervalMs);
    connect(&m_display, &QTimer::timeout, this, &ShutdownCountdown::showRemaining);
    m_expiry.setSingleShot(true);
    connect(&m_expiry, &QTimer::timeout, this, &ShutdownCountdown::expire);
}

ShutdownCountdown::~ShutdownCountdown()
{
    cancel();
}

QString ShutdownCountdown::countdownText(int seconds)
{
    return seconds == 1 ? tr("The computer will shut down in 1 second.")
                        : tr("The computer will shut down in %1 seconds.").arg(seconds);
}

void ShutdownCountdown::powerOff(Done done)
{
    cancel();
    m_done = std::move(done);
    m_deadline = QDeadlineTimer(m_duration);

    m_dialog = new QMessageBox(QMessageBox::Warning, tr("Shut Down"), QString(),
                               QMessageBox::Cancel, m_window);
    m_dialog->setObjectName(QStringLiteral("shutdownCountdown"));
    m_dialog->setInformativeText(tr("Converting has finished. Save your work in other programs, "
                                    "or press Cancel to keep the computer running."));
    // Not modal: closing the main window calls the shutdown off too.
    m_dialog->setWindowModality(Qt::NonModal);
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &QMessageBox::finished, this, &ShutdownCountdown::cancel);
    showRemaining();
    m_dialog->show();

    m_display.start();
    m_expiry.start(m_duration);
}

void ShutdownCountdown::showRemaining()
{
    if (!m_dialog)
        return;
    const qint64 left = m_deadline.remainingTime();
    const int seconds = int((qMax<qint64>(left, 0) + 999) / 1000);
    const QString text = countdownText(qMax(seconds, 1));
    if (m_dialog->text() != text)
        m_dialog->setText(text);
}

void ShutdownCountdown::cancel()
{
    if (!m_done)
        return;
    const Done done = std::exchange(m_done, {});
    closeDialog();
    done(Outcome::Cancelled);
}

void ShutdownCountdown::expire()
{
    if (!m_done)
        return;
    Done done = std::exchange(m_done, {});
    closeDialog();
    m_power.powerOff(std::move(done));
}

void ShutdownCountdown::closeDialog()
{
    m_display.stop();
    m_expiry.stop();
    // Closing it emits finished, which finds nothing left to call off.
    if (m_dialog)
        m_dialog->close();
    m_dialog = nullptr;
}
