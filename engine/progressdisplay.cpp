#include "progressdisplay.h"

#include "commandexpander.h"
#include "outputnaming.h"

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

void setRowColours(CellRequest& r, int row)
{
    const bool even = row % 2 == 0;
    r.textColor = even ? 0x14050Au : 0x280A28u;
    r.backColor = even ? 0xFFB4B4u : 0xFFDCDCu;
    r.selTextColor = even ? 0x80C8F0u : 0x80FAF0u;
    r.selBackColorNoFocus = even ? 0x781414u : 0x783C14u;
    r.hotTextColor = 0x960AAAu;
    r.selBackColor = 0x60321Eu;
}

void setBar(CellRequest& r, long long pos)
{
    r.barMax = kProgressBarMax;
    r.barColor = kProgressBarColor;
    r.barPos = int(pos);
}

QString encodeText(double percent, int outputKB, long long remain)
{
    return QString::asprintf("    %.2f%%  %.02fMB   Remain Time:", percent, outputKB / 1024.0) +
           timeText(remain);
}

// Failed and stopped rows differ from finished ones in words and in colour: no bar, and
// a text colour of their own that stays readable on both row colours.
constexpr ColorRef kFailedTextColor = rgbRef(140, 0, 0);
constexpr ColorRef kStoppedTextColor = rgbRef(96, 64, 0);

void fillProgress(CellRequest& r, const Task& task, uint32_t now, uint32_t wmvStartTick)
{
    if (task.failed) {
        const QString reason = failureSummary(task.failureKind);
        r.text = QStringLiteral("    Failed") +
                 (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
        r.textColor = kFailedTextColor;
        return;
    }
    if (task.stopped) {
        r.text = QStringLiteral("    Stopped");
        r.textColor = kStoppedTextColor;
        return;
    }
    if (task.exportType != 0) {
        // 100 is the finished mark; what the component reports above it is not.
        const int p = task.wmvPercent == 100 ? 100 : std::clamp(task.wmvPercent, 0, 99);
        if (p <= 0)
            return;
        if (p == 100)
            r.text = QStringLiteral("    Finished");
        else
            r.text = QString::asprintf("    %d %%   Used Time:%d S", p,
                                       int((now - wmvStartTick) / 1000u));
        setBar(r, p);
        return;
    }
    if (task.finished == 1) {
        r.text = QStringLiteral("    Finished");
        setBar(r, 100);
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
        return QStringLiteral("cannot write the output folder (full?)");
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

int onCellRequest(CellRequest& request, const TaskList& tasks, uint32_t now, uint32_t wmvStartTick,
                  const QStringList* plannedNames)
{
    const int row = request.item;
    setRowColours(request, row);
    if (!tasks.isValidIndex(row))
        return 0;
    const Task task = tasks.get(row);
    switch (request.subItem) {
    case ColumnSource:
        request.text = task.sourcePath.mid(task.sourcePath.lastIndexOf(u'/') + 1);
        break;
    case ColumnBegin:
        request.text = trimTimeText(task.startTime);
        break;
    case ColumnEnd:
        request.text = trimTimeText(task.endTime);
        break;
    case ColumnExport:
        request.text = exportCellText(task, plannedNames ? plannedNames->value(row) : QString());
        break;
    case ColumnProgress:
        fillProgress(request, task, now, wmvStartTick);
        break;
    default:
        break;
    }
    return 0;
}

QString cellToolTip(const TaskList& tasks, int row, int column)
{
    if (!tasks.isValidIndex(row))
        return {};
    const Task task = tasks.get(row);
    if (column == ColumnSource)
        return task.sourcePath;
    if (column == ColumnProgress && task.failed)
        return QStringLiteral("Failed: ") + task.failureReason;
    if (column == ColumnProgress && !task.warning.isEmpty())
        return QStringLiteral("Finished with a warning: ") + task.warning;
    return {};
}
