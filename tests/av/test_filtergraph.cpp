// A stream's filter graph: chains it cannot build say why, a stream ends at the end of
// its last frame, frames of another shape are told apart, sound comes in the frame size
// asked for.
#include "av/filtergraph.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr AVRational kFrameTime{1, 25};

av::FramePtr picture(int width, int height, AVPixelFormat format, int64_t pts = 0)
{
    av::FramePtr frame = av::makeFrame();
    frame->width = width;
    frame->height = height;
    frame->format = format;
    frame->pts = pts;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return {};
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS && frame->buf[plane]; ++plane)
        std::fill_n(frame->buf[plane]->data, frame->buf[plane]->size, uint8_t(128));
    return frame;
}

av::FramePtr sound(int rate, int channels, AVSampleFormat format, int samples, int64_t pts = 0)
{
    av::FramePtr frame = av::makeFrame();
    frame->sample_rate = rate;
    av_channel_layout_default(&frame->ch_layout, channels);
    frame->format = format;
    frame->nb_samples = samples;
    frame->pts = pts;
    if (av_frame_get_buffer(frame.get(), 0) < 0 ||
        av_samples_set_silence(frame->extended_data, 0, samples, channels, format) < 0)
        return {};
    return frame;
}

av::FilterGraph::Options noOptions()
{
    return {};
}

// Every frame the graph still gives; the sizes (pictures: 1 each, sound: samples) in order.
std::vector<int> drain(av::FilterGraph& graph)
{
    std::vector<int> sizes;
    av::FramePtr out = av::makeFrame();
    for (;;) {
        const av::FilterGraph::Flow flow = graph.receive(out.get());
        if (flow != av::FilterGraph::Flow::Frame) {
            EXPECT_EQ(flow, av::FilterGraph::Flow::Ended) << graph.failure().error();
            return sizes;
        }
        sizes.push_back(out->nb_samples > 0 ? out->nb_samples : 1);
        av_frame_unref(out.get());
    }
}

} // namespace

TEST(AvFilterGraph, AChainThatCannotBeBuiltSaysWhy)
{
    const struct
    {
        std::string chain;
        bool checks; // what check() can tell before a frame is known
        bool builds; // with a 320x240 picture
        int code;    // FFmpeg's reason; 0 for any
    } cases[] = {
        {"nosuchfilter", false, false, 0},
        {"scale=w=320:nosuchoption=1", false, false, AVERROR_OPTION_NOT_FOUND},
        {"trim=start=soon", false, false, 0},
        {"scale=320:240,,format=yuv420p", false, false, 0},
        // Well formed, but a 320x240 picture holds no 640x480 crop. (A scale too wide
        // fails as well, but FFmpeg 5.1 then leaks its scaler, which the sanitizer build
        // reports.)
        {"crop=w=640:h=480", true, false, 0},
        {"trim=end=1,scale=160:120,format=yuv420p", true, true, 0},
    };
    const av::FramePtr first = picture(320, 240, AV_PIX_FMT_YUV420P);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chain);
        const av::Status checked = av::FilterGraph::check(c.chain);
        EXPECT_EQ(checked.ok(), c.checks) << checked.error();
        av::FilterGraph graph;
        const av::Status built =
            graph.build(AVMEDIA_TYPE_VIDEO, *first, kFrameTime, c.chain, noOptions());
        EXPECT_EQ(built.ok(), c.builds) << built.error();
        for (const av::Status* status : {&checked, &built}) {
            if (status->ok())
                continue;
            EXPECT_NE(status->error().find("'" + c.chain + "'"), std::string::npos)
                << status->error();
            EXPECT_LT(status->code(), 0);
            EXPECT_NE(status->error().find(av::errorText(status->code())), std::string::npos);
            if (c.code) {
                EXPECT_EQ(status->code(), c.code);
            }
        }
        if (!c.builds) {
            av::FramePtr out = av::makeFrame();
            EXPECT_EQ(graph.receive(out.get()), av::FilterGraph::Flow::Failed);
        }
    }

    av::FilterGraph graph;
    av::FramePtr unknown = sound(44100, 2, AV_SAMPLE_FMT_FLTP, 1024);
    unknown->format = AV_SAMPLE_FMT_NB;
    const av::Status built =
        graph.build(AVMEDIA_TYPE_AUDIO, *unknown, AVRational{1, 44100}, "anull", noOptions());
    EXPECT_FALSE(built.ok());
    EXPECT_NE(built.error().find("sample format"), std::string::npos) << built.error();
}

