// The output folder, help, the caption, and closing.
#include "cquenmardlg.h"

#include "appsettings.h"
#include "encoderrunner.h"
#include "programfolder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

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
    m_folderEdit->setText(path);
    storeOutputFolder(path);
}

QUrl CQuenmarDlg::helpUrl()
{
    return QUrl::fromLocalFile(programFolder() + QStringLiteral("Help.html"));
}

QUrl CQuenmarDlg::supportUrl()
{
    QUrl url = helpUrl();
    url.setFragment(QStringLiteral("support"));
    return url;
}

void CQuenmarDlg::OnHelp()
{
    const QUrl url = supportUrl();
    if (m_urlOpener)
        m_urlOpener(url);
    else
        QDesktopServices::openUrl(url);
}

void CQuenmarDlg::stopForClose()
{
    m_closing = true;
    if (m_driver->converting())
        m_driver->stopConverting();
    m_driver->runner().waitForEncoders();
}
