// What the preview shows: the selected Task at its edges, through the window's own media
// engine on a clip whose every second has its own colour.
#include "mainwindow/mainwindowtestsupport.h"

#include "common/testmedia.h"
#include "mainwindow/dialogtemplate.h"
#include "media/cvideoedit.h"
#include "media/mediaengine.h"
#include "widgets/crangeslider.h"
#include "widgets/ctasklistctrl.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace dialog102;

namespace {

struct PreviewFixture : WindowFixture
{
    PreviewFixture() : WindowFixture(kThreeProfiles, OwnMedia) {}

    CVideoEdit* video() { return control<CVideoEdit>(IdMediaComponent); }
    CRangeSlider* slider() { return control<CRangeSlider>(IdRangeSlider); }
    PreviewEngine* engine() { return static_cast<PreviewEngine*>(&dlg().preview()); }

    QColor shown()
    {
        const QImage shot = video()->grab().toImage();
        return shot.pixelColor(shot.width() / 2, shot.height() / 2);
    }
    // True once the preview shows second `n` of the colour clip, or black for -1.
    bool showsSecond(int n, int timeoutMs = 5000)
    {
        const QColor wanted = n < 0 ? QColor(Qt::black) : QColor(testmedia::colourSeconds().at(n));
        return QTest::qWaitFor(
            [&] {
                const QColor c = shown();
                return std::abs(c.red() - wanted.red()) < 48 &&
                       std::abs(c.green() - wanted.green()) < 48 &&
                       std::abs(c.blue() - wanted.blue()) < 48;
            },
            timeoutMs);
    }
    // Still there after a while: nothing of an earlier playback comes later.
    bool keepsShowingSecond(int n)
    {
        QTest::qWait(700);
        return showsSecond(n, 0);
    }
    void clickRow(int row)
    {
        auto* list = control<CTaskListCtrl>(IdTaskList);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->GetCellRect(row, 0).center());
    }
    // Moves the edges and lets go of `which`, as a drag of the slider ends; waits for the
    // glimpse that follows to end.
    void release(double left, double right, int which)
    {
        slider()->SetSelection(left, right);
        emit slider()->rangeChanged(which, 1);
        EXPECT_TRUE(dlg().seekBusy());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dlg().seekBusy(); }, 5000));
    }
};

} // namespace

TEST(MainWindowPreview, ThePictureShowsTheSelectedTaskAtItsEdges)
{
    PreviewFixture f;
    const QString colours = testmedia::colourClip();
    ASSERT_FALSE(colours.isEmpty());

    // A new Task trimmed from the start shows one second in.
    f.addThroughButton({colours});
    EXPECT_TRUE(f.showsSecond(1)) << qPrintable(f.shown().name());
    f.addThroughButton({colours});

    // After the glimpse from a released edge, the picture rests at that edge.
    f.release(3.5, 6.0, 0);
    EXPECT_TRUE(f.showsSecond(3)) << qPrintable(f.shown().name());
    EXPECT_TRUE(f.keepsShowingSecond(3));
    f.release(3.5, 4.5, 1);
    EXPECT_TRUE(f.showsSecond(4)) << qPrintable(f.shown().name());
    EXPECT_TRUE(f.keepsShowingSecond(4));

    // Selecting a Task shows it at its begin edge.
    f.clickRow(0);
    EXPECT_TRUE(f.showsSecond(1)) << qPrintable(f.shown().name());
    f.clickRow(1);
    EXPECT_TRUE(f.showsSecond(3)) << qPrintable(f.shown().name());
    EXPECT_TRUE(f.keepsShowingSecond(3));

    // An edge let go of while the preview plays: the glimpse replaces the preview, and
    // the end of the preview is not taken for the end of the glimpse.
    QTest::mouseClick(f.control<QPushButton>(IdPlay), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.engine()->isPlaying(); }, 2000));
    f.release(2.5, 4.5, 0);
    EXPECT_TRUE(f.showsSecond(2)) << qPrintable(f.shown().name());
    EXPECT_TRUE(f.keepsShowingSecond(2));
}

TEST(MainWindowPreview, RemovingStopsThePreviewAndClearsThePicture)
{
    PreviewFixture f;
    const QString colours = testmedia::colourClip();
    f.addThroughButton({colours, colours});
    f.slider()->SetSelection(2.2, 5.0);
    emit f.slider()->rangeChanged(2, 0);

    // Removing the playing Task: the other one is shown, and nothing more of the first.
    QTest::mouseClick(f.control<QPushButton>(IdPlay), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.engine()->isPlaying(); }, 2000));
    QTest::mouseClick(f.control<QPushButton>(IdRemove), Qt::LeftButton);
    EXPECT_FALSE(f.engine()->isPlaying());
    EXPECT_FALSE(f.dlg().previewFlag());
    EXPECT_TRUE(f.showsSecond(1)) << qPrintable(f.shown().name());
    EXPECT_TRUE(f.keepsShowingSecond(1));

    QTest::mouseClick(f.control<QPushButton>(IdPlay), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.engine()->isPlaying(); }, 2000));
    QTest::mouseClick(f.control<QPushButton>(IdRemoveAll), Qt::LeftButton);
    EXPECT_FALSE(f.engine()->isPlaying());
    EXPECT_TRUE(f.video()->currentFrame().isNull());
    EXPECT_TRUE(f.keepsShowingSecond(-1)) << qPrintable(f.shown().name());
}
