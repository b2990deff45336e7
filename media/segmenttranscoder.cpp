#include "media/segmenttranscoder.h"

#include "av/encode.h"
#include "av/exclusiveoutput.h"
#include "av/handles.h"
#include "av/pieces.h"
#include "av/readahead.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

constexpr int kVideo = 0;
constexpr int kAudio = 1;
constexpr qint64 kProgressIntervalMs = 250;
// Frames decoded ahead of the encoders: enough to carry them over a slow picture.
constexpr size_t kReadAhead = 8;

// Rates given as decimals (23.976 as a float) mean the NTSC fractions.
AVRational frameRateOf(double fps)
{
    if (!(fps > 0.0) || !std::isfinite(fps))
        return AVRational{25, 1};
    for (int base : {24, 30, 60}) {
        const double ntsc = base * 1000.0 / 1001.0;
        if (std::abs(fps - ntsc) < 0.005)
            return AVRational{base * 1000, 1001};
    }
    return av_d2q(fps, 65535);
}

int nearestSampleRate(const AVCodec* codec, int wanted)
{
    if (!codec->supported_samplerates)
        return wanted;
    int best = codec->supported_samplerates[0];
    for (const int* rate = codec->supported_samplerates; *rate; ++rate) {
        if (std::abs(*rate - wanted) < std::abs(best - wanted))
            best = *rate;
    }
    return best;
}

void setUpVideoEncoder(AVCodecContext* enc, const AVCodec* codec, const ConversionJob& job,
                       int sourceWidth, int sourceHeight)
{
    int width = job.width > 0 ? job.width : sourceWidth;
    int height = job.height > 0 ? job.height : sourceHeight;
    if (width <= 0 || height <= 0) {
        width = 320;
        height = 240;
    }
    enc->width = width & ~1;
    enc->height = height & ~1;
    AVRational rate = frameRateOf(job.frameRate);
    if (codec->supported_framerates)
        rate =
            codec->supported_framerates[av_find_nearest_q_idx(rate, codec->supported_framerates)];
    enc->framerate = rate;
    enc->time_base = av_inv_q(rate);
    enc->pix_fmt = codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    enc->bit_rate = int64_t(job.videoKbps) * 1000;
    enc->sample_aspect_ratio = AVRational{1, 1};
    enc->thread_count = 0;
    if (job.videoTag)
        enc->codec_tag = job.videoTag;
}

void setUpAudioEncoder(AVCodecContext* enc, const AVCodec* codec, const ConversionJob& job)
{
    enc->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    enc->sample_rate = nearestSampleRate(codec, job.sampleRate);
    av_channel_layout_default(&enc->ch_layout, job.channels);
    enc->bit_rate = int64_t(job.audioKbps) * 1000;
    enc->time_base = AVRational{1, enc->sample_rate};
}

QString reason(int code)
{
    return QString::fromStdString(av::errorText(code));
}

std::vector<av::Segment> segmentsOf(const QVector<MediaSegment>& list)
{
    std::vector<av::Segment> segments;
    for (const MediaSegment& segment : list)
        segments.push_back(
            {QFile::encodeName(segment.path).toStdString(), segment.start, segment.end});
    return segments;
}

} // namespace

