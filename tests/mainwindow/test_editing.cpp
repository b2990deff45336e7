// Building the Task list and editing the selected Task through the real widgets.
#include "mainwindow/mainwindowtestsupport.h"
#include "mainwindow/taskcells.h"

#include "common/qtprinters.h"

#include "common/testmedia.h"
#include "engine/progressdisplay.h"
#include "engine/tasklistfile.h"
#include "mainwindow/dialogtemplate.h"
#include "widgets/crangeslider.h"
#include "widgets/ctasklistctrl.h"

#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace dialog102;

namespace {

CTaskListCtrl* listOf(WindowFixture& f)
{
    return f.control<CTaskListCtrl>(IdTaskList);
}

void clickRow(WindowFixture& f, int row)
{
    CTaskListCtrl* list = listOf(f);
    list->EnsureVisible(row, false);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->GetCellRect(row, 0).center());
}

void chooseItem(QComboBox* combo, int item)
{
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < item; ++i)
        QTest::keyClick(combo, Qt::Key_Down);
}

void clickRadio(QRadioButton* radio)
{
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
}

} // namespace

TEST(MainWindowEditing, AddingARealMediaFile)
{
    WindowFixture f;
    f.media().durations["/video/clip.rmvb"] = 42.0;
    f.addThroughButton({"/video/first.avi"});
    f.addThroughButton({"/video/clip.rmvb"});

    const CQuenmarDlg& dlg = f.dlg();
    ASSERT_EQ(dlg.tasks().size(), 2);
    EXPECT_EQ(dlg.selectedTaskIndex(), 1);
    EXPECT_EQ(listOf(f)->GetSelectionMark(), 1);
    EXPECT_EQ(listOf(f)->GetSelectedItem(), 1);
    const Task task = dlg.tasks().get(1);
    EXPECT_EQ(task.isRealMedia, 1);
    EXPECT_EQ(task.title, "clip");
    EXPECT_EQ(task.endTime, 42.0);
    EXPECT_EQ(f.control<QLineEdit>(IdTitle)->text(), "clip");
    EXPECT_TRUE(f.control(IdTitle)->isVisible());
    EXPECT_TRUE(f.control(IdMediaComponent)->isVisible());
    EXPECT_FALSE(f.control(IdFadePicture)->isVisible());
    auto* slider = f.control<CRangeSlider>(IdRangeSlider);
    EXPECT_EQ(slider->GetMax(), 42.0);
    EXPECT_EQ(slider->GetSelection(), std::make_pair(0.0, 42.0));
    EXPECT_EQ(listOf(f)->GetCellRequest(1, 0)->text, "clip.rmvb");
    EXPECT_EQ(listOf(f)->GetCellRequest(1, 3)->text, "clip.mp4");
}

