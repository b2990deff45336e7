#pragma once

#include "engine/taskeditor.h"

#include <QObject>
#include <QStringList>

class QComboBox;

// The Audio and Subtitles boxes: which of the shown Task's sound tracks is converted,
// and which subtitles are drawn into its picture. They take input only for a Task with
// something to choose, and not during a batch.
class TrackChoices : public QObject
{
    Q_OBJECT
public:
    TrackChoices(QWidget* window, TaskEditor& editor);

    void updateEnabled();
    void OnTrackChoiceChanged();

public slots:
    // Shows Task `index`'s tracks; with -1, or when its source is gone, the boxes are
    // emptied: a file that is not there has no tracks to tell.
    void showTask(int index, bool sourceGone = false);

private:
    void showTracks(const Task& task);
    void emptyBoxes();

    TaskEditor& m_editor;
    const TaskList& m_tasks;
    QComboBox* m_audioTrack;
    QComboBox* m_subtitles;
    int m_shown = -1;
    // The subtitle files the Subtitles box offers after its tracks, in its order.
    QStringList m_subtitleFiles;
    int m_trackGuard = 0;
    int m_defaultAudioTrack = -1;
    // The user chose the shown Task's subtitles since its row was selected.
    bool m_subtitlesChosen = false;
};
