#pragma once

#include "engine/task.h"

#include <QObject>

#include <functional>
#include <optional>

// What a new Task holds: makeTask's creation values, the user's choices, and, unless
// the user chose subtitles, a forced track in the sound's language (asked of
// `forcedSubtitles`, the media probe). The same for the window and the command line.
struct NewTaskChoices
{
    int exportType = 0;
    int wmvProfile = 0;
    int mp4Profile = 0;
    int audioTrack = 0;
    std::optional<int> subtitleTrack; // unset: the forced track, if any
    QString subtitleFile;
};
using ForcedSubtitleFn = std::function<int(const QString& path, int audioTrack)>;
Task newTask(const QString& sourcePath, double duration, const NewTaskChoices& choices,
             const ForcedSubtitleFn& forcedSubtitles);

// The one place that says whether the user may change the Task list now, and through
// which every change a user makes reaches it. During a batch nothing changes but the
// MP4 Profile: a Task not converted yet takes the Profile chosen last when its turn
// comes.
class TaskEditor : public QObject
{
    Q_OBJECT
public:
    enum class Edit
    {
        List,       // add, remove, select, trim, title, type, settings, tracks
        Mp4Profile, // the MP4 Profile of a Task
    };
    using BusyFn = std::function<bool()>;

    explicit TaskEditor(TaskList& tasks, QObject* parent = nullptr);
    // Asked before every edit: true while a batch runs.
    void setBusy(BusyFn busy) { m_busy = std::move(busy); }

    bool mayEdit(Edit what = Edit::List) const;
    const TaskList& tasks() const { return m_tasks; }

    // Applies `change` (one of the taskedits.h edits, or several) to Task `index` when
    // the edit is allowed, writes the Task back and says taskChanged when it changed.
    bool edit(int index, const std::function<bool(Task&)>& change, Edit what = Edit::List);
    // Writes back what the program itself found (a source gone), allowed at any time.
    void correct(int index, const Task& task);
    // -1 when refused.
    int add(const Task& task);
    bool removeAt(int index);
    bool removeAll();

signals:
    void taskChanged(int index);
    // Tasks were added or removed.
    void rowsChanged();

private:
    TaskList& m_tasks;
    BusyFn m_busy;
};
