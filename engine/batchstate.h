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
};
