#include "engine/tasklistfile.h"

#include "engine/batchdriver.h"
#include "engine/regularfile.h"
#include "engine/sourcecheck.h"
#include "engine/taskedits.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kFormatVersion = 1;
// Long enough for any path or reason this program writes; a longer text is cut.
constexpr int kTextLimit = 4096;
// Times beyond ten thousand hours are no source's.
constexpr double kLongestSeconds = 36'000'000.0;

QJsonObject toJson(const Task& t)
{
    QJsonObject o;
    o["sourcePath"] = t.sourcePath;
    o["startTime"] = t.startTime;
    o["endTime"] = t.endTime;
    o["title"] = t.title;
    o["videoType"] = t.videoType;
    o["videoSize"] = t.videoSize;
    o["frameRate"] = t.frameRate;
    o["videoBitrate"] = t.videoBitrate;
    o["aspect"] = t.aspect;
    o["channels"] = t.channels;
    o["audioBitrate"] = t.audioBitrate;
    o["sampleRate"] = t.sampleRate;
    o["volume"] = t.volume;
    o["mp4Profile"] = t.mp4Profile;
    o["exportName"] = t.exportName;
    o["finished"] = t.finished;
    o["outputKB"] = t.outputKB;
    o["encodeSpeed"] = t.encodeSpeed;
    o["encodedTime"] = t.encodedTime;
    o["intermediatePath"] = t.intermediatePath;
    o["preState"] = t.preState;
    o["preDone"] = t.preDone;
    o["prePosition"] = t.prePosition;
    o["prePercent"] = t.prePercent;
    o["preRemainTime"] = t.preRemainTime;
    o["exportType"] = t.exportType;
    o["wmvProfile"] = t.wmvProfile;
    o["wmvPercent"] = t.wmvPercent;
    o["failed"] = t.failed;
    o["failureReason"] = t.failureReason;
    o["failureKind"] = int(t.failureKind);
    o["stopped"] = t.stopped;
    o["outputPath"] = t.outputPath;
    o["doneSignature"] = t.doneSignature;
    o["warning"] = t.warning;
    if (!t.change.isEmpty())
        o["change"] = t.change;
    o["logPath"] = t.logPath;
    if (t.audioTrack > 0)
        o["audioTrack"] = t.audioTrack;
    if (t.subtitleTrack > 0)
        o["subtitleTrack"] = t.subtitleTrack;
    if (!t.subtitleFile.isEmpty())
        o["subtitleFile"] = t.subtitleFile;
    return o;
}

// Readers of untrusted values: the wrong type gives the default, numbers are clamped.
int32_t intOf(const QJsonObject& o, const char* key, int32_t fallback, int32_t low, int32_t high)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return fallback;
    return int32_t(std::clamp(std::trunc(v.toDouble()), double(low), double(high)));
}

int32_t flagOf(const QJsonObject& o, const char* key)
{
    return intOf(o, key, 0, 0, 1);
}

double doubleOf(const QJsonObject& o, const char* key, double low, double high)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return 0.0;
    return std::clamp(v.toDouble(), low, high);
}

double secondsOf(const QJsonObject& o, const char* key)
{
    return doubleOf(o, key, 0.0, kLongestSeconds);
}

QString textOf(const QJsonObject& o, const char* key, int limit = kTextLimit)
{
    // A cut never leaves half of a character.
    return cutText(o.value(QLatin1String(key)).toString(), limit);
}

