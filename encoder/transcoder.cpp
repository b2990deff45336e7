#include "encoder/transcoder.h"

#include "av/formatting.h"
#include "av/sourcefilters.h"
#include "encoder/console.h"
#include "encoder/encodeworker.h"
#include "encoder/levels.h"
#include "encoder/pipelineworker.h"
#include "encoder/protocol/encoderprotocol.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
}

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using av::even;
using av::format;

// ISO 8601 in UTC from the local date and time the command line gives.
std::string creationTime(const std::string& localTime)
{
    int64_t micros = 0;
    if (av_parse_time(&micros, localTime.c_str(), 0) < 0)
        return {};
    const time_t seconds = time_t(micros / 1000000);
    struct tm utc = {};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
    return text;
}

} // namespace

namespace encoder {

using namespace encoderprotocol;

Transcoder::Transcoder(EncoderOptions options) : m_options(std::move(options)) {}

Transcoder::~Transcoder()
{
    // Pipelines hold streams of both files: let them go before the files close. An
    // output that was not kept goes with m_file, if the name still leads to it.
    m_pipelines.clear();
    m_output.reset();
    m_file.reset();
}

bool Transcoder::failWith(const std::string& message)
{
    console::error(message);
    return false;
}

bool Transcoder::sourceFails(const std::string& message)
{
    m_sourceFailed = true;
    return failWith(message);
}

bool Transcoder::outputFails(const std::string& message)
{
    m_outputFailed = true;
    return failWith(message);
}

int Transcoder::run()
{
    // Said before the source is read; openOutput says it again should the name be
    // taken meanwhile. lstat: a link, even one leading nowhere, takes the name too.
    struct stat info = {};
    if (::lstat(m_options.outputPath.c_str(), &info) == 0)
        return failWith(av::outputTakenText(m_options.outputPath)), kExitOutputExists;
    if (!openInput() || !openOutput() || !convert()) {
        if (m_outputExists)
            return kExitOutputExists;
        // A write that failed beneath a pipeline is said as the pipeline's failure.
        if (m_outputFailed)
            return kExitOutputUnwritable;
        return m_sourceFailed ? kExitSourceUnreadable : kExitFailed;
    }
    // Only "q" asks for a short file: a signal from anyone else (a task manager, a
    // logout) leaves a file the user did not ask for, which goes.
    if (console::StopRequest::bySignal())
        return failWith("interrupted by a signal"), kExitInterrupted;
    int error = 0;
    if (!m_file->keep(&error))
        return error == EEXIST
                   ? (failWith(av::outputTakenText(m_options.outputPath)), kExitOutputExists)
                   : (outputFails("cannot name '" + m_options.outputPath +
                                  "': " + std::strerror(error)),
                      kExitOutputUnwritable);
    return 0;
}

bool Transcoder::openInput()
{
    const std::string& path = m_options.inputPath;
    av::SourceRequest request;
    request.path = path;
    request.start = m_options.start;
    request.length = m_options.length;
    request.audioTrack = m_options.audioTrack.value_or(0);
    request.subtitleTrack = m_options.subtitleTrack.value_or(0);
    request.subtitleFile = m_options.subtitleFile;
    if (const av::Status opened = m_source.open(request); !opened)
        return m_source.refusedChoice()
                   ? failWith("'" + path + "': " + opened.error())
                   : sourceFails("cannot read '" + path + "': " + opened.error());
    if (const av::Status& why = m_source.leftOut(av::Source::Kind::Video); !why.ok())
        console::note("the video is left out: " + why.error());
    if (const av::Status& why = m_source.leftOut(av::Source::Kind::Audio); !why.ok())
        console::note("the sound is left out: " + why.error());
    const bool leftOut = !m_source.leftOut(av::Source::Kind::Video).ok() ||
                         !m_source.leftOut(av::Source::Kind::Audio).ok();
    if (!m_source.hasVideo() && !m_source.hasAudio())
        return sourceFails(leftOut ? "'" + path + "' holds no stream that can be decoded"
                                   : "'" + path + "' holds neither video nor audio");
    const AVFormatContext* input = m_source.input();
    if (input->duration != AV_NOPTS_VALUE && !m_source.clockStartsOver() &&
        m_options.start >= input->duration / double(AV_TIME_BASE))
        return failWith(
            format("the start %.2f s lies beyond the end of '%s'", m_options.start, path.c_str()));
    if (m_source.hasVideo() && !setUpVideo(*m_source.video()))
        return false;
    if (m_source.hasAudio() && !setUpAudio(*m_source.audio()))
        return false;
    return true;
}

bool Transcoder::setUpVideo(av::DecodeStage& stage)
{
    const EncoderOptions& o = m_options;
    AVStream* stream = stage.stream();
    const AVCodecParameters* par = stream->codecpar;
    // A phone's picture is turned upright: a quarter turn swaps its sides.
    const bool sideways = av::upright(stream).swapsSides;
    const int width = o.width.value_or(even(sideways ? par->height : par->width));
    const int height = o.height.value_or(even(sideways ? par->width : par->height));
    AVRational frameRate = o.frameRateNum ? AVRational{*o.frameRateNum, *o.frameRateDen}
                                          : av_guess_frame_rate(m_source.input(), stream, nullptr);
    if (frameRate.num <= 0 || frameRate.den <= 0 || av_q2d(frameRate) > 120)
        frameRate = AVRational{25, 1};
    const double outputDar =
        o.aspectNum ? double(*o.aspectNum) / *o.aspectDen : m_source.displayAspect();
    const AVRational outputSar = av_d2q(outputDar * height / width, 1000);

    av::VideoShape shape;
    shape.width = width;
    shape.height = height;
    shape.displayAspect = outputDar;
    shape.frameRate = frameRate;
    shape.pixelFormat = AV_PIX_FMT_YUV420P;
    if (const av::Status shaped = m_source.setVideoShape(shape); !shaped)
        return sourceFails("cannot convert the picture of '" + m_options.inputPath +
                           "': " + shaped.error());

    const bool h264 = o.videoCodec == VideoCodec::H264;
    const AVCodec* codec =
        h264 ? avcodec_find_encoder_by_name("libx264") : avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec)
        return failWith(h264 ? "this system's FFmpeg has no libx264 encoder"
                             : "this system's FFmpeg has no MPEG-4 encoder");
    av::CodecPtr encoder = av::makeCodec(codec);
    if (!encoder)
        return failWith("cannot set up the video encoder: " + av::errorText(AVERROR(ENOMEM)));
    encoder->width = width;
    encoder->height = height;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->sample_aspect_ratio = outputSar;
    encoder->framerate = frameRate;
    encoder->time_base = av_inv_q(frameRate);
    encoder->bit_rate = int64_t(o.videoKbps) * 1000;
    encoder->gop_size = o.gop;
    encoder->max_b_frames = 0;
    encoder->thread_count = 0;
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

