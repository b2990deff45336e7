#include "common/qtprinters.h"
#include "engine/taskedits.h"

#include <gtest/gtest.h>

TEST(TaskEdits, TitlesAreCutBetweenCharacters)
{
    const QString a254(254, u'a');
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");             // one surrogate pair
    const QString eAccent = QString::fromUtf8("e\xCC\x81");                 // e + combining acute
    const QString family = QString::fromUtf8("\xF0\x9F\x91\xA9\xE2\x80\x8D" // woman ZWJ girl
                                             "\xF0\x9F\x91\xA7");
    struct Case
    {
        const char* what;
        QString title;
        QString kept;
    };
    const Case cases[] = {
        {"fits", QString(255, u'a'), QString(255, u'a')},
        {"pair across the limit", a254 + face + "b", a254},
        {"accent across the limit", a254 + eAccent, a254},
        {"pair before the limit", QString(253, u'a') + face + "b", QString(253, u'a') + face},
        {"emoji sequence across the limit", QString(250, u'a') + family + family,
         QString(250, u'a') + family},
        // Nothing is left out whole then: the cut falls at the limit.
        {"one cluster longer than the limit", "e" + QString(300, QChar(0x301)),
         "e" + QString(254, QChar(0x301))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Task task = makeTask("/v/clip.avi", 10.0, 0, 0);
        EXPECT_TRUE(setTaskTitle(task, c.title));
        EXPECT_EQ(task.title, c.kept);
        EXPECT_EQ(task.exportName, c.kept);
        EXPECT_LE(task.title.size(), kTitleLimit);
        EXPECT_FALSE(task.title.back().isHighSurrogate());
    }
}

// The recorded output name goes when the next conversion would write another file, and
// only then: repeating what the Task already holds (as showing it in the window does)
// keeps it.
TEST(TaskEdits, OnlyANewNameOrTypeForgetsTheWrittenFile)
{
    const QString written = "/out/clip.mp4";
    Task task = makeTask("/v/clip.avi", 60.0, 0, 0);
    task.outputPath = written;
    EXPECT_FALSE(setTaskExportType(task, 0));
    EXPECT_FALSE(setTaskTitle(task, "clip"));
    EXPECT_TRUE(setTaskTrim(task, 5.0, 50.0, 60.0));
    EXPECT_TRUE(setTaskSetting(task, TaskSetting::Volume, 3));
    EXPECT_TRUE(setTaskMp4Profile(task, 2));
    EXPECT_TRUE(setTaskWmvProfile(task, 1));
    EXPECT_EQ(task.outputPath, written);

    Task retitled = task;
    EXPECT_TRUE(setTaskTitle(retitled, "Holiday"));
    EXPECT_TRUE(retitled.outputPath.isEmpty());
    Task retyped = task;
    EXPECT_TRUE(setTaskExportType(retyped, 1));
    EXPECT_TRUE(retyped.outputPath.isEmpty());
}

TEST(TaskEdits, TrimStaysInsideTheSource)
{
    struct Case
    {
        double start, end, duration;
        double keptStart, keptEnd;
    };
    const Case cases[] = {
        {-3.0, 80.0, 60.0, 0.0, 60.0},
        {40.0, 20.0, 60.0, 40.0, 40.0}, // never an end before the start
        {5.0, 9.0, 0.0, 0.0, 0.0},      // a length that cannot be read holds nothing
    };
    for (const Case& c : cases) {
        Task task = makeTask("/v/clip.avi", c.duration, 0, 0);
        setTaskTrim(task, c.start, c.end, c.duration);
        EXPECT_EQ(task.startTime, c.keptStart) << c.start << " " << c.end;
        EXPECT_EQ(task.endTime, c.keptEnd) << c.start << " " << c.end;
    }
}
