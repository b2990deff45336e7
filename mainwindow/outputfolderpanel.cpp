#include "mainwindow/outputfolderpanel.h"

#include "engine/appsettings.h"
#include "engine/outputfolder.h"
#include "engine/programfolder.h"
#include "mainwindow/dialogtemplate.h"
#include "mainwindow/windowdialogs.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QVBoxLayout>

using namespace dialog102;

namespace {

// The help page in a window of the program's own, for a desktop that cannot start a
// browser. One window, brought to the front again by a later Help.
void showHelpWindow(QWidget* owner, const QUrl& url)
{
    auto* window = owner->findChild<QDialog*>(QStringLiteral("helpWindow"));
    if (!window) {
        window = new QDialog(owner);
        window->setObjectName(QStringLiteral("helpWindow"));
        window->setWindowTitle(QStringLiteral("Trelvo Converter Help"));
        auto* browser = new QTextBrowser(window);
        browser->setOpenExternalLinks(true);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(browser);
        window->resize(720, 560);
    }
    auto* browser = window->findChild<QTextBrowser*>();
    const QString page = url.toLocalFile();
    if (QFileInfo(page).isFile()) {
        browser->setSource(url);
    } else {
        browser->setHtml(
            QStringLiteral("<h2>The help page is missing</h2><p>It belongs in "
                           "<code>%1</code>. Reinstall the program to get it back.</p>")
                .arg(page.toHtmlEscaped()));
    }
    browser->verticalScrollBar()->setValue(0);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

OutputFolderPanel::OutputFolderPanel(QWidget* window, const TaskEditor& editor,
                                     const WindowDialogs& dialogs)
    : QObject(window), m_window(window), m_editor(editor), m_dialogs(dialogs),
      m_folderEdit(controlOf<QLineEdit>(window, IdOutputFolder)),
      m_browse(controlOf<QPushButton>(window, IdBrowse)),
      m_help(controlOf<QPushButton>(window, IdHelp))
{
    m_folderEdit->setEnabled(false);
    connect(m_browse, &QPushButton::clicked, this, &OutputFolderPanel::OnBrowse);
    connect(m_help, &QPushButton::clicked, this, &OutputFolderPanel::OnHelp);
    connect(m_folderEdit, &QLineEdit::textChanged, this, &OutputFolderPanel::folderChanged);
}

QString OutputFolderPanel::folder() const
{
    return m_folderEdit->text();
}

void OutputFolderPanel::start()
{
    m_folderEdit->setText(storedOutputFolder());
}

void OutputFolderPanel::updateEnabled()
{
    m_browse->setEnabled(m_editor.mayEdit());
}

void OutputFolderPanel::OnBrowse()
{
    if (!m_editor.mayEdit())
        return;
    QString path = m_dialogs.folderChooser
                       ? m_dialogs.folderChooser()
                       : QFileDialog::getExistingDirectory(m_window, QString(), folder());
    if (path.isEmpty())
        return;
    path = QDir::toNativeSeparators(QDir::cleanPath(path));
    if (outputFolderProblem(path) == FailureKind::OutputReadOnly) {
        m_dialogs.message(tr("You cannot write into this folder:\n%1\n\nConverted videos could "
                             "not be saved there. The output folder stays\n%2")
                              .arg(path, folder()),
                          tr("Warning"), WindowDialogs::MessageIcon::Warning);
        return;
    }
    m_folderEdit->setText(path);
    storeOutputFolder(path);
}

QUrl OutputFolderPanel::helpUrl()
{
    return QUrl::fromLocalFile(programFolder() + QStringLiteral("Help.html"));
}

void OutputFolderPanel::OnHelp()
{
    // The whole help, from its top: the support part is one of its sections.
    const QUrl url = helpUrl();
    if (!m_dialogs.openUrl(url))
        showHelpWindow(m_window, url);
}

bool OutputFolderPanel::outputFolderReady()
{
    const QString path = folder();
    if (path.isEmpty())
        return true; // the batch says so itself
    const auto warning = WindowDialogs::MessageIcon::Warning;
    const FailureKind problem = outputFolderProblem(path);
    if (problem == FailureKind::OutputReadOnly) {
        m_dialogs.message(tr("The output folder is read-only:\n%1\n\n"
                             "Choose another one with Browse.")
                              .arg(path),
                          tr("Warning"), warning);
        return false;
    }
    if (problem != FailureKind::OutputMissing)
        return true;
    // A folder that vanished is made again only where it was, and only when the user
    // agrees: a missing parent means a disk that is not there, not a folder to invent.
    if (!QFileInfo(QFileInfo(QDir::cleanPath(path)).absolutePath()).isDir()) {
        m_dialogs.message(tr("The output folder does not exist any more, nor the folder that "
                             "held it:\n%1\n\nChoose another one with Browse.")
                              .arg(path),
                          tr("Warning"), warning);
        return false;
    }
    if (m_dialogs.ask(
            tr("The output folder does not exist any more:\n%1\n\nMake it again?").arg(path),
            tr("Start Converting"), {tr("Make It Again"), tr("Cancel")}, 0) != 0)
        return false;
    if (QDir().mkdir(path))
        return true;
    m_dialogs.message(tr("The output folder could not be made again:\n%1\n\n"
                         "Choose another one with Browse.")
                          .arg(path),
                      tr("Warning"), warning);
    return false;
}
