#pragma once

#include "cellrequest.h"
#include "task.h"

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
int onCellRequest(CellRequest& request, const TaskList& tasks, uint32_t now, uint32_t wmvStartTick);

// The tooltip of a cell: the whole source path over the Source column, and why the
// conversion failed over the Progress cell of a failed Task; empty otherwise.
QString cellToolTip(const TaskList& tasks, int row, int column);

// The percentage an MP4 encoder run shows: encodedTime against the trimmed length,
// plus one half, and 100 from 99.0 on.
double encodePercent(const Task& task);
// Seconds left in an encoder run, scaled by the measured speed after 20 s of media.
long long encodeRemainSeconds(const Task& task);
