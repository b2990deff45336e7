#include "mainwindow/tasklistpanel.h"

#include "engine/appsettings.h"
#include "engine/batchdriver.h"
#include "engine/clock.h"
#include "engine/outputnaming.h"
#include "engine/programfolder.h"
#include "engine/sourcecheck.h"
#include "mainwindow/dialogtemplate.h"
#include "mainwindow/taskcells.h"
#include "mainwindow/windowdialogs.h"
#include "media/mediacatalog.h"
#include "media/mediaprobe.h"
#include "widgets/cimagebutton.h"
#include "widgets/ctasklistctrl.h"

#include <QApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QShortcut>
#include <QStandardPaths>
#include <QStyle>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

using namespace dialog102;

namespace {
// How long the list is left where the user scrolled it during a batch.
constexpr int kUserScrollHoldMs = 4000;

} // namespace

TaskListPanel::TaskListPanel(QWidget* window, TaskEditor& editor, MediaConverter& converter,
                             MediaPreview& preview, BatchDriver& driver, const BatchState& batch,
                             const WindowDialogs& dialogs)
    : QObject(window), m_window(window), m_editor(editor), m_tasks(editor.tasks()),
      m_converter(converter), m_preview(preview), m_driver(driver), m_batch(batch),
      m_dialogs(dialogs), m_list(controlOf<CTaskListCtrl>(window, IdTaskList)),
      m_add(controlOf<CImageButton>(window, IdAdd)),
      m_remove(controlOf<CImageButton>(window, IdRemove)),
      m_removeAll(controlOf<CImageButton>(window, IdRemoveAll)), m_sizes(appFolder(), wmvBitRates)
{
    setUpColumns();
    connectControls();
    followRunningTasks();
    qApp->installEventFilter(this);
}

void TaskListPanel::setUpColumns()
{
    m_list->InsertColumn(0, QStringLiteral("Source"), Qt::AlignLeft, 120);
    m_list->InsertColumn(1, QStringLiteral("Begin Time"), Qt::AlignHCenter, 70);
    m_list->InsertColumn(2, QStringLiteral("End Time"), Qt::AlignHCenter, 70);
    m_list->InsertColumn(3, QStringLiteral("Export"), Qt::AlignLeft, 100);
    m_list->InsertColumn(4, QStringLiteral("Progress"), Qt::AlignLeft, 250);
    m_list->SetExtendedStyle(CTaskListCtrl::ExFullRowSelect | CTaskListCtrl::ExGridLines,
                             CTaskListCtrl::ExFullRowSelect);
    m_list->SetExtendedStyle(CTaskListCtrl::ExCheckBoxes, CTaskListCtrl::ExCheckBoxes);
}

void TaskListPanel::fitColumns()
{
    // The widths above were measured for another face. Here the Progress column is as
    // wide as its longest usual text, the times as wide as theirs, and Source and Export
    // share what is left, so that the list never needs a horizontal scroll bar, even
    // once the vertical one shows.
    const QFontMetrics metrics(m_list->font());
    const int barMargins = 12; // the bar's frame and edges, and a little air
    const int progress =
        metrics.horizontalAdvance(QStringLiteral("    100.00%  999.99MB   Remain Time:00:00:00")) +
        barMargins;
    const int time = std::max(metrics.horizontalAdvance(QStringLiteral("Begin Time")),
                              metrics.horizontalAdvance(QStringLiteral("00:00:00.0"))) +
                     10;
    const int scrollBar = m_list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_list);
    const int room = m_list->width() - 2 * m_list->frameWidth() - scrollBar - 1;
    const int rest = std::max(room - progress - 2 * time, 2 * 60);
    // Source and Export share what is left, also the room of a larger window.
    const int exportWidth = rest / 2;
    m_list->SetColumnWidth(ColumnSource, rest - exportWidth);
    m_list->SetColumnWidth(ColumnBegin, time);
    m_list->SetColumnWidth(ColumnEnd, time);
    m_list->SetColumnWidth(ColumnExport, exportWidth);
    m_list->SetColumnWidth(ColumnProgress, progress);
}