TEST(MainWindowEditing, SeveralFilesAndDroppedFilesBecomeTasksInOrder)
{
    WindowFixture f;
    f.addThroughButton(standInSources(3));
    QTemporaryDir dir;
    QStringList dropped;
    QList<QUrl> urls;
    for (const char* name : {"b.mov", "a.3gp"}) {
        dropped << dir.path() + "/" + name;
        QFile(dropped.last()).open(QIODevice::WriteOnly);
        urls << QUrl::fromLocalFile(dropped.last());
    }
    urls << QUrl::fromLocalFile(dir.path()); // a folder is no video
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = listOf(f)->geometry().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&f.dlg(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&f.dlg(), &drop);

    const QStringList expected = standInSources(3) + dropped;
    ASSERT_EQ(f.dlg().tasks().size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_EQ(f.dlg().tasks().get(i).sourcePath, expected[i]);
    EXPECT_EQ(f.dlg().selectedTaskIndex(), 4);
}

TEST(MainWindowEditing, AddingInWmvModeTakesTheShownWmvProfile)
{
    WindowFixture f;
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    auto* wmv = f.control<QComboBox>(IdWmvProfile);
    chooseItem(wmv, 2);
    ASSERT_EQ(wmv->currentIndex(), 2);
    f.addThroughButton({"/video/a.avi"});
    const Task task = f.dlg().tasks().get(0);
    EXPECT_EQ(task.exportType, 1);
    EXPECT_EQ(task.wmvProfile, 2);
    EXPECT_EQ(wmv->currentIndex(), 2) << "the box shows the new Task's profile";
    EXPECT_FALSE(f.control(IdTitle)->isVisible());
    EXPECT_EQ(listOf(f)->GetCellRequest(0, 3)->text, "a.wmv");
}

TEST(MainWindowEditing, RemovingRows)
{
    WindowFixture f;
    f.addThroughButton(standInSources(3));
    auto* remove = f.control<QPushButton>(IdRemove);
    QTest::mouseClick(remove, Qt::LeftButton); // the last of three
    ASSERT_EQ(f.dlg().tasks().size(), 2);
    EXPECT_EQ(f.dlg().selectedTaskIndex(), 1);
    EXPECT_EQ(listOf(f)->GetSelectionMark(), 1);
    EXPECT_EQ(f.control<QLineEdit>(IdTitle)->text(), "clip1");

    QTest::mouseClick(f.control<QPushButton>(IdRemoveAll), Qt::LeftButton);
    f.addThroughButton({"/v/only.avi"});
    chooseItem(f.control<QComboBox>(IdVideoSize), 1);
    QTest::mouseClick(remove, Qt::LeftButton); // the only row
    EXPECT_EQ(f.dlg().tasks().size(), 0);
    EXPECT_EQ(f.dlg().selectedTaskIndex(), -1);
    EXPECT_EQ(f.control<QComboBox>(IdVideoSize)->currentIndex(), 0);
    EXPECT_EQ(f.control<QLineEdit>(IdTitle)->text(), "");
    EXPECT_EQ(f.control<CRangeSlider>(IdRangeSlider)->GetMax(), 120.0);
    EXPECT_EQ(f.media().entries("Reset").size(), 2);

    // Nothing to remove: nothing happens.
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(f.dlg().selectedTaskIndex(), -1);
}

TEST(MainWindowEditing, RemoveAllAsksBeforeEmptyingALongerList)
{
    WindowFixture f;
    f.addThroughButton(standInSources(3));
    QStringList asked;
    int answer = 1;
    f.dlg().setQuestionBox([&](const QString& text, const QString&, const QStringList& buttons) {
        asked << text;
        EXPECT_EQ(buttons, (QStringList{"Remove All", "Keep Them"}));
        return answer;
    });
    auto* removeAll = f.control<QPushButton>(IdRemoveAll);
    for (int kept : {1, -1}) { // "Keep Them", or the question closed
        answer = kept;
        QTest::mouseClick(removeAll, Qt::LeftButton);
        EXPECT_EQ(f.dlg().tasks().size(), 3);
    }
    ASSERT_EQ(asked.size(), 2);
    EXPECT_TRUE(asked.first().startsWith("Remove all 3 videos from the list?"));
    answer = 0;
    QTest::mouseClick(removeAll, Qt::LeftButton);
    EXPECT_EQ(f.dlg().tasks().size(), 0);
    // One row goes without a question, as Remove would take it.
    f.addThroughButton({"/v/only.avi"});
    QTest::mouseClick(removeAll, Qt::LeftButton);
    EXPECT_EQ(f.dlg().tasks().size(), 0);
    EXPECT_EQ(asked.size(), 3);
}

TEST(MainWindowEditing, ListKeys)
{
    const struct
    {
        int rows;
        int start; // -1: no selection mark
        Qt::Key key;
        int expected;
    } cases[] = {
        {10, 0, Qt::Key_PageDown, 3}, {10, 8, Qt::Key_PageDown, 9}, {10, 9, Qt::Key_PageDown, 9},
        {5, -1, Qt::Key_PageDown, 2}, {10, 2, Qt::Key_PageUp, 0},   {10, 7, Qt::Key_PageUp, 4},
        {10, 0, Qt::Key_Up, 0},       {10, 4, Qt::Key_Up, 3},       {10, 4, Qt::Key_Down, 5},
        {10, 9, Qt::Key_Down, 9},     {10, 5, Qt::Key_Home, 0},     {10, 5, Qt::Key_End, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.rows << " rows, from " << c.start << ", key " << c.key);
        WindowFixture f;
        f.addThroughButton(standInSources(c.rows));
        CTaskListCtrl* list = listOf(f);
        if (c.start >= 0)
            clickRow(f, c.start);
        else
            list->SetSelectionMark(-1);
        const int loadsBefore = f.media().durationCalls;
        QTest::keyClick(list, c.key);
        EXPECT_EQ(f.dlg().selectedTaskIndex(), c.expected);
        EXPECT_EQ(list->GetSelectionMark(), c.expected);
        EXPECT_EQ(list->GetSelectedItem(), c.expected);
        const bool moved = c.start != c.expected;
        EXPECT_EQ(f.media().durationCalls - loadsBefore, moved ? 1 : 0) << "reloads";
        EXPECT_EQ(f.control<QLineEdit>(IdTitle)->text(), QStringLiteral("clip%1").arg(c.expected));
    }
}

TEST(MainWindowEditing, ClickBelowTheRowsKeepsTheSelectedRow)
{
    WindowFixture f;
    f.addThroughButton(standInSources(3));
    clickRow(f, 1);
    CTaskListCtrl* list = listOf(f);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(40, list->viewport()->height() - 5));
    EXPECT_EQ(f.dlg().selectedTaskIndex(), 1);
    EXPECT_EQ(list->GetSelectedItem(), 1);
    EXPECT_EQ(f.control<QLineEdit>(IdTitle)->text(), "clip1");
}

TEST(MainWindowEditing, SettingChangesOnlyItsFieldOfTheSelectedTask)
{
    WindowFixture f;
    f.addThroughButton(standInSources(3));
    clickRow(f, 2);
    const Task before = f.dlg().tasks().get(2);
    chooseItem(f.control<QComboBox>(IdVideoSize), 1);
    ASSERT_EQ(f.control<QComboBox>(IdVideoSize)->currentText(), "640 x 480");
    Task expected = before;
    expected.videoSize = 1;
    const Task after = f.dlg().tasks().get(2);
    EXPECT_EQ(after.videoSize, 1);
    EXPECT_EQ(after.videoType, before.videoType);
    EXPECT_EQ(after.videoBitrate, before.videoBitrate);
    EXPECT_EQ(after.audioBitrate, before.audioBitrate);
    EXPECT_EQ(after.title, before.title);
    EXPECT_EQ(f.dlg().tasks().get(1).videoSize, 0);

    // Selecting the row again shows what the Task holds.
    clickRow(f, 0);
    EXPECT_EQ(f.control<QComboBox>(IdVideoSize)->currentIndex(), 0);
    clickRow(f, 2);
    EXPECT_EQ(f.control<QComboBox>(IdVideoSize)->currentIndex(), 1);
}

