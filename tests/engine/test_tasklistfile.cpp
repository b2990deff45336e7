#include "common/qtprinters.h"
#include "engine/tasklistfile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <limits>

namespace {

QString writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every field of the Task that the file keeps, as one comparable text.
QString settingsAndState(const Task& t)
{
    return QStringList{conversionSignature(t),
                       QString::number(t.finished),
                       QString::number(t.outputKB),
                       QString::number(t.encodeSpeed, 'g', 17),
                       QString::number(t.encodedTime, 'g', 17),
                       QString::number(t.isRealMedia),
                       t.intermediatePath,
                       QString::number(t.preState),
                       QString::number(t.preDone),
                       QString::number(t.prePercent, 'g', 17),
                       QString::number(t.wmvPercent),
                       QString::number(t.failed),
                       t.failureReason,
                       QString::number(int(t.failureKind)),
                       QString::number(t.stopped),
                       t.outputPath,
                       t.doneSignature,
                       t.warning}
        .join('|');
}

void expectSameTask(const Task& a, const Task& b)
{
    EXPECT_EQ(a.sourcePath, b.sourcePath);
    EXPECT_EQ(a.startTime, b.startTime);
    EXPECT_EQ(a.endTime, b.endTime);
    EXPECT_EQ(a.title, b.title);
    EXPECT_EQ(a.exportName, b.exportName);
    EXPECT_EQ(settingsAndState(a), settingsAndState(b));
}

} // namespace

class TaskListFile : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path() const { return dir.path() + "/data/trelvo-converter/tasks.json"; }
    // A source that exists, so that restoring does not mark it missing.
    QString source(const QString& name) const
    {
        return writeFile(dir.path() + "/" + name, "video");
    }
};

TEST_F(TaskListFile, EveryKindOfTaskComesBackAsItWas)
{
    TaskList tasks;
    Task mp4 = makeTask(source("clip.avi"), 61.25, 0, 0);
    mp4.mp4Profile = 2;
    mp4.videoType = 0;
    mp4.videoBitrate = 5;
    mp4.sampleRate = 7;
    tasks.add(mp4);

    Task wmv = makeTask(source("talk.wmv"), 30.0, 1, 2);
    tasks.add(wmv);

    Task real = makeTask(source("old.rmvb"), 600.0, 0, 0);
    real.intermediatePath = dir.path() + "/old.avi";
    real.preState = 2;
    real.preDone = 1;
    real.prePercent = 100.0;
    real.finished = 1;
    real.encodedTime = 600.0;
    tasks.add(real);

    Task finished = makeTask(source("done.mov"), 12.5, 0, 1);
    finished.finished = 1;
    finished.outputKB = 2048;
    finished.encodedTime = 12.5;
    finished.encodeSpeed = 3.25;
    finished.outputPath = dir.path() + "/out/done.mp4";
    finished.doneSignature = conversionSignature(finished);
    finished.warning = "The source ended at 00:00:12";
    tasks.add(finished);

    Task failed = makeTask(source("bad.mpg"), 9.0, 0, 0);
    failed.failed = 1;
    failed.failureKind = FailureKind::OutputUnwritable;
    failed.failureReason = "No space left on device";
    tasks.add(failed);

    Task trimmed = makeTask(source("Ünïcödé ✓ 映画.avi"), 100.0, 0, 0);
    trimmed.startTime = 1.5;
    trimmed.endTime = 42.125;
    trimmed.title = trimmed.exportName = QString::fromUtf8("Café \"quoted\" 映画 🎬");
    tasks.add(trimmed);

    Task chosen = makeTask(source("film.mkv"), 90.0, 0, 0);
    chosen.audioTrack = 2;
    chosen.subtitleFile = dir.path() + "/film.srt";
    tasks.add(chosen);
    Task subtitled = makeTask(source("anime.mkv"), 90.0, 0, 0);
    subtitled.subtitleTrack = 3;
    tasks.add(subtitled);

    QString error;
    ASSERT_TRUE(saveTaskList(tasks, path(), &error)) << error.toStdString();
    const TaskListRestore restored = restoreTaskList(path());
    EXPECT_TRUE(restored.message.isEmpty());
    ASSERT_EQ(restored.tasks.size(), tasks.size());
    for (int i = 0; i < tasks.size(); ++i) {
        SCOPED_TRACE(i);
        expectSameTask(restored.tasks.get(i), tasks.get(i));
    }
    EXPECT_TRUE(isConverted(restored.tasks.get(3)));

    // An empty list is a list too, and saving again replaces the file whole.
    ASSERT_TRUE(saveTaskList(TaskList(), path()));
    EXPECT_EQ(restoreTaskList(path()).tasks.size(), 0);
}

