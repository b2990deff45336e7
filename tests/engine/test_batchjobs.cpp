// Batches that run several Tasks at once.

#include "common/qtprinters.h"
#include "engine/appsettings.h"
#include "engine/batchdriver.h"
#include "engine/batchrig.h"
#include "engine/clock.h"
#include "engine/progressdisplay.h"
#include "engine/standins.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QSet>
#include <QTimer>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

struct JobsRig : BatchRig
{
    // Tasks running at the moment, and the most there ever were.
    QSet<int> running;
    int mostRunning = 0;
    int mostMediaRunning = 0;
    explicit JobsRig(int jobs)
    {
        driver.setJobs(jobs);
        QObject::connect(&driver, &BatchDriver::taskStarted, [this](int index) {
            running.insert(index);
            mostRunning = std::max(mostRunning, int(running.size()));
        });
        QObject::connect(&driver, &BatchDriver::taskEnded,
                         [this](int index, BatchDriver::TaskResult) { running.remove(index); });
    }
};

} // namespace

TEST(BatchJobs, Mp4AndWmvTasksRunAtOnceWithTheirOwnRowsAndFiles)
{
    JobsRig rig(3);
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.addMp4("a");
    rig.addWmv("w1");
    rig.addWmv("w2"); // waits for the component while w1 converts; "b" goes first
    rig.addMp4("b");
    rig.addMp4("c");
    // Every row's progress lands in its own Task, never in another running one's.
    QHash<int, int> mostKB;
    rig.onChanged = [&](int row) {
        mostKB[row] = std::max(mostKB.value(row), rig.tasks.get(row).outputKB);
    };
    QObject::connect(&rig.media.converter, &MediaConverter::ConversionProgress, [&] {
        rig.mostMediaRunning =
            std::max(rig.mostMediaRunning, rig.media.calls - rig.media.converted);
    });
    rig.run();

    EXPECT_EQ(rig.mostRunning, 3);
    EXPECT_EQ(rig.mostMediaRunning, 1);
    for (int row = 0; row < rig.tasks.size(); ++row)
        EXPECT_EQ(rig.progress(row), "    Finished") << row;
    for (const char* name : {"a.mp4", "b.mp4", "c.mp4", "w1.wmv", "w2.wmv"})
        EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/" + name)) << name;
    EXPECT_EQ(rig.driver.outputOf(3), rig.app.out() + "/b.mp4");
    EXPECT_EQ(rig.tasks.get(4).outputPath, rig.app.out() + "/c.mp4");
    for (int row : {0, 3, 4})
        EXPECT_EQ(mostKB.value(row), 100) << row; // the stand-in's last report: 100 kB
    EXPECT_EQ(rig.host.messages,
              QStringList{"Information|Converting Finished: 5 converted, 0 failed"});
    EXPECT_EQ(rig.host.convertingStates, (QList<bool>{true, false}));
}

TEST(BatchJobs, StopEndsEveryRunningTaskCleanlyAndStartsNoQueuedOne)
{
    JobsRig rig(2);
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.addMp4("first");
    rig.addMp4("second");
    rig.addMp4("third");
    rig.host.shutdown = true;
    rig.onChanged = [&](int) {
        if (rig.driver.converting() && rig.tasks.get(0).outputKB > 0 &&
            rig.tasks.get(1).outputKB > 0)
            rig.driver.stopConverting();
    };
    rig.run();
    EXPECT_EQ(rig.host.messages,
              QStringList{"Information|Converting Stopped: 0 converted, 3 not converted"});
    EXPECT_EQ(rig.progress(0), "    Stopped");
    EXPECT_EQ(rig.progress(1), "    Stopped");
    EXPECT_EQ(rig.progress(2), "");
    EXPECT_EQ(rig.power.powerOffCalls, 0);
    rig.driver.waitForEncoders();
    EXPECT_EQ(rig.driver.runningEncoders(), 0);
    for (const QString name : {"first", "second"}) {
        EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/" + name + ".mp4.quit"))
            << name.toStdString();
        EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/" + name + ".mp4")) << name.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(rig.app.out() + "/third.mp4"));
}

TEST(BatchJobs, TasksWithOneTitleStartingTogetherGetTheirOwnNames)
{
    // An encoder that makes its file only at the end: the name the other run chose a
    // moment ago is not on the disk yet, and must count as taken all the same.
    JobsRig rig(3);
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    for (int i = 0; i < 3; ++i) {
        rig.addMp4("src" + QString::number(i));
        Task t = rig.tasks.get(i);
        t.title = t.exportName = "Holiday";
        rig.tasks.set(i, t);
    }
    rig.run();
    EXPECT_EQ(rig.mostRunning, 3);
    const QStringList expected{"/Holiday.mp4", "/Holiday_2.mp4", "/Holiday_3.mp4"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rig.driver.outputOf(i), rig.app.out() + expected[i]);
        EXPECT_TRUE(QFileInfo::exists(rig.app.out() + expected[i]));
    }
}

