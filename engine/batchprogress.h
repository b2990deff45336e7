#pragma once

#include "engine/progressdisplay.h"
#include "engine/task.h"

#include <QString>

#include <cstdint>
#include <functional>

// How far the running batch has come as a whole.
struct BatchProgress
{
    int total = 0;     // Tasks in the batch; 0 while none runs
    int converted = 0; // of them finished
    int failed = 0;
    double percent = 0.0;         // 0..100
    long long remainSeconds = -1; // -1 while no running Task tells its own
};

// The batch's progress from each of its Tasks' own (taskAdvance). A Task weighs as much as
// its trimmed span, so that an hour's film counts for more than a minute's clip; a Task
// that ended (finished, failed or stopped) counts as done. The time left is the work left
// over the speed the running Tasks show together. `inBatch` tells the Tasks the batch
// converts, `stateOf` where each stands (BatchDriver::taskState); `now` and `wmvStartTick`
// as for taskProgress.
BatchProgress batchProgress(const TaskList& tasks, const std::function<bool(int)>& inBatch,
                            const std::function<TaskState(int)>& stateOf, uint32_t now,
                            uint32_t wmvStartTick);

// The line under the list: "3 of 9 converted · 42 % · about 12 min left"; empty for no
// batch.
QString batchProgressText(const BatchProgress& progress);