TEST_F(TaskListFile, NoFileIsAnEmptyListWithoutMessage)
{
    const TaskListRestore restored = restoreTaskList(path());
    EXPECT_EQ(restored.tasks.size(), 0);
    EXPECT_TRUE(restored.message.isEmpty());
    EXPECT_FALSE(QDir(dir.path() + "/data").exists());
}

TEST_F(TaskListFile, AVanishedSourceStaysInTheListMarkedMissing)
{
    TaskList tasks;
    tasks.add(makeTask(source("here.avi"), 10.0, 0, 0));
    tasks.add(makeTask(dir.path() + "/gone.avi", 10.0, 0, 0));
    ASSERT_TRUE(saveTaskList(tasks, path()));

    const TaskListRestore restored = restoreTaskList(path());
    ASSERT_EQ(restored.tasks.size(), 2);
    EXPECT_EQ(restored.tasks.get(0).failed, 0);
    const Task gone = restored.tasks.get(1);
    EXPECT_EQ(gone.sourcePath, dir.path() + "/gone.avi");
    EXPECT_EQ(gone.failed, 1);
    EXPECT_EQ(gone.failureKind, FailureKind::SourceMissing);
}

TEST_F(TaskListFile, ADamagedFileIsSetAsideAndTheListStartsEmpty)
{
    const QByteArray good = QByteArray("{\"version\":1,\"tasks\":[{\"sourcePath\":\"/a.avi\"}]}");
    const QByteArray damaged[] = {
        QByteArray("{\"version\":1,\"tasks\":[{\"sourcePath\":\"/a.av"), // cut short
        QByteArray("\0\0\0\0", 4),                                       // zeros after a power cut
        QByteArray("[1,2,3]"),
        QByteArray("{\"version\":1,\"tasks\":{}}"),
        QByteArray("{\"version\":1,\"tasks\":[1]}"),
        QByteArray("{\"version\":99,\"tasks\":[]}"),
        QByteArray("{\"tasks\":[]}"),
    };
    ASSERT_TRUE(loadTaskList(writeFile(dir.path() + "/good.json", good)).ok);
    int n = 0;
    for (const QByteArray& bytes : damaged) {
        SCOPED_TRACE(n);
        QTemporaryDir own;
        const QString file = writeFile(own.path() + "/tasks.json", bytes);
        EXPECT_FALSE(loadTaskList(file).ok);
        const TaskListRestore restored = restoreTaskList(file);
        EXPECT_EQ(restored.tasks.size(), 0);
        EXPECT_FALSE(restored.message.isEmpty());
        EXPECT_FALSE(QFile::exists(file));
        const QStringList aside = QDir(own.path()).entryList({"tasks.json.damaged-*"}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(readFile(own.path() + "/" + aside.front()), bytes);
        EXPECT_TRUE(restored.message.contains(aside.front())) << restored.message.toStdString();
        ++n;
    }

    // The name it is set aside under is taken already: another is found, nothing is lost.
    QTemporaryDir own;
    const QString file = writeFile(own.path() + "/tasks.json", damaged[0]);
    const QDateTime now = QDateTime::currentDateTime();
    for (const QDateTime& at : {now, now.addSecs(1)}) // the clock may tick in between
        writeFile(file + ".damaged-" + at.toString("yyyyMMdd-hhmmss"), "an earlier one");
    const TaskListRestore restored = restoreTaskList(file);
    EXPECT_FALSE(QFile::exists(file));
    const QStringList aside = QDir(own.path()).entryList({"tasks.json.damaged-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 3) << restored.message.toStdString();
    int kept = 0;
    for (const QString& name : aside)
        kept += readFile(own.path() + "/" + name) == "an earlier one";
    EXPECT_EQ(kept, 2) << restored.message.toStdString();
}

TEST_F(TaskListFile, AFailedSaveLeavesTheOldFileWhole)
{
    TaskList tasks;
    tasks.add(makeTask(source("one.avi"), 10.0, 0, 0));
    ASSERT_TRUE(saveTaskList(tasks, path()));
    const QByteArray before = readFile(path());

    // The new file cannot even be begun: its folder is a file.
    tasks.add(makeTask(source("two.avi"), 10.0, 0, 0));
    const QString blocked = writeFile(dir.path() + "/notafolder", "x") + "/tasks.json";
    QString error;
    EXPECT_FALSE(saveTaskList(tasks, blocked, &error));
    EXPECT_FALSE(error.isEmpty());

    // The target itself is a folder: the rename fails after the temporary was written,
    // and neither the folder nor any temporary file is left changed.
    const QString folderTarget = dir.path() + "/target";
    QDir().mkpath(folderTarget + "/inside");
    EXPECT_FALSE(saveTaskList(tasks, folderTarget));
    EXPECT_TRUE(QDir(folderTarget + "/inside").exists());
    EXPECT_EQ(QDir(dir.path()).entryList({"target*"}).size(), 1);

    EXPECT_EQ(readFile(path()), before);
    EXPECT_EQ(restoreTaskList(path()).tasks.size(), 1);
}

TEST_F(TaskListFile, ValuesFromTheFileAreKeptInTheirRanges)
{
    const QString here = source("x.avi");
    const QByteArray json = QString(R"({"version":1,"tasks":[
        {"sourcePath":"%1","startTime":-5,"endTime":1e300,"videoType":7,"videoSize":-3,
         "frameRate":2,"videoBitrate":99,"aspect":"wide","channels":1.9,"audioBitrate":-1,
         "sampleRate":1e20,"volume":-1e20,"mp4Profile":-4,"wmvProfile":123456789,
         "finished":5,"outputKB":-10,"encodeSpeed":-2,"encodedTime":"soon","preState":9,
         "prePercent":250,"exportType":3,"wmvPercent":400,"failed":2,"failureKind":77,
         "title":"%2"},
        {"sourcePath":"%1","startTime":20,"endTime":10,"exportType":1,"wmvPercent":40},
        {"sourcePath":"%1","encodedTime":30,"finished":0},
        {"sourcePath":12,"title":null}
    ]})")
                                .arg(here, QString(300, 'T'))
                                .toUtf8();
    const TaskListLoad load = loadTaskList(writeFile(dir.path() + "/t.json", json));
    ASSERT_TRUE(load.ok) << load.error.toStdString();
    ASSERT_EQ(load.tasks.size(), 4);

    const Task t = load.tasks.get(0);
    EXPECT_EQ(t.startTime, 0.0);
    EXPECT_TRUE(std::isfinite(t.endTime));
    EXPECT_LE(t.endTime, 36'000'000.0);
    EXPECT_EQ(t.videoType, 1);
    EXPECT_EQ(t.videoSize, 0);
    EXPECT_EQ(t.frameRate, 0);
    EXPECT_EQ(t.videoBitrate, 5);
    EXPECT_EQ(t.aspect, 0); // a text where a number belongs: the default
    EXPECT_EQ(t.channels, 1);
    EXPECT_EQ(t.audioBitrate, 0);
    EXPECT_EQ(t.sampleRate, 7);
    EXPECT_EQ(t.volume, 0);
    EXPECT_EQ(t.mp4Profile, 0);
    EXPECT_GE(t.wmvProfile, 0);
    EXPECT_LT(t.wmvProfile, 10000);
    EXPECT_EQ(t.finished, 1);
    EXPECT_EQ(t.outputKB, 0);
    EXPECT_EQ(t.encodeSpeed, 0.0);
    EXPECT_EQ(t.encodedTime, 0.0);
    EXPECT_EQ(t.preState, 2);
    EXPECT_EQ(t.prePercent, 100.0);
    EXPECT_EQ(t.exportType, 1);
    EXPECT_EQ(t.wmvPercent, 100);
    EXPECT_EQ(t.failed, 1);
    EXPECT_EQ(t.failureKind, FailureKind::DiskFull); // the last kind
    EXPECT_EQ(t.title.size(), 255);

    // The end never comes before the start.
    EXPECT_EQ(load.tasks.get(1).startTime, 20.0);
    EXPECT_EQ(load.tasks.get(1).endTime, 20.0);
    // A conversion cut off by the end of the program is shown as stopped, not running.
    EXPECT_EQ(load.tasks.get(1).stopped, 1);
    EXPECT_EQ(load.tasks.get(2).stopped, 1);
    EXPECT_EQ(load.tasks.get(3).sourcePath, QString());
}

TEST_F(TaskListFile, HugeOrHostileFilesAreRefusedQuickly)
{
    // Larger than the limit: refused by its size, without parsing.
    QFile big(dir.path() + "/big.json");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(kTaskListFileLimit + 1));
    big.close();
    EXPECT_FALSE(loadTaskList(big.fileName()).ok);

    // More Tasks than a list may hold.
    QByteArray many = "{\"version\":1,\"tasks\":[";
    for (int i = 0; i <= kTaskListTaskLimit; ++i)
        many += i ? ",{}" : "{}";
    many += "]}";
    EXPECT_FALSE(loadTaskList(writeFile(dir.path() + "/many.json", many)).ok);

    // Nesting deep enough to exhaust a recursive parser.
    const QByteArray deep = QByteArray(200000, '[') + QByteArray(200000, ']');
    EXPECT_FALSE(loadTaskList(writeFile(dir.path() + "/deep.json", deep)).ok);

    // A folder where the file should be.
    QDir().mkpath(dir.path() + "/folder.json");
    EXPECT_FALSE(loadTaskList(dir.path() + "/folder.json").ok);

    // A FIFO nobody writes to would wait for ever; a link to an endless device would
    // fill the memory.
    const QString fifo = dir.path() + "/fifo.json";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(loadTaskList(fifo).ok);
    ASSERT_TRUE(QFile::link("/dev/zero", dir.path() + "/zero.json"));
    EXPECT_FALSE(loadTaskList(dir.path() + "/zero.json").ok);
}

