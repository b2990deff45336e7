#include "av/sourcefilters.h"

#include "av/filtergraph.h"
#include "av/input.h"

extern "C" {
#include <libavutil/avstring.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sys/stat.h>

namespace av {

namespace {

std::string tag(const AVDictionary* metadata, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    return entry && entry->value ? entry->value : "";
}

// The stream's display matrix, or null.
const int32_t* displayMatrix(const AVStream* stream)
{
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return data && size >= 9 * sizeof(int32_t) ? reinterpret_cast<const int32_t*>(data) : nullptr;
}

int quarterTurn(double degrees)
{
    const double turned = std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0);
    for (const int quarter : {0, 90, 180, 270, 360})
        if (std::fabs(turned - quarter) < 1.0)
            return quarter % 360;
    return -1;
}

} // namespace

Upright upright(const AVStream* stream)
{
    Upright result;
    const int32_t* matrix = displayMatrix(stream);
    int degrees = 0;
    if (matrix) {
        // The matrix turns counter-clockwise; the picture has to turn clockwise.
        const double angle = av_display_rotation_get(matrix);
        if (std::isnan(angle))
            return result;
        degrees = quarterTurn(-angle);
    } else {
        const std::string rotate = tag(stream->metadata, "rotate");
        if (rotate.empty())
            return result;
        degrees = quarterTurn(std::strtod(rotate.c_str(), nullptr));
    }
    if (degrees < 0)
        return result;
    result.degrees = degrees;
    // A mirrored matrix has a positive determinant in its upper 2x2 once turned; the
    // same tests as FFmpeg's own player.
    switch (degrees) {
    case 90:
        result.chain = matrix && matrix[3] > 0 ? "transpose=cclock_flip" : "transpose=clock";
        result.swapsSides = true;
        break;
    case 180:
        if (!matrix || matrix[0] < 0)
            result.chain = "hflip";
        if (!matrix || matrix[4] < 0)
            result.chain += result.chain.empty() ? "vflip" : ",vflip";
        break;
    case 270:
        result.chain = matrix && matrix[3] < 0 ? "transpose=clock_flip" : "transpose=cclock";
        result.swapsSides = true;
        break;
    default:
        if (matrix && matrix[4] < 0)
            result.chain = "vflip";
        else if (matrix && matrix[0] < 0)
            result.chain = "hflip";
        break;
    }
    return result;
}

double uprightAspect(const AVStream* stream, AVRational sampleAspect)
{
    const AVCodecParameters* par = stream->codecpar;
    double sar = av_q2d(sampleAspect);
    if (!(sar > 0))
        sar = 1.0;
    const double aspect = par->width * sar / std::max(1, par->height);
    return upright(stream).swapsSides && aspect > 0 ? 1.0 / aspect : aspect;
}

bool isHdr(const AVCodecParameters* par)
{
    return par->color_trc == AVCOL_TRC_SMPTE2084 || par->color_trc == AVCOL_TRC_ARIB_STD_B67;
}

std::string eightBitChain(const AVCodecParameters* par)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(par->format));
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) ||
        desc->nb_components < 3)
        return {};
    const bool deep = desc->comp[0].depth > 8;
    const bool fullChroma = desc->log2_chroma_w != 1 || desc->log2_chroma_h != 1;
    if (isHdr(par)) {
        // Light made linear, tone-mapped in BT.709 primaries, then back to video levels,
        // dithered down to 8 bits. The source's colours are named where the stream
        // leaves them out, or zscale finds no way between them.
        const char* transfer = par->color_trc == AVCOL_TRC_SMPTE2084 ? "smpte2084" : "arib-std-b67";
        const char* range = par->color_range == AVCOL_RANGE_JPEG ? "full" : "limited";
        return std::string("zscale=tin=") + transfer + ":min=2020_ncl:pin=2020:rin=" + range +
               ":t=linear:p=2020:npl=100,format=gbrpf32le,zscale=tin=linear:pin=2020:t=linear:"
               "p=709:npl=100,tonemap=tonemap=hable:desat=0,zscale=tin=linear:pin=709:t=709:"
               "m=709:p=709:r=limited:d=error_diffusion,format=yuv420p";
    }
    if (!deep && !fullChroma)
        return {};
    if (!deep) // 8-bit 4:2:2 or 4:4:4: halving the chroma needs no dithering
        return "format=yuv420p";
    return "zscale=d=error_diffusion,format=yuv420p";
}

