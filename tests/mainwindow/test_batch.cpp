// What the window lets the user do around a batch: what is greyed while it runs and
// with an empty list, which files it refuses to add, and what Start asks first.
#include "mainwindow/mainwindowtestsupport.h"

#include "common/testmedia.h"
#include "mainwindow/dialogtemplate.h"
#include "widgets/crangeslider.h"
#include "widgets/ctasklistctrl.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace dialog102;

namespace {

// Files that exist, in a folder of their own (the stand-in component reads nothing).
struct Sources
{
    QTemporaryDir dir;
    QString file(const QString& name, const QByteArray& bytes = "stand-in source")
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }
};

void waitUntilIdle(WindowFixture& f)
{
    QElapsedTimer timer;
    timer.start();
    while (f.dlg().converting() && timer.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

void clickRadio(QRadioButton* radio)
{
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
}

// Which of the window's controls can be used, by id.
QMap<int, bool> enabledControls(WindowFixture& f)
{
    QMap<int, bool> enabled;
    for (int id : {IdAdd,        IdRemove,       IdRemoveAll,   IdBrowse,     IdHelp,
                   IdPlay,       IdStopPreview,  IdRangeSlider, IdExportMp4,  IdExportWmv,
                   IdMp4Profile, IdWmvProfile,   IdTitle,       IdShutDown,   IdTaskList,
                   IdStop,       IdVideoType,    IdVideoSize,   IdFrameRate,  IdVideoBitrate,
                   IdAspect,     IdAudioBitrate, IdChannels,    IdSampleRate, IdVolume})
        enabled[id] = f.control(id)->isEnabled();
    return enabled;
}

} // namespace

TEST(MainWindowBatch, WhatABatchWouldIgnoreIsGreyedWhileItRuns)
{
    WindowFixture f;
    Sources sources;
    f.dlg().findChild<QLineEdit*>("1021")->setText(sources.dir.filePath("out"));
    QDir().mkpath(sources.dir.filePath("out"));
    f.addThroughButton({sources.file("a.avi"), sources.file("b.avi")});
    clickRadio(f.control<QRadioButton>(IdExportWmv)); // the selected Task becomes WMV
    clickRadio(f.control<QRadioButton>(IdExportMp4));
    const QMap<int, bool> before = enabledControls(f);
    EXPECT_TRUE(before[IdAdd] && before[IdRemove] && before[IdTitle] && before[IdVideoType]);

    // The first Task is a WMV conversion that runs until it is stopped.
    Task first = f.dlg().tasks().get(0);
    ASSERT_EQ(first.exportType, 0);
    QMap<int, bool> during;
    QTimer::singleShot(50, [&] {
        during = enabledControls(f);
        QTest::mouseClick(f.control<QPushButton>(IdStop), Qt::LeftButton);
    });
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    QTest::mouseClick(f.control<QPushButton>(IdStart), Qt::LeftButton);
    waitUntilIdle(f);

    ASSERT_FALSE(during.isEmpty());
    for (auto it = during.begin(); it != during.end(); ++it) {
        // The list scrolls, Stop and Help work and the shutdown box is read at the end;
        // the MP4 Profile is taken by the Tasks not converted yet; everything else would be
        // thrown away.
        const bool live = it.key() == IdTaskList || it.key() == IdStop || it.key() == IdHelp ||
                          it.key() == IdShutDown || it.key() == IdMp4Profile;
        EXPECT_EQ(it.value(), live) << "control " << it.key();
    }
    // Afterwards everything is as it was (the selected Task is a WMV one now).
    const QMap<int, bool> after = enabledControls(f);
    EXPECT_TRUE(after[IdAdd] && after[IdRemove] && after[IdRemoveAll] && after[IdBrowse]);
    EXPECT_TRUE(after[IdExportMp4] && after[IdWmvProfile] && after[IdRangeSlider]);
    EXPECT_FALSE(after[IdTitle]); // a WMV Task has no title of its own
    clickRadio(f.control<QRadioButton>(IdExportMp4));
    EXPECT_EQ(enabledControls(f).value(IdTitle), true);
    EXPECT_EQ(enabledControls(f).value(IdVideoType), true);
}

// Closing during a batch asks; "Keep Converting" keeps the window even when the batch
// ended while the question was open (its end message then stood over the question).
TEST(MainWindowBatch, KeepConvertingKeepsTheWindowThoughTheBatchEndedMeanwhile)
{
    WindowFixture f;
    Sources sources;
    f.dlg().findChild<QLineEdit*>("1021")->setText(sources.dir.filePath("out"));
    QDir().mkpath(sources.dir.filePath("out"));
    f.addThroughButton({sources.file("a.avi")});
    clickRadio(f.control<QRadioButton>(IdExportWmv)); // runs until it is stopped
    QTest::mouseClick(f.control<QPushButton>(IdStart), Qt::LeftButton);
    ASSERT_TRUE(f.dlg().converting());
    f.dlg().setQuestionBox([&](const QString&, const QString&, const QStringList&) {
        QTest::mouseClick(f.control<QPushButton>(IdStop), Qt::LeftButton);
        waitUntilIdle(f);
        return 1; // Keep Converting
    });
    EXPECT_FALSE(f.dlg().confirmClose());
}

// During a batch the first Task at work stays in view, unless the user has just scrolled.
TEST(MainWindowBatch, TheRunningTaskStaysInView)
{
    WindowFixture f;
    Sources sources;
    f.dlg().findChild<QLineEdit*>("1021")->setText(sources.dir.filePath("out"));
    QDir().mkpath(sources.dir.filePath("out"));
    clickRadio(f.control<QRadioButton>(IdExportWmv)); // WMV Tasks: the first runs until stopped
    QStringList files;
    for (int i = 0; i < 20; ++i)
        files << sources.file(QString("v%1.avi").arg(i));
    f.addThroughButton(files);
    auto* list = f.control<CTaskListCtrl>(IdTaskList);
    ASSERT_GT(list->GetTopIndex(), 0); // the last row, added and selected, is in view

    QTest::mouseClick(f.control<QPushButton>(IdStart), Qt::LeftButton);
    ASSERT_TRUE(f.dlg().converting());
    EXPECT_TRUE(eventually([&] { return list->GetTopIndex() == 0; }, 2000));

    list->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
    const int scrolled = list->GetTopIndex();
    EXPECT_GT(scrolled, 0);
    QTest::qWait(1500);
    EXPECT_EQ(list->GetTopIndex(), scrolled) << "left where the user looks";
    EXPECT_TRUE(eventually([&] { return list->GetTopIndex() == 0; }, 8000));

    QTest::mouseClick(f.control<QPushButton>(IdStop), Qt::LeftButton);
    waitUntilIdle(f);
}

TEST(MainWindowBatch, WithAnEmptyListNoChoiceIsLost)
{
    WindowFixture f;
    Sources sources;
    // What acts on a Task is greyed; the settings, the profiles and the title can be used
    // (a change then changes only the control).
    const QMap<int, bool> empty = enabledControls(f);
    for (int id : {IdRemove, IdRemoveAll, IdRangeSlider, IdPlay})
        EXPECT_FALSE(empty[id]) << id;
    for (int id : {IdAdd, IdBrowse, IdExportMp4, IdExportWmv, IdWmvProfile, IdMp4Profile, IdTitle,
                   IdVideoType, IdVolume})
        EXPECT_TRUE(empty[id]) << id;

    // The export type and WMV profile chosen with an empty list are the new Task's.
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    auto* wmv = f.control<QComboBox>(IdWmvProfile);
    wmv->setFocus();
    QTest::keyClick(wmv, Qt::Key_Down);
    QTest::keyClick(wmv, Qt::Key_Down);
    f.addThroughButton({sources.file("a.avi")});
    EXPECT_EQ(f.dlg().tasks().get(0).exportType, 1);
    EXPECT_EQ(f.dlg().tasks().get(0).wmvProfile, 2);

    // Start with nothing in the list says what to do.
    QTest::mouseClick(f.control<QPushButton>(IdRemoveAll), Qt::LeftButton);
    QTest::mouseClick(f.control<QPushButton>(IdStart), Qt::LeftButton);
    EXPECT_EQ(f.messages(), QStringList{"Information|Please add the videos to convert first"});
}

TEST(MainWindowBatch, FilesThatCannotBeConvertedAreRefusedWhenAdded)
{
    WindowFixture f(WindowFixture::kThreeProfiles, WindowFixture::OwnMedia);
    Sources sources;
    const QString good = testmedia::clip("avi");
    const QString sound = testmedia::audioOnly("wav");
    const QStringList files{
        sources.file("letter.avi", "Dear Zune,\nthis is not a film.\n"),
        good,
        sources.file("empty.avi", ""),
        sources.dir.filePath("gone.avi"),
        sound,
    };
    f.addThroughButton(files);
    ASSERT_EQ(f.dlg().tasks().size(), 2);
    EXPECT_EQ(f.dlg().tasks().get(0).sourcePath, good);
    EXPECT_EQ(f.dlg().tasks().get(1).sourcePath, sound); // sound alone converts too
    EXPECT_GT(f.dlg().tasks().get(0).endTime, 2.5);
    // One message names every refused file and why.
    ASSERT_EQ(f.messages().size(), 1);
    const QString message = f.messages().first();
    EXPECT_TRUE(message.startsWith("Warning|These files cannot be converted and were not added:"));
    for (const char* name :
         {"letter.avi: ", "empty.avi: The file is empty", "gone.avi: The file does not exist"})
        EXPECT_TRUE(message.contains(name)) << name << "\n" << message.toStdString();
    EXPECT_FALSE(message.contains(QFileInfo(good).fileName()));
}

// Two WMV Tasks of the stand-in component, converting into a folder of `sources`'s.
QString addTwoWmvTasks(WindowFixture& f, Sources& sources)
{
    const QString out = sources.dir.filePath("out");
    QDir().mkpath(out);
    f.dlg().findChild<QLineEdit*>("1021")->setText(out);
    f.media().completeAfterMs = 10;
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    f.addThroughButton({sources.file("a.avi"), sources.file("b.avi")});
    return out;
}

TEST(MainWindowBatch, StartAsksBeforeConvertingFinishedWorkAgain)
{
    WindowFixture f;
    Sources sources;
    const QString out = addTwoWmvTasks(f, sources);
    QStringList asked;
    int answer = -1;
    f.dlg().setQuestionBox([&](const QString& text, const QString&, const QStringList& buttons) {
        asked << text + " [" + buttons.join('|') + "]";
        return answer;
    });
    auto start = [&] {
        QTest::mouseClick(f.control<QPushButton>(IdStart), Qt::LeftButton);
        waitUntilIdle(f);
    };
    start(); // nothing converted yet: no question
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(QDir(out).entryList(QDir::Files), (QStringList{"a.wmv", "b.wmv"}));

    f.addThroughButton({sources.file("c.avi")});
    answer = 2; // Cancel
    start();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].startsWith("2 of the 3 videos in the list are converted already."));
    EXPECT_TRUE(asked[0].endsWith("[Only the Others|Convert All Again|Cancel]"));
    EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 2);

    answer = 0; // only the others: no numbered copies of finished work
    start();
    EXPECT_EQ(QDir(out).entryList(QDir::Files), (QStringList{"a.wmv", "b.wmv", "c.wmv"}));

    answer = 0; // everything is converted: all again, or nothing
    start();
    ASSERT_EQ(asked.size(), 3);
    EXPECT_TRUE(asked[2].endsWith("[Convert All Again|Cancel]"));
    EXPECT_EQ(QDir(out).entryList(QDir::Files).size(), 6); // the specified convert-all
}

