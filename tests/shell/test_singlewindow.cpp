// One window per user: later starts hand their files to the open window, also when two
// starts race, after a crash, and never wait forever on a window that does not answer.
// The real programs run with folders of the test's own, and are ended by their pid.
#include "common/testmedia.h"
#include "shell/singleinstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Session
{
    QTemporaryDir work;
    QString runtime = work.path() + "/runtime";

    Session()
    {
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(work.path() + "/videos");
    }
    QString clip(const QString& name)
    {
        const QString path = work.path() + "/videos/" + name;
        if (!QFile::exists(path)) {
            EXPECT_TRUE(QFile::copy(testmedia::clip("avi"), path));
        }
        return path;
    }
    QString socket() const { return runtime + "/trelvo-converter.socket"; }
    // The program as the desktop starts it, or the walk-through tool (the same start-up)
    // running `script`.
    std::unique_ptr<QProcess> start(const QStringList& files, const QString& script = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", work.path() + "/config");
        env.insert("XDG_DATA_HOME", work.path() + "/data");
        env.insert("XDG_STATE_HOME", work.path() + "/state");
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        auto program = std::make_unique<QProcess>();
        program->setProcessChannelMode(QProcess::MergedChannels);
        if (!script.isEmpty()) {
            QFile file(work.path() + "/script-" + QString::number(++m_scripts));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(script.toUtf8());
            env.insert("TRELVO_WALKTHROUGH", file.fileName());
        }
        program->setProcessEnvironment(env);
        program->start(script.isEmpty() ? TRELVO_BIN_DIR "/trelvo-converter"
                                        : TRELVO_BIN_DIR "/trelvo-walkthrough",
                       files);
        EXPECT_TRUE(program->waitForStarted());
        return program;
    }
    bool waitForSocket(int ms = 20000) const
    {
        QElapsedTimer timer;
        timer.start();
        while (!QFileInfo::exists(socket()) && timer.elapsed() < ms)
            QThread::msleep(50);
        return QFileInfo::exists(socket());
    }

private:
    int m_scripts = 0;
};

QString finish(QProcess& program, int ms = 60000)
{
    if (!program.waitForFinished(ms)) {
        program.kill(); // this test's own process, by its pid
        program.waitForFinished();
        ADD_FAILURE() << "did not end";
    }
    return QString::fromUtf8(program.readAll());
}

} // namespace

