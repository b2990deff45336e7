#include "segmentreader.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
}

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

// Frames further than this past the segment's end close their stream; the filters cut
// the segment exactly, this only stops the reading.
constexpr double kReadPastEnd = 1.0;

QString rationalText(AVRational r)
{
    return QString("%1/%2").arg(r.num).arg(r.den);
}

} // namespace

bool SegmentReader::open(const QString& path, double start, double length, bool wantVideo,
                         bool wantAudio, QString* error)
{
    m_input = openInput(path, error);
    if (!m_input)
        return false;
    const int rc = avformat_find_stream_info(m_input.get(), nullptr);
    if (rc < 0) {
        if (error)
            *error = ffmpegError(rc);
        return false;
    }
    m_start = std::max(0.0, start);
    m_fileStart = m_input->start_time == AV_NOPTS_VALUE ? 0 : m_input->start_time;
    m_length = std::max(0.0, length);
    if (m_input->duration > 0)
        m_length = std::clamp(double(m_input->duration) / AV_TIME_BASE - m_start, 0.0, m_length);

    auto bestStream = [this](AVMediaType type) {
        const int index = av_find_best_stream(m_input.get(), type, -1, -1, nullptr, 0);
        if (index >= 0 && (m_input->streams[index]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return -1;
        return index;
    };
    if (wantVideo) {
        const int index = bestStream(AVMEDIA_TYPE_VIDEO);
        if (index >= 0 && !openDecoder(m_video, index, error))
            m_video = Stream{};
    }
    if (wantAudio) {
        const int index = bestStream(AVMEDIA_TYPE_AUDIO);
        if (index >= 0 && !openDecoder(m_audio, index, error))
            m_audio = Stream{};
    }

    if (m_start > 0) {
        const int64_t target = m_fileStart + int64_t(m_start * AV_TIME_BASE);
        if (avformat_seek_file(m_input.get(), -1, INT64_MIN, target, target, 0) < 0)
            av_seek_frame(m_input.get(), -1, target, AVSEEK_FLAG_BACKWARD);
    }
    return true;
}

bool SegmentReader::openDecoder(Stream& s, int index, QString* error)
{
    AVStream* stream = m_input->streams[index];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        if (error)
            *error = QString("No decoder for %1").arg(avcodec_get_name(stream->codecpar->codec_id));
        return false;
    }
    s.decoder = makeCodecContext(codec);
    if (!s.decoder || avcodec_parameters_to_context(s.decoder.get(), stream->codecpar) < 0)
        return false;
    s.decoder->pkt_timebase = stream->time_base;
    s.decoder->thread_count = 0;
    const int rc = avcodec_open2(s.decoder.get(), codec, nullptr);
    if (rc < 0) {
        if (error)
            *error = ffmpegError(rc);
        return false;
    }
    s.index = index;
    s.stream = stream;
    return true;
}

int SegmentReader::sourceWidth() const
{
    if (!hasVideo())
        return 0;
    const AVCodecParameters* par = m_video.stream->codecpar;
    const AVRational sar = par->sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0 && sar.num != sar.den)
        return int(std::lround(par->width * av_q2d(sar)));
    return par->width;
}

int SegmentReader::sourceHeight() const
{
    return hasVideo() ? m_video.stream->codecpar->height : 0;
}

bool SegmentReader::setVideoShape(const VideoShape& shape, QString* error)
{
    if (!hasVideo())
        return true;
    QStringList chain;
    chain << QString("trim=start=0:end=%1").arg(m_length, 0, 'f', 6);
    if (shape.frameRate.num > 0)
        chain << QString("fps=fps=%1:start_time=0").arg(rationalText(shape.frameRate))
              << chain.front(); // the rate filter may add a picture at the end
    const AVCodecParameters* par = m_video.stream->codecpar;
    const AVRational sar = par->sample_aspect_ratio;
    const bool squarePixels = sar.num <= 0 || sar.den <= 0 || sar.num == sar.den;
    const bool sameSize = squarePixels && par->width == shape.width && par->height == shape.height;
    if (shape.width > 0 && shape.height > 0 && !sameSize) {
        // Square pixels first, then fit inside the frame and fill the rest with black.
        if (!squarePixels)
            chain << "scale=trunc(iw*max(1\\,sar)/2)*2:trunc(ih/max(1\\,1/sar)/2)*2";
        chain << QString("scale=%1:%2:force_original_aspect_ratio=decrease:"
                         "force_divisible_by=2")
                     .arg(shape.width)
                     .arg(shape.height)
              << QString("pad=%1:%2:(ow-iw)/2:(oh-ih)/2").arg(shape.width).arg(shape.height);
    } else if (sameSize) {
        chain << QString("scale=%1:%2").arg(shape.width).arg(shape.height); // passes through
    }
    chain << "setsar=1";
    if (shape.colorDepth == 16)
        chain << "format=rgb565le";
    else if (shape.colorDepth == 15)
        chain << "format=rgb555le";
    else if (shape.colorDepth > 0 && shape.colorDepth <= 8)
        chain << "format=rgb8";
    chain << QString("format=%1").arg(av_get_pix_fmt_name(shape.pixelFormat));
    m_videoChain = chain.join(',');
    Q_UNUSED(error);
    return true;
}

