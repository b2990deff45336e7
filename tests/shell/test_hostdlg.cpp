// The host window: its geometry, and closing it during a batch.
#include "common/testmedia.h"
#include "engine/programfolder.h"
#include "engine/standins.h"
#include "mainwindow/cquenmardlg.h"
#include "mainwindow/dialogtemplate.h"
#include "shell/chostdlg.h"
#include "shell/cskinengine.h"
#include "shell/hostrig.h"
#include "widgets/ctasklistctrl.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <gtest/gtest.h>

namespace {

// Runs until told: "q" on its input finishes the file; it notes its process id.
const char* const kUntilTold = R"(#!/bin/bash
echo $$ > "$1.pid"
i=0
while true; do
  i=$((i+1))
  printf 'frame=%5d fps= 25 size=%8skB time=%d.00 bitrate= 500.0kbits/s\n' $i $((i*10)) $i
  if read -t 0.1 -n 1 c && [ "$c" = q ]; then echo done > "$1"; exit 0; fi
done
)";

bool processAlive(pid_t pid)
{
    return ::kill(pid, 0) == 0;
}

} // namespace

TEST(HostWindow, PlacesTheMainWindowInside)
{
    FakePower power;
    CSkinEngine skin;
    CHostDlg host(skin, power);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    EXPECT_EQ(host.pos(), QPoint(0, 0));
    EXPECT_EQ(host.frameGeometry().size(), QSize(692, 590));
    // Its layout is 669 pixels wide; it reaches the window's right edge, so that its
    // art fills the window.
    EXPECT_EQ(host.mainWindow()->geometry(), QRect(2, 2, host.width() - 2, 608));
    EXPECT_TRUE(host.windowTitle().startsWith("Trelvo Converter V"));
}

TEST(HostWindow, F1OpensTheSameHelpAsTheButtonAlsoWithoutABrowser)
{
    FakePower power;
    CSkinEngine skin;
    CHostDlg host(skin, power);
    QList<QUrl> asked;
    host.mainWindow()->setUrlOpener([&](const QUrl& url) {
        asked << url;
        return false; // no browser
    });
    host.OnHelp(); // what F1 does
    EXPECT_EQ(asked, QList<QUrl>{CQuenmarDlg::helpUrl()});
    EXPECT_TRUE(asked.value(0).fragment().isEmpty()) << "the top of the page";
    auto* window = host.mainWindow()->findChild<QDialog*>("helpWindow");
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
}

// Made larger, the window gives the room to the list (more rows, wider Source and Export)
// and keeps everything else where it stands beside or below the list.
TEST(HostWindow, ALargerWindowGivesItsRoomToTheListAndIsRemembered)
{
    const QSize more(300, 200);
    QSize left;
    {
        HostRig rig;
        auto* list = rig.main().findChild<CTaskListCtrl*>("1011");
        auto* start = rig.main().findChild<QWidget*>("1048");
        ASSERT_EQ(list->geometry(), dialog102::rectOf(1011));
        ASSERT_EQ(start->geometry(), dialog102::rectOf(1048));
        const int rows = list->GetCountPerPage();
        const int source = list->GetColumnWidth(0);
        const int exportWidth = list->GetColumnWidth(3);

        rig.host->resize(rig.host->size() + more);
        // The preview takes half the height, keeping its shape; the list the rest.
        auto* preview = rig.main().findChild<QWidget*>("1053");
        EXPECT_EQ(preview->geometry(), dialog102::rectOf(1053).adjusted(0, 0, 132, 100));
        EXPECT_EQ(list->geometry(), dialog102::rectOf(1011).adjusted(0, 100, 300, 200));
        EXPECT_EQ(start->geometry(), dialog102::rectOf(1048).translated(300, 200));
        EXPECT_EQ(rig.main().findChild<QWidget*>("1022")->geometry(),
                  dialog102::rectOf(1022).translated(300, 100));
        EXPECT_GT(list->GetCountPerPage(), rows + 5);
        // Source and Export share the room, so that a long Export name reads too.
        EXPECT_EQ(list->GetColumnWidth(0) + list->GetColumnWidth(3), source + exportWidth + 300);
        EXPECT_GE(list->GetColumnWidth(3), exportWidth + 149);
        // Nothing is left standing on the list or the preview.
        for (const auto& control : dialog102::controls()) {
            auto* widget = rig.main().findChild<QWidget*>(QString::number(control.id));
            if (!widget || !widget->isVisible())
                continue;
            if (control.id != 1011 && control.id != dialog102::IdListFrame) {
                EXPECT_FALSE(widget->geometry().intersects(list->geometry())) << control.id;
            }
            if (control.id != 1053 && control.id != dialog102::IdFadePicture) {
                EXPECT_FALSE(widget->geometry().intersects(preview->geometry())) << control.id;
            }
        }
        EXPECT_EQ(rig.main().geometry().right(), rig.host->width() - 1);
        EXPECT_GE(rig.main().geometry().bottom(), rig.host->height() - 1);
        left = rig.host->size();
        rig.host->close();
    }
    HostRig again;
    EXPECT_EQ(again.host->size(), left);
    EXPECT_TRUE(waitUntil(
        [&] {
            return again.main().findChild<QWidget*>("1011")->geometry() ==
                   dialog102::rectOf(1011).adjusted(0, 100, 300, 200);
        },
        5000))
        << again.main().findChild<QWidget*>("1011")->geometry().width() << " x "
        << again.main().findChild<QWidget*>("1011")->geometry().height() << " in "
        << again.host->width() << " x " << again.host->height() << ", frame "
        << again.host->frameGeometry().width() << ", at least " << again.host->minimumWidth();
    // Back to the layout's own size for the tests after this one.
    again.host->resize(CHostDlg::kOuterSize);
    again.host->close();
}

