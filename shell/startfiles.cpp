#include "shell/startfiles.h"

#include <QDir>
#include <QUrl>

QStringList startFiles(const QStringList& arguments, const QString& workingFolder)
{
    QStringList files;
    const QDir folder(workingFolder);
    for (const QString& argument : arguments) {
        if (argument.isEmpty())
            continue;
        QString path = argument;
        if (argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
            const QUrl url(argument);
            if (url.isLocalFile())
                path = url.toLocalFile();
        }
        files.append(QDir::cleanPath(folder.absoluteFilePath(path)));
    }
    return files;
}
