#include "mainwindow/previewpanel.h"

#include "engine/mediacomponent.h"
#include "engine/taskedits.h"
#include "mainwindow/dialogtemplate.h"
#include "media/cvideoedit.h"
#include "widgets/cfadepicture.h"
#include "widgets/cimagebutton.h"
#include "widgets/crangeslider.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

using namespace dialog102;

namespace {
// A Task trimmed from its very start shows this far in: first pictures are often black.
constexpr double kStillAtStart = 1.0;
// How long the arrow keys must rest before the moved edge's picture is shown.
constexpr int kKeysRestMs = 400;

} // namespace

PreviewPanel::PreviewPanel(QWidget* window, TaskEditor& editor, MediaPreview& preview)
    : QObject(window), m_editor(editor), m_tasks(editor.tasks()), m_preview(preview),
      m_fade(controlOf<CFadePicture>(window, IdFadePicture)),
      m_video(controlOf<CVideoEdit>(window, IdMediaComponent)),
      m_play(controlOf<CImageButton>(window, IdPlay)),
      m_stopPreview(controlOf<CImageButton>(window, IdStopPreview)),
      m_slider(controlOf<CRangeSlider>(window, IdRangeSlider)), m_missing(new QLabel(m_video))
{
    // Light on the preview's black, whatever the skin says of labels.
    m_missing->setObjectName(QStringLiteral("sourceMissingNote"));
    m_missing->setStyleSheet(
        QStringLiteral("QLabel { color: #f2f2f2; background: transparent; padding: 8px; }"));
    m_missing->setAlignment(Qt::AlignCenter);
    m_missing->setWordWrap(true);
    m_missing->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_missing->hide();
    auto* layout = new QVBoxLayout(m_video);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_missing);
    m_video->hide();
    m_fade->StartFade(191, 100);
    showTrim(kNoTaskRange, 0.0, kNoTaskRange);
    connect(m_play, &QPushButton::clicked, this, &PreviewPanel::OnPlay);
    connect(m_stopPreview, &QPushButton::clicked, this, &PreviewPanel::OnStopPreview);
    connect(m_slider, &CRangeSlider::rangeChanged, this, &PreviewPanel::OnRangeChanged,
            Qt::DirectConnection);
    connect(&m_preview, &MediaPreview::PlayEnded, this, &PreviewPanel::OnPlayEnded);
}

void PreviewPanel::updateEnabled()
{
    const bool on = m_editor.mayEdit() && m_tasks.size() > 0;
    for (QWidget* w : std::initializer_list<QWidget*>{m_play, m_stopPreview, m_slider})
        w->setEnabled(on);
}

void PreviewPanel::showTask(int index, bool sourceGone)
{
    m_shown = m_tasks.isValidIndex(index) ? index : -1;
    sayMissing(QString());
    if (m_shown < 0) {
        clearPreview();
        m_preview.Reset();
        showTrim(kNoTaskRange, 0.0, kNoTaskRange);
        return;
    }
    const Task task = m_tasks.get(m_shown);
    const double duration = m_preview.GetDuration(task.sourcePath);
    showTrim(duration > 0 ? duration : task.endTime, task.startTime, task.endTime);
    if (sourceGone) {
        clearPreview();
        sayMissing(task.sourcePath);
    } else {
        showStill(task);
    }
}

void PreviewPanel::showTaskArea()
{
    m_video->show();
    m_fade->hide();
}

void PreviewPanel::showTrim(double duration, double start, double end)
{
    ++m_trimLock;
    m_slider->SetRange(0.0, duration);
    m_slider->SetSelection(start, end);
    --m_trimLock;
}

