#include "engine/encoderoutputparser.h"

#include "encoder/protocol/encoderprotocol.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace encoderprotocol;

void parseEncoderOutput(const char* chunk, int taskIndex, TaskList& tasks, const ParseHooks& hooks)
{
    const uint32_t now = hooks.now;
    if (!tasks.isValidIndex(taskIndex) || !chunk)
        return;
    Task task = tasks.get(taskIndex);

    if (const char* size = std::strstr(chunk, kSizeKey);
        size && std::strlen(size) >= kKeyLength + kSizeWidth) {
        char field[kSizeWidth + 1] = {};
        std::memcpy(field, size + kKeyLength, kSizeWidth);
        task.outputKB = std::atoi(field);
    }

    if (const char* time = std::strstr(chunk, kTimeKey);
        time && std::strlen(time) >= kKeyLength + kTimeMinWidth) {
        char field[kTimeWidth + 1] = {};
        std::strncpy(field, time + kKeyLength, kTimeWidth);
        double t = std::strtod(field, nullptr);
        if (!std::isfinite(t))
            t = 0.0;
        if (task.isRealMedia == 1 && task.outputKB > 0 && t >= task.endTime - task.startTime &&
            hooks.finishEarly)
            hooks.finishEarly();
        task.encodedTime = t;
        const uint32_t interval = now - hooks.runStartTick;
        // A report in the same millisecond as the start has no measurable speed yet.
        const double speed = interval == 0 ? 0.0 : t * 1000.0 / double(interval);
        // "time=1e308" reads as a finite number whose speed is not.
        task.encodeSpeed = std::isfinite(speed) ? speed : 0.0;
    }

    tasks.set(taskIndex, task);
    if (hooks.redrawProgress)
        hooks.redrawProgress(taskIndex);
}
