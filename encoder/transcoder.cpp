#include "transcoder.h"

#include "console.h"
#include "input.h"
#include "levels.h"
#include "pipelineworker.h"
#include "sourcefilters.h"

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

std::string format(const char* pattern, auto... values)
{
    char text[512];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

int even(double value)
{
    return std::max(2, int(std::lround(value / 2.0)) * 2);
}

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
        return failWith("output file '" + m_options.outputPath + "' exists; it is not replaced"),
               kOutputExists;
    if (!openInput() || !openOutput() || !seekToStart() || !convert()) {
        if (m_outputExists)
            return kOutputExists;
        // A write that failed beneath a pipeline is said as the pipeline's failure.
        if (m_outputFailed)
            return kOutputUnwritable;
        return m_sourceFailed ? kSourceUnreadable : kFailed;
    }
    m_file->keep();
    return 0;
}

bool Transcoder::openInput()
{
    const std::string& path = m_options.inputPath;
    std::string why;
    m_input = av::openInput(path, &why);
    if (!m_input)
        return sourceFails("cannot read '" + path + "': " + why);
    AVFormatContext* input = m_input.get();
    if (const av::Status read = av::readStreamInfo(input); !read)
        return sourceFails("cannot read '" + path + "': " + read.error());
    if (input->start_time != AV_NOPTS_VALUE)
        m_inputStart = input->start_time / double(AV_TIME_BASE);

    av::StreamChoice streams = av::chooseStreams(input);
    if (m_options.audioTrack) {
        if (const av::Status chosen =
                av::audioTrackStream(input, *m_options.audioTrack, &streams.audio);
            !chosen)
            return failWith("'" + path + "': " + chosen.error());
    }
    if (const av::Status drawn =
            av::subtitlesChain(input, path, m_options.subtitleTrack.value_or(0),
                               m_options.subtitleFile, &m_subtitlesChain);
        !drawn)
        return failWith("'" + path + "': " + drawn.error());
    if (streams.video < 0 && streams.audio < 0)
        return sourceFails("'" + path + "' holds neither video nor audio");
    if (streams.video >= 0 && !setUpVideo(input->streams[streams.video]))
        return false;
    if (streams.audio >= 0 && !setUpAudio(input->streams[streams.audio]))
        return false;
    if (m_pipelines.empty())
        return sourceFails("'" + path + "' holds no stream that can be decoded");
    if (input->duration != AV_NOPTS_VALUE &&
        m_options.start >= input->duration / double(AV_TIME_BASE))
        return failWith(
            format("the start %.2f s lies beyond the end of '%s'", m_options.start, path.c_str()));
    return true;
}

// Trim and time shift, the same for both streams so that they stay in step.
static std::string trimFilters(const char* prefix, double start, std::optional<double> length)
{
    std::string chain;
    if (start > 0 || length)
        chain += format("%strim=start=%.6f", prefix, start);
    if (length)
        chain += format(":end=%.6f", start + *length);
    if (!chain.empty())
        chain += ",";
    chain += format("%ssetpts=PTS-%.6f/TB", prefix[0] ? "a" : "", start);
    return chain;
}

bool Transcoder::setUpVideo(AVStream* stream)
{
    std::string problem;
    av::CodecPtr decoder = av::openDecoder(stream, &problem);
    if (!decoder) {
        console::note("the video is left out: " + problem);
        return true;
    }
    const EncoderOptions& o = m_options;
    const AVCodecParameters* par = stream->codecpar;
    AVRational sourceSar = av_guess_sample_aspect_ratio(m_input.get(), stream, nullptr);
    if (sourceSar.num <= 0 || sourceSar.den <= 0)
        sourceSar = AVRational{1, 1};
    const double sourceDar = av::uprightAspect(stream, sourceSar);

    const bool sideways = av::upright(stream).swapsSides;
    const int width = o.width.value_or(even(sideways ? par->height : par->width));
    const int height = o.height.value_or(even(sideways ? par->width : par->height));
    AVRational frameRate = o.frameRateNum ? AVRational{*o.frameRateNum, *o.frameRateDen}
                                          : av_guess_frame_rate(m_input.get(), stream, nullptr);
    if (frameRate.num <= 0 || frameRate.den <= 0 || av_q2d(frameRate) > 120)
        frameRate = AVRational{25, 1};
    const double outputDar = o.aspectNum ? double(*o.aspectNum) / *o.aspectDen : sourceDar;
    const AVRational outputSar = av_d2q(outputDar * height / width, 1000);

    // Fit the picture into the frame without distortion; bars fill the rest.
    int pictureWidth = width, pictureHeight = height;
    const double pixelAspect = av_q2d(outputSar);
    if (sourceDar > outputDar * 1.01)
        pictureHeight = std::min(height, even(width * pixelAspect / sourceDar));
    else if (sourceDar < outputDar / 1.01)
        pictureWidth = std::min(width, even(height * sourceDar / pixelAspect));

    // Interlaced sources (DVD, camcorders) would comb once scaled down; a phone's
    // picture is turned upright before it is fitted; deep and HDR pictures come down to
    // 8 bits once small.
    std::string chain = av::joinChains(
        {m_subtitlesChain, trimFilters("", m_inputStart + o.start, o.length),
         av::deinterlaceChain(m_options.inputPath, stream), av::upright(stream).chain});
    chain += format(",scale=%d:%d", pictureWidth, pictureHeight);
    if (const std::string eightBit = av::eightBitChain(par); !eightBit.empty())
        chain += "," + eightBit;
    if (pictureWidth != width || pictureHeight != height)
        chain += format(",pad=%d:%d:%d:%d:black", width, height, ((width - pictureWidth) / 2) & ~1,
                        ((height - pictureHeight) / 2) & ~1);
    chain += format(",setsar=%d/%d,fps=fps=%d/%d:start_time=0", outputSar.num, outputSar.den,
                    frameRate.num, frameRate.den);
    if (o.length)
        chain += format(",trim=end=%.6f", *o.length);

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

    const int bufferKbit = o.bufferKbit.value_or(o.videoKbps);
    StreamDemand demand{width, height, av_q2d(frameRate), o.videoKbps, bufferKbit};
    av::Dictionary settings;
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
    const int ret = avcodec_open2(encoder.get(), codec, settings.address());
    if (ret < 0)
        return failWith(std::string("cannot open the ") + codec->name +
                        " encoder: " + av::errorText(ret));

    m_pipelines.push_back(std::make_unique<StreamPipeline>(
        stream, std::move(decoder), std::move(encoder), chain,
        [this](AVPacket* p, AVStream* s, AVRational tb) { return writePacket(p, s, tb); }));
    return true;
}

