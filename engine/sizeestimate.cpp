#include "engine/sizeestimate.h"

#include "engine/commandexpander.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <cmath>

SizeEstimate::SizeEstimate(const QString& appFolder, WmvBitRatesFn wmvBitRates)
    : m_profilePath(profileFilePath(appFolder)), m_wmvBitRates(std::move(wmvBitRates))
{
}

QString SizeEstimate::profileCommand(int profile) const
{
    const QFileInfo file(m_profilePath);
    const QDateTime changed = file.exists() ? file.lastModified() : QDateTime();
    if (!m_readAt || *m_readAt != changed) {
        m_profiles.SetPath(m_profilePath);
        m_readAt = changed;
    }
    return m_profiles.ReadString(QStringLiteral("profile%1").arg(profile),
                                 QStringLiteral("Command0"));
}

BitRates SizeEstimate::bitRates(const Task& task) const
{
    if (task.exportType != 0) {
        const auto rates = m_wmvBitRates ? m_wmvBitRates(task.wmvProfile) : std::nullopt;
        return rates.value_or(BitRates{});
    }
    const QString command = profileCommand(task.mp4Profile);
    if (command.isEmpty())
        return {};
    // The Task's own settings go where the Profile takes them from the controls.
    return bitRatesOfCommand(expandTemplate(command, task, QString(), QDateTime()));
}

qint64 SizeEstimate::bytes(const Task& task) const
{
    const double length = task.endTime - task.startTime;
    const BitRates rates = bitRates(task);
    if (!std::isfinite(length) || length <= 0.0 || rates.videoKbps <= 0)
        return 0;
    // Ten thousand hours at the highest rates still fits.
    const double bits =
        (double(rates.videoKbps) + rates.audioKbps) * 1000.0 * std::min(length, 36'000'000.0);
    return qint64(bits / 8.0);
}

QString byteSizeText(qint64 bytes)
{
    constexpr double kMB = 1024.0 * 1024.0;
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg((std::max<qint64>(0, bytes) + 1023) / 1024);
    if (bytes < 1024 * 1024 * 1024)
        return QStringLiteral("%1 MB").arg(bytes / kMB, 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(bytes / (kMB * 1024.0), 0, 'f', 2);
}

qint64 freeRoom(const QString& folder)
{
    // A folder not made yet is made where its nearest existing parent is.
    QString path = QDir::cleanPath(QDir(folder).absolutePath());
    while (!QFileInfo(path).exists() && path != QDir::rootPath())
        path = QFileInfo(path).absolutePath();
    const QStorageInfo storage(path);
    return storage.isValid() && storage.isReady() ? storage.bytesAvailable() : -1;
}

QString roomWarning(qint64 needed, qint64 free, const QString& folder)
{
    if (free < 0 || needed <= free)
        return {};
    return QCoreApplication::translate("SizeEstimate",
                                       "The videos to convert need about %1, but only %2 is free "
                                       "in %3.")
        .arg(byteSizeText(needed), byteSizeText(free), QDir::toNativeSeparators(folder));
}