TEST(MainWindowEditing, OnlyTheFirstProfileLetsTheSettingsBeChosen)
{
    WindowFixture f;
    f.addThroughButton(standInSources(2));
    auto settingsEnabled = [&] {
        int enabled = 0;
        for (int id = kFirstSetting; id <= kLastSetting; ++id)
            enabled += f.control(id)->isEnabled();
        return enabled;
    };
    auto* profile = f.control<QComboBox>(IdMp4Profile);
    chooseItem(profile, 2);
    EXPECT_EQ(settingsEnabled(), 0);
    EXPECT_EQ(f.dlg().tasks().get(1).mp4Profile, 2);
    clickRow(f, 0);
    EXPECT_EQ(settingsEnabled(), kSettingCount);
    clickRow(f, 1);
    EXPECT_EQ(settingsEnabled(), 0);
    EXPECT_EQ(profile->currentIndex(), 2);
    chooseItem(profile, 0);
    EXPECT_EQ(settingsEnabled(), kSettingCount);
    EXPECT_EQ(f.dlg().tasks().get(1).mp4Profile, 0);

    // Added while a Task on a fixed Profile is selected: the new Task, on Custom, is
    // selected with its settings free, not greyed by the row selected before.
    chooseItem(profile, 2);
    ASSERT_EQ(settingsEnabled(), 0);
    f.addThroughButton(standInSources(1));
    ASSERT_EQ(f.dlg().tasks().size(), 3);
    EXPECT_EQ(f.dlg().tasks().get(2).mp4Profile, 0);
    EXPECT_EQ(settingsEnabled(), kSettingCount);
}

namespace {

// Profiles whose templates ask for values the boxes have items for, and for values
// they have none for.
const char* const kFixedProfiles =
    "[Info]\nDefaultProfile=0\n"
    "[profile0]\nTitle=Custom\nCommand0=./trelvo-encoder -i \"$INPUT_FILE\" $VCODEC -s $SIZE "
    "-b $VIDEOBITRATE \"$OUTPUT_FILE\"\n"
    "[profile1]\nTitle=Widescreen\nCommand0=./trelvo-encoder -i \"$INPUT_FILE\" -vcodec xvid "
    "-s 640x480 -r 29.97 -b 2000 -aspect 16:9 -ac 1 -ab 96 -ar 22050 -vol 512 \"$OUTPUT_FILE\"\n"
    "[profile2]\nTitle=Odd sizes\nCommand0=./trelvo-encoder -i \"$INPUT_FILE\" -vcodec h264 "
    "-s 480x272 -r 25 -b 1000 -aspect 4:3 -ac 2 -ab 100 -ar 48000 -vol 300 \"$OUTPUT_FILE\"\n";

const int kSettingIds[] = {IdVideoType,    IdVideoSize, IdFrameRate,  IdVideoBitrate, IdAspect,
                           IdAudioBitrate, IdChannels,  IdSampleRate, IdVolume};

// The items the nine boxes show, in the order of kSettingIds.
std::vector<int> shownItems(WindowFixture& f)
{
    std::vector<int> items;
    for (int id : kSettingIds)
        items.push_back(f.control<QComboBox>(id)->currentIndex());
    return items;
}

} // namespace

TEST(MainWindowEditing, AFixedProfileShowsItsOwnValuesGreyed)
{
    WindowFixture f(kFixedProfiles);
    f.addThroughButton(standInSources(2));
    // The Custom Profile's values of Task 1 differ from every fixed Profile's.
    chooseItem(f.control<QComboBox>(IdVideoType), 0);
    chooseItem(f.control<QComboBox>(IdVideoBitrate), 0);
    chooseItem(f.control<QComboBox>(IdVolume), 7);
    const std::vector<int> custom{0, 0, 0, 0, 0, 4, 1, 2, 7};
    ASSERT_EQ(shownItems(f), custom);

    // type, size, rate, video, aspect, audio, channels, sample rate, volume
    const std::vector<int> widescreen{0, 1, 0, 5, 1, 6, 0, 5, 3};
    // A value no item stands for is shown as the Profile's own, an item after the box's.
    const std::vector<int> oddSizes{1, 2, 1, 6, 0, 14, 1, 2, 8};
    auto* profile = f.control<QComboBox>(IdMp4Profile);
    chooseItem(profile, 1);
    EXPECT_EQ(shownItems(f), widescreen);
    chooseItem(profile, 2);
    EXPECT_EQ(shownItems(f), oddSizes);
    EXPECT_EQ(f.control<QComboBox>(IdVideoSize)->currentText(), "480 x 272");
    EXPECT_EQ(f.control<QComboBox>(IdFrameRate)->currentText(), "25 fps");
    EXPECT_EQ(f.control<QComboBox>(IdVideoBitrate)->currentText(), "1000 kbps");
    EXPECT_EQ(f.control<QComboBox>(IdVolume)->currentText(), "117%");
    for (int id : kSettingIds)
        EXPECT_FALSE(f.control(id)->isEnabled()) << id;
    EXPECT_EQ(f.dlg().tasks().get(1).videoBitrate, 0) << "showing a Profile changes no setting";

    // Selecting a Task shows its Profile's values, never the last Task's; back on the
    // Custom Profile the Task's own values return.
    clickRow(f, 0);
    EXPECT_EQ(shownItems(f), (std::vector<int>{1, 0, 0, 3, 0, 4, 1, 2, 1}));
    clickRow(f, 1);
    EXPECT_EQ(shownItems(f), oddSizes);
    chooseItem(profile, 0);
    EXPECT_EQ(shownItems(f), custom);
    for (int id : kSettingIds) {
        EXPECT_TRUE(f.control(id)->isEnabled()) << id;
        EXPECT_EQ(f.control<QComboBox>(id)->count(), int(settingItems(id).size()))
            << id << ": a Profile's own value cannot be chosen";
    }

    // Without a Task the boxes show what a new Task starts with; they can still be used,
    // and a change then changes only the box.
    QTest::mouseClick(f.control<QPushButton>(IdRemoveAll), Qt::LeftButton);
    EXPECT_EQ(shownItems(f), (std::vector<int>{1, 0, 0, 3, 0, 4, 1, 2, 1}));
    EXPECT_TRUE(profile->isEnabled());
}

