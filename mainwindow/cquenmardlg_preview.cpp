// Trimming the selected Task with the range slider, and the preview.
#include "cquenmardlg.h"

#include "cfadepicture.h"
#include "crangeslider.h"
#include "ctasklistctrl.h"
#include "cvideoedit.h"
#include "progressdisplay.h"
#include "taskcells.h"
#include "taskedits.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace {
// A Task trimmed from its very start shows this far in: first pictures are often black.
constexpr double kStillAtStart = 1.0;
// How long the arrow keys must rest before the moved edge's picture is shown.
constexpr int kKeysRestMs = 400;
} // namespace

void CQuenmarDlg::OnRangeChanged(int which, bool released)
{
    if (converting())
        return;
    const int mark = m_list->GetSelectionMark();
    if (!m_tasks.isValidIndex(mark) || m_trimLock)
        return;
    Task task = m_tasks.get(mark);
    const auto [start, end] = m_slider->GetSelection();
    if (setTaskTrim(task, start, end, m_slider->GetMax()))
        m_tasks.set(mark, task);
    const int first = std::min(m_selected, mark);
    const int last = std::max(m_selected, mark);
    m_list->InvalidateCells(first, last, ColumnBegin, false);
    m_list->InvalidateCells(first, last, ColumnEnd, false);
    if (!released) {
        // The keys move an edge without ever releasing it: its picture shows once they
        // rest, as a released mouse shows it.
        if (m_slider->hasFocus() && !(QApplication::mouseButtons() & Qt::LeftButton))
            glimpseWhenKeysRest(which);
        return;
    }
    if (m_keysRest)
        m_keysRest->stop();
    if (which == 0 || which == 2)
        Seek(task.sourcePath, task.startTime);
    else if (which == 1)
        Seek(task.sourcePath, task.endTime);
}

void CQuenmarDlg::glimpseWhenKeysRest(int which)
{
    if (!m_keysRest) {
        m_keysRest = new QTimer(this);
        m_keysRest->setSingleShot(true);
        m_keysRest->setInterval(kKeysRestMs);
        connect(m_keysRest, &QTimer::timeout, this, [this] {
            const int mark = m_list->GetSelectionMark();
            if (converting() || !m_tasks.isValidIndex(mark))
                return;
            const Task task = m_tasks.get(mark);
            Seek(task.sourcePath, m_restingEdge == 1 ? task.endTime : task.startTime);
        });
    }
    m_restingEdge = which;
    m_keysRest->start();
}

void CQuenmarDlg::showTaskArea()
{
    // The preview takes the splash picture's place once the list holds a Task, and the
    // title field comes with the first Task too.
    m_video->show();
    m_fade->hide();
    m_titleEdit->setVisible(m_exportMode == 0);
    m_titleLabel->setVisible(m_exportMode == 0);
}

void CQuenmarDlg::Seek(const QString& path, double time)
{
    // Once the glimpse is over the picture rests at the edge, so that it agrees with the
    // list's times; an edge moved again while a glimpse plays moves that place along.
    if (m_seekBusy) {
        m_stillPath = path;
        m_stillTime = time;
        return;
    }
    m_seekBusy = true;
    m_previewFlag = false;
    const double duration = m_preview->GetDuration(path);
    m_preview->Reset();
    m_preview->SetColorDepth(24);
    if (time <= duration)
        m_preview->AddVideoSegment(path, time, time + kGlimpseLength, 0);
    else
        m_preview->AddVideoSegment(path, 1.0, 1.0, 0);
    m_preview->Play();
    // Play ends the preview it replaces at once; that end is not this glimpse's.
    m_seekBusy = true;
    m_stillPath = path;
    m_stillTime = time;
}

void CQuenmarDlg::OnPlayEnded(double)
{
    if (!m_previewFlag) {
        m_preview->StopPlay();
        if (!m_stillPath.isEmpty())
            m_preview->ShowStill(std::exchange(m_stillPath, QString()), m_stillTime);
    }
    m_seekBusy = false;
}

void CQuenmarDlg::showStill(const Task& task)
{
    m_stillPath.clear();
    m_previewFlag = false;
    m_preview->ShowStill(task.sourcePath, task.startTime > 0.0 ? task.startTime : kStillAtStart);
}

void CQuenmarDlg::clearPreview()
{
    m_stillPath.clear();
    m_preview->ClearPicture();
    m_previewFlag = false;
}

void CQuenmarDlg::OnPlay()
{
    const int mark = m_list->GetSelectionMark();
    if (converting() || !m_tasks.isValidIndex(mark))
        return;
    m_previewFlag = true;
    m_stillPath.clear();
    const Task task = m_tasks.get(mark);
    m_preview->GetDuration(task.sourcePath);
    m_preview->Reset();
    m_preview->SetColorDepth(24);
    const double length = task.endTime - task.startTime;
    m_preview->AddVideoSegment(task.sourcePath, task.startTime, length, 0);
    m_preview->AddAudioSegment(task.sourcePath, task.startTime, length);
    // The sound and the subtitles the Task will be converted with.
    if (task.audioTrack > 0 || task.subtitleTrack > 0 || !task.subtitleFile.isEmpty())
        m_preview->SetTrackChoices(task.audioTrack, task.subtitleTrack, task.subtitleFile);
    m_preview->Play();
}

void CQuenmarDlg::OnStopPreview()
{
    const int mark = m_list->GetSelectionMark();
    if (converting() || !m_tasks.isValidIndex(mark))
        return;
    m_preview->StopPlay();
    m_previewFlag = false;
}
