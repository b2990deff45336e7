#include "av/decodestage.h"

extern "C" {
#include <libavutil/mathematics.h>
}

namespace av {

namespace {

// Frames further than this outside the span are not filtered: before it, a seek that
// landed early; after it, the stream is read far enough.
constexpr double kReadBeyond = 1.0;

} // namespace

DecodeStage::DecodeStage(AVStream* stream, CodecPtr decoder, int64_t origin,
                         std::optional<double> length)
    : m_stream(stream), m_decoder(std::move(decoder)), m_originMicros(origin),
      m_origin(av_rescale_q(origin, AV_TIME_BASE_Q, stream->time_base)), m_length(length)
{
}

Status DecodeStage::setFilters(std::string chain, const FilterGraph::Options& options)
{
    if (Status checked = FilterGraph::check(chain); !checked)
        return checked;
    m_chain = std::move(chain);
    m_options = options;
    return {};
}

void DecodeStage::fail(const Status& status)
{
    if (m_failure.ok())
        m_failure = status;
}

void DecodeStage::send(const AVPacket* packet)
{
    if (m_flushed || m_filters.closed() || !m_failure.ok())
        return;
    if (!packet)
        m_flushed = true;
    const int rc = avcodec_send_packet(m_decoder.get(), packet);
    if (rc == AVERROR(EAGAIN)) {
        // Only after a decoding failure left frames behind: sent once they are out.
        if (m_hasPending)
            ++m_damaged;
        av_packet_unref(m_pending.get());
        m_pendingEnd = !packet;
        m_hasPending = !packet || av_packet_ref(m_pending.get(), packet) >= 0;
        return;
    }
    if (rc < 0 && rc != AVERROR_EOF)
        ++m_damaged;
}

void DecodeStage::closeInput()
{
    if (const Status closed = m_filters.close(); !closed)
        fail(closed);
}

DecodeStage::Flow DecodeStage::receive(AVFrame* out)
{
    for (;;) {
        if (!m_failure.ok())
            return Flow::Failed;
        if (m_ended)
            return Flow::Ended;
        switch (m_filters.receive(out)) {
        case FilterGraph::Flow::Frame:
            return Flow::Frame;
        case FilterGraph::Flow::Ended:
            m_ended = true;
            return Flow::Ended;
        case FilterGraph::Flow::Failed:
            fail(m_filters.failure());
            return Flow::Failed;
        case FilterGraph::Flow::NeedsInput:
            break;
        }
        // Closed, and the filters want more: nothing more can come.
        if (m_filters.closed()) {
            m_ended = true;
            return Flow::Ended;
        }
        const int rc = avcodec_receive_frame(m_decoder.get(), m_frame.get());
        if (rc == AVERROR(EAGAIN)) {
            if (m_hasPending) {
                m_hasPending = false;
                const int sent =
                    avcodec_send_packet(m_decoder.get(), m_pendingEnd ? nullptr : m_pending.get());
                av_packet_unref(m_pending.get());
                if (sent < 0 && sent != AVERROR_EOF)
                    ++m_damaged;
                continue;
            }
            if (m_flushed) {
                closeInput();
                continue;
            }
            return Flow::NeedsInput;
        }
        if (rc == AVERROR_EOF) {
            closeInput();
            continue;
        }
        if (rc < 0) {
            ++m_damaged;
            if (m_flushed)
                closeInput();
            else if (!m_hasPending)
                return Flow::NeedsInput;
            continue;
        }
        filter(m_frame.get());
        av_frame_unref(m_frame.get());
    }
}

void DecodeStage::filter(AVFrame* frame)
{
    const bool video = isVideo();
    const AVRational tb = m_stream->time_base;
    // Sources without timestamps get them counted on from the last frame.
    int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        ts = m_nextPts == AV_NOPTS_VALUE ? 0 : m_nextPts;
    const int64_t span = frameSpan(*frame, tb, m_stream->avg_frame_rate);
    m_nextPts = ts + span;

    const double seconds = double(ts - m_origin) * av_q2d(tb);
    if (m_length && seconds > *m_length + kReadBeyond) {
        closeInput();
        return;
    }
    if (seconds + double(span) * av_q2d(tb) < -kReadBeyond)
        return;
    // A sound frame without a rate cannot be timed.
    if (!video && frame->sample_rate <= 0)
        return;
    // Sound is timed in samples, so that it is cut to the sample.
    const AVRational filterTimeBase = video ? tb : AVRational{1, frame->sample_rate};
    if (!m_filters.built()) {
        const Status built = m_filters.build(video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO,
                                             *frame, filterTimeBase, m_chain, m_options);
        if (!built) {
            fail(built);
            return;
        }
    } else if (!video && !m_filters.fits(*frame)) {
        // The sound filters take no change of rate or channels midway: the sound ends
        // there. Pictures of a new size pass, the scaler follows them.
        ++m_damaged;
        closeInput();
        return;
    }
    // A sound's time base can be as coarse as its packets (26 ms for MP3 in AVI): its
    // origin is counted in samples, not rounded to that.
    frame->pts = video ? ts - m_origin
                       : av_rescale_q(ts, tb, filterTimeBase) -
                             av_rescale_q(m_originMicros, AV_TIME_BASE_Q, filterTimeBase);
    if (m_sideFeed) {
        if (const Status fed = m_sideFeed(m_filters, frame->pts); !fed) {
            fail(fed);
            return;
        }
    }
    if (const Status added =
            m_filters.add(frame, frameSpan(*frame, filterTimeBase, m_stream->avg_frame_rate));
        !added)
        fail(added);
}

} // namespace av