bool SegmentReader::setAudioShape(const AudioShape& shape, QString* error)
{
    if (!hasAudio())
        return true;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, shape.channels);
    char layoutName[64] = {};
    av_channel_layout_describe(&layout, layoutName, sizeof layoutName);
    m_audioChain = QString("atrim=start=0:end=%1,aresample=%2:async=1:first_pts=0,"
                           "aformat=sample_fmts=%3:sample_rates=%2:channel_layouts=%4")
                       .arg(m_length, 0, 'f', 6)
                       .arg(shape.sampleRate)
                       .arg(av_get_sample_fmt_name(shape.sampleFormat))
                       .arg(layoutName);
    m_audioFrameSize = shape.frameSize;
    Q_UNUSED(error);
    return true;
}

bool SegmentReader::buildGraph(Stream& s, const AVFrame* first, bool video)
{
    s.graph = makeFilterGraph();
    if (!s.graph)
        return false;
    s.graph->nb_threads = 1;
    QString sourceArgs;
    const AVFilter* sourceFilter;
    const AVFilter* sinkFilter;
    if (video) {
        AVRational sar = first->sample_aspect_ratio;
        if (sar.num <= 0 || sar.den <= 0)
            sar = AVRational{1, 1};
        sourceArgs = QString("video_size=%1x%2:pix_fmt=%3:time_base=%4:pixel_aspect=%5")
                         .arg(first->width)
                         .arg(first->height)
                         .arg(first->format)
                         .arg(rationalText(s.stream->time_base))
                         .arg(rationalText(sar));
        sourceFilter = avfilter_get_by_name("buffer");
        sinkFilter = avfilter_get_by_name("buffersink");
    } else {
        AVChannelLayout layout;
        if (av_channel_layout_copy(&layout, &first->ch_layout) < 0 ||
            layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&layout, std::max(1, first->ch_layout.nb_channels));
        char layoutName[64] = {};
        av_channel_layout_describe(&layout, layoutName, sizeof layoutName);
        av_channel_layout_uninit(&layout);
        sourceArgs = QString("time_base=1/%1:sample_rate=%1:sample_fmt=%2:channel_layout=%3")
                         .arg(first->sample_rate)
                         .arg(av_get_sample_fmt_name(AVSampleFormat(first->format)))
                         .arg(layoutName);
        sourceFilter = avfilter_get_by_name("abuffer");
        sinkFilter = avfilter_get_by_name("abuffersink");
    }
    if (avfilter_graph_create_filter(&s.source, sourceFilter, "in", sourceArgs.toUtf8().constData(),
                                     nullptr, s.graph.get()) < 0 ||
        avfilter_graph_create_filter(&s.sink, sinkFilter, "out", nullptr, nullptr, s.graph.get()) <
            0)
        return false;

    FilterInOutPtr outputs(avfilter_inout_alloc());
    FilterInOutPtr inputs(avfilter_inout_alloc());
    if (!outputs || !inputs)
        return false;
    outputs->name = av_strdup("in");
    outputs->filter_ctx = s.source;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = s.sink;
    AVFilterInOut* outputsRaw = outputs.release();
    AVFilterInOut* inputsRaw = inputs.release();
    const QByteArray chain = (video ? m_videoChain : m_audioChain).toUtf8();
    int rc = avfilter_graph_parse_ptr(s.graph.get(), chain.constData(), &inputsRaw, &outputsRaw,
                                      nullptr);
    outputs.reset(outputsRaw);
    inputs.reset(inputsRaw);
    if (rc < 0 || avfilter_graph_config(s.graph.get(), nullptr) < 0)
        return false;
    if (!video && m_audioFrameSize > 0)
        av_buffersink_set_frame_size(s.sink, unsigned(m_audioFrameSize));
    return true;
}

void SegmentReader::feedFrame(Stream& s, AVFrame* frame)
{
    const bool video = &s == &m_video;
    const AVRational tb = s.stream->time_base;
    int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        ts =
            s.lastPts == AV_NOPTS_VALUE ? 0 : s.lastPts + std::max<int64_t>(1, frame->pkt_duration);
    s.lastPts = ts;
    const int64_t zero =
        av_rescale_q(m_fileStart + int64_t(m_start * AV_TIME_BASE), AV_TIME_BASE_Q, tb);
    const double seconds = double(ts - zero) * av_q2d(tb);
    if (seconds > m_length + kReadPastEnd) {
        closeSource(s);
        return;
    }
    // Far ahead of the segment (a seek that landed early): the filters would drop it.
    if (seconds < -kReadPastEnd)
        return;
    if (!s.graph && !buildGraph(s, frame, video)) {
        s.graph.reset();
        s.source = s.sink = nullptr;
        closeSource(s);
        return;
    }
    frame->pts = video ? ts - zero : av_rescale_q(ts - zero, tb, AVRational{1, frame->sample_rate});
    int64_t span = video ? frame->pkt_duration : frame->nb_samples;
    if (video && span <= 0 && s.stream->avg_frame_rate.num > 0)
        span = av_rescale_q(1, av_inv_q(s.stream->avg_frame_rate), tb);
    if (s.endPts == AV_NOPTS_VALUE || frame->pts + std::max<int64_t>(span, 1) > s.endPts)
        s.endPts = frame->pts + std::max<int64_t>(span, 1);
    if (av_buffersrc_add_frame_flags(s.source, frame, AV_BUFFERSRC_FLAG_KEEP_REF) < 0)
        closeSource(s);
}

