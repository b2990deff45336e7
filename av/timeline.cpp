#include "av/timeline.h"

extern "C" {
#include <libavutil/mathematics.h>
}

#include <cmath>

namespace av {

namespace {

// A stream's clock never runs back; one that does, further than this, started over.
constexpr int64_t kBack = AV_TIME_BASE;
// Picture and sound are never silent this long in such files; a leap further started over.
constexpr int64_t kLeap = 30 * int64_t(AV_TIME_BASE);

bool mayRestart(const AVFormatContext* input)
{
    return input && input->iformat && (input->iformat->flags & AVFMT_TS_DISCONT);
}

bool steady(const AVStream* stream)
{
    const AVMediaType type = stream->codecpar->codec_type;
    return type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO;
}

} // namespace

bool clockRestarts(AVFormatContext* input)
{
    if (!mayRestart(input) || !input->pb || !(input->pb->seekable & AVIO_SEEKABLE_NORMAL) ||
        input->duration <= 0)
        return false;
    const int64_t size = avio_size(input->pb);
    PacketPtr packet = makePacket();
    if (size <= 0 || !packet)
        return false;
    const double start =
        input->start_time == AV_NOPTS_VALUE ? 0.0 : double(input->start_time) / AV_TIME_BASE;
    const double length = double(input->duration) / AV_TIME_BASE;
    // The clock at an eighth, a quarter... of the way through must run on, stay within
    // the header's span, and never leap most of it in an eighth of the bytes (a busy
    // scene after a still one takes more bytes, not that many).
    constexpr int kLooks = 8;
    double previous = start;
    bool restarts = false;
    for (int k = 1; k < kLooks && !restarts; ++k) {
        if (av_seek_frame(input, -1, size * k / kLooks, AVSEEK_FLAG_BYTE) < 0)
            break;
        double seen = NAN;
        for (int n = 0; n < 500 && std::isnan(seen) && av_read_frame(input, packet.get()) >= 0;
             ++n) {
            const AVStream* stream = input->streams[packet->stream_index];
            const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (steady(stream) && ts != AV_NOPTS_VALUE)
                seen = double(ts) * av_q2d(stream->time_base);
            av_packet_unref(packet.get());
        }
        if (std::isnan(seen))
            continue;
        restarts = seen < previous - 1.0 || seen > start + length + 1.0 ||
                   (seen - previous) / length > 0.6;
        previous = seen;
    }
    // Back to the beginning, by one way or the other.
    if (av_seek_frame(input, -1, 0, AVSEEK_FLAG_BYTE) < 0 && avio_seek(input->pb, 0, SEEK_SET) >= 0)
        avformat_flush(input);
    return restarts;
}

TimelineMender::TimelineMender(const AVFormatContext* input)
    : m_input(input), m_active(mayRestart(input))
{
}

void TimelineMender::mend(AVPacket* packet)
{
    if (!m_active || packet->stream_index < 0 ||
        unsigned(packet->stream_index) >= m_input->nb_streams)
        return;
    const size_t index = size_t(packet->stream_index);
    if (m_shift.size() < m_input->nb_streams) {
        m_shift.resize(m_input->nb_streams, 0);
        m_end.resize(m_input->nb_streams, AV_NOPTS_VALUE);
    }
    const AVStream* stream = m_input->streams[index];
    const int64_t raw = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (raw == AV_NOPTS_VALUE)
        return;
    const int64_t at = av_rescale_q(raw, stream->time_base, AV_TIME_BASE_Q);
    int64_t& shift = m_shift[index];
    const int64_t end = m_end[index];
    auto startedOver = [&](int64_t trial) {
        // Sparse streams (subtitles) may be silent for long: only running back counts.
        return end != AV_NOPTS_VALUE &&
               (at + trial < end - kBack || (steady(stream) && at + trial > end + kLeap));
    };
    if (startedOver(shift)) {
        // Another stream started over before this one: follow it, so the streams keep
        // their distance; else this one starts the new stretch of clock.
        if (shift != m_latestShift && !startedOver(m_latestShift))
            shift = m_latestShift;
        else
            shift = m_latestShift = end - at;
    }
    if (shift != 0) {
        const int64_t step = av_rescale_q(shift, AV_TIME_BASE_Q, stream->time_base);
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts += step;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts += step;
    }
    // A subtitle may last past the next one's start: only its start counts.
    const int64_t span = packet->duration > 0 && steady(stream)
                             ? av_rescale_q(packet->duration, stream->time_base, AV_TIME_BASE_Q)
                             : 1;
    m_end[index] = at + shift + span;
}

int64_t TimelineMender::startOf(const AVPacket* packet) const
{
    const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (ts == AV_NOPTS_VALUE || packet->stream_index < 0 ||
        unsigned(packet->stream_index) >= m_input->nb_streams)
        return AV_NOPTS_VALUE;
    return av_rescale_q(ts, m_input->streams[packet->stream_index]->time_base, AV_TIME_BASE_Q);
}

} // namespace av
