// What a source needs before it suits the player: turned upright the right way, its
// tracks named and the defaults chosen, text subtitles drawn at their time, the centre
// kept in a downmix, deep and HDR pictures brought to 8 bits, woven pictures found, and
// a raw stream's length measured.
#include "av/durationscan.h"
#include "av/filtergraph.h"
#include "av/input.h"
#include "av/sourcefilters.h"
#include "common/testmedia.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <cmath>

namespace {

std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

av::InputPtr open(const QString& path)
{
    av::InputPtr input = av::openInput(local(path), nullptr);
    if (input && !av::readStreamInfo(input.get()))
        input.reset();
    return input;
}

// The first picture of the file's video stream.
av::FramePtr firstPicture(AVFormatContext* input, int* streamIndex)
{
    *streamIndex = av::chooseStreams(input).video;
    if (*streamIndex < 0)
        return {};
    av::CodecPtr decoder = av::openDecoder(input->streams[*streamIndex], nullptr);
    av::PacketPtr packet = av::makePacket();
    av::FramePtr frame = av::makeFrame();
    while (decoder && av_read_frame(input, packet.get()) >= 0) {
        const bool ours = packet->stream_index == *streamIndex;
        if (ours)
            avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        if (ours && avcodec_receive_frame(decoder.get(), frame.get()) >= 0)
            return frame;
    }
    return {};
}

// `frame` through `chain` (ending in an 8-bit grey or planar picture); the first result.
av::FramePtr filtered(AVFrame* frame, AVRational timeBase, const std::string& chain,
                      AVPixelFormat format)
{
    av::FilterGraph graph;
    av::FilterGraph::Options options;
    options.pixelFormat = format;
    if (const av::Status built = graph.build(AVMEDIA_TYPE_VIDEO, *frame, timeBase, chain, options);
        !built) {
        ADD_FAILURE() << chain << ": " << built.error();
        return {};
    }
    if (!graph.add(frame, 1) || !graph.close())
        return {};
    av::FramePtr out = av::makeFrame();
    if (graph.receive(out.get()) != av::FilterGraph::Flow::Frame) {
        ADD_FAILURE() << chain << ": " << graph.failure().error();
        return {};
    }
    return out;
}

double meanLuma(const AVFrame& frame, int x0, int y0, int x1, int y1)
{
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            sum += frame.data[0][y * frame.linesize[0] + x];
    return sum / std::max(1, (x1 - x0) * (y1 - y0));
}

av::FramePtr picture(int width, int height, AVPixelFormat format)
{
    av::FramePtr frame = av::makeFrame();
    frame->width = width;
    frame->height = height;
    frame->format = format;
    frame->pts = 0;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return {};
    return frame;
}

} // namespace

TEST(AvSourceFilters, APhoneVideoIsTurnedUprightTheWayItsMatrixSays)
{
    // A white band at the top of the stored picture; turned clockwise it lies at the right.
    // FFmpeg's own player turns these files the same ways: its muxer writes the tag as a
    // matrix that turns counter-clockwise.
    const struct
    {
        const char* rotate;
        int degrees; // clockwise
        bool swaps;
        int litX, litY; // a point of the upright 160x120 or 120x160 picture inside the band
    } cases[] = {
        {"0", 0, false, 80, 10},
        {"90", 270, true, 10, 80},
        {"180", 180, false, 80, 110},
        {"270", 90, true, 110, 80},
    };
    const QString band = testmedia::make(
        "band.mp4",
        {"-f", "lavfi", "-i", "color=black:s=160x120:d=1,drawbox=y=0:w=160:h=30:c=white:t=fill",
         "-c:v", "libx264", "-pix_fmt", "yuv420p"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rotate);
        const QString path = testmedia::make(
            QString("band%1.mp4").arg(c.rotate),
            {"-i", band, "-c", "copy", "-metadata:s:v:0", QString("rotate=%1").arg(c.rotate)});
        av::InputPtr input = open(path);
        ASSERT_TRUE(input);
        int index = -1;
        av::FramePtr frame = firstPicture(input.get(), &index);
        ASSERT_TRUE(frame);
        const AVStream* stream = input->streams[index];
        const av::Upright up = av::upright(stream);
        EXPECT_EQ(up.degrees, c.degrees);
        EXPECT_EQ(up.swapsSides, c.swaps);
        EXPECT_NEAR(av::uprightAspect(stream, {1, 1}), c.swaps ? 0.75 : 4.0 / 3, 0.01);
        av::FramePtr out = filtered(frame.get(), stream->time_base,
                                    up.chain.empty() ? "null" : up.chain, AV_PIX_FMT_GRAY8);
        ASSERT_TRUE(out);
        ASSERT_EQ(out->width, c.swaps ? 120 : 160);
        EXPECT_GT(meanLuma(*out, c.litX - 5, c.litY - 5, c.litX + 5, c.litY + 5), 200);
        // The point opposite, through the centre, stays dark.
        const int darkX = out->width - c.litX, darkY = out->height - c.litY;
        EXPECT_LT(meanLuma(*out, darkX - 5, darkY - 5, darkX + 5, darkY + 5), 40);
    }
}

