#include "common/qtprinters.h"
#include "common/testmedia.h"
#include "engine/batchdriver.h"
#include "engine/batchrig.h"
#include "engine/clock.h"
#include "engine/outputnaming.h"
#include "engine/progressdisplay.h"
#include "engine/standins.h"
#include "engine/taskedits.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>

#include <memory>
#include <utility>

#include <gtest/gtest.h>

namespace {

// Lets answers that were posted to the event loop arrive.
void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

TEST(BatchDriver, OneTaskFinishes)
{
    BatchRig rig;
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.addMp4("clip", 0);
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Finished");
    EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/clip.mp4"));
    EXPECT_EQ(rig.host.messages,
              QStringList{"Information|Converting Finished: 1 converted, 0 failed"});
    EXPECT_EQ(rig.host.convertingStates, (QList<bool>{true, false}));
    EXPECT_FALSE(rig.driver.converting());
}

TEST(BatchDriver, FailuresAreShownAndTheBatchGoesOn)
{
    BatchRig rig;
    const int good = rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    const int failing = rig.app.addProfile("failing.sh", scripts::kFailing, "\"$OUTPUT_FILE\"");
    const int noOutput = rig.app.addProfile("nothing.sh", scripts::kNoOutput, "\"$OUTPUT_FILE\"");
    rig.addMp4("a", failing);
    rig.addMp4("b", 17); // no such Profile: an empty command line
    rig.addMp4("c", noOutput);
    rig.addMp4("d", good);
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Failed: the encoder stopped unexpectedly");
    EXPECT_TRUE(rig.tasks.get(0).failureReason.contains("cannot open input"));
    EXPECT_EQ(rig.progress(1), "    Failed: the encoder could not be started");
    EXPECT_FALSE(rig.tasks.get(1).failureReason.isEmpty());
    EXPECT_EQ(rig.progress(2), "    Failed: the encoder stopped unexpectedly");
    EXPECT_EQ(rig.progress(3), "    Finished");
    // The closing message counts, as the command line's summary does.
    EXPECT_EQ(rig.host.messages, QStringList{"Warning|Converting Finished: 1 converted, 3 failed"});
    EXPECT_EQ(rig.host.icons, QList<BatchHost::MessageIcon>{BatchHost::MessageIcon::Warning});
    // A new batch starts clean.
    rig.tasks.removeAt(0);
    rig.tasks.removeAt(0);
    rig.tasks.removeAt(0);
    rig.run();
    EXPECT_EQ(rig.tasks.get(0).failed, 0);
    EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/d_2.mp4"));
}

TEST(BatchDriver, StopDuringAnEncoderRun)
{
    BatchRig rig;
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.addMp4("first", 0);
    rig.addMp4("second", 0);
    rig.host.shutdown = true; // not honoured after a stop
    rig.onChanged = [&](int row) {
        if (rig.driver.converting() && rig.tasks.get(row).outputKB > 0)
            rig.driver.stopConverting();
    };
    rig.run();
    EXPECT_EQ(rig.host.messages,
              QStringList{"Information|Converting Stopped: 0 converted, 2 not converted"});
    EXPECT_EQ(rig.progress(0), "    Stopped"); // not the percentage it had reached
    EXPECT_EQ(rig.progress(1), "");
    EXPECT_EQ(rig.power.powerOffCalls, 0);
    EXPECT_EQ(rig.host.convertingStates.last(), false);
    rig.driver.runner().waitForEncoders();
    EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/first.mp4.quit")); // it got "q"
    EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/first.mp4"));      // partial output stays
    EXPECT_FALSE(QFileInfo::exists(rig.app.out() + "/second.mp4"));    // no later Task started
    EXPECT_EQ(rig.tasks.get(0).finished, 0);
}

TEST(BatchDriver, WmvTasksThroughTheMediaComponent)
{
    BatchRig rig;
    rig.addWmv("one");
    rig.addWmv("two");
    rig.addWmv("three");
    int started = 0;
    rig.onChanged = [&](int row) {
        if (row == 0 && rig.tasks.get(0).wmvPercent == 100 && started++ == 0)
            rig.media.refuseStart = true;
    };
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Finished");
    EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/one.wmv"));
    // A conversion that cannot start fails its Task; the batch goes on.
    EXPECT_EQ(rig.progress(1), "    Failed");
    EXPECT_EQ(rig.tasks.get(1).failureReason, "cannot open the source");
    EXPECT_EQ(rig.progress(2), "    Failed");
    EXPECT_EQ(rig.host.messages, QStringList{"Warning|Converting Finished: 1 converted, 2 failed"});

    BatchRig late;
    late.addWmv("broken");
    late.media.errorAtEnd = "damaged source";
    late.media.errorKind = FailureKind::SourceUnreadable;
    late.run();
    EXPECT_EQ(late.progress(0), "    Failed: not a video this program can read");
    EXPECT_EQ(late.tasks.get(0).failureReason, "damaged source");
}

TEST(BatchDriver, StopEndsWhicheverConversionRuns)
{
    // The window shows MP4 while a WMV Task runs: the stop still ends the WMV conversion.
    BatchRig rig;
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.addWmv("wmv");
    rig.addMp4("mp4", 0);
    QObject::connect(&rig.media.converter, &MediaConverter::ConversionProgress,
                     [&] { rig.driver.stopConverting(); });
    rig.run();
    EXPECT_GE(rig.media.stopCalls, 2); // once at the start of the batch, once for the stop
    EXPECT_EQ(rig.media.converted, 0);
    EXPECT_FALSE(QFileInfo::exists(rig.app.out() + "/mp4.mp4"));
    EXPECT_FALSE(rig.driver.converting());
    EXPECT_EQ(rig.host.messages,
              QStringList{"Information|Converting Stopped: 0 converted, 2 not converted"});
    EXPECT_EQ(rig.progress(0), "    Stopped");
}

TEST(BatchDriver, AStoppedWmvTaskKeepsItsUsedTime)
{
    BatchRig rig;
    rig.addWmv("wmv");
    QObject::connect(&rig.media.converter, &MediaConverter::ConversionProgress,
                     [&] { rig.driver.stopConverting(); });
    rig.run();
    ASSERT_EQ(rig.tasks.get(0).wmvPercent, 33);
    // Drawn again a minute later: the time the conversion ran, not the time since.
    EXPECT_LT(rig.batch.wmvClock(tickCount() + 60000) - rig.batch.wmvStartTick, 1000u);
    EXPECT_EQ(rig.progress(0), "    Stopped");
}

// A WMV conversion a moment before its end still runs: its row must not say Finished, nor
// may a list kept at that moment (and restored after a crash) count it as finished.
TEST(BatchDriver, AWmvRunNearItsEndIsNotFinished)
{
    BatchRig rig;
    rig.addWmv("wmv");
    bool once = false;
    QObject::connect(&rig.media.converter, &MediaConverter::ConversionProgress, [&] {
        if (std::exchange(once, true))
            return;
        emit rig.media.converter.ConversionProgress(299.0, 300.0);
        EXPECT_FALSE(conversionFinished(rig.tasks.get(0)));
        EXPECT_TRUE(rig.progress(0).startsWith("    99 %")) << rig.progress(0).toStdString();
        rig.driver.stopConverting();
    });
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Stopped");
    EXPECT_FALSE(isConverted(rig.tasks.get(0)));
}

TEST(BatchDriver, RealMediaIsPreConvertedFirst)
{
    BatchRig rig;
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\" \"$INPUT_FILE\" $START");
    Task rm = makeTask(rig.source("clip.rm"), 10, 0, 0);
    rm.startTime = 4;
    rig.tasks.add(rm);
    rig.tasks.add(rm);
    rig.media.errorOnCall = 1; // the second pre-conversion fails
    rig.media.errorAtEnd = "damaged RealMedia source";
    QStringList intermediates;
    QObject::connect(&rig.driver, &BatchDriver::taskEnded,
                     [&](int index) { intermediates << rig.tasks.get(index).intermediatePath; });
    rig.run();
    EXPECT_EQ(rig.media.calls, 2);
    ASSERT_EQ(intermediates.size(), 2);
    EXPECT_EQ(rig.progress(0), "    Finished");
    EXPECT_FALSE(intermediates[0].isEmpty());
    EXPECT_FALSE(QFileInfo::exists(intermediates[0])); // removed once encoded
    EXPECT_EQ(rig.progress(1), "    Failed");
    EXPECT_EQ(rig.tasks.get(1).failureReason, "damaged RealMedia source");
    EXPECT_EQ(rig.host.messages, QStringList{"Warning|Converting Finished: 1 converted, 1 failed"});
    EXPECT_FALSE(QFileInfo::exists(intermediates[1]));
    EXPECT_FALSE(QFileInfo::exists(rig.app.out() + "/clip_2.mp4")); // no encoder run for it
}

