#pragma once

#include "engine/profilefile.h"
#include "engine/settingitems.h"
#include "engine/task.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

// The bit rates of a WMV profile by its number; none for a number it does not know. The
// media component keeps its profiles (wmvBitRates in media/mediacatalog.h).
using WmvBitRatesFn = std::function<std::optional<BitRates>(int wmvProfile)>;

// How big a Task's file is expected to be: its bit rates (video and sound) times its
// trimmed length. An MP4 Task's rates are those of its Profile's command line, with the
// Task's own settings put in where the Profile takes them from the controls; a WMV
// Task's those of its WMV profile. The profile file is read again only once it changed.
class SizeEstimate
{
public:
    SizeEstimate(const QString& appFolder, WmvBitRatesFn wmvBitRates);

    BitRates bitRates(const Task& task) const;
    // In bytes; 0 when the rates or the length are not known.
    qint64 bytes(const Task& task) const;

private:
    QString profileCommand(int profile) const;

    QString m_profilePath;
    WmvBitRatesFn m_wmvBitRates;
    mutable CProfileFile m_profiles;
    mutable std::optional<QDateTime> m_readAt; // the file's time when it was read
};

// A size in the words the list uses: "840 KB", "12.3 MB", "1.45 GB".
QString byteSizeText(qint64 bytes);

// The bytes this user may still write where `folder` is; -1 when that is not known.
qint64 freeRoom(const QString& folder);

// Says that the files to write will not fit in the room left in `folder`; empty when they
// fit, or when the room is not known.
QString roomWarning(qint64 needed, qint64 free, const QString& folder);