void TaskListPanel::connectControls()
{
    connect(m_list, &CTaskListCtrl::cellRequest, this, &TaskListPanel::onCellRequest,
            Qt::DirectConnection);
    for (auto signal : {&CTaskListCtrl::clicked, &CTaskListCtrl::rightClicked,
                        &CTaskListCtrl::doubleClicked, &CTaskListCtrl::rightDoubleClicked})
        connect(m_list, signal, this, &TaskListPanel::FollowSelection);
    connect(m_add, &QPushButton::clicked, this, &TaskListPanel::OnAdd);
    connect(m_remove, &QPushButton::clicked, this, &TaskListPanel::OnRemove);
    connect(m_removeAll, &QPushButton::clicked, this, &TaskListPanel::OnRemoveAll);
    connect(&m_editor, &TaskEditor::taskChanged, this, &TaskListPanel::redrawTask);
    connect(&m_editor, &TaskEditor::rowsChanged, this, &TaskListPanel::RefreshRows);
    // What a batch changes in a row: the name of the file it writes, and its progress.
    connect(&m_driver, &BatchDriver::taskChanged, this, [this](int row) {
        m_list->InvalidateCells(row, row, ColumnExport, false);
        m_list->InvalidateCells(row, row, ColumnProgress, false);
    });

    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), m_window);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, &TaskListPanel::ShowLog);
    // After the click has moved the selection to the row under it.
    connect(m_list, &CTaskListCtrl::rightClicked, this, &TaskListPanel::offerMenu);
}

void TaskListPanel::updateEnabled()
{
    const bool idle = m_editor.mayEdit();
    const bool any = m_tasks.size() > 0;
    m_add->setEnabled(idle);
    m_remove->setEnabled(idle && any);
    m_removeAll->setEnabled(idle && any);
}

void TaskListPanel::setNewTaskChoice(int exportType, int wmvProfile)
{
    m_newExportType = exportType;
    m_newWmvProfile = wmvProfile;
}

void TaskListPanel::OnAdd()
{
    if (!m_editor.mayEdit())
        return;
    QStringList paths;
    if (m_dialogs.fileChooser) {
        paths = m_dialogs.fileChooser();
    } else {
        QFileDialog dialog(m_window);
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
        dialog.setDirectory(addDialogFolder());
        if (dialog.exec() == QDialog::Accepted)
            paths = dialog.selectedFiles();
    }
    // The next add dialog opens where these came from, also after a restart.
    if (!paths.isEmpty())
        storeAddFolder(QFileInfo(paths.first()).absolutePath());
    AddFiles(paths);
}

QString TaskListPanel::addDialogFolder() const
{
    QString start = storedAddFolder();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::homePath();
    return start;
}

QString TaskListPanel::addProblem(const QString& path) const
{
    if (m_dialogs.sourceChecker)
        return m_dialogs.sourceChecker(path);
    return checkSource(path, m_converter).problem;
}

void TaskListPanel::AddFiles(const QStringList& paths)
{
    if (!m_editor.mayEdit() || paths.isEmpty())
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
        emit tasksAdded();
    for (const QString& path : accepted)
        AddFile(path);
    if (!refused.isEmpty()) {
        m_dialogs.message(tr("These files cannot be converted and were not added:\n\n%1")
                              .arg(refused.join(u'\n')),
                          tr("Warning"), WindowDialogs::MessageIcon::Warning);
    }
}

void TaskListPanel::AddFile(const QString& path)
{
    const double duration = m_preview.GetDuration(path);
    NewTaskChoices choices;
    choices.exportType = m_newExportType;
    choices.wmvProfile = m_newWmvProfile;
    const int index = m_editor.add(newTask(path, duration, choices, mediaForcedSubtitleTrack));
    if (index < 0)
        return;
    // The new Task is shown whole, as a click on its row shows it: settings, tracks, trim.
    m_selected = index;
    LoadTask(index);
}

void TaskListPanel::OnRemove()
{
    const int i = m_list->GetSelectionMark();
    if (!m_editor.removeAt(i))
        return;
    if (m_tasks.size() == 0) {
        selectNothing();
        return;
    }
    m_selected = std::min(i, m_tasks.size() - 1);
    LoadTask(m_selected);
}

void TaskListPanel::OnRemoveAll()
{
    if (!m_editor.mayEdit())
        return;
    // One click must not throw away a long list by accident.
    if (m_tasks.size() > 1 &&
        m_dialogs.ask(tr("Remove all %1 videos from the list?\n"
                         "Files already converted stay in the output folder.")
                          .arg(m_tasks.size()),
                      tr("Remove All"), {tr("Remove All"), tr("Keep Them")}, 1) != 0)
        return;
    m_editor.removeAll();
    m_list->DeleteAllItems();
    selectNothing();
}

void TaskListPanel::selectNothing()
{
    m_selected = -1;
    emit taskSelected(-1, false);
}

void TaskListPanel::FollowSelection()
{
    if (!m_editor.mayEdit())
        return;
    const int m = m_list->GetSelectionMark();
    if (m != m_selected && m_tasks.isValidIndex(m)) {
        m_selected = m;
        LoadTask(m);
    } else if (m_tasks.isValidIndex(m_selected)) {
        // A click on the row shown looks at its file again: deleted or put back meanwhile.
        const Task task = m_tasks.get(m_selected);
        const bool markedGone = task.failed && task.failureKind == FailureKind::SourceMissing;
        if (markedGone != sourceGone(task.sourcePath))
            LoadTask(m_selected);
        else
            SelectRow(m_selected);
    } else if (m_selected >= 0) {
        SelectRow(m_selected);
    }
}

