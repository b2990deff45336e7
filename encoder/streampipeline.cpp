#include "streampipeline.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <cstdio>

namespace {

struct InOutDeleter
{
    void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutDeleter>;

} // namespace

StreamPipeline::StreamPipeline(AVStream* inStream, av::CodecPtr decoder, av::CodecPtr encoder,
                               std::string filterChain, PacketWriter writePacket)
    : m_inStream(inStream), m_decoder(std::move(decoder)), m_encoder(std::move(encoder)),
      m_filterChain(std::move(filterChain)), m_writePacket(std::move(writePacket))
{
}

int StreamPipeline::fail(const std::string& what, int code)
{
    m_failure = what + ": " + av::errorText(code);
    return code;
}

int StreamPipeline::sendPacket(const AVPacket* packet)
{
    if (m_outputEnded || m_inputEnded)
        return 0;
    int ret = avcodec_send_packet(m_decoder.get(), packet);
    if (ret == AVERROR(EAGAIN)) {
        if ((ret = receiveFrames()) < 0)
            return ret;
        ret = avcodec_send_packet(m_decoder.get(), packet);
    }
    if (ret < 0 && ret != AVERROR_EOF)
        ++m_damaged;
    return receiveFrames();
}

int StreamPipeline::receiveFrames()
{
    for (;;) {
        int ret = avcodec_receive_frame(m_decoder.get(), m_frame.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return 0;
        if (ret < 0) {
            ++m_damaged;
            return 0;
        }
        AVFrame* frame = m_frame.get();
        // Sources without timestamps get them counted on from the last frame.
        int64_t pts = frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE)
            pts = m_nextPts == AV_NOPTS_VALUE ? 0 : m_nextPts;
        frame->pts = pts;
        if (isVideo()) {
            int64_t duration = frame->pkt_duration;
            if (duration <= 0 && m_inStream->avg_frame_rate.num > 0)
                duration =
                    av_rescale_q(1, av_inv_q(m_inStream->avg_frame_rate), m_inStream->time_base);
            m_nextPts = pts + std::max<int64_t>(duration, 1);
        } else if (frame->sample_rate > 0) {
            m_nextPts = pts + av_rescale_q(frame->nb_samples, AVRational{1, frame->sample_rate},
                                           m_inStream->time_base);
        }
        if (m_endPts == AV_NOPTS_VALUE || m_nextPts > m_endPts)
            m_endPts = m_nextPts;
        ret = filterFrame(frame);
        av_frame_unref(frame);
        if (ret < 0)
            return ret;
    }
}

int StreamPipeline::configureGraph(const AVFrame* frame)
{
    m_graph = av::makeGraph();
    const AVRational tb = m_inStream->time_base;
    char args[512];
    const AVFilter* source;
    const AVFilter* sink;
    if (isVideo()) {
        AVRational sar = frame->sample_aspect_ratio;
        if (sar.num <= 0 || sar.den <= 0)
            sar = AVRational{1, 1};
        std::snprintf(args, sizeof args,
                      "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                      frame->width, frame->height, frame->format, tb.num, tb.den, sar.num, sar.den);
        source = avfilter_get_by_name("buffer");
        sink = avfilter_get_by_name("buffersink");
        m_sourceWidth = frame->width;
        m_sourceHeight = frame->height;
    } else {
        AVChannelLayout layout{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&layout, &frame->ch_layout);
        char layoutName[128] = {};
        av_channel_layout_describe(&layout, layoutName, sizeof layoutName);
        av_channel_layout_uninit(&layout);
        std::snprintf(args, sizeof args,
                      "time_base=%d/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s", tb.num,
                      tb.den, frame->sample_rate,
                      av_get_sample_fmt_name(AVSampleFormat(frame->format)), layoutName);
        source = avfilter_get_by_name("abuffer");
        sink = avfilter_get_by_name("abuffersink");
        m_sourceRate = frame->sample_rate;
        m_sourceChannels = frame->ch_layout.nb_channels;
    }
    m_sourceFormat = frame->format;

    int ret = avfilter_graph_create_filter(&m_source, source, "in", args, nullptr, m_graph.get());
    if (ret < 0)
        return fail("cannot set up the filter input", ret);
    ret = avfilter_graph_create_filter(&m_sink, sink, "out", nullptr, nullptr, m_graph.get());
    if (ret < 0)
        return fail("cannot set up the filter output", ret);
    if (isVideo()) {
        const AVPixelFormat formats[] = {m_encoder->pix_fmt, AV_PIX_FMT_NONE};
        av_opt_set_int_list(m_sink, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
    }

    InOutPtr outputs(avfilter_inout_alloc());
    InOutPtr inputs(avfilter_inout_alloc());
    outputs->name = av_strdup("in");
    outputs->filter_ctx = m_source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = m_sink;
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    ret = avfilter_graph_parse_ptr(m_graph.get(), m_filterChain.c_str(), &in, &out, nullptr);
    inputs.reset(in);
    outputs.reset(out);
    if (ret < 0)
        return fail("cannot build the filters '" + m_filterChain + "'", ret);
    if ((ret = avfilter_graph_config(m_graph.get(), nullptr)) < 0)
        return fail("cannot configure the filters", ret);
    if (!isVideo() && !(m_encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
        av_buffersink_set_frame_size(m_sink, m_encoder->frame_size);
    return 0;
}

int StreamPipeline::filterFrame(AVFrame* frame)
{
    if (m_inputEnded || m_outputEnded)
        return 0;
    if (!frame) {
        m_inputEnded = true;
        if (!m_graph) {
            m_outputEnded = true;
            return 0;
        }
        // Ended at the end of the last frame, not its start: the rate filter would drop it.
        const int ret = m_endPts != AV_NOPTS_VALUE ? av_buffersrc_close(m_source, m_endPts, 0)
                                                   : av_buffersrc_add_frame(m_source, nullptr);
        if (ret < 0 && ret != AVERROR_EOF)
            return fail("cannot filter a frame", ret);
        return drainSink();
    }
    int ret = 0;
    if (!m_graph && (ret = configureGraph(frame)) < 0)
        return ret;
    // A picture or sound whose shape changes midway is as good as damaged here.
    const bool changed = isVideo()
                             ? frame->width != m_sourceWidth || frame->height != m_sourceHeight ||
                                   frame->format != m_sourceFormat
                             : frame->sample_rate != m_sourceRate ||
                                   frame->ch_layout.nb_channels != m_sourceChannels ||
                                   frame->format != m_sourceFormat;
    if (changed) {
        ++m_damaged;
        return 0;
    }
    ret = av_buffersrc_add_frame(m_source, frame);
    if (ret < 0 && ret != AVERROR_EOF)
        return fail("cannot filter a frame", ret);
    return drainSink();
}

int StreamPipeline::drainSink()
{
    const AVRational sinkTimeBase = av_buffersink_get_time_base(m_sink);
    for (;;) {
        int ret = av_buffersink_get_frame(m_sink, m_filtered.get());
        if (ret == AVERROR(EAGAIN))
            return 0;
        if (ret == AVERROR_EOF) {
            m_outputEnded = true;
            return 0;
        }
        if (ret < 0)
            return fail("cannot filter a frame", ret);
        AVFrame* frame = m_filtered.get();
        // The source's picture types would force key frames where it had them.
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        frame->pts = av_rescale_q(frame->pts, sinkTimeBase, m_encoder->time_base);
        const int64_t duration =
            isVideo() ? 1
                      : av_rescale_q(frame->nb_samples, AVRational{1, frame->sample_rate},
                                     m_encoder->time_base);
        m_reachedSeconds = std::max(m_reachedSeconds.load(),
                                    (frame->pts + duration) * av_q2d(m_encoder->time_base));
        ret = encodeFrame(frame);
        av_frame_unref(frame);
        if (ret < 0)
            return ret;
    }
}

int StreamPipeline::encodeFrame(AVFrame* frame)
{
    int ret = avcodec_send_frame(m_encoder.get(), frame);
    if (ret == AVERROR_EOF)
        return 0;
    if (ret < 0)
        return fail("cannot encode", ret);
    if (frame)
        ++m_framesEncoded;
    for (;;) {
        ret = avcodec_receive_packet(m_encoder.get(), m_packet.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
            return 0;
        if (ret < 0)
            return fail("cannot encode", ret);
        ret = m_writePacket(m_packet.get(), m_outStream, m_encoder->time_base);
        av_packet_unref(m_packet.get());
        if (ret < 0)
            return fail("cannot write the output file", ret);
    }
}

int StreamPipeline::finish()
{
    int ret = 0;
    if (!m_outputEnded && !m_inputEnded) {
        if ((ret = sendPacket(nullptr)) < 0)
            return ret;
    }
    if ((ret = filterFrame(nullptr)) < 0)
        return ret;
    return encodeFrame(nullptr);
}
