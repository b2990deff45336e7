#include "engine/encoderrunner.h"

#include "encoder/protocol/encoderprotocol.h"
#include "encoder/protocol/workingfile.h"
#include "engine/clock.h"
#include "engine/commandsplitter.h"

#include <QDir>
#include <QElapsedTimer>
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

namespace {

using namespace encoderprotocol;

bool isProgressLine(const QString& line)
{
    return line.contains(QLatin1String(kSizeKey)) && line.contains(QLatin1String(kTimeKey));
}

// A setting our encoder could not keep, from its note: why, and what it used instead;
// empty for any other line.
QString changeOf(const QString& line)
{
    QString prefix = QLatin1String(kNotePrefix);
    prefix += QLatin1String(kChangedWord);
    return line.startsWith(prefix) ? line.mid(prefix.size()) : QString();
}

// Our encoder's notes ("trelvo-encoder: using level 2") are not reasons for a failure.
bool isNote(const QString& line)
{
    return line.startsWith(QLatin1String(kNotePrefix)) &&
           !line.contains(QLatin1String(kErrorWord).trimmed());
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

    qint64 pid = 0; // kept, as processId() is 0 once the process has ended

    // The name the encoder writes its output under until the file is whole.
    QString workingPath() const
    {
        if (outputPath.isEmpty() || pid <= 0)
            return {};
        const QFileInfo final(outputPath);
        return final.path() + u'/' +
               QFile::decodeName(
                   workingfile::name(QFile::encodeName(final.fileName()).toStdString(), long(pid))
                       .c_str());
    }

    Mark mark() const
    {
        Mark m;
        struct stat info = {};
        for (const QString& path : {outputPath, workingPath()}) {
            if (!path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0) {
                m.size = info.st_size;
                m.modifiedNs = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
                break;
            }
        }
        return m;
    }

    // A killed encoder leaves a file without its index: nobody can play it. Ours has it
    // under its working name; another program named by a profile may have written
    // straight to the output's name.
    void removeBrokenOutput()
    {
        if (exitStatus() != QProcess::CrashExit)
            return;
        for (const QString& path : {workingPath(), outputPath}) {
            if (!path.isEmpty())
                QFile::remove(path);
        }
    }
};

EncoderProcess* encoderProcess(QProcess* process)
{
    return static_cast<EncoderProcess*>(process);
}

} // namespace

EncoderRunner::EncoderRunner(TaskList& tasks, QObject* parent) : QObject(parent), m_tasks(tasks) {}

EncoderRunner::~EncoderRunner()
{
    // Nobody is left to hear how the runs end.
    blockSignals(true);
    waitForEncoders();
}

QString EncoderRunner::composeFailure(const QString& step, int code, const QString& message)
{
    return QStringLiteral("%1 failed (error %2): %3").arg(step).arg(code).arg(message);
}

void EncoderRunner::reportFailure(const QString& step, int code, const QString& message)
{
    qCDebug(lcRunner).noquote() << composeFailure(step, code, message);
}

void EncoderRunner::noteOutputLine(const char* chunk)
{
    m_partialLine += chunk;
    qsizetype end;
    while ((end = m_partialLine.indexOf('\n')) >= 0 || (end = m_partialLine.indexOf('\r')) >= 0) {
        const QString line = QString::fromUtf8(m_partialLine.left(end)).trimmed();
        m_partialLine.remove(0, end + 1);
        if (const QString change = changeOf(line); !change.isEmpty())
            m_changes << change;
        if (line.isEmpty() || isProgressLine(line) || isNote(line))
            continue;
        m_lastLine = line;
        if (line.contains(QLatin1String("error"), Qt::CaseInsensitive))
            m_lastErrorLine = line;
    }
    if (m_partialLine.size() > 1024)
        m_partialLine = m_partialLine.right(1024);
}

