#include "encoder/encoderoptions.h"

extern "C" {
#include <libavutil/parseutils.h>
#include <libavutil/rational.h>
}

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

const char* const encoderUsage =
    "usage: trelvo-encoder -i INPUT [-ss TIME] [-t TIME] [-vcodec h264|xvid|mpeg4]\n"
    "       [-coder 0|1] [-vlevel N] [-bufsize KBIT] [-g N] [-s WxH] [-r FPS]\n"
    "       [-b KBPS] [-aspect W:H] [-ac N] [-ab KBPS] [-ar HZ] [-vol N]\n"
    "       [-acodec aac] [-title TEXT] [-timestamp TEXT] [-atrack N]\n"
    "       [-subtitles N|FILE] [-f mp4] OUTPUT.mp4\n"
    "Writes an MP4 a Zune plays (H.264 Baseline or MPEG-4 Simple, AAC-LC).\n"
    "-atrack takes the source's Nth sound track (from 1); -subtitles draws the source's\n"
    "Nth subtitle track, or the subtitles of a .srt or .ass file, into the picture.\n"
    "Type q and Enter to finish early; SIGINT, SIGTERM or SIGHUP do the same, and a\n"
    "later one ends the encoder only after 5 s in which the output did not grow.\n"
    "An existing output file is never replaced.\n"
    "Exit status: 0 converted (also when finished early), 1 failed, 2 wrong usage,\n"
    "3 the output file exists (choose another name and run again).\n";

namespace {

std::optional<int> parseInt(const std::string& text, int min, int max)
{
    int value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < min || value > max)
        return std::nullopt;
    return value;
}

// Bit rates are kilobits; a trailing "k" is tolerated since ffmpeg users type it.
std::optional<int> parseKbit(std::string text)
{
    if (!text.empty() && (text.back() == 'k' || text.back() == 'K'))
        text.pop_back();
    return parseInt(text, 1, 1000000);
}

std::optional<AVRational> parseRatio(const std::string& text, int max)
{
    AVRational q{0, 1};
    if (av_parse_ratio(&q, text.c_str(), max, 0, nullptr) < 0 || q.num <= 0 || q.den <= 0)
        return std::nullopt;
    return q;
}

// 29.97 means NTSC's 30000/1001 and not 2997/100, as every player assumes.
AVRational normaliseFrameRate(AVRational rate)
{
    const double value = av_q2d(rate);
    for (int base : {24, 30, 60}) {
        const AVRational ntsc{base * 1000, 1001};
        if (std::fabs(value - av_q2d(ntsc)) < 0.006)
            return ntsc;
    }
    return rate;
}

} // namespace

std::optional<double> parseTime(const std::string& text)
{
    if (text.empty() || text[0] == '-')
        return std::nullopt;
    int64_t micros = 0;
    if (av_parse_time(&micros, text.c_str(), 1) < 0 || micros < 0)
        return std::nullopt;
    return micros / 1e6;
}