TEST(MainWindowEditing, AWmvTaskShowsItsOwnValues)
{
    WindowFixture f(kFixedProfiles);
    // Task 0: MP4 with the Custom Profile and the first WMV profile.
    f.addThroughButton({"/video/first.avi"});
    chooseItem(f.control<QComboBox>(IdVideoSize), 1);
    // Task 1: WMV with the third WMV profile, the second MP4 Profile and its own title.
    f.addThroughButton({"/video/second.avi"});
    chooseItem(f.control<QComboBox>(IdMp4Profile), 1);
    f.control<QLineEdit>(IdTitle)->setText("Wmv clip");
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    chooseItem(f.control<QComboBox>(IdWmvProfile), 2);
    ASSERT_EQ(f.dlg().tasks().get(0).exportType, 0);
    ASSERT_EQ(f.dlg().tasks().get(1).exportType, 1);
    ASSERT_EQ(f.dlg().tasks().get(1).wmvProfile, 2);

    clickRow(f, 0);
    EXPECT_EQ(f.control<QComboBox>(IdWmvProfile)->currentIndex(), 0);
    clickRow(f, 1);
    EXPECT_EQ(f.dlg().exportMode(), 1);
    EXPECT_EQ(f.control<QLineEdit>(IdTitle)->text(), "Wmv clip");
    EXPECT_EQ(f.control<QComboBox>(IdWmvProfile)->currentIndex(), 2);
    EXPECT_EQ(f.control<QComboBox>(IdMp4Profile)->currentIndex(), 1);
    // The greyed boxes show what the WMV profile writes: 640 x 480 in WMV 8 at 1500 kbps,
    // 128 kbps stereo sound at 44100 Hz.
    EXPECT_EQ(shownItems(f), (std::vector<int>{2, 1, 0, 4, 0, 8, 1, 3, 1}));
    EXPECT_EQ(f.control<QComboBox>(IdVideoType)->currentText(), "WMV 8");
    chooseItem(f.control<QComboBox>(IdWmvProfile), 1);
    EXPECT_EQ(f.control<QComboBox>(IdVideoSize)->currentText(), "320 x 180");
    EXPECT_EQ(f.control<QComboBox>(IdAspect)->currentText(), "16:9");
    chooseItem(f.control<QComboBox>(IdWmvProfile), 2);

    // Switched to MP4, the boxes show what the Task's MP4 Profile writes.
    clickRadio(f.control<QRadioButton>(IdExportMp4));
    EXPECT_EQ(shownItems(f), (std::vector<int>{0, 1, 0, 5, 1, 6, 0, 5, 3}));
    EXPECT_EQ(f.dlg().tasks().get(1).mp4Profile, 1);
    EXPECT_EQ(f.dlg().tasks().get(1).title, "Wmv clip");
    for (int id : kSettingIds)
        EXPECT_FALSE(f.control(id)->isEnabled()) << id;
}

TEST(MainWindowEditing, TypingATitle)
{
    WindowFixture f;
    f.addThroughButton(standInSources(2));
    auto* title = f.control<QLineEdit>(IdTitle);
    title->selectAll();
    QTest::keyClicks(title, "Holiday");
    const Task task = f.dlg().tasks().get(1);
    EXPECT_EQ(task.title, "Holiday");
    EXPECT_EQ(task.exportName, "Holiday");
    EXPECT_EQ(listOf(f)->GetCellRequest(1, 3)->text, "Holiday.mp4");
    EXPECT_EQ(f.dlg().tasks().get(0).title, "clip0");

    title->setText(QString(300, u'x'));
    EXPECT_EQ(f.dlg().tasks().get(1).title, QString(255, u'x'));
}

TEST(MainWindowEditing, ExportTypeRadios)
{
    WindowFixture f;
    f.addThroughButton(standInSources(2));
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    EXPECT_EQ(f.dlg().exportMode(), 1);
    EXPECT_EQ(f.dlg().tasks().get(1).exportType, 1);
    EXPECT_EQ(f.dlg().tasks().get(0).exportType, 0);
    EXPECT_FALSE(f.control(IdMp4Profile)->isVisible());
    EXPECT_FALSE(f.control(IdMp4ProfileLabel)->isVisible());
    EXPECT_TRUE(f.control(IdWmvProfile)->isVisible());
    EXPECT_TRUE(f.control(IdWmvProfileLabel)->isVisible());
    EXPECT_FALSE(f.control(IdTitle)->isEnabled());
    for (int id = kFirstSetting; id <= kLastSetting; ++id)
        EXPECT_FALSE(f.control(id)->isEnabled()) << id;
    EXPECT_EQ(listOf(f)->GetCellRequest(1, 3)->text, "clip1.wmv");

    // Loading an MP4 Task switches the mode back, radios included; loading the WMV Task
    // again switches. A file added then takes the type the radios show.
    auto* mp4 = f.control<QRadioButton>(IdExportMp4);
    auto* wmv = f.control<QRadioButton>(IdExportWmv);
    clickRow(f, 0);
    EXPECT_EQ(f.dlg().exportMode(), 0);
    EXPECT_TRUE(f.control(IdMp4Profile)->isVisible());
    EXPECT_TRUE(mp4->isChecked());
    EXPECT_FALSE(wmv->isChecked());
    f.addThroughButton({"/videos/third.avi"});
    EXPECT_EQ(f.dlg().tasks().get(2).exportType, 0);
    EXPECT_TRUE(mp4->isChecked());
    clickRow(f, 1);
    EXPECT_EQ(f.dlg().exportMode(), 1);
    EXPECT_TRUE(wmv->isChecked());
    EXPECT_FALSE(mp4->isChecked());

    // A second click on the checked radio changes nothing.
    Task changed = f.dlg().tasks().get(1);
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    EXPECT_EQ(f.dlg().tasks().get(1).exportType, changed.exportType);
    EXPECT_EQ(f.dlg().exportMode(), 1);
}