void TaskListPanel::LoadTask(int index)
{
    if (!m_tasks.isValidIndex(index))
        return;
    m_selected = index;
    Task task = m_tasks.get(index);
    // A source deleted since it was added says so in its row, as its conversion would,
    // and keeps its trim, though its length can no longer be read. One put back is
    // taken as it is again.
    const bool gone = sourceGone(task.sourcePath);
    if (gone ? markSourceMissing(task) : clearSourceMissing(task))
        m_editor.correct(index, task);
    SelectRow(m_selected);
    emit taskSelected(index, gone);
}

bool TaskListPanel::sourceGone(const QString& path) const
{
    // A checker given in place of the file system's tells.
    return m_dialogs.sourceChecker ? !m_dialogs.sourceChecker(path).isEmpty()
                                   : !QFileInfo::exists(path);
}

void TaskListPanel::lookAgainAtMissingSources()
{
    for (int i = 0; i < m_tasks.size(); ++i) {
        Task task = m_tasks.get(i);
        if (task.failureKind == FailureKind::SourceMissing && !sourceGone(task.sourcePath) &&
            clearSourceMissing(task))
            m_editor.correct(i, task);
    }
}

void TaskListPanel::SelectRow(int row)
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

void TaskListPanel::RefreshRows()
{
    m_list->SetItemCount(m_tasks.size());
    const int mark = m_list->GetSelectionMark();
    m_list->RedrawItems(mark, mark);
}

void TaskListPanel::redrawTask(int row)
{
    m_list->RedrawItems(row, row);
}

void TaskListPanel::onCellRequest(CellRequest* request)
{
    if (!m_tasks.isValidIndex(request->item))
        return;
    const QStringList* planned = request->subItem == ColumnExport ? &plannedNames() : nullptr;
    ::onCellRequest(*request, m_tasks, m_batch.wmvClock(tickCount()), m_batch.wmvStartTick, planned,
                    request->subItem == ColumnProgress ? &m_sizes : nullptr);
}

const QStringList& TaskListPanel::plannedNames()
{
    // Planned again when a name, a type or the folder changed, and at least every second
    // for files that appeared in the folder meanwhile.
    QString key = m_folder;
    for (int i = 0; i < m_tasks.size(); ++i) {
        const Task task = m_tasks.get(i);
        key += QChar(0x1E) + task.exportName + QChar(0x1F) + QString::number(task.exportType) +
               QChar(0x1F) + task.sourcePath + QChar(0x1F) + task.outputPath;
    }
    if (key != m_planKey || !m_planAge.isValid() || m_planAge.elapsed() > 1000) {
        m_planKey = key;
        m_planAge.start();
        m_plannedNames = planOutputNames(m_tasks, m_folder);
    }
    return m_plannedNames;
}

bool TaskListPanel::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ToolTip:
        if (watched != m_list->viewport())
            return false;
        showCellTip(event);
        return true;
    case QEvent::DragEnter:
    case QEvent::Drop:
        return watched == m_window && acceptDrop(event);
    default:
        return filterListEvent(watched, event);
    }
}

void TaskListPanel::showCellTip(QEvent* event)
{
    auto* help = static_cast<QHelpEvent*>(event);
    int column = -1;
    const int row = m_list->HitTest(help->pos(), &column);
    QString tip = cellToolTip(m_tasks, row, column);
    // A text cut by its column is shown whole.
    if (tip.isEmpty() && m_tasks.isValidIndex(row) && column >= 0) {
        const QString text = m_list->GetCellRequest(row, column)->text.trimmed();
        const int room = m_list->GetCellRect(row, column).width() - 8;
        if (QFontMetrics(m_list->font()).horizontalAdvance(text) > room)
            tip = text;
    }
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, m_list->viewport());
}

bool TaskListPanel::filterListEvent(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool idle = m_editor.mayEdit();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        // During a batch a click must not move the list's selection away from the Task
        // the controls show: the click is refused as a whole.
        return watched == m_list->viewport() && !idle;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || (widget != m_window && !m_window->isAncestorOf(widget)))
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // Enter does nothing in this window, Escape does not close it.
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Escape)
        return true;
    // Ctrl+O adds videos wherever the keys are, as in any program that opens files.
    if (type == QEvent::KeyPress && key->matches(QKeySequence::Open)) {
        OnAdd();
        return true;
    }
    if (type != QEvent::KeyPress || (widget != m_list && widget != m_list->viewport()))
        return false;
    // Tab leaves the list also during a batch, or the keyboard could reach nothing else.
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
        return false;
    return !idle || handleListKey(*key);
}

