#include "engine/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {
QString& storedFolder()
{
    static QString folder;
    return folder;
}
} // namespace

void setProgramFolder(const QString& folder)
{
    QString f = folder;
    if (!f.endsWith(u'/'))
        f += u'/';
    storedFolder() = f;
}

QString programFolder()
{
    if (storedFolder().isEmpty() && QCoreApplication::instance())
        setProgramFolder(QCoreApplication::applicationDirPath());
    return storedFolder();
}

QString appFolder()
{
    return programFolder() + QStringLiteral("app");
}

namespace {

// The lock of a run folder: held through a descriptor, so that it goes with the process.
int openLock(const QString& folder)
{
    return ::open(QFile::encodeName(folder + QStringLiteral(".lock")).constData(),
                  O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// Removes the files a gone run left in `folder`, then the folder; never follows a link.
void clearRunFolder(const QString& folder)
{
    QDir dir(folder);
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || entry.isFile())
            QFile::remove(entry.absoluteFilePath());
    }
    dir.rmdir(folder);
}

} // namespace

QString claimRunFolder(const QString& base)
{
    QDir().mkpath(base);
    const QString mine = QDir(base).absoluteFilePath(
        QStringLiteral("run-%1/").arg(QCoreApplication::applicationPid()));
    const QFileInfoList runs =
        QDir(base).entryInfoList({QStringLiteral("run-*")}, QDir::Dirs | QDir::NoSymLinks);
    for (const QFileInfo& run : runs) {
        const QString folder = run.absoluteFilePath() + u'/';
        const int fd = openLock(folder);
        // A lock we get is held by nobody: that run is gone (even one of our own number).
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            clearRunFolder(folder);
        if (fd >= 0)
            ::close(fd);
    }
    QDir().mkpath(mine);
    ::chmod(QFile::encodeName(mine).constData(), 0700);
    // Kept open for the life of the process on purpose: the lock says this run goes on.
    const int lock = openLock(mine);
    if (lock >= 0)
        ::flock(lock, LOCK_EX | LOCK_NB);
    // A run that ends well takes its folder along, when nothing is left in it.
    static std::vector<QByteArray> claimedFolders;
    if (claimedFolders.empty())
        std::atexit([] {
            for (const QByteArray& folder : claimedFolders) {
                ::unlink((folder + ".lock").constData());
                ::rmdir(folder.constData());
            }
        });
    claimedFolders.push_back(QFile::encodeName(mine));
    return mine;
}

QString intermediateFolder()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    const QString base = cache + QStringLiteral("/trelvo-converter/");
    static QString claimedBase, claimed;
    if (claimedBase != base || !QFileInfo(claimed).isDir()) {
        claimed = claimRunFolder(base);
        claimedBase = base;
    }
    return claimed;
}
