#pragma once

#include <optional>
#include <string>
#include <vector>

enum class VideoCodec
{
    H264,
    Mpeg4
};

// What the command line asked for. Unset values fall back to the source's own.
struct EncoderOptions
{
    std::string inputPath;
    std::string outputPath;
    double start = 0.0;           // seconds from the start of the source
    std::optional<double> length; // seconds of output
    VideoCodec videoCodec = VideoCodec::H264;
    bool cabac = false;       // Baseline has no CABAC; kept to say so
    std::optional<int> level; // H.264 level times ten
    std::optional<int> bufferKbit;
    int gop = 250;
    std::optional<int> width, height;
    std::optional<int> frameRateNum, frameRateDen;
    int videoKbps = 768;
    std::optional<int> aspectNum, aspectDen;
    std::optional<int> channels;
    int audioKbps = 128;
    std::optional<int> sampleRate;
    int volume = 256; // 256 leaves the loudness unchanged
    std::string title;
    std::optional<std::string> timestamp;
    std::optional<int> audioTrack; // 1-based among the source's sound tracks
    // Subtitles drawn into the picture: a 1-based subtitle track of the source, or a
    // .srt/.ass file.
    std::optional<int> subtitleTrack;
    std::string subtitleFile;
    bool showHelp = false;
};

struct ParseResult
{
    EncoderOptions options;
    std::string error; // empty when the line was understood
};

ParseResult parseEncoderOptions(const std::vector<std::string>& args);

// "HH:MM:SS[.frac]", "MM:SS" or plain seconds; nullopt when malformed or negative.
std::optional<double> parseTime(const std::string& text);

extern const char* const encoderUsage;
