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
// `plannedNames`, when given, are the Export column's names by row (planOutputNames).
int onCellRequest(CellRequest& request, const TaskList& tasks, uint32_t now, uint32_t wmvStartTick,
                  const QStringList* plannedNames = nullptr);

// The tooltip of a cell: the whole source path over the Source column, and why the
// conversion failed over the Progress cell of a failed Task; empty otherwise.
QString cellToolTip(const TaskList& tasks, int row, int column);

// The short reason a failed Task's row gives after "Failed", in a user's words; empty
// when the class says nothing the whole reason (in the tooltip) does not.
QString failureSummary(FailureKind kind);

// The Export cell: the file the last batch wrote for the Task once its name was chosen;
// before that the name planned for it (see planOutputNames), or, without a plan, its
// title made safe as a file name with the export type's extension.
QString exportCellText(const Task& task, const QString& plannedName = {});

// The percentage an MP4 encoder run shows: encodedTime against the trimmed length,
// plus one half, and 100 from 99.0 on.
double encodePercent(const Task& task);
// Seconds left in an encoder run, scaled by the measured speed after 20 s of media.
long long encodeRemainSeconds(const Task& task);
