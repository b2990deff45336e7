#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <memory>
#include <string>

// Owners for the FFmpeg objects of one conversion: each type gets its deleter, so no
// error path can forget a free.
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
struct DictionaryDeleter
{
    void operator()(AVDictionary* dict) const { av_dict_free(&dict); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputDeleter>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using GraphPtr = std::unique_ptr<AVFilterGraph, GraphDeleter>;

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

inline std::string errorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace av
