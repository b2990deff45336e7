#include "av/encode.h"

namespace av {

Status encode(AVCodecContext* encoder, const AVFrame* frame, AVPacket* scratch,
              const PacketWriter& write)
{
    int rc = avcodec_send_frame(encoder, frame);
    // The end was sent already: there is nothing left to drain.
    if (rc == AVERROR_EOF)
        return {};
    if (rc < 0)
        return Status::failure(
            std::string("the ") + encoder->codec->name + " encoder refused a frame", rc);
    for (;;) {
        rc = avcodec_receive_packet(encoder, scratch);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return {};
        if (rc < 0)
            return Status::failure(std::string("the ") + encoder->codec->name + " encoder failed",
                                   rc);
        Status written = write(scratch);
        av_packet_unref(scratch);
        if (!written)
            return written;
    }
}

} // namespace av