TEST(SingleWindow, ALaterStartHandsItsFilesToTheOpenWindowAndEnds)
{
    Session s;
    const QString first = s.clip("first.avi");
    const QString second = s.clip("second.avi");
    auto window = s.start({first}, "wait-rows 2\nrows\nquit\n");
    ASSERT_TRUE(s.waitForSocket());

    // Without files it only brings the window to the front.
    auto plain = s.start({});
    finish(*plain, 20000);
    EXPECT_EQ(plain->exitCode(), 0);
    auto later = s.start({second});
    const QString laterOutput = finish(*later, 20000);
    EXPECT_EQ(later->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(later->exitCode(), 0) << laterOutput.toStdString();

    const QString output = finish(*window);
    EXPECT_EQ(window->exitCode(), 0);
    EXPECT_TRUE(output.contains("row 0: first.avi")) << output.toStdString();
    EXPECT_TRUE(output.contains("row 1: second.avi")) << output.toStdString();
    EXPECT_FALSE(output.contains("row 2")) << output.toStdString();
    // The one window kept both files.
    QFile kept(s.work.path() + "/data/trelvo-converter/tasks.json");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    const QByteArray list = kept.readAll();
    EXPECT_TRUE(list.contains("first.avi") && list.contains("second.avi")) << list.data();
}

TEST(SingleWindow, OfTwoStartsAtOnceOneOpensTheWindowAndTheOtherHandsOver)
{
    Session s;
    const QString script = "wait-rows 2\nrows\nquit\n";
    auto a = s.start({s.clip("a.avi")}, script);
    auto b = s.start({s.clip("b.avi")}, script);
    const QString outputA = finish(*a);
    const QString outputB = finish(*b);
    EXPECT_EQ(a->exitCode(), 0) << outputA.toStdString();
    EXPECT_EQ(b->exitCode(), 0) << outputB.toStdString();
    // Exactly one window listed both files; the other start opened none.
    const QString& window = outputA.contains("row 0:") ? outputA : outputB;
    const QString& other = outputA.contains("row 0:") ? outputB : outputA;
    EXPECT_TRUE(window.contains("a.avi") && window.contains("b.avi")) << window.toStdString();
    EXPECT_FALSE(window.contains("row 2"));
    EXPECT_FALSE(other.contains("row 0:")) << other.toStdString();
}

TEST(SingleWindow, AWindowThatCrashedLeavesNothingInTheWay)
{
    Session s;
    auto crashing = s.start({}, "wait 120000\n");
    ASSERT_TRUE(s.waitForSocket());
    crashing->kill(); // SIGKILL: the socket and the lock stay behind
    crashing->waitForFinished();
    ASSERT_TRUE(QFileInfo::exists(s.socket()));

    auto next = s.start({s.clip("next.avi")}, "wait-rows 1\nrows\nquit\n");
    const QString output = finish(*next);
    EXPECT_EQ(next->exitCode(), 0);
    EXPECT_TRUE(output.contains("row 0: next.avi")) << output.toStdString();
}

TEST(SingleWindow, AWindowThatDoesNotAnswerIsReportedInTime)
{
    QTemporaryDir folder;
    auto running = std::make_unique<SingleInstance>(folder.path());
    ASSERT_EQ(running->claim({}), SingleInstance::Claim::First);
    // This thread runs no event loop meanwhile: the window hangs.
    SingleInstance later(folder.path());
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(later.claim({"/videos/a.avi"}, 800), SingleInstance::Claim::NoAnswer);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(later.serverPid(), QCoreApplication::applicationPid());

    // Once its program has ended, the next start serves.
    running.reset();
    SingleInstance after(folder.path());
    EXPECT_EQ(after.claim({}, 800), SingleInstance::Claim::First);
}

// The paths a start hands over go only to a window of the same user's: never through a
// folder someone else made, could write in or linked, nor to another user's listener.
TEST(SingleWindow, NothingIsHandedToAFolderOrAListenerNotTheUsersOwn)
{
    QTemporaryDir work;
    const QString open = work.path() + "/open", linked = work.path() + "/linked";
    ASSERT_TRUE(QDir().mkpath(open));
    ::chmod(QFile::encodeName(open).constData(), 0777);
    ASSERT_TRUE(QFile::link(work.path(), linked));
    for (const QString& folder : {open, linked})
        EXPECT_EQ(SingleInstance(folder).claim({"/videos/a.avi"}, 800),
                  SingleInstance::Claim::Alone)
            << folder.toStdString();

    if (::getuid() != 0)
        GTEST_SKIP() << "making another user's folder needs root";
    const uint other = 65534; // nobody
    const QString theirs = work.path() + "/theirs";
    ASSERT_EQ(::mkdir(QFile::encodeName(theirs).constData(), 0700), 0);
    ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), other, other), 0);
    QLocalServer listener;
    ASSERT_TRUE(listener.listen(theirs + "/trelvo-converter.socket"));
    QByteArray received;
    QObject::connect(&listener, &QLocalServer::newConnection, [&] {
        QLocalSocket* socket = listener.nextPendingConnection();
        QObject::connect(socket, &QLocalSocket::readyRead,
                         [&, socket] { received += socket->readAll(); });
    });
    // Their folder: not even looked into.
    EXPECT_EQ(SingleInstance(theirs).claim({"/videos/a.avi"}, 800), SingleInstance::Claim::Alone);
    // As that user, the folder passes, but whoever listens runs as another.
    EXPECT_EQ(SingleInstance(theirs, nullptr, other).claim({"/videos/a.avi"}, 800),
              SingleInstance::Claim::Alone);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(received.isEmpty()) << received.toStdString();
}
