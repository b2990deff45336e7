#pragma once

#include "engine/sizeestimate.h"
#include "engine/taskeditor.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

class BatchDriver;
class CTaskListCtrl;
class CImageButton;
class MediaConverter;
class MediaPreview;
class QKeyEvent;
class QMimeData;
class QTimer;
struct BatchState;
struct CellRequest;
struct WindowDialogs;

// The Task list and its buttons: adding (the button, Ctrl+O, Insert, drops), removing,
// the selection and the list's keys, the cells each row shows, following the Tasks a
// batch runs, and a Task's log. Whoever shows a Task listens to taskSelected.
class TaskListPanel : public QObject
{
    Q_OBJECT
public:
    TaskListPanel(QWidget* window, TaskEditor& editor, MediaConverter& converter,
                  MediaPreview& preview, BatchDriver& driver, const BatchState& batch,
                  const WindowDialogs& dialogs);

    int selected() const { return m_selected; }
    // The list was made wider or narrower: Source and Export share the room.
    void fitColumns();
    void updateEnabled();

    void OnAdd();
    // Where the add dialog opens: the folder files were last added from, kept between
    // runs, else the Videos folder, else home.
    QString addDialogFolder() const;
    // Adds a Task for each file that can be converted, and says which cannot and why.
    void AddFiles(const QStringList& paths);
    void AddFile(const QString& path);
    void OnRemove();
    void OnRemoveAll();
    void FollowSelection();
    void LoadTask(int index);
    // Rows that said their source was missing, whose file is back, say so no more.
    void lookAgainAtMissingSources();
    void SelectRow(int row);
    void RefreshRows();
    // Opens the log of the selected Task's last conversion (Ctrl+L, the list's menu).
    void ShowLog();

public slots:
    // What a new Task takes from the settings: its export type and WMV profile.
    void setNewTaskChoice(int exportType, int wmvProfile);
    void setOutputFolder(const QString& folder) { m_folder = folder; }

signals:
    // The Task whose settings, tracks and preview the window shows now; -1 for none.
    // `sourceGone`: its file is not there any more.
    void taskSelected(int index, bool sourceGone);
    // Files were added: the window shows its Task area from now on.
    void tasksAdded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setUpColumns();
    void connectControls();
    QString addProblem(const QString& path) const;
    bool sourceGone(const QString& path) const;
    bool filterListEvent(QObject* watched, QEvent* event);
    bool handleListKey(const QKeyEvent& event);
    void showCellTip(QEvent* event);
    bool acceptDrop(QEvent* event);
    QStringList droppedFiles(const QMimeData* mime) const;
    void onCellRequest(CellRequest* request);
    void redrawTask(int row);
    const QStringList& plannedNames();
    void followRunningTasks();
    void keepWorkInView();
    // The row's menu: its file (play it, show it in its folder) and its log.
    void offerMenu();
    void selectNothing();

    QWidget* m_window;
    TaskEditor& m_editor;
    const TaskList& m_tasks;
    MediaConverter& m_converter;
    MediaPreview& m_preview;
    BatchDriver& m_driver;
    const BatchState& m_batch;
    const WindowDialogs& m_dialogs;
    CTaskListCtrl* m_list;
    CImageButton* m_add;
    CImageButton* m_remove;
    CImageButton* m_removeAll;

    int m_selected = -1;
    int m_newExportType = 0;
    int m_newWmvProfile = 0;
    QString m_folder;
    QString m_planKey;
    QStringList m_plannedNames;
    QElapsedTimer m_planAge;
    SizeEstimate m_sizes;         // for the Progress cells of Tasks not begun
    QList<int> m_running;         // the Tasks the batch runs now
    QElapsedTimer m_userScrolled; // since the user last scrolled the list
    QTimer* m_scrollHold = nullptr;
};