bool EncoderRunner::runEncoder(const QString& commandLine, int taskIndex, const QString& outputPath,
                               Result* notStarted)
{
    letGo();
    m_taskIndex = taskIndex;
    // This run's own: the speed it shows is measured from its start, whatever else starts.
    m_runStartTick = tickCount();
    m_quitSent = false;
    m_stopAsked = false;
    m_stalled = false;
    m_outputPath = outputPath;
    m_exitCode = 0;
    m_exitStatus = QProcess::NormalExit;
    m_startError.clear();
    m_lastLine.clear();
    m_lastErrorLine.clear();
    m_changes.clear();
    m_partialLine.clear();
    m_outputClosed = true;
    m_inputClosed = true;
    emit encoderStarting(taskIndex, commandLine);

    QStringList args = splitCommandLine(commandLine);
    if (args.isEmpty()) {
        reportFailure(QStringLiteral("Starting the encoder"), 0,
                      QStringLiteral("empty command line"));
        m_startError = tr("The profile has no command line for the encoder");
        if (notStarted)
            *notStarted = {Result::End::Failed, FailureKind::EncoderMissing, m_startError};
        return false;
    }
    QString program = args.takeFirst();
    // A relative path starts in the app folder; so does a bare name when the app folder
    // holds that program: the encoder that came with us, not one that PATH finds first.
    const QFileInfo own(QDir(m_workingDirectory).absoluteFilePath(program));
    if (!program.startsWith(u'/') &&
        (program.contains(u'/') || (own.isFile() && own.isExecutable())))
        program = own.absoluteFilePath();

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
    // Starting is a fork and exec: it answers at once, without running the event loop.
    if (!process->waitForStarted(10000)) {
        reportFailure(QStringLiteral("Starting the encoder"), int(process->error()),
                      process->errorString());
        m_startError =
            tr("Could not start the encoder %1: %2").arg(program, process->errorString());
        process->deleteLater();
        if (notStarted)
            *notStarted = {Result::End::Failed, FailureKind::EncoderMissing, m_startError};
        return false;
    }
    process->pid = process->processId();
    m_process = process;
    m_outputClosed = false;
    m_inputClosed = false;
    connect(process, &QProcess::readyReadStandardOutput, this, &EncoderRunner::readOutput);
    connect(process, &QProcess::finished, this, &EncoderRunner::onFinished);
    watchForStall(process);
    return true;
}

void EncoderRunner::readOutput()
{
    QProcess* process = m_process;
    if (!process)
        return;
    ParseHooks hooks;
    hooks.runStartTick = m_runStartTick;
    hooks.finishEarly = [this] {
        closeOutput();
        sendQuitAndCloseInput();
    };
    hooks.redrawProgress = m_redraw;
    char buffer[kChunkBytes + 1];
    // Each chunk is parsed on its own, as the encoder's reports are read.
    while (m_process == process && process->bytesAvailable() > 0) {
        std::fill(std::begin(buffer), std::end(buffer), '\0');
        const qint64 n = process->read(buffer, kChunkBytes);
        if (n <= 0)
            break;
        encoderProcess(process)->printed += n;
        emit outputRead(m_taskIndex, QByteArray(buffer, int(n)));
        if (m_outputClosed)
            continue;
        noteOutputLine(buffer);
        hooks.now = tickCount();
        parseEncoderOutput(buffer, m_taskIndex, m_tasks, hooks);
    }
}

void EncoderRunner::onFinished()
{
    EncoderProcess* process = encoderProcess(m_process);
    if (!process)
        return;
    readOutput();
    m_exitCode = process->exitCode();
    m_exitStatus = process->exitStatus();
    if (!m_partialLine.isEmpty())
        noteOutputLine("\n");
    if (process->error() == QProcess::ReadError)
        reportFailure(QStringLiteral("Reading the encoder's output"), int(process->error()),
                      process->errorString());
    process->removeBrokenOutput();
    if (m_stalled && !m_outputPath.isEmpty())
        QFile::remove(m_outputPath); // cut short by us: not the file that was asked for
    m_outputClosed = true;
    m_inputClosed = true;
    m_process = nullptr;
    process->deleteLater();
    emit runEnded(endOfRun());
    noteEnded();
}

