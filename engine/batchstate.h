#pragma once

#include <cstdint>

// State one batch shares between the driver, the encoder runner, the output parser and
// the media component's event handlers. One instance lives as long as the program.
struct BatchState
{
    bool stopFlag = false;
    int currentTaskIndex = 0;
    uint32_t runStartTick = 0;
    int wmvRunning = 0;
    uint32_t wmvStartTick = 0;
    // When the last WMV conversion ended, finished or stopped; 0 while one runs.
    uint32_t wmvEndTick = 0;

    // The tick the used time of a WMV Task counts to: a stopped conversion's used time
    // stays what it was when it ended.
    uint32_t wmvClock(uint32_t now) const { return wmvEndTick != 0 ? wmvEndTick : now; }
};
