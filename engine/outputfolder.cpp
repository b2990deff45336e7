#include "engine/outputfolder.h"

#include <QFileInfo>
#include <QStorageInfo>

FailureKind outputFolderProblem(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.isDir())
        return FailureKind::OutputMissing;
    if (!info.isWritable() || QStorageInfo(folder).isReadOnly())
        return FailureKind::OutputReadOnly;
    return FailureKind::None;
}

FailureKind outputFailureKind(const QString& folder, const QString& reason)
{
    const FailureKind state = outputFolderProblem(folder);
    if (state != FailureKind::None)
        return state;
    const auto says = [&](const char* words) {
        return reason.contains(QLatin1String(words), Qt::CaseInsensitive);
    };
    if (says("No space left") || says("Disk quota exceeded") || says("File too large"))
        return FailureKind::DiskFull;
    if (says("Read-only file system") || says("Permission denied"))
        return FailureKind::OutputReadOnly;
    const QStorageInfo storage(folder);
    if (storage.isValid() && storage.bytesAvailable() == 0)
        return FailureKind::DiskFull;
    return FailureKind::OutputUnwritable;
}