// The intermediate file goes however the encoder run that reads it ends.
TEST(BatchDriver, ARealMediaIntermediateGoesWhenItsEncoderFailsOrIsStopped)
{
    BatchRig rig;
    const int failing = rig.app.addProfile("failing.sh", scripts::kFailing, "\"$OUTPUT_FILE\"");
    const int good = rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    for (const int profile : {failing, good}) {
        Task rm = makeTask(rig.source("clip.rm"), 10, 0, 0);
        rm.mp4Profile = profile;
        rig.tasks.add(rm);
    }
    QStringList intermediates;
    QObject::connect(&rig.driver, &BatchDriver::taskEnded,
                     [&](int index) { intermediates << rig.tasks.get(index).intermediatePath; });
    rig.onChanged = [&](int row) {
        if (row == 1 && rig.driver.converting() && rig.tasks.get(1).outputKB > 0)
            rig.driver.stopConverting();
    };
    rig.run();
    EXPECT_TRUE(rig.tasks.get(0).failureReason.contains("cannot open input"));
    EXPECT_EQ(rig.progress(1), "    Stopped");
    ASSERT_EQ(intermediates.size(), 2);
    for (const QString& path : intermediates)
        EXPECT_FALSE(path.isEmpty() || QFileInfo::exists(path)) << path.toStdString();
}