bool TaskListPanel::handleListKey(const QKeyEvent& event)
{
    // Delete and Insert as in a file manager's list, Ctrl+O as in any program that opens.
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (event.matches(QKeySequence::Open) ||
        (event.key() == Qt::Key_Insert && modifiers == Qt::NoModifier)) {
        OnAdd();
        return true;
    }
    if (event.key() == Qt::Key_Delete && modifiers == Qt::NoModifier) {
        OnRemove();
        return true;
    }
    const int m = m_list->GetSelectionMark();
    const int n = m_tasks.size();
    int target = -1;
    switch (event.key()) {
    case Qt::Key_PageDown:
        target = m < n - 1 ? std::min(m + 3, n - 1) : -1;
        break;
    case Qt::Key_PageUp:
        target = m > 0 ? std::max(m - 3, 0) : -1;
        break;
    case Qt::Key_Up:
        target = m > 0 ? m - 1 : -1;
        break;
    case Qt::Key_Down:
        target = m < m_list->GetItemCount() - 1 ? m + 1 : -1;
        break;
    case Qt::Key_Home:
        target = n >= 1 ? 0 : -1;
        break;
    case Qt::Key_End:
        target = n >= 1 ? n - 1 : -1;
        break;
    default:
        return false;
    }
    if (target >= 0) {
        m_selected = target;
        LoadTask(m_selected);
    }
    SelectRow(m_selected);
    return true;
}

QStringList TaskListPanel::droppedFiles(const QMimeData* mime) const
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

bool TaskListPanel::acceptDrop(QEvent* event)
{
    auto* drop = static_cast<QDropEvent*>(event);
    const QStringList paths = droppedFiles(drop->mimeData());
    if (!m_editor.mayEdit() || paths.isEmpty())
        return false;
    drop->acceptProposedAction();
    if (event->type() == QEvent::Drop)
        AddFiles(paths);
    return true;
}

void TaskListPanel::followRunningTasks()
{
    m_scrollHold = new QTimer(this);
    m_scrollHold->setSingleShot(true);
    m_scrollHold->setInterval(kUserScrollHoldMs);
    connect(m_scrollHold, &QTimer::timeout, this, [this] {
        m_userScrolled.invalidate();
        keepWorkInView();
    });
    // Actions are the user's scrolling only (wheel, bar, keys); the program's own
    // scrolling triggers none.
    connect(m_list->verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] {
        m_userScrolled.start();
        m_scrollHold->start();
    });
    connect(&m_driver, &BatchDriver::taskStarted, this, [this](int index) {
        m_running.append(index);
        keepWorkInView();
    });
    connect(&m_driver, &BatchDriver::taskEnded, this, [this](int index) {
        m_running.removeAll(index);
        keepWorkInView();
    });
    connect(&m_driver, &BatchDriver::batchEnded, this, [this] { m_running.clear(); });
}

void TaskListPanel::keepWorkInView()
{
    // The first Task at work stays in view, unless the user has just scrolled away.
    if (m_running.isEmpty() || m_userScrolled.isValid())
        return;
    m_list->EnsureVisible(*std::min_element(m_running.cbegin(), m_running.cend()), false);
}

void TaskListPanel::offerMenu()
{
    if (!m_tasks.isValidIndex(m_selected))
        return;
    const Task task = m_tasks.get(m_selected);
    // The file the last batch made of the Task, while it is there.
    const QString made =
        !task.failed && QFileInfo(task.outputPath).isFile() ? task.outputPath : QString();
    if (made.isEmpty() && task.logPath.isEmpty())
        return;
    auto* menu = new QMenu(m_window);
    menu->setObjectName(QStringLiteral("listMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (!made.isEmpty()) {
        menu->addAction(tr("Play"), this, [this, made] {
            if (!m_dialogs.openUrl(QUrl::fromLocalFile(made)))
                m_dialogs.message(tr("No program opened the file. It is %1").arg(made),
                                  tr("Information"), WindowDialogs::MessageIcon::None);
        });
        menu->addAction(tr("Show in Folder"), this, [this, made] { m_dialogs.showInFolder(made); });
    }
    if (!task.logPath.isEmpty()) {
        QAction* show = menu->addAction(tr("Show log"), this, &TaskListPanel::ShowLog);
        show->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    }
    menu->popup(QCursor::pos());
}

void TaskListPanel::ShowLog()
{
    if (!m_tasks.isValidIndex(m_selected))
        return;
    const QString path = m_tasks.get(m_selected).logPath;
    const auto info = WindowDialogs::MessageIcon::None;
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        m_dialogs.message(path.isEmpty()
                              ? tr("This file has not been converted yet: it has no log.")
                              : tr("The log of this file is gone: %1").arg(path),
                          tr("Information"), info);
        return;
    }
    if (!m_dialogs.openUrl(QUrl::fromLocalFile(path)))
        m_dialogs.message(tr("No program opened the log. It is %1").arg(path), tr("Information"),
                          info);
}
