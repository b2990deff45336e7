#include "encoderrunner.h"

#include "clock.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcRunner, "trelvo.runner", QtWarningMsg)

void pumpMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

namespace {

bool isProgressLine(const QString& line)
{
    return line.contains(QLatin1String("size=")) && line.contains(QLatin1String("time="));
}

} // namespace

EncoderRunner::EncoderRunner(TaskList& tasks, BatchState& batch, QObject* parent)
    : QObject(parent), m_tasks(tasks), m_batch(batch)
{
}

EncoderRunner::~EncoderRunner()
{
    // Never leave an encoder behind: ask it to finish its file, then insist.
    std::vector<QPointer<QProcess>> all = m_retired;
    all.push_back(m_process);
    for (const QPointer<QProcess>& p : all) {
        if (!p || p->state() == QProcess::NotRunning)
            continue;
        if (p == m_process && !m_inputClosed) {
            p->write("q", 1);
            p->closeWriteChannel();
        }
        if (!p->waitForFinished(kTerminateAfterMs)) {
            p->terminate();
            if (!p->waitForFinished(kKillAfterMs)) {
                p->kill();
                p->waitForFinished(1000);
            }
        }
    }
}

QString EncoderRunner::composeFailure(const QString& apiName, int code, const QString& message)
{
    return QString::asprintf("ERROR:   API         =   %s.\n       error   code   =   %d.\n"
                             "       message         =   %s.\n",
                             qPrintable(apiName), code, qPrintable(message));
}

void EncoderRunner::reportFailure(const QString& apiName, int code, const QString& message)
{
    qCDebug(lcRunner).noquote() << composeFailure(apiName, code, message);
}

void EncoderRunner::retire(QProcess* process)
{
    if (!process)
        return;
    std::erase_if(m_retired, [](const QPointer<QProcess>& p) { return p.isNull(); });
    if (std::find(m_retired.begin(), m_retired.end(), process) != m_retired.end())
        return;
    disconnect(process, nullptr, this, nullptr);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    // Keep draining what it still prints, so that it can finish writing its file.
    connect(process, &QProcess::readyReadStandardOutput, process,
            [process] { process->readAll(); });
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->readAll();
    m_retired.push_back(process);
}

void EncoderRunner::noteOutputLine(const char* chunk)
{
    m_partialLine += chunk;
    qsizetype end;
    while ((end = m_partialLine.indexOf('\n')) >= 0 || (end = m_partialLine.indexOf('\r')) >= 0) {
        const QString line = QString::fromUtf8(m_partialLine.left(end)).trimmed();
        m_partialLine.remove(0, end + 1);
        if (!line.isEmpty() && !isProgressLine(line))
            m_lastLine = line;
    }
    if (m_partialLine.size() > 1024)
        m_partialLine = m_partialLine.right(1024);
}

