#pragma once

#include "engine/taskeditor.h"

#include <QObject>
#include <QUrl>

class QLineEdit;
class QPushButton;
struct WindowDialogs;

// The output folder with Browse, and Help: where the batch writes, kept between runs,
// and whether it can be written before a batch starts.
class OutputFolderPanel : public QObject
{
    Q_OBJECT
public:
    OutputFolderPanel(QWidget* window, const TaskEditor& editor, const WindowDialogs& dialogs);

    QString folder() const;
    // Shows the folder kept from the last run.
    void start();
    void updateEnabled();
    // Before a batch: a read-only folder is said, a vanished one made again when the
    // user agrees. False when the batch must not start.
    bool outputFolderReady();

    void OnBrowse();
    void OnHelp();
    // The help page in the program folder.
    static QUrl helpUrl();

signals:
    void folderChanged(const QString& folder);

private:
    QWidget* m_window;
    const TaskEditor& m_editor;
    const WindowDialogs& m_dialogs;
    QLineEdit* m_folderEdit;
    QPushButton* m_browse;
    QPushButton* m_help;
};
