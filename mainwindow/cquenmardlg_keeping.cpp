// Keeping the Task list between runs: restored at start-up, saved whenever it changed.
#include "cquenmardlg.h"

#include "tasklistfile.h"

#include <QTimer>

namespace {

// How often a change is looked for; during a batch, whose progress changes the Tasks
// many times a second, the file is written at most this often.
constexpr int kSaveCheckMs = 500;
constexpr qint64 kBatchSaveMs = 5000;

} // namespace

void CQuenmarDlg::restoreTasks()
{
    if (m_services.taskListFile.isEmpty())
        return;
    TaskListRestore restored = restoreTaskList(m_services.taskListFile);
    m_tasks = std::move(restored.tasks);
    m_savedChanges = m_tasks.changeCount();
    m_lastSave.start();
    if (!restored.message.isEmpty()) {
        // Shown once the window is up, not from inside its construction.
        QTimer::singleShot(0, this, [this, message = restored.message] {
            showMessage(message, tr("Warning"), MessageIcon::Warning);
        });
    }
    if (m_tasks.size() > 0) {
        RefreshRows();
        m_selected = 0;
        LoadTask(0);
    }

    m_saveTimer = new QTimer(this);
    m_saveTimer->setInterval(kSaveCheckMs);
    connect(m_saveTimer, &QTimer::timeout, this, [this] {
        if (converting() && m_lastSave.isValid() && m_lastSave.elapsed() < kBatchSaveMs)
            return;
        saveTasksIfChanged();
    });
    m_saveTimer->start();
}

void CQuenmarDlg::saveTasksIfChanged()
{
    if (m_services.taskListFile.isEmpty() || m_tasks.changeCount() == m_savedChanges)
        return;
    m_lastSave.start();
    QString error;
    if (saveTaskList(m_tasks, m_services.taskListFile, &error)) {
        m_savedChanges = m_tasks.changeCount();
        return;
    }
    // Said once, not every half second: the next change tries again quietly.
    m_savedChanges = m_tasks.changeCount();
    qWarning("The list of files could not be saved to %s: %s",
             qUtf8Printable(m_services.taskListFile), qUtf8Printable(error));
}