void PreviewPanel::OnRangeChanged(int which, bool released)
{
    if (m_trimLock || !m_editor.mayEdit() || !m_tasks.isValidIndex(m_shown))
        return;
    // Not a structured binding: clang 14 cannot capture one in a lambda.
    const std::pair<double, double> selection = m_slider->GetSelection();
    const double duration = m_slider->GetMax();
    m_editor.edit(m_shown, [&](Task& task) {
        return setTaskTrim(task, selection.first, selection.second, duration);
    });
    if (!released) {
        // The keys move an edge without ever releasing it: its picture shows once they
        // rest, as a released mouse shows it.
        if (m_slider->hasFocus() && !(QApplication::mouseButtons() & Qt::LeftButton))
            glimpseWhenKeysRest(which);
        return;
    }
    if (m_keysRest)
        m_keysRest->stop();
    const Task task = m_tasks.get(m_shown);
    if (which == 0 || which == 2)
        Seek(task.sourcePath, task.startTime);
    else if (which == 1)
        Seek(task.sourcePath, task.endTime);
}

void PreviewPanel::glimpseWhenKeysRest(int which)
{
    if (!m_keysRest) {
        m_keysRest = new QTimer(this);
        m_keysRest->setSingleShot(true);
        m_keysRest->setInterval(kKeysRestMs);
        connect(m_keysRest, &QTimer::timeout, this, [this] {
            if (!m_editor.mayEdit() || !m_tasks.isValidIndex(m_shown))
                return;
            const Task task = m_tasks.get(m_shown);
            Seek(task.sourcePath, m_restingEdge == 1 ? task.endTime : task.startTime);
        });
    }
    m_restingEdge = which;
    m_keysRest->start();
}

void PreviewPanel::Seek(const QString& path, double time)
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
    const double duration = m_preview.GetDuration(path);
    m_preview.Reset();
    m_preview.SetColorDepth(24);
    if (time <= duration)
        m_preview.AddVideoSegment(path, time, time + kGlimpseLength, 0);
    else
        m_preview.AddVideoSegment(path, 1.0, 1.0, 0);
    m_preview.Play();
    // Play ends the preview it replaces at once; that end is not this glimpse's.
    m_seekBusy = true;
    m_stillPath = path;
    m_stillTime = time;
}

void PreviewPanel::OnPlayEnded(double)
{
    if (!m_previewFlag) {
        m_preview.StopPlay();
        if (!m_stillPath.isEmpty())
            m_preview.ShowStill(std::exchange(m_stillPath, QString()), m_stillTime);
    }
    m_seekBusy = false;
}

void PreviewPanel::showStill(const Task& task)
{
    m_stillPath.clear();
    m_previewFlag = false;
    m_preview.ShowStill(task.sourcePath, task.startTime > 0.0 ? task.startTime : kStillAtStart);
}

void PreviewPanel::clearPreview()
{
    m_stillPath.clear();
    m_preview.ClearPicture();
    m_previewFlag = false;
}

void PreviewPanel::sayMissing(const QString& path)
{
    if (path.isEmpty()) {
        m_missing->hide();
        return;
    }
    // A long path breaks after any of its slashes, not only at its spaces.
    QString breakable = path;
    breakable.replace(u'/', QStringLiteral("/\u200B"));
    m_missing->setText(tr("The source file is missing:\n%1").arg(breakable));
    m_missing->show();
}

void PreviewPanel::OnPlay()
{
    if (!m_editor.mayEdit() || !m_tasks.isValidIndex(m_shown))
        return;
    m_previewFlag = true;
    m_stillPath.clear();
    const Task task = m_tasks.get(m_shown);
    m_preview.GetDuration(task.sourcePath);
    m_preview.Reset();
    m_preview.SetColorDepth(24);
    const double length = task.endTime - task.startTime;
    m_preview.AddVideoSegment(task.sourcePath, task.startTime, length, 0);
    m_preview.AddAudioSegment(task.sourcePath, task.startTime, length);
    // The sound and the subtitles the Task will be converted with.
    if (task.audioTrack > 0 || task.subtitleTrack > 0 || !task.subtitleFile.isEmpty())
        m_preview.SetTrackChoices(task.audioTrack, task.subtitleTrack, task.subtitleFile);
    m_preview.Play();
}

void PreviewPanel::OnStopPreview()
{
    if (!m_editor.mayEdit() || !m_tasks.isValidIndex(m_shown))
        return;
    m_preview.StopPlay();
    m_previewFlag = false;
}
