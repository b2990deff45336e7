#include "common/contrast.h"
#include "common/qtprinters.h"
#include "messages.h"
#include "progressdisplay.h"

#include <QSet>

#include <cmath>

#include <gtest/gtest.h>

namespace {

CellRequest ask(const Task& task, int column, int row = 0, uint32_t now = 0, uint32_t wmvStart = 0)
{
    TaskList list;
    for (int i = 0; i <= row; ++i)
        list.add(task);
    CellRequest r;
    r.item = row;
    r.subItem = column;
    onCellRequest(r, list, now, wmvStart);
    return r;
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

TEST(ProgressCell, TextColumns)
{
    Task t = makeTask("/v/a & b.avi", 3725.9, 0, 0);
    t.startTime = 59.99;
    EXPECT_EQ(ask(t, ColumnSource).text, "a & b.avi");
    EXPECT_EQ(ask(t, ColumnBegin).text, "00:00:59.9");
    EXPECT_EQ(ask(t, ColumnEnd).text, "01:02:05.9");
    EXPECT_EQ(ask(t, ColumnExport).text, "a & b.mp4");
    t.exportType = 1;
    EXPECT_EQ(ask(t, ColumnExport).text, "a & b.wmv");
    EXPECT_EQ(ask(t, 7).text, ""); // no such column
}

// The cut is exact to the millisecond, so the cells show a fraction whenever there is
// one; whole times look as they always did.
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
        {13.98, "00:00:13.9"},      // cut, never shown later than it is
        {14.0004, "00:00:14"},
        {20.04, "00:00:20"}, // a source's length, less than a tenth over
        {0.1, "00:00:00.1"},
        {3599.95, "00:59:59.9"},
        {360000.5, "100:00:00.5"},
    };
    for (const auto& c : cases) {
        Task t = makeTask("/v/clip.avi", 400000, 0, 0);
        t.startTime = c.time;
        t.endTime = c.time;
        EXPECT_EQ(ask(t, ColumnBegin).text, c.text) << c.time;
        EXPECT_EQ(ask(t, ColumnEnd).text, c.text) << c.time;
    }
}

TEST(ProgressCell, RowColoursByParity)
{
    const Task t = makeTask("/v/a.avi", 1, 0, 0);
    const CellRequest even = ask(t, 0, 0);
    EXPECT_EQ(even.textColor, 0x14050Au);
    EXPECT_EQ(even.backColor, 0xFFB4B4u);
    EXPECT_EQ(even.selTextColor, 0x80C8F0u);
    EXPECT_EQ(even.selBackColorNoFocus, 0x781414u);
    EXPECT_EQ(even.hotTextColor, 0x960AAAu);
    EXPECT_EQ(even.selBackColor, 0x60321Eu);
    const CellRequest odd = ask(t, 2, 1);
    EXPECT_EQ(odd.textColor, 0x280A28u);
    EXPECT_EQ(odd.backColor, 0xFFDCDCu);
    EXPECT_EQ(odd.selTextColor, 0x80FAF0u);
    EXPECT_EQ(odd.selBackColorNoFocus, 0x783C14u);
    EXPECT_EQ(odd.barMax, -1); // no bar outside the Progress column
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
        const CellRequest r = ask(c.task, ColumnProgress);
        EXPECT_EQ(r.text, c.text);
        if (c.barPos < 0) {
            EXPECT_LE(r.barMax, 0);
        } else {
            EXPECT_EQ(r.barMax, 100);
            EXPECT_EQ(r.barPos, c.barPos);
            EXPECT_EQ(r.barColor, 0x1C1E9Au);
        }
    }
}

TEST(ProgressCell, FinishedFailedStoppedAndEmptyTrim)
{
    Task t = encoding(100, 2048, 2.0);
    t.finished = 1;
    CellRequest r = ask(t, ColumnProgress);
    EXPECT_EQ(r.text, "    Finished");
    EXPECT_EQ(r.barPos, 100);
    t.failed = 1;
    EXPECT_EQ(ask(t, ColumnProgress).text, "    Failed"); // no class: the tooltip says why
    t.failureKind = FailureKind::OutputUnwritable;
    r = ask(t, ColumnProgress);
    EXPECT_EQ(r.text, "    Failed: cannot write the output folder (full?)");
    EXPECT_EQ(r.barMax, -1); // no full bar that looks finished
    t.failed = 0;
    t.stopped = 1;
    r = ask(t, ColumnProgress);
    EXPECT_EQ(r.text, "    Stopped"); // not the percentage it had reached
    EXPECT_EQ(r.barMax, -1);
    Task empty = encoding(5, 100, 1.0);
    empty.endTime = 0; // trimmed to nothing
    EXPECT_TRUE(ask(empty, ColumnProgress).text.startsWith("    0.00%"));
}