TEST(BatchDriver, ShutdownAtTheEnd)
{
    BatchRig rig;
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.addMp4("clip", 0);
    rig.host.shutdown = true;
    rig.run();
    EXPECT_EQ(rig.power.powerOffCalls, 1);
    settle();
    EXPECT_TRUE(rig.host.messages.isEmpty());

    // Called off by the user, who knows already: nothing to say.
    rig.power.answer = PowerControl::Outcome::Cancelled;
    rig.run();
    settle();
    EXPECT_EQ(rig.power.powerOffCalls, 2);
    EXPECT_TRUE(rig.host.messages.isEmpty());

    // The system's refusal comes after the batch has ended, and is said then.
    rig.power.answer = PowerControl::Outcome::Refused;
    rig.run();
    settle();
    EXPECT_EQ(rig.power.powerOffCalls, 3);
    EXPECT_EQ(rig.host.messages, QStringList{"Warning|Your computer cannot shutdown"});
    EXPECT_EQ(rig.host.icons, QList<BatchHost::MessageIcon>{BatchHost::MessageIcon::Stop});
    rig.host.messages.clear();
    rig.driver.shutDownComputer();
    EXPECT_TRUE(rig.host.messages.isEmpty()) << "asking returns before the answer";
    settle();
    EXPECT_EQ(rig.host.messages, QStringList{"Warning|Your computer cannot shutdown"});

    // With the system's reason, the message says it and what the user can do.
    rig.host.messages.clear();
    rig.power.reason = "the system does not allow this user to power the computer off.";
    rig.driver.shutDownComputer();
    settle();
    ASSERT_EQ(rig.host.messages.size(), 1);
    EXPECT_TRUE(rig.host.messages.first().startsWith(
        "Warning|Your computer cannot shutdown: the system does not allow this user"));
    EXPECT_TRUE(rig.host.messages.first().contains("administrator"));
}

TEST(BatchDriver, ARefusalAfterTheDriverIsGoneIsDropped)
{
    TaskList tasks;
    BatchState batch;
    FakeMedia media;
    RecordingHost host;
    FakePower power;
    power.answer = PowerControl::Outcome::Refused;
    auto driver = std::make_unique<BatchDriver>(tasks, batch, media.converter, host, power);
    driver->shutDownComputer();
    driver.reset();
    settle();
    EXPECT_EQ(power.powerOffCalls, 1);
    EXPECT_TRUE(host.messages.isEmpty());
}

