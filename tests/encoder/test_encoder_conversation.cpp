// The encoder's conversation with the program that runs it: errors, stop, progress.
#include "encoder/encoderrun.h"

#include "common/testmedia.h"
#include "engine/encoderoutputparser.h"
#include "engine/task.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace encoderrun;

namespace {

class EncoderConversation : public ::testing::Test
{
protected:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QString fifo(const QString& name) const
    {
        ::mkfifo(QFile::encodeName(path(name)).constData(), 0600);
        return path(name);
    }
    QString folder(const QString& name) const
    {
        QDir().mkpath(path(name));
        return path(name);
    }
    QString writeFile(const QString& name, const QByteArray& bytes) const
    {
        QFile file(path(name));
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return file.fileName();
    }

    QTemporaryDir m_dir;
};

void expectOneErrorLine(const Result& r, const QString& mentions)
{
    EXPECT_NE(r.exitCode, 0);
    const QString text = r.output.trimmed();
    EXPECT_FALSE(text.contains('\n')) << text.toStdString();
    EXPECT_TRUE(text.startsWith("trelvo-encoder: error: ")) << text.toStdString();
    EXPECT_TRUE(text.contains(mentions))
        << text.toStdString() << " should mention " << mentions.toStdString();
}

} // namespace

TEST_F(EncoderConversation, AnUnusableCommandLineIsOneLineAndAFailure)
{
    const QString source = testmedia::clip("avi");
    const struct
    {
        QStringList args;
        QString mentions;
    } cases[] = {
        {{"-i", source, "-deinterlace", "1", path("a.mp4")}, "-deinterlace"},
        {{"-i", source, "-ss"}, "-ss"},
        {{"-i", source, "-r", "fast", path("a.mp4")}, "-r"},
        {{"-i", source, "-vcodec", "theora", path("a.mp4")}, "theora"},
        {{"-i", source}, "output"},
        {{}, "input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        expectOneErrorLine(run(c.args), c.mentions);
    }
    EXPECT_FALSE(QFileInfo::exists(path("a.mp4")));
}

// Status 3 tells the program that runs us to pick the next free name and try again.
TEST_F(EncoderConversation, ATakenNameIsLeftAloneWithItsOwnStatus)
{
    const QString theirs = writeFile("theirs.mp4", "somebody's file");
    const QString nowhere = path("nowhere.mp4");
    const QString link = path("link.mp4"), dangling = path("dangling.mp4");
    QFile::link(theirs, link);
    QFile::link(nowhere, dangling);
    for (const QString& output : {theirs, link, dangling, folder("folder.mp4")}) {
        SCOPED_TRACE(output.toStdString());
        const Result r = run(zuneArgs(testmedia::clip("avi"), output));
        EXPECT_EQ(r.exitCode, 3);
        expectOneErrorLine(r, "the file " + output + " already exists; it is not replaced");
    }
    QFile file(theirs);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "somebody's file");
    EXPECT_FALSE(QFileInfo::exists(nowhere)) << "the dangling link was followed";
    EXPECT_TRUE(QFileInfo(link).isSymLink() && QFileInfo(dangling).isSymLink());
}

// Someone who may write to the output folder swaps the name for a link to another file
// while the conversion runs. The MP4 writer reads its own file back at the end to put
// the index first: it must read and write the file it made, not the other one.
TEST_F(EncoderConversation, TheFileItMadeIsTheOnlyOneWrittenOrRead)
{
    const QString output = path("out.mp4"), kept = path("kept.mp4");
    QByteArray victimBytes(200000, 'v');
    const QString victim = writeFile("victim.mp4", victimBytes);
    QProcess encoder;
    encoder.setProcessChannelMode(QProcess::MergedChannels);
    encoder.start(encoderPath(), zuneArgs(testmedia::clip("avi", 6), output));
    ASSERT_TRUE(encoder.waitForStarted());
    encoder.closeWriteChannel();
    QByteArray said;
    while (encoder.state() == QProcess::Running && !QFileInfo::exists(output)) {
        encoder.waitForReadyRead(5);
        said += encoder.readAll();
    }
    ASSERT_EQ(::link(QFile::encodeName(output).constData(), QFile::encodeName(kept).constData()), 0)
        << said.toStdString();
    ASSERT_TRUE(QFile::remove(output));
    ASSERT_TRUE(QFile::link(victim, output));
    ASSERT_TRUE(encoder.waitForFinished(60000));
    said += encoder.readAll();

    EXPECT_EQ(encoder.exitCode(), 0) << said.toStdString();
    QFile file(victim);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == victimBytes) << "the other file was changed";
    EXPECT_TRUE(QFileInfo(output).isSymLink());
    EXPECT_TRUE(decodesCleanly(kept));
    EXPECT_NEAR(testmedia::probeDuration(kept), 6.0, 0.1);
    const QStringList boxes = topLevelBoxes(kept);
    EXPECT_GE(boxes.indexOf("moov"), 0);
    EXPECT_LT(boxes.indexOf("moov"), boxes.indexOf("mdat")) << boxes.join(' ').toStdString();
}

