#pragma once

#include "engine/batchhost.h"

#include <QStringList>
#include <QUrl>

#include <functional>

class QMessageBox;
class QWidget;

// Makes a message box wide enough that the title bar shows its whole caption.
void fitCaption(QMessageBox& box);
// What a title bar takes beside its caption: the window's icon, its buttons, margins.
constexpr int kCaptionChrome = 160;

// The window's messages, questions and choosers, which every part of it uses. Tests
// replace each with a function of their own; unset, the desktop's dialog is shown.
struct WindowDialogs
{
    using MessageIcon = BatchHost::MessageIcon;
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

    QWidget* owner = nullptr;
    MessageBoxFn messageBox;
    FileChooserFn fileChooser;
    FolderChooserFn folderChooser;
    UrlOpenerFn urlOpener;
    QuestionFn questionBox;
    SourceCheckFn sourceChecker;
    // The user closed the window during a batch: no message pops up after it.
    bool closing = false;

    void message(const QString& text, const QString& caption, MessageIcon icon) const;
    int ask(const QString& text, const QString& caption, const QStringList& buttons,
            int defaultButton) const;
    bool openUrl(const QUrl& url) const;
    // Shows the file chosen in the file manager's window of its folder; where no file
    // manager answers, opens the folder.
    void showInFolder(const QString& path) const;
};
