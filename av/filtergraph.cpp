#include "av/filtergraph.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

#include <algorithm>

namespace av {

namespace {

std::string rational(AVRational r)
{
    return std::to_string(r.num) + "/" + std::to_string(r.den);
}

std::string chainFailure(const char* what, const std::string& chain)
{
    return std::string(what) + " '" + chain + "'";
}

// Links `chain` between source (and side, the second source) and sink (any may be
// null: left open). The parser takes the ends it links, so they are handed over and
// whatever it leaves comes back.
int parse(AVFilterGraph* graph, const std::string& chain, AVFilterContext* source,
          AVFilterContext* sink, AVFilterContext* side = nullptr)
{
    InOutPtr outputs, inputs;
    if (source) {
        outputs.reset(avfilter_inout_alloc());
        if (!outputs || !(outputs->name = av_strdup("in")))
            return AVERROR(ENOMEM);
        outputs->filter_ctx = source;
    }
    if (side && outputs) {
        outputs->next = avfilter_inout_alloc();
        if (!outputs->next || !(outputs->next->name = av_strdup("side")))
            return AVERROR(ENOMEM);
        outputs->next->filter_ctx = side;
    }
    if (sink) {
        inputs.reset(avfilter_inout_alloc());
        if (!inputs || !(inputs->name = av_strdup("out")))
            return AVERROR(ENOMEM);
        inputs->filter_ctx = sink;
    }
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    const int rc = source ? avfilter_graph_parse_ptr(graph, chain.c_str(), &in, &out, nullptr)
                          : avfilter_graph_parse2(graph, chain.c_str(), &in, &out);
    inputs.reset(in);
    outputs.reset(out);
    return rc;
}

} // namespace

std::string channelLayoutName(const AVChannelLayout& layout)
{
    AVChannelLayout known{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_copy(&known, &layout) < 0)
        av_channel_layout_default(&known, std::max(1, layout.nb_channels));
    char name[128] = {};
    av_channel_layout_describe(&known, name, sizeof name);
    av_channel_layout_uninit(&known);
    return name;
}

std::string channelLayoutName(int channels)
{
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, std::max(1, channels));
    return channelLayoutName(layout);
}

int64_t frameSpan(const AVFrame& frame, AVRational timeBase, AVRational frameRate)
{
    int64_t span = 0;
    if (frame.sample_rate > 0 && frame.nb_samples > 0)
        span = av_rescale_q(frame.nb_samples, AVRational{1, frame.sample_rate}, timeBase);
    else if (frame.pkt_duration > 0)
        span = frame.pkt_duration;
    else if (frameRate.num > 0 && frameRate.den > 0)
        span = av_rescale_q(1, av_inv_q(frameRate), timeBase);
    return std::max<int64_t>(span, 1);
}

Status FilterGraph::check(const std::string& chain)
{
    GraphPtr graph = makeGraph();
    if (!graph)
        return Status::failure("cannot check the filters", AVERROR(ENOMEM));
    const int rc = parse(graph.get(), chain, nullptr, nullptr);
    if (rc < 0)
        return Status::failure(chainFailure("cannot build the filters", chain), rc);
    return {};
}

Status FilterGraph::fail(Status status)
{
    m_failure = status;
    return status;
}