// Showing a Task is no edit: going from a WMV row to an MP4 row keeps the names of the
// files both were written to.
TEST(MainWindowEditing, SelectingRowsKeepsTheirWrittenFiles)
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/tasks.json";
    const QStringList sources = standInSources(2);
    TaskList kept;
    for (int type : {0, 1}) {
        Task task = makeTask(sources[type], 10.0, type, 0);
        task.outputPath = dir.path() + (type == 0 ? "/clip0_2.mp4" : "/clip1_2.wmv");
        kept.add(task);
    }
    ASSERT_TRUE(saveTaskList(kept, file));

    WindowFixture f(WindowFixture::kThreeProfiles, WindowFixture::RecordedMedia, file);
    clickRow(f, 1);
    clickRow(f, 0);
    ASSERT_EQ(f.dlg().exportMode(), 0);
    EXPECT_EQ(f.dlg().tasks().get(0).outputPath, kept.get(0).outputPath);
    EXPECT_EQ(f.dlg().tasks().get(1).outputPath, kept.get(1).outputPath);
    EXPECT_EQ(listOf(f)->GetCellRequest(0, 3)->text, "clip0_2.mp4");
}

TEST(MainWindowEditing, ResetInEachMode)
{
    WindowFixture f;
    f.addThroughButton(standInSources(1));
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    QTest::mouseClick(f.control<QPushButton>(IdRemoveAll), Qt::LeftButton);
    EXPECT_FALSE(f.control(IdTitle)->isVisible());

    clickRadio(f.control<QRadioButton>(IdExportMp4));
    f.addThroughButton(standInSources(1));
    QTest::mouseClick(f.control<QPushButton>(IdRemoveAll), Qt::LeftButton);
    EXPECT_TRUE(f.control(IdTitle)->isVisible());
    EXPECT_TRUE(f.control(IdTitleLabel)->isVisible());
    EXPECT_EQ(f.control<QLineEdit>(IdTitle)->text(), "");
}

TEST(MainWindowEditing, EveryEditingActionIsRefusedDuringABatch)
{
    WindowFixture f;
    f.dlg().findChild<QLineEdit*>("1021")->setText(QDir::tempPath());
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    f.addThroughButton(standInSources(3));
    clickRadio(f.control<QRadioButton>(IdExportMp4));
    clickRow(f, 1);
    clickRadio(f.control<QRadioButton>(IdExportWmv));

    bool checked = false;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(f.dlg().converting());
        QVector<Task> before;
        for (int i = 0; i < f.dlg().tasks().size(); ++i)
            before << f.dlg().tasks().get(i);

        f.dlg().setFileChooser([] { return QStringList{"/v/late.avi"}; });
        QTest::mouseClick(f.control<QPushButton>(IdAdd), Qt::LeftButton);
        QTest::mouseClick(f.control<QPushButton>(IdRemove), Qt::LeftButton);
        QTest::mouseClick(f.control<QPushButton>(IdRemoveAll), Qt::LeftButton);
        clickRow(f, 2);
        QTest::keyClick(listOf(f), Qt::Key_Home);
        QTest::keyClick(listOf(f), Qt::Key_PageDown);
        clickRadio(f.control<QRadioButton>(IdExportMp4));
        chooseItem(f.control<QComboBox>(IdWmvProfile), 2);
        f.control<QLineEdit>(IdTitle)->setText("late title");
        auto* slider = f.control<CRangeSlider>(IdRangeSlider);
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Left);
        f.dlg().setFolderChooser([] { return QStringLiteral("/elsewhere"); });
        QTest::mouseClick(f.control<QPushButton>(IdBrowse), Qt::LeftButton);

        EXPECT_EQ(f.dlg().tasks().size(), before.size());
        for (int i = 0; i < before.size(); ++i) {
            const Task now = f.dlg().tasks().get(i);
            EXPECT_EQ(now.sourcePath, before[i].sourcePath);
            EXPECT_EQ(now.title, before[i].title);
            EXPECT_EQ(now.exportType, before[i].exportType);
            EXPECT_EQ(now.wmvProfile, before[i].wmvProfile);
            EXPECT_EQ(now.startTime, before[i].startTime);
            EXPECT_EQ(now.endTime, before[i].endTime);
        }
        EXPECT_EQ(f.dlg().selectedTaskIndex(), 1);
        EXPECT_EQ(listOf(f)->GetSelectionMark(), 1);
        EXPECT_NE(f.control<QLineEdit>(IdOutputFolder)->text(), "/elsewhere");
        checked = true;
        QTest::mouseClick(f.control<QPushButton>(IdStop), Qt::LeftButton);
    });
    QTest::mouseClick(f.control<QPushButton>(IdStart), Qt::LeftButton);
    // Start returns at once; the batch runs on from events until the check stops it.
    QElapsedTimer timer;
    timer.start();
    while (f.dlg().converting() && timer.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_TRUE(checked);
    EXPECT_FALSE(f.dlg().converting());
    EXPECT_TRUE(f.control(IdStart)->isVisible());
    ASSERT_EQ(f.messages().size(), 1);
    EXPECT_TRUE(f.messages()[0].startsWith("Information|Converting Stopped: 0 converted, "))
        << f.messages()[0].toStdString();
}

