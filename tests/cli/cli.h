#pragma once

// The program run on the command line with settings, cache, data and state folders of
// its own and no display.

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

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
        env.insert("XDG_DATA_HOME", home.path() + "/data");
        env.insert("XDG_STATE_HOME", home.path() + "/state");
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

} // namespace
