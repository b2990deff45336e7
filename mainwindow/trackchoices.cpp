#include "mainwindow/trackchoices.h"

#include "engine/taskedits.h"
#include "mainwindow/dialogtemplate.h"
#include "media/mediaprobe.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileInfo>

#include <algorithm>

using namespace dialog102;

TrackChoices::TrackChoices(QWidget* window, TaskEditor& editor)
    : QObject(window), m_editor(editor), m_tasks(editor.tasks()),
      m_audioTrack(window->findChild<QComboBox*>(QString::number(IdAudioTrack))),
      m_subtitles(window->findChild<QComboBox*>(QString::number(IdSubtitles)))
{
    m_audioTrack->setEnabled(false);
    m_subtitles->setEnabled(false);
    connect(m_audioTrack, &QComboBox::activated, this, &TrackChoices::OnTrackChoiceChanged);
    connect(m_subtitles, &QComboBox::activated, this, &TrackChoices::OnTrackChoiceChanged);
}

void TrackChoices::showTask(int index, bool sourceGone)
{
    m_shown = m_tasks.isValidIndex(index) ? index : -1;
    if (m_shown >= 0 && !sourceGone)
        showTracks(m_tasks.get(m_shown));
    else
        emptyBoxes();
    updateEnabled();
}

void TrackChoices::emptyBoxes()
{
    ++m_trackGuard;
    m_audioTrack->clear();
    m_subtitles->clear();
    m_audioTrack->setToolTip({});
    m_subtitles->setToolTip({});
    --m_trackGuard;
}

void TrackChoices::showTracks(const Task& task)
{
    ++m_trackGuard;
    const MediaTracks tracks = mediaTracks(task.sourcePath);
    m_defaultAudioTrack = tracks.defaultAudio;
    m_subtitlesChosen = false;
    m_audioTrack->clear();
    m_audioTrack->addItems(tracks.audio);
    // A file without sound says so, rather than leaving the box blank.
    if (tracks.audio.isEmpty())
        m_audioTrack->addItem(tr("No sound"), QStringLiteral("none"));
    const int audio = task.audioTrack > 0 ? task.audioTrack - 1 : tracks.defaultAudio;
    m_audioTrack->setCurrentIndex(tracks.audio.isEmpty()          ? 0
                                  : audio < m_audioTrack->count() ? audio
                                                                  : -1);

    m_subtitles->clear();
    m_subtitles->addItem(tr("None"));
    m_subtitles->addItems(tracks.subtitles);
    m_subtitleFiles = tracks.subtitleFiles;
    if (!task.subtitleFile.isEmpty() && !m_subtitleFiles.contains(task.subtitleFile))
        m_subtitleFiles << task.subtitleFile;
    for (const QString& file : m_subtitleFiles)
        m_subtitles->addItem(tr("File: %1").arg(QFileInfo(file).fileName()));
    int chosen = 0;
    if (!task.subtitleFile.isEmpty())
        chosen = 1 + int(tracks.subtitles.size()) + int(m_subtitleFiles.indexOf(task.subtitleFile));
    else if (task.subtitleTrack > 0 && task.subtitleTrack <= tracks.subtitles.size())
        chosen = task.subtitleTrack;
    m_subtitles->setCurrentIndex(chosen);
    // A long track name is cut in the box: its list opens wide enough to read it whole,
    // and the box's tip says the one chosen.
    for (QComboBox* box : {m_audioTrack, m_subtitles}) {
        box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 8);
        box->setToolTip(box->currentText());
    }
    --m_trackGuard;
}

void TrackChoices::updateEnabled()
{
    if (!m_tasks.isValidIndex(m_shown))
        emptyBoxes();
    const bool open = m_editor.mayEdit() && m_tasks.isValidIndex(m_shown);
    m_audioTrack->setEnabled(open && m_audioTrack->count() > 1);
    m_subtitles->setEnabled(open && m_subtitles->count() > 1);
}

void TrackChoices::OnTrackChoiceChanged()
{
    if (m_trackGuard || !m_editor.mayEdit() || !m_tasks.isValidIndex(m_shown))
        return;
    if (sender() == m_subtitles)
        m_subtitlesChosen = true;
    m_editor.edit(m_shown, [this](Task& task) {
        // The track the file marks as default stays "no choice", as a new Task has.
        const int audio = m_audioTrack->currentIndex();
        const int audioBefore = task.audioTrack;
        const bool noChoice = audio < 0 || audio == m_defaultAudioTrack ||
                              m_audioTrack->currentData().toString() == QLatin1String("none");
        bool changed = setTaskAudioTrack(task, noChoice ? 0 : audio + 1);
        // Another sound track takes the forced subtitles of its language, as long as the
        // user has not chosen subtitles since the row was selected and they are still the
        // ones the previous track took by itself.
        if (changed && !m_subtitlesChosen && task.subtitleFile.isEmpty() &&
            task.subtitleTrack == mediaForcedSubtitleTrack(task.sourcePath, audioBefore)) {
            const int forced = mediaForcedSubtitleTrack(task.sourcePath, task.audioTrack);
            ++m_trackGuard;
            m_subtitles->setCurrentIndex(forced);
            --m_trackGuard;
        }
        const int subtitles = m_subtitles->currentIndex();
        const int firstFile = m_subtitles->count() - int(m_subtitleFiles.size());
        if (subtitles >= firstFile)
            changed |= setTaskSubtitles(task, 0, m_subtitleFiles.value(subtitles - firstFile));
        else
            changed |= setTaskSubtitles(task, std::max(0, subtitles), QString());
        return changed;
    });
    m_audioTrack->setToolTip(m_audioTrack->currentText());
    m_subtitles->setToolTip(m_subtitles->currentText());
}
