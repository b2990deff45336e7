// The output folder, help, the caption, and closing.
#include "cquenmardlg.h"

#include "appsettings.h"
#include "encoderrunner.h"
#include "outputfolder.h"
#include "programfolder.h"

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextBrowser>
#include <QVBoxLayout>

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

void CQuenmarDlg::readOutputFolder()
{
    m_outputFolder = storedOutputFolder();
    m_folderEdit->setText(m_outputFolder);
}

void CQuenmarDlg::setCaption()
{
    // A version stored in the settings wins; without one, the build's own, so that the
    // title always has the version that the help asks users to quote.
    QString version = storedVersion();
    if (version.isEmpty())
        version = QStringLiteral(TRELVO_VERSION);
    m_caption = QStringLiteral("Trelvo Converter V%1").arg(version);
    window()->setWindowTitle(m_caption);
    emit captionChanged(m_caption);
}

void CQuenmarDlg::OnBrowse()
{
    if (converting())
        return;
    QString path;
    if (m_folderChooser)
        path = m_folderChooser();
    else
        path = QFileDialog::getExistingDirectory(this, QString(), m_folderEdit->text());
    if (path.isEmpty())
        return;
    path = QDir::toNativeSeparators(QDir::cleanPath(path));
    if (outputFolderProblem(path) == FailureKind::OutputReadOnly) {
        showMessage(tr("You cannot write into this folder:\n%1\n\nConverted videos could not "
                       "be saved there. The output folder stays\n%2")
                        .arg(path, m_folderEdit->text()),
                    tr("Warning"), MessageIcon::Warning);
        return;
    }
    m_folderEdit->setText(path);
    storeOutputFolder(path);
}

QUrl CQuenmarDlg::helpUrl()
{
    return QUrl::fromLocalFile(programFolder() + QStringLiteral("Help.html"));
}

void CQuenmarDlg::OnHelp()
{
    // The whole help, from its top: the support part is one of its sections.
    const QUrl url = helpUrl();
    const bool opened = m_urlOpener ? m_urlOpener(url) : QDesktopServices::openUrl(url);
    if (!opened)
        showHelpWindow(this, url);
}

void CQuenmarDlg::stopForClose()
{
    m_closing = true;
    if (m_driver->converting())
        m_driver->stopConverting();
    m_driver->waitForEncoders();
}