TEST(AvSourceFilters, TracksAreNamedAndTheDefaultsChosenAsTheFileMarksThem)
{
    const QString srt = testmedia::cue(testmedia::folder() + "/cue.srt");
    ASSERT_FALSE(srt.isEmpty());
    const QString path = testmedia::make(
        "two-languages.mkv",
        testmedia::filmArgs("320x240", 3, 440, 880, srt,
                            {"-ac:a:1", "6", "-metadata:s:a:0", "language=eng", "-metadata:s:a:1",
                             "language=fre", "-metadata:s:a:1", "title=Dialogue",
                             "-disposition:a:0", "0", "-disposition:a:1", "default",
                             "-metadata:s:s:0", "language=fra", "-disposition:s:0", "forced"}));
    av::InputPtr input = open(path);
    ASSERT_TRUE(input);
    const auto audio = av::listTracks(input.get(), AVMEDIA_TYPE_AUDIO);
    const auto subtitles = av::listTracks(input.get(), AVMEDIA_TYPE_SUBTITLE);
    ASSERT_EQ(audio.size(), 2u);
    ASSERT_EQ(subtitles.size(), 1u);
    EXPECT_EQ(av::trackLabel(audio[0]), "1: English, AC-3 mono");
    EXPECT_EQ(av::trackLabel(audio[1]), "2: French, Dialogue, AC-3 5.1");
    EXPECT_EQ(av::trackLabel(subtitles[0]), "1: French, SRT (forced)");
    EXPECT_EQ(audio[1].streamIndex, 2);
    EXPECT_TRUE(subtitles[0].text);
    // The second track is marked default; its language matches the forced subtitles
    // though the one names it "fre" and the other "fra".
    ASSERT_EQ(av::defaultAudioTrack(audio), 1);
    EXPECT_EQ(av::defaultSubtitleTrack(subtitles, audio[1].language), 0);
    EXPECT_EQ(av::defaultSubtitleTrack(subtitles, audio[0].language), -1);

    // No mark: the first. Subtitles not forced, or without a language: none.
    auto unmarked = audio;
    for (auto& track : unmarked)
        track.isDefault = false;
    EXPECT_EQ(av::defaultAudioTrack(unmarked), 0);
    EXPECT_EQ(av::defaultAudioTrack({}), -1);
    auto plain = subtitles;
    plain[0].forced = false;
    EXPECT_EQ(av::defaultSubtitleTrack(plain, "fre"), -1);
    EXPECT_EQ(av::defaultSubtitleTrack(subtitles, "und"), -1);
}

TEST(AvSourceFilters, TextSubtitlesAreDrawnAtTheirTimeFromTheFileOrBesideIt)
{
    // A name the chain's parsers would otherwise read as syntax.
    const QString dir = testmedia::folder() + "/it's, [odd]: here;";
    QDir().mkpath(dir);
    const QString source = dir + "/film.mkv";
    QFile::remove(source);
    ASSERT_EQ(testmedia::run("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i",
                                        "color=black:s=320x240:d=3", "-c:v", "mpeg4", source}),
              0);
    ASSERT_FALSE(testmedia::cue(dir + "/film.srt").isEmpty());
    const std::string beside = av::subtitleFileBeside(local(source));
    ASSERT_EQ(beside, local(dir + "/film.srt"));
    EXPECT_EQ(av::subtitleFileBeside(local(dir + "/none.mkv")), "");

    const QString inFile = testmedia::make("with-subtitles.mkv",
                                           {"-f", "lavfi", "-i", "color=black:s=320x240:d=3", "-i",
                                            dir + "/film.srt", "-c:v", "mpeg4", "-c:s", "srt"});
    const std::string chains[] = {av::textSubtitlesChain(beside, 0),
                                  av::textSubtitlesChain(local(inFile), 1)};
    for (const std::string& chain : chains) {
        SCOPED_TRACE(chain);
        auto brightAt = [&](int64_t millis) {
            av::FramePtr black = picture(320, 240, AV_PIX_FMT_YUV420P);
            std::fill_n(black->data[0], black->linesize[0] * 240, uint8_t(16));
            std::fill_n(black->data[1], black->linesize[1] * 120, uint8_t(128));
            std::fill_n(black->data[2], black->linesize[2] * 120, uint8_t(128));
            black->pts = millis;
            av::FramePtr out = filtered(black.get(), {1, 1000}, chain, AV_PIX_FMT_GRAY8);
            int bright = 0;
            for (int y = 0; out && y < out->height; ++y)
                for (int x = 0; x < out->width; ++x)
                    bright += out->data[0][y * out->linesize[0] + x] > 128;
            return bright;
        };
        EXPECT_GT(brightAt(1500), 100);
        EXPECT_EQ(brightAt(500), 0);
    }
}

