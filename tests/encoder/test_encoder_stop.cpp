// Stopping the encoder by "q" and by signals, as terminals, users and a dying program
// send them: "q" finishes a file that plays, whatever signals follow; a signal alone is
// a failure, and leaves no file under the output's name nor a half one beside it.
#include "encoder/encoderrun.h"

#include "common/testmedia.h"
#include "encoder/protocol/encoderprotocol.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>

using namespace encoderrun;

namespace {

// A stop keeps what was converted: more than the second waited for, less than the
// 30 s source.
void expectFinishedEarly(const QString& output)
{
    EXPECT_TRUE(decodesCleanly(output));
    const double seconds = testmedia::probeDuration(output);
    EXPECT_GE(seconds, 1.0);
    EXPECT_LT(seconds, 25.0);
    const QStringList boxes = topLevelBoxes(output);
    EXPECT_GE(boxes.indexOf("moov"), 0);
    EXPECT_LT(boxes.indexOf("moov"), boxes.indexOf("mdat")) << boxes.join(' ').toStdString();
}

// Nothing under the output's name, and no working file left in its folder.
void expectNothingLeft(const QString& output)
{
    EXPECT_FALSE(QFile::exists(output));
    const QDir folder = QFileInfo(output).dir();
    EXPECT_TRUE(folder.entryList({"*.part"}, QDir::Files | QDir::Hidden).isEmpty())
        << folder.entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
}

struct Signal
{
    int number;
    int afterMs; // after the step before
};

} // namespace

// "q" finishes the file; signals arriving while it does so (a user pressing Ctrl+C
// again, a program that sends SIGTERM after "q") are not allowed to break it. Signals
// without "q" come from someone else (a task manager, a logout): the run fails.
TEST(EncoderStop, QFinishesAPlayableFileAndASignalAloneFails)
{
    const struct
    {
        const char* name;
        bool q;
        std::vector<Signal> sent;
    } cases[] = {
        {"q, then SIGTERM at once and again 50 ms later", true, {{SIGTERM, 0}, {SIGTERM, 50}}},
        {"SIGHUP alone", false, {{SIGHUP, 0}}},
        {"SIGINT twice", false, {{SIGINT, 0}, {SIGINT, 50}}},
        {"SIGTERM, SIGINT, SIGHUP", false, {{SIGTERM, 0}, {SIGINT, 20}, {SIGHUP, 20}}},
    };
    QTemporaryDir dir;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString output = dir.filePath(QString("stopped%1.mp4").arg(n++));
        QProcess encoder;
        QByteArray said;
        ASSERT_TRUE(startBusyEncoder(encoder, output, &said)) << said.toStdString();
        QElapsedTimer sinceStop;
        sinceStop.start();
        if (c.q) {
            encoder.write("q");
            encoder.waitForBytesWritten();
        }
        for (const Signal& signal : c.sent) {
            QThread::msleep(signal.afterMs);
            // Only while it runs: a pid that has been reaped may belong to someone else.
            if (encoder.state() == QProcess::Running)
                ::kill(pid_t(encoder.processId()), signal.number);
        }
        ASSERT_TRUE(encoder.waitForFinished(30000));
        said += encoder.readAll();
        EXPECT_EQ(encoder.exitStatus(), QProcess::NormalExit) << said.toStdString();
        EXPECT_LT(sinceStop.elapsed(), 5000);
        if (c.q) {
            EXPECT_EQ(encoder.exitCode(), 0) << said.toStdString();
            expectFinishedEarly(output);
        } else {
            EXPECT_EQ(encoder.exitCode(), encoderprotocol::kExitInterrupted) << said.toStdString();
            EXPECT_TRUE(said.contains("error: interrupted by a signal")) << said.toStdString();
            expectNothingLeft(output);
        }
    }
}

// The program starts the encoder so that its death sends the encoder SIGTERM. An encoder
// orphaned that way (the signal possibly arriving twice) ends on its own, and leaves no
// half file. The test takes the orphan in, so that it can wait for it.
TEST(EncoderStop, AnOrphanEndsAndLeavesNoHalfFile)
{
    QTemporaryDir dir;
    const QString output = dir.filePath("orphan.mp4");
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    QProcess parent;
    parent.start(QStringLiteral(ORPHAN_PARENT), QStringList{encoderPath()} + busyArgs(output));
    ASSERT_TRUE(parent.waitForStarted());
    QByteArray pidLine;
    while (!pidLine.contains('\n') && parent.waitForReadyRead(10000))
        pidLine += parent.readAllStandardOutput();
    const pid_t encoderPid = pid_t(pidLine.trimmed().toInt());
    ASSERT_GT(encoderPid, 0) << pidLine.toStdString();

    QByteArray said;
    const bool busy = waitForProgress(parent, &said);
    parent.kill();
    parent.waitForFinished();
    QThread::msleep(50);
    ::kill(encoderPid, SIGTERM); // the death signal once more

    QElapsedTimer sinceDeath;
    sinceDeath.start();
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(encoderPid, &status, WNOHANG)) == 0 && sinceDeath.elapsed() < 20000)
        QThread::msleep(20);
    if (ended == 0) {
        ::kill(encoderPid, SIGKILL);
        ::waitpid(encoderPid, &status, 0);
    }
    ::prctl(PR_SET_CHILD_SUBREAPER, 0);

    ASSERT_TRUE(busy) << said.toStdString();
    ASSERT_EQ(ended, encoderPid) << "the orphan did not end on its own";
    EXPECT_LT(sinceDeath.elapsed(), 5000);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), encoderprotocol::kExitInterrupted);
    expectNothingLeft(output);
}
