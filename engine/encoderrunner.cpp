#include "encoderrunner.h"

#include "clock.h"
#include "commandsplitter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTimer>

#include <csignal>
#include <memory>
#include <sys/prctl.h>
#include <sys/stat.h>
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

// Our encoder's notes ("trelvo-encoder: using level 2") are not reasons for a failure.
bool isNote(const QString& line)
{
    return line.startsWith(QLatin1String("trelvo-encoder: ")) &&
           !line.contains(QLatin1String("error:"));
}

// The encoder's process with what tells whether it still moves: how much it printed,
// and the size and modification time of the file it writes (moving the index to the
// front rewrites the file without growing it, but touches its time). Once asked to
// finish, only the file counts: printing alone does not finish anything.
class EncoderProcess : public QProcess
{
public:
    using QProcess::QProcess;

    struct Mark
    {
        qint64 size = -1;
        qint64 modifiedNs = 0;
        bool operator==(const Mark&) const = default;
    };

    QString outputPath;
    qint64 printed = 0;

    Mark mark() const
    {
        Mark m;
        struct stat info = {};
        if (!outputPath.isEmpty() &&
            ::stat(QFile::encodeName(outputPath).constData(), &info) == 0) {
            m.size = info.st_size;
            m.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        }
        return m;
    }

    // A killed encoder leaves a file without its index: nobody can play it.
    void removeBrokenOutput()
    {
        if (exitStatus() == QProcess::CrashExit && !outputPath.isEmpty())
            QFile::remove(outputPath);
    }
};

EncoderProcess* encoderProcess(QProcess* process)
{
    return static_cast<EncoderProcess*>(process);
}

} // namespace

EncoderRunner::EncoderRunner(TaskList& tasks, BatchState& batch, QObject* parent)
    : QObject(parent), m_tasks(tasks), m_batch(batch)
{
}

EncoderRunner::~EncoderRunner()
{
    // Never leave an encoder behind: ask it to finish its file, wait while it moves, and
    // insist only once it stands still.
    std::vector<QPointer<QProcess>> all = m_retired;
    all.push_back(m_process);
    for (const QPointer<QProcess>& p : all) {
        if (!p || p->state() == QProcess::NotRunning)
            continue;
        if (p == m_process && !m_inputClosed) {
            p->write("q", 1);
            p->closeWriteChannel();
        }
        EncoderProcess* encoder = encoderProcess(p);
        bool terminated = false;
        for (;;) {
            const EncoderProcess::Mark before = encoder->mark();
            if (encoder->waitForFinished(terminated ? kKillAfterMs : kTerminateAfterMs))
                break;
            encoder->printed += encoder->readAll().size();
            if (encoder->mark() != before)
                continue;
            if (terminated) {
                encoder->kill();
                encoder->waitForFinished(1000);
                break;
            }
            encoder->terminate();
            terminated = true;
        }
        encoder->removeBrokenOutput();
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
    EncoderProcess* encoder = encoderProcess(process);
    connect(process, &QProcess::readyReadStandardOutput, process,
            [encoder] { encoder->printed += encoder->readAll().size(); });
    connect(process, &QProcess::finished, process, [encoder] {
        encoder->removeBrokenOutput();
        encoder->deleteLater();
    });
    encoder->printed += encoder->readAll().size();
    m_retired.push_back(process);
}

void EncoderRunner::noteOutputLine(const char* chunk)
{
    m_partialLine += chunk;
    qsizetype end;
    while ((end = m_partialLine.indexOf('\n')) >= 0 || (end = m_partialLine.indexOf('\r')) >= 0) {
        const QString line = QString::fromUtf8(m_partialLine.left(end)).trimmed();
        m_partialLine.remove(0, end + 1);
        if (line.isEmpty() || isProgressLine(line) || isNote(line))
            continue;
        m_lastLine = line;
        if (line.contains(QLatin1String("error"), Qt::CaseInsensitive))
            m_lastErrorLine = line;
    }
    if (m_partialLine.size() > 1024)
        m_partialLine = m_partialLine.right(1024);
}

void EncoderRunner::runEncoder(const QString& commandLine, int taskIndex, const QString& outputPath)
{
    retire(m_process);
    m_process = nullptr;
    m_started = false;
    m_quitSent = false;
    m_stalled = false;
    m_outputPath = outputPath;
    m_exitCode = 0;
    m_exitStatus = QProcess::NormalExit;
    m_startError.clear();
    m_lastLine.clear();
    m_lastErrorLine.clear();
    m_partialLine.clear();
    m_outputClosed = true;
    m_inputClosed = true;

    QStringList args = splitCommandLine(commandLine);
    if (args.isEmpty()) {
        reportFailure(QStringLiteral("CreateProcess"), 0, QStringLiteral("empty command line"));
        m_startError = tr("The profile has no command line for the encoder");
        return;
    }
    QString program = args.takeFirst();
    if (!program.startsWith(u'/') && program.contains(u'/'))
        program = QDir(m_workingDirectory).absoluteFilePath(program);

    auto* process = new EncoderProcess(this);
    process->outputPath = outputPath;
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
    watchForStall(process);

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
            process->printed += n;
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
        process->removeBrokenOutput();
        if (m_stalled && !outputPath.isEmpty())
            QFile::remove(outputPath); // cut short by us: not the file that was asked for
    }
}

