#include "engine/appsettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

namespace {

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QStringLiteral("Trelvo Converter"), QStringLiteral("Trelvo Converter"));
}

// The caption shows at most this much of a stored version text.
constexpr int kMaxVersionLength = 255;

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
    return value.toString(); // a long path is kept whole
}

void storeOutputFolder(const QString& folder)
{
    if (folder.isEmpty())
        return;
    QSettings store = settings();
    store.setValue(QStringLiteral("destination"), folder);
    store.sync();
}

QString storedAddFolder()
{
    return settings().value(QStringLiteral("addFolder")).toString();
}

void storeAddFolder(const QString& folder)
{
    if (folder.isEmpty())
        return;
    QSettings store = settings();
    store.setValue(QStringLiteral("addFolder"), folder);
    store.sync();
}

QString storedVersion()
{
    return settings().value(QStringLiteral("Version")).toString().left(kMaxVersionLength);
}

int defaultJobs(int cores)
{
    if (cores <= 2)
        return 1;
    return std::clamp(cores / 2, 1, kDefaultJobsCap);
}

int defaultJobs()
{
    return defaultJobs(QThread::idealThreadCount());
}

int storedJobs()
{
    bool ok = false;
    const int jobs = settings().value(QStringLiteral("Jobs")).toInt(&ok);
    return ok && jobs >= 1 && jobs <= kMaxJobs ? jobs : defaultJobs();
}

WindowSize storedWindowSize()
{
    const QSettings store = settings();
    WindowSize window;
    const QSize size = store.value(QStringLiteral("windowSize")).toSize();
    // Anything a screen could hold; other values are not a size this program wrote.
    if (size.width() > 0 && size.height() > 0 && size.width() <= 32767 && size.height() <= 32767)
        window.size = size;
    window.maximized = store.value(QStringLiteral("windowMaximized")).toBool();
    return window;
}

void storeWindowSize(const WindowSize& window)
{
    QSettings store = settings();
    store.setValue(QStringLiteral("windowSize"), window.size);
    store.setValue(QStringLiteral("windowMaximized"), window.maximized);
    store.sync();
}