bool mayBeInterlacedUnflagged(const AVStream* stream)
{
    const AVCodecParameters* par = stream->codecpar;
    if (par->field_order != AV_FIELD_UNKNOWN)
        return false;
    switch (par->codec_id) {
    case AV_CODEC_ID_MPEG2VIDEO:
    case AV_CODEC_ID_H264:
    case AV_CODEC_ID_VC1:
    case AV_CODEC_ID_MPEG4:
    case AV_CODEC_ID_DVVIDEO:
    case AV_CODEC_ID_MJPEG:
        break;
    default:
        return false;
    }
    // The line counts of standard and high definition television.
    return par->height >= 480 && par->height <= 1088;
}

bool detectInterlace(const std::string& path, int streamIndex, double seconds)
{
    InputPtr input = openInput(path, nullptr);
    if (!input || !readStreamInfo(input.get()) || streamIndex < 0 ||
        unsigned(streamIndex) >= input->nb_streams)
        return false;
    AVStream* stream = input->streams[streamIndex];
    CodecPtr decoder = openDecoder(stream, nullptr);
    PacketPtr packet = makePacket();
    FramePtr frame = makeFrame();
    FramePtr judged = makeFrame();
    if (!decoder || !packet || !frame || !judged)
        return false;
    const int limit = std::max(10, int(seconds * std::max(1.0, av_q2d(stream->avg_frame_rate))));
    FilterGraph graph;
    int frames = 0;
    long topFirst = 0, bottomFirst = 0, progressive = 0;
    auto take = [&]() {
        while (graph.receive(judged.get()) == FilterGraph::Flow::Frame) {
            const AVDictionary* meta = judged->metadata;
            topFirst = std::atol(tag(meta, "lavfi.idet.multiple.tff").c_str());
            bottomFirst = std::atol(tag(meta, "lavfi.idet.multiple.bff").c_str());
            progressive = std::atol(tag(meta, "lavfi.idet.multiple.progressive").c_str());
            av_frame_unref(judged.get());
        }
    };
    auto feed = [&]() -> bool {
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            if (!graph.built() &&
                !graph.build(AVMEDIA_TYPE_VIDEO, *frame, stream->time_base, "idet", {}))
                return false;
            if (!graph.fits(*frame) || !graph.add(frame.get(), 1))
                return false;
            av_frame_unref(frame.get());
            take();
            if (++frames >= limit)
                return false;
        }
        return true;
    };
    bool going = true;
    while (going && av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == streamIndex)
            going = avcodec_send_packet(decoder.get(), packet.get()) >= 0 && feed();
        av_packet_unref(packet.get());
    }
    if (going && avcodec_send_packet(decoder.get(), nullptr) >= 0)
        feed();
    // Woven pictures read as interlaced nearly every time, and in one field order. Sharp
    // edges moving over progressive pictures (titles, animation, test patterns) fool the
    // detector often enough, in either order, to be taken for weaving by a looser rule;
    // deinterlacing those would cost time and blur them.
    const long interlaced = topFirst + bottomFirst;
    return interlaced >= 5 && progressive * 20 <= interlaced &&
           std::max(topFirst, bottomFirst) * 10 >= interlaced * 9;
}

std::string deinterlaceChain(const std::string& path, const AVStream* stream)
{
    const AVFieldOrder order = stream->codecpar->field_order;
    if (order != AV_FIELD_UNKNOWN && order != AV_FIELD_PROGRESSIVE)
        return "yadif=deint=interlaced";
    if (!mayBeInterlacedUnflagged(stream))
        return {};
    // The preview opens a file again at every seek: the answer is kept per file, as long
    // as its size and time stay the same.
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    const std::string key =
        path + '\n' + std::to_string(stream->index) + '\n' + std::to_string(info.st_size) + '\n' +
        std::to_string(info.st_mtim.tv_sec) + '.' + std::to_string(info.st_mtim.tv_nsec);
    static std::mutex mutex;
    static std::map<std::string, bool> known;
    {
        std::lock_guard lock(mutex);
        if (const auto found = known.find(key); found != known.end())
            return found->second ? "yadif=deint=all" : "";
    }
    const bool woven = detectInterlace(path, stream->index);
    std::lock_guard lock(mutex);
    if (known.size() > 256)
        known.clear();
    known[key] = woven;
    // Unflagged pictures are all woven alike: every one is deinterlaced.
    return woven ? "yadif=deint=all" : "";
}

