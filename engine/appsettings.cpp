#include "appsettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace {

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QStringLiteral("Trelvo Converter"), QStringLiteral("Trelvo Converter"));
}

// Longer stored values are not ours to trust: keep what fits the field.
constexpr int kMaxStoredLength = 255;

} // namespace

QString defaultOutputFolder()
{
    const QString movies = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!movies.isEmpty() && QDir(movies).exists())
        return movies;
    return QDir::homePath();
}

QString storedOutputFolder()
{
    const QVariant value = settings().value(QStringLiteral("destination"));
    if (!value.isValid() || value.toString().isEmpty())
        return defaultOutputFolder();
    return value.toString().left(kMaxStoredLength);
}

void storeOutputFolder(const QString& folder)
{
    if (folder.isEmpty())
        return;
    settings().setValue(QStringLiteral("destination"), folder);
}

QString storedVersion()
{
    return settings().value(QStringLiteral("Version")).toString().left(kMaxStoredLength);
}