TEST(AvSourceFilters, SurroundFoldsToStereoKeepingTheCentreAndLeavingOutTheLfe)
{
    const struct
    {
        uint64_t mask;
        AVChannel lit;
        double left, right;
    } cases[] = {
        {AV_CH_LAYOUT_5POINT1, AV_CHAN_FRONT_CENTER, 0.7071, 0.7071},
        {AV_CH_LAYOUT_5POINT1_BACK, AV_CHAN_LOW_FREQUENCY, 0, 0},
        {AV_CH_LAYOUT_5POINT1, AV_CHAN_SIDE_LEFT, 0.7071, 0},
        {AV_CH_LAYOUT_6POINT1, AV_CHAN_BACK_CENTER, 0.5, 0.5},
        {AV_CH_LAYOUT_7POINT1, AV_CHAN_FRONT_CENTER, 0.7071, 0.7071},
        {AV_CH_LAYOUT_7POINT1, AV_CHAN_BACK_RIGHT, 0, 0.7071},
        {AV_CH_LAYOUT_7POINT1, AV_CHAN_FRONT_LEFT, 1, 0},
    };
    for (const auto& c : cases) {
        AVChannelLayout layout = {};
        ASSERT_EQ(av_channel_layout_from_mask(&layout, c.mask), 0);
        char name[64];
        av_channel_layout_describe(&layout, name, sizeof name);
        SCOPED_TRACE(std::string(name) + " " + std::to_string(int(c.lit)));
        const std::string chain = av::stereoDownmixChain(layout);
        ASSERT_FALSE(chain.empty());
        av::FramePtr frame = av::makeFrame();
        frame->sample_rate = 48000;
        ASSERT_EQ(av_channel_layout_copy(&frame->ch_layout, &layout), 0);
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->nb_samples = 1024;
        frame->pts = 0;
        ASSERT_GE(av_frame_get_buffer(frame.get(), 0), 0);
        const int lit = av_channel_layout_index_from_channel(&layout, c.lit);
        ASSERT_GE(lit, 0);
        for (int ch = 0; ch < layout.nb_channels; ++ch)
            std::fill_n(reinterpret_cast<float*>(frame->extended_data[ch]), 1024,
                        ch == lit ? 0.5f : 0.0f);
        av::FilterGraph graph;
        ASSERT_TRUE(graph.build(AVMEDIA_TYPE_AUDIO, *frame, {1, 48000},
                                chain + ",aformat=sample_fmts=fltp:channel_layouts=stereo", {}));
        ASSERT_TRUE(graph.add(frame.get(), 1024));
        ASSERT_TRUE(graph.close());
        av::FramePtr out = av::makeFrame();
        ASSERT_EQ(graph.receive(out.get()), av::FilterGraph::Flow::Frame);
        ASSERT_EQ(out->ch_layout.nb_channels, 2);
        EXPECT_NEAR(reinterpret_cast<float*>(out->extended_data[0])[100], 0.5 * c.left, 0.01);
        EXPECT_NEAR(reinterpret_cast<float*>(out->extended_data[1])[100], 0.5 * c.right, 0.01);
    }
    AVChannelLayout stereo = {};
    av_channel_layout_default(&stereo, 2);
    EXPECT_EQ(av::stereoDownmixChain(stereo), "");
}

