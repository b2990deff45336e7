#include "outputnaming.h"

#include "task.h"
#include "workingfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool pathTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString safeFileStem(const QString& exportName)
{
    QString stem = exportName;
    for (QChar& c : stem) {
        if (c == u'/' || c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'_';
    }
    return stem;
}

QString outputStem(const QString& exportName, const QString& sourcePath)
{
    auto visible = [](QString name) {
        name = safeFileStem(name);
        qsizetype dots = 0;
        while (dots < name.size() && (name.at(dots) == u'.' || name.at(dots).isSpace()))
            ++dots;
        return name.mid(dots);
    };
    QString stem = visible(exportName);
    if (stem.trimmed().isEmpty())
        stem = visible(taskBaseName(sourcePath));
    if (stem.trimmed().isEmpty())
        stem = visible(sourcePath.mid(sourcePath.lastIndexOf(u'/') + 1));
    if (stem.trimmed().isEmpty())
        stem = QStringLiteral("video");
    return stem;
}

QString truncateUtf8(const QString& text, int maxBytes)
{
    if (maxBytes <= 0)
        return {};
    if (text.toUtf8().size() <= maxBytes)
        return text;
    QString out;
    int bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        // Keep surrogate pairs together.
        const qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString piece = text.mid(i, len);
        const int pieceBytes = int(piece.toUtf8().size());
        if (bytes + pieceBytes > maxBytes)
            break;
        out += piece;
        bytes += pieceBytes;
        i += len;
    }
    return out;
}

QString chooseOutputPath(const QString& outputFolder, const QString& exportName, int exportType,
                         const QSet<QString>* reserved)
{
    QString folder = outputFolder;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    const QString extension = exportType == 0 ? QStringLiteral(".mp4") : QStringLiteral(".wmv");
    const QString stem = safeFileStem(exportName);
    const int folderBytes = int(folder.toUtf8().size());
    const int nameLimit = qMin(kMaxFileNameBytes, qMax(0, kMaxPathBytes - folderBytes));

    for (int k = 1;; ++k) {
        const QString suffix = k == 1 ? extension : QStringLiteral("_%1").arg(k) + extension;
        const int room = nameLimit - int(suffix.toUtf8().size());
        const QString candidate = folder + truncateUtf8(stem, room) + suffix;
        if (!pathTaken(candidate) && !(reserved && reserved->contains(candidate)))
            return candidate;
    }
}

QStringList planOutputNames(const TaskList& tasks, const QString& outputFolder)
{
    QStringList names;
    QSet<QString> reserved;
    for (int i = 0; i < tasks.size(); ++i) {
        const Task task = tasks.get(i);
        QString path = task.outputPath;
        if (path.isEmpty() && !outputFolder.isEmpty())
            path = chooseOutputPath(outputFolder, outputStem(task.exportName, task.sourcePath),
                                    task.exportType, &reserved);
        reserved.insert(path);
        names << path.mid(path.lastIndexOf(u'/') + 1);
    }
    return names;
}

namespace {

// Calls `visit(folder, name, fd)` for each working file in `folder` (of `finalName`
// only, when given), opened without following a link; `visit` returns false to stop.
template <typename Visit>
void forEachWorkingFile(const QString& folder, const std::string* finalName, Visit visit)
{
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return;
    bool more = true;
    while (const dirent* entry = more ? ::readdir(dir) : nullptr) {
        if (!workingfile::isWorkingName(entry->d_name, finalName))
            continue;
        const int fd =
            ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        more = visit(::dirfd(dir), entry->d_name, fd);
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace

bool outputNameInUse(const QString& path)
{
    if (pathTaken(path))
        return true;
    const QFileInfo info(path);
    const std::string finalName = QFile::encodeName(info.fileName()).toStdString();
    bool written = false;
    forEachWorkingFile(info.path(), &finalName, [&written](int, const char*, int fd) {
        // Its writer holds the lock while it runs.
        written = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        return !written;
    });
    return written;
}

int removeLeftoverOutputs(const QString& folder)
{
    int removed = 0;
    forEachWorkingFile(folder, nullptr, [&removed](int dir, const char* name, int fd) {
        struct stat info = {};
        // A lock we get means nobody writes it any more.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlinkat(dir, name, 0) == 0)
            ++removed;
        return true;
    });
    return removed;
}
