#include "ffmpegraii.h"

#include <QFile>
#include <sys/stat.h>

InputContextPtr openInput(const QString& path, QString* error)
{
    // A pipe or a device would keep the reader waiting for data that may never come.
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 &&
        (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode))) {
        if (error)
            *error = QStringLiteral("Not a file but a pipe or a device");
        return {};
    }
    AVFormatContext* ctx = nullptr;
    const int rc = avformat_open_input(&ctx, QFile::encodeName(path).constData(), nullptr, nullptr);
    if (rc < 0) {
        if (error)
            *error = ffmpegError(rc);
        return {};
    }
    return InputContextPtr(ctx);
}

CodecContextPtr makeCodecContext(const AVCodec* codec)
{
    return CodecContextPtr(avcodec_alloc_context3(codec));
}

FramePtr makeFrame()
{
    return FramePtr(av_frame_alloc());
}

PacketPtr makePacket()
{
    return PacketPtr(av_packet_alloc());
}

FilterGraphPtr makeFilterGraph()
{
    return FilterGraphPtr(avfilter_graph_alloc());
}

QString ffmpegError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}
