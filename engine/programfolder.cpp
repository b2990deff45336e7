#include "programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

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

QString intermediateFolder()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    const QString folder = cache + QStringLiteral("/trelvo-converter/");
    QDir().mkpath(folder);
    return folder;
}