TEST(ProgressCell, ToolTipsTellTheSourceAndWhyATaskFailed)
{
    TaskList list;
    Task t = makeTask("/videos/long folder/clip.avi", 10, 0, 0);
    list.add(t);
    t.failed = 1;
    t.failureReason = "cannot open input";
    list.add(t);
    EXPECT_EQ(cellToolTip(list, 0, ColumnSource), "/videos/long folder/clip.avi");
    EXPECT_EQ(cellToolTip(list, 0, ColumnProgress), "");
    EXPECT_EQ(cellToolTip(list, 1, ColumnProgress), "Failed: cannot open input");
    EXPECT_EQ(cellToolTip(list, 1, ColumnExport), "");
    t.failed = 0;
    t.finished = 1;
    t.warning = "The source ended early";
    list.add(t);
    EXPECT_EQ(cellToolTip(list, 2, ColumnProgress),
              "Finished with a warning: The source ended early");
    EXPECT_EQ(cellToolTip(list, 3, ColumnSource), ""); // no such row
}

TEST(ProgressCell, WmvConversion)
{
    Task t = makeTask("/v/clip.avi", 60, 1, 0);
    t.wmvPercent = 37;
    CellRequest r = ask(t, ColumnProgress, 0, 112900, 100000); // started 12.9 s ago
    EXPECT_EQ(r.text, "    37 %   Used Time:12 S");
    EXPECT_EQ(r.barPos, 37);
    t.wmvPercent = 100;
    EXPECT_EQ(ask(t, ColumnProgress).text, "    Finished");
    t.wmvPercent = 0;
    r = ask(t, ColumnProgress);
    EXPECT_EQ(r.text, "");
    EXPECT_LE(r.barMax, 0);
}

TEST(ProgressCell, RealMediaPhases)
{
    Task t = makeTask("/v/clip.rm", 100, 0, 0);
    t.preState = 1;
    t.prePercent = 40;
    t.preRemainTime = 30;
    CellRequest r = ask(t, ColumnProgress);
    EXPECT_EQ(r.text, "    20.00%    Remain Time:00:01:20");
    EXPECT_EQ(r.barPos, 20);

    t.preState = 2; // encoder phase: shown at once, the second half of the bar
    r = ask(t, ColumnProgress);
    EXPECT_EQ(r.text, "    50.25%  0.00MB   Remain Time:00:01:40");
    EXPECT_EQ(r.barPos, 50);
    t.encodedTime = 50;
    t.outputKB = 512;
    EXPECT_EQ(ask(t, ColumnProgress).text, "    75.25%  0.50MB   Remain Time:00:00:50");

    t.preState = 0;
    EXPECT_EQ(ask(t, ColumnProgress).text, "");
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
                for (const int column : {ColumnBegin, ColumnEnd, ColumnProgress}) {
                    const QString text = ask(t, column).text;
                    EXPECT_FALSE(text.contains("nan") || text.contains("inf") || text.contains("-"))
                        << text.toStdString();
                }
            }
        }
    }
}

TEST(ProgressCell, EveryRowTextIsReadableAndStatesDifferInColour)
{
    auto colour = [](ColorRef ref) {
        return contrast::Rgb{int(ref & 0xFF), int((ref >> 8) & 0xFF), int((ref >> 16) & 0xFF)};
    };
    Task finished = encoding(100, 2048, 2.0);
    finished.finished = 1;
    Task failed = finished;
    failed.finished = 0;
    failed.failed = 1;
    failed.failureKind = FailureKind::SourceUnreadable;
    Task stopped = encoding(50, 2048, 2.0);
    stopped.stopped = 1;
    QSet<ColorRef> stateColours;
    for (const Task& t : {finished, failed, stopped}) {
        for (int row : {0, 1}) {
            for (int column = ColumnSource; column <= ColumnProgress; ++column) {
                SCOPED_TRACE(testing::Message() << "row " << row << " column " << column);
                const CellRequest r = ask(t, column, row);
                EXPECT_GE(contrast::ratio(colour(r.textColor), colour(r.backColor)),
                          contrast::kReadable);
                EXPECT_GE(contrast::ratio(colour(r.selTextColor), colour(r.selBackColor)),
                          contrast::kReadable);
                EXPECT_GE(contrast::ratio(colour(r.selTextColor), colour(r.selBackColorNoFocus)),
                          contrast::kReadable);
                if (column == ColumnProgress && row == 0)
                    stateColours.insert(r.barMax > 0 ? r.barColor : r.textColor);
            }
        }
    }
    EXPECT_EQ(stateColours.size(), 3); // finished, failed and stopped each have their own
}
