#include "engine/sourcecheck.h"

#include "engine/mediacomponent.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("SourceCheck", text);
}

} // namespace

QString sourceFileProblem(const QString& path)
{
    if (path.isEmpty())
        return tr("No source file was given");
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    if (::stat(name.constData(), &info) != 0) {
        // A name that was not valid UTF-8 reached us with replacement characters and
        // can no longer be found by it.
        if (errno == ENOENT && path.contains(QChar::ReplacementCharacter))
            return tr("The file name is not valid UTF-8, so the file cannot be opened by its "
                      "name; rename it");
        if (errno == ENOENT)
            return tr("The file does not exist (any more)");
        return tr("The file cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (S_ISDIR(info.st_mode))
        return tr("It is a folder, not a video file");
    if (!S_ISREG(info.st_mode))
        return tr("It is a pipe or a device, not a video file");
    // Opening says more than the permission bits: access lists, root squash, and so on.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return tr("The file cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
    if (info.st_size == 0)
        return tr("The file is empty");
    return {};
}

SourceVerdict checkSource(const QString& path, MediaConverter& media)
{
    if (QString problem = sourceFileProblem(path); !problem.isEmpty()) {
        const bool gone = !path.isEmpty() && !QFileInfo(path).exists();
        return {problem, gone ? FailureKind::SourceMissing : FailureKind::SourceUnreadable};
    }
    if (QString problem = media.SourceProblem(path); !problem.isEmpty())
        return {problem, FailureKind::SourceUnreadable};
    if (!(media.GetDuration(path) > 0)) {
        // The reading that measures a length may have found why it could not.
        if (QString problem = media.SourceProblem(path); !problem.isEmpty())
            return {problem, FailureKind::SourceUnreadable};
        return {tr("Its length cannot be read, so it cannot be trimmed"),
                FailureKind::SourceUnreadable};
    }
    return {};
}

bool markSourceMissing(Task& task)
{
    if (task.failed && task.failureKind == FailureKind::SourceMissing)
        return false;
    task.failed = 1;
    task.failureKind = FailureKind::SourceMissing;
    task.failureReason = tr("The file does not exist (any more)");
    return true;
}

bool clearSourceMissing(Task& task)
{
    if (!task.failed || task.failureKind != FailureKind::SourceMissing)
        return false;
    task.failed = 0;
    task.failureKind = FailureKind::None;
    task.failureReason.clear();
    return true;
}