namespace media {

QString sentence(const std::string& text)
{
    QString line = QString::fromStdString(text);
    if (!line.isEmpty())
        line[0] = line[0].toUpper();
    return line;
}

QString cannotConvert(const av::Source& source, bool picture, const std::string& why)
{
    return QString("The %1 of %2 cannot be converted: %3")
        .arg(picture ? "picture" : "sound", QFile::decodeName(source.path().c_str()),
             QString::fromStdString(why));
}

struct Transcoder::Output
{
    av::OutputPtr ctx;
    av::CodecPtr codec[2];
    AVStream* stream[2] = {nullptr, nullptr};
    av::PacketPtr packet = av::makePacket();
    av::FramePtr padded = av::makeFrame();
    int64_t nextPts[2] = {0, 0}; // encoder time base
    int64_t offset[2] = {0, 0};  // pts of the current piece's start
    int encodedFrames = 0;
    bool headerWritten = false;
};

Transcoder::Transcoder(const ConversionJob& job, const std::atomic<bool>& cancel, Progress progress)
    : m_job(job), m_cancel(cancel), m_progress(std::move(progress)), m_file(job.output)
{
}

Transcoder::~Transcoder()
{
    m_out.reset();
    // Only while the name still leads to the file we made: whatever someone put there
    // since stays.
    if (m_file && !m_file->kept())
        m_file->removeIfOurs();
}

Transcoder::Result Transcoder::fail(const QString& why, FailureKind kind)
{
    m_error = why;
    m_failureKind = kind;
    m_out.reset();
    return Result::Failed;
}

bool Transcoder::failWith(const QString& why, FailureKind kind)
{
    fail(why, kind);
    return false;
}

Transcoder::Result Transcoder::run()
{
    const std::vector<av::Segment> video = segmentsOf(m_job.videoSegments);
    const std::vector<av::Segment> audio = segmentsOf(m_job.audioSegments);
    const size_t pieces = av::pieceCount(video, audio);
    if (pieces == 0)
        return fail("Nothing to convert: no segment was added");

    av::TrackChoices choices;
    choices.audioTrack = m_job.audioTrack;
    choices.subtitleTrack = m_job.subtitleTrack;
    choices.subtitleFile = QFile::encodeName(m_job.subtitleFile).toStdString();
    bool withVideo = false;
    bool withAudio = false;
    QString leftOut; // why a stream asked for could not be decoded
    int sourceWidth = 0;
    int sourceHeight = 0;
    for (size_t i = 0; i < pieces; ++i) {
        auto piece = std::make_unique<av::Piece>(&m_cancel, choices);
        if (const av::Status opened =
                piece->open(av::pieceSegment(video, i), av::pieceSegment(audio, i));
            !opened)
            return fail(sentence(opened.error()), piece->refusedChoice()
                                                      ? FailureKind::Other
                                                      : FailureKind::SourceUnreadable);
        for (const auto& source : piece->sources()) {
            for (av::Source::Kind kind : {av::Source::Kind::Video, av::Source::Kind::Audio}) {
                if (!source->leftOut(kind).ok())
                    leftOut = QString::fromStdString(source->leftOut(kind).error());
            }
        }
        if (const av::Source* source = piece->videoSource()) {
            withVideo = true;
            if (sourceWidth == 0) {
                sourceWidth = source->displayWidth();
                sourceHeight = source->displayHeight();
            }
        }
        if (piece->audioSource())
            withAudio = true;
        m_total += piece->length();
        m_pieces.push_back(std::move(piece));
    }
    if (!withVideo && !withAudio)
        return fail(
            leftOut.isEmpty()
                ? QString("The source has no video or audio that can be decoded")
                : QString("The source has no video or audio that can be decoded (%1)").arg(leftOut),
            FailureKind::SourceUnreadable);
    if (m_cancel.load())
        return Result::Cancelled;
    if (!openOutput(withVideo, withAudio, sourceWidth, sourceHeight))
        return Result::Failed;

    double pieceStart = 0.0;
    for (size_t i = 0; i < pieces && !m_cancel.load(); ++i) {
        if (!convertPiece(i, pieceStart))
            return Result::Failed;
        pieceStart += m_pieces[i]->length();
    }
    if (!m_cancel.load() && m_out->encodedFrames == 0)
        return fail("Nothing in the source could be decoded", FailureKind::SourceUnreadable);
    if (m_cancel.load() && m_job.discard && m_job.discard->load())
        return Result::Cancelled; // not kept: the working file goes with m_file
    // A stopped conversion closes its file the same way, so that what is there plays.
    if (!finishFile())
        return Result::Failed;
    if (m_cancel.load())
        return Result::Cancelled;
    // Where the source ended before its length, the last report says how far it went.
    reportProgress(std::min(m_total, m_converted), true);
    return Result::Done;
}

bool Transcoder::finishFile()
{
    // The encoders give out what they hold, then the muxer writes its index.
    for (int kind : {kVideo, kAudio}) {
        if (m_out->codec[kind] && !encode(kind, nullptr))
            return false;
    }
    int rc = av_write_trailer(m_out->ctx.get());
    if (rc >= 0)
        rc = m_file->flush();
    if (rc < 0)
        return failWith(QString("Cannot write %1: %2").arg(m_job.outputPath, reason(rc)),
                        FailureKind::OutputUnwritable);
    m_out.reset();
    int error = 0;
    if (!m_file->keep(&error))
        return failWith(error == EEXIST ? sentence(av::outputTakenText(m_file->path()))
                                        : QString("Cannot name %1: %2")
                                              .arg(m_job.outputPath,
                                                   QString::fromLocal8Bit(std::strerror(error))),
                        FailureKind::OutputUnwritable);
    return true;
}

bool Transcoder::openOutput(bool withVideo, bool withAudio, int sourceWidth, int sourceHeight)
{
    if (!openMuxer())
        return false;
    if (withVideo && !openEncoder(kVideo, m_job.videoEncoder, sourceWidth, sourceHeight))
        return false;
    if (withAudio && !openEncoder(kAudio, m_job.audioEncoder, sourceWidth, sourceHeight))
        return false;

    AVFormatContext* ctx = m_out->ctx.get();
    if (!m_job.title.isEmpty())
        av_dict_set(&ctx->metadata, "title", m_job.title.toUtf8().constData(), 0);
    const int rc = avformat_write_header(ctx, nullptr);
    if (rc < 0) {
        fail(QString("Cannot write %1: %2").arg(m_job.outputPath, reason(rc)),
             FailureKind::OutputUnwritable);
        return false;
    }
    m_out->headerWritten = true;
    return true;
}

bool Transcoder::openMuxer()
{
    const QByteArray path = QFile::encodeName(m_job.outputPath);
    if (!m_file) {
        av::Status created;
        m_file = av::createOutput(path.toStdString(), &created);
        if (!m_file)
            return failWith(sentence(created.error()), FailureKind::OutputUnwritable);
    }
    m_out = std::make_unique<Output>();
    AVFormatContext* raw = nullptr;
    if (const int rc = avformat_alloc_output_context2(&raw, nullptr,
                                                      m_job.muxer.toUtf8().constData(), nullptr);
        rc < 0) {
        fail(QString("No muxer %1: %2").arg(m_job.muxer, reason(rc)));
        return false;
    }
    m_out->ctx.reset(raw);
    // Written only through the descriptor that made the file, never by its name again.
    if (const int rc = m_file->attach(raw); rc < 0) {
        fail(QString("Cannot write %1: %2").arg(m_job.outputPath, reason(rc)),
             FailureKind::OutputUnwritable);
        return false;
    }
    return true;
}

bool Transcoder::openEncoder(int kind, const QString& name, int sourceWidth, int sourceHeight)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(name.toUtf8().constData());
    if (!codec) {
        fail(QString("No encoder %1").arg(name));
        return false;
    }
    av::CodecPtr enc = av::makeCodec(codec);
    if (!enc) {
        fail(QString("Cannot start the %1 encoder: %2").arg(name, reason(AVERROR(ENOMEM))));
        return false;
    }
    if (kind == kVideo)
        setUpVideoEncoder(enc.get(), codec, m_job, sourceWidth, sourceHeight);
    else
        setUpAudioEncoder(enc.get(), codec, m_job);
    AVFormatContext* ctx = m_out->ctx.get();
    if (ctx->oformat->flags & AVFMT_GLOBALHEADER)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(enc.get(), codec, nullptr);
    if (rc < 0) {
        fail(QString("Cannot start the %1 encoder: %2").arg(name, reason(rc)));
        return false;
    }
    AVStream* stream = avformat_new_stream(ctx, nullptr);
    rc = stream ? avcodec_parameters_from_context(stream->codecpar, enc.get()) : AVERROR(ENOMEM);
    if (rc < 0) {
        fail(QString("Cannot write %1: %2").arg(m_job.outputPath, reason(rc)),
             FailureKind::OutputUnwritable);
        return false;
    }
    stream->time_base = enc->time_base;
    if (kind == kVideo) {
        stream->avg_frame_rate = enc->framerate;
        stream->r_frame_rate = enc->framerate;
    }
    if (m_job.videoTag && kind == kVideo)
        stream->codecpar->codec_tag = m_job.videoTag;
    m_out->stream[kind] = stream;
    m_out->codec[kind] = std::move(enc);
    return true;
}