// The rate filter makes pictures until the end of the input: that is where the last
// frame ends, not where it starts, or a still picture and a slide show's last slide
// would lose their time.
TEST(AvFilterGraph, AStreamEndsWhereItsLastFrameEnds)
{
    const struct
    {
        const char* name;
        std::vector<std::pair<int64_t, int64_t>> frames; // pts and span, in 1/25 s
        int pictures;
    } cases[] = {
        {"one still picture for a second", {{0, 25}}, 25},
        {"two slides, the last for 15 frames", {{0, 10}, {10, 15}}, 25},
        {"frames of their own length", {{0, 1}, {1, 1}, {2, 1}}, 3},
        {"a span too short to count", {{0, 0}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        av::FilterGraph graph;
        for (const auto& [pts, span] : c.frames) {
            av::FramePtr frame = picture(64, 48, AV_PIX_FMT_YUV420P, pts);
            if (!graph.built()) {
                ASSERT_TRUE(
                    graph.build(AVMEDIA_TYPE_VIDEO, *frame, kFrameTime, "fps=fps=25", noOptions())
                        .ok());
            }
            ASSERT_TRUE(graph.add(frame.get(), span).ok());
        }
        ASSERT_TRUE(graph.close().ok());
        EXPECT_TRUE(graph.closed());
        EXPECT_EQ(int(drain(graph).size()), c.pictures);
    }

    av::FilterGraph neverBuilt;
    av::FramePtr out = av::makeFrame();
    EXPECT_EQ(neverBuilt.receive(out.get()), av::FilterGraph::Flow::NeedsInput);
    ASSERT_TRUE(neverBuilt.close().ok());
    EXPECT_EQ(neverBuilt.receive(out.get()), av::FilterGraph::Flow::Ended);
}

TEST(AvFilterGraph, FramesOfAnotherShapeAreToldApart)
{
    av::FilterGraph pictures;
    const av::FramePtr first = picture(320, 240, AV_PIX_FMT_YUV420P);
    ASSERT_TRUE(pictures.build(AVMEDIA_TYPE_VIDEO, *first, kFrameTime, "null", noOptions()).ok());
    EXPECT_TRUE(pictures.fits(*picture(320, 240, AV_PIX_FMT_YUV420P, 7)));
    EXPECT_FALSE(pictures.fits(*picture(640, 240, AV_PIX_FMT_YUV420P)));
    EXPECT_FALSE(pictures.fits(*picture(320, 480, AV_PIX_FMT_YUV420P)));
    EXPECT_FALSE(pictures.fits(*picture(320, 240, AV_PIX_FMT_YUV422P)));

    av::FilterGraph sounds;
    const av::FramePtr firstSound = sound(44100, 2, AV_SAMPLE_FMT_FLTP, 1024);
    ASSERT_TRUE(
        sounds.build(AVMEDIA_TYPE_AUDIO, *firstSound, AVRational{1, 44100}, "anull", noOptions())
            .ok());
    EXPECT_TRUE(sounds.fits(*sound(44100, 2, AV_SAMPLE_FMT_FLTP, 333)));
    EXPECT_FALSE(sounds.fits(*sound(48000, 2, AV_SAMPLE_FMT_FLTP, 1024)));
    EXPECT_FALSE(sounds.fits(*sound(44100, 1, AV_SAMPLE_FMT_FLTP, 1024)));
    EXPECT_FALSE(sounds.fits(*sound(44100, 2, AV_SAMPLE_FMT_S16, 1024)));
}

TEST(AvFilterGraph, TheSinkGivesTheFormatAndFrameSizeAskedFor)
{
    av::FilterGraph pictures;
    av::FilterGraph::Options pictureOptions;
    pictureOptions.pixelFormat = AV_PIX_FMT_RGB24;
    av::FramePtr frame = picture(64, 48, AV_PIX_FMT_YUV420P);
    ASSERT_TRUE(
        pictures.build(AVMEDIA_TYPE_VIDEO, *frame, kFrameTime, "null", pictureOptions).ok());
    ASSERT_TRUE(pictures.add(frame.get(), 1).ok());
    av::FramePtr out = av::makeFrame();
    ASSERT_EQ(pictures.receive(out.get()), av::FilterGraph::Flow::Frame);
    EXPECT_EQ(out->format, AV_PIX_FMT_RGB24);

    // Whole frames of 1024 samples, and what is left at the end.
    av::FilterGraph sounds;
    av::FilterGraph::Options soundOptions;
    soundOptions.frameSize = 1024;
    int64_t pts = 0;
    for (int samples : {1000, 1000, 700}) {
        av::FramePtr piece = sound(44100, 2, AV_SAMPLE_FMT_FLTP, samples, pts);
        if (!sounds.built()) {
            ASSERT_TRUE(
                sounds
                    .build(AVMEDIA_TYPE_AUDIO, *piece, AVRational{1, 44100}, "anull", soundOptions)
                    .ok());
        }
        ASSERT_TRUE(sounds.add(piece.get(), samples).ok());
        pts += samples;
    }
    ASSERT_TRUE(sounds.close().ok());
    EXPECT_EQ(drain(sounds), (std::vector<int>{1024, 1024, 652}));
}
