#include "common/qtprinters.h"
#include "engine/encoderoutputparser.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

struct ParseRun
{
    TaskList tasks;
    int finishRequests = 0;
    QList<int> redrawn;
    ParseHooks hooks;

    explicit ParseRun(Task task)
    {
        tasks.add(task);
        hooks.runStartTick = 1000;
        hooks.now = 3000;
        hooks.finishEarly = [this] { ++finishRequests; };
        hooks.redrawProgress = [this](int row) { redrawn.append(row); };
    }
    Task parse(const char* chunk)
    {
        parseEncoderOutput(chunk, 0, tasks, hooks);
        return tasks.get(0);
    }
};

Task plainTask()
{
    return makeTask("/v/clip.avi", 100, 0, 0);
}

} // namespace

TEST(EncoderOutput, ReadsSizeAndTime)
{
    struct Case
    {
        const char* chunk;
        int outputKB;
        double encodedTime;
    };
    const Case cases[] = {
        {"frame=  123 fps= 45 size=     256kB time=4.10 bitrate= 511.5kbits/s", 256, 4.10},
        {"size=     123kB time=83.45", 123, 83.45},
        {"size=    1024kB time=123.45 ", 1024, 123.4}, // only five characters of the time count
        {"size=    2048kB time=1234.56", 2048, 1234},
        {"size=    2048kB time=00:01:23.45", 2048, 0}, // hours and minutes are not this grammar
        {"size=   abc", 0, 0},                         // a number that does not convert gives 0
        {"size=       7kB time=xx.yy", 7, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chunk);
        ParseRun run(plainTask());
        const Task t = run.parse(c.chunk);
        EXPECT_EQ(t.outputKB, c.outputKB);
        EXPECT_DOUBLE_EQ(t.encodedTime, c.encodedTime);
    }
}

TEST(EncoderOutput, ShortOrMissingFieldsKeepTheOldValues)
{
    Task start = plainTask();
    start.outputKB = 50;
    start.encodedTime = 7.5;
    start.encodeSpeed = 1.5;
    const char* chunks[] = {"time=1", "size=  12", "Stream #0:0: Video: h264", "", "time=12"};
    for (const char* chunk : chunks) {
        SCOPED_TRACE(chunk);
        ParseRun run(start);
        const Task t = run.parse(chunk);
        EXPECT_EQ(t.outputKB, 50);
        EXPECT_EQ(t.encodedTime, 7.5);
        EXPECT_EQ(t.encodeSpeed, 1.5);
        EXPECT_EQ(run.redrawn, QList<int>{0}); // redrawn all the same
    }
}

TEST(EncoderOutput, OnlyTheFirstReportOfAChunkCounts)
{
    ParseRun run(plainTask());
    const Task t =
        run.parse("size=     100kB time=10.00 bitrate=1\rsize=     200kB time=20.00 bitrate=1\r");
    EXPECT_EQ(t.outputKB, 100);
    EXPECT_EQ(t.encodedTime, 10.0);
}

TEST(EncoderOutput, SpeedIsMediaSecondsPerWallSecond)
{
    ParseRun run(plainTask());
    EXPECT_DOUBLE_EQ(run.parse("size=     100kB time=10.00").encodeSpeed, 5.0); // 10 s in 2 s
    EXPECT_EQ(run.parse("size=     100kB time=0.00").encodeSpeed, 0.0);
    run.hooks.now = run.hooks.runStartTick; // same millisecond: no speed yet, not infinity
    EXPECT_EQ(run.parse("size=     100kB time=3.00").encodeSpeed, 0.0);
    run.hooks.now = run.hooks.runStartTick + 2000;
    const Task huge = run.parse("size=     100kB time=1e308"); // a finite time, an endless speed
    EXPECT_EQ(huge.encodeSpeed, 0.0);
    EXPECT_TRUE(std::isfinite(huge.encodedTime));
    run.hooks.runStartTick = 0xFFFFFF00u; // the tick count wrapped during the run
    run.hooks.now = 0x00000100u;
    EXPECT_DOUBLE_EQ(run.parse("size=     100kB time=5.12").encodeSpeed, 10.0);
}

TEST(EncoderOutput, RealMediaEndsOnceTheTrimmedLengthIsEncoded)
{
    Task rm = makeTask("/v/clip.rm", 90, 0, 0);
    rm.startTime = 30;
    rm.endTime = 90; // trimmed to 60 s
    struct Case
    {
        const char* chunk;
        int finishRequests;
    };
    const Case cases[] = {
        {"size=     512kB time=60.00", 1},
        {"size=     512kB time=59.99", 0},
        {"size=       0kB time=75.00", 0}, // nothing written yet: never ended early
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chunk);
        ParseRun run(rm);
        const Task t = run.parse(c.chunk);
        EXPECT_EQ(run.finishRequests, c.finishRequests);
        EXPECT_GT(t.encodedTime, 0); // the time is stored either way
    }
    ParseRun notRm(plainTask());
    notRm.parse("size=     512kB time=99.00");
    EXPECT_EQ(notRm.finishRequests, 0);
}
