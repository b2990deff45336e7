#pragma once

#include <cstdint>

// State one batch shares between the driver and what shows its progress: the stop
// request, and the clock of the WMV conversion (one runs at a time). One instance lives
// as long as the program.
struct BatchState
{
    bool stopFlag = false;
    uint32_t wmvStartTick = 0;
    // When the last WMV conversion ended, finished or stopped; 0 while one runs.
    uint32_t wmvEndTick = 0;

    // The tick the used time of a WMV Task counts to: a stopped conversion's used time
    // stays what it was when it ended.
    uint32_t wmvClock(uint32_t now) const { return wmvEndTick != 0 ? wmvEndTick : now; }
};
