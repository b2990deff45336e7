#include "common/contrast.h"
#include "common/qtprinters.h"
#include "mainwindow/taskcells.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

CellRequest ask(const Task& task, int column, int row = 0)
{
    TaskList list;
    for (int i = 0; i <= row; ++i)
        list.add(task);
    CellRequest r;
    r.item = row;
    r.subItem = column;
    onCellRequest(r, list, 0, 0);
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

TEST(TaskCells, TextColumnsAndTheBar)
{
    Task t = makeTask("/v/a & b.avi", 3725.9, 0, 0);
    t.startTime = 59.99;
    EXPECT_EQ(ask(t, ColumnSource).text, "a & b.avi");
    EXPECT_EQ(ask(t, ColumnBegin).text, "00:01:00");
    EXPECT_EQ(ask(t, ColumnEnd).text, "01:02:05.9");
    EXPECT_EQ(ask(t, ColumnExport).text, "a & b.mp4");
    EXPECT_EQ(ask(t, 7).text, "");               // no such column
    EXPECT_LE(ask(t, ColumnProgress).barMax, 0); // nothing reported yet: no bar

    const CellRequest r = ask(encoding(100, 2048, 2.0), ColumnProgress);
    EXPECT_EQ(r.text, "    50.50%  2.00MB   Remain Time:00:00:50");
    EXPECT_EQ(r.barMax, 100);
    EXPECT_EQ(r.barPos, 50);
    EXPECT_EQ(r.barColor, 0x1C1E9Au);
}

TEST(TaskCells, RowColoursByParity)
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

TEST(TaskCells, ToolTipsTellTheSourceAndWhyATaskFailed)
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
    EXPECT_EQ(cellToolTip(list, 2, ColumnSource), ""); // no such row
}

TEST(TaskCells, EveryRowTextIsReadableAndStatesDifferInColour)
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