Status FilterGraph::build(AVMediaType type, const AVFrame& first, AVRational timeBase,
                          const std::string& chain, const Options& options)
{
    m_graph = makeGraph();
    if (!m_graph)
        return fail(Status::failure("cannot set up the filters", AVERROR(ENOMEM)));
    if (options.threads > 0)
        m_graph->nb_threads = options.threads;
    m_type = type;
    m_format = first.format;
    std::string args;
    const AVFilter* source;
    const AVFilter* sink;
    if (type == AVMEDIA_TYPE_VIDEO) {
        AVRational sar = first.sample_aspect_ratio;
        if (sar.num <= 0 || sar.den <= 0)
            sar = AVRational{1, 1};
        args = "video_size=" + std::to_string(first.width) + "x" + std::to_string(first.height) +
               ":pix_fmt=" + std::to_string(first.format) + ":time_base=" + rational(timeBase) +
               ":pixel_aspect=" + rational(sar);
        source = avfilter_get_by_name("buffer");
        sink = avfilter_get_by_name("buffersink");
        m_width = first.width;
        m_height = first.height;
    } else {
        const char* sampleFormat = av_get_sample_fmt_name(AVSampleFormat(first.format));
        if (!sampleFormat)
            return fail(Status::failure("the sound's sample format is unknown"));
        args = "time_base=" + rational(timeBase) +
               ":sample_rate=" + std::to_string(first.sample_rate) + ":sample_fmt=" + sampleFormat +
               ":channel_layout=" + channelLayoutName(first.ch_layout);
        source = avfilter_get_by_name("abuffer");
        sink = avfilter_get_by_name("abuffersink");
        m_sampleRate = first.sample_rate;
        m_channels = first.ch_layout.nb_channels;
    }

    int rc =
        avfilter_graph_create_filter(&m_source, source, "in", args.c_str(), nullptr, m_graph.get());
    if (rc < 0)
        return fail(Status::failure("cannot set up the filters' input (" + args + ")", rc));
    rc = avfilter_graph_create_filter(&m_sink, sink, "out", nullptr, nullptr, m_graph.get());
    if (rc < 0)
        return fail(Status::failure("cannot set up the filters' output", rc));
    if (type == AVMEDIA_TYPE_VIDEO && !options.sideInput.empty()) {
        rc = avfilter_graph_create_filter(&m_side, source, "side", options.sideInput.c_str(),
                                          nullptr, m_graph.get());
        if (rc < 0)
            return fail(Status::failure(
                "cannot set up the filters' second input (" + options.sideInput + ")", rc));
    }
    if (type == AVMEDIA_TYPE_VIDEO && options.pixelFormat != AV_PIX_FMT_NONE) {
        const AVPixelFormat formats[] = {options.pixelFormat, AV_PIX_FMT_NONE};
        rc = av_opt_set_int_list(m_sink, "pix_fmts", formats, AV_PIX_FMT_NONE,
                                 AV_OPT_SEARCH_CHILDREN);
        if (rc < 0)
            return fail(Status::failure("cannot set up the filters' output", rc));
    }
    if ((rc = parse(m_graph.get(), chain, m_source, m_sink, m_side)) < 0)
        return fail(Status::failure(chainFailure("cannot build the filters", chain), rc));
    if ((rc = avfilter_graph_config(m_graph.get(), nullptr)) < 0)
        return fail(Status::failure(chainFailure("cannot set up the filters", chain), rc));
    if (type == AVMEDIA_TYPE_AUDIO && options.frameSize > 0)
        av_buffersink_set_frame_size(m_sink, unsigned(options.frameSize));
    return {};
}

bool FilterGraph::fits(const AVFrame& frame) const
{
    if (m_type == AVMEDIA_TYPE_VIDEO)
        return frame.width == m_width && frame.height == m_height && frame.format == m_format;
    return frame.sample_rate == m_sampleRate && frame.ch_layout.nb_channels == m_channels &&
           frame.format == m_format;
}

Status FilterGraph::add(AVFrame* frame, int64_t span)
{
    if (m_closed)
        return {};
    if (frame->pts != AV_NOPTS_VALUE &&
        (m_end == AV_NOPTS_VALUE || frame->pts + std::max<int64_t>(span, 1) > m_end))
        m_end = frame->pts + std::max<int64_t>(span, 1);
    const int rc = av_buffersrc_add_frame(m_source, frame);
    // The end of the stream already reached the filters (a trim that is done).
    if (rc < 0 && rc != AVERROR_EOF)
        return fail(Status::failure("cannot filter a frame", rc));
    return {};
}

Status FilterGraph::addSide(AVFrame* frame)
{
    if (m_closed || !m_side)
        return {};
    const int rc = av_buffersrc_add_frame_flags(m_side, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
    if (rc < 0 && rc != AVERROR_EOF)
        return fail(Status::failure("cannot filter a frame", rc));
    return {};
}

Status FilterGraph::close()
{
    if (m_closed)
        return {};
    m_closed = true;
    for (AVFilterContext* source : {m_source, m_side}) {
        if (!source) // nothing ever came
            continue;
        const int rc = m_end != AV_NOPTS_VALUE ? av_buffersrc_close(source, m_end, 0)
                                               : av_buffersrc_add_frame(source, nullptr);
        if (rc < 0 && rc != AVERROR_EOF)
            return fail(Status::failure("cannot end the filters' input", rc));
    }
    return {};
}

FilterGraph::Flow FilterGraph::receive(AVFrame* out)
{
    if (!m_failure.ok())
        return Flow::Failed;
    if (!m_sink)
        return m_closed ? Flow::Ended : Flow::NeedsInput;
    const int rc = av_buffersink_get_frame(m_sink, out);
    if (rc >= 0)
        return Flow::Frame;
    if (rc == AVERROR(EAGAIN))
        return Flow::NeedsInput;
    if (rc == AVERROR_EOF)
        return Flow::Ended;
    m_failure = Status::failure("cannot filter a frame", rc);
    return Flow::Failed;
}

AVRational FilterGraph::outputTimeBase() const
{
    return m_sink ? av_buffersink_get_time_base(m_sink) : AVRational{1, 1};
}

} // namespace av