TEST(MainWindowEditing, TheListSurvivesARestart)
{
    // Where the program keeps it: the data folder that the test's main set.
    const QString file = userTaskListPath();
    ASSERT_TRUE(file.startsWith(qEnvironmentVariable("XDG_DATA_HOME") + "/"));
    QFile::remove(file);
    QTemporaryDir dir;
    const QString vanishing = dir.path() + "/vanishing.avi";
    QFile(vanishing).open(QIODevice::WriteOnly);
    {
        WindowFixture f(WindowFixture::kThreeProfiles, WindowFixture::RecordedMedia, file);
        EXPECT_EQ(f.dlg().tasks().size(), 0);
        f.addThroughButton(standInSources(2) + QStringList{vanishing});
        clickRow(f, 0);
        f.control<QLineEdit>(IdTitle)->setFocus();
        QTest::keyClick(f.control<QLineEdit>(IdTitle), Qt::Key_End);
        // Typed as a keyboard layout with these letters would: each key brings its text.
        for (const QChar c : QString::fromUtf8(" – été")) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(f.control<QLineEdit>(IdTitle), &press);
        }
        clickRow(f, 1);
        clickRadio(f.control<QRadioButton>(IdExportWmv));
        // Saved while the window is open, not only when it closes.
        ASSERT_TRUE(eventually([&] { return QFile::exists(file); }, 3000));
    }
    QFile::remove(vanishing);

    WindowFixture again(WindowFixture::kThreeProfiles, WindowFixture::RecordedMedia, file);
    const TaskList& tasks = again.dlg().tasks();
    ASSERT_EQ(tasks.size(), 3);
    EXPECT_EQ(tasks.get(0).sourcePath, standInSources(2)[0]);
    EXPECT_EQ(tasks.get(0).title, QString::fromUtf8("clip0 – été"));
    EXPECT_EQ(tasks.get(0).exportName, QString::fromUtf8("clip0 – été"));
    EXPECT_EQ(tasks.get(1).exportType, 1);
    EXPECT_EQ(tasks.get(2).sourcePath, vanishing);
    EXPECT_EQ(listOf(again)->GetItemCount(), 3);
    EXPECT_EQ(again.dlg().selectedTaskIndex(), 0);
    EXPECT_EQ(again.control<QLineEdit>(IdTitle)->text(), QString::fromUtf8("clip0 – été"));
    // A restored row is as one just added: the preview in the splash picture's place,
    // and the title with its label.
    for (const int id : {IdMediaComponent, IdTitle, IdTitleLabel})
        EXPECT_TRUE(again.control(id)->isVisible()) << id;
    EXPECT_FALSE(again.control(IdFadePicture)->isVisible());
    // The vanished source is still listed, and its row says what became of it.
    EXPECT_TRUE(listOf(again)->GetCellRequest(2, 4)->text.contains("missing"))
        << listOf(again)->GetCellRequest(2, 4)->text.toStdString();
    EXPECT_TRUE(again.messages().isEmpty());
}

TEST(MainWindowEditing, ASourceDeletedSinceItWasAddedIsMarkedWhenSelected)
{
    WindowFixture f;
    QTemporaryDir dir;
    const QString gone = dir.path() + "/gone.avi";
    QFile(gone).open(QIODevice::WriteOnly);
    // The file system says what the recording component cannot.
    f.dlg().setSourceChecker(
        [](const QString& path) { return QFileInfo::exists(path) ? QString() : QString("gone"); });
    f.media().durations[gone] = 20.0;
    f.addThroughButton(standInSources(1) + QStringList{gone});
    auto* slider = f.control<CRangeSlider>(IdRangeSlider);
    slider->SetSelection(2.0, 15.5);
    emit slider->rangeChanged(2, 1);
    clickRow(f, 0);
    QFile::remove(gone);
    f.media().durations[gone] = 0.0; // its length can no longer be read
    f.media().log.clear();

    clickRow(f, 1);
    const Task task = f.dlg().tasks().get(1);
    EXPECT_TRUE(task.failed);
    EXPECT_TRUE(task.failureKind == FailureKind::SourceMissing);
    EXPECT_TRUE(
        listOf(f)->GetCellRequest(1, ColumnProgress)->text.contains("source file is missing"))
        << listOf(f)->GetCellRequest(1, ColumnProgress)->text.toStdString();
    // The trim is kept, and the slider shows it rather than a range of nothing.
    EXPECT_EQ(task.startTime, 2.0);
    EXPECT_EQ(task.endTime, 15.5);
    EXPECT_EQ(slider->GetSelection(), std::make_pair(2.0, 15.5));
    EXPECT_EQ(listOf(f)->GetCellRequest(1, ColumnEnd)->text, "00:00:15.5");
    // No picture of a file that is not there, nor tracks: the preview says why.
    EXPECT_TRUE(f.media().entries("Still").isEmpty()) << f.media().log.join(", ").toStdString();
    EXPECT_EQ(f.media().entries("ClearPicture").size(), 1);
    EXPECT_EQ(f.control<QComboBox>(IdAudioTrack)->count(), 0);
    auto* note = f.dlg().findChild<QLabel*>("sourceMissingNote");
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text().remove(QChar(0x200B)), "The source file is missing:\n" + gone);

    // Put back, it is as it was before: a click on its row looks again.
    QFile(gone).open(QIODevice::WriteOnly);
    clickRow(f, 1);
    EXPECT_FALSE(f.dlg().tasks().get(1).failed);
    EXPECT_FALSE(listOf(f)->GetCellRequest(1, ColumnProgress)->text.contains("Failed"))
        << listOf(f)->GetCellRequest(1, ColumnProgress)->text.toStdString();
    EXPECT_FALSE(note->isVisible());
}

// The selected row is shown whole, also when it is added at the foot of a full list.
TEST(MainWindowEditing, ANewRowIsAddedWhollyInView)
{
    WindowFixture f;
    const QStringList sources = standInSources(14);
    for (int i = 0; i < sources.size(); ++i) {
        f.addThroughButton({sources[i]});
        EXPECT_TRUE(listOf(f)->viewport()->rect().contains(listOf(f)->GetCellRect(i, 0)))
            << "row " << i << " at " << listOf(f)->GetCellRect(i, 0).y() << " of "
            << listOf(f)->viewport()->height();
    }
}

