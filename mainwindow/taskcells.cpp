#include "mainwindow/taskcells.h"

#include "engine/commandexpander.h"
#include "engine/progressdisplay.h"

namespace {

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

// Failed and stopped rows differ from finished ones in colour too: a text colour of
// their own that stays readable on both row colours.
constexpr ColorRef kFailedTextColor = rgbRef(140, 0, 0);
constexpr ColorRef kStoppedTextColor = rgbRef(96, 64, 0);

void fillProgress(CellRequest& r, const Task& task, uint32_t now, uint32_t wmvStartTick,
                  const SizeEstimate* sizes)
{
    const TaskProgress progress = taskProgress(task, now, wmvStartTick);
    r.text = progress.text;
    if (progress.state == TaskState::New && r.text.isEmpty() && sizes) {
        const qint64 bytes = sizes->bytes(task);
        if (bytes > 0) {
            r.text = QStringLiteral("    about ");
            r.text += byteSizeText(bytes);
        }
    }
    if (progress.state == TaskState::Failed)
        r.textColor = kFailedTextColor;
    else if (progress.state == TaskState::Stopped)
        r.textColor = kStoppedTextColor;
    if (progress.bar >= 0) {
        r.barMax = kProgressBarMax;
        r.barColor = kProgressBarColor;
        r.barPos = progress.bar;
    }
}

} // namespace

int onCellRequest(CellRequest& request, const TaskList& tasks, uint32_t now, uint32_t wmvStartTick,
                  const QStringList* plannedNames, const SizeEstimate* sizes)
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
        fillProgress(request, task, now, wmvStartTick, sizes);
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
    if (column == ColumnProgress)
        return progressToolTip(task);
    return {};
}
