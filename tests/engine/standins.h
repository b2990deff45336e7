#pragma once

// Small stand-in encoders and a stand-in media component for the runner and batch tests.

#include "batchhost.h"
#include "common/nullmediacomponent.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

// An app folder with a profile file whose Profiles run shell scripts.
class StandInApp
{
public:
    StandInApp();
    QString app() const { return m_dir.path() + "/app"; }
    QString out() const { return m_dir.path() + "/out"; }
    QString path(const QString& name) const { return m_dir.path() + "/" + name; }
    // Adds a script as ./<name> and a Profile running `./<name> <arguments>`; returns
    // the Profile's number.
    int addProfile(const QString& name, const QString& body, const QString& arguments);

private:
    void writeProfiles();
    QTemporaryDir m_dir;
    QStringList m_commands;
};

// Scripts used by several tests.
namespace scripts {
// Prints progress, writes the output file, exits 0; "q" on input finishes at once and
// leaves a marker file next to the output.
extern const char* const kGood;
// Prints an error line and exits 1 without output.
extern const char* const kFailing;
// Exits 0 but writes nothing.
extern const char* const kNoOutput;
// Ignores "q" and SIGTERM; only SIGKILL ends it.
extern const char* const kStubborn;
// Kills itself with SIGSEGV.
extern const char* const kCrashing;
} // namespace scripts

class RecordingHost : public BatchHost
{
public:
    QString folder;
    bool shutdown = false;
    int exportType = 0;
    QList<bool> convertingStates;
    QStringList messages; // "caption|trimmed text"
    QList<MessageIcon> icons;
    std::function<void(int row, int column)> onRedraw;

    QString outputFolderText() const override { return folder; }
    void showConverting(bool converting) override { convertingStates.append(converting); }
    bool shutdownWhenFinished() const override { return shutdown; }
    int selectedExportType() const override { return exportType; }
    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override
    {
        messages.append(caption + "|" + text.trimmed());
        icons.append(icon);
    }
    void redrawCell(int row, int column) override
    {
        if (onRedraw)
            onRedraw(row, column);
    }
};

// Powers nothing off. Answers from the event loop, as the system does.
class FakePower : public PowerControl
{
public:
    Outcome answer = Outcome::PoweringOff;
    QString reason; // of a refusal
    int powerOffCalls = 0;
    QString refusalReason() const override { return reason; }
    void powerOff(Done done) override
    {
        ++powerOffCalls;
        QTimer::singleShot(0, [done = std::move(done), outcome = answer] { done(outcome); });
    }
};

// Converts by writing a small file after a few progress events.
class FakeMedia : public NullMediaComponent
{
    Q_OBJECT
public:
    bool refuseStart = false;
    bool nameTakenOnce = false; // another run creates the next output just before us
    std::function<QString(const QString& path)> sourceProblem;
    QString errorAtEnd;
    FailureKind errorKind = FailureKind::Other; // of every error it reports
    int errorOnCall = -1; // only that conversion (counted from 0) ends with errorAtEnd
    int calls = 0;
    int stopCalls = 0;
    int converted = 0;
    QString lastOutput;
    int generation = 0;

    QStringList titles; // one per SetTitle
    void SetTitle(const QString& title) override { titles << title; }
    MediaCollection WmvProfiles() const override { return MediaCollection({"A", "B"}); }
    bool ConvertToFile(const QString& path) override;
    double GetDuration(const QString&) override { return 10.0; }
    void StopConversion() override
    {
        ++stopCalls;
        ++generation;
    }
    QString LastError() const override { return m_lastError; }
    FailureKind LastFailureKind() const override
    {
        return m_lastError.isEmpty() ? FailureKind::None : errorKind;
    }
    QString SourceProblem(const QString& path) override
    {
        return sourceProblem ? sourceProblem(path) : QString();
    }

private:
    QString m_lastError;
};
