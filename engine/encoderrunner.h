#pragma once

#include "engine/encoderoutputparser.h"
#include "engine/task.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <vector>

// Runs the encoder of one MP4 Task: starts it from the expanded command line (split into
// arguments, no shell) in the app folder, reads its output as it comes in chunks of at
// most 255 bytes and hands each chunk to the parser. Nothing here waits: the process's
// own signals move it on, and runEnded() says when the run is over and how it ended.
//
// A stopped encoder is asked to finish with "q" and given all the time it needs while its
// output file still moves; one that stands still is terminated after 3 s and killed 2 s
// later, also when the program closes. An encoder that prints and writes nothing for the
// stall limit (120 s) is stopped the same way and counts as failed.
class EncoderRunner : public QObject
{
    Q_OBJECT
public:
    static constexpr int kChunkBytes = 255;
    static constexpr int kTerminateAfterMs = 3000;
    static constexpr int kKillAfterMs = 2000;
    static constexpr int kStallLimitMs = 120000;

    // How a run ended.
    struct Result
    {
        enum class End
        {
            Finished, // the encoder ended well; whether it wrote its file is the caller's look
            Failed,
            Stopped, // asked to finish early (writeQuitAndCloseInput), and it did
            // The encoder refused to write because its output file existed already:
            // another run got there first, and the caller chooses the next free name.
            NameTaken
        };
        End end = End::Finished;
        // Why it failed (for NameTaken: what a failure would say when no name is left).
        FailureKind kind = FailureKind::None;
        QString reason;
    };

    explicit EncoderRunner(TaskList& tasks, QObject* parent = nullptr);
    ~EncoderRunner() override;

    void setWorkingDirectory(const QString& folder) { m_workingDirectory = folder; }
    void setRedrawProgress(std::function<void(int row)> redraw) { m_redraw = std::move(redraw); }
    void setStallLimit(int ms) { m_stallLimitMs = ms; }

    // Starts the encoder and returns at once: true when it runs, and runEnded() follows
    // once it has exited and all it printed was read. `outputPath` is the file it
    // writes: its growth counts as progress, and it is removed when the encoder dies
    // before finishing it. False when it could not start: then no runEnded() follows, and
    // `notStarted`, when given, says why.
    bool runEncoder(const QString& commandLine, int taskIndex, const QString& outputPath = {},
                    Result* notStarted = nullptr);
    // The settings the last run could not keep, one line each in the encoder's words
    // ("AAC has no sample rate of 54000 Hz; using 48000 Hz"); empty when it kept all.
    QString changes() const { return m_changes.join(u'\n'); }
    // The current run is not over: its encoder has not ended, nor been let go.
    bool running() const { return !m_process.isNull(); }

    // The two ends the stop routine and the parser use; each closes at most once.
    // Closing the output stops the parsing; the pipe itself is drained so that the
    // encoder is never killed by a broken pipe while it writes its file.
    void closeOutput();
    void writeQuitAndCloseInput();
    bool outputClosed() const { return m_outputClosed; }
    bool inputClosed() const { return m_inputClosed; }
    // Lets the current run finish its file on its own: no runEnded() follows for it.
    void letGo();

    // Asks every encoder left to finish and blocks until none runs, with the terminate
    // and kill steps; for closing the program, when nothing else is left to do.
    void waitForEncoders();
    int runningEncoders() const;

    // The diagnostic text of a step that failed: "<step> failed (error <code>): <message>".
    // Written to the debug log only.
    static QString composeFailure(const QString& step, int code, const QString& message);

signals:
    // The command line of a run, before its encoder starts; then all it prints, as read.
    void encoderStarting(int taskIndex, const QString& commandLine);
    void outputRead(int taskIndex, const QByteArray& bytes);
    void runEnded(const EncoderRunner::Result& result);
    // No encoder of this runner is left running (after letGo() too).
    void allEncodersEnded();

private:
    Result endOfRun() const;
    void sendQuitAndCloseInput();
    void reportFailure(const QString& step, int code, const QString& message);
    void readOutput();
    void onFinished();
    void noteOutputLine(const char* chunk);
    void watchForStall(QProcess* process);
    void noteEnded();
    static void endWhenStuck(QProcess* process);

    TaskList& m_tasks;
    QString m_workingDirectory;
    std::function<void(int)> m_redraw;

    QPointer<QProcess> m_process;
    std::vector<QPointer<QProcess>> m_letGo;
    int m_taskIndex = -1;
    uint32_t m_runStartTick = 0;
    bool m_outputClosed = true;
    bool m_inputClosed = true;
    bool m_quitSent = false;
    bool m_stopAsked = false; // writeQuitAndCloseInput() from outside, not our own finish
    bool m_stalled = false;
    int m_stallLimitMs = kStallLimitMs;
    int m_exitCode = 0;
    QProcess::ExitStatus m_exitStatus = QProcess::NormalExit;
    QString m_startError;
    QString m_outputPath;
    QString m_lastLine;      // the last line that was not progress nor one of our notes
    QString m_lastErrorLine; // the last line that calls itself an error
    QStringList m_changes;   // the settings it could not keep
    QByteArray m_partialLine;
};
