#include "common/qtprinters.h"
#include "engine/batchdriver.h"
#include "engine/batchrig.h"
#include "engine/standins.h"
#include "engine/tasklistfile.h"
#include "engine/tasklog.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

TEST(TaskLog, EveryRunLeavesALogWithItsCommandLineAndOutput)
{
    BatchRig rig;
    StandInApp& app = rig.app;
    TaskList& tasks = rig.tasks;
    BatchDriver& driver = rig.driver;
    QTemporaryDir logs;
    TaskLog log(tasks, logs.path() + "/logs");
    log.attach(driver);

    const int good = app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    const int failing = app.addProfile("failing.sh", scripts::kFailing, "\"$OUTPUT_FILE\"");
    QDir().mkpath(app.path("v"));
    for (const char* name : {"ok", "bad"}) {
        QFile source(app.path(QString("v/%1.avi").arg(name)));
        source.open(QIODevice::WriteOnly);
        source.write("stand-in source");
        Task task = makeTask(source.fileName(), 10, 0, 0);
        task.mp4Profile = QString(name) == "ok" ? good : failing;
        task.startTime = 5.6;
        task.endTime = 9.98;
        tasks.add(task);
    }
    driver.startConverting(rig.folder);
    QElapsedTimer timer;
    timer.start();
    while (driver.converting() && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    const Task ok = tasks.get(0);
    const Task bad = tasks.get(1);
    ASSERT_EQ(bad.failed, 1);
    ASSERT_FALSE(ok.logPath.isEmpty());
    ASSERT_FALSE(bad.logPath.isEmpty());
    EXPECT_NE(ok.logPath, bad.logPath);
    EXPECT_TRUE(ok.logPath.startsWith(logs.path() + "/logs/"));

    const QString okText = readAll(ok.logPath);
    EXPECT_TRUE(okText.contains("Command line: ./good.sh \"" + app.out() + "/ok.mp4\""))
        << okText.toStdString();
    EXPECT_TRUE(okText.contains("time=")) << okText.toStdString(); // the encoder's progress
    // The trim as the list's Begin and End cells show it.
    EXPECT_TRUE(okText.contains("Trim: 00:00:05.6 to 00:00:10\n")) << okText.toStdString();
    EXPECT_TRUE(okText.contains("Finished: " + app.out() + "/ok.mp4"));

    const QString badText = readAll(bad.logPath);
    EXPECT_TRUE(badText.contains("cannot open input")) << badText.toStdString();
    EXPECT_TRUE(badText.contains("Failed: " + bad.failureReason));
}

TEST(TaskLog, OnlyTheNewestLogsAreKept)
{
    QTemporaryDir dir;
    TaskList tasks;
    tasks.add(makeTask("/nowhere/a b*?.avi", 10, 0, 0));
    TaskLog log(tasks, dir.path());
    for (int i = 0; i < 5; ++i) {
        QFile old(dir.path() + QString("/2000010%1-000000-000-old.log").arg(i));
        old.open(QIODevice::WriteOnly);
    }
    QFile other(dir.path() + "/notes.txt"); // not a log: never removed
    other.open(QIODevice::WriteOnly);
    log.taskStarted(0);
    const QString path = tasks.get(0).logPath;
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_FALSE(QFileInfo(path).fileName().contains('*'));
    log.prune(3);
    const QStringList left = QDir(dir.path()).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(left, (QStringList{"20000103-000000-000-old.log", "20000104-000000-000-old.log",
                                 QFileInfo(path).fileName(), "notes.txt"}));
}

// A crash in the middle of a batch loses neither the files added just before Start nor
// what the Tasks that ended had reached, though the list is otherwise written only
// every few seconds while a batch runs.
TEST(TaskListKeeper, SavesWhenABatchStartsAndWhenATaskEnds)
{
    BatchRig rig;
    QTemporaryDir dir;
    const QString path = dir.path() + "/tasks.json";
    TaskListKeeper keeper(rig.tasks, path);
    keeper.restore([&rig] { return rig.driver.converting(); });
    keeper.attach(rig.driver);
    const int good = rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.addMp4("a", good);
    rig.addMp4("b", good);
    std::vector<bool> savedFinished;
    QObject::connect(&rig.driver, &BatchDriver::taskEnded, [&](int index) {
        savedFinished.push_back(conversionFinished(loadTaskList(path).tasks.get(index)));
    });
    rig.driver.startConverting(rig.folder);
    EXPECT_EQ(loadTaskList(path).tasks.size(), 2);
    QElapsedTimer timer;
    timer.start();
    while (rig.driver.converting() && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(savedFinished, std::vector<bool>({true, true}));
}
