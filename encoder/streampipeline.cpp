#include "streampipeline.h"

#include "encode.h"

StreamPipeline::StreamPipeline(AVStream* inStream, av::CodecPtr decoder, av::CodecPtr encoder,
                               std::string filterChain, PacketWriter writePacket)
    : m_inStream(inStream), m_decoder(std::move(decoder)), m_encoder(std::move(encoder)),
      m_filterChain(std::move(filterChain)), m_writePacket(std::move(writePacket))
{
}

int StreamPipeline::fail(const av::Status& status)
{
    m_failure = status.error();
    return status.code();
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
        const int64_t span =
            av::frameSpan(*frame, m_inStream->time_base, m_inStream->avg_frame_rate);
        m_nextPts = pts + span;
        ret = filterFrame(frame, span);
        av_frame_unref(frame);
        if (ret < 0)
            return ret;
    }
}

int StreamPipeline::configureGraph(const AVFrame* frame)
{
    av::FilterGraph::Options options;
    if (isVideo())
        options.pixelFormat = m_encoder->pix_fmt;
    else if (!(m_encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
        options.frameSize = m_encoder->frame_size;
    const av::Status built = m_filters.build(m_inStream->codecpar->codec_type, *frame,
                                             m_inStream->time_base, m_filterChain, options);
    return built ? 0 : fail(built);
}

int StreamPipeline::filterFrame(AVFrame* frame, int64_t span)
{
    if (m_inputEnded || m_outputEnded)
        return 0;
    if (!frame) {
        m_inputEnded = true;
        if (!m_filters.built()) {
            m_outputEnded = true;
            return 0;
        }
        const av::Status closed = m_filters.close();
        return closed ? drainSink() : fail(closed);
    }
    int ret = 0;
    if (!m_filters.built() && (ret = configureGraph(frame)) < 0)
        return ret;
    // A picture or sound whose shape changes midway is as good as damaged here.
    if (!m_filters.fits(*frame)) {
        ++m_damaged;
        return 0;
    }
    const av::Status added = m_filters.add(frame, span);
    return added ? drainSink() : fail(added);
}

int StreamPipeline::drainSink()
{
    const AVRational sinkTimeBase = m_filters.outputTimeBase();
    for (;;) {
        AVFrame* frame = m_filtered.get();
        switch (m_filters.receive(frame)) {
        case av::FilterGraph::Flow::NeedsInput:
            return 0;
        case av::FilterGraph::Flow::Ended:
            m_outputEnded = true;
            return 0;
        case av::FilterGraph::Flow::Failed:
            return fail(m_filters.failure());
        case av::FilterGraph::Flow::Frame:
            break;
        }
        // The source's picture types would force key frames where it had them.
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        frame->pts = av_rescale_q(frame->pts, sinkTimeBase, m_encoder->time_base);
        const int64_t duration =
            isVideo() ? 1
                      : av_rescale_q(frame->nb_samples, AVRational{1, frame->sample_rate},
                                     m_encoder->time_base);
        m_reachedSeconds = std::max(m_reachedSeconds.load(),
                                    (frame->pts + duration) * av_q2d(m_encoder->time_base));
        const int ret = encodeFrame(frame);
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
    int ret = 0;
    if (!m_outputEnded && !m_inputEnded) {
        if ((ret = sendPacket(nullptr)) < 0)
            return ret;
    }
    if ((ret = filterFrame(nullptr, 0)) < 0)
        return ret;
    return encodeFrame(nullptr);
}
