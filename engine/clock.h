#pragma once

#include <cstdint>

// Milliseconds on a monotonic clock, wrapping as an unsigned 32-bit count.
uint32_t tickCount();