// Files that will not fit in the room left are asked about before the first is written,
// rather than failing half-way on a full disk.
TEST(MainWindowBatch, StartAsksWhenTheFilesWillNotFit)
{
    WindowFixture f;
    Sources sources;
    const QString out = addTwoWmvTasks(f, sources);
    QString roomAskedOf;
    f.dlg().setFreeRoom([&](const QString& folder) {
        roomAskedOf = folder;
        return qint64(300 * 1024);
    });
    QStringList asked;
    int answer = 1;
    f.dlg().setQuestionBox([&](const QString& text, const QString&, const QStringList& buttons) {
        asked << text + " [" + buttons.join('|') + "]";
        return answer;
    });
    // Before Start, the line under the list says it already.
    f.control<QRadioButton>(IdExportMp4)->click();
    f.control<QRadioButton>(IdExportWmv)->click();
    EXPECT_TRUE(f.control<QLabel>(IdBatchProgress)
                    ->text()
                    .endsWith("300 KB free in the output "
                              "folder · will not fit"))
        << f.control<QLabel>(IdBatchProgress)->text().toStdString();
    QTest::mouseClick(f.control<QPushButton>(IdStart), Qt::LeftButton);
    EXPECT_FALSE(f.dlg().converting());
    EXPECT_EQ(roomAskedOf, out);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains(", but only 300 KB is free in " + out)) << asked[0].toStdString();
    EXPECT_TRUE(asked[0].endsWith("[Convert Anyway|Cancel]"));
    EXPECT_TRUE(QDir(out).isEmpty());

    answer = 0;
    QTest::mouseClick(f.control<QPushButton>(IdStart), Qt::LeftButton);
    waitUntilIdle(f);
    EXPECT_EQ(QDir(out).entryList(QDir::Files), (QStringList{"a.wmv", "b.wmv"}));
}