// The keeper writes a change within a second, but while a batch makes its progress
// change the list many times a second, not again within five.
TEST_F(TaskListFile, TheKeeperSavesChangesButSparesTheDiskDuringABatch)
{
    TaskList tasks;
    TaskListKeeper keeper(tasks, path());
    bool busy = false;
    EXPECT_TRUE(keeper.restore([&busy] { return busy; }).isEmpty());
    tasks.add(makeTask(source("a.avi"), 10.0, 0, 0));
    QElapsedTimer waited;
    waited.start();
    while (loadTaskList(path()).tasks.size() != 1 && waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_EQ(loadTaskList(path()).tasks.size(), 1);

    busy = true;
    tasks.add(makeTask(source("b.avi"), 10.0, 0, 0));
    while (waited.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(loadTaskList(path()).tasks.size(), 1);
    keeper.saveIfChanged(); // as the window does when it closes
    EXPECT_EQ(loadTaskList(path()).tasks.size(), 2);
}

TEST(TaskListChanges, EveryChangeMovesTheCounter)
{
    TaskList tasks;
    quint64 last = tasks.changeCount();
    auto moved = [&] {
        const bool did = tasks.changeCount() != last;
        last = tasks.changeCount();
        return did;
    };
    tasks.add(Task());
    EXPECT_TRUE(moved());
    tasks.set(0, Task());
    EXPECT_TRUE(moved());
    (void)tasks.get(0);
    (void)tasks.size();
    EXPECT_FALSE(moved());
    tasks.removeAt(0);
    EXPECT_TRUE(moved());
    tasks.removeAll();
    EXPECT_TRUE(moved());
}