TEST(BatchJobs, AFailingTaskFreesItsSlotForTheNext)
{
    JobsRig rig(2);
    const int good = rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    const int failing = rig.app.addProfile("failing.sh", scripts::kFailing, "\"$OUTPUT_FILE\"");
    rig.addMp4("a", failing);
    rig.addMp4("b", 17); // no such Profile: fails before any encoder
    rig.addMp4("c", good);
    rig.addMp4("d", good);
    rig.run();
    EXPECT_TRUE(rig.progress(0).startsWith("    Failed"));
    EXPECT_TRUE(rig.progress(1).startsWith("    Failed"));
    EXPECT_EQ(rig.progress(2), "    Finished");
    EXPECT_EQ(rig.progress(3), "    Finished");
    EXPECT_EQ(rig.host.messages, QStringList{"Warning|Converting Finished: 2 converted, 2 failed"});
}

TEST(BatchJobs, APreConversionMeasuresItsSpeedFromItsOwnStart)
{
    // A RealMedia Task pre-converts in one slot while the other slot's encoders come and
    // go: the start of "b" must not shorten the pre-conversion's measured time (which
    // made its remaining time collapse).
    JobsRig rig(2);
    // The component's conversion never ends by itself: the test tells how far it came.
    rig.media.completeAfterMs = -1;
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.tasks.add(makeTask(rig.source("clip.rm"), 100, 0, 0));
    rig.addMp4("a");
    rig.addMp4("b");
    uint32_t preStart = 0;
    double expectedRemain = -1;
    QList<TaskState> states;
    QObject::connect(&rig.driver, &BatchDriver::taskStarted, [&](int index) {
        if (index == 0)
            preStart = tickCount();
        if (index == 1) {
            states << rig.driver.taskState(0) << rig.driver.taskState(2);
        }
    });
    QObject::connect(&rig.driver, &BatchDriver::encoderStarted, [&](int index) {
        if (index != 2)
            return;
        states << rig.driver.taskState(0);
        QTimer::singleShot(100, [&] {
            const double position = 21, total = 100;
            const uint32_t elapsed = tickCount() - preStart;
            expectedRemain = (total - position) / (position * 1000.0 / elapsed);
            emit rig.media.converter.ConversionProgress(position, total);
            rig.media.converter.finishNow();
        });
    });
    QObject::connect(&rig.media.converter, &MediaConverter::ConversionProgress, [&] {
        if (rig.tasks.get(0).preState == 1)
            states << rig.driver.taskState(0);
    });
    double remain = -1;
    rig.onChanged = [&](int row) {
        if (row == 0 && rig.tasks.get(0).preState == 1 && rig.tasks.get(0).prePosition > 0)
            remain = rig.tasks.get(0).preRemainTime;
    };
    rig.run();
    ASSERT_GT(expectedRemain, 79 * 0.5 / 21); // "a" ran for at least half a second
    EXPECT_NEAR(remain, expectedRemain, 0.05);
    EXPECT_EQ(states, (QList<TaskState>{TaskState::PreConverting, TaskState::Waiting,
                                        TaskState::PreConverting, TaskState::PreConverting}));
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(rig.progress(row), "    Finished") << row;
}

TEST(BatchJobs, DefaultFollowsTheCores)
{
    const std::pair<int, int> cases[] = {{0, 1}, {1, 1}, {2, 1},  {3, 1},
                                         {4, 2}, {8, 4}, {16, 8}, {64, 8}};
    for (const auto& [cores, jobs] : cases)
        EXPECT_EQ(defaultJobs(cores), jobs) << cores;
}
