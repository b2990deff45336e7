#pragma once

// Owners for the FFmpeg objects the media engine uses: every allocation is handed to a
// unique_ptr at once, so no error path can leak one.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <QString>
#include <memory>

struct InputContextDeleter
{
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;

// Closes the file (when the muxer opened one) and frees the context.
struct OutputContextDeleter
{
    void operator()(AVFormatContext* ctx) const
    {
        // A context of the caller's own (an exclusive output's) is the caller's to close.
        if (ctx && !(ctx->oformat->flags & AVFMT_NOFILE) && !(ctx->flags & AVFMT_FLAG_CUSTOM_IO))
            avio_closep(&ctx->pb);
        avformat_free_context(ctx);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextDeleter>;

struct CodecContextDeleter
{
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

struct FrameDeleter
{
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct PacketDeleter
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

struct FilterGraphDeleter
{
    void operator()(AVFilterGraph* graph) const { avfilter_graph_free(&graph); }
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;

struct FilterInOutDeleter
{
    void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutDeleter>;

// Opens a media file for reading; null when it cannot be opened. `error` gets the reason.
InputContextPtr openInput(const QString& path, QString* error = nullptr);
CodecContextPtr makeCodecContext(const AVCodec* codec);
FramePtr makeFrame();
PacketPtr makePacket();
FilterGraphPtr makeFilterGraph();

// FFmpeg's text for an error code.
QString ffmpegError(int code);
