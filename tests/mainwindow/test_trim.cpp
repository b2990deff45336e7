// Trimming the selected Task with the range slider, the glimpse at a released edge,
// and the preview buttons.
#include "mainwindow/mainwindowtestsupport.h"

#include "mainwindow/dialogtemplate.h"
#include "widgets/crangeslider.h"
#include "widgets/ctasklistctrl.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace dialog102;

namespace {

const QString kSource = QStringLiteral("/videos/sixty.avi");

struct TrimFixture : WindowFixture
{
    TrimFixture()
    {
        media().durations[kSource] = 60.0;
        addThroughButton({"/videos/other.avi", kSource});
        media().log.clear();
    }
    CRangeSlider* slider() { return control<CRangeSlider>(IdRangeSlider); }
    Task task() { return dlg().tasks().get(1); }
};

} // namespace

TEST(MainWindowTrim, ReleasedEdgeWritesTheTaskAndGlimpsesThere)
{
    const struct
    {
        const char* name;
        double left, right;
        int which;
        double reportedDuration; // what GetDuration says at the glimpse
        QString glimpse;
    } cases[] = {
        {"right edge at 30.5", 0.0, 30.5, 1, 60.0, "Video " + kSource + " 30.5 31.5"},
        {"left edge", 12.25, 60.0, 0, 60.0, "Video " + kSource + " 12.25 13.25"},
        {"both edges", 20.0, 40.0, 2, 60.0, "Video " + kSource + " 20 21"},
        {"edge beyond the duration now reported", 0.0, 50.0, 1, 30.0, "Video " + kSource + " 1 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TrimFixture f;
        f.slider()->SetSelection(c.left, c.right);
        f.media().durations[kSource] = c.reportedDuration;
        emit f.slider()->rangeChanged(c.which, 1);
        EXPECT_EQ(f.task().startTime, c.left);
        EXPECT_EQ(f.task().endTime, c.right);
        EXPECT_EQ(f.media().log, (QStringList{"Reset", "ColorDepth 24", c.glimpse, "Play"}));
        EXPECT_TRUE(f.dlg().seekBusy());
        EXPECT_EQ(f.dlg().tasks().get(0).endTime, 60.0) << "the other Task stays";
    }
}

TEST(MainWindowTrim, BeginAndEndCellsFollowTheSlider)
{
    TrimFixture f;
    f.slider()->SetSelection(65.0 - 60.0, 3725.0 / 100.0);
    emit f.slider()->rangeChanged(2, 0);
    auto* list = f.control<CTaskListCtrl>(IdTaskList);
    EXPECT_EQ(list->GetCellRequest(1, 1)->text, "00:00:05");
    EXPECT_EQ(list->GetCellRequest(1, 2)->text, "00:00:37.3");
}

TEST(MainWindowTrim, DraggingTheMiddleMovesBothAndGlimpsesAtTheStart)
{
    TrimFixture f;
    f.slider()->SetSelection(10.0, 20.0);
    f.slider()->update();
    QTest::qWait(20);
    const QRect left = f.slider()->leftThumbRect();
    const QRect right = f.slider()->rightThumbRect();
    const QPoint middle((left.right() + right.left()) / 2, f.slider()->height() / 2);
    QTest::mousePress(f.slider(), Qt::LeftButton, {}, middle);
    QTest::mouseMove(f.slider(), middle + QPoint(30, 0));
    QTest::mouseRelease(f.slider(), Qt::LeftButton, {}, middle + QPoint(30, 0));
    const Task task = f.task();
    EXPECT_GT(task.startTime, 10.0);
    EXPECT_NEAR(task.endTime - task.startTime, 10.0, 0.01);
    EXPECT_EQ(f.media().entries("Video"), QStringList{QStringLiteral("Video %1 %2 %3")
                                                          .arg(kSource)
                                                          .arg(task.startTime)
                                                          .arg(task.startTime + 1.0)});
}

TEST(MainWindowTrim, ArrowKeysMoveTheTimesWithoutAGlimpse)
{
    TrimFixture f;
    f.slider()->SetSelection(10.0, 20.0);
    f.slider()->setFocus();
    QTest::keyClick(f.slider(), Qt::Key_Right);
    QTest::keyClick(f.slider(), Qt::Key_Right);
    EXPECT_GT(f.task().startTime, 10.0);
    EXPECT_GT(f.task().endTime, 20.0);
    EXPECT_TRUE(f.media().entries("Video").isEmpty());
    EXPECT_FALSE(f.dlg().seekBusy());
    // Once the keys rest, the moved edge is glimpsed, once, as a released mouse does.
    const double start = f.task().startTime;
    EXPECT_TRUE(eventually([&] { return !f.media().entries("Video").isEmpty(); }, 3000));
    EXPECT_EQ(f.media().entries("Video"),
              QStringList{QString("Video %1 %2 %3").arg(kSource).arg(start).arg(start + 1.0)});
    QTest::qWait(600);
    EXPECT_EQ(f.media().entries("Video").size(), 1);
}

TEST(MainWindowTrim, AGlimpseWhileAnotherPlaysIsDropped)
{
    TrimFixture f;
    emit f.slider()->rangeChanged(0, 1);
    emit f.slider()->rangeChanged(1, 1);
    EXPECT_EQ(f.media().entries("Play").size(), 1);
    f.media().log.clear();
    emit f.media().preview.PlayEnded(0.0);
    // A glimpse is stopped at its end, and the picture rests at the edge moved last,
    // also when that move's own glimpse was dropped.
    EXPECT_EQ(f.media().log, (QStringList{"StopPlay", "Still " + kSource + " 60"}));
    EXPECT_FALSE(f.dlg().seekBusy());
    emit f.slider()->rangeChanged(1, 1);
    EXPECT_EQ(f.media().entries("Play").size(), 1);
}

TEST(MainWindowTrim, PlayAndStopThePreview)
{
    TrimFixture f;
    f.slider()->SetSelection(5.0, 25.0);
    emit f.slider()->rangeChanged(2, 0);
    f.media().log.clear();
    QTest::mouseClick(f.control<QPushButton>(IdPlay), Qt::LeftButton);
    EXPECT_TRUE(f.dlg().previewFlag());
    EXPECT_EQ(f.media().log, (QStringList{"Reset", "ColorDepth 24", "Video " + kSource + " 5 20",
                                          "Audio " + kSource + " 5 20", "Play"}));
    // A preview that ends by itself is not stopped again, and keeps its last picture.
    emit f.media().preview.PlayEnded(0.0);
    EXPECT_TRUE(f.media().entries("StopPlay").isEmpty());
    EXPECT_TRUE(f.media().entries("Still").isEmpty());

    QTest::mouseClick(f.control<QPushButton>(IdStopPreview), Qt::LeftButton);
    EXPECT_EQ(f.media().entries("StopPlay").size(), 1);
    EXPECT_FALSE(f.dlg().previewFlag());
}

TEST(MainWindowTrim, AMoveWhileTheProgramSetsTheSliderChangesNoTask)
{
    TrimFixture f;
    // Selecting the other row sets the slider under the trim lock.
    auto* list = f.control<CTaskListCtrl>(IdTaskList);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->GetCellRect(0, 0).center());
    EXPECT_EQ(f.dlg().tasks().get(0).endTime, 60.0);
    EXPECT_EQ(f.task().endTime, 60.0);
    EXPECT_TRUE(f.media().entries("Video").isEmpty());
}