TEST(AvSourceFilters, DeepPicturesAreDitheredAndHdrIsToneMapped)
{
    AVCodecParameters par = {};
    par.format = AV_PIX_FMT_YUV420P;
    EXPECT_EQ(av::eightBitChain(&par), ""); // the scaler's own way, as before
    par.format = AV_PIX_FMT_YUVJ420P;
    EXPECT_EQ(av::eightBitChain(&par), "");

    // A 10-bit 4:2:2 ramp four 8-bit steps wide: dithered, the mean of each 10-bit step
    // follows the ramp; cut to 8 bits, it would stand in stairs up to half a step off.
    par.format = AV_PIX_FMT_YUV422P10LE;
    const std::string deep = av::eightBitChain(&par);
    ASSERT_FALSE(deep.empty());
    auto ramp = [] {
        av::FramePtr frame = picture(256, 64, AV_PIX_FMT_YUV422P10LE);
        for (int y = 0; y < 64; ++y) {
            auto* luma = reinterpret_cast<uint16_t*>(frame->data[0] + y * frame->linesize[0]);
            for (int x = 0; x < 256; ++x)
                luma[x] = uint16_t(400 + x / 16);
            for (int plane = 1; plane < 3; ++plane)
                std::fill_n(
                    reinterpret_cast<uint16_t*>(frame->data[plane] + y * frame->linesize[plane]),
                    128, uint16_t(512));
        }
        return frame;
    };
    {
        av::FramePtr in = ramp();
        av::FramePtr out = filtered(in.get(), {1, 25}, deep, AV_PIX_FMT_YUV420P);
        ASSERT_TRUE(out);
        double worst = 0;
        for (int x = 0; x < 256; x += 16)
            worst =
                std::max(worst, std::fabs(meanLuma(*out, x, 0, x + 16, 64) * 4 - (400 + x / 16)));
        EXPECT_LT(worst, 0.5) << "in 10-bit steps";
    }
    // 100 nits in PQ is a dim grey as plain numbers (130); tone-mapped it is brighter.
    par.format = AV_PIX_FMT_YUV420P10LE;
    par.color_trc = AVCOL_TRC_SMPTE2084;
    par.color_primaries = AVCOL_PRI_BT2020;
    par.color_space = AVCOL_SPC_BT2020_NCL;
    ASSERT_TRUE(av::isHdr(&par));
    av::FramePtr hdr = picture(64, 64, AV_PIX_FMT_YUV420P10LE);
    for (int plane = 0; plane < 3; ++plane)
        for (int y = 0; y < (plane ? 32 : 64); ++y)
            std::fill_n(reinterpret_cast<uint16_t*>(hdr->data[plane] + y * hdr->linesize[plane]),
                        plane ? 32 : 64, uint16_t(plane ? 512 : 520));
    av::FramePtr out = filtered(hdr.get(), {1, 25}, av::eightBitChain(&par), AV_PIX_FMT_YUV420P);
    ASSERT_TRUE(out);
    EXPECT_GT(meanLuma(*out, 0, 0, 64, 64), 145);
}

TEST(AvSourceFilters, WovenPicturesAreFoundWithoutAFlag)
{
    const QString woven = testmedia::make("woven-unflagged.avi",
                                          {"-f", "lavfi", "-i",
                                           "testsrc2=s=720x576:r=50:d=2,tinterlace=interleave_top,"
                                           "setfield=prog",
                                           "-c:v", "mpeg4", "-q:v", "3"});
    // Progressive, yet its moving edges read as interlaced to the detector now and then.
    const QString progressive =
        testmedia::make("progressive-480.avi", {"-f", "lavfi", "-i", "testsrc2=s=640x480:r=30:d=2",
                                                "-c:v", "mpeg4", "-q:v", "4"});
    for (const QString& path : {woven, progressive}) {
        av::InputPtr input = open(path);
        ASSERT_TRUE(input);
        const AVStream* stream = input->streams[0];
        ASSERT_TRUE(av::mayBeInterlacedUnflagged(stream));
        EXPECT_EQ(av::deinterlaceChain(local(path), stream),
                  path == woven ? "yadif=deint=all" : "");
    }
}

TEST(AvSourceFilters, ARawStreamIsMeasuredByReadingItWithinItsBudget)
{
    const QString raw =
        testmedia::make("raw12s.h264", {"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=12", "-c:v",
                                        "libx264", "-preset", "ultrafast"});
    av::InputPtr input = open(raw);
    ASSERT_TRUE(input);
    ASSERT_EQ(input->duration, AV_NOPTS_VALUE); // the case at hand
    const av::ScannedDuration whole = av::scanDuration(local(raw));
    EXPECT_TRUE(whole.complete);
    EXPECT_NEAR(whole.seconds, 12.0, 0.1);
    const av::ScannedDuration cut = av::scanDuration(local(raw), 0.0);
    EXPECT_FALSE(cut.complete);
    EXPECT_LT(cut.seconds, 12.0);
    EXPECT_EQ(av::scanDuration("/nonexistent.h264").seconds, 0.0);

    // Two programs joined, the clock starting over: read on one clock, and what a short
    // reading found tells the pace of the rest.
    const QString joined = testmedia::folder() + "/joined12s.vob";
    if (!QFile::exists(joined)) {
        const QString part =
            testmedia::make("part6s.vob", {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=6",
                                           "-c:v", "mpeg2video", "-q:v", "2", "-f", "vob"});
        QFile in(part), out(joined + ".part");
        ASSERT_TRUE(in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
        const QByteArray bytes = in.readAll();
        out.write(bytes + bytes);
        out.close();
        ASSERT_TRUE(QFile::rename(joined + ".part", joined) || QFile::exists(joined));
    }
    EXPECT_NEAR(av::scanDuration(local(joined)).seconds, 12.0, 0.1);
    const av::ScannedDuration start = av::scanDuration(local(joined), 0.0);
    ASSERT_FALSE(start.complete);
    ASSERT_GT(start.share, 0.0);
    EXPECT_NEAR(start.seconds / start.share, 12.0, 3.0);
}