TEST(MainWindowBatch, StartLooksAtTheOutputFolderFirst)
{
    WindowFixture f;
    clickRadio(f.control<QRadioButton>(IdExportWmv));
    f.addThroughButton(standInSources(1));
    QTemporaryDir root;
    const QString folder = root.path() + "/videos";
    ASSERT_TRUE(QDir().mkdir(folder));
    f.dlg().setFolderChooser([&] { return folder; });
    QTest::mouseClick(f.control<QPushButton>(IdBrowse), Qt::LeftButton);
    ASSERT_EQ(f.control<QLineEdit>(IdOutputFolder)->text(), folder);
    auto* start = f.control<QPushButton>(IdStart);

    // Gone since it was chosen: made again only when the user agrees.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    QStringList asked;
    int answer = 1;
    f.dlg().setQuestionBox([&](const QString& text, const QString&, const QStringList& buttons) {
        asked << text;
        EXPECT_EQ(buttons, (QStringList{"Make It Again", "Cancel"}));
        return answer;
    });
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_FALSE(f.dlg().converting());
    EXPECT_FALSE(QFileInfo::exists(folder));
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.first().contains("does not exist any more")) << asked.first().toStdString();
    answer = 0;
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_TRUE(f.dlg().converting());
    QTest::mouseClick(f.control<QPushButton>(IdStop), Qt::LeftButton);
    ASSERT_TRUE(eventually([&] { return !f.dlg().converting(); }, 30000));

    // Its parent gone too: nothing is invented, the user is told.
    f.messages().clear();
    ASSERT_TRUE(QDir(root.path()).removeRecursively());
    QTest::mouseClick(start, Qt::LeftButton);
    EXPECT_FALSE(f.dlg().converting());
    EXPECT_EQ(asked.size(), 2);
    ASSERT_EQ(f.messages().size(), 1);
    EXPECT_TRUE(f.messages().first().contains("nor the folder that held it"));
    EXPECT_FALSE(QFileInfo::exists(folder));
    clearUserSettings();
}

