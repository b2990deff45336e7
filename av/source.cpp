#include "av/source.h"

#include "av/formatting.h"
#include "av/input.h"
#include "av/sourcefilters.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace av {

namespace {

void append(std::string& chain, const std::string& filter)
{
    if (filter.empty())
        return;
    if (!chain.empty())
        chain += ',';
    chain += filter;
}

// Brings the picture down to fewer bits per pixel; "" leaves it as it is.
std::string colorDepthFormat(int colorDepth)
{
    if (colorDepth == 16)
        return "format=rgb565le";
    if (colorDepth == 15)
        return "format=rgb555le";
    if (colorDepth > 0 && colorDepth <= 8)
        return "format=rgb8";
    return {};
}

} // namespace

Status Source::open(const SourceRequest& request)
{
    m_path = request.path;
    Status why;
    m_input = openInput(m_path, &why);
    if (!m_input)
        return why;
    if (Status read = readStreamInfo(m_input.get()); !read)
        return read;
    const double start = std::max(0.0, request.start);
    const int64_t fileStart = m_input->start_time == AV_NOPTS_VALUE ? 0 : m_input->start_time;
    const bool restarts = clockRestarts(m_input.get());
    if (restarts)
        m_mender.emplace(m_input.get());
    // A clock that starts over leaves the header's length short.
    const double fileLength =
        m_input->duration > 0 && !restarts ? double(m_input->duration) / AV_TIME_BASE : 0.0;
    setSpan(request, start, fileLength);

    StreamChoice streams = chooseStreams(m_input.get());
    int audioStream = request.audioStream;
    if (request.audioTrack > 0) {
        if (Status chosen = audioTrackStream(m_input.get(), request.audioTrack, &audioStream);
            !chosen) {
            m_refusedChoice = true;
            return chosen;
        }
    }
    if (audioStream >= 0 && audioStream < int(m_input->nb_streams) &&
        m_input->streams[audioStream]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
        streams.audio = audioStream;
    const int64_t origin = fileStart + int64_t(std::llround(start * AV_TIME_BASE));
    int pictureSubtitles = -1;
    if (request.video && (request.subtitleTrack > 0 || !request.subtitleFile.empty())) {
        if (Status drawn = subtitlesChain(m_input.get(), m_path, request.subtitleTrack,
                                          request.subtitleFile, &m_subtitles, &pictureSubtitles);
            !drawn) {
            m_refusedChoice = true;
            return drawn;
        }
        // The file's subtitles are timed on the source's clock, a file's from its start.
        m_subtitleOrigin = request.subtitleFile.empty() ? origin : origin - fileStart;
    }
    if (Status opened = openStages(request, streams.video, streams.audio, origin, pictureSubtitles);
        !opened)
        return opened;
    seekToStart(start, fileStart, origin);
    return {};
}

void Source::setSpan(const SourceRequest& request, double start, double fileLength)
{
    m_requestedLength = request.length;
    if (request.length) {
        m_length = std::max(0.0, *request.length);
        if (fileLength > 0)
            m_length = std::clamp(fileLength - start, 0.0, m_length);
    } else {
        m_length = std::max(0.0, fileLength - start);
    }
    m_trimmed = start > 0 || request.length;
}

Status Source::openStages(const SourceRequest& request, int videoStream, int audioStream,
                          int64_t origin, int pictureSubtitles)
{
    auto openStage = [&](int index, Status& leftOut) -> std::unique_ptr<DecodeStage> {
        AVStream* stream = m_input->streams[index];
        Status problem;
        CodecPtr decoder = openDecoder(stream, &problem);
        if (!decoder) {
            leftOut = problem;
            return nullptr;
        }
        return std::make_unique<DecodeStage>(stream, std::move(decoder), origin, request.length);
    };
    if (request.video && videoStream >= 0)
        m_video = openStage(videoStream, m_videoLeftOut);
    if (request.audio && audioStream >= 0)
        m_audio = openStage(audioStream, m_audioLeftOut);
    if (m_video && pictureSubtitles >= 0) {
        const AVCodecParameters* picture = m_video->stream()->codecpar;
        m_pictureSubtitles = std::make_unique<PictureSubtitles>();
        if (Status drawn = m_pictureSubtitles->open(m_input->streams[pictureSubtitles], origin,
                                                    picture->width, picture->height);
            !drawn) {
            m_refusedChoice = true;
            return Status::failure("subtitle track " + std::to_string(request.subtitleTrack) +
                                   " cannot be read: " + drawn.error());
        }
        m_video->setSideFeed(
            [subtitles = m_pictureSubtitles.get()](FilterGraph& filters, int64_t pts) {
                return subtitles->feed(filters, pts);
            });
    }
    return {};
}

void Source::seekToStart(double start, int64_t fileStart, int64_t origin)
{
    if (start > 0 && m_mender) {
        // Read from the beginning; what lies well before the start is not decoded.
        m_skipBefore = origin - 3 * int64_t(AV_TIME_BASE);
    } else if (start > 0) {
        // Land on a key frame a little before the start; the filters drop the rest.
        // Should both seeks fail, reading starts where it is and the cut copes too.
        const int64_t target = fileStart + int64_t(std::max(0.0, start - 1.0) * AV_TIME_BASE);
        if (avformat_seek_file(m_input.get(), -1, INT64_MIN, target, target, 0) < 0)
            av_seek_frame(m_input.get(), -1, target, AVSEEK_FLAG_BACKWARD);
    }
}

const Status& Source::leftOut(Kind kind) const
{
    return kind == Kind::Video ? m_videoLeftOut : m_audioLeftOut;
}

// The picture's width after its pixel aspect, before it is turned upright.
static int shownWidth(AVFormatContext* input, AVStream* stream)
{
    const AVRational sar = av_guess_sample_aspect_ratio(input, stream, nullptr);
    if (sar.num > 0 && sar.den > 0 && sar.num != sar.den)
        return int(std::lround(stream->codecpar->width * av_q2d(sar)));
    return stream->codecpar->width;
}

int Source::displayWidth() const
{
    if (!m_video)
        return 0;
    AVStream* stream = m_video->stream();
    return upright(stream).swapsSides ? stream->codecpar->height
                                      : shownWidth(m_input.get(), stream);
}

int Source::displayHeight() const
{
    if (!m_video)
        return 0;
    AVStream* stream = m_video->stream();
    return upright(stream).swapsSides ? shownWidth(m_input.get(), stream)
                                      : stream->codecpar->height;
}

double Source::displayAspect() const
{
    if (!m_video || m_video->stream()->codecpar->height <= 0 ||
        m_video->stream()->codecpar->width <= 0)
        return 0.0;
    AVRational sar = av_guess_sample_aspect_ratio(m_input.get(), m_video->stream(), nullptr);
    if (sar.num <= 0 || sar.den <= 0)
        sar = AVRational{1, 1};
    return uprightAspect(m_video->stream(), sar);
}

// The filters that come before the picture is fitted into the frame.
std::string Source::pictureSourceChain(const VideoShape& shape) const
{
    std::string chain;
    if (m_trimmed)
        append(chain, m_requestedLength ? format("trim=start=0:end=%.6f", *m_requestedLength)
                                        : std::string("trim=start=0"));
    // Interlaced sources (DVD, camcorders, and woven pictures their header does not
    // flag) would comb once scaled down; a phone's picture is turned upright.
    AVStream* stream = m_video->stream();
    append(chain, deinterlaceChain(m_path, stream));
    append(chain, upright(stream).chain);
    append(chain, shape.sourceFilters);
    if (!m_subtitles.empty()) {
        // The subtitles are timed on their own clock, the frames from the span's start.
        const int64_t shift = av_rescale_q(m_subtitleOrigin, AV_TIME_BASE_Q, stream->time_base);
        append(chain, format("setpts=PTS%+lld", static_cast<long long>(shift)));
        append(chain, m_subtitles);
        append(chain, format("setpts=PTS%+lld", static_cast<long long>(-shift)));
    }
    return chain;
}

Status Source::setVideoShape(const VideoShape& shape)
{
    if (!m_video)
        return {};
    const int width = std::max(2, shape.width);
    const int height = std::max(2, shape.height);
    std::string chain = pictureSourceChain(shape);
    AVStream* stream = m_video->stream();
    const AVCodecParameters* par = stream->codecpar;

    // Fit the picture into the frame without distortion; bars fill the rest.
    const double sourceAspect = displayAspect() > 0 ? displayAspect() : double(width) / height;
    const double frameAspect =
        shape.displayAspect > 0 ? shape.displayAspect : double(width) / height;
    const AVRational pixelAspect = av_d2q(frameAspect * height / width, 1000);
    const double fittedHeight = width * av_q2d(pixelAspect) / sourceAspect;
    const double fittedWidth = height * sourceAspect / av_q2d(pixelAspect);
    int pictureWidth = width, pictureHeight = height;
    if (sourceAspect > frameAspect * 1.01)
        pictureHeight = std::min(height, even(fittedHeight));
    else if (sourceAspect < frameAspect / 1.01)
        pictureWidth = std::min(width, even(fittedWidth));
    // Pixels far from square (a damaged header) leave a sliver not worth showing.
    if (fittedHeight < std::max(1.0, height / 100.0) || fittedWidth < std::max(1.0, width / 100.0))
        return Status::failure(format(
            "its pixels' shape would leave it a mere sliver of the %dx%d frame", width, height));
    append(chain, format("scale=%d:%d", pictureWidth, pictureHeight));
    // Deep, wide and HDR pictures come down to 8-bit SDR once small: far cheaper so.
    append(chain, eightBitChain(par));
    // Subtitle pictures are laid over the picture at its size in the frame.
    std::string underSubtitles;
    if (m_pictureSubtitles) {
        m_pictureSubtitles->setPicture(pictureWidth, pictureHeight, stream->time_base);
        underSubtitles = std::move(chain);
        chain.clear();
    }
    if (pictureWidth != width || pictureHeight != height)
        append(chain,
               format("pad=%d:%d:%d:%d:black", width, height, ((width - pictureWidth) / 2) & ~1,
                      ((height - pictureHeight) / 2) & ~1));
    append(chain, format("setsar=%d/%d", pixelAspect.num, pixelAspect.den));
    if (shape.frameRate.num > 0 && shape.frameRate.den > 0) {
        append(chain,
               format("fps=fps=%d/%d:start_time=0", shape.frameRate.num, shape.frameRate.den));
        // The rate filter may add a picture at the end.
        if (m_requestedLength)
            append(chain, format("trim=end=%.6f", *m_requestedLength));
    }
    append(chain, colorDepthFormat(shape.colorDepth));
    if (!av_get_pix_fmt_name(shape.pixelFormat))
        return Status::failure("the picture's pixel format is unknown");

    FilterGraph::Options options;
    options.pixelFormat = shape.pixelFormat;
    options.threads = shape.threads;
    if (m_pictureSubtitles) {
        chain = PictureSubtitles::overlayChain(underSubtitles, chain);
        options.sideInput = m_pictureSubtitles->sideInput();
    }
    return m_video->setFilters(chain, options);
}

Status Source::setAudioShape(const AudioShape& shape)
{
    if (!m_audio)
        return {};
    const char* sampleFormat = av_get_sample_fmt_name(shape.sampleFormat);
    if (!sampleFormat)
        return Status::failure("the sound's sample format is unknown");
    std::string chain;
    if (m_trimmed)
        append(chain, m_requestedLength ? format("atrim=start=0:end=%.6f", *m_requestedLength)
                                        : std::string("atrim=start=0"));
    // Surround is folded to stereo keeping the centre, where the dialogue is.
    if (shape.sourceFilters.empty() && shape.channels <= 2)
        append(chain, stereoDownmixChain(m_audio->stream()->codecpar->ch_layout));
    append(chain, shape.sourceFilters);
    if (shape.volume != 1.0)
        append(chain, format("volume=%.6f", shape.volume));
    // async fills a late start with silence and keeps the sound on the clock.
    append(chain, format("aresample=%d:async=1:min_hard_comp=0.1:first_pts=0", shape.sampleRate));
    append(chain, format("aformat=sample_fmts=%s:sample_rates=%d:channel_layouts=%s", sampleFormat,
                         shape.sampleRate, channelLayoutName(shape.channels).c_str()));
    if (m_requestedLength)
        append(chain, format("atrim=end=%.6f", *m_requestedLength));

    FilterGraph::Options options;
    options.frameSize = shape.frameSize;
    options.threads = shape.threads;
    return m_audio->setFilters(chain, options);
}

DecodeStage* Source::read(AVPacket* packet)
{
    while (!m_readDone) {
        if (cancelled())
            return nullptr;
        const int rc = av_read_frame(m_input.get(), packet);
        if (rc == AVERROR(EAGAIN)) {
            ::usleep(10000);
            continue;
        }
        // A damaged file ends where it cannot be read any further.
        if (rc < 0) {
            m_readDone = true;
            if (rc != AVERROR_EOF)
                m_readFailure = Status::failure(rc);
            return nullptr;
        }
        if (m_mender) {
            m_mender->mend(packet);
            const int64_t at = m_mender->startOf(packet);
            if (m_skipBefore != AV_NOPTS_VALUE && at != AV_NOPTS_VALUE && at < m_skipBefore) {
                av_packet_unref(packet);
                continue;
            }
        }
        if (m_video && packet->stream_index == m_video->stream()->index)
            return m_video.get();
        if (m_audio && packet->stream_index == m_audio->stream()->index)
            return m_audio.get();
        if (m_pictureSubtitles && packet->stream_index == m_pictureSubtitles->streamIndex())
            m_pictureSubtitles->decode(packet);
        av_packet_unref(packet);
    }
    return nullptr;
}

Source::Kind Source::next(AVFrame* out)
{
    struct Turn
    {
        DecodeStage* stage;
        Kind kind;
        bool* done;
        double* at;
    };
    for (;;) {
        if (cancelled() || !m_failure.ok())
            return Kind::End;
        Turn turns[2] = {{m_video.get(), Kind::Video, &m_videoDone, &m_videoAt},
                         {m_audio.get(), Kind::Audio, &m_audioDone, &m_audioAt}};
        // Hand out the stream that lags behind, so that the two stay interleaved.
        if (m_audioAt < m_videoAt)
            std::swap(turns[0], turns[1]);
        bool wanting = false;
        for (const Turn& turn : turns) {
            if (!turn.stage || *turn.done)
                continue;
            switch (turn.stage->receive(out)) {
            case DecodeStage::Flow::Frame:
                if (out->pts != AV_NOPTS_VALUE)
                    *turn.at = double(out->pts) * av_q2d(turn.stage->outputTimeBase());
                return turn.kind;
            case DecodeStage::Flow::NeedsInput:
                wanting = true;
                break;
            case DecodeStage::Flow::Ended:
                *turn.done = true;
                break;
            case DecodeStage::Flow::Failed:
                m_failure = turn.stage->failure();
                m_failedKind = turn.kind;
                return Kind::End;
            }
        }
        if (!wanting)
            return Kind::End;
        if (DecodeStage* stage = read(m_packet.get())) {
            stage->send(m_packet.get());
            av_packet_unref(m_packet.get());
            continue;
        }
        if (cancelled())
            return Kind::End;
        // Nothing more to read: the decoders give out what they hold.
        for (DecodeStage* stage : {m_video.get(), m_audio.get()}) {
            if (stage)
                stage->finish();
        }
    }
}

AVRational Source::timeBase(Kind kind) const
{
    const DecodeStage* stage = kind == Kind::Video ? m_video.get() : m_audio.get();
    return stage ? stage->outputTimeBase() : AVRational{1, 1};
}

} // namespace av
