#include "common/qtprinters.h"
#include "engine/task.h"

#include <gtest/gtest.h>

TEST(Task, BaseNameAndRealMediaRules)
{
    struct Case
    {
        const char* path;
        const char* base;
        int realMedia;
    };
    const Case cases[] = {
        {"/video/clip.rmvb", "clip", 1},
        {"/video/clip.rm", "clip", 1},
        {"/video/clip.RM", "clip", 1}, // files from Windows often shout
        {"/video/clip.storm", "clip", 0},
        {"/video/clip.rm.avi", "clip.rm", 0},
        {"/rm/clip.avi", "clip", 0},
        {"/video/clip.avi", "clip", 0},
        {"/video/my.holiday.mov", "my.holiday", 0},
        {"/video/clip", "", 0},       // no "." after the last "/"
        {"/vi.deo/clip", "", 0},      // a "." only in the folder part
        {"/home/rmuser/clip", "", 0}, // a name without extension is never RealMedia
        {"/home/norman/clip", "", 0},
        {"storm", "", 0},
        {"/video/.rm", "", 1},
        {"/video/.hidden", "", 0},
        {"clip.rm", "clip", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(taskBaseName(c.path), QString::fromUtf8(c.base));
        EXPECT_EQ(isRealMediaPath(c.path), c.realMedia);
    }
}

TEST(Task, CreationValues)
{
    const Task t = makeTask("/video/clip.rmvb", 61.5, 1, 2);
    EXPECT_EQ(t.sourcePath, "/video/clip.rmvb");
    EXPECT_EQ(t.startTime, 0.0);
    EXPECT_EQ(t.endTime, 61.5);
    EXPECT_EQ(t.title, "clip");
    EXPECT_EQ(t.exportName, "clip");
    EXPECT_EQ(t.videoType, 1);
    EXPECT_EQ(t.videoSize, 0);
    EXPECT_EQ(t.frameRate, 0);
    EXPECT_EQ(t.videoBitrate, 3);
    EXPECT_EQ(t.aspect, 0);
    EXPECT_EQ(t.channels, 1);
    EXPECT_EQ(t.audioBitrate, 4);
    EXPECT_EQ(t.sampleRate, 2);
    EXPECT_EQ(t.volume, 1);
    EXPECT_EQ(t.mp4Profile, 0);
    EXPECT_EQ(t.isRealMedia, 1);
    EXPECT_EQ(t.exportType, 1);
    EXPECT_EQ(t.wmvProfile, 2);
    EXPECT_EQ(t.finished + t.outputKB + t.preState + t.preDone + t.wmvPercent + t.failed, 0);
    EXPECT_TRUE(t.intermediatePath.isEmpty());
}

TEST(Task, ListOperationsKeepOrder)
{
    TaskList list;
    EXPECT_EQ(list.add(makeTask("/a.avi", 1, 0, 0)), 0);
    EXPECT_EQ(list.add(makeTask("/b.avi", 2, 0, 0)), 1);
    EXPECT_EQ(list.add(makeTask("/c.avi", 3, 0, 0)), 2);
    Task copy = list.get(1);
    copy.title = "changed";
    EXPECT_EQ(list.get(1).title, "b"); // reads are copies
    list.set(1, copy);
    EXPECT_EQ(list.get(1).title, "changed");
    list.removeAt(0);
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list.get(0).title, "changed");
    EXPECT_EQ(list.get(1).title, "c");
    EXPECT_FALSE(list.isValidIndex(2));
    EXPECT_FALSE(list.isValidIndex(-1));
    list.removeAll();
    EXPECT_EQ(list.size(), 0);
}

TEST(Task, ProgressResetClearsEveryTraceOfTheLastRun)
{
    TaskList list;
    Task t = makeTask("/a.rm", 10, 0, 0);
    t.finished = 1;
    t.outputKB = 99;
    t.encodeSpeed = 2;
    t.encodedTime = 5;
    t.wmvPercent = 40;
    t.failed = 1;
    t.failureReason = "broken";
    t.warning = "short";
    t.preState = 2;
    t.preDone = 1;
    t.prePercent = 80;
    t.intermediatePath = "/tmp/a_1.avi";
    list.add(t);
    list.add(t);
    QList<int> redrawn;
    resetProgress(list, [&](int row) { redrawn.append(row); });
    EXPECT_EQ(redrawn, (QList<int>{0, 1}));
    const Task r = list.get(1);
    EXPECT_EQ(r.finished, 0);
    EXPECT_EQ(r.outputKB, 0);
    EXPECT_EQ(r.encodeSpeed, 0.0);
    EXPECT_EQ(r.encodedTime, 0.0);
    EXPECT_EQ(r.wmvPercent, 0);
    EXPECT_EQ(r.failed, 0);
    EXPECT_TRUE(r.failureReason.isEmpty());
    EXPECT_TRUE(r.warning.isEmpty());
    // A RealMedia Task waiting its turn shows nothing, not the half of the last run.
    EXPECT_EQ(r.preState, 0);
    EXPECT_EQ(r.preDone, 0);
    EXPECT_EQ(r.prePercent, 0);
    EXPECT_EQ(r.intermediatePath, "/tmp/a_1.avi");
}