    av::Dictionary settings;
    if (!setVideoLevel(encoder.get(), h264, settings))
        return false;
    const int ret = avcodec_open2(encoder.get(), codec, settings.address());
    if (ret < 0)
        return failWith(std::string("cannot open the ") + codec->name +
                        " encoder: " + av::errorText(ret));

    m_pipelines.push_back(std::make_unique<StreamPipeline>(
        stage, std::move(encoder),
        [this](AVPacket* p, AVStream* s, AVRational tb) { return writePacket(p, s, tb); }));
    return true;
}

// The level that holds the picture, and for H.264 the Baseline profile's settings.
bool Transcoder::setVideoLevel(AVCodecContext* encoder, bool h264, av::Dictionary& settings)
{
    const EncoderOptions& o = m_options;
    const int width = encoder->width;
    const int height = encoder->height;
    const AVRational frameRate = encoder->framerate;
    const int bufferKbit = o.bufferKbit.value_or(o.videoKbps);
    StreamDemand demand{width, height, av_q2d(frameRate), o.videoKbps, bufferKbit};
    if (h264) {
        const int requested = o.level.value_or(13);
        const int level = h264LevelFor(demand, requested);
        if (o.level && level != requested)
            console::note(format(
                "H.264 level %s does not hold %dx%d at %.2f fps and %d kbit/s; using level %s",
                h264LevelName(requested).c_str(), width, height, av_q2d(frameRate), o.videoKbps,
                h264LevelName(level).c_str()));
        if (o.cabac)
            console::note("Baseline profile has no CABAC; using CAVLC");
        encoder->level = level;
        encoder->rc_max_rate = encoder->bit_rate;
        encoder->rc_buffer_size = bufferKbit * 1000;
        int ret = settings.set("profile", "baseline");
        if (ret >= 0)
            ret = settings.set("coder", "cavlc");
        if (ret < 0)
            return failWith("cannot set up the H.264 encoder: " + av::errorText(ret));
    } else {
        encoder->profile = FF_PROFILE_MPEG4_SIMPLE;
        encoder->level = mpeg4SimpleLevelFor(demand);
    }
    return true;
}

