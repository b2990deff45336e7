#include "segmentreader.h"

#include "input.h"
#include "sourcefilters.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <QFile>
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
    m_path = path;
    std::string why;
    m_input = av::openInput(QFile::encodeName(path).toStdString(), &why);
    if (!m_input) {
        if (error)
            *error = QString::fromStdString(why);
        return false;
    }
    if (const av::Status read = av::readStreamInfo(m_input.get()); !read) {
        if (error)
            *error = QString::fromStdString(read.error());
        return false;
    }
    m_start = std::max(0.0, start);
    m_fileStart = m_input->start_time == AV_NOPTS_VALUE ? 0 : m_input->start_time;
    m_length = std::max(0.0, length);
    if (m_input->duration > 0)
        m_length = std::clamp(double(m_input->duration) / AV_TIME_BASE - m_start, 0.0, m_length);

    const av::StreamChoice streams = av::chooseStreams(m_input.get());
    if (wantVideo && streams.video >= 0 && !openDecoder(m_video, streams.video, error))
        m_video = Stream{};
    if (wantAudio && streams.audio >= 0 && !openDecoder(m_audio, streams.audio, error))
        m_audio = Stream{};

    if (m_start > 0) {
        // Should both seeks fail, reading starts at the beginning and the trim filters
        // drop what lies before the segment.
        const int64_t target = m_fileStart + int64_t(m_start * AV_TIME_BASE);
        if (avformat_seek_file(m_input.get(), -1, INT64_MIN, target, target, 0) < 0)
            av_seek_frame(m_input.get(), -1, target, AVSEEK_FLAG_BACKWARD);
    }
    return true;
}

