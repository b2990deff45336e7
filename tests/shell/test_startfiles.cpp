// Opening the program with files, as the desktop's "Open with" does: they become Tasks.
#include "common/qtprinters.h"
#include "common/testmedia.h"
#include "mainwindow/cquenmardlg.h"
#include "shell/cquenmarapp.h"
#include "shell/hostrig.h"
#include "shell/startfiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

TEST(StartFiles, RelativePathsAndFileUrlsBecomeFullPaths)
{
    const QString here = "/home/ann/Videos";
    const struct
    {
        QString argument;
        QString path;
    } cases[] = {
        {"clip.avi", "/home/ann/Videos/clip.avi"},
        {"./trip/day 1.mov", "/home/ann/Videos/trip/day 1.mov"},
        {"../Desktop/talk.wmv", "/home/ann/Desktop/talk.wmv"},
        {"/media/usb/party.rm", "/media/usb/party.rm"},
        {"file:///home/ann/My%20Clip%231.avi", "/home/ann/My Clip#1.avi"},
        {"FILE:///tmp/a.mpg", "/tmp/a.mpg"},
        {"file:relative.3gp", "/home/ann/Videos/relative.3gp"},
        // Names that only look like something else are files like any other.
        {"file%3A.avi", "/home/ann/Videos/file%3A.avi"},
        {"-dash.avi", "/home/ann/Videos/-dash.avi"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(startFiles({c.argument}, here), QStringList{c.path}) << c.argument.toStdString();
    EXPECT_EQ(startFiles({"a.avi", "", "b.avi"}, here),
              QStringList({"/home/ann/Videos/a.avi", "/home/ann/Videos/b.avi"}));
    EXPECT_TRUE(startFiles({}, here).isEmpty());
}

TEST(StartUp, TheWindowOpensWithTheFilesItWasStartedWith)
{
    StandInApp folder;
    QStringList sources;
    for (const char* name : {"first.avi", "second.mov"}) {
        sources << folder.path(name);
        ASSERT_TRUE(QFile::copy(testmedia::clip(QFileInfo(name).suffix()), sources.last()));
    }
    FakePower power;
    CQuenmarApp app(&power);
    app.setStartFiles(sources);
    QStringList added;
    app.setHostHook([&](CHostDlg& host) {
        auto* poll = new QTimer(&host);
        QObject::connect(poll, &QTimer::timeout, [&host, &added] {
            const TaskList& tasks = host.mainWindow()->tasks();
            if (tasks.size() < 2 && host.isVisible())
                return;
            for (int i = 0; i < tasks.size(); ++i)
                added << tasks.get(i).sourcePath;
            host.close();
        });
        poll->start(20);
        QTimer::singleShot(20000, &host, &CHostDlg::close); // never hang the test
    });
    app.run();
    EXPECT_EQ(added, sources);
}

// The program itself, started the way "Open with" starts it: the walk-through tool runs
// the same start-up and prints the list's rows.
TEST(StartUp, FilesOnTheCommandLineBecomeTasks)
{
    QTemporaryDir work;
    QDir().mkpath(work.path() + "/videos/sub dir");
    const QString relative = "beach.avi";
    const QString spaced = work.path() + "/videos/sub dir/birth day.mov";
    ASSERT_TRUE(QFile::copy(testmedia::clip("avi"), work.path() + "/videos/" + relative));
    ASSERT_TRUE(QFile::copy(testmedia::clip("mov"), spaced));
    QFile script(work.path() + "/script");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("wait-rows 2\nrows\nquit\n");
    script.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", work.path() + "/config");
    env.insert("XDG_DATA_HOME", work.path() + "/data");
    // A runtime folder of its own: no window of another run takes the files.
    QDir().mkpath(work.path() + "/runtime");
    QFile::setPermissions(work.path() + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", work.path() + "/runtime");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TRELVO_WALKTHROUGH", script.fileName());
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.setWorkingDirectory(work.path() + "/videos");
    program.start(TRELVO_BIN_DIR "/trelvo-walkthrough",
                  {relative, QUrl::fromLocalFile(spaced).toString(QUrl::FullyEncoded)});
    ASSERT_TRUE(program.waitForFinished(60000));
    const QString output = QString::fromUtf8(program.readAll());
    EXPECT_EQ(program.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("row 0: beach.avi")) << output.toStdString();
    EXPECT_TRUE(output.contains("row 1: birth day.mov")) << output.toStdString();
    EXPECT_FALSE(output.contains("row 2")) << output.toStdString();
}

TEST(StartUp, TheDesktopEntryPassesTheFilesItOpens)
{
    QFile entry(TRELVO_SOURCE_DIR "/cmake/trelvo-converter.desktop");
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList execLines;
    for (const QString& line : QString::fromUtf8(entry.readAll()).split('\n'))
        if (line.startsWith("Exec="))
            execLines << line;
    EXPECT_EQ(execLines, QStringList{"Exec=trelvo-converter %F"});
}