void EncoderRunner::watchForStall(QProcess* process)
{
    auto* timer = new QTimer(process);
    timer->setInterval(qBound(10, m_stallLimitMs / 4, 1000));
    using Moves = std::pair<qint64, EncoderProcess::Mark>;
    auto moves = [process] {
        return Moves(encoderProcess(process)->printed, encoderProcess(process)->mark());
    };
    auto last = std::make_shared<Moves>(moves());
    auto still = std::make_shared<QElapsedTimer>();
    still->start();
    connect(timer, &QTimer::timeout, this, [this, process, timer, last, still, moves] {
        const Moves now = moves();
        if (now != *last) {
            *last = now;
            still->start();
            return;
        }
        if (still->elapsed() < m_stallLimitMs || process != m_process)
            return;
        timer->stop();
        m_stalled = true;
        reportFailure(QStringLiteral("ReadFile"), 0, QStringLiteral("the encoder stalled"));
        closeOutput();
        writeQuitAndCloseInput();
        if (m_inputClosed && !m_quitSent)
            endWhenStuck(process); // its input was closed already: go straight to insisting
    });
    timer->start();
}

void EncoderRunner::endWhenStuck(QProcess* process)
{
    auto* timer = new QTimer(process);
    timer->setInterval(kTerminateAfterMs);
    auto last = std::make_shared<EncoderProcess::Mark>(encoderProcess(process)->mark());
    auto terminated = std::make_shared<bool>(false);
    connect(timer, &QTimer::timeout, process, [process, timer, last, terminated] {
        if (process->state() == QProcess::NotRunning) {
            timer->stop();
            return;
        }
        const EncoderProcess::Mark now = encoderProcess(process)->mark();
        if (now != *last) {
            // Still finishing its file: give it all the time it needs.
            *last = now;
            *terminated = false;
            timer->setInterval(kTerminateAfterMs);
            return;
        }
        if (*terminated) {
            process->kill();
            timer->stop();
            return;
        }
        process->terminate();
        *terminated = true;
        timer->setInterval(kKillAfterMs);
    });
    timer->start();
}

bool EncoderRunner::lastRunFailed() const
{
    return !m_started || m_stalled || m_exitStatus == QProcess::CrashExit || m_exitCode != 0;
}

bool EncoderRunner::lastRunFoundOutputTaken() const
{
    return m_started && m_exitStatus == QProcess::NormalExit && m_exitCode == kExitOutputExists &&
           !m_outputPath.isEmpty() && QFileInfo::exists(m_outputPath);
}

QString EncoderRunner::lastRunError() const
{
    if (!m_started)
        return m_startError;
    if (m_stalled)
        return tr("The encoder printed nothing and wrote nothing for %1 s and was stopped")
            .arg(m_stallLimitMs / 1000.0);
    if (m_exitStatus == QProcess::CrashExit)
        return tr("The encoder was killed (signal %1)").arg(m_exitCode);
    if (m_exitCode == 0)
        return {};
    if (!m_lastErrorLine.isEmpty())
        return m_lastErrorLine;
    if (!m_lastLine.isEmpty())
        return m_lastLine;
    return tr("The encoder failed with exit code %1").arg(m_exitCode);
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
    endWhenStuck(process);
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
    // Each encoder left has been asked to finish and is ended once it stands still, so
    // this wait has an end; it lasts as long as the files still need.
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        if (runningEncoders() == 0)
            loop.quit();
    });
    poll.start(20);
    if (runningEncoders() > 0)
        loop.exec();
}
