#pragma once

#include <QString>
#include <QVector>
#include <cstdint>
#include <functional>

// Why a conversion failed, in the classes the list tells apart.
enum class FailureKind : int32_t
{
    None = 0,
    Other,            // only the reason itself says
    SourceMissing,    // the source file is gone
    SourceUnreadable, // not a video or sound this program can read
    OutputUnwritable, // the output folder cannot be written, for no cause the program knows
    EncoderStopped,   // the encoder or the converter stopped unexpectedly
    EncoderMissing,   // the encoder program could not be started
    EmptySpan,        // the trimmed span holds nothing
    OutputReadOnly,   // this user cannot write into the output folder
    OutputMissing,    // the output folder does not exist (any more)
    DiskFull,         // no room left where the output folder is
};

// One row of the conversion list. A plain value: copy it out of the list, change the
// copy, write it back.
struct Task
{
    QString sourcePath;
    double startTime = 0.0;
    double endTime = 0.0;
    QString title;
    int32_t videoType = 1;
    int32_t videoSize = 0;
    int32_t frameRate = 0;
    int32_t videoBitrate = 3;
    int32_t aspect = 0;
    int32_t channels = 1;
    int32_t audioBitrate = 4;
    int32_t sampleRate = 2;
    int32_t volume = 1;
    int32_t mp4Profile = 0;
    QString exportName;
    int32_t finished = 0;
    int32_t outputKB = 0;
    double encodeSpeed = 0.0;
    double encodedTime = 0.0;
    int32_t isRealMedia = 0;
    QString intermediatePath;
    int32_t preState = 0;
    int32_t preDone = 0;
    double prePosition = 0.0;
    double prePercent = 0.0;
    double preRemainTime = 0.0;
    int32_t exportType = 0;
    int32_t wmvProfile = 0;
    int32_t wmvPercent = 0;

    // Set when the last conversion of this Task failed, with the reason the encoder or
    // the media component gave. Cleared with the rest of the progress.
    int32_t failed = 0;
    QString failureReason;
    FailureKind failureKind = FailureKind::None;
    // Set when Stop ended this Task's conversion. Cleared with the rest of the progress.
    int32_t stopped = 0;
    // The file the last batch wrote for this Task, from the moment its name was chosen;
    // empty before, and again once the title or the export type changes.
    QString outputPath;
    // What the finished conversion was made from (conversionSignature at the time), so
    // that a Task edited since is no longer counted as converted. Empty until finished.
    QString doneSignature;
    // Set when a conversion finished but gave less than was asked for (the source ended
    // early): what was reached. Cleared with the rest of the progress.
    QString warning;
    // Set when a conversion finished with a setting the encoder could not keep: why, and
    // what it used instead, a line each ("AAC has no sample rate of 54000 Hz; using
    // 48000 Hz"). Cleared with the rest of the progress.
    QString change;
    // The log of this Task's last conversion run; empty before its first.
    QString logPath;
    // The source's sound track to convert, 1-based among its sound tracks; 0 takes the
    // one the file marks as default, else the first.
    int32_t audioTrack = 0;
    // Subtitles drawn into the picture: the source's subtitle track (1-based), or the
    // .srt/.ass file when subtitleFile is set; 0 and empty for none.
    int32_t subtitleTrack = 0;
    QString subtitleFile;
};

// The WMV percentage of a conversion that has finished; a running one stays below it.
constexpr int32_t kWmvDone = 100;

// True when the Task's last conversion ran to its end: an MP4 Task's encoder finished,
// a WMV Task's conversion completed. Failed and stopped are asked apart.
bool conversionFinished(const Task& task);

// The Task's sound and subtitle choices as the encoder's options (" -atrack 2
// -subtitles \"film.srt\""), to follow the Profile's expanded command line; empty for a
// Task that chose neither, and for a RealMedia source: its intermediate file has the
// choices in it already.
QString choiceArguments(const Task& task);
// The choices in a user's words for the log ("sound track 2, subtitles from film.srt");
// empty for none.
QString choiceText(const Task& task);

// Text between the last "/" and the last "." of a path; empty when no "." follows
// the last "/".
QString taskBaseName(const QString& path);

// True when the file's extension is RealMedia's (.rm or .rmvb, in any case); folders and
// names that merely contain "rm" do not count.
bool isRealMediaPath(const QString& path);

// A new Task for a source, with the creation values.
Task makeTask(const QString& sourcePath, double duration, int32_t exportType, int32_t wmvProfile);

// The Task's fields that decide what its conversion writes: source, trim, title,
// export type, Profiles and settings.
QString conversionSignature(const Task& task);

// True when the Task's last conversion finished and nothing that decides its output
// changed since.
bool isConverted(const Task& task);

class TaskList;

// Clears the progress of every Task before a batch, redrawing each row's Progress cell.
// The pre-conversion's state goes too, so that a RealMedia Task waiting its turn does
// not show the half of a run that is over.
// With keepConverted, Tasks that are converted (isConverted) keep theirs.
void resetProgress(TaskList& tasks, const std::function<void(int row)>& redrawProgress,
                   bool keepConverted = false);

class TaskList
{
public:
    int add(const Task& task);
    Task get(int index) const { return m_tasks.at(index); }
    void set(int index, const Task& task)
    {
        m_tasks[index] = task;
        ++m_changes;
    }
    void removeAt(int index)
    {
        m_tasks.removeAt(index);
        ++m_changes;
    }
    void removeAll()
    {
        m_tasks.clear();
        ++m_changes;
    }
    int size() const { return int(m_tasks.size()); }
    bool isValidIndex(int index) const { return index >= 0 && index < size(); }
    // Grows with every change, so that a keeper of the list sees when to save it.
    quint64 changeCount() const { return m_changes; }

private:
    QVector<Task> m_tasks;
    quint64 m_changes = 0;
};