TEST(BatchDriver, RefusedStarts)
{
    BatchRig rig;
    rig.driver.startConverting(rig.folder); // no Task: nothing at all
    EXPECT_TRUE(rig.host.messages.isEmpty());
    EXPECT_TRUE(rig.host.convertingStates.isEmpty());

    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.addMp4("clip", 0);
    rig.folder.clear();
    rig.run();
    EXPECT_EQ(rig.host.messages, QStringList{"Error|Please set the output directory firstly"});
    EXPECT_TRUE(rig.host.convertingStates.isEmpty());

    rig.host.messages.clear();
    rig.folder = rig.app.out();
    int nestedStarts = 0;
    rig.onChanged = [&](int) {
        if (rig.driver.converting() && nestedStarts++ == 0)
            rig.driver.startConverting(rig.folder); // pressing Start again changes nothing
    };
    rig.run();
    EXPECT_EQ(rig.host.messages,
              QStringList{"Information|Converting Finished: 1 converted, 0 failed"});
    EXPECT_EQ(rig.host.convertingStates, (QList<bool>{true, false}));
    EXPECT_FALSE(QFileInfo::exists(rig.app.out() + "/clip_2.mp4"));
}

TEST(BatchDriver, SourcesThatCannotBeReadFailWithTheirReasonBeforeAnyEncoder)
{
    BatchRig rig;
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.addMp4("fine", 0);
    const QString empty = rig.source("empty.avi");
    QFile(empty).resize(0);
    const QStringList sources{rig.app.path("v/missing.avi"), empty, rig.app.path("v")};
    for (const QString& path : sources)
        rig.tasks.add(makeTask(path, 10, 0, 0));
    Task emptySpan = makeTask(rig.source("span.avi"), 10, 0, 0);
    emptySpan.startTime = emptySpan.endTime = 4;
    rig.tasks.add(emptySpan);
    rig.media.sourceProblem = [](const QString& path) {
        return path.contains("text") ? QString("not a media file") : QString();
    };
    rig.tasks.add(makeTask(rig.source("text.avi"), 10, 0, 0));
    rig.tasks.add(makeTask(rig.source("text.avi"), 10, 1, 0)); // WMV asks the component too
    rig.run();

    EXPECT_EQ(rig.progress(0), "    Finished");
    // The row says the class in a user's words; the tooltip keeps the whole reason.
    const QString unreadable = "    Failed: not a video this program can read";
    const struct
    {
        QString reason, row;
    } expected[] = {
        {"does not exist", "    Failed: the source file is missing"},
        {"is empty", unreadable},
        {"is a folder", unreadable},
        {"trimmed span is empty", "    Failed: the trimmed span is empty"},
        {"not a media file", unreadable},
        {"not a media file", unreadable},
    };
    int row = 1;
    for (const auto& e : expected) {
        SCOPED_TRACE(row);
        EXPECT_EQ(rig.progress(row), e.row);
        EXPECT_TRUE(rig.tasks.get(row).failureReason.contains(e.reason))
            << rig.tasks.get(row).failureReason.toStdString();
        EXPECT_EQ(progressToolTip(rig.tasks.get(row)),
                  "Failed: " + rig.tasks.get(row).failureReason);
        ++row;
    }
    EXPECT_EQ(QDir(rig.app.out()).entryList(QDir::Files), QStringList{"fine.mp4"});
    EXPECT_EQ(rig.media.converted, 0);
}

