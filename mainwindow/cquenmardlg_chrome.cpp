// The output folder, help, the caption, and closing.
#include "cquenmardlg.h"

#include "encoderrunner.h"
#include "programfolder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kProductName = QStringLiteral("Trelvo Converter");
constexpr int kVersionLimit = 255;

QSettings userSettings()
{
    return QSettings(kProductName, kProductName);
}

QString defaultOutputFolder()
{
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty() && QFileInfo(videos).isDir())
        return videos;
    return QDir::homePath();
}

} // namespace

void CQuenmarDlg::readOutputFolder()
{
    // Paths here may be longer than 255 characters; the folder is kept whole.
    const QString stored = userSettings().value(QStringLiteral("destination")).toString();
    m_outputFolder = stored.isEmpty() ? defaultOutputFolder() : stored;
    m_folderEdit->setText(m_outputFolder);
}

void CQuenmarDlg::setCaption()
{
    const QString version =
        userSettings().value(QStringLiteral("Version")).toString().left(kVersionLimit);
    m_caption = QStringLiteral("%1 V%2").arg(kProductName, version);
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
    QSettings settings = userSettings();
    settings.setValue(QStringLiteral("destination"), path);
    settings.sync();
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
