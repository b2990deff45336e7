#pragma once

#include "batchdriver.h"
#include "batchhost.h"
#include "batchstate.h"
#include "task.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QPixmap>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QMessageBox;

// Makes a message box wide enough that the title bar shows its whole caption.
void fitCaption(QMessageBox& box);
// What a title bar takes beside its caption: the window's icon, its buttons, margins.
constexpr int kCaptionChrome = 160;

class CFadePicture;
class CImageButton;
class CRangeSlider;
class CTaskListCtrl;
class CVideoEdit;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QLockFile;
class QMimeData;
class QPushButton;
class QRadioButton;
class TaskListKeeper;
class TaskLog;
struct CellRequest;
struct SettingItems;
struct SettingTexts;

// The main window: the task list, the settings of the selected Task, the export type,
// the output folder, the preview with its trim slider, and Start and Stop. It lives
// inside the host window; every control is a child widget whose objectName is its id.
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
    using MessageBoxFn =
        std::function<void(const QString& text, const QString& caption, MessageIcon icon)>;
    using FileChooserFn = std::function<QStringList()>;
    using FolderChooserFn = std::function<QString()>;
    using UrlOpenerFn = std::function<bool(const QUrl&)>;
    // Why a file cannot be added as a Task; empty when it can.
    using SourceCheckFn = std::function<QString(const QString& path)>;
    // Asks with the buttons given, the last one changing nothing; the index of the
    // answer, -1 when the question was closed.
    using QuestionFn =
        std::function<int(const QString& text, const QString& caption, const QStringList& buttons)>;

    static constexpr double kNoTaskRange = 120.0;
    static constexpr double kGlimpseLength = 1.0;

    explicit CQuenmarDlg(const Services& services, QWidget* parent = nullptr);
    ~CQuenmarDlg() override;

    void setMessageBox(MessageBoxFn fn) { m_messageBox = std::move(fn); }
    void setFileChooser(FileChooserFn fn) { m_fileChooser = std::move(fn); }
    void setFolderChooser(FolderChooserFn fn) { m_folderChooser = std::move(fn); }
    void setUrlOpener(UrlOpenerFn fn) { m_urlOpener = std::move(fn); }
    void setQuestionBox(QuestionFn fn) { m_questionBox = std::move(fn); }
    // Null: the file must exist, be readable and hold something the media component can
    // decode, with a length.
    void setSourceChecker(SourceCheckFn fn) { m_sourceChecker = std::move(fn); }

    // Start: asks first when the list holds converted Tasks, whether to convert them
    // again or only the others.
    void OnStart();
    // Closing during a batch: asks whether to stop and quit; true to close.
    bool confirmClose();

    // Task list editing.
    void OnAdd();
    // Where the add dialog opens: the folder files were last added from, kept between
    // runs, else the Videos folder, else home.
    QString addDialogFolder() const;
    // Adds a Task for each file that can be converted, and says which cannot and why.
    void AddFiles(const QStringList& paths);
    void AddFile(const QString& path);
    void OnRemove();
    void OnRemoveAll();
    // Opens the log of the selected Task's last conversion (Ctrl+L, the list's menu).
    void ShowLog();
    void FollowSelection();
    void LoadTask(int index);
    void SelectRow(int row);
    void RefreshRows();

    // Settings controls.
    void OnSettingChanged(int id);
    // The sound track and subtitles of the selected Task.
    void showTrackChoices(const Task& task);
    void OnTrackChoiceChanged();
    // The two boxes take input only for a Task with something to choose, and not during
    // a batch.
    void enableTrackChoices();
    void OnMp4ProfileChanged();
    void OnWmvProfileChanged();
    void OnTitleChanged();
    void SwitchToMp4();
    void SwitchToWmv();
    void ApplyExportMode(int mode);
    void EnableSettings(bool on);
    void ResetSettings();

    // Preview and trim.
    void OnRangeChanged(int which, bool released);
    void Seek(const QString& path, double time);
    void OnPlay();
    void OnStopPreview();
    void OnPlayEnded(double unused);

    // Output folder, help, chrome.
    void OnBrowse();
    void OnHelp();
    // Stops a running batch and waits until no encoder is left; for closing.
    void stopForClose();
    // Room beyond the layout's size (the window was made larger): the list takes it.
    void setExtraRoom(const QSize& extra);

    // State, for the host window and for tests.
    const TaskList& tasks() const { return m_tasks; }
    int selectedTaskIndex() const { return m_selected; }
    bool converting() const { return m_driver->converting(); }
    int exportMode() const { return m_exportMode; }
    bool previewFlag() const { return m_previewFlag; }
    bool seekBusy() const { return m_seekBusy; }
    QString outputFolder() const { return m_outputFolder; }
    QString captionText() const { return m_caption; }
    BatchDriver& driver() { return *m_driver; }
    MediaConverter& converter() { return *m_converter; }
    MediaPreview& preview() { return *m_preview; }
    BatchState& batchState() { return m_batch; }
    // The help page in the program folder.
    static QUrl helpUrl();

    // BatchHost
    void showConverting(bool converting) override;
    bool shutdownWhenFinished() const override;
    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override;

