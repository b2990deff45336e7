// Trimming the selected Task with the range slider, and the preview.
#include "cquenmardlg.h"

#include "crangeslider.h"
#include "ctasklistctrl.h"
#include "progressdisplay.h"
#include "taskcells.h"
#include "taskedits.h"

#include <algorithm>
#include <utility>

namespace {
// A Task trimmed from its very start shows this far in: first pictures are often black.
constexpr double kStillAtStart = 1.0;
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
    if (!released)
        return;
    if (which == 0 || which == 2)
        Seek(task.sourcePath, task.startTime);
    else if (which == 1)
        Seek(task.sourcePath, task.endTime);
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