Task fromJson(const QJsonObject& o)
{
    Task t;
    t.sourcePath = textOf(o, "sourcePath");
    t.startTime = secondsOf(o, "startTime");
    t.endTime = std::max(t.startTime, secondsOf(o, "endTime"));
    t.title = textOf(o, "title", kTitleLimit);
    t.videoType = intOf(o, "videoType", t.videoType, 0, 1);
    t.videoSize = intOf(o, "videoSize", t.videoSize, 0, 1);
    t.frameRate = intOf(o, "frameRate", t.frameRate, 0, 0);
    t.videoBitrate = intOf(o, "videoBitrate", t.videoBitrate, 0, 5);
    t.aspect = intOf(o, "aspect", t.aspect, 0, 1);
    t.channels = intOf(o, "channels", t.channels, 0, 1);
    t.audioBitrate = intOf(o, "audioBitrate", t.audioBitrate, 0, 13);
    t.sampleRate = intOf(o, "sampleRate", t.sampleRate, 0, 7);
    t.volume = intOf(o, "volume", t.volume, 0, 7);
    t.mp4Profile = intOf(o, "mp4Profile", 0, 0, 9999);
    t.exportName = textOf(o, "exportName", kTitleLimit);
    t.finished = flagOf(o, "finished");
    t.outputKB = intOf(o, "outputKB", 0, 0, INT32_MAX);
    t.encodeSpeed = doubleOf(o, "encodeSpeed", 0.0, 1e6);
    t.encodedTime = secondsOf(o, "encodedTime");
    // Derived from the path, as when the Task was made.
    t.isRealMedia = isRealMediaPath(t.sourcePath) ? 1 : 0;
    t.intermediatePath = textOf(o, "intermediatePath");
    t.preState = intOf(o, "preState", 0, 0, 2);
    t.preDone = flagOf(o, "preDone");
    t.prePosition = secondsOf(o, "prePosition");
    t.prePercent = doubleOf(o, "prePercent", 0.0, 100.0);
    t.preRemainTime = secondsOf(o, "preRemainTime");
    t.exportType = intOf(o, "exportType", 0, 0, 1);
    t.wmvProfile = intOf(o, "wmvProfile", 0, 0, 9999);
    t.wmvPercent = intOf(o, "wmvPercent", 0, 0, kWmvDone);
    t.failed = flagOf(o, "failed");
    t.failureReason = textOf(o, "failureReason");
    t.failureKind =
        FailureKind(intOf(o, "failureKind", 0, int(FailureKind::None), int(FailureKind::DiskFull)));
    t.stopped = flagOf(o, "stopped");
    t.outputPath = textOf(o, "outputPath");
    t.doneSignature = textOf(o, "doneSignature", 8 * kTextLimit);
    t.warning = textOf(o, "warning");
    t.change = textOf(o, "change");
    t.logPath = textOf(o, "logPath");
    t.audioTrack = intOf(o, "audioTrack", 0, 0, 999);
    t.subtitleTrack = intOf(o, "subtitleTrack", 0, 0, 999);
    t.subtitleFile = textOf(o, "subtitleFile");

    // The program ended in the middle of this Task's conversion: nothing runs it now.
    const bool done = conversionFinished(t);
    const bool begun = t.exportType == 0
                           ? (t.encodedTime > 0.0 || t.outputKB > 0 || t.preState != 0)
                           : t.wmvPercent > 0;
    if (!done && !t.failed && begun) {
        t.stopped = 1;
        if (t.preState == 1)
            t.preState = 0;
    }
    return t;
}

// `path`, or "path-2", "path-3", ... : the first name nothing holds (a link included).
QString freeName(const QString& path)
{
    QString name = path;
    for (int n = 2; QFileInfo(name).exists() || QFileInfo(name).isSymLink(); ++n)
        name = path + QStringLiteral("-%1").arg(n);
    return name;
}

} // namespace

QString userTaskListPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/trelvo-converter/tasks.json");
}

