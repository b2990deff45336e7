// The window by keyboard alone: where Tab goes, the list's Delete and Insert, the trim
// slider's arrows, what a screen reader calls each control, and that the focused control
// can be told from the others.
#include "mainwindow/mainwindowtestsupport.h"

#include "common/qtprinters.h"

#include "mainwindow/dialogtemplate.h"
#include "mainwindow/taskcells.h"
#include "widgets/crangeslider.h"
#include "widgets/ctasklistctrl.h"

#include <QAccessible>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using namespace dialog102;

namespace {

QString extraSource()
{
    static QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("late.avi")));
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.write("stand-in source");
    return file.fileName();
}

QString focusId()
{
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QStringLiteral("none");
}

void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
}

// The controls Tab reaches, from `first` until the focus comes back to it.
QStringList tabCycle(WindowFixture& f, int first, Qt::Key key = Qt::Key_Tab)
{
    f.control(first)->setFocus(Qt::TabFocusReason);
    QStringList ids{focusId()};
    for (int i = 0; i < 60; ++i) {
        press(key);
        if (focusId() == ids.first())
            break;
        ids << focusId();
    }
    return ids;
}

QStringList idsOf(std::initializer_list<int> ids)
{
    QStringList list;
    for (int id : ids)
        list << QString::number(id);
    return list;
}

void clickRadio(QRadioButton* radio)
{
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
}

// A batch that runs until it is stopped: WMV Tasks whose conversion never completes.
void startEndlessBatch(WindowFixture& f)
{
    f.control<QLineEdit>(IdOutputFolder)->setText(QDir::tempPath());
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    f.addThroughButton(standInSources(3));
    QTest::mouseClick(f.control<QPushButton>(IdStart), Qt::LeftButton);
    ASSERT_TRUE(f.dlg().converting());
}

void stopBatch(WindowFixture& f)
{
    QTest::mouseClick(f.control<QPushButton>(IdStop), Qt::LeftButton);
    QElapsedTimer timer;
    timer.start();
    while (f.dlg().converting() && timer.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_FALSE(f.dlg().converting());
}

} // namespace

TEST(MainWindowKeyboard, TabFollowsTheLayoutAndSkipsWhatCannotBeUsed)
{
    enum State
    {
        Mp4Tasks,
        WmvTask,
        EmptyList,
        Converting
    };
    const struct
    {
        const char* name;
        State state;
        int first;
        QStringList expected;
    } cases[] = {
        {"MP4 Tasks: everything", Mp4Tasks, IdPlay,
         idsOf({1054, 1055, 1047, 1063, 1024, 1030, 1031, 1032, 1033, 1029, 1025, 1026,
                1027, 1028, 1023, 1059, 1022, 1011, 1012, 1013, 1014, 1016, 1048})},
        {"WMV Task: its radio button and profile, no settings or title", WmvTask, IdPlay,
         idsOf({1054, 1055, 1047, 1064, 1050, 1059, 1022, 1011, 1012, 1013, 1014, 1016, 1048})},
        {"empty list: the settings, but nothing that acts on a Task", EmptyList, IdExportMp4,
         idsOf({1063, 1024, 1030, 1031, 1032, 1033, 1029, 1025, 1026, 1027, 1028, 1059, 1022, 1011,
                1012, 1016, 1048})},
        {"converting: Stop in Start's place", Converting, IdShutDown,
         idsOf({1059, 1011, 1016, 1049})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowFixture f;
        switch (c.state) {
        case Mp4Tasks:
            f.addThroughButton(standInSources(2));
            break;
        case WmvTask:
            clickRadio(f.control<QRadioButton>(IdExportWmv));
            f.addThroughButton(standInSources(1));
            break;
        case EmptyList:
            break;
        case Converting:
            startEndlessBatch(f);
            break;
        }
        const QStringList forward = tabCycle(f, c.first);
        EXPECT_EQ(forward, c.expected);
        // Shift+Tab walks the same ring the other way.
        QStringList backward = tabCycle(f, c.first, Qt::Key_Backtab);
        std::reverse(backward.begin() + 1, backward.end());
        EXPECT_EQ(backward, c.expected);
        if (c.state == Converting)
            stopBatch(f);
    }
}

TEST(MainWindowKeyboard, DeleteRemovesTheSelectedTaskAndInsertAdds)
{
    const struct
    {
        const char* name;
        int rows;
        int selected;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QStringList left; // the Tasks' sources afterwards, by index into standInSources()
        int selectedAfter;
        int dialogs; // add dialogs opened
    } cases[] = {
        {"Delete, middle row", 3, 1, Qt::Key_Delete, {}, {"0", "2"}, 1, 0},
        {"Delete, last row", 3, 2, Qt::Key_Delete, {}, {"0", "1"}, 1, 0},
        {"Delete, only row", 1, 0, Qt::Key_Delete, {}, {}, -1, 0},
        {"Delete, empty list", 0, -1, Qt::Key_Delete, {}, {}, -1, 0},
        {"Delete on the keypad", 2, 0, Qt::Key_Delete, Qt::KeypadModifier, {"1"}, 0, 0},
        {"Insert", 2, 0, Qt::Key_Insert, {}, {"0", "1", "late"}, 2, 1},
        {"Insert, empty list", 0, -1, Qt::Key_Insert, {}, {"late"}, 0, 1},
        {"Ctrl+O", 2, 1, Qt::Key_O, Qt::ControlModifier, {"0", "1", "late"}, 2, 1},
        {"O alone", 2, 1, Qt::Key_O, {}, {"0", "1"}, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowFixture f;
        if (c.rows > 0)
            f.addThroughButton(standInSources(c.rows));
        auto* list = f.control<CTaskListCtrl>(IdTaskList);
        if (c.selected >= 0) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->GetCellRect(c.selected, 0).center());
        }
        list->setFocus();
        int dialogs = 0;
        f.dlg().setFileChooser([&dialogs] {
            ++dialogs;
            return QStringList{extraSource()};
        });
        QTest::keyClick(list, c.key, c.modifiers);

        QStringList left;
        for (int i = 0; i < f.dlg().tasks().size(); ++i) {
            const QString path = f.dlg().tasks().get(i).sourcePath;
            left << (path == extraSource() ? QStringLiteral("late")
                                           : QString::number(standInSources(3).indexOf(path)));
        }
        EXPECT_EQ(left, c.left);
        EXPECT_EQ(f.dlg().selectedTaskIndex(), c.selectedAfter);
        EXPECT_EQ(list->GetSelectionMark(), c.selectedAfter);
        EXPECT_EQ(dialogs, c.dialogs);
    }
}