// What a later start of the program hands over: the window comes to the front, and the
// files go through Add's checks.
TEST(HostWindow, HandedOverFilesAreAddedAsAddAddsThem)
{
    HostRig rig;
    rig.host->showMinimized();
    const QString clip = rig.app.path("handed.avi");
    ASSERT_TRUE(QFile::copy(testmedia::clip("avi"), clip));
    rig.host->TakeFiles({clip, rig.app.path("nowhere.avi")});
    EXPECT_FALSE(rig.host->isMinimized());
    ASSERT_EQ(rig.main().tasks().size(), 1);
    EXPECT_EQ(rig.main().tasks().get(0).sourcePath, clip);
    ASSERT_EQ(rig.messages.size(), 1);
    EXPECT_TRUE(rig.messages[0].contains("nowhere.avi")) << rig.messages[0].toStdString();
    rig.host->TakeFiles({}); // only to the front
    EXPECT_EQ(rig.main().tasks().size(), 1);
}

TEST(HostWindow, ClosingDuringABatchAsksThenStopsTheEncoderFirst)
{
    StandInApp app;
    app.addProfile("untiltold.sh", kUntilTold, "\"$OUTPUT_FILE\"");
    setProgramFolder(app.path(""));
    FakePower power;
    CSkinEngine skin;
    CHostDlg host(skin, power);
    CQuenmarDlg* main = host.mainWindow();
    QStringList messages;
    main->setMessageBox([&](const QString& text, const QString&, BatchHost::MessageIcon) {
        messages << text.trimmed();
    });
    main->findChild<QLineEdit*>("1021")->setText(app.out());
    // The stand-in encoder reads nothing, but the batch checks that the source is media.
    const QString source = app.path("source.avi");
    ASSERT_TRUE(QFile::copy(testmedia::clip("avi"), source));
    main->AddFiles({source});
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));

    QString outputPath;
    pid_t encoder = 0;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const QStringList pids = QDir(app.out()).entryList({"*.pid"});
        if (pids.isEmpty() || main->tasks().get(0).outputKB <= 0)
            return;
        QFile pidFile(app.out() + "/" + pids.first());
        pidFile.open(QIODevice::ReadOnly);
        encoder = pid_t(pidFile.readAll().trimmed().toInt());
        outputPath = app.out() + "/" + pids.first().chopped(4);
        poll.stop();
        // As the window's close button does. The first time the user keeps converting.
        host.close();
        EXPECT_TRUE(host.isVisible());
        EXPECT_TRUE(main->converting());
        EXPECT_TRUE(processAlive(encoder));
        host.close();
    });
    QStringList questions;
    main->setQuestionBox([&](const QString& text, const QString&, const QStringList& buttons) {
        questions << text;
        EXPECT_EQ(buttons, (QStringList{"Stop and Quit", "Keep Converting"}));
        return questions.size() == 1 ? 1 : 0;
    });
    poll.start();
    QTimer::singleShot(15000, &host, [&] { host.close(); }); // never hang the test
    QTest::mouseClick(main->findChild<QPushButton*>("1048"), Qt::LeftButton);
    // Start returns at once: the batch runs on from events until the window closes.
    QElapsedTimer timer;
    timer.start();
    while (host.isVisible() && timer.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    ASSERT_GT(encoder, 0);
    EXPECT_FALSE(main->converting());
    EXPECT_FALSE(host.isVisible());
    EXPECT_FALSE(processAlive(encoder)) << "the encoder outlived the window";
    EXPECT_EQ(main->driver().runner().runningEncoders(), 0);
    EXPECT_TRUE(QFile::exists(outputPath)) << "the encoder was asked to finish its file";
    EXPECT_TRUE(messages.isEmpty()) << "no message after the window closed";
    ASSERT_EQ(questions.size(), 2);
    EXPECT_TRUE(questions[0].startsWith("A conversion is running. Stop it and quit?"));
}
