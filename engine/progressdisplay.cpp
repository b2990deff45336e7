#include "engine/progressdisplay.h"

#include "encoder/protocol/encoderprotocol.h"
#include "engine/commandexpander.h"
#include "engine/outputnaming.h"

#include <algorithm>
#include <cmath>

namespace {

// Numbers in a Task come from outside (an encoder's reports, a stored list): whatever
// they hold, the user is shown numbers, never "nan" or "inf", nor times that wrap.
constexpr double kLongestSeconds = 36'000'000.0; // ten thousand hours

double finiteOrZero(double value)
{
    return std::isfinite(value) ? value : 0.0;
}

long long truncated(double value)
{
    return static_cast<long long>(
        std::trunc(std::clamp(finiteOrZero(value), -kLongestSeconds, kLongestSeconds)));
}

// Whole seconds of a time to show: never negative.
long long seconds(double value)
{
    return std::max(0LL, truncated(value));
}

void setBar(TaskProgress& r, long long pos)
{
    r.bar = int(pos);
}

QString encodeText(double percent, int outputKB, long long remain)
{
    return QString::asprintf("    %.2f%%  %.02fMB   Remain Time:", percent, outputKB / 1024.0) +
           timeText(remain);
}

QString changeMark(const QString& change)
{
    QStringList used;
    for (const QString& line : change.split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype at = line.lastIndexOf(QLatin1String(encoderprotocol::kUsingWord));
        used << (at < 0 ? QStringLiteral("changed")
                        : line.mid(at + qsizetype(sizeof encoderprotocol::kUsingWord) - 1));
    }
    return used.join(QStringLiteral(", "));
}

// Failed and stopped rows differ from finished ones in words: no bar.
void fillProgress(TaskProgress& r, const Task& task, uint32_t now, uint32_t wmvStartTick)
{
    if (task.failed) {
        const QString reason = failureSummary(task.failureKind);
        r.text = QStringLiteral("    Failed") +
                 (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
        return;
    }
    if (task.stopped) {
        r.text = QStringLiteral("    Stopped");
        return;
    }
    if (conversionFinished(task)) {
        r.text = QStringLiteral("    Finished");
        // What the encoder used in place of a setting it could not keep.
        if (!task.change.isEmpty())
            r.text += QStringLiteral(" (") + changeMark(task.change) + u')';
        setBar(r, 100);
        return;
    }
    if (task.exportType != 0) {
        // Only the finished mark reads 100; what the component reports above it does not.
        const int p = std::clamp(task.wmvPercent, 0, kWmvDone - 1);
        if (p <= 0)
            return;
        r.text =
            QString::asprintf("    %d %%   Used Time:%d S", p, int((now - wmvStartTick) / 1000u));
        setBar(r, p);
        return;
    }
    const double length = task.endTime - task.startTime;
    if (task.isRealMedia == 0) {
        if (task.encodedTime <= 0.0 || task.outputKB <= 0)
            return;
        const double percent = encodePercent(task);
        r.text = encodeText(percent, task.outputKB, encodeRemainSeconds(task));
        setBar(r, truncated(percent));
        return;
    }
    if (task.preState == 1) {
        const double half = std::clamp(finiteOrZero(task.prePercent), 0.0, 100.0) * 0.5;
        const long long remain = seconds(length * 0.5 + task.preRemainTime);
        r.text = QString::asprintf("    %.2f%%    Remain Time:", half) + timeText(remain);
        setBar(r, truncated(half));
        return;
    }
    if (task.preState == 2) {
        const double percent = length <= 0 ? 0.0 : encodePercent(task) * 0.5 + 50.0;
        r.text = encodeText(percent, task.outputKB, encodeRemainSeconds(task));
        setBar(r, truncated(percent));
    }
}

} // namespace

QString failureSummary(FailureKind kind)
{
    switch (kind) {
    case FailureKind::SourceMissing:
        return QStringLiteral("the source file is missing");
    case FailureKind::SourceUnreadable:
        return QStringLiteral("not a video this program can read");
    case FailureKind::OutputUnwritable:
        return QStringLiteral("cannot write the output folder");
    case FailureKind::OutputReadOnly:
        return QStringLiteral("the output folder is read-only");
    case FailureKind::OutputMissing:
        return QStringLiteral("the output folder is gone");
    case FailureKind::DiskFull:
        return QStringLiteral("the disk is full");
    case FailureKind::EncoderStopped:
        return QStringLiteral("the encoder stopped unexpectedly");
    case FailureKind::EncoderMissing:
        return QStringLiteral("the encoder could not be started");
    case FailureKind::EmptySpan:
        return QStringLiteral("the trimmed span is empty");
    case FailureKind::None:
    case FailureKind::Other:
        break;
    }
    return {};
}

QString exportCellText(const Task& task, const QString& plannedName)
{
    if (!task.outputPath.isEmpty())
        return task.outputPath.mid(task.outputPath.lastIndexOf(u'/') + 1);
    if (!plannedName.isEmpty())
        return plannedName;
    return outputStem(task.exportName, task.sourcePath) +
           (task.exportType == 0 ? QStringLiteral(".mp4") : QStringLiteral(".wmv"));
}

double encodePercent(const Task& task)
{
    const double length = finiteOrZero(task.endTime - task.startTime);
    if (length <= 0)
        return 0.0;
    const double percent = finiteOrZero(task.encodedTime * 100.0 / length + 0.5);
    return percent >= 99.0 ? 100.0 : std::max(0.0, percent);
}

long long encodeRemainSeconds(const Task& task)
{
    const double left = (task.endTime - task.startTime) - task.encodedTime;
    if (task.encodeSpeed > 0 && task.encodedTime > 20.0)
        return seconds(left / task.encodeSpeed);
    return seconds(left);
}

TaskAdvance taskAdvance(const Task& task, uint32_t now, uint32_t wmvStartTick)
{
    if (task.failed || task.stopped)
        return {};
    if (conversionFinished(task))
        return {100.0, 0};
    if (task.exportType != 0) {
        const int p = std::clamp(task.wmvPercent, 0, kWmvDone - 1);
        if (p <= 0)
            return {};
        const double used = (now - wmvStartTick) / 1000.0;
        return {double(p), seconds(used * (kWmvDone - p) / p)};
    }
    if (task.isRealMedia == 0) {
        if (task.encodedTime <= 0.0 || task.outputKB <= 0)
            return {};
        return {encodePercent(task), encodeRemainSeconds(task)};
    }
    const double length = task.endTime - task.startTime;
    if (task.preState == 1)
        return {std::clamp(finiteOrZero(task.prePercent), 0.0, 100.0) * 0.5,
                seconds(length * 0.5 + task.preRemainTime)};
    if (task.preState == 2)
        return {length <= 0 ? 0.0 : encodePercent(task) * 0.5 + 50.0, encodeRemainSeconds(task)};
    return {};
}

TaskState taskState(const Task& task)
{
    if (task.failed)
        return TaskState::Failed;
    if (task.stopped)
        return TaskState::Stopped;
    if (conversionFinished(task))
        return TaskState::Finished;
    if (task.exportType != 0)
        return task.wmvPercent > 0 ? TaskState::Converting : TaskState::New;
    if (task.isRealMedia == 1 && task.preState == 1)
        return TaskState::PreConverting;
    if ((task.isRealMedia == 1 && task.preState == 2) || task.encodedTime > 0.0 ||
        task.outputKB > 0)
        return TaskState::Converting;
    return TaskState::New;
}

TaskProgress taskProgress(const Task& task, uint32_t now, uint32_t wmvStartTick)
{
    TaskProgress progress;
    progress.state = taskState(task);
    fillProgress(progress, task, now, wmvStartTick);
    return progress;
}

QString progressToolTip(const Task& task)
{
    if (task.failed)
        return QStringLiteral("Failed: ") + task.failureReason;
    QStringList said;
    if (!task.warning.isEmpty())
        said << QStringLiteral("Finished with a warning: ") + task.warning;
    if (!task.change.isEmpty())
        said << QStringLiteral("Finished with a change: ") + task.change;
    return said.join(u'\n');
}