std::string stereoDownmixChain(const AVChannelLayout& layout)
{
    if (layout.nb_channels <= 2)
        return {};
    AVChannelLayout named = {};
    if (layout.order == AV_CHANNEL_ORDER_NATIVE || layout.order == AV_CHANNEL_ORDER_CUSTOM)
        av_channel_layout_copy(&named, &layout);
    else
        av_channel_layout_default(&named, layout.nb_channels);
    constexpr double kMinus3dB = 0.7071;
    std::string left, right;
    auto add = [](std::string& side, const char* name, double gain) {
        if (!side.empty())
            side += "+";
        if (gain != 1.0) {
            char factor[16];
            std::snprintf(factor, sizeof factor, "%.4f*", gain);
            side += factor;
        }
        side += name;
    };
    for (int i = 0; i < named.nb_channels; ++i) {
        const AVChannel channel = av_channel_layout_channel_from_index(&named, unsigned(i));
        char name[32];
        if (av_channel_name(name, sizeof name, channel) < 0)
            continue;
        switch (channel) {
        case AV_CHAN_FRONT_LEFT:
            add(left, name, 1.0);
            break;
        case AV_CHAN_FRONT_RIGHT:
            add(right, name, 1.0);
            break;
        case AV_CHAN_FRONT_CENTER:
            add(left, name, kMinus3dB);
            add(right, name, kMinus3dB);
            break;
        case AV_CHAN_BACK_CENTER:
        case AV_CHAN_TOP_CENTER:
            add(left, name, 0.5);
            add(right, name, 0.5);
            break;
        case AV_CHAN_FRONT_LEFT_OF_CENTER:
        case AV_CHAN_SIDE_LEFT:
        case AV_CHAN_BACK_LEFT:
        case AV_CHAN_WIDE_LEFT:
        case AV_CHAN_TOP_FRONT_LEFT:
        case AV_CHAN_TOP_BACK_LEFT:
        case AV_CHAN_TOP_SIDE_LEFT:
            add(left, name, kMinus3dB);
            break;
        case AV_CHAN_FRONT_RIGHT_OF_CENTER:
        case AV_CHAN_SIDE_RIGHT:
        case AV_CHAN_BACK_RIGHT:
        case AV_CHAN_WIDE_RIGHT:
        case AV_CHAN_TOP_FRONT_RIGHT:
        case AV_CHAN_TOP_BACK_RIGHT:
        case AV_CHAN_TOP_SIDE_RIGHT:
            add(right, name, kMinus3dB);
            break;
        default: // the low-frequency channels, and channels without a place
            break;
        }
    }
    av_channel_layout_uninit(&named);
    if (left.empty() || right.empty())
        return {}; // no front pair: the resampler's own matrix decides
    return "pan=stereo|FL=" + left + "|FR=" + right;
}