TEST(MainWindowKeyboard, CtrlOAddsWhereverTheKeysAre)
{
    WindowFixture f;
    int dialogs = 0;
    f.dlg().setFileChooser([&dialogs] {
        ++dialogs;
        return QStringList{extraSource()};
    });
    for (int id : {IdTitle, IdVideoSize, IdBrowse, IdExportMp4}) {
        f.control(id)->setFocus();
        QTest::keyClick(f.control(id), Qt::Key_O, Qt::ControlModifier);
    }
    EXPECT_EQ(dialogs, 4);
    EXPECT_EQ(f.dlg().tasks().size(), 4);
}

// Tab reaches the chosen export type only, and the arrows switch the type from either
// button, as Help says.
TEST(MainWindowKeyboard, TabReachesTheChosenExportTypeAndArrowsSwitchIt)
{
    WindowFixture f;
    f.dlg().show();
    f.control(IdMp4Profile)->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Backtab);
    EXPECT_EQ(focusId(), QString::number(IdExportMp4));
    f.control(IdExportWmv)->setFocus(Qt::MouseFocusReason); // the one not chosen
    press(Qt::Key_Right);
    EXPECT_EQ(f.dlg().exportMode(), 1);
    EXPECT_EQ(focusId(), QString::number(IdExportWmv));
    press(Qt::Key_Left);
    EXPECT_EQ(f.dlg().exportMode(), 0);
    EXPECT_EQ(focusId(), QString::number(IdExportMp4));
}

TEST(MainWindowKeyboard, ListKeysDoNothingDuringABatch)
{
    WindowFixture f;
    startEndlessBatch(f);
    int dialogs = 0;
    f.dlg().setFileChooser([&dialogs] {
        ++dialogs;
        return QStringList{extraSource()};
    });
    auto* list = f.control<CTaskListCtrl>(IdTaskList);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Delete);
    QTest::keyClick(list, Qt::Key_Insert);
    QTest::keyClick(list, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(f.dlg().tasks().size(), 3);
    EXPECT_EQ(dialogs, 0);
    stopBatch(f);
}

