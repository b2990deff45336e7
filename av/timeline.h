#pragma once

#include "av/handles.h"

#include <vector>

// MPEG programs and transport streams may start their clock over midway: DVD titles
// joined one after another, a recorder that restarted, files cut and put back together.
// Read as they stand, such a file seems to end at its first restart. These mend its
// packets' times onto one clock that runs on through the whole file.
namespace av {

// Whether `input`'s clock starts over or leaps somewhere: a look at the times at a few
// points through the file, cheap. Only for the kinds of file that allow it; reading
// starts over at the beginning afterwards.
bool clockRestarts(AVFormatContext* input);

class TimelineMender
{
public:
    // Mends nothing in files of other kinds.
    explicit TimelineMender(const AVFormatContext* input);

    // Shifts the packet's times onto the running clock. Each stream continues where it
    // left off when its clock starts over.
    void mend(AVPacket* packet);
    // The packet's start on the running clock, in AV_TIME_BASE units; AV_NOPTS_VALUE when
    // it has no time.
    int64_t startOf(const AVPacket* packet) const;

private:
    const AVFormatContext* m_input;
    bool m_active;
    // Per stream, in AV_TIME_BASE units: the shift onto the running clock, and where its
    // last packet ended on that clock.
    std::vector<int64_t> m_shift;
    std::vector<int64_t> m_end;
    int64_t m_latestShift = 0; // the shift of the stretch of clock begun last
};

} // namespace av
