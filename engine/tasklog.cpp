#include "engine/tasklog.h"

#include "engine/batchdriver.h"
#include "engine/commandexpander.h"
#include "engine/outputnaming.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

QByteArray stamp()
{
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8();
}

// How much of the Task's name a log's name takes after its time.
constexpr int kLogNameBytes = 120;

} // namespace

TaskLog::TaskLog(TaskList& tasks, const QString& folder, QObject* parent)
    : QObject(parent), m_tasks(tasks), m_folder(folder.isEmpty() ? userLogFolder() : folder)
{
}

TaskLog::~TaskLog() = default;

QString TaskLog::userLogFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/trelvo-converter/logs");
}

void TaskLog::attach(BatchDriver& driver)
{
    connect(&driver, &BatchDriver::taskStarted, this, &TaskLog::taskStarted);
    connect(&driver, &BatchDriver::encoderStarted, this, &TaskLog::commandLine);
    connect(&driver, &BatchDriver::encoderOutput, this, &TaskLog::output);
    connect(&driver, &BatchDriver::taskEnded, this,
            [this](int index, BatchDriver::TaskResult result) {
                if (!m_tasks.isValidIndex(index))
                    return;
                const Task task = m_tasks.get(index);
                switch (result) {
                case BatchDriver::TaskResult::Finished:
                    taskEnded(index, QStringLiteral("Finished: ") + task.outputPath);
                    break;
                case BatchDriver::TaskResult::Failed:
                    taskEnded(index, QStringLiteral("Failed: ") + task.failureReason);
                    break;
                case BatchDriver::TaskResult::Stopped:
                    taskEnded(index, QStringLiteral("Stopped"));
                    break;
                }
            });
}

void TaskLog::taskStarted(int index)
{
    if (!m_tasks.isValidIndex(index))
        return;
    Task task = m_tasks.get(index);
    QDir().mkpath(m_folder);
    // The same name as the output's, after the time, cut short: a log is found by its time.
    const QString stem =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz-")) +
        truncateUtf8(outputStem(task.exportName, task.sourcePath), kLogNameBytes);
    const QString path = firstFreePath(m_folder + u'/', stem, QStringLiteral(".log"),
                                       [](const QString& p) { return QFileInfo::exists(p); });
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    m_open.insert(index, file);
    task.logPath = path;
    m_tasks.set(index, task);
    write(index, stamp() + " Started\nSource: " + task.sourcePath.toUtf8() +
                     QStringLiteral("\nTrim: %1 to %2\nExport: %3\n")
                         .arg(trimTimeText(task.startTime), trimTimeText(task.endTime))
                         .arg(task.exportType == 0 ? QStringLiteral("MP4") : QStringLiteral("WMV"))
                         .toUtf8());
    if (const QString choices = choiceText(task); !choices.isEmpty())
        write(index, "Chosen: " + choices.toUtf8() + "\n");
    prune();
}

void TaskLog::commandLine(int index, const QString& command)
{
    write(index, stamp() + " Command line: " + command.toUtf8() + "\n");
}

void TaskLog::output(int index, const QByteArray& bytes)
{
    // Progress lines end in carriage returns; in a file each stands on its own line.
    QByteArray text = bytes;
    text.replace('\r', '\n');
    write(index, text);
}

void TaskLog::taskEnded(int index, const QString& result)
{
    write(index, "\n" + stamp() + " " + result.toUtf8() + "\n");
    m_open.remove(index);
}

void TaskLog::write(int index, const QByteArray& bytes)
{
    const auto it = m_open.constFind(index);
    if (it == m_open.constEnd())
        return;
    (*it)->write(bytes);
    (*it)->flush();
}

void TaskLog::prune(int keep)
{
    QDir dir(m_folder);
    // Names begin with the time they were made, so the name order is the age order.
    QStringList logs = dir.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    QStringList open;
    for (const auto& file : std::as_const(m_open))
        open << QFileInfo(file->fileName()).fileName();
    for (qsizetype i = 0; i + keep < logs.size(); ++i)
        if (!open.contains(logs[i]))
            dir.remove(logs[i]);
}