void SegmentReader::closeSource(Stream& s)
{
    if (s.sourceClosed)
        return;
    s.sourceClosed = true;
    // Ended at the end of the last frame, not its start, so that the rate filter keeps it;
    // what the filters still hold is read out by next() until the sink ends.
    const int rc = !s.source                    ? AVERROR_EOF
                   : s.endPts != AV_NOPTS_VALUE ? av_buffersrc_close(s.source, s.endPts, 0)
                                                : av_buffersrc_add_frame(s.source, nullptr);
    if (rc < 0)
        s.sinkDone = true;
}

bool SegmentReader::drainDecoder(Stream& s, AVFrame* scratch)
{
    const int rc = avcodec_receive_frame(s.decoder.get(), scratch);
    if (rc == AVERROR(EAGAIN))
        return false;
    if (rc < 0) {
        closeSource(s);
        return true;
    }
    ++m_decodedFrames;
    feedFrame(s, scratch);
    av_frame_unref(scratch);
    return true;
}

bool SegmentReader::readPacket()
{
    while (!m_demuxDone) {
        if (m_cancel && m_cancel->load())
            return false;
        const bool videoOpen = hasVideo() && !m_video.sourceClosed;
        const bool audioOpen = hasAudio() && !m_audio.sourceClosed;
        if (!videoOpen && !audioOpen) {
            m_demuxDone = true;
            break;
        }
        // A damaged file ends where it cannot be read any further.
        if (av_read_frame(m_input.get(), m_packet.get()) < 0) {
            m_demuxDone = true;
            break;
        }
        Stream* s = nullptr;
        if (videoOpen && m_packet->stream_index == m_video.index)
            s = &m_video;
        else if (audioOpen && m_packet->stream_index == m_audio.index)
            s = &m_audio;
        if (s)
            avcodec_send_packet(s->decoder.get(), m_packet.get()); // bad packets are skipped
        av_packet_unref(m_packet.get());
        if (s)
            return true;
    }
    return false;
}

SegmentReader::Kind SegmentReader::next(AVFrame* out)
{
    for (;;) {
        if (m_cancel && m_cancel->load())
            return Kind::End;
        // Hand out the stream that lags behind, so that the two stay interleaved.
        Stream* order[2] = {&m_video, &m_audio};
        if (m_audio.lastOutput < m_video.lastOutput)
            std::swap(order[0], order[1]);
        bool active = false;
        for (Stream* s : order) {
            if (!s->decoder || s->sinkDone)
                continue;
            if (!s->sink) {
                if (s->sourceClosed)
                    s->sinkDone = true;
                else
                    active = true;
                continue;
            }
            const int rc = av_buffersink_get_frame(s->sink, out);
            if (rc >= 0) {
                const bool video = s == &m_video;
                const AVRational tb = av_buffersink_get_time_base(s->sink);
                s->lastOutput =
                    out->pts == AV_NOPTS_VALUE ? s->lastOutput : double(out->pts) * av_q2d(tb);
                return video ? Kind::Video : Kind::Audio;
            }
            // A closed source that still wants input would never give more.
            if (rc == AVERROR(EAGAIN) && !s->sourceClosed)
                active = true;
            else
                s->sinkDone = true;
        }
        if (!active)
            return Kind::End;

        bool progressed = false;
        for (Stream* s : {&m_video, &m_audio}) {
            if (s->decoder && !s->sourceClosed && drainDecoder(*s, m_scratch.get()))
                progressed = true;
        }
        if (progressed || readPacket())
            continue;
        if (m_cancel && m_cancel->load())
            return Kind::End;
        // Nothing more to read: pass the end on, once, to each decoder, then the filters.
        for (Stream* s : {&m_video, &m_audio}) {
            if (!s->decoder || s->sourceClosed)
                continue;
            if (!s->decoderFlushed) {
                avcodec_send_packet(s->decoder.get(), nullptr);
                s->decoderFlushed = true;
            } else {
                closeSource(*s);
            }
        }
    }
}

AVRational SegmentReader::videoTimeBase() const
{
    return m_video.sink ? av_buffersink_get_time_base(m_video.sink) : AVRational{1, 1};
}

AVRational SegmentReader::audioTimeBase() const
{
    return m_audio.sink ? av_buffersink_get_time_base(m_audio.sink) : AVRational{1, 1};
}