TEST(MainWindowBatch, AFolderThatCannotBeWrittenIsSaidAtBrowseAndAtStart)
{
    QTemporaryDir root;
    const QString locked = root.path() + "/locked";
    ASSERT_TRUE(QDir().mkdir(locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(locked).isWritable())
        GTEST_SKIP() << "this user writes into read-only folders (root)";
    WindowFixture f;
    f.addThroughButton(standInSources(1));
    const QString before = f.control<QLineEdit>(IdOutputFolder)->text();
    f.dlg().setFolderChooser([&] { return locked; });
    QTest::mouseClick(f.control<QPushButton>(IdBrowse), Qt::LeftButton);
    EXPECT_EQ(f.control<QLineEdit>(IdOutputFolder)->text(), before) << "the folder is not taken";
    ASSERT_EQ(f.messages().size(), 1);
    EXPECT_TRUE(f.messages().first().contains("You cannot write into this folder"));
    f.control<QLineEdit>(IdOutputFolder)->setText(locked);
    QTest::mouseClick(f.control<QPushButton>(IdStart), Qt::LeftButton);
    EXPECT_FALSE(f.dlg().converting());
    ASSERT_EQ(f.messages().size(), 2);
    EXPECT_TRUE(f.messages().last().contains("read-only"));
}
