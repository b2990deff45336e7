// The command line end to end: the real program, encoder and media component on files
// made for the test.
#include "common/qtprinters.h"
#include "testmedia.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>

#include <gtest/gtest.h>

namespace {

const QString kProgram = QStringLiteral(TRELVO_BIN_DIR "/trelvo-converter");

struct Cli
{
    QTemporaryDir home;
    QString out() const { return home.path() + "/out"; }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home.path() + "/config");
        env.insert("XDG_CACHE_HOME", home.path() + "/cache");
        env.remove("DISPLAY");
        return env;
    }
    // Runs to the end; returns the exit code and fills `output`.
    int run(const QStringList& args, QString* output = nullptr)
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(kProgram, args);
        p.waitForFinished(180000);
        const QString text = QString::fromUtf8(p.readAll());
        if (output)
            *output = text;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
};

QString codecOf(const QString& path, const QString& type)
{
    return testmedia::probeStream(testmedia::probe(path), type).value("codec_name").toString();
}

// Processes whose command line names `text`, other than this test.
int processesNaming(const QString& text)
{
    QString output;
    testmedia::run("pgrep", {"-f", text}, &output);
    return int(output.split('\n', Qt::SkipEmptyParts).size());
}

} // namespace

TEST(CommandLine, ConvertsIntoOneFolderWithNumberedNames)
{
    Cli cli;
    const QString avi = testmedia::clip("avi");
    const QString rm = testmedia::clip("rm");
    const QString mov = testmedia::clip("mov");
    // A second source with the same base name as the first.
    QDir().mkpath(cli.home.path() + "/other");
    const QString sameName = cli.home.path() + "/other/" + QFileInfo(avi).fileName();
    QFile::copy(avi, sameName);

    QString output;
    ASSERT_EQ(cli.run({"--convert", avi, rm, sameName, "--output", cli.out()}, &output), 0)
        << output.toStdString();
    const QString base = QFileInfo(avi).completeBaseName();
    EXPECT_EQ(codecOf(cli.out() + "/" + base + ".mp4", "video"), "h264");
    EXPECT_EQ(codecOf(cli.out() + "/" + base + "_2.mp4", "video"), "h264");
    const QString rmOut = cli.out() + "/" + QFileInfo(rm).completeBaseName() + ".mp4";
    EXPECT_EQ(codecOf(rmOut, "video"), "h264");
    EXPECT_EQ(codecOf(rmOut, "audio"), "aac");
    EXPECT_NEAR(testmedia::probeDuration(rmOut), 3.0, 0.2);
    EXPECT_TRUE(output.contains("3 finished, 0 failed"));
    // The pre-conversion leaves no intermediate file behind.
    EXPECT_TRUE(QDir(cli.home.path() + "/cache/trelvo-converter").isEmpty());

    ASSERT_EQ(cli.run({"--convert", mov, "--wmv", "--output", cli.out()}, &output), 0)
        << output.toStdString();
    const QString wmv = cli.out() + "/" + QFileInfo(mov).completeBaseName() + ".wmv";
    EXPECT_EQ(codecOf(wmv, "video"), "wmv2");
    EXPECT_EQ(codecOf(wmv, "audio"), "wmav2");
}

TEST(CommandLine, ADamagedSourceFailsAndTheOthersFinish)
{
    Cli cli;
    const QString good = testmedia::clip("avi");
    const QString damaged = cli.home.path() + "/damaged.avi";
    QFile f(damaged);
    f.open(QIODevice::WriteOnly);
    f.write(QByteArray(64 * 1024, '\x5a'));
    f.close();
    QString output;
    EXPECT_EQ(cli.run({"--convert", good, damaged, testmedia::clip("mpg"), "--output", cli.out(),
                       "--title", "Holiday"},
                      &output),
              1)
        << output.toStdString();
    EXPECT_TRUE(output.contains("damaged.avi: Failed (")) << output.toStdString();
    EXPECT_TRUE(output.contains("2 finished, 1 failed"));
    EXPECT_TRUE(QFile::exists(cli.out() + "/Holiday.mp4"));
    EXPECT_TRUE(QFile::exists(cli.out() + "/Holiday_2.mp4")); // the third Task
    EXPECT_FALSE(QFile::exists(cli.out() + "/Holiday_3.mp4"));
}

TEST(CommandLine, CtrlCStopsTheEncoderWhichLeavesAPlayableFile)
{
    Cli cli;
    const QString longClip = testmedia::clip("avi", 40);
    QProcess p;
    p.setProcessEnvironment(cli.environment());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(kProgram, {"--convert", longClip, testmedia::clip("mpg"), "--output", cli.out(),
                       "--title", "stopped", "--profile", "2"});
    // Wait until the encoder reports progress, then press Ctrl+C.
    QString seen;
    QElapsedTimer timer;
    timer.start();
    while (!seen.contains("MB") && timer.elapsed() < 60000) {
        p.waitForReadyRead(200);
        seen += QString::fromUtf8(p.readAll());
    }
    ASSERT_TRUE(seen.contains("MB")) << seen.toStdString();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(20000));
    seen += QString::fromUtf8(p.readAll());
    EXPECT_EQ(p.exitCode(), 130) << seen.toStdString();
    const QString partial = cli.out() + "/stopped.mp4";
    const double duration = testmedia::probeDuration(partial);
    EXPECT_GT(duration, 0.0);
    EXPECT_LT(duration, 39.0);
    EXPECT_EQ(codecOf(partial, "video"), "h264");
    EXPECT_FALSE(QFile::exists(cli.out() + "/stopped_2.mp4")); // the second Task never ran
    EXPECT_EQ(processesNaming(cli.out()), 0);                  // no encoder left behind
}

TEST(CommandLine, UsageErrors)
{
    Cli cli;
    const QString avi = testmedia::clip("avi");
    const QStringList cases[] = {
        {"--bogus"},
        {"--convert"},
        {"--convert", avi, "--profile", "99"},
        {"--convert", avi, "--wmv-profile", "-1"},
        {"--convert", avi, "--start", "abc"},
    };
    for (const QStringList& args : cases) {
        QString output;
        EXPECT_EQ(cli.run(args, &output), 2)
            << args.join(' ').toStdString() << output.toStdString();
    }
    QString output;
    EXPECT_EQ(cli.run({"--help"}, &output), 0);
    EXPECT_TRUE(output.contains("--convert FILE..."));
    EXPECT_EQ(cli.run({"--list-profiles"}, &output), 0);
    EXPECT_TRUE(output.contains("WMV profiles"));
}
