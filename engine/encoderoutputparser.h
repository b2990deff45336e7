#pragma once

#include "engine/task.h"

#include <cstdint>
#include <functional>

// What the parser needs from the run around it.
struct ParseHooks
{
    uint32_t now = 0;          // tick count when the chunk arrived
    uint32_t runStartTick = 0; // tick count when the encoder was started
    // Ends the encoder early: closes the output, writes "q" and closes the input.
    std::function<void()> finishEarly;
    std::function<void(int row)> redrawProgress;
};

// Picks "size=" (kilobytes) and "time=" (seconds), as wide as encoderprotocol.h says,
// out of one chunk of the encoder's output and stores them with the speed in
// the Task. A RealMedia Task is ended once its trimmed length has been encoded.
void parseEncoderOutput(const char* chunk, int taskIndex, TaskList& tasks, const ParseHooks& hooks);
