#pragma once

#include "engine/task.h"

#include <cstdint>

// Where a Task's conversion stands.
enum class TaskState
{
    New,           // not converted, and not in a running batch
    Waiting,       // in the running batch, its turn not come yet
    PreConverting, // its RealMedia source is being made readable for the encoder
    Converting,
    Finished,
    Failed, // the Task's failureKind and failureReason say why
    Stopped
};

// The state a Task's own fields tell. Never Waiting: only the batch knows which Tasks
// wait their turn (BatchDriver::taskState).
TaskState taskState(const Task& task);

// What a Task's progress shows: its text, and how far its bar is filled (0..100; -1
// for no bar).
struct TaskProgress
{
    TaskState state = TaskState::New;
    QString text;
    int bar = -1;
};

// The progress of a Task. `now` and `wmvStartTick` are tick counts in milliseconds: a
// WMV conversion shows the time used since it started.
TaskProgress taskProgress(const Task& task, uint32_t now, uint32_t wmvStartTick);

// What the progress says beyond its text: why the conversion failed, or the warning and
// the settings changed that a finished one gave; empty otherwise.
QString progressToolTip(const Task& task);

// The short reason a failed Task's row gives after "Failed", in a user's words; empty
// when the class says nothing the whole reason (in the tooltip) does not.
QString failureSummary(FailureKind kind);

// The Export cell: the file the last batch wrote for the Task once its name was chosen;
// before that the name planned for it (see planOutputNames), or, without a plan, its
// title made safe as a file name with the export type's extension.
QString exportCellText(const Task& task, const QString& plannedName = {});

// How far a Task's conversion has come, as its row tells: the percentage (0..100; 100
// once finished) and the seconds left, -1 while the row tells none. A WMV conversion's
// time left is its used time spread over the percentage still to come.
struct TaskAdvance
{
    double percent = 0.0;
    long long remainSeconds = -1;
};
TaskAdvance taskAdvance(const Task& task, uint32_t now, uint32_t wmvStartTick);

// The percentage an MP4 encoder run shows: encodedTime against the trimmed length,
// plus one half, and 100 from 99.0 on.
double encodePercent(const Task& task);
// Seconds left in an encoder run, scaled by the measured speed after 20 s of media.
long long encodeRemainSeconds(const Task& task);
