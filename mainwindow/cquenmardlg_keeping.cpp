// What the window keeps: the Task list between runs (restored at start-up, saved
// whenever it changed) and a log of every conversion run.
#include "cquenmardlg.h"

#include "ctasklistctrl.h"
#include "tasklistfile.h"
#include "tasklog.h"

#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLockFile>
#include <QMenu>
#include <QShortcut>
#include <QTimer>

void CQuenmarDlg::restoreTasks()
{
    if (m_services.taskListFile.isEmpty())
        return;
    m_listLock = lockTaskList(m_services.taskListFile);
    if (!m_listLock) {
        // Another window keeps the list: this one neither reads nor writes it, so that
        // neither loses the other's files.
        m_services.taskListFile.clear();
        QTimer::singleShot(0, this, [this] {
            showMessage(tr("Another Trelvo Converter window keeps the list of files.\n"
                           "This window starts with an empty list, which is not kept when "
                           "it closes."),
                        tr("Warning"), MessageIcon::Warning);
        });
        return;
    }
    m_keeper = std::make_unique<TaskListKeeper>(m_tasks, m_services.taskListFile);
    const QString message = m_keeper->restore([this] { return converting(); });
    m_keeper->attach(*m_driver);
    if (!message.isEmpty()) {
        // Shown once the window is up, not from inside its construction.
        QTimer::singleShot(0, this, [this, message] {
            showMessage(message, tr("Warning"), MessageIcon::Warning);
        });
    }
    if (m_tasks.size() > 0) {
        showTaskArea();
        RefreshRows();
        m_selected = 0;
        LoadTask(0);
    }
}

void CQuenmarDlg::setUpLogs()
{
    m_log = std::make_unique<TaskLog>(m_tasks);
    m_log->attach(*m_driver);
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    connect(shortcut, &QShortcut::activated, this, &CQuenmarDlg::ShowLog);
    // After the click has moved the selection to the row under it.
    connect(m_list, &CTaskListCtrl::rightClicked, this, &CQuenmarDlg::offerLog);
}

void CQuenmarDlg::offerLog()
{
    if (!m_tasks.isValidIndex(m_selected) || m_tasks.get(m_selected).logPath.isEmpty())
        return;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("listMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* show = menu->addAction(tr("Show log"), this, &CQuenmarDlg::ShowLog);
    show->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    menu->popup(QCursor::pos());
}

void CQuenmarDlg::ShowLog()
{
    if (!m_tasks.isValidIndex(m_selected))
        return;
    const QString path = m_tasks.get(m_selected).logPath;
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        showMessage(path.isEmpty() ? tr("This file has not been converted yet: it has no log.")
                                   : tr("The log of this file is gone: %1").arg(path),
                    tr("Information"), MessageIcon::None);
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    if (!(m_urlOpener ? m_urlOpener(url) : QDesktopServices::openUrl(url)))
        showMessage(tr("No program opened the log. It is %1").arg(path), tr("Information"),
                    MessageIcon::None);
}
