#pragma once

// Small stand-in encoders, a host and a power control for the runner and batch tests.

#include "engine/batchhost.h"

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
    bool shutdown = false;
    QList<bool> convertingStates;
    QStringList messages; // "caption|trimmed text"
    QList<MessageIcon> icons;

    void showConverting(bool converting) override { convertingStates.append(converting); }
    bool shutdownWhenFinished() const override { return shutdown; }
    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override
    {
        messages.append(caption + "|" + text.trimmed());
        icons.append(icon);
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