signals:
    void captionChanged(const QString& caption);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void OnInitDialog();
    void connectControls();
    void setUpImageButtons();
    void fitColumns();
    QString addProblem(const QString& path);
    void updateControls();
    bool settingsEditable() const;
    // Before a batch: a read-only folder is said, a vanished one made again when the
    // user agrees. False when the batch must not start.
    bool outputFolderReady();
    int ask(const QString& text, const QString& caption, const QStringList& buttons,
            int defaultButton);
    void fillWmvProfiles();
    void restoreTasks();
    void setUpLogs();
    void offerLog();
    void placeControls();
    void pushExportRadioValue();
    void readOutputFolder();
    void setCaption();
    bool PreTranslateMessage(QObject* watched, QEvent* event);
    bool handleListKey(const QKeyEvent& event);
    void orderTabStops();
    void nameControls();
    void onCellRequest(CellRequest* request);
    void redrawTask(int row);
    const QStringList& plannedNames();
    void showTrim(double duration, double start, double end);
    void setTitleText(const QString& text);
    void showSettingItems(int mp4Profile, const SettingItems& own);
    void showWmvSettings();
    // The values that the export mode's profile writes, after a change of mode or profile.
    void showSettingsOfExportMode();
    void showInBoxes(const SettingItems& items, const SettingTexts& texts);
    void showStill(const Task& task);
    void clearPreview();
    void showTaskArea();
    void glimpseWhenKeysRest(int which);
    void followRunningTasks();
    void keepWorkInView();
    QComboBox* setting(int id) const { return m_settings.at(size_t(id - 1025)); }
    QStringList droppedFiles(const QMimeData* mime) const;

    Services m_services;
    MediaConverter* m_converter = nullptr;
    MediaPreview* m_preview = nullptr;
    MessageBoxFn m_messageBox;
    FileChooserFn m_fileChooser;
    FolderChooserFn m_folderChooser;
    UrlOpenerFn m_urlOpener;
    QuestionFn m_questionBox;
    SourceCheckFn m_sourceChecker;

    TaskList m_tasks;
    int m_selected = -1;
    int m_exportMode = 0;
    int m_exportRadioValue = -1;
    int m_titleGuard = 0;
    int m_profileGuard = 0;
    int m_trimLock = 0;
    bool m_previewFlag = false;
    bool m_seekBusy = false;
    QString m_stillPath; // where the running glimpse returns to; empty for nowhere
    double m_stillTime = 0.0;
    bool m_closing = false;
    bool m_showingWmv = false; // the settings boxes show a WMV profile's values
    QString m_outputFolder;
    QString m_caption;
    QString m_planKey;
    QStringList m_plannedNames;
    QElapsedTimer m_planAge;
    QPixmap m_background;
    QIcon m_icon;
    std::unique_ptr<TaskListKeeper> m_keeper;
    std::unique_ptr<QLockFile> m_listLock; // this window alone writes the kept list
    QSize m_extraRoom{0, 0};
    QTimer* m_keysRest = nullptr; // shows the edge the keys moved once they rest
    int m_restingEdge = 0;
    QList<int> m_running;         // the Tasks the batch runs now
    QElapsedTimer m_userScrolled; // since the user last scrolled the list
    QTimer* m_scrollHold = nullptr;

    BatchState m_batch;
    std::unique_ptr<BatchDriver> m_driver;
    std::unique_ptr<TaskLog> m_log;

    CTaskListCtrl* m_list = nullptr;
    CImageButton* m_add = nullptr;
    CImageButton* m_remove = nullptr;
    CImageButton* m_removeAll = nullptr;
    CImageButton* m_start = nullptr;
    CImageButton* m_stop = nullptr;
    CImageButton* m_play = nullptr;
    CImageButton* m_stopPreview = nullptr;
    QLabel* m_folderLabel = nullptr;
    QLineEdit* m_folderEdit = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_help = nullptr;
    CFadePicture* m_fade = nullptr;
    CVideoEdit* m_video = nullptr;
    CRangeSlider* m_slider = nullptr;
    QGroupBox* m_settingsFrame = nullptr;
    QGroupBox* m_listFrame = nullptr;
    QLabel* m_exportTypeLabel = nullptr;
    QRadioButton* m_exportMp4 = nullptr;
    QRadioButton* m_exportWmv = nullptr;
    QLabel* m_titleLabel = nullptr;
    QLineEdit* m_titleEdit = nullptr;
    QLabel* m_mp4ProfileLabel = nullptr;
    QComboBox* m_mp4Profile = nullptr;
    QLabel* m_wmvProfileLabel = nullptr;
    QComboBox* m_wmvProfile = nullptr;
    QComboBox* m_audioTrack = nullptr;
    QComboBox* m_subtitles = nullptr;
    // The subtitle files the Subtitles box offers after its tracks, in its order.
    QStringList m_subtitleFiles;
    int m_trackGuard = 0;
    int m_defaultAudioTrack = -1;
    // The user chose the shown Task's subtitles since its row was selected.
    bool m_subtitlesChosen = false;
    std::array<QComboBox*, 9> m_settings{};
    QCheckBox* m_shutDown = nullptr;
};