TEST(BatchDriver, ANameTakenByAnotherRunMeanwhileGoesToTheNextFreeName)
{
    BatchRig rig;
    // The first time, another run creates the output just before "our encoder" does.
    const char* racer = R"(#!/bin/bash
out="$1"
if [ ! -e "$(dirname "$out")/../raced" ]; then
  touch "$(dirname "$out")/../raced"
  echo theirs > "$out"
  echo "trelvo-encoder: error: the file $out already exists; it is not replaced" >&2
  exit 3
fi
echo ours > "$out"
)";
    rig.app.addProfile("racer.sh", racer, "\"$OUTPUT_FILE\"");
    rig.addMp4("clip", 0);
    rig.media.nameTakenOnce = true; // and the same for the WMV Task
    rig.addWmv("clip");
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Finished");
    EXPECT_EQ(rig.progress(1), "    Finished");
    auto contents = [&](const QString& name) {
        QFile f(rig.app.out() + "/" + name);
        f.open(QIODevice::ReadOnly);
        return f.readAll().trimmed();
    };
    EXPECT_EQ(contents("clip.mp4"), "theirs");
    EXPECT_EQ(contents("clip_2.mp4"), "ours");
    EXPECT_EQ(contents("clip.wmv"), "theirs");
    EXPECT_EQ(contents("clip_2.wmv"), "wmv");
}

TEST(BatchDriver, DeadOrHungEncodersAreNamedAndTheirDebrisRemoved)
{
    BatchRig rig;
    rig.driver.runner().setStallLimit(500);
    const int killed = rig.app.addProfile("killed.sh", R"(#!/bin/bash
echo "trelvo-encoder: H.264 level 1.3 does not hold 320x240; using level 2" >&2
echo partial > "$1"
kill -KILL $$
)",
                                          "\"$OUTPUT_FILE\"");
    const int noted = rig.app.addProfile("noted.sh", R"(#!/bin/bash
echo "trelvo-encoder: AAC has no sample rate of 54000 Hz; using 48000 Hz" >&2
exit 1
)",
                                         "\"$OUTPUT_FILE\"");
    // Prints nothing, writes nothing, and ignores "q" and SIGTERM.
    const int hung = rig.app.addProfile("hung.sh", R"(#!/bin/bash
trap '' TERM
while :; do sleep 0.1; done
)",
                                        "\"$OUTPUT_FILE\"");
    const int good = rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    rig.addMp4("killed", killed);
    rig.addMp4("noted", noted);
    rig.addMp4("hung", hung);
    rig.addMp4("after", good);
    QElapsedTimer timer;
    timer.start();
    rig.run();
    EXPECT_LT(timer.elapsed(), 20000);

    EXPECT_EQ(rig.tasks.get(0).failureReason, "The encoder was killed (signal 9)");
    EXPECT_EQ(rig.progress(0), "    Failed: the encoder stopped unexpectedly");
    EXPECT_EQ(rig.progress(2), "    Failed: the encoder stopped unexpectedly");
    EXPECT_FALSE(QFileInfo::exists(rig.app.out() + "/killed.mp4")); // unplayable: removed
    // A note is never the reason for a failure.
    EXPECT_EQ(rig.tasks.get(1).failureReason, "The encoder failed with exit code 1");
    EXPECT_TRUE(rig.tasks.get(2).failureReason.contains("printed nothing and wrote nothing"))
        << rig.tasks.get(2).failureReason.toStdString();
    EXPECT_EQ(rig.progress(3), "    Finished"); // the batch went on
}

TEST(BatchDriver, ASourceThatEndsEarlyFinishesWithAWarning)
{
    BatchRig rig;
    rig.app.addProfile("short.sh", R"(#!/bin/bash
echo "frame=  100 fps= 25 size=      40kB time=4.00 bitrate= 80.0kbits/s"
echo data > "$1"
)",
                       "\"$OUTPUT_FILE\"");
    rig.addMp4("clip", 0);
    rig.addWmv("damaged");
    rig.media.convertedTo = 0.26; // the component's last report: 0.26 s of 3 s
    rig.run();
    const Task t = rig.tasks.get(0);
    EXPECT_EQ(t.finished, 1);
    EXPECT_EQ(t.warning, "The source ended early: 00:00:04.000 of 00:00:10.000 were converted");
    EXPECT_TRUE(conversionFinished(rig.tasks.get(1)));
    EXPECT_EQ(rig.tasks.get(1).warning,
              "The source ended early: 00:00:00.260 of 00:00:03.000 were converted");
}