namespace {

const struct
{
    const char* tags[3];
    const char* name;
} kLanguages[] = {
    {{"eng", "en"}, "English"},
    {{"fre", "fra", "fr"}, "French"},
    {{"ger", "deu", "de"}, "German"},
    {{"spa", "es"}, "Spanish"},
    {{"ita", "it"}, "Italian"},
    {{"por", "pt"}, "Portuguese"},
    {{"dut", "nld", "nl"}, "Dutch"},
    {{"swe", "sv"}, "Swedish"},
    {{"nor", "nob", "no"}, "Norwegian"},
    {{"dan", "da"}, "Danish"},
    {{"fin", "fi"}, "Finnish"},
    {{"pol", "pl"}, "Polish"},
    {{"cze", "ces", "cs"}, "Czech"},
    {{"hun", "hu"}, "Hungarian"},
    {{"gre", "ell", "el"}, "Greek"},
    {{"tur", "tr"}, "Turkish"},
    {{"rus", "ru"}, "Russian"},
    {{"ukr", "uk"}, "Ukrainian"},
    {{"jpn", "ja"}, "Japanese"},
    {{"chi", "zho", "zh"}, "Chinese"},
    {{"kor", "ko"}, "Korean"},
    {{"ara", "ar"}, "Arabic"},
    {{"heb", "he"}, "Hebrew"},
    {{"hin", "hi"}, "Hindi"},
    {{"tha", "th"}, "Thai"},
    {{"vie", "vi"}, "Vietnamese"},
};

std::string codecLabel(AVCodecID id)
{
    switch (id) {
    case AV_CODEC_ID_AC3:
        return "AC-3";
    case AV_CODEC_ID_EAC3:
        return "E-AC-3";
    case AV_CODEC_ID_DTS:
        return "DTS";
    case AV_CODEC_ID_TRUEHD:
        return "TrueHD";
    case AV_CODEC_ID_AAC:
        return "AAC";
    case AV_CODEC_ID_MP3:
        return "MP3";
    case AV_CODEC_ID_MP2:
        return "MP2";
    case AV_CODEC_ID_OPUS:
        return "Opus";
    case AV_CODEC_ID_VORBIS:
        return "Vorbis";
    case AV_CODEC_ID_FLAC:
        return "FLAC";
    case AV_CODEC_ID_SUBRIP:
    case AV_CODEC_ID_TEXT:
        return "SRT";
    case AV_CODEC_ID_ASS:
    case AV_CODEC_ID_SSA:
        return "ASS";
    case AV_CODEC_ID_MOV_TEXT:
        return "Timed Text";
    case AV_CODEC_ID_WEBVTT:
        return "WebVTT";
    case AV_CODEC_ID_HDMV_PGS_SUBTITLE:
        return "PGS";
    case AV_CODEC_ID_DVD_SUBTITLE:
        return "VobSub";
    case AV_CODEC_ID_DVB_SUBTITLE:
        return "DVB";
    default:
        break;
    }
    const AVCodecDescriptor* desc = avcodec_descriptor_get(id);
    if (desc && std::strncmp(desc->name, "pcm_", 4) == 0)
        return "PCM";
    return desc ? desc->name : "unknown";
}

std::string channelsLabel(int channels)
{
    switch (channels) {
    case 0:
        return {};
    case 1:
        return "mono";
    case 2:
        return "stereo";
    case 6:
        return "5.1";
    case 7:
        return "6.1";
    case 8:
        return "7.1";
    default:
        return std::to_string(channels) + " channels";
    }
}

} // namespace

std::string languageName(const std::string& tagText)
{
    std::string lower;
    for (const char c : tagText)
        lower += char(std::tolower(static_cast<unsigned char>(c)));
    if (lower.empty() || lower == "und")
        return {};
    for (const auto& language : kLanguages)
        for (const char* candidate : language.tags)
            if (candidate && lower == candidate)
                return language.name;
    return tagText;
}

