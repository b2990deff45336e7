#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
}

#include <memory>

// Owners for FFmpeg's objects: each gets its deleter the moment it exists, so that no
// error path can forget a free. Nothing outside this file frees one by hand.
namespace av {

struct InputDeleter
{
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct OutputDeleter
{
    void operator()(AVFormatContext* ctx) const
    {
        // A context of the caller's own (an exclusive output's) is the caller's to close.
        if (ctx && ctx->pb && !(ctx->oformat->flags & AVFMT_NOFILE) &&
            !(ctx->flags & AVFMT_FLAG_CUSTOM_IO))
            avio_closep(&ctx->pb);
        avformat_free_context(ctx);
    }
};
struct CodecDeleter
{
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameDeleter
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct GraphDeleter
{
    void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
struct InOutDeleter
{
    void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using GraphPtr = std::unique_ptr<AVFilterGraph, GraphDeleter>;
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutDeleter>;

// Null only when memory ran out.
inline FramePtr makeFrame()
{
    return FramePtr(av_frame_alloc());
}
inline PacketPtr makePacket()
{
    return PacketPtr(av_packet_alloc());
}
inline CodecPtr makeCodec(const AVCodec* codec)
{
    return CodecPtr(avcodec_alloc_context3(codec));
}
inline GraphPtr makeGraph()
{
    return GraphPtr(avfilter_graph_alloc());
}

// Options handed to an FFmpeg call that takes an AVDictionary** and keeps what it
// does not use.
class Dictionary
{
public:
    Dictionary() = default;
    ~Dictionary() { av_dict_free(&m_dict); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    // 0 or an AVERROR.
    int set(const char* key, const char* value) { return av_dict_set(&m_dict, key, value, 0); }
    AVDictionary** address() { return &m_dict; }

private:
    AVDictionary* m_dict = nullptr;
};

} // namespace av