TEST_F(EncoderConversation, AnUnusableSourceIsNamedAndLeavesNoOutput)
{
    const QString clip = testmedia::clip("avi");
    // 4 tells the program running us that the source is at fault, not the encoder.
    const struct
    {
        QString source;
        QStringList changes;
        int status = 4;
    } cases[] = {
        {path("missing.avi"), {}},
        {writeFile("empty.avi", {}), {}},
        {writeFile("letter.avi", "Dear Zune,\nthis is not a film.\n"), {}},
        {writeFile("words.srt", "1\n00:00:01,000 --> 00:00:02,000\nHello\n"), {}}, // neither stream
        {clip, {"-ss", "00:01:00"}, 1}, // starts after the end: the trim is at fault
        {fifo("pipe.avi"), {}},         // would wait for a writer that never comes
        {folder("folder.avi"), {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.toStdString());
        const QString output = path(QString("out%1.mp4").arg(n++));
        const Result r = run(zuneArgs(c.source, output, c.changes));
        expectOneErrorLine(r, QFileInfo(c.source).fileName());
        EXPECT_EQ(r.exitCode, c.status);
        EXPECT_FALSE(QFileInfo::exists(output));
    }
}

TEST_F(EncoderConversation, AnOutputThatCannotBeWrittenHasItsOwnStatus)
{
    const QString clip = testmedia::clip("avi");
    // No such folder: the file cannot be made.
    const Result missing = run(zuneArgs(clip, path("gone/out.mp4")));
    expectOneErrorLine(missing, "gone/out.mp4");
    EXPECT_EQ(missing.exitCode, 5);

    // A disk that fills up in the middle: the file size limit stands in for it, and the
    // write fails as it would with ENOSPC.
    QString said;
    const QString args =
        zuneArgs(clip, path("full.mp4")).replaceInStrings("'", "'\\''").join("' '");
    const int status = testmedia::run(
        "/bin/sh",
        {"-c", "trap '' XFSZ; ulimit -f 40; exec '" + encoderPath() + "' '" + args + "'"}, &said);
    EXPECT_EQ(status, 5) << said.toStdString();
    EXPECT_TRUE(said.contains("cannot write the output")) << said.toStdString();
}

TEST_F(EncoderConversation, DamagedAndTruncatedSourcesAreConvertedAroundTheDamage)
{
    QFile clip(testmedia::clip("avi", 6));
    ASSERT_TRUE(clip.open(QIODevice::ReadOnly));
    const QByteArray bytes = clip.readAll();
    QByteArray damaged = bytes;
    for (int k = 1; k < 30; ++k) {
        const qsizetype at = damaged.size() * k / 31;
        for (int j = 0; j < 64; ++j)
            damaged[at + j] = char(damaged[at + j] ^ 0x5a);
    }
    const struct
    {
        QString source;
        double minimum, maximum; // seconds the output may hold
    } cases[] = {
        {writeFile("damaged.avi", damaged), 5.5, 6.1},
        {writeFile("truncated.avi", bytes.left(bytes.size() * 6 / 10)), 2.5, 4.5},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.toStdString());
        const QString output = path(QString("out%1.mp4").arg(n++));
        const Result r = run(zuneArgs(c.source, output));
        ASSERT_EQ(r.exitCode, 0) << r.output.toStdString();
        EXPECT_TRUE(decodesCleanly(output));
        const double seconds = testmedia::probeDuration(output);
        EXPECT_GE(seconds, c.minimum);
        EXPECT_LE(seconds, c.maximum);
    }
}

TEST_F(EncoderConversation, QFinishesAPlayableShorterFile)
{
    const QString output = path("stopped.mp4");
    QProcess encoder;
    QByteArray said;
    ASSERT_TRUE(startBusyEncoder(encoder, output, &said)) << said.toStdString();
    encoder.write("q");
    QElapsedTimer sinceQ;
    sinceQ.start();
    encoder.waitForFinished(30000);
    said += encoder.readAll();
    EXPECT_EQ(encoder.exitCode(), 0) << said.toStdString();
    EXPECT_LT(sinceQ.elapsed(), 3000);
    EXPECT_TRUE(decodesCleanly(output));
    const double seconds = testmedia::probeDuration(output);
    EXPECT_GE(seconds, 1.0);
    EXPECT_LT(seconds, 25.0);
}

TEST_F(EncoderConversation, TheEngineReadsTheProgressItPrints)
{
    const QString output = path("progress.mp4");
    TaskList tasks;
    Task task = makeTask(testmedia::clip("mpg"), 3.0, 0, 0);
    tasks.add(task);
    int reports = 0;
    ParseHooks hooks;
    hooks.runStartTick = 1;
    hooks.redrawProgress = [&](int) { ++reports; };

    QProcess encoder;
    encoder.setProcessChannelMode(QProcess::MergedChannels);
    encoder.start(encoderPath(), zuneArgs(task.sourcePath, output));
    ASSERT_TRUE(encoder.waitForStarted());
    encoder.closeWriteChannel();
    // Chunks of at most 255 bytes, as the runner reads them.
    char chunk[256];
    while (encoder.state() == QProcess::Running || encoder.bytesAvailable() > 0) {
        encoder.waitForReadyRead(100);
        for (qint64 n; (n = encoder.read(chunk, 255)) > 0;) {
            chunk[n] = '\0';
            hooks.now = 1001;
            parseEncoderOutput(chunk, 0, tasks, hooks);
        }
    }
    ASSERT_EQ(encoder.exitCode(), 0);
    EXPECT_GE(reports, 1);
    const Task done = tasks.get(0);
    EXPECT_EQ(done.outputKB, QFileInfo(output).size() / 1024);
    EXPECT_NEAR(done.encodedTime, 3.0, 0.05);
    EXPECT_NEAR(done.encodeSpeed, done.encodedTime, 1e-9); // one second after the start
}
