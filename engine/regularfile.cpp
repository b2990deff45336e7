#include "engine/regularfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<QByteArray> readRegularFile(const QString& path, qint64 limit, QString* error,
                                          bool* missing)
{
    auto fail = [error](const QString& why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (missing)
        *missing = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int why = errno;
        if (why == ENOENT && missing)
            *missing = true;
        return fail(why == ENOENT ? QStringLiteral("missing")
                                  : QString::fromLocal8Bit(std::strerror(why)));
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info = {};
    if (::fstat(fd, &info) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return fail(QStringLiteral("not a regular file"));
    const QString tooLarge = limit >= (1 << 20)
                                 ? QStringLiteral("the file is larger than %1 MB").arg(limit >> 20)
                                 : QStringLiteral("the file is larger than %1 kB").arg(limit >> 10);
    if (info.st_size > limit)
        return fail(tooLarge);
    // The size can grow while we read: never take more than the limit.
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        if (n == 0)
            return bytes;
        if (bytes.size() + n > limit)
            return fail(tooLarge);
        bytes.append(buffer, qsizetype(n));
    }
}