bool Transcoder::setUpAudio(AVStream* stream)
{
    std::string problem;
    av::CodecPtr decoder = av::openDecoder(stream, &problem);
    if (!decoder) {
        console::note("the sound is left out: " + problem);
        return true;
    }
    const EncoderOptions& o = m_options;
    const AVCodecParameters* par = stream->codecpar;
    const int requestedRate =
        o.sampleRate.value_or(par->sample_rate > 0 ? par->sample_rate : 48000);
    const int rate = nearestAacSampleRate(requestedRate);
    if (o.sampleRate && rate != requestedRate)
        console::note(format("AAC has no sample rate of %d Hz; using %d Hz", requestedRate, rate));
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

    std::string chain = trimFilters("a", m_inputStart + o.start, o.length);
    // The centre's dialogue is kept when surround is folded down.
    if (const std::string downmix = av::stereoDownmixChain(par->ch_layout); !downmix.empty())
        chain += "," + downmix;
    if (o.volume != 256)
        chain += format(",volume=%.6f", o.volume / 256.0);
    const std::string layoutName = av::channelLayoutName(encoder->ch_layout);
    // async fills a late start with silence and keeps the sound on the clock.
    chain += format(",aresample=%d:async=1:min_hard_comp=0.1:first_pts=0,aformat=sample_fmts=fltp:"
                    "sample_rates=%d:channel_layouts=%s",
                    rate, rate, layoutName.c_str());
    if (o.length)
        chain += format(",atrim=end=%.6f", *o.length);

    m_pipelines.push_back(std::make_unique<StreamPipeline>(
        stream, std::move(decoder), std::move(encoder), chain,
        [this](AVPacket* p, AVStream* s, AVRational tb) { return writePacket(p, s, tb); }));
    return true;
}

bool Transcoder::openOutput()
{
    const std::string& path = m_options.outputPath;
    // Made exclusively, so that a file that appeared since the first look is kept too,
    // and written only through the descriptor that made it.
    int error = 0;
    m_file = trelvo::ExclusiveOutput::create(path, &error);
    if (!m_file) {
        m_outputExists = error == EEXIST;
        if (m_outputExists)
            return failWith("output file '" + path + "' exists; it is not replaced");
        return outputFails("cannot create '" + path + "': " + std::strerror(error));
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

bool Transcoder::seekToStart()
{
    if (m_options.start <= 0)
        return true;
    // Land on a key frame a little before the start; the trim filters drop the rest.
    const double target = std::max(m_inputStart, m_inputStart + m_options.start - 1.0);
    const int64_t ts = int64_t(target * AV_TIME_BASE);
    if (avformat_seek_file(m_input.get(), -1, INT64_MIN, ts, ts, 0) < 0) {
        // Without a seek the frames before the start are decoded and dropped. Should this
        // one fail too, reading goes on from where it is, which the trim copes with.
        avformat_seek_file(m_input.get(), -1, INT64_MIN, int64_t(m_inputStart * AV_TIME_BASE),
                           INT64_MAX, 0);
    }
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
        int ret = av_read_frame(m_input.get(), packet.get());
        if (ret == AVERROR(EAGAIN)) {
            ::usleep(10000);
            continue;
        }
        if (ret < 0) {
            if (ret != AVERROR_EOF)
                console::note("the source ends early (" + av::errorText(ret) +
                              "); keeping what was read");
            break;
        }
        for (const auto& pipeline : m_pipelines) {
            if (pipeline->inputStream()->index != packet->stream_index)
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
    if (stopped)
        console::note("stopped on request; the file holds what was converted so far");
    return true;
}