void EncoderRunner::letGo()
{
    EncoderProcess* process = encoderProcess(m_process);
    m_process = nullptr;
    if (!process)
        return;
    disconnect(process, nullptr, this, nullptr);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    // Keep draining what it still prints, so that it can finish writing its file.
    connect(process, &QProcess::readyReadStandardOutput, process,
            [process] { process->printed += process->readAll().size(); });
    connect(process, &QProcess::finished, this, [this, process] {
        process->removeBrokenOutput();
        process->deleteLater();
        noteEnded();
    });
    process->printed += process->readAll().size();
    std::erase_if(m_letGo, [](const QPointer<QProcess>& p) { return p.isNull(); });
    m_letGo.push_back(process);
}

void EncoderRunner::noteEnded()
{
    if (runningEncoders() == 0)
        emit allEncodersEnded();
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
        reportFailure(QStringLiteral("Reading the encoder's output"), 0,
                      QStringLiteral("the encoder stalled"));
        closeOutput();
        if (m_inputClosed)
            endWhenStuck(process); // its input was closed already: go straight to insisting
        sendQuitAndCloseInput();
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

EncoderRunner::Result EncoderRunner::endOfRun() const
{
    const bool crashed = m_exitStatus == QProcess::CrashExit;
    if (m_stalled)
        return {Result::End::Failed, FailureKind::EncoderStopped,
                tr("The encoder printed nothing and wrote nothing for %1 s and was stopped")
                    .arg(m_stallLimitMs / 1000.0)};
    if (crashed)
        return {Result::End::Failed, FailureKind::EncoderStopped,
                tr("The encoder was killed (signal %1)").arg(m_exitCode)};
    // Ended early by someone else's signal: its file went, as nobody asked for it.
    if (m_exitCode == kExitInterrupted)
        return {Result::End::Failed, FailureKind::EncoderStopped,
                tr("The encoder was interrupted by a signal")};
    if (m_exitCode == 0)
        return {m_stopAsked ? Result::End::Stopped : Result::End::Finished, FailureKind::None, {}};
    FailureKind kind = FailureKind::EncoderStopped;
    if (m_exitCode == kExitSourceUnreadable)
        kind = FailureKind::SourceUnreadable;
    else if (m_exitCode == kExitOutputUnwritable)
        kind = FailureKind::OutputUnwritable;
    QString reason = m_lastErrorLine;
    if (reason.isEmpty())
        reason = m_lastLine;
    if (reason.isEmpty())
        reason = tr("The encoder failed with exit code %1").arg(m_exitCode);
    // Taken by a file, or by another program that writes a file of that name now.
    const bool nameTaken = m_exitCode == kExitOutputExists && !m_outputPath.isEmpty();
    return {nameTaken ? Result::End::NameTaken : Result::End::Failed, kind, reason};
}

void EncoderRunner::closeOutput()
{
    m_outputClosed = true;
}

void EncoderRunner::writeQuitAndCloseInput()
{
    if (!m_inputClosed && m_process)
        m_stopAsked = true;
    sendQuitAndCloseInput();
}

void EncoderRunner::sendQuitAndCloseInput()
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

int EncoderRunner::runningEncoders() const
{
    int count = 0;
    if (m_process && m_process->state() != QProcess::NotRunning)
        ++count;
    for (const QPointer<QProcess>& p : m_letGo) {
        if (p && p != m_process && p->state() != QProcess::NotRunning)
            ++count;
    }
    return count;
}

void EncoderRunner::waitForEncoders()
{
    // Never leave an encoder behind: ask it to finish its file, wait while it moves, and
    // insist only once it stands still.
    if (m_process && !m_inputClosed) {
        closeOutput();
        writeQuitAndCloseInput();
    }
    std::vector<QPointer<QProcess>> all = m_letGo;
    all.push_back(m_process);
    for (const QPointer<QProcess>& p : all) {
        if (!p || p->state() == QProcess::NotRunning)
            continue;
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