namespace {

using Setter = std::function<bool(const std::string&)>;
using Setters = std::map<std::string, Setter>;

// The input, the span of it to convert and the video encoder.
void addInputAndEncoderSetters(Setters& setters, EncoderOptions& o)
{
    setters.insert({
        {"-i",
         [&](const std::string& v) {
             o.inputPath = v;
             return !v.empty();
         }},
        {"-ss",
         [&](const std::string& v) {
             auto t = parseTime(v);
             if (t)
                 o.start = *t;
             return t.has_value();
         }},
        {"-t",
         [&](const std::string& v) {
             auto t = parseTime(v);
             if (t && *t > 0)
                 o.length = *t;
             return t && *t > 0;
         }},
        {"-vcodec",
         [&](const std::string& v) {
             if (v == "h264" || v == "libx264")
                 o.videoCodec = VideoCodec::H264;
             else if (v == "xvid" || v == "mpeg4")
                 o.videoCodec = VideoCodec::Mpeg4;
             else
                 return false;
             return true;
         }},
        {"-coder",
         [&](const std::string& v) {
             auto n = parseInt(v, 0, 1);
             if (n)
                 o.cabac = *n == 1;
             return n.has_value();
         }},
        {"-vlevel", [&](const std::string& v) { return bool(o.level = parseInt(v, 9, 52)); }},
        {"-bufsize", [&](const std::string& v) { return bool(o.bufferKbit = parseKbit(v)); }},
        {"-g",
         [&](const std::string& v) {
             auto n = parseInt(v, 1, 10000);
             if (n)
                 o.gop = *n;
             return n.has_value();
         }},
        {"-b",
         [&](const std::string& v) {
             auto n = parseKbit(v);
             if (n)
                 o.videoKbps = *n;
             return n.has_value();
         }},
    });
}

// The picture's size, rate and shape.
void addPictureSetters(Setters& setters, EncoderOptions& o)
{
    setters.insert({
        {"-s",
         [&](const std::string& v) {
             int w = 0, h = 0;
             if (av_parse_video_size(&w, &h, v.c_str()) < 0 || w % 2 || h % 2 || w > 4096 ||
                 h > 4096)
                 return false;
             o.width = w;
             o.height = h;
             return true;
         }},
        {"-r",
         [&](const std::string& v) {
             auto q = parseRatio(v, 1001000);
             if (!q || av_q2d(*q) > 240)
                 return false;
             const AVRational rate = normaliseFrameRate(*q);
             o.frameRateNum = rate.num;
             o.frameRateDen = rate.den;
             return true;
         }},
        {"-aspect",
         [&](const std::string& v) {
             auto q = parseRatio(v, 255);
             if (q) {
                 o.aspectNum = q->num;
                 o.aspectDen = q->den;
             }
             return q.has_value();
         }},
    });
}

// The sound, the tags, the track choices and the container.
void addSoundAndTagSetters(Setters& setters, EncoderOptions& o)
{
    setters.insert({
        {"-ac", [&](const std::string& v) { return bool(o.channels = parseInt(v, 1, 2)); }},
        {"-ab",
         [&](const std::string& v) {
             auto n = parseKbit(v);
             if (n)
                 o.audioKbps = *n;
             return n.has_value();
         }},
        {"-ar",
         [&](const std::string& v) { return bool(o.sampleRate = parseInt(v, 1000, 384000)); }},
        {"-vol",
         [&](const std::string& v) {
             auto n = parseInt(v, 0, 65536);
             if (n)
                 o.volume = *n;
             return n.has_value();
         }},
        {"-acodec", [&](const std::string& v) { return v == "aac"; }},
        {"-title",
         [&](const std::string& v) {
             o.title = v;
             return true;
         }},
        {"-timestamp",
         [&](const std::string& v) {
             int64_t micros = 0;
             if (av_parse_time(&micros, v.c_str(), 0) < 0)
                 return false;
             o.timestamp = v;
             return true;
         }},
        {"-atrack", [&](const std::string& v) { return bool(o.audioTrack = parseInt(v, 1, 999)); }},
        {"-subtitles",
         [&](const std::string& v) {
             if (v.empty())
                 return false;
             o.subtitleTrack = parseInt(v, 1, 999);
             if (!o.subtitleTrack)
                 o.subtitleFile = v;
             return true;
         }},
        {"-f", [&](const std::string& v) { return v == "mp4"; }},
    });
}

// The program appends the Task's sound and subtitle choices after the Profile's line,
// so these two may follow the output file; they are moved to the front.
bool moveTrackChoicesFirst(std::vector<std::string>& words, std::string& error)
{
    if (!words.empty() && (words.back() == "-atrack" || words.back() == "-subtitles")) {
        error = "option '" + words.back() + "' needs a value";
        return false;
    }
    std::vector<std::string> choices;
    while (words.size() >= 3 &&
           (words[words.size() - 2] == "-atrack" || words[words.size() - 2] == "-subtitles")) {
        choices.insert(choices.begin(), words.end() - 2, words.end());
        words.resize(words.size() - 2);
    }
    words.insert(words.begin(), choices.begin(), choices.end());
    return true;
}

// Reads the words in order, stopping at the first one not understood.
void readWords(const std::vector<std::string>& words, const Setters& setters, ParseResult& result)
{
    EncoderOptions& o = result.options;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "-h" || word == "-help" || word == "--help") {
            o.showHelp = true;
            return;
        }
        if (word.size() > 1 && word[0] == '-') {
            auto option = setters.find(word);
            if (option == setters.end()) {
                result.error = "unknown option '" + word + "'";
                return;
            }
            if (i + 1 >= words.size()) {
                result.error = "option '" + word + "' needs a value";
                return;
            }
            const std::string& value = words[++i];
            if (!option->second(value)) {
                result.error = "invalid value '" + value + "' for option '" + word + "'";
                return;
            }
            continue;
        }
        if (i + 1 != words.size()) {
            result.error = "unexpected argument '" + word + "' (the output file comes last)";
            return;
        }
        o.outputPath = word;
    }
    if (o.inputPath.empty())
        result.error = "no input file given (-i FILE)";
    else if (o.outputPath.empty())
        result.error = "no output file given (it is the last word of the line)";
}

} // namespace

ParseResult parseEncoderOptions(const std::vector<std::string>& args)
{
    ParseResult result;
    Setters setters;
    addInputAndEncoderSetters(setters, result.options);
    addPictureSetters(setters, result.options);
    addSoundAndTagSetters(setters, result.options);
    std::vector<std::string> words = args;
    if (moveTrackChoicesFirst(words, result.error))
        readWords(words, setters, result);
    return result;
}
