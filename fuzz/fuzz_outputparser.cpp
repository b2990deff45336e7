// Any encoder output, cut into chunks at any places, fed as the runner feeds it.
#include "engine/encoderoutputparser.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first byte shapes the Task and the clock, the rest is the output.
    const uint8_t shape = data[0];
    TaskList tasks;
    Task task = makeTask(QStringLiteral("/v/clip.rm"), (shape & 0x0F) * 7.5, 0, 0);
    task.isRealMedia = shape & 0x10 ? 1 : 0;
    tasks.add(task);
    int finishRequests = 0;
    ParseHooks hooks;
    hooks.runStartTick = shape & 0x20 ? 0xFFFFFF00u : 0; // a tick count about to wrap
    hooks.finishEarly = [&] { ++finishRequests; };
    data += 1;
    size -= 1;

    char buffer[256];
    size_t at = 0;
    uint32_t now = hooks.runStartTick;
    while (at < size) {
        // Each chunk's length is read from its first byte, as a read of at most 255
        // bytes returns however much the pipe held.
        const size_t want = 1 + data[at] % 255;
        const size_t n = std::min(want, size - at);
        std::memset(buffer, 0, sizeof buffer);
        std::memcpy(buffer, data + at, n);
        at += n;
        now += 37;
        hooks.now = now;
        parseEncoderOutput(buffer, 0, tasks, hooks);
        const Task t = tasks.get(0);
        if (!std::isfinite(t.encodedTime) || !std::isfinite(t.encodeSpeed))
            std::abort();
    }
    if (finishRequests > 0 && tasks.get(0).isRealMedia != 1)
        std::abort();
    return 0;
}
