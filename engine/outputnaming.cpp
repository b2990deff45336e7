#include "engine/outputnaming.h"

#include "encoder/protocol/workingfile.h"
#include "engine/task.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

bool pathTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString safeFileStem(const QString& exportName)
{
    // Zune files travel through FAT and exFAT cards and Windows computers: a name holds
    // nothing those refuse, so that it can be copied anywhere as it is.
    static const QString refused = QStringLiteral("\\/:*?\"<>|");
    QString stem = exportName;
    for (QChar& c : stem) {
        if (refused.contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u'_';
    }
    // Nor a device's name, with any extension.
    static const QRegularExpression device(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])[ .]*$"),
        QRegularExpression::CaseInsensitiveOption);
    if (device.match(stem).hasMatch())
        stem += u'_';
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

QString fittedPath(const QString& folder, const QString& stem, const QString& suffix)
{
    const int folderBytes = int(folder.toUtf8().size());
    const int nameLimit = qMin(kMaxFileNameBytes, qMax(0, kMaxPathBytes - folderBytes));
    return folder + truncateUtf8(stem, nameLimit - int(suffix.toUtf8().size())) + suffix;
}

QString firstFreePath(const QString& folder, const QString& stem, const QString& extension,
                      const std::function<bool(const QString& path)>& taken)
{
    // Every shortened candidate is tested again, so a cut name never lands on another
    // file's name.
    for (int k = 1;; ++k) {
        const QString suffix = k == 1 ? extension : QStringLiteral("_%1").arg(k) + extension;
        const QString candidate = fittedPath(folder, stem, suffix);
        if (!taken(candidate))
            return candidate;
    }
}

QString chooseOutputPath(const QString& outputFolder, const QString& exportName, int exportType,
                         const QSet<QString>* reserved)
{
    QString folder = outputFolder;
    if (!folder.endsWith(u'/'))
        folder += u'/';
    const QString extension = exportType == 0 ? QStringLiteral(".mp4") : QStringLiteral(".wmv");
    return firstFreePath(folder, safeFileStem(exportName), extension, [reserved](const QString& p) {
        return pathTaken(p) || (reserved && reserved->contains(p));
    });
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

bool outputNameInUse(const QString& path)
{
    const QFileInfo info(path);
    return pathTaken(path) ||
           workingfile::writtenElsewhere(QFile::encodeName(info.path()).toStdString(),
                                         QFile::encodeName(info.fileName()).toStdString());
}

int removeLeftoverOutputs(const QString& folder)
{
    return workingfile::removeAbandoned(QFile::encodeName(folder).toStdString());
}