bool Transcoder::setUpAudio(av::DecodeStage& stage)
{
    const EncoderOptions& o = m_options;
    const AVCodecParameters* par = stage.stream()->codecpar;
    const int requestedRate =
        o.sampleRate.value_or(par->sample_rate > 0 ? par->sample_rate : 48000);
    const int rate = nearestAacSampleRate(requestedRate);
    if (o.sampleRate && rate != requestedRate)
        console::changed(format("AAC has no sample rate of %d Hz", requestedRate),
                         format("%d Hz", rate));
    const int channels = o.channels.value_or(std::clamp(par->ch_layout.nb_channels, 1, 2));

    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec)
        return failWith("this system's FFmpeg has no AAC encoder");
    av::CodecPtr encoder = av::makeCodec(codec);
    if (!encoder)
        return failWith("cannot set up the AAC encoder: " + av::errorText(AVERROR(ENOMEM)));
    encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    encoder->sample_rate = rate;
    av_channel_layout_default(&encoder->ch_layout, channels);
    encoder->bit_rate = int64_t(o.audioKbps) * 1000;
    encoder->profile = FF_PROFILE_AAC_LOW;
    encoder->time_base = AVRational{1, rate};
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int ret = avcodec_open2(encoder.get(), codec, nullptr);
    if (ret < 0)
        return failWith(std::string("cannot open the AAC encoder: ") + av::errorText(ret));

    av::AudioShape shape;
    shape.sampleRate = rate;
    shape.channels = channels;
    shape.sampleFormat = AV_SAMPLE_FMT_FLTP;
    shape.volume = o.volume / 256.0;
    if (!(encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
        shape.frameSize = encoder->frame_size;
    if (const av::Status shaped = m_source.setAudioShape(shape); !shaped)
        return sourceFails("cannot convert the sound of '" + m_options.inputPath +
                           "': " + shaped.error());

    m_pipelines.push_back(std::make_unique<StreamPipeline>(
        stage, std::move(encoder),
        [this](AVPacket* p, AVStream* s, AVRational tb) { return writePacket(p, s, tb); }));
    return true;
}

bool Transcoder::openOutput()
{
    const std::string& path = m_options.outputPath;
    // Made exclusively, so that a file that appeared since the first look is kept too,
    // and written only through the descriptor that made it.
    av::Status created;
    m_file = av::createOutput(path, &created);
    if (!m_file) {
        m_outputExists = created.code() == AVERROR(EEXIST);
        return m_outputExists ? failWith(created.error()) : outputFails(created.error());
    }
    // Every write counts as progress for a stop that has to wait for the file's end.
    m_file->setProgressStamp(console::StopRequest::progressStamp());

    AVFormatContext* output = nullptr;
    int ret = avformat_alloc_output_context2(&output, nullptr, "mp4", nullptr);
    if (ret < 0)
        return failWith("cannot set up the MP4 writer: " + av::errorText(ret));
    m_output.reset(output);
    if ((ret = m_file->attach(output)) < 0)
        return outputFails("cannot write '" + path + "': " + av::errorText(ret));
    for (auto& pipeline : m_pipelines) {
        AVStream* stream = avformat_new_stream(output, nullptr);
        if (!stream)
            return failWith("cannot add a stream to the output");
        AVCodecContext* encoder = pipeline->encoder();
        if ((ret = avcodec_parameters_from_context(stream->codecpar, encoder)) < 0)
            return failWith("cannot add a stream to the output: " + av::errorText(ret));
        stream->time_base = encoder->time_base;
        if (pipeline->isVideo()) {
            stream->avg_frame_rate = encoder->framerate;
            stream->sample_aspect_ratio = encoder->sample_aspect_ratio;
        }
        pipeline->setOutputStream(stream);
    }
    if (!m_options.title.empty() && ret >= 0)
        ret = av_dict_set(&output->metadata, "title", m_options.title.c_str(), 0);
    if (m_options.timestamp && ret >= 0) {
        const std::string created = creationTime(*m_options.timestamp);
        if (!created.empty())
            ret = av_dict_set(&output->metadata, "creation_time", created.c_str(), 0);
    }
    if (ret >= 0)
        ret = av_dict_set(&output->metadata, "encoder", "trelvo-encoder", 0);
    av::Dictionary muxerOptions;
    if (ret >= 0)
        ret = muxerOptions.set("movflags", "+faststart");
    if (ret >= 0)
        ret = avformat_write_header(output, muxerOptions.address());
    if (ret < 0)
        return outputFails("cannot write '" + path + "': " + av::errorText(ret));
    return true;
}

int Transcoder::writePacket(AVPacket* packet, AVStream* outStream, AVRational encoderTimeBase)
{
    av_packet_rescale_ts(packet, encoderTimeBase, outStream->time_base);
    packet->stream_index = outStream->index;
    ++m_packetsWritten;
    // The muxer may hold a packet's bytes a while before they reach the file.
    console::StopRequest::madeProgress();
    std::lock_guard lock(m_muxLock);
    const int ret = av_interleaved_write_frame(m_output.get(), packet);
    if (ret < 0)
        m_outputFailed = true;
    return ret;
}

int64_t Transcoder::bytesWritten() const
{
    std::lock_guard lock(m_muxLock);
    return m_output && m_output->pb ? std::max<int64_t>(0, avio_tell(m_output->pb)) : 0;
}

// What the file holds of every stream still running: the sound, on its own thread, runs
// ahead of the picture that the encoder's look-ahead holds back.
double Transcoder::reachedSeconds() const
{
    double running = -1.0, ended = 0.0;
    for (const auto& pipeline : m_pipelines) {
        const double seconds = pipeline->reachedSeconds();
        if (pipeline->outputEnded())
            ended = std::max(ended, seconds);
        else
            running = running < 0 ? seconds : std::min(running, seconds);
    }
    return running < 0 ? ended : running;
}

int64_t Transcoder::framesEncoded() const
{
    for (const auto& pipeline : m_pipelines) {
        if (pipeline->isVideo())
            return pipeline->framesEncoded();
    }
    return m_pipelines.empty() ? 0 : m_pipelines.front()->framesEncoded();
}

bool Transcoder::convert()
{
    console::ProgressReporter progress;
    progress.report(0, bytesWritten(), 0.0, true);
    // With picture and sound, the sound runs on a thread of its own.
    std::unique_ptr<PipelineWorker> worker;
    if (m_pipelines.size() > 1)
        worker = std::make_unique<PipelineWorker>(*m_pipelines.back());
    // The picture's encoder takes one picture while the next ones are decoded and scaled.
    std::unique_ptr<EncodeWorker> encodeAhead;
    if (!m_pipelines.empty() && m_pipelines.front()->isVideo())
        encodeAhead = std::make_unique<EncodeWorker>(*m_pipelines.front());
    av::PacketPtr packet = av::makePacket();
    bool stopped = false;
    for (;;) {
        if (console::StopRequest::requested()) {
            stopped = true;
            break;
        }
        bool allEnded = true;
        for (const auto& pipeline : m_pipelines)
            allEnded = allEnded && pipeline->outputEnded();
        if (allEnded || (worker && worker->failed()))
            break;
        av::DecodeStage* stage = m_source.read(packet.get());
        if (!stage) {
            if (!m_source.readFailure().ok())
                console::note("the source ends early (" + m_source.readFailure().error() +
                              "); keeping what was read");
            break;
        }
        for (const auto& pipeline : m_pipelines) {
            if (&pipeline->stage() != stage)
                continue;
            if (worker && &worker->pipeline() == pipeline.get())
                worker->push(packet.get());
            else if (pipeline->sendPacket(packet.get()) < 0)
                return failWith(pipeline->failure());
            break;
        }
        av_packet_unref(packet.get());
        progress.report(framesEncoded(), bytesWritten(), reachedSeconds());
    }
    if (worker && worker->finish() < 0)
        return failWith(worker->pipeline().failure());
    for (const auto& pipeline : m_pipelines) {
        if ((!worker || &worker->pipeline() != pipeline.get()) && pipeline->finish() < 0)
            return failWith(pipeline->failure());
    }
    int64_t damaged = 0;
    for (const auto& pipeline : m_pipelines)
        damaged += pipeline->damagedPackets();
    if (damaged > 0)
        console::note(format("%lld damaged packets of the source were skipped",
                             static_cast<long long>(damaged)));
    if (m_packetsWritten == 0 && stopped)
        return failWith("stopped before anything of '" + m_options.inputPath + "' was converted");
    if (m_packetsWritten == 0)
        return sourceFails("nothing could be decoded from '" + m_options.inputPath +
                           "' in the chosen range");

    int ret = av_write_trailer(m_output.get());
    if (ret >= 0)
        ret = m_file->flush();
    if (ret < 0)
        return outputFails("cannot finish '" + m_options.outputPath + "': " + av::errorText(ret));
    progress.report(framesEncoded(), std::max<int64_t>(0, m_file->size()), reachedSeconds(), true);
    if (stopped && !console::StopRequest::bySignal())
        console::note("stopped on request; the file holds what was converted so far");
    return true;
}

} // namespace encoder