TEST(BatchDriver, AnOutputThatCannotBeWrittenIsSaidSo)
{
    BatchRig rig;
    // The encoder's own status for an output it could not make or write.
    rig.app.addProfile("full.sh", R"(#!/bin/bash
echo "trelvo-encoder: error: cannot write the output file: No space left on device" >&2
exit 5
)",
                       "\"$OUTPUT_FILE\"");
    rig.addMp4("clip", 0);
    rig.addWmv("clip");
    rig.media.refuseStart = true;
    rig.media.errorKind = FailureKind::OutputUnwritable;
    rig.run();
    // The row says the cause; the reason keeps the system's own words.
    EXPECT_EQ(rig.progress(0), "    Failed: the disk is full");
    EXPECT_TRUE(rig.tasks.get(0).failureReason.contains("No space left on device"));
    EXPECT_EQ(rig.progress(1), "    Failed: cannot write the output folder");

    // Refused by the system, or the folder gone since it was chosen.
    const int denied = rig.app.addProfile("denied.sh", R"(#!/bin/bash
echo "trelvo-encoder: error: cannot write the output file: Permission denied" >&2
exit 5
)",
                                          "\"$OUTPUT_FILE\"");
    Task task = rig.tasks.get(0);
    task.mp4Profile = denied;
    rig.tasks.set(0, task);
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Failed: the output folder is read-only");
    ASSERT_TRUE(QDir(rig.app.out()).removeRecursively());
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Failed: the output folder is gone");
    EXPECT_EQ(rig.progress(1), "    Failed: the output folder is gone");
}

// The user removes the output folder while a file is converted: its run fails for that,
// as the next one does, not because "the encoder stopped".
TEST(BatchDriver, AFolderRemovedDuringARunIsTheCauseOfItsFailure)
{
    BatchRig rig;
    rig.app.addProfile("removed.sh", R"sh(#!/bin/bash
echo "frame=    1 fps= 25 size=       1kB time=1.00 bitrate= 8.0kbits/s"
rm -r "$(dirname "$1")"
echo data > "$1"
exit 0
)sh",
                       "\"$OUTPUT_FILE\"");
    rig.addMp4("clip", 0);
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Failed: the output folder is gone");
    EXPECT_TRUE(rig.tasks.get(0).failureReason.startsWith("The output folder " + rig.app.out()))
        << rig.tasks.get(0).failureReason.toStdString();
}

// A setting the encoder could not keep is said on the row and at the end of the batch,
// not only in the log.
TEST(BatchDriver, ASettingTheEncoderCouldNotKeepIsSaid)
{
    BatchRig rig;
    rig.driver.setAppFolder(TRELVO_BIN_DIR "/app"); // our encoder and its Profiles
    const QString source = testmedia::clip("avi", 1);
    ASSERT_FALSE(source.isEmpty());
    Task task = makeTask(source, 1.0, 0, 0);
    task.sampleRate = 1; // 54000 Hz, which AAC has not
    rig.tasks.add(task);
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Finished (48000 Hz)");
    const QString change = "AAC has no sample rate of 54000 Hz; using 48000 Hz";
    EXPECT_EQ(progressToolTip(rig.tasks.get(0)), "Finished with a change: " + change);
    ASSERT_EQ(rig.host.messages.size(), 1);
    EXPECT_EQ(rig.host.messages[0], "Information|Converting Finished: 1 converted, 0 failed\n\n"
                                    "Converted with a setting changed:\n" +
                                        QFileInfo(source).fileName() + ": " + change);
}