void EncoderRunner::runEncoder(const QString& commandLine, int taskIndex)
{
    retire(m_process);
    m_process = nullptr;
    m_started = false;
    m_quitSent = false;
    m_exitCode = 0;
    m_exitStatus = QProcess::NormalExit;
    m_startError.clear();
    m_lastLine.clear();
    m_partialLine.clear();
    m_outputClosed = true;
    m_inputClosed = true;

    QStringList args = QProcess::splitCommand(commandLine);
    if (args.isEmpty()) {
        reportFailure(QStringLiteral("CreateProcess"), 0, QStringLiteral("empty command line"));
        m_startError = tr("The profile has no command line for the encoder");
        return;
    }
    QString program = args.takeFirst();
    if (!program.startsWith(u'/') && program.contains(u'/'))
        program = QDir(m_workingDirectory).absoluteFilePath(program);

    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setWorkingDirectory(m_workingDirectory);
    process->setChildProcessModifier([] {
        // Its own process group keeps a terminal's Ctrl+C away from it (the program
        // stops it with "q"); the death signal ends it if the program itself dies.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    process->start(program, args, QIODevice::ReadWrite);
    if (!process->waitForStarted(10000)) {
        reportFailure(QStringLiteral("CreateProcess"), int(process->error()),
                      process->errorString());
        m_startError =
            tr("Could not start the encoder %1: %2").arg(program, process->errorString());
        process->deleteLater();
        return;
    }
    m_process = process;
    m_started = true;
    m_outputClosed = false;
    m_inputClosed = false;

    ParseHooks hooks;
    hooks.runStartTick = m_batch.runStartTick;
    hooks.finishEarly = [this] {
        closeOutput();
        writeQuitAndCloseInput();
    };
    hooks.redrawProgress = m_redraw;

    QEventLoop loop;
    m_waitLoop = &loop;
    connect(process, &QProcess::readyReadStandardOutput, &loop, &QEventLoop::quit);
    connect(process, &QProcess::finished, &loop, &QEventLoop::quit);

    char buffer[kChunkBytes + 1];
    for (;;) {
        while (process->bytesAvailable() > 0) {
            std::fill(std::begin(buffer), std::end(buffer), '\0');
            const qint64 n = process->read(buffer, kChunkBytes);
            if (n <= 0)
                break;
            if (!m_outputClosed) {
                noteOutputLine(buffer);
                hooks.now = tickCount();
                parseEncoderOutput(buffer, taskIndex, m_tasks, hooks);
            }
            pumpMessages();
            if (m_batch.stopFlag) {
                m_waitLoop = nullptr;
                retire(process); // still finishing its file after "q"
                return;
            }
        }
        if (m_batch.stopFlag) {
            m_waitLoop = nullptr;
            retire(process);
            return;
        }
        if (process->state() == QProcess::NotRunning && process->bytesAvailable() == 0)
            break;
        loop.exec();
    }
    m_waitLoop = nullptr;
    if (process->state() == QProcess::NotRunning) {
        m_exitCode = process->exitCode();
        m_exitStatus = process->exitStatus();
        if (!m_partialLine.isEmpty())
            noteOutputLine("\n");
        if (process->error() == QProcess::ReadError)
            reportFailure(QStringLiteral("ReadFile"), int(process->error()),
                          process->errorString());
    }
}

bool EncoderRunner::lastRunFailed() const
{
    return !m_started || m_exitStatus == QProcess::CrashExit || m_exitCode != 0;
}

QString EncoderRunner::lastRunError() const
{
    if (!m_started)
        return m_startError;
    if (!m_lastLine.isEmpty() && m_exitCode != 0)
        return m_lastLine;
    if (m_exitStatus == QProcess::CrashExit)
        return tr("The encoder stopped unexpectedly");
    if (m_exitCode != 0)
        return tr("The encoder failed with exit code %1").arg(m_exitCode);
    return m_lastLine;
}

void EncoderRunner::closeOutput()
{
    m_outputClosed = true;
}

void EncoderRunner::writeQuitAndCloseInput()
{
    if (m_inputClosed)
        return;
    m_inputClosed = true;
    QProcess* process = m_process;
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->write("q", 1);
    process->closeWriteChannel();
    m_quitSent = true;
    QPointer<QProcess> guard(process);
    QTimer::singleShot(kTerminateAfterMs, process, [guard] {
        if (!guard || guard->state() == QProcess::NotRunning)
            return;
        guard->terminate();
        QTimer::singleShot(kKillAfterMs, guard, [guard] {
            if (guard && guard->state() != QProcess::NotRunning)
                guard->kill();
        });
    });
}

void EncoderRunner::wake()
{
    if (m_waitLoop)
        m_waitLoop->quit();
}

int EncoderRunner::runningEncoders() const
{
    int count = 0;
    if (m_process && m_process->state() != QProcess::NotRunning)
        ++count;
    for (const QPointer<QProcess>& p : m_retired) {
        if (p && p != m_process && p->state() != QProcess::NotRunning)
            ++count;
    }
    return count;
}

void EncoderRunner::waitForEncoders()
{
    if (m_process && m_process->state() != QProcess::NotRunning && !m_inputClosed) {
        closeOutput();
        writeQuitAndCloseInput();
    }
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (runningEncoders() == 0)
            loop.quit();
    });
    poll.start(20);
    // The terminate and kill timers guarantee an end; this is only a last safety net.
    QTimer::singleShot(kTerminateAfterMs + kKillAfterMs + 2000, &loop, &QEventLoop::quit);
    if (runningEncoders() > 0)
        loop.exec();
}
