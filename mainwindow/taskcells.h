#pragma once

#include "engine/sizeestimate.h"
#include "engine/task.h"
#include "widgets/cellrequest.h"

#include <QStringList>
#include <cstdint>

// Column numbers of the task list.
enum TaskColumn
{
    ColumnSource = 0,
    ColumnBegin = 1,
    ColumnEnd = 2,
    ColumnExport = 3,
    ColumnProgress = 4
};

// Progress bar fill and range.
constexpr ColorRef kProgressBarColor = 0x1C1E9Au;
constexpr int kProgressBarMax = 100;

// Answers the task list's request for one cell: its text, the row colours, and in the
// Progress column the bar. `now` and `wmvStartTick` are tick counts in milliseconds.
// `plannedNames`, when given, are the Export column's names by row (planOutputNames).
// With `sizes`, the Progress cell of a Task not begun says how big its file will be.
int onCellRequest(CellRequest& request, const TaskList& tasks, uint32_t now, uint32_t wmvStartTick,
                  const QStringList* plannedNames = nullptr, const SizeEstimate* sizes = nullptr);

// The tooltip of a cell: the whole source path over the Source column, and why the
// conversion failed over the Progress cell of a failed Task; empty otherwise.
QString cellToolTip(const TaskList& tasks, int row, int column);
