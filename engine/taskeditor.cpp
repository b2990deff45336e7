#include "engine/taskeditor.h"

#include "engine/taskedits.h"

Task newTask(const QString& sourcePath, double duration, const NewTaskChoices& choices,
             const ForcedSubtitleFn& forcedSubtitles)
{
    Task task = makeTask(sourcePath, duration, choices.exportType, choices.wmvProfile);
    setTaskMp4Profile(task, choices.mp4Profile);
    setTaskAudioTrack(task, choices.audioTrack);
    const int subtitles =
        choices.subtitleTrack
            ? *choices.subtitleTrack
            : (forcedSubtitles ? forcedSubtitles(sourcePath, choices.audioTrack) : 0);
    setTaskSubtitles(task, subtitles, choices.subtitleFile);
    return task;
}

TaskEditor::TaskEditor(TaskList& tasks, QObject* parent) : QObject(parent), m_tasks(tasks) {}

bool TaskEditor::mayEdit(Edit what) const
{
    return what == Edit::Mp4Profile || !m_busy || !m_busy();
}

bool TaskEditor::edit(int index, const std::function<bool(Task&)>& change, Edit what)
{
    if (!mayEdit(what) || !m_tasks.isValidIndex(index))
        return false;
    Task task = m_tasks.get(index);
    if (!change(task))
        return false;
    m_tasks.set(index, task);
    emit taskChanged(index);
    return true;
}

void TaskEditor::correct(int index, const Task& task)
{
    if (!m_tasks.isValidIndex(index))
        return;
    m_tasks.set(index, task);
    emit taskChanged(index);
}

int TaskEditor::add(const Task& task)
{
    if (!mayEdit())
        return -1;
    const int index = m_tasks.add(task);
    emit rowsChanged();
    return index;
}

bool TaskEditor::removeAt(int index)
{
    if (!mayEdit() || !m_tasks.isValidIndex(index))
        return false;
    m_tasks.removeAt(index);
    emit rowsChanged();
    return true;
}

bool TaskEditor::removeAll()
{
    if (!mayEdit())
        return false;
    m_tasks.removeAll();
    emit rowsChanged();
    return true;
}