bool Transcoder::convertPiece(size_t index, double pieceStart)
{
    Output& out = *m_out;
    av::Piece& piece = *m_pieces[index];
    if (!preparePiece(piece, pieceStart))
        return false;

    const int lead = out.codec[kVideo] ? kVideo : kAudio;
    av::FramePtr frame = av::makeFrame();
    // The encoders use one core: the piece is decoded and shaped beside them.
    av::ReadAhead reader(piece, kReadAhead);
    for (;;) {
        AVRational from{1, 1};
        av::Source* failed = nullptr;
        const av::Source::Kind kindRead = reader.next(frame.get(), &from, &failed);
        if (kindRead == av::Source::Kind::End) {
            // A file missing its picture or sound is no success.
            if (failed)
                return failWith(cannotConvert(*failed,
                                              failed->failedKind() == av::Source::Kind::Video,
                                              failed->failure().error()));
            return true;
        }
        const int kind = kindRead == av::Source::Kind::Video ? kVideo : kAudio;
        if (!out.codec[kind]) {
            av_frame_unref(frame.get());
            continue;
        }
        // A fixed-size sound encoder's short last frame would be padded with silence; between
        // pieces that silence would push the sound behind the picture, so only the last piece
        // keeps it.
        const AVCodecContext* enc = out.codec[kind].get();
        if (kind == kAudio && index + 1 < m_pieces.size() && enc->frame_size > 0 &&
            !(enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) &&
            frame->nb_samples < enc->frame_size) {
            av_frame_unref(frame.get());
            continue;
        }
        const AVRational to = out.codec[kind]->time_base;
        frame->pts = av_rescale_q(frame->pts, from, to) + out.offset[kind];
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        if (!encode(kind, frame.get()))
            return false;
        if (kind == lead) {
            m_converted = double(out.nextPts[kind]) * av_q2d(to);
            reportProgress(m_converted, false);
        }
    }
}

