// Building the Task list: add, remove, selection and the trim display of a Task.
#include "cquenmardlg.h"

#include "appsettings.h"
#include "cfadepicture.h"
#include "crangeslider.h"
#include "ctasklistctrl.h"
#include "cvideoedit.h"
#include "dialogtemplate.h"
#include "mediaprobe.h"
#include "progressdisplay.h"
#include "settingitems.h"
#include "sourcecheck.h"
#include "taskcells.h"
#include "taskedits.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QStandardPaths>

using namespace dialog102;

void CQuenmarDlg::OnAdd()
{
    if (converting())
        return;
    QStringList paths;
    if (m_fileChooser) {
        paths = m_fileChooser();
    } else {
        const QString start = addDialogFolder();
        QFileDialog dialog(this);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        QStringList filters;
        for (const FileFilter& filter : fileFilters())
            filters.append(qtNameFilter(filter));
        // Today's containers and raw video streams; sound alone converts too (into an
        // MP4 without picture), and a video may carry an extension none of the lists knows.
        filters << tr("Other Video Files (*.mkv *.mp4 *.m4v *.webm *.ts *.mts *.m2ts *.ogv "
                      "*.flv *.h264 *.264 *.hevc *.265 *.m2v)")
                << tr("Sound Files (*.mp3 *.wav *.wma *.m4a *.aac *.ogg *.oga *.flac *.ac3)")
                << tr("All Files (*)");
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.first());
        dialog.setDirectory(start);
        if (dialog.exec() == QDialog::Accepted)
            paths = dialog.selectedFiles();
    }
    // The next add dialog opens where these came from, also after a restart.
    if (!paths.isEmpty())
        storeAddFolder(QFileInfo(paths.first()).absolutePath());
    AddFiles(paths);
}

QString CQuenmarDlg::addDialogFolder() const
{
    QString start = storedAddFolder();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::homePath();
    return start;
}

QString CQuenmarDlg::addProblem(const QString& path)
{
    if (m_sourceChecker)
        return m_sourceChecker(path);
    return checkSource(path, *m_converter).problem;
}

void CQuenmarDlg::AddFiles(const QStringList& paths)
{
    if (converting() || paths.isEmpty())
        return;
    // A file that cannot be converted is not added as a Task that fails later: the
    // readable ones are added, and one message says which were not and why.
    QStringList accepted, refused;
    for (const QString& path : paths) {
        const QString problem = addProblem(path);
        if (problem.isEmpty())
            accepted << path;
        else
            refused << QFileInfo(path).fileName() + QStringLiteral(": ") + problem;
    }
    if (!accepted.isEmpty())
        showTaskArea();
    for (const QString& path : accepted)
        AddFile(path);
    if (!refused.isEmpty()) {
        showMessage(tr("These files cannot be converted and were not added:\n\n%1")
                        .arg(refused.join(u'\n')),
                    tr("Warning"), MessageIcon::Warning);
    }
}

void CQuenmarDlg::AddFile(const QString& path)
{
    const double duration = m_preview->GetDuration(path);
    Task task = makeTask(path, duration, m_exportMode, m_wmvProfile->currentIndex());
    // A forced track in the sound's language is drawn in unless the user chooses else.
    setTaskSubtitles(task, mediaForcedSubtitleTrack(path, 0), QString());
    ResetSettings();
    setTitleText(task.title);
    // The reset shows the first WMV profile; the new Task may hold another.
    m_wmvProfile->setCurrentIndex(task.wmvProfile);
    m_tasks.add(task);
    RefreshRows();
    m_selected = m_tasks.size() - 1;
    showTrim(duration, 0.0, duration);
    SelectRow(m_selected);
    // The greying rules again, now for the new Task rather than the row selected before.
    ApplyExportMode(m_exportMode);
    showStill(task);
    // The Audio and Subtitles boxes show the new Task's tracks, not the last one's.
    showTrackChoices(task);
}

void CQuenmarDlg::OnRemove()
{
    if (converting())
        return;
    const int i = m_list->GetSelectionMark();
    if (!m_tasks.isValidIndex(i))
        return;
    m_tasks.removeAt(i);
    RefreshRows();
    clearPreview();
    if (m_tasks.size() == 0) {
        m_selected = -1;
        m_preview->Reset();
        ResetSettings();
        return;
    }
    m_selected = std::min(i, m_tasks.size() - 1);
    LoadTask(m_selected);
}

