#include "av/input.h"

#include <algorithm>
#include <sys/stat.h>

namespace av {

namespace {

template <class T> T failWith(Status* status, Status why)
{
    if (status)
        *status = std::move(why);
    return T();
}

} // namespace

InputPtr openInput(const std::string& path, Status* error)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) == 0 &&
        (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) || S_ISCHR(info.st_mode)))
        return failWith<InputPtr>(error, Status::failure("it is a pipe or a device, not a file"));
    AVFormatContext* ctx = nullptr;
    const int rc = avformat_open_input(&ctx, ("file:" + path).c_str(), nullptr, nullptr);
    if (rc < 0) // FFmpeg has freed the context then
        return failWith<InputPtr>(error, Status::failure(rc));
    return InputPtr(ctx);
}

Status readStreamInfo(AVFormatContext* input)
{
    const int rc = avformat_find_stream_info(input, nullptr);
    if (rc < 0)
        return Status::failure(rc);
    return {};
}

StreamChoice chooseStreams(AVFormatContext* input)
{
    StreamChoice choice;
    choice.video = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    // The best "video" of a sound file with a cover is the cover: there is no other.
    if (choice.video >= 0 &&
        (input->streams[choice.video]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        choice.video = -1;
    choice.video = std::max(choice.video, -1);
    choice.audio =
        std::max(av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, choice.video, nullptr, 0), -1);
    return choice;
}

CodecPtr openDecoder(const AVStream* stream, Status* error)
{
    const AVCodecParameters* par = stream->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec)
        return failWith<CodecPtr>(error, Status::failure(std::string("no decoder for ") +
                                                         avcodec_get_name(par->codec_id)));
    CodecPtr decoder = makeCodec(codec);
    if (!decoder)
        return failWith<CodecPtr>(error, Status::failure(AVERROR(ENOMEM)));
    int rc = avcodec_parameters_to_context(decoder.get(), par);
    if (rc < 0)
        return failWith<CodecPtr>(
            error,
            Status::failure(std::string("cannot set up the ") + codec->name + " decoder", rc));
    decoder->pkt_timebase = stream->time_base;
    decoder->thread_count = 0;
    rc = avcodec_open2(decoder.get(), codec, nullptr);
    if (rc < 0)
        return failWith<CodecPtr>(
            error, Status::failure(std::string("cannot open the ") + codec->name + " decoder", rc));
    return decoder;
}

} // namespace av