std::vector<Track> listTracks(const AVFormatContext* input, AVMediaType type)
{
    std::vector<Track> tracks;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (stream->codecpar->codec_type != type ||
            (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            continue;
        Track track;
        track.streamIndex = int(i);
        track.number = int(tracks.size()) + 1;
        track.language = tag(stream->metadata, "language");
        track.title = tag(stream->metadata, "title");
        track.codec = avcodec_get_name(stream->codecpar->codec_id);
        track.channels = type == AVMEDIA_TYPE_AUDIO ? stream->codecpar->ch_layout.nb_channels : 0;
        track.isDefault = stream->disposition & AV_DISPOSITION_DEFAULT;
        track.forced = stream->disposition & AV_DISPOSITION_FORCED;
        const AVCodecDescriptor* desc = avcodec_descriptor_get(stream->codecpar->codec_id);
        track.text = desc && (desc->props & AV_CODEC_PROP_TEXT_SUB);
        tracks.push_back(std::move(track));
    }
    return tracks;
}

std::string trackLabel(const Track& track)
{
    std::string label = std::to_string(track.number) + ": ";
    const std::string language = languageName(track.language);
    if (!language.empty())
        label += language + ", ";
    if (!track.title.empty())
        label += track.title + ", ";
    label += codecLabel(avcodec_descriptor_get_by_name(track.codec.c_str())
                            ? avcodec_descriptor_get_by_name(track.codec.c_str())->id
                            : AV_CODEC_ID_NONE);
    if (const std::string channels = channelsLabel(track.channels); !channels.empty())
        label += " " + channels;
    if (track.forced)
        label += " (forced)";
    return label;
}

int defaultAudioTrack(const std::vector<Track>& tracks)
{
    if (tracks.empty())
        return -1;
    const auto marked = std::find_if(tracks.begin(), tracks.end(),
                                     [](const Track& track) { return track.isDefault; });
    return marked == tracks.end() ? 0 : int(marked - tracks.begin());
}

int defaultSubtitleTrack(const std::vector<Track>& subtitles, const std::string& audioLanguage)
{
    const std::string language = languageName(audioLanguage);
    if (language.empty())
        return -1;
    for (size_t i = 0; i < subtitles.size(); ++i)
        if (subtitles[i].forced && languageName(subtitles[i].language) == language)
            return int(i);
    return -1;
}

std::string escapeFilterValue(const std::string& value)
{
    // Twice: once for the option parser inside the filter's arguments, once for the
    // parser of the chain around it.
    auto escape = [](const std::string& text, const char* special) {
        char* escaped = nullptr;
        if (av_escape(&escaped, text.c_str(), special, AV_ESCAPE_MODE_BACKSLASH, 0) < 0)
            return std::string();
        std::string result(escaped);
        av_free(escaped);
        return result;
    };
    return escape(escape(value, "':\\"), "'\\[],;");
}

std::string textSubtitlesChain(const std::string& path, int subtitleNumber)
{
    std::string chain = "subtitles=filename=" + escapeFilterValue(path);
    if (subtitleNumber > 0)
        chain += ":si=" + std::to_string(subtitleNumber - 1);
    return chain;
}

Status subtitlesChain(const AVFormatContext* input, const std::string& sourcePath, int track,
                      const std::string& subtitleFile, std::string* chain, int* pictureStream)
{
    chain->clear();
    if (pictureStream)
        *pictureStream = -1;
    if (!subtitleFile.empty()) {
        struct stat info = {};
        if (::stat(subtitleFile.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return Status::failure("the subtitles file '" + subtitleFile + "' cannot be read");
        *chain = textSubtitlesChain(subtitleFile, 0);
        return {};
    }
    if (track <= 0)
        return {};
    const std::vector<Track> tracks = listTracks(input, AVMEDIA_TYPE_SUBTITLE);
    if (size_t(track) > tracks.size())
        return Status::failure("there is no subtitle track " + std::to_string(track) +
                               (tracks.empty()
                                    ? std::string("; the file has none")
                                    : "; the file has " + std::to_string(tracks.size())));
    if (!tracks[size_t(track) - 1].text) {
        if (pictureStream)
            *pictureStream = tracks[size_t(track) - 1].streamIndex;
        return {};
    }
    *chain = textSubtitlesChain(sourcePath, track);
    return {};
}

Status audioTrackStream(const AVFormatContext* input, int track, int* streamIndex)
{
    const std::vector<Track> tracks = listTracks(input, AVMEDIA_TYPE_AUDIO);
    if (track <= 0 || size_t(track) > tracks.size())
        return Status::failure("there is no sound track " + std::to_string(track) +
                               (tracks.empty()
                                    ? std::string("; the file has none")
                                    : "; the file has " + std::to_string(tracks.size())));
    *streamIndex = tracks[size_t(track) - 1].streamIndex;
    return {};
}

std::string joinChains(std::initializer_list<std::string> chains)
{
    std::string joined;
    for (const std::string& chain : chains)
        if (!chain.empty())
            joined += (joined.empty() ? "" : ",") + chain;
    return joined;
}

std::string subtitleFileBeside(const std::string& source)
{
    const size_t slash = source.rfind('/');
    const size_t dot = source.rfind('.');
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                 ? source.substr(0, dot)
                                 : source;
    for (const char* extension : {".srt", ".ass", ".SRT", ".ASS", ".ssa"}) {
        struct stat info = {};
        const std::string candidate = stem + extension;
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            return candidate;
    }
    return {};
}

} // namespace av