TEST(MainWindowEditing, TwoWindowsNeverBothWriteTheKeptList)
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/tasks.json";
    auto first = std::make_unique<WindowFixture>(WindowFixture::kThreeProfiles,
                                                 WindowFixture::RecordedMedia, file);
    auto second = std::make_unique<WindowFixture>(WindowFixture::kThreeProfiles,
                                                  WindowFixture::RecordedMedia, file);
    ASSERT_TRUE(eventually([&] { return second->messages().size() == 1; }, 2000));
    EXPECT_TRUE(second->messages().front().startsWith(
        "Warning|Another Trelvo Converter window keeps the list of files."))
        << second->messages().front().toStdString();
    EXPECT_TRUE(first->messages().isEmpty());
    first->addThroughButton(standInSources(2));
    second->addThroughButton(standInSources(1));
    // The window that closes last does not overwrite the other's list with its own.
    first.reset();
    second.reset();
    const TaskListLoad kept = loadTaskList(file);
    EXPECT_EQ(kept.tasks.size(), 2);
    // The list is free again once its window is gone.
    EXPECT_TRUE(lockTaskList(file) != nullptr);
}

TEST(MainWindowEditing, ADamagedListIsSetAsideWithAMessage)
{
    QTemporaryDir dir;
    const QString file = dir.path() + "/tasks.json";
    QFile damaged(file);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("{\"version\":1,\"tasks\":[{\"sourcePath\":");
    damaged.close();

    WindowFixture f(WindowFixture::kThreeProfiles, WindowFixture::RecordedMedia, file);
    EXPECT_EQ(f.dlg().tasks().size(), 0);
    ASSERT_TRUE(eventually([&] { return f.messages().size() == 1; }, 2000));
    EXPECT_TRUE(f.messages().front().contains("tasks.json.damaged-"))
        << f.messages().front().toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList({"tasks.json.damaged-*"}).size(), 1);
}

TEST(MainWindowEditing, AConvertedRowShowsItsLog)
{
    QTemporaryDir dir;
    const QString log = dir.path() + "/run.log";
    QFile(log).open(QIODevice::WriteOnly);
    TaskList kept;
    Task failed = makeTask(standInSources(1)[0], 10.0, 0, 0);
    failed.failed = 1;
    failed.failureReason = "The encoder stopped";
    failed.logPath = log;
    kept.add(failed);
    kept.add(makeTask(standInSources(2)[1], 10.0, 0, 0)); // not converted yet: no log
    ASSERT_TRUE(saveTaskList(kept, dir.path() + "/tasks.json"));

    WindowFixture f(WindowFixture::kThreeProfiles, WindowFixture::RecordedMedia,
                    dir.path() + "/tasks.json");
    QList<QUrl> opened;
    f.dlg().setUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    clickRow(f, 0);
    QTest::keyClick(listOf(f), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(log)});

    // The row's menu offers the same.
    CTaskListCtrl* list = listOf(f);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, list->GetCellRect(0, 0).center());
    auto* menu = f.dlg().findChild<QMenu*>("listMenu");
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions().front()->text(), "Show log");
    menu->actions().front()->trigger();
    EXPECT_EQ(opened.size(), 2);
    menu->close();

    // A row without a log says so instead.
    clickRow(f, 1);
    QTest::keyClick(listOf(f), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(opened.size(), 2);
    ASSERT_EQ(f.messages().size(), 1);
    EXPECT_TRUE(f.messages().front().contains("no log")) << f.messages().front().toStdString();
}

// A converted row's menu plays its file and shows it in its folder, while it is there.
TEST(MainWindowEditing, AConvertedRowOffersItsFile)
{
    QTemporaryDir dir;
    const QString made = dir.path() + "/clip0.mp4";
    QFile(made).open(QIODevice::WriteOnly);
    TaskList kept;
    Task done = makeTask(standInSources(2)[0], 10.0, 0, 0);
    done.finished = 1;
    done.outputPath = made;
    done.logPath = dir.path() + "/run.log";
    kept.add(done);
    done.sourcePath = standInSources(2)[1];
    done.outputPath = dir.path() + "/deleted since.mp4";
    kept.add(done);
    ASSERT_TRUE(saveTaskList(kept, dir.path() + "/tasks.json"));
    WindowFixture f(WindowFixture::kThreeProfiles, WindowFixture::RecordedMedia,
                    dir.path() + "/tasks.json");
    QList<QUrl> opened;
    f.dlg().setUrlOpener([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    const auto menuOf = [&f](int row) -> QMenu* {
        CTaskListCtrl* list = listOf(f);
        QTest::mouseClick(list->viewport(), Qt::RightButton, {},
                          list->GetCellRect(row, 0).center());
        for (QMenu* menu : f.dlg().findChildren<QMenu*>("listMenu")) {
            if (menu->isVisible())
                return menu;
        }
        return nullptr;
    };
    const auto texts = [](QMenu* menu) {
        QStringList said;
        for (const QAction* action : menu->actions())
            said << action->text();
        return said;
    };

    QMenu* menu = menuOf(0);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts(menu), (QStringList{"Play", "Show in Folder", "Show log"}));
    menu->actions().front()->trigger();
    EXPECT_EQ(opened, QList<QUrl>{QUrl::fromLocalFile(made)});
    menu->close();

    menu = menuOf(1);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts(menu), QStringList{"Show log"});
    menu->close();
}

