#include "encoder/console.h"
#include "encoder/encoderoptions.h"
#include "encoder/levels.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

std::vector<std::string> words(const std::string& line)
{
    std::vector<std::string> result;
    std::string word;
    for (char c : line + " ") {
        if (c == ' ') {
            if (!word.empty())
                result.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return result;
}

} // namespace

TEST(EncoderOptions, ReadsTheLineProfileZeroGives)
{
    const ParseResult r = parseEncoderOptions(words(
        "-i in.avi -ss 01:02:05 -t 00:01:00 -vcodec h264 -coder 0 -vlevel 13 -bufsize 256 -g 250 "
        "-s 320x240 -r 29.97 -b 1200 -aspect 16:9 -ac 1 -ab 64 -ar 54000 -vol 384 -acodec aac "
        "-title T -timestamp 2024-05-06T07:08:09 -f mp4 out.mp4"));
    ASSERT_EQ(r.error, "");
    const EncoderOptions& o = r.options;
    EXPECT_EQ(o.inputPath, "in.avi");
    EXPECT_EQ(o.outputPath, "out.mp4");
    EXPECT_DOUBLE_EQ(o.start, 3725.0);
    EXPECT_DOUBLE_EQ(*o.length, 60.0);
    EXPECT_EQ(o.videoCodec, VideoCodec::H264);
    EXPECT_EQ(*o.level, 13);
    EXPECT_EQ(*o.bufferKbit, 256);
    EXPECT_EQ(o.gop, 250);
    EXPECT_EQ(*o.width, 320);
    EXPECT_EQ(*o.height, 240);
    // 29.97 is NTSC's rate, exactly.
    EXPECT_EQ(*o.frameRateNum, 30000);
    EXPECT_EQ(*o.frameRateDen, 1001);
    EXPECT_EQ(o.videoKbps, 1200);
    EXPECT_EQ(*o.aspectNum, 16);
    EXPECT_EQ(*o.aspectDen, 9);
    EXPECT_EQ(*o.channels, 1);
    EXPECT_EQ(o.audioKbps, 64);
    EXPECT_EQ(*o.sampleRate, 54000);
    EXPECT_EQ(o.volume, 384);
    EXPECT_EQ(o.title, "T");
}

// The program appends a Task's choices after the Profile's line, past the output file.
TEST(EncoderOptions, TheChoicesMayFollowTheOutputFile)
{
    const ParseResult r = parseEncoderOptions(
        {"-i", "in.mkv", "out.mp4", "-atrack", "2", "-subtitles", "my film.srt"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.outputPath, "out.mp4");
    EXPECT_EQ(*r.options.audioTrack, 2);
    EXPECT_FALSE(r.options.subtitleTrack);
    EXPECT_EQ(r.options.subtitleFile, "my film.srt");
    const ParseResult track = parseEncoderOptions(words("-i in.mkv -subtitles 3 out.mp4"));
    ASSERT_EQ(track.error, "");
    EXPECT_EQ(*track.options.subtitleTrack, 3);
    EXPECT_EQ(track.options.subtitleFile, "");
}

TEST(EncoderOptions, RefusesWhatItDoesNotKnow)
{
    const struct
    {
        const char* line;
        const char* error;
    } cases[] = {
        {"-i a.avi -foo 1 out.mp4", "unknown option '-foo'"},
        {"-i a.avi -t", "option '-t' needs a value"},
        {"-i", "option '-i' needs a value"},
        {"-i a.avi -vcodec wmv2 out.mp4", "invalid value 'wmv2' for option '-vcodec'"},
        {"-i a.avi -s 321x240 out.mp4", "invalid value '321x240' for option '-s'"},
        {"-i a.avi -ss -5 out.mp4", "invalid value '-5' for option '-ss'"},
        {"-i a.avi -t 0 out.mp4", "invalid value '0' for option '-t'"},
        {"-i a.avi -ac 6 out.mp4", "invalid value '6' for option '-ac'"},
        {"-i a.avi -acodec mp3 out.mp4", "invalid value 'mp3' for option '-acodec'"},
        {"-i a.avi -f avi out.mp4", "invalid value 'avi' for option '-f'"},
        {"-i a.avi -b fast out.mp4", "invalid value 'fast' for option '-b'"},
        {"-i a.avi -timestamp yesterday out.mp4",
         "invalid value 'yesterday' for option '-timestamp'"},
        {"-i a.avi stray out.mp4", "unexpected argument 'stray' (the output file comes last)"},
        {"-i a.avi out.mp4 -b 5", "unexpected argument 'out.mp4' (the output file comes last)"},
        {"-i a.avi -atrack 0 out.mp4", "invalid value '0' for option '-atrack'"},
        {"-i a.avi out.mp4 -atrack", "option '-atrack' needs a value"},
        {"-i a.avi", "no output file given (it is the last word of the line)"},
        {"out.mp4", "no input file given (-i FILE)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseEncoderOptions(words(c.line)).error, c.error) << c.line;
}

TEST(EncoderOptions, ReadsTimesInBothForms)
{
    const struct
    {
        const char* text;
        double seconds; // negative: refused
    } cases[] = {
        {"00:00:00", 0.0},
        {"01:02:05", 3725.0},
        {"100:00:00", 360000.0},
        {"00:01:23.45", 83.45},
        {"83.45", 83.45},
        {"12", 12.0},
        {"-1", -1},
        {"abc", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        const auto t = parseTime(c.text);
        if (c.seconds < 0)
            EXPECT_FALSE(t.has_value()) << c.text;
        else
            EXPECT_NEAR(t.value_or(-1), c.seconds, 1e-6) << c.text;
    }
}

TEST(EncoderLevels, KeepsTheRequestedLevelOnlyWhenTheStreamFits)
{
    const struct
    {
        int width, height;
        double fps;
        int kbps, bufferKbit, requested, expected;
    } cases[] = {
        {320, 240, 29.97, 768, 256, 13, 13},
        {320, 240, 29.97, 1200, 256, 13, 20}, // the window's default settings
        {320, 240, 29.97, 2000, 256, 13, 20},
        {640, 480, 29.97, 768, 256, 13, 30},
        {640, 480, 29.97, 1500, 1500, 30, 30},
        {480, 272, 29.97, 1500, 1500, 21, 21},
        {320, 240, 29.97, 256, 256, 30, 30}, // a higher level than needed stays
        {320, 240, 60.0, 768, 256, 13, 21},
        {1920, 1080, 29.97, 8000, 8000, 13, 40},
        {4096, 2304, 120.0, 300000, 300000, 13, 52}, // nothing holds it: the highest
    };
    for (const auto& c : cases) {
        const StreamDemand demand{c.width, c.height, c.fps, c.kbps, c.bufferKbit};
        EXPECT_EQ(h264LevelFor(demand, c.requested), c.expected)
            << c.width << "x" << c.height << " " << c.kbps << " kbit/s";
    }
    EXPECT_EQ(h264LevelName(13), "1.3");
    EXPECT_EQ(h264LevelName(30), "3");
    EXPECT_EQ(h264LevelName(9), "1b");
}

TEST(EncoderLevels, ChoosesMpeg4SimpleLevelsAndAacRates)
{
    EXPECT_EQ(mpeg4SimpleLevelFor({176, 144, 15, 64, 64}), 1);
    EXPECT_EQ(mpeg4SimpleLevelFor({352, 288, 29.97, 384, 384}), 3);
    EXPECT_EQ(mpeg4SimpleLevelFor({320, 240, 29.97, 768, 768}), 4);
    EXPECT_EQ(mpeg4SimpleLevelFor({640, 480, 29.97, 1500, 1500}), 4);

    const int rates[][2] = {{96000, 96000}, {54000, 48000}, {48000, 48000},  {44100, 44100},
                            {50000, 48000}, {8000, 8000},   {200000, 96000}, {1000, 7350}};
    for (const auto& r : rates)
        EXPECT_EQ(nearestAacSampleRate(r[0]), r[1]) << r[0];
}

TEST(EncoderProgress, KeepsTheWidthsTheReaderCounts)
{
    const std::regex grammar(
        R"(frame=\s*\d+ fps=\s*\d+ size=[ \d]{8}kB time=\d+\.\d\d bitrate=\s*[\d.]+kbits/s)");
    for (int64_t bytes : {int64_t(0), int64_t(262144), int64_t(1024) * 12345678}) {
        const std::string line = console::progressLine(123, 45, bytes, 4.1);
        EXPECT_TRUE(std::regex_match(line, grammar)) << line;
        const size_t size = line.find("size=");
        EXPECT_EQ(line.substr(size + 13, 2), "kB") << line;
        EXPECT_EQ(std::stoll(line.substr(size + 5, 8)), bytes / 1024);
    }
    EXPECT_NE(console::progressLine(1, 1, 0, 83.456).find("time=83.46 "), std::string::npos);
}