bool Transcoder::preparePiece(av::Piece& piece, double pieceStart)
{
    Output& out = *m_out;
    av::Source* videoSource = piece.videoSource();
    av::Source* audioSource = piece.audioSource();
    // The next piece starts where the longer stream of this one ended, so that sound and
    // picture stay together across pieces.
    for (int kind : {kVideo, kAudio}) {
        if (!out.codec[kind])
            continue;
        const int64_t planned = av_rescale_q(int64_t(std::llround(pieceStart * 1e6)),
                                             AVRational{1, 1000000}, out.codec[kind]->time_base);
        out.offset[kind] = std::max(out.nextPts[kind], planned);
    }
    if (videoSource && out.codec[kVideo]) {
        av::VideoShape shape;
        shape.width = out.codec[kVideo]->width;
        shape.height = out.codec[kVideo]->height;
        shape.pixelFormat = out.codec[kVideo]->pix_fmt;
        shape.frameRate = out.codec[kVideo]->framerate;
        shape.colorDepth = m_job.colorDepth;
        shape.threads = 1;
        if (const av::Status shaped = videoSource->setVideoShape(shape); !shaped)
            return failWith(cannotConvert(*videoSource, true, shaped.error()),
                            FailureKind::SourceUnreadable);
    }
    const AVCodecContext* audioCodec = out.codec[kAudio].get();
    if (audioSource && audioCodec) {
        av::AudioShape shape;
        shape.sampleRate = audioCodec->sample_rate;
        shape.channels = audioCodec->ch_layout.nb_channels;
        shape.sampleFormat = audioCodec->sample_fmt;
        shape.frameSize = (audioCodec->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE)
                              ? 0
                              : audioCodec->frame_size;
        shape.threads = 1;
        if (const av::Status shaped = audioSource->setAudioShape(shape); !shaped)
            return failWith(cannotConvert(*audioSource, false, shaped.error()),
                            FailureKind::SourceUnreadable);
    }
    return true;
}