// The Audio and Subtitles boxes list the selected Task's tracks and a subtitles file
// beside its source; what is chosen is kept in that Task alone, and choosing the file's
// own default sound again is no choice at all.
TEST(MainWindowEditing, TheAudioAndSubtitlesBoxesChooseForTheSelectedTask)
{
    QTemporaryDir dir;
    const QString cue =
        testmedia::cue(dir.filePath("film.srt"), "00:00:01,000", "00:00:02,000", "HELLO");
    ASSERT_FALSE(cue.isEmpty());
    const QString film = dir.filePath("film.mkv");
    ASSERT_EQ(testmedia::run("ffmpeg",
                             QStringList{"-v", "error"} +
                                 testmedia::filmArgs("160x120", 1, 440, 880, cue,
                                                     {"-metadata:s:a:0", "language=eng",
                                                      "-metadata:s:a:1", "language=fre", film})),
              0);
    WindowFixture f;
    f.addThroughButton(QStringList{film} + standInSources(1));
    auto* audio = f.control<QComboBox>(IdAudioTrack);
    auto* subtitles = f.control<QComboBox>(IdSubtitles);
    clickRow(f, 0);
    ASSERT_EQ(audio->count(), 2);
    EXPECT_EQ(audio->currentText(), "1: English, AC-3 mono");
    EXPECT_EQ(audio->itemText(1), "2: French, AC-3 mono");
    ASSERT_EQ(subtitles->count(), 3);
    EXPECT_EQ(subtitles->currentText(), "None");
    EXPECT_EQ(subtitles->itemText(1), "1: SRT");
    EXPECT_EQ(subtitles->itemText(2), "File: film.srt");

    chooseItem(audio, 1);
    chooseItem(subtitles, 2);
    Task task = f.dlg().tasks().get(0);
    EXPECT_EQ(task.audioTrack, 2);
    EXPECT_EQ(task.subtitleFile, cue);
    EXPECT_EQ(task.subtitleTrack, 0);
    EXPECT_EQ(f.dlg().tasks().get(1).audioTrack, 0);

    // Another row shows its own (no sound here), and coming back shows the choices.
    clickRow(f, 1);
    EXPECT_EQ(audio->currentText(), "No sound");
    EXPECT_EQ(subtitles->currentText(), "None");
    clickRow(f, 0);
    EXPECT_EQ(audio->currentIndex(), 1);
    EXPECT_EQ(subtitles->currentIndex(), 2);

    chooseItem(audio, 0);
    chooseItem(subtitles, 1);
    task = f.dlg().tasks().get(0);
    EXPECT_EQ(task.audioTrack, 0);
    EXPECT_EQ(task.subtitleTrack, 1);
    EXPECT_TRUE(task.subtitleFile.isEmpty());

    // A WMV Task chooses as well.
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    clickRow(f, 1);
    clickRow(f, 0);
    ASSERT_EQ(f.dlg().tasks().get(0).exportType, 1);
    ASSERT_TRUE(audio->isEnabled());
    EXPECT_TRUE(subtitles->isEnabled());
    chooseItem(audio, 1);
    EXPECT_EQ(f.dlg().tasks().get(0).audioTrack, 2);
}

// A forced track in the sound's language is taken by an added film, shown at once; a
// sound track of another language changes it while the user has not chosen subtitles.
TEST(MainWindowEditing, ForcedSubtitlesFollowTheSoundUntilTheUserChooses)
{
    QTemporaryDir dir;
    const QString cue =
        testmedia::cue(dir.filePath("cue.srt"), "00:00:00,200", "00:00:00,800", "BONJOUR");
    ASSERT_FALSE(cue.isEmpty());
    const QString film = dir.filePath("film.mkv");
    ASSERT_EQ(
        testmedia::run(
            "ffmpeg", QStringList{"-v", "error"} +
                          testmedia::filmArgs("160x120", 1, 440, 880, cue,
                                              {"-metadata:s:a:0", "language=eng", "-metadata:s:a:1",
                                               "language=fre", "-metadata:s:s:0", "language=fre",
                                               "-disposition:s:0", "forced", film})),
        0);
    WindowFixture f;
    f.addThroughButton(standInSources(1) + QStringList{film});
    auto* audio = f.control<QComboBox>(IdAudioTrack);
    auto* subtitles = f.control<QComboBox>(IdSubtitles);
    // The boxes show the film's tracks without a click on its row.
    ASSERT_EQ(audio->count(), 2);
    ASSERT_EQ(subtitles->count(), 2);
    EXPECT_EQ(subtitles->currentIndex(), 0);
    EXPECT_EQ(f.dlg().tasks().get(1).subtitleTrack, 0);

    chooseItem(audio, 1);
    EXPECT_EQ(subtitles->currentIndex(), 1);
    EXPECT_EQ(f.dlg().tasks().get(1).subtitleTrack, 1);
    chooseItem(audio, 0);
    EXPECT_EQ(f.dlg().tasks().get(1).subtitleTrack, 0);

    // Chosen by the user, the subtitles stay.
    chooseItem(audio, 1);
    chooseItem(subtitles, 0);
    chooseItem(audio, 0);
    chooseItem(audio, 1);
    EXPECT_EQ(f.dlg().tasks().get(1).subtitleTrack, 0);
    // The preview plays what will be converted.
    chooseItem(subtitles, 1);
    f.media().log.clear();
    QTest::mouseClick(f.control<QPushButton>(IdPlay), Qt::LeftButton);
    EXPECT_EQ(f.media().entries("PreviewChoices"), QStringList{"PreviewChoices 2 1"});
}

// A cell too narrow for its text shows it whole in a tooltip.
TEST(MainWindowEditing, ACutCellShowsItsWholeTextInATooltip)
{
    WindowFixture f;
    f.dlg().show();
    f.addThroughButton(standInSources(1));
    const QString title = QString(60, u'w');
    f.control<QLineEdit>(IdTitle)->setText(title);
    auto* list = f.control<CTaskListCtrl>(IdTaskList);
    const QPoint at = list->GetCellRect(0, ColumnExport).center();
    QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(list->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), title + ".mp4");
}
