#include "common/qtprinters.h"
#include "engine/batchprogress.h"
#include "engine/commandexpander.h"
#include "engine/messages.h"
#include "engine/progressdisplay.h"

#include <cmath>

#include <gtest/gtest.h>

namespace {

TaskProgress ask(const Task& task, uint32_t now = 0, uint32_t wmvStart = 0)
{
    return taskProgress(task, now, wmvStart);
}

Task encoding(double encodedTime, int outputKB, double speed)
{
    Task t = makeTask("/v/clip.avi", 200, 0, 0);
    t.encodedTime = encodedTime;
    t.outputKB = outputKB;
    t.encodeSpeed = speed;
    return t;
}

} // namespace

TEST(ProgressCell, TimesAndExportName)
{
    Task t = makeTask("/v/a & b.avi", 3725.9, 0, 0);
    EXPECT_EQ(trimTimeText(59.99), "00:01:00");
    EXPECT_EQ(trimTimeText(t.endTime), "01:02:05.9");
    EXPECT_EQ(exportCellText(t), "a & b.mp4");
    t.exportType = 1;
    EXPECT_EQ(exportCellText(t), "a & b.wmv");
}

// Rounded from the millisecond, so the cells show a fraction whenever there is one;
// whole times look as they always did.
TEST(ProgressCell, BeginAndEndShowTenthsWhenTheTimeIsNotWhole)
{
    const struct
    {
        double time;
        const char* text;
    } cases[] = {
        {5.0, "00:00:05"},
        {5.6, "00:00:05.6"},
        {5.6 - 1e-9, "00:00:05.6"}, // a slider's 5.6 that arrives as 5.5999999
        {13.98, "00:00:14"},        // to the nearest tenth
        {11.69, "00:00:11.7"},
        {0.765, "00:00:00.8"},
        {14.0004, "00:00:14"},
        {20.04, "00:00:20"}, // a source's length, less than a tenth over
        {0.1, "00:00:00.1"},
        {3599.95, "01:00:00"},
        {360000.5, "100:00:00.5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trimTimeText(c.time), c.text) << c.time;
    }
}

TEST(ProgressCell, EncoderRun)
{
    struct Case
    {
        const char* name;
        Task task;
        const char* text;
        int barPos;
    };
    const Case cases[] = {
        {"half way", encoding(100, 2048, 2.0), "    50.50%  2.00MB   Remain Time:00:00:50", 50},
        {"99.75 rises to 100", encoding(198.5, 2048, 2.0),
         "    100.00%  2.00MB   Remain Time:00:00:00", 100},
        {"first 20 s are not scaled", encoding(15, 1024, 2.0),
         "    8.00%  1.00MB   Remain Time:00:03:05", 8},
        {"beyond the length: nothing remains, never a negative time", encoding(205, 1024, 1.0),
         "    100.00%  1.00MB   Remain Time:00:00:00", 100},
        {"no report yet", encoding(0, 0, 0), "", -1},
        {"time but no size", encoding(5, 0, 1), "", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TaskProgress r = ask(c.task);
        EXPECT_EQ(r.text, c.text);
        EXPECT_EQ(r.bar, c.barPos);
    }
    // Trimmed to 50-150 s: the encoder's time counts from the trim's start, over its span.
    Task trimmed = encoding(50, 2048, 2.0);
    trimmed.startTime = 50;
    trimmed.endTime = 150;
    EXPECT_EQ(ask(trimmed).text, "    50.50%  2.00MB   Remain Time:00:00:25");
}

TEST(ProgressCell, FinishedFailedStoppedAndEmptyTrim)
{
    Task t = encoding(100, 2048, 2.0);
    EXPECT_EQ(ask(t).state, TaskState::Converting);
    t.finished = 1;
    TaskProgress r = ask(t);
    EXPECT_EQ(r.text, "    Finished");
    EXPECT_EQ(r.bar, 100);
    EXPECT_EQ(r.state, TaskState::Finished);
    t.failed = 1;
    EXPECT_EQ(ask(t).text, "    Failed"); // no class: the tooltip says why
    t.failureKind = FailureKind::OutputUnwritable;
    r = ask(t);
    EXPECT_EQ(r.text, "    Failed: cannot write the output folder");
    EXPECT_EQ(r.bar, -1); // no full bar that looks finished
    EXPECT_EQ(r.state, TaskState::Failed);
    t.failed = 0;
    t.stopped = 1;
    r = ask(t);
    EXPECT_EQ(r.text, "    Stopped"); // not the percentage it had reached
    EXPECT_EQ(r.bar, -1);
    EXPECT_EQ(r.state, TaskState::Stopped);
    Task empty = encoding(5, 100, 1.0);
    empty.endTime = 0; // trimmed to nothing
    EXPECT_TRUE(ask(empty).text.startsWith("    0.00%"));
}

TEST(ProgressCell, ToolTipsTellWhyATaskFailed)
{
    Task t = makeTask("/videos/long folder/clip.avi", 10, 0, 0);
    EXPECT_EQ(progressToolTip(t), "");
    t.failed = 1;
    t.failureReason = "cannot open input";
    EXPECT_EQ(progressToolTip(t), "Failed: cannot open input");
    t.failed = 0;
    t.finished = 1;
    t.warning = "The source ended early";
    EXPECT_EQ(progressToolTip(t), "Finished with a warning: The source ended early");
}

TEST(ProgressCell, WmvConversion)
{
    Task t = makeTask("/v/clip.avi", 60, 1, 0);
    t.wmvPercent = 37;
    TaskProgress r = ask(t, 112900, 100000); // started 12.9 s ago
    EXPECT_EQ(r.text, "    37 %   Used Time:12 S");
    EXPECT_EQ(r.bar, 37);
    EXPECT_EQ(r.state, TaskState::Converting);
    t.wmvPercent = 100;
    EXPECT_EQ(ask(t).text, "    Finished");
    EXPECT_EQ(ask(t).state, TaskState::Finished);
    t.wmvPercent = 0;
    r = ask(t);
    EXPECT_EQ(r.text, "");
    EXPECT_EQ(r.bar, -1);
    EXPECT_EQ(r.state, TaskState::New);
}

TEST(ProgressCell, RealMediaPhases)
{
    Task t = makeTask("/v/clip.rm", 100, 0, 0);
    t.preState = 1;
    t.prePercent = 40;
    t.preRemainTime = 30;
    TaskProgress r = ask(t);
    EXPECT_EQ(r.text, "    20.00%    Remain Time:00:01:20");
    EXPECT_EQ(r.bar, 20);
    EXPECT_EQ(r.state, TaskState::PreConverting);

    t.preState = 2; // encoder phase: shown at once, the second half of the bar
    r = ask(t);
    EXPECT_EQ(r.text, "    50.25%  0.00MB   Remain Time:00:01:40");
    EXPECT_EQ(r.bar, 50);
    EXPECT_EQ(r.state, TaskState::Converting);
    t.encodedTime = 50;
    t.outputKB = 512;
    EXPECT_EQ(ask(t).text, "    75.25%  0.50MB   Remain Time:00:00:50");

    t.preState = 0;
    EXPECT_EQ(ask(t).text, "");
}

TEST(CentredMessage, CentresInNinetyNineCharacters)
{
    const QString text = "Converting Finished"; // 19 characters
    const QString out = centredMessage(text);
    EXPECT_EQ(out.size(), 99);
    EXPECT_EQ(out.indexOf(text), (100 - 19) / 2);
    EXPECT_EQ(out.trimmed(), text);
    EXPECT_EQ(centredMessage(QString(99, 'x')).size(), 99);
    EXPECT_EQ(centredMessage(QString(100, 'x')), QString(100, 'x'));
    EXPECT_EQ(centredMessage(QString(150, 'y')), QString(150, 'y'));
    EXPECT_EQ(centredMessage("").size(), 99);
}

TEST(ProgressCell, NumbersFromOutsideNeverShowAsNanOrInf)
{
    const double odd[] = {std::nan(""), INFINITY, -INFINITY, -1e308, 1e308, -3.0, 0.0};
    for (const double a : odd) {
        for (const double b : odd) {
            Task t = makeTask("/v/clip.avi", 10, 0, 0);
            t.startTime = a;
            t.endTime = b;
            t.encodedTime = b;
            t.encodeSpeed = a;
            t.outputKB = 100;
            t.prePercent = b;
            t.preRemainTime = a;
            for (const int pre : {0, 1, 2}) {
                t.isRealMedia = pre == 0 ? 0 : 1;
                t.preState = pre;
                for (const QString& text :
                     {trimTimeText(t.startTime), trimTimeText(t.endTime), ask(t).text}) {
                    EXPECT_FALSE(text.contains("nan") || text.contains("inf") || text.contains("-"))
                        << text.toStdString();
                }
            }
        }
    }
}

// A batch's percent weighs each Task by its trimmed span: a long film half done is most
// of the work done, a short clip finished is little of it.
TEST(BatchProgress, WeighsTasksByTheirSpans)
{
    TaskList tasks;
    Task clip = makeTask("/v/clip.avi", 60, 0, 0);
    clip.finished = 1;
    tasks.add(clip);
    Task film = encoding(100.0, 2048, 10.0); // 100 s of 200 converted, 10 times real time
    tasks.add(film);
    tasks.add(makeTask("/v/other.avi", 140, 0, 0)); // waits
    tasks.add(makeTask("/v/kept.avi", 500, 0, 0));  // not in this batch
    const TaskState states[] = {TaskState::Finished, TaskState::Converting, TaskState::Waiting};
    const BatchProgress p = batchProgress(
        tasks, [](int i) { return i < 3; }, [&](int i) { return states[i]; }, 0, 0);
    EXPECT_EQ(p.total, 3);
    EXPECT_EQ(p.converted, 1);
    // (60 + 100) of 400 seconds, where the average of the Tasks would say 50 %.
    EXPECT_NEAR(p.percent, 40.5, 0.5);
    // 100 + 140 seconds left at the film's ten times real time.
    EXPECT_NEAR(p.remainSeconds, 24, 1);
    EXPECT_EQ(batchProgressText(p), "1 of 3 converted \u00b7 40 % \u00b7 less than a minute left");
}
