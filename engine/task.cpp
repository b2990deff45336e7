#include "engine/task.h"

#include "engine/commandexpander.h"

#include <QStringList>

QString taskBaseName(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < slash)
        return {};
    return path.mid(slash + 1, dot - slash - 1);
}

bool isRealMediaPath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < slash)
        return false;
    const QStringView extension = QStringView(path).mid(dot + 1);
    return extension.compare(QLatin1String("rm"), Qt::CaseInsensitive) == 0 ||
           extension.compare(QLatin1String("rmvb"), Qt::CaseInsensitive) == 0;
}

Task makeTask(const QString& sourcePath, double duration, int32_t exportType, int32_t wmvProfile)
{
    Task task;
    task.sourcePath = sourcePath;
    task.startTime = 0.0;
    task.endTime = duration;
    const QString base = taskBaseName(sourcePath);
    task.title = base;
    task.exportName = base;
    task.isRealMedia = isRealMediaPath(sourcePath) ? 1 : 0;
    task.exportType = exportType;
    task.wmvProfile = wmvProfile;
    return task;
}

QString conversionSignature(const Task& task)
{
    QStringList fields{task.sourcePath, QString::number(task.startTime, 'g', 17),
                       QString::number(task.endTime, 'g', 17), task.exportName, task.title};
    for (const int32_t value : {task.exportType, task.mp4Profile, task.wmvProfile, task.videoType,
                                task.videoSize, task.frameRate, task.videoBitrate, task.aspect,
                                task.channels, task.audioBitrate, task.sampleRate, task.volume})
        fields << QString::number(value);
    // Only a choice made counts, so that the Tasks of lists kept before stay converted.
    if (task.audioTrack > 0 || task.subtitleTrack > 0 || !task.subtitleFile.isEmpty())
        fields << QString::number(task.audioTrack) << QString::number(task.subtitleTrack)
               << task.subtitleFile;
    return fields.join(QChar(0x1F));
}

bool conversionFinished(const Task& task)
{
    return task.exportType == 0 ? task.finished == 1 : task.wmvPercent == kWmvDone;
}

bool isConverted(const Task& task)
{
    return conversionFinished(task) && !task.failed && !task.stopped &&
           !task.doneSignature.isEmpty() && task.doneSignature == conversionSignature(task);
}

int TaskList::add(const Task& task)
{
    m_tasks.append(task);
    ++m_changes;
    return size() - 1;
}

void resetProgress(TaskList& tasks, const std::function<void(int row)>& redrawProgress,
                   bool keepConverted)
{
    for (int i = 0; i < tasks.size(); ++i) {
        Task task = tasks.get(i);
        if (keepConverted && isConverted(task))
            continue;
        task.finished = 0;
        task.outputKB = 0;
        task.encodeSpeed = 0.0;
        task.encodedTime = 0.0;
        task.wmvPercent = 0;
        task.failed = 0;
        task.failureReason.clear();
        task.failureKind = FailureKind::None;
        task.stopped = 0;
        task.outputPath.clear();
        task.doneSignature.clear();
        task.warning.clear();
        task.change.clear();
        task.preState = 0;
        task.preDone = 0;
        task.prePosition = 0.0;
        task.prePercent = 0.0;
        task.preRemainTime = 0.0;
        tasks.set(i, task);
        if (redrawProgress)
            redrawProgress(i);
    }
}

QString choiceArguments(const Task& task)
{
    QString arguments;
    if (task.isRealMedia == 1)
        return arguments;
    if (task.audioTrack > 0)
        arguments += QStringLiteral(" -atrack %1").arg(task.audioTrack);
    if (!task.subtitleFile.isEmpty())
        arguments += QStringLiteral(" -subtitles \"%1\"").arg(quoteSafe(task.subtitleFile));
    else if (task.subtitleTrack > 0)
        arguments += QStringLiteral(" -subtitles %1").arg(task.subtitleTrack);
    return arguments;
}

QString choiceText(const Task& task)
{
    QStringList parts;
    if (task.audioTrack > 0)
        parts << QStringLiteral("sound track %1").arg(task.audioTrack);
    if (!task.subtitleFile.isEmpty())
        parts << QStringLiteral("subtitles from %1").arg(task.subtitleFile);
    else if (task.subtitleTrack > 0)
        parts << QStringLiteral("subtitle track %1").arg(task.subtitleTrack);
    return parts.join(QStringLiteral(", "));
}