bool SegmentReader::openDecoder(Stream& s, int index, QString* error)
{
    AVStream* stream = m_input->streams[index];
    std::string why;
    s.decoder = av::openDecoder(stream, &why);
    if (!s.decoder) {
        if (error)
            *error = QString::fromStdString(why);
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
    if (av::upright(m_video.stream).swapsSides)
        return par->height;
    if (sar.num > 0 && sar.den > 0 && sar.num != sar.den)
        return int(std::lround(par->width * av_q2d(sar)));
    return par->width;
}

int SegmentReader::sourceHeight() const
{
    if (!hasVideo())
        return 0;
    const AVCodecParameters* par = m_video.stream->codecpar;
    const AVRational sar = par->sample_aspect_ratio;
    if (av::upright(m_video.stream).swapsSides && sar.num > 0 && sar.den > 0)
        return int(std::lround(par->width * av_q2d(sar)));
    return av::upright(m_video.stream).swapsSides ? par->width : par->height;
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
    // Woven pictures are deinterlaced, a phone's turned upright, before any fitting.
    if (const std::string steps = av::joinChains(
            {av::deinterlaceChain(QFile::encodeName(m_path).toStdString(), m_video.stream),
             av::upright(m_video.stream).chain});
        !steps.empty())
        chain << QString::fromStdString(steps);
    const AVCodecParameters* par = m_video.stream->codecpar;
    const AVRational sar = par->sample_aspect_ratio;
    const bool squarePixels = sar.num <= 0 || sar.den <= 0 || sar.num == sar.den;
    const bool sameSize = squarePixels && !av::upright(m_video.stream).swapsSides &&
                          par->width == shape.width && par->height == shape.height;
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
    if (const std::string eightBit = av::eightBitChain(par); !eightBit.empty())
        chain << QString::fromStdString(eightBit);
    chain << "setsar=1";
    if (shape.colorDepth == 16)
        chain << "format=rgb565le";
    else if (shape.colorDepth == 15)
        chain << "format=rgb555le";
    else if (shape.colorDepth > 0 && shape.colorDepth <= 8)
        chain << "format=rgb8";
    const char* pixelFormat = av_get_pix_fmt_name(shape.pixelFormat);
    if (!pixelFormat) {
        if (error)
            *error = QStringLiteral("the picture's pixel format is unknown");
        return false;
    }
    chain << QString("format=%1").arg(pixelFormat);
    m_videoChain = chain.join(',').toStdString();
    if (const av::Status checked = av::FilterGraph::check(m_videoChain); !checked) {
        if (error)
            *error = QString::fromStdString(checked.error());
        return false;
    }
    return true;
}

bool SegmentReader::setAudioShape(const AudioShape& shape, QString* error)
{
    if (!hasAudio())
        return true;
    const char* sampleFormat = av_get_sample_fmt_name(shape.sampleFormat);
    if (!sampleFormat) {
        if (error)
            *error = QStringLiteral("the sound's sample format is unknown");
        return false;
    }
    // The centre's dialogue is kept when surround is folded down.
    std::string downmix;
    if (shape.channels <= 2)
        downmix = av::stereoDownmixChain(m_audio.stream->codecpar->ch_layout);
    if (!downmix.empty())
        downmix += ",";
    m_audioChain = QString("atrim=start=0:end=%1,%5aresample=%2:async=1:first_pts=0,"
                           "aformat=sample_fmts=%3:sample_rates=%2:channel_layouts=%4")
                       .arg(m_length, 0, 'f', 6)
                       .arg(shape.sampleRate)
                       .arg(sampleFormat)
                       .arg(QString::fromStdString(av::channelLayoutName(shape.channels)))
                       .arg(QString::fromStdString(downmix))
                       .toStdString();
    m_audioFrameSize = shape.frameSize;
    if (const av::Status checked = av::FilterGraph::check(m_audioChain); !checked) {
        if (error)
            *error = QString::fromStdString(checked.error());
        return false;
    }
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
    // A sound frame without a rate cannot be timed.
    if (!video && frame->sample_rate <= 0)
        return;
    // Sound is timed in samples from the segment's start.
    const AVRational filterTimeBase = video ? tb : AVRational{1, frame->sample_rate};
    if (!s.filters.built()) {
        av::FilterGraph::Options options;
        options.frameSize = video ? 0 : m_audioFrameSize;
        options.threads = 1;
        const av::Status built =
            s.filters.build(video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO, *frame, filterTimeBase,
                            video ? m_videoChain : m_audioChain, options);
        if (!built) {
            failStream(s, built);
            return;
        }
    } else if (!video && !s.filters.fits(*frame)) {
        // The sound filters take no change of rate or channels midway: the sound ends
        // there. Pictures of a new size pass, the scaler follows them.
        closeSource(s);
        return;
    }
    frame->pts = video ? ts - zero : av_rescale_q(ts - zero, tb, filterTimeBase);
    const av::Status added =
        s.filters.add(frame, av::frameSpan(*frame, filterTimeBase, s.stream->avg_frame_rate));
    if (!added)
        failStream(s, added);
}

void SegmentReader::closeSource(Stream& s)
{
    // What the filters still hold is read out by next() until the sink ends.
    const av::Status closed = s.filters.close();
    if (!closed)
        failStream(s, closed);
}

void SegmentReader::failStream(const Stream& s, const av::Status& status)
{
    if (!m_failure.isEmpty())
        return;
    m_failure = QString("The %1 of %2 cannot be converted: %3")
                    .arg(&s == &m_video ? "picture" : "sound", m_path,
                         QString::fromStdString(status.error()));
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
        const bool videoOpen = hasVideo() && !m_video.filters.closed();
        const bool audioOpen = hasAudio() && !m_audio.filters.closed();
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
        if ((m_cancel && m_cancel->load()) || !m_failure.isEmpty())
            return Kind::End;
        // Hand out the stream that lags behind, so that the two stay interleaved.
        Stream* order[2] = {&m_video, &m_audio};
        if (m_audio.lastOutput < m_video.lastOutput)
            std::swap(order[0], order[1]);
        bool active = false;
        for (Stream* s : order) {
            if (!s->decoder || s->sinkDone)
                continue;
            switch (s->filters.receive(out)) {
            case av::FilterGraph::Flow::Frame: {
                const AVRational tb = s->filters.outputTimeBase();
                s->lastOutput =
                    out->pts == AV_NOPTS_VALUE ? s->lastOutput : double(out->pts) * av_q2d(tb);
                return s == &m_video ? Kind::Video : Kind::Audio;
            }
            case av::FilterGraph::Flow::NeedsInput:
                // A closed source that still wants input would never give more.
                if (s->filters.closed())
                    s->sinkDone = true;
                else
                    active = true;
                break;
            case av::FilterGraph::Flow::Ended:
                s->sinkDone = true;
                break;
            case av::FilterGraph::Flow::Failed:
                failStream(*s, s->filters.failure());
                return Kind::End;
            }
        }
        if (!active)
            return Kind::End;

        bool progressed = false;
        for (Stream* s : {&m_video, &m_audio}) {
            if (s->decoder && !s->filters.closed() && drainDecoder(*s, m_scratch.get()))
                progressed = true;
        }
        if (progressed || readPacket())
            continue;
        if (m_cancel && m_cancel->load())
            return Kind::End;
        // Nothing more to read: pass the end on, once, to each decoder, then the filters.
        for (Stream* s : {&m_video, &m_audio}) {
            if (!s->decoder || s->filters.closed())
                continue;
            if (!s->decoderFlushed) {
                // Fails only when the end was passed on already.
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
    return m_video.filters.outputTimeBase();
}

AVRational SegmentReader::audioTimeBase() const
{
    return m_audio.filters.outputTimeBase();
}
