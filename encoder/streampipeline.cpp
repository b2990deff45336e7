#include "encoder/streampipeline.h"

#include "av/encode.h"
#include "encoder/encodeworker.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include <algorithm>

namespace encoder {

StreamPipeline::StreamPipeline(av::DecodeStage& stage, av::CodecPtr encoder,
                               PacketWriter writePacket)
    : m_stage(stage), m_encoder(std::move(encoder)), m_writePacket(std::move(writePacket))
{
}

int StreamPipeline::fail(const av::Status& status)
{
    m_failure = status.error();
    return status.code();
}

int StreamPipeline::sendPacket(const AVPacket* packet)
{
    if (m_outputEnded || m_finished)
        return 0;
    m_stage.send(packet);
    return drain();
}

int StreamPipeline::drain()
{
    for (;;) {
        AVFrame* frame = m_filtered.get();
        switch (m_stage.receive(frame)) {
        case av::DecodeStage::Flow::NeedsInput:
            return 0;
        case av::DecodeStage::Flow::Ended:
            m_outputEnded = true;
            return 0;
        case av::DecodeStage::Flow::Failed:
            // The encoder's thread stops first: it may be saying why it failed too.
            if (m_encodeWorker) {
                if (const int ret = m_encodeWorker->finish(); ret < 0)
                    return ret;
            }
            return fail(m_stage.failure());
        case av::DecodeStage::Flow::Frame:
            break;
        }
        // The source's picture types would force key frames where it had them.
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        frame->pts = av_rescale_q(frame->pts, m_stage.outputTimeBase(), m_encoder->time_base);
        const int64_t duration =
            isVideo() ? 1
                      : av_rescale_q(frame->nb_samples, AVRational{1, frame->sample_rate},
                                     m_encoder->time_base);
        m_reachedSeconds = std::max(m_reachedSeconds.load(),
                                    (frame->pts + duration) * av_q2d(m_encoder->time_base));
        const int ret = m_encodeWorker ? m_encodeWorker->push(frame) : encodeFrame(frame);
        av_frame_unref(frame);
        if (ret < 0)
            return ret;
    }
}

int StreamPipeline::encodeFrame(AVFrame* frame)
{
    const av::Status encoded =
        av::encode(m_encoder.get(), frame, m_packet.get(), [this](AVPacket* packet) {
            const int ret = m_writePacket(packet, m_outStream, m_encoder->time_base);
            return ret < 0 ? av::Status::failure("cannot write the output file", ret)
                           : av::Status();
        });
    if (!encoded)
        return fail(encoded);
    if (frame)
        ++m_framesEncoded;
    return 0;
}

int StreamPipeline::finish()
{
    if (!m_finished) {
        m_finished = true;
        m_stage.finish();
        if (const int ret = drain(); ret < 0)
            return ret;
    }
    if (m_encodeWorker) {
        if (const int ret = m_encodeWorker->finish(); ret < 0)
            return ret;
    }
    return encodeFrame(nullptr);
}

} // namespace encoder
