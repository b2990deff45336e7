#pragma once

#include "av/filtergraph.h"
#include "av/handles.h"
#include "av/status.h"

#include <functional>
#include <optional>

// One stream of a source on its way to the encoder: the decoder, the repair of missing
// timestamps, the cut to the span that is wanted and the filter graph that brings each
// frame into the wanted shape. Frames are pulled out: send a packet, then receive until
// it needs input again.
namespace av {

class DecodeStage
{
public:
    enum class Flow
    {
        Frame,      // a filtered frame was handed out
        NeedsInput, // send the next packet first
        Ended,      // nothing more will come
        Failed      // see failure()
    };

    // `origin` (AV_TIME_BASE units, the source's clock) becomes time 0 of the frames
    // handed out; `length` seconds after it the stream stops reading (the filters cut
    // exactly, this only saves the decoding). No length: to the end of the source.
    DecodeStage(AVStream* stream, CodecPtr decoder, int64_t origin, std::optional<double> length);

    AVStream* stream() const { return m_stream; }
    bool isVideo() const { return m_stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO; }

    // The chain the frames go through, before the first packet; `options` shape the sink.
    Status setFilters(std::string chain, const FilterGraph::Options& options);

    // Called with each picture's pts (in the stream's time base, from the origin) before
    // the picture enters the filters: feeds the chain's second input (see
    // FilterGraph::Options::sideInput) what it needs to reach that time.
    using SideFeed = std::function<Status(FilterGraph& filters, int64_t pts)>;
    void setSideFeed(SideFeed feed) { m_sideFeed = std::move(feed); }

    // Hands a packet to the decoder (null: the end of the input). A damaged packet is
    // counted and skipped. Receive until NeedsInput before sending the next.
    void send(const AVPacket* packet);
    void finish() { send(nullptr); }
    // The next filtered frame, its pts in outputTimeBase() counted from the origin.
    Flow receive(AVFrame* out);

    AVRational outputTimeBase() const { return m_filters.outputTimeBase(); }
    // Whether the stage takes no more packets (its span is read, or it ended).
    bool inputClosed() const { return m_filters.closed(); }
    int64_t damagedPackets() const { return m_damaged; }
    const Status& failure() const { return m_failure; }

private:
    void filter(AVFrame* frame);
    void closeInput();
    void fail(const Status& status);

    AVStream* m_stream;
    CodecPtr m_decoder;
    int64_t m_originMicros; // AV_TIME_BASE units
    int64_t m_origin;       // the same in the stream's time base, rounded
    std::optional<double> m_length;
    std::string m_chain;
    FilterGraph::Options m_options;
    FilterGraph m_filters;
    SideFeed m_sideFeed;
    FramePtr m_frame = makeFrame();
    PacketPtr m_pending = makePacket(); // refused while the decoder was full
    bool m_hasPending = false;
    bool m_pendingEnd = false; // what waits is the end of the input
    bool m_flushed = false;    // the end went to the decoder
    bool m_ended = false;
    int64_t m_nextPts = AV_NOPTS_VALUE;
    int64_t m_damaged = 0;
    Status m_failure;
};

} // namespace av