// The slider's keys in the window, reached with Tab as a keyboard user reaches it: the
// Task's times and the list's Begin and End cells follow every press.
TEST(MainWindowKeyboard, SliderArrowsTrimTheSelectedTask)
{
    const double step = 60.0 / 196; // a 60-second source on a track of 196 pixels
    const struct
    {
        const char* name;
        std::vector<std::pair<QKeyCombination, int>> presses; // key, how often
        double start, end;
        const char* begin; // cells
        const char* endCell;
    } cases[] = {
        {"Right on a whole video moves the start",
         {{Qt::Key_Right, 150}},
         150 * step,
         60.0,
         "00:00:45.9",
         "00:01:00"},
        {"Left on a whole video moves the end",
         {{Qt::Key_Left, 10}},
         0.0,
         186 * step,
         "00:00:00",
         "00:00:56.9"},
        {"the start stops at the end", {{Qt::Key_Right, 250}}, 60.0, 60.0, "00:01:00", "00:01:00"},
        {"Shift+Left moves the end and stops at the start",
         {{Qt::Key_Right, 100}, {Qt::ShiftModifier | Qt::Key_Left, 150}},
         100 * step,
         100 * step,
         "00:00:30.6",
         "00:00:30.6"},
        {"a shorter part slides with the arrows",
         {{Qt::ShiftModifier | Qt::Key_Left, 96}, {Qt::Key_Right, 30}, {Qt::Key_Left, 10}},
         20 * step,
         120 * step,
         "00:00:06.1",
         "00:00:36.7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowFixture f;
        f.addThroughButton(standInSources(2));
        f.control(IdPlay)->setFocus(Qt::TabFocusReason);
        press(Qt::Key_Tab);
        press(Qt::Key_Tab);
        ASSERT_EQ(focusId(), QString::number(IdRangeSlider));
        for (const auto& [key, times] : c.presses)
            for (int i = 0; i < times; ++i)
                press(key.key(), key.keyboardModifiers());
        const Task task = f.dlg().tasks().get(1);
        EXPECT_DOUBLE_EQ(task.startTime, c.start);
        EXPECT_DOUBLE_EQ(task.endTime, c.end);
        auto* list = f.control<CTaskListCtrl>(IdTaskList);
        EXPECT_EQ(list->GetCellRequest(1, ColumnBegin)->text, c.begin);
        EXPECT_EQ(list->GetCellRequest(1, ColumnEnd)->text, c.endCell);
        EXPECT_EQ(f.dlg().tasks().get(0).endTime, 60.0) << "the other Task stays";
    }
}

TEST(MainWindowKeyboard, ControlsHaveNamesAScreenReaderSays)
{
    WindowFixture f;
    const struct
    {
        int id;
        const char* name;
    } named[] = {
        {IdAdd, "Add"},
        {IdRemove, "Remove"},
        {IdRemoveAll, "Remove all"},
        {IdStart, "Start converting"},
        {IdStop, "Stop converting"},
        {IdPlay, "Play preview"},
        {IdStopPreview, "Stop preview"},
        {IdTaskList, "Task list"},
        {IdRangeSlider, "Trim range"},
        {IdBrowse, "Browse"},
        {IdShutDown, "Automatically Shut Down the computer when work finished"},
    };
    for (const auto& c : named) {
        SCOPED_TRACE(c.id);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(f.control(c.id));
        ASSERT_TRUE(accessible);
        EXPECT_EQ(accessible->text(QAccessible::Name), c.name);
    }
    // A field says its value; the label in front of it is told as its label.
    const struct
    {
        int id;
        const char* label;
    } labelled[] = {
        {IdMp4Profile, "Zune MP4 Profile"},  {IdWmvProfile, "Zune WMV Profile:"},
        {IdAudioBitrate, "Audio Quality"},   {IdVideoBitrate, "Video Quality"},
        {IdTitle, "Title (showed in Zune)"}, {IdOutputFolder, "Export Directory:"},
    };
    for (const auto& c : labelled) {
        SCOPED_TRACE(c.id);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(f.control(c.id));
        ASSERT_TRUE(accessible);
        QStringList labels;
        for (const auto& [other, relation] : accessible->relations(QAccessible::Label))
            labels << other->text(QAccessible::Name);
        EXPECT_EQ(labels, QStringList{c.label});
    }
}

// The focused control looks different from itself unfocused, for the controls that
// draw themselves; the others are the style's affair (see the shell's focus test).
TEST(MainWindowKeyboard, FocusIsVisibleOnTheControlsThatDrawThemselves)
{
    for (const bool withTasks : {false, true}) {
        SCOPED_TRACE(withTasks ? "with Tasks" : "empty list");
        WindowFixture f;
        if (withTasks)
            f.addThroughButton(standInSources(2));
        std::vector<int> ids{IdTaskList, IdAdd, IdStart};
        if (withTasks)
            ids.insert(ids.end(), {IdRemove, IdRemoveAll, IdPlay, IdStopPreview, IdRangeSlider});
        for (int id : ids) {
            SCOPED_TRACE(id);
            QWidget* widget = f.control(id);
            widget->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(widget->hasFocus());
            const QImage focused = widget->grab().toImage();
            f.control(IdHelp)->setFocus(Qt::TabFocusReason);
            ASSERT_FALSE(widget->hasFocus());
            const QImage unfocused = widget->grab().toImage();
            EXPECT_NE(focused, unfocused);
        }
    }
}

// Space presses the focused button. Start gives its focus to Stop, which takes its place,
// and Stop gives it back: a second Space stops, and never ticks the box that follows.
TEST(MainWindowKeyboard, SpaceStartsAndStopsWithTheFocusStaying)
{
    WindowFixture f;
    f.control<QLineEdit>(IdOutputFolder)->setText(QDir::tempPath());
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    f.addThroughButton(standInSources(2));
    f.control(IdStart)->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    ASSERT_TRUE(f.dlg().converting());
    EXPECT_EQ(focusId(), QString::number(IdStop));
    press(Qt::Key_Space);
    QElapsedTimer timer;
    timer.start();
    while (f.dlg().converting() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    ASSERT_FALSE(f.dlg().converting());
    EXPECT_EQ(focusId(), QString::number(IdStart));
    EXPECT_FALSE(f.dlg().shutdownWhenFinished());
}
