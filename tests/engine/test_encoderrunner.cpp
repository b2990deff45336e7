#include "common/qtprinters.h"
#include "engine/encoderrunner.h"
#include "engine/standins.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

struct RunnerRig
{
    StandInApp app;
    using End = EncoderRunner::Result::End;
    TaskList tasks;
    EncoderRunner runner{tasks};
    int redraws = 0;
    std::function<void()> onRedraw;
    int ends = 0;
    EncoderRunner::Result result; // of the last run

    RunnerRig()
    {
        tasks.add(makeTask("/v/clip.avi", 100, 0, 0));
        runner.setWorkingDirectory(app.app());
        runner.setRedrawProgress([this](int) {
            ++redraws;
            if (onRedraw)
                onRedraw();
        });
        QObject::connect(&runner, &EncoderRunner::runEnded, [this](const EncoderRunner::Result& r) {
            ++ends;
            result = r;
        });
    }
    void run(const QString& name, const QString& body, const QString& args = "\"$OUT\"")
    {
        app.addProfile(name, body, "");
        QString command = "./" + name + " " + args;
        command.replace("$OUT", app.out() + "/x.mp4");
        if (runner.runEncoder(command, 0, app.out() + "/x.mp4", &result))
            waitWhileRunning();
    }
    // The runner moves on from the process's own signals: let the event loop turn until
    // the run is over (ended, or let go).
    void waitWhileRunning()
    {
        QElapsedTimer timer;
        timer.start();
        while (runner.running() && timer.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
};

} // namespace

TEST(EncoderRunner, EndsWithoutParsingWhenThereIsNoOutput)
{
    RunnerRig rig;
    rig.run("silent.sh", "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(rig.redraws, 0);
    EXPECT_EQ(rig.ends, 1);
    EXPECT_EQ(rig.result.end, RunnerRig::End::Finished);
}

TEST(EncoderRunner, MissingProgramIsReportedAndParsesNothing)
{
    RunnerRig rig;
    EncoderRunner::Result notStarted;
    EXPECT_FALSE(rig.runner.runEncoder("./no-such-encoder -i x", 0, {}, &notStarted));
    EXPECT_EQ(rig.redraws, 0);
    EXPECT_EQ(notStarted.end, RunnerRig::End::Failed);
    EXPECT_EQ(notStarted.kind, FailureKind::EncoderMissing);
    EXPECT_TRUE(notStarted.reason.contains("no-such-encoder"));
    notStarted = {};
    EXPECT_FALSE(rig.runner.runEncoder("", 0, {}, &notStarted)); // a Profile without a command line
    EXPECT_EQ(notStarted.end, RunnerRig::End::Failed);
    EXPECT_FALSE(notStarted.reason.isEmpty());
    EXPECT_EQ(rig.ends, 0); // no end follows a run that never started
}

// A bare program name is the app folder's own program before any of that name on PATH.
TEST(EncoderRunner, ABareNameRunsTheAppFoldersProgramBeforePaths)
{
    RunnerRig rig;
    StandInApp elsewhere; // a program of the same name that fails, first on PATH
    elsewhere.addProfile("enc.sh", "#!/bin/sh\nexit 1\n", "");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(elsewhere.app()) + ":" + path);
    rig.app.addProfile("enc.sh", "#!/bin/sh\nexit 0\n", "");
    if (rig.runner.runEncoder("enc.sh", 0, {}, &rig.result))
        rig.waitWhileRunning();
    qputenv("PATH", path);
    EXPECT_EQ(rig.result.end, RunnerRig::End::Finished);
}

TEST(EncoderRunner, LongOutputIsReadInChunksParsedAlone)
{
    RunnerRig rig;
    // "size=" sits 5 bytes before the end of the first 255-byte chunk, so its number is in
    // the next chunk and does not count; "time=" lies whole in the second chunk.
    const QString filler(250, 'x');
    rig.run("chunks.sh", "#!/bin/sh\nprintf '" + filler + "size=     100kB time=12.34 \\n'\n");
    const Task t = rig.tasks.get(0);
    EXPECT_EQ(rig.redraws, 2);
    EXPECT_EQ(t.outputKB, 0);
    EXPECT_DOUBLE_EQ(t.encodedTime, 12.34);
}

TEST(EncoderRunner, ExitCodesAndCrashesAreFailures)
{
    struct Case
    {
        const char* name;
        const char* body;
        bool failed;
        const char* errorPart;
    };
    const Case cases[] = {
        {"failing.sh", scripts::kFailing, true, "cannot open input"},
        {"crashing.sh", scripts::kCrashing, true, "The encoder was killed (signal 11)"},
        {"good.sh", scripts::kGood, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunnerRig rig;
        rig.run(c.name, c.body);
        EXPECT_EQ(rig.result.end, c.failed ? RunnerRig::End::Failed : RunnerRig::End::Finished);
        EXPECT_TRUE(rig.result.reason.contains(c.errorPart)) << rig.result.reason.toStdString();
    }
}

TEST(EncoderRunner, StopLetsGoAfterTheChunkBeingHandled)
{
    RunnerRig rig;
    rig.onRedraw = [&] {
        // What the stop button does, from inside the handling of a chunk.
        rig.runner.closeOutput();
        rig.runner.writeQuitAndCloseInput();
        rig.runner.letGo();
    };
    rig.run("good.sh", scripts::kGood);
    EXPECT_EQ(rig.redraws, 1);
    rig.runner.waitForEncoders();
    EXPECT_EQ(rig.runner.runningEncoders(), 0);
    // The encoder got its "q" and finished its file; nothing killed it.
    EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/x.mp4.quit"));
    EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/x.mp4"));
}

TEST(EncoderRunner, AnEncoderIgnoringQuitIsTerminatedThenKilled)
{
    RunnerRig rig;
    rig.onRedraw = [&] {
        rig.runner.closeOutput();
        rig.runner.writeQuitAndCloseInput();
        rig.runner.letGo();
    };
    rig.run("stubborn.sh", scripts::kStubborn);
    EXPECT_EQ(rig.runner.runningEncoders(), 1);
    QElapsedTimer timer;
    timer.start();
    rig.runner.waitForEncoders();
    EXPECT_EQ(rig.runner.runningEncoders(), 0);
    EXPECT_LT(timer.elapsed(), 7000);
    EXPECT_GE(timer.elapsed(), 4000); // 3 s for "q", then terminate ignored for 2 s
}

TEST(EncoderRunner, EachPipeEndClosesOnce)
{
    RunnerRig rig;
    int finishRequests = 0;
    rig.onRedraw = [&] {
        if (finishRequests++ == 0) {
            rig.runner.closeOutput();
            rig.runner.writeQuitAndCloseInput();
            rig.runner.closeOutput();            // a second close is skipped
            rig.runner.writeQuitAndCloseInput(); // and so is a second "q"
        }
    };
    rig.run("good.sh", scripts::kGood);
    EXPECT_TRUE(rig.runner.outputClosed());
    EXPECT_TRUE(rig.runner.inputClosed());
    EXPECT_EQ(rig.redraws, 1); // nothing is parsed once the output is closed
    EXPECT_EQ(rig.result.end, RunnerRig::End::Stopped); // asked to finish, and it did
    EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/x.mp4.quit"));
}

TEST(EncoderRunner, FailureTextHasTheDiagnosticLayout)
{
    EXPECT_EQ(EncoderRunner::composeFailure("Starting the encoder", 2, "No such file"),
              "Starting the encoder failed (error 2): No such file");
}

TEST(EncoderRunner, AStoppedEncoderIsGivenTimeWhileItsFileStillMoves)
{
    // After "q" it rewrites its file for 6 s (as moving the index to the front does on a
    // slow disk), deaf to SIGTERM: it must never be killed while it makes progress.
    RunnerRig rig;
    rig.onRedraw = [&] {
        rig.runner.closeOutput();
        rig.runner.writeQuitAndCloseInput();
        rig.runner.letGo();
    };
    const char* slowFinisher = R"(#!/bin/bash
trap '' TERM HUP INT
out="$1"
echo "frame=    1 fps= 25 size=       1kB time=1.00 bitrate= 0.0kbits/s"
read -n 1 c
for i in $(seq 1 12); do echo "piece $i" >> "$out"; sleep 0.5; done
touch "$out.done"
)";
    rig.run("slow.sh", slowFinisher);
    rig.runner.waitForEncoders();
    EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/x.mp4.done"));
}