TEST(BatchDriver, TheExportCellShowsTheFileThatIsWritten)
{
    BatchRig rig;
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    QDir().mkpath(rig.app.out());
    QFile(rig.app.out() + "/party.mp4").open(QIODevice::WriteOnly); // from an earlier day
    Task party = makeTask(rig.source("party.avi"), 10, 0, 0);
    rig.tasks.add(party);
    party.exportName = party.title = "a/b: party\tnight";
    rig.tasks.add(party);
    rig.addWmv("party");
    auto exportCell = [&](int row) {
        const QStringList plan = planOutputNames(rig.tasks, rig.app.out());
        return exportCellText(rig.tasks.get(row), plan.value(row));
    };
    // Before the batch: the names the files will most likely get.
    EXPECT_EQ(exportCell(0), "party_2.mp4");
    EXPECT_EQ(exportCell(1), "a_b_ party_night.mp4");
    EXPECT_EQ(exportCell(2), "party.wmv");
    // From the moment a name is chosen, while the Task converts.
    QStringList whileConverting;
    QObject::connect(&rig.driver, &BatchDriver::taskStarted, [&](int index) {
        QTimer::singleShot(0, [&, index] { whileConverting << exportCell(index); });
    });
    rig.run();
    EXPECT_EQ(whileConverting, (QStringList{"party_2.mp4", "a_b_ party_night.mp4", "party.wmv"}));
    // Afterwards, and for the next batch's plan, the files written stay where they are.
    EXPECT_EQ(exportCell(0), "party_2.mp4");
    EXPECT_EQ(rig.tasks.get(0).outputPath, rig.app.out() + "/party_2.mp4");
    EXPECT_TRUE(QFileInfo::exists(rig.app.out() + "/party_2.mp4"));
}

TEST(BatchDriver, OnlyTheTasksNotConvertedYetWhenAsked)
{
    BatchRig rig;
    rig.app.addProfile("good.sh", scripts::kGood, "\"$OUTPUT_FILE\"");
    const int failing = rig.app.addProfile("failing.sh", scripts::kFailing, "\"$OUTPUT_FILE\"");
    rig.addMp4("done", 0);
    rig.addWmv("wmv");
    rig.addMp4("edited", 0);
    rig.addMp4("failed", failing);
    rig.run();
    ASSERT_TRUE(isConverted(rig.tasks.get(0)));
    ASSERT_TRUE(isConverted(rig.tasks.get(1)));
    ASSERT_FALSE(isConverted(rig.tasks.get(3)));
    // Edited since it finished: a new trim is a new file.
    Task edited = rig.tasks.get(2);
    edited.endTime = 5;
    rig.tasks.set(2, edited);
    EXPECT_FALSE(isConverted(rig.tasks.get(2)));
    Task mended = rig.tasks.get(3);
    mended.mp4Profile = 0;
    rig.tasks.set(3, mended);
    rig.addMp4("new", 0);

    rig.host.messages.clear();
    rig.driver.startConverting(BatchDriver::Scope::Unconverted, rig.folder);
    while (rig.driver.converting())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(QDir(rig.app.out()).entryList(QDir::Files),
              (QStringList{"done.mp4", "edited.mp4", "edited_2.mp4", "failed.mp4", "new.mp4",
                           "wmv.wmv"}));
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(rig.progress(row), "    Finished") << row;
    EXPECT_EQ(rig.tasks.get(0).outputPath, rig.app.out() + "/done.mp4"); // kept, not redone
    ASSERT_EQ(rig.host.messages.size(), 1);
    EXPECT_TRUE(rig.host.messages.first().startsWith("Information|Converting Finished: "));

    // Nothing left to convert: nothing starts.
    rig.host.convertingStates.clear();
    rig.driver.startConverting(BatchDriver::Scope::Unconverted, rig.folder);
    EXPECT_FALSE(rig.driver.converting());
    EXPECT_TRUE(rig.host.convertingStates.isEmpty());
}

TEST(BatchDriver, AWmvFileGetsItsTasksTitle)
{
    BatchRig rig;
    rig.addWmv("clip");
    Task task = rig.tasks.get(0);
    task.title = "Birthday party";
    rig.tasks.set(0, task);
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Finished");
    EXPECT_EQ(rig.media.titles, QStringList{"Birthday party"});
}

// The sound track and subtitles chosen for a WMV Task reach the converter for that Task
// alone.
TEST(BatchDriver, AWmvTasksTrackChoicesReachTheConverter)
{
    BatchRig rig;
    rig.addWmv("film");
    rig.addWmv("plain");
    Task task = rig.tasks.get(0);
    setTaskAudioTrack(task, 2);
    setTaskSubtitles(task, 0, "/videos/film.srt");
    rig.tasks.set(0, task);
    rig.run();
    EXPECT_EQ(rig.progress(0), "    Finished");
    EXPECT_EQ(rig.media.entries("TrackChoices"),
              (QStringList{"TrackChoices 2 0 /videos/film.srt", "TrackChoices 0 0"}));
}
