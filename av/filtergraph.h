#pragma once

#include "av/handles.h"
#include "av/status.h"

#include <string>

// One stream's libavfilter graph: a buffer source that takes decoded frames, the
// filters of a chain given as text, and a buffer sink that hands out the result.
namespace av {

// The name the filters know a layout by; one of unspecified order counts as the
// usual layout of that many channels.
std::string channelLayoutName(const AVChannelLayout& layout);
std::string channelLayoutName(int channels);

// How long `frame` lasts in `timeBase`, at least 1: a picture's own duration or else one
// frame at `frameRate` (when known), a sound's samples.
int64_t frameSpan(const AVFrame& frame, AVRational timeBase, AVRational frameRate);

class FilterGraph
{
public:
    struct Options
    {
        AVPixelFormat pixelFormat = AV_PIX_FMT_NONE; // pictures: the one format handed out
        int frameSize = 0;                           // sound: samples per frame; 0 for any
        int threads = 0;                             // 0: FFmpeg's choice
        // Pictures: the buffer source's arguments of a second input, which the chain
        // then names [side] beside its [in] and [out]; "" for none.
        std::string sideInput;
    };
    enum class Flow
    {
        Frame,      // a filtered frame was handed out
        NeedsInput, // add more first
        Ended,      // nothing more will come
        Failed      // see failure()
    };

    // Whether `chain` names filters and options that exist, before any frame is known.
    static Status check(const std::string& chain);

    // Builds `chain` behind a source shaped like `first` (AVMEDIA_TYPE_VIDEO or _AUDIO),
    // whose timestamps count in `timeBase`.
    Status build(AVMediaType type, const AVFrame& first, AVRational timeBase,
                 const std::string& chain, const Options& options);
    bool built() const { return m_graph != nullptr; }
    // Whether `frame` has the picture size and format, or the sample rate, channels and
    // format, that the graph was built for.
    bool fits(const AVFrame& frame) const;

    // Takes the frame's data; `span` is how long it lasts in the source's time base.
    Status add(AVFrame* frame, int64_t span);
    // A frame for the second input; the caller keeps its own reference.
    Status addSide(AVFrame* frame);
    // The end of the input (both inputs), at the end of the last frame added rather than at its
    // start: a rate filter would otherwise drop that frame, and a still picture lose its time.
    Status close();
    bool closed() const { return m_closed; }

    Flow receive(AVFrame* out);
    const Status& failure() const { return m_failure; }
    // The time base of the frames receive() hands out.
    AVRational outputTimeBase() const;

private:
    Status fail(Status status);

    GraphPtr m_graph;
    AVFilterContext* m_source = nullptr;
    AVFilterContext* m_side = nullptr;
    AVFilterContext* m_sink = nullptr;
    AVMediaType m_type = AVMEDIA_TYPE_UNKNOWN;
    int m_width = 0, m_height = 0, m_format = -1, m_sampleRate = 0, m_channels = 0;
    int64_t m_end = AV_NOPTS_VALUE;
    bool m_closed = false;
    Status m_failure;
};

} // namespace av