bool Transcoder::encode(int kind, AVFrame* frame)
{
    Output& out = *m_out;
    AVCodecContext* enc = out.codec[kind].get();
    if (frame) {
        // Fixed-size audio encoders take a short frame only at the very end: fill it up
        // with silence.
        if (kind == kAudio && enc->frame_size > 0 &&
            !(enc->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) &&
            frame->nb_samples < enc->frame_size) {
            AVFrame* padded = out.padded.get();
            av_frame_unref(padded);
            padded->format = frame->format;
            padded->sample_rate = frame->sample_rate;
            padded->nb_samples = enc->frame_size;
            const int channels = enc->ch_layout.nb_channels;
            int rc = av_channel_layout_copy(&padded->ch_layout, &frame->ch_layout);
            if (rc >= 0)
                rc = av_frame_get_buffer(padded, 0);
            if (rc >= 0)
                rc = av_samples_set_silence(padded->extended_data, 0, padded->nb_samples, channels,
                                            enc->sample_fmt);
            if (rc >= 0)
                rc = av_samples_copy(padded->extended_data, frame->extended_data, 0, 0,
                                     frame->nb_samples, channels, enc->sample_fmt);
            if (rc < 0)
                return failWith(QString("Cannot fill up the last sound: %1").arg(reason(rc)));
            padded->pts = frame->pts;
            av_frame_unref(frame);
            frame = padded;
        }
        const int64_t span = kind == kVideo ? 1 : frame->nb_samples;
        out.nextPts[kind] = std::max(out.nextPts[kind], frame->pts + span);
        ++out.encodedFrames;
    }
    AVStream* stream = out.stream[kind];
    bool writeFailed = false;
    const av::Status encoded =
        av::encode(enc, frame, out.packet.get(), [&](AVPacket* packet) -> av::Status {
            av_packet_rescale_ts(packet, enc->time_base, stream->time_base);
            packet->stream_index = stream->index;
            int rc = av_interleaved_write_frame(out.ctx.get(), packet);
            if (rc >= 0 && out.ctx->pb && out.ctx->pb->error < 0)
                rc = out.ctx->pb->error;
            writeFailed = rc < 0;
            if (rc < 0)
                return av::Status::failure("cannot write " + m_job.outputPath.toStdString(), rc);
            return {};
        });
    if (frame)
        av_frame_unref(frame);
    if (!encoded)
        return failWith(sentence(encoded.error()),
                        writeFailed ? FailureKind::OutputUnwritable : FailureKind::EncoderStopped);
    return true;
}

void Transcoder::reportProgress(double position, bool force)
{
    position = std::clamp(position, m_reported, std::max(m_total, m_reported));
    if (!force && m_sinceReport.isValid() && m_sinceReport.elapsed() < kProgressIntervalMs)
        return;
    m_sinceReport.start();
    m_reported = position;
    if (m_progress)
        m_progress(position, m_total);
}

} // namespace media