bool saveTaskList(const TaskList& tasks, const QString& path, QString* error)
{
    QJsonArray list;
    for (int i = 0; i < tasks.size(); ++i)
        list.append(toJson(tasks.get(i)));
    QJsonObject root;
    root["version"] = kFormatVersion;
    root["tasks"] = list;

    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail(QStringLiteral("cannot make the folder of %1").arg(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return fail(file.errorString());
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

TaskListLoad loadTaskList(const QString& path)
{
    TaskListLoad result;
    auto fail = [&result](const QString& why) {
        result.ok = false;
        result.error = why;
        result.tasks.removeAll();
        return result;
    };
    QString error;
    bool missing = false;
    const std::optional<QByteArray> read =
        readRegularFile(path, kTaskListFileLimit, &error, &missing);
    if (missing)
        return result;
    if (!read)
        return fail(error);
    const QByteArray& bytes = *read;

    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (doc.isNull())
        return fail(parseError.errorString());
    if (!doc.isObject())
        return fail(QStringLiteral("not a task list"));
    const QJsonObject root = doc.object();
    const QJsonValue version = root.value(QLatin1String("version"));
    if (!version.isDouble() || version.toDouble() != kFormatVersion)
        return fail(QStringLiteral("not a task list of a known version"));
    const QJsonValue list = root.value(QLatin1String("tasks"));
    if (!list.isArray())
        return fail(QStringLiteral("not a task list"));
    const QJsonArray array = list.toArray();
    if (array.size() > kTaskListTaskLimit)
        return fail(QStringLiteral("more than %1 tasks").arg(kTaskListTaskLimit));
    for (const QJsonValue& entry : array) {
        if (!entry.isObject())
            return fail(QStringLiteral("a task is not an object"));
        result.tasks.add(fromJson(entry.toObject()));
    }
    return result;
}

TaskListRestore restoreTaskList(const QString& path)
{
    TaskListRestore result;
    TaskListLoad load = loadTaskList(path);
    if (!load.ok) {
        const QString aside =
            freeName(path + QStringLiteral(".damaged-") +
                     QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")));
        const bool moved = QFile::rename(path, aside);
        result.message =
            moved ? QStringLiteral("The list of files from the last session could not be read "
                                   "(%1).\nIt was kept as %2, and the list starts empty.")
                        .arg(load.error, aside)
                  : QStringLiteral("The list of files from the last session could not be read "
                                   "(%1), and the list starts empty.")
                        .arg(load.error);
        return result;
    }
    result.tasks = std::move(load.tasks);
    for (int i = 0; i < result.tasks.size(); ++i) {
        Task task = result.tasks.get(i);
        if (!QFileInfo::exists(task.sourcePath) && markSourceMissing(task))
            result.tasks.set(i, task);
    }
    return result;
}

namespace {

constexpr int kSaveCheckMs = 500;
constexpr qint64 kBusySaveMs = 5000;

} // namespace

TaskListKeeper::TaskListKeeper(TaskList& tasks, QString path)
    : m_tasks(tasks), m_path(std::move(path))
{
    m_timer.setInterval(kSaveCheckMs);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_busy && m_busy() && m_lastSave.isValid() && m_lastSave.elapsed() < kBusySaveMs)
            return;
        saveIfChanged();
    });
}

QString TaskListKeeper::restore(std::function<bool()> busy)
{
    m_busy = std::move(busy);
    TaskListRestore restored = restoreTaskList(m_path);
    m_tasks = std::move(restored.tasks);
    m_savedChanges = m_tasks.changeCount();
    m_lastSave.start();
    m_timer.start();
    return restored.message;
}

void TaskListKeeper::saveIfChanged()
{
    if (m_path.isEmpty() || m_tasks.changeCount() == m_savedChanges)
        return;
    m_lastSave.start();
    QString error;
    const bool saved = saveTaskList(m_tasks, m_path, &error);
    // Said once, not every half second: the next change tries again quietly.
    m_savedChanges = m_tasks.changeCount();
    if (!saved)
        qWarning("The list of files could not be saved to %s: %s", qUtf8Printable(m_path),
                 qUtf8Printable(error));
}

void TaskListKeeper::attach(BatchDriver& driver)
{
    QObject::connect(&driver, &BatchDriver::batchStarted, &m_timer, [this] { saveIfChanged(); });
    QObject::connect(&driver, &BatchDriver::taskEnded, &m_timer, [this] { saveIfChanged(); });
}

std::unique_ptr<QLockFile> lockTaskList(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    // Held for the whole run: stale only when its program is gone, never by age.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}
