#pragma once

#include "engine/batchdriver.h"
#include "engine/batchhost.h"
#include "engine/batchstate.h"
#include "engine/sizeestimate.h"
#include "engine/task.h"
#include "engine/taskeditor.h"
#include "mainwindow/windowdialogs.h"

#include <QIcon>
#include <QPixmap>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QWidget>

#include <functional>
#include <memory>

class CImageButton;
class OutputFolderPanel;
class PreviewPanel;
class QCheckBox;
class QLabel;
class QLockFile;
class QTimer;
class SettingsPanel;
class TaskListKeeper;
class TaskListPanel;
class TaskLog;
class TrackChoices;

// The main window. It builds its controls from the window's control table, starts up,
// owns the parts that run them (the Task list, the settings, the tracks, the preview
// and trim, the output folder and help), and is the batch's host: Start, Stop, the
// shutdown box and the batch's messages. It lives inside the host window; every
// control is a child widget whose objectName is its id.
class CQuenmarDlg : public QWidget, public BatchHost
{
    Q_OBJECT

public:
    // What the window is given from outside. Tests replace the media component, the
    // power control and the dialogs; the program passes its skin engine.
    struct Services
    {
        // Null: the preview widget's own.
        MediaConverter* converter = nullptr;
        MediaPreview* preview = nullptr;
        PowerControl* power = nullptr; // null: powering off is never possible
        std::function<void(int dispid, const QVariantList& args)> skin;
        // Where the Task list is kept between runs; empty: it is not kept.
        QString taskListFile;
    };

    explicit CQuenmarDlg(const Services& services, QWidget* parent = nullptr);
    ~CQuenmarDlg() override;

    void setMessageBox(WindowDialogs::MessageBoxFn fn) { m_dialogs.messageBox = std::move(fn); }
    void setFileChooser(WindowDialogs::FileChooserFn fn) { m_dialogs.fileChooser = std::move(fn); }
    void setFolderChooser(WindowDialogs::FolderChooserFn fn)
    {
        m_dialogs.folderChooser = std::move(fn);
    }
    void setUrlOpener(WindowDialogs::UrlOpenerFn fn) { m_dialogs.urlOpener = std::move(fn); }
    void setQuestionBox(WindowDialogs::QuestionFn fn) { m_dialogs.questionBox = std::move(fn); }
    // The room left where the output folder is, in bytes (-1: not known). Null: the
    // file system's own answer.
    using FreeRoomFn = std::function<qint64(const QString& folder)>;
    void setFreeRoom(FreeRoomFn fn) { m_freeRoom = std::move(fn); }
    // Null: the file must exist, be readable and hold something the media component can
    // decode, with a length.
    void setSourceChecker(WindowDialogs::SourceCheckFn fn)
    {
        m_dialogs.sourceChecker = std::move(fn);
    }

    // Start: asks first when the list holds converted Tasks, whether to convert them
    // again or only the others, and when the files to write will not fit in the room
    // left in the output folder, whether to convert anyway.
    void OnStart();
    // Closing during a batch: asks whether to stop and quit; true to close.
    bool confirmClose();
    // Stops a running batch and waits until no encoder is left; for closing.
    void stopForClose();
    // Room beyond the layout's size (the window was made larger): the list takes it.
    void setExtraRoom(const QSize& extra);

    // What the host window hands on: files to add, and Help.
    void AddFiles(const QStringList& paths);
    void OnHelp();
    QString addDialogFolder() const;
    static QUrl helpUrl();

    // State, for the host window and for tests.
    const TaskList& tasks() const { return m_tasks; }
    int selectedTaskIndex() const;
    bool converting() const { return m_driver->converting(); }
    int exportMode() const;
    bool previewFlag() const;
    bool seekBusy() const;
    QString captionText() const { return m_caption; }
    BatchDriver& driver() { return *m_driver; }
    MediaPreview& preview() { return *m_preview; }

    // BatchHost
    void showConverting(bool converting) override;
    bool shutdownWhenFinished() const override;
    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override;

signals:
    void captionChanged(const QString& caption);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void createControls();
    void createParts();
    void connectParts();
    void OnInitDialog();
    void setUpImageButtons();
    void placeControls();
    // A text too wide for its label gets a slightly smaller font.
    void fitLabels();
    void updateControls();
    void restoreTasks();
    void setUpLogs();
    void setCaption();
    bool roomForBatch(BatchDriver::Scope scope);
    void followBatch();
    void showBatchProgress();
    void orderTabStops();
    void nameControls();
    QWidget* control(int id) const;

    Services m_services;
    WindowDialogs m_dialogs;
    MediaConverter* m_converter = nullptr;
    MediaPreview* m_preview = nullptr;

    TaskList m_tasks;
    TaskEditor m_editor{m_tasks};
    BatchState m_batch;
    std::unique_ptr<BatchDriver> m_driver;
    std::unique_ptr<TaskLog> m_log;
    std::unique_ptr<TaskListKeeper> m_keeper;
    std::unique_ptr<QLockFile> m_listLock; // this window alone writes the kept list

    TaskListPanel* m_listPanel = nullptr;
    SettingsPanel* m_settingsPanel = nullptr;
    TrackChoices* m_tracks = nullptr;
    PreviewPanel* m_previewPanel = nullptr;
    OutputFolderPanel* m_folderPanel = nullptr;

    CImageButton* m_start = nullptr;
    CImageButton* m_stop = nullptr;
    QCheckBox* m_shutDown = nullptr;
    QLabel* m_batchLine = nullptr;
    QTimer* m_batchLineTimer = nullptr;
    SizeEstimate m_sizes;
    FreeRoomFn m_freeRoom;
    QString m_caption;
    QPixmap m_background;
    QIcon m_icon;
    QSize m_extraRoom{0, 0};
};