void CQuenmarDlg::OnRemoveAll()
{
    if (converting())
        return;
    // One click must not throw away a long list by accident.
    if (m_tasks.size() > 1 && ask(tr("Remove all %1 videos from the list?\n"
                                     "Files already converted stay in the output folder.")
                                      .arg(m_tasks.size()),
                                  tr("Remove All"), {tr("Remove All"), tr("Keep Them")}, 1) != 0)
        return;
    m_tasks.removeAll();
    m_list->DeleteAllItems();
    updateControls();
    clearPreview();
    m_selected = -1;
    m_preview->Reset();
    ResetSettings();
}

void CQuenmarDlg::FollowSelection()
{
    if (converting())
        return;
    const int m = m_list->GetSelectionMark();
    if (m != m_selected && m_tasks.isValidIndex(m)) {
        m_selected = m;
        LoadTask(m);
    } else if (m_selected >= 0) {
        SelectRow(m_selected);
    }
}

void CQuenmarDlg::LoadTask(int index)
{
    if (!m_tasks.isValidIndex(index))
        return;
    Task task = m_tasks.get(index);
    // A source deleted since it was added says so in its row, as its conversion would,
    // and keeps its trim, though its length can no longer be read. (A checker given in
    // place of the file system's tells.)
    const bool gone = m_sourceChecker ? !m_sourceChecker(task.sourcePath).isEmpty()
                                      : !QFileInfo::exists(task.sourcePath);
    if (gone && markSourceMissing(task)) {
        m_tasks.set(index, task);
        m_list->InvalidateCells(index, index, ColumnProgress, false);
    }
    const double duration = m_preview->GetDuration(task.sourcePath);
    showTrim(duration > 0 ? duration : task.endTime, task.startTime, task.endTime);
    SelectRow(m_selected);
    if (gone)
        clearPreview();
    else
        showStill(task);
    // The radio pair shows the loaded Task's export type; the next added file takes it.
    m_exportRadioValue = task.exportType != 0 ? 1 : 0;
    pushExportRadioValue();
    // Every control shows this Task, also those that its export type hides or greys: a
    // switch of the type must not bring back another Task's values.
    setTitleText(task.title);
    ++m_profileGuard;
    m_mp4Profile->setCurrentIndex(task.mp4Profile);
    --m_profileGuard;
    showSettingItems(task.mp4Profile, settingItemsOfTask(task));
    m_wmvProfile->setCurrentIndex(task.wmvProfile);
    showTrackChoices(task);
    if (task.exportType != 0) {
        SwitchToWmv();
        showWmvSettings();
        return;
    }
    EnableSettings(task.mp4Profile == 0);
    SwitchToMp4();
}

void CQuenmarDlg::SelectRow(int row)
{
    m_list->SetSelectionMark(row);
    if (row < 0 || row >= m_list->GetItemCount())
        return;
    const unsigned both = CTaskListCtrl::ItemSelected | CTaskListCtrl::ItemFocused;
    m_list->SetItemState(row, both, both);
    m_list->setFocus();
    // Whole, not cut off at the list's foot.
    m_list->EnsureVisible(row, false);
}

void CQuenmarDlg::RefreshRows()
{
    m_list->SetItemCount(m_tasks.size());
    updateControls();
    const int mark = m_list->GetSelectionMark();
    m_list->RedrawItems(mark, mark);
}

void CQuenmarDlg::showTrim(double duration, double start, double end)
{
    ++m_trimLock;
    m_slider->SetRange(0.0, duration);
    m_slider->SetSelection(start, end);
    --m_trimLock;
}

void CQuenmarDlg::setTitleText(const QString& text)
{
    ++m_titleGuard;
    m_titleEdit->setText(text);
    --m_titleGuard;
}

QStringList CQuenmarDlg::droppedFiles(const QMimeData* mime) const
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls()) {
        const QFileInfo info(url.toLocalFile());
        if (url.isLocalFile() && info.isFile())
            paths.append(info.absoluteFilePath());
    }
    return paths;
}

void CQuenmarDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!converting() && !droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CQuenmarDlg::dropEvent(QDropEvent* event)
{
    const QStringList paths = droppedFiles(event->mimeData());
    if (converting() || paths.isEmpty())
        return;
    event->acceptProposedAction();
    AddFiles(paths);
}
