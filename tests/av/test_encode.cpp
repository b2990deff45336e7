// Draining an encoder: every frame sent comes out as a packet once the end is sent, a
// writer's failure stops the work with the writer's reason, a frame the encoder refuses
// says so.
#include "av/encode.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace {

constexpr int kWidth = 64, kHeight = 48;

// An MPEG-4 encoder that holds pictures back for its B-frames.
av::CodecPtr pictureEncoder()
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    av::CodecPtr encoder = av::makeCodec(codec);
    encoder->width = kWidth;
    encoder->height = kHeight;
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->time_base = AVRational{1, 25};
    encoder->max_b_frames = 2;
    encoder->gop_size = 12;
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0)
        return {};
    return encoder;
}

av::FramePtr picture(int64_t pts)
{
    av::FramePtr frame = av::makeFrame();
    frame->width = kWidth;
    frame->height = kHeight;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->pts = pts;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return {};
    for (int plane = 0; plane < AV_NUM_DATA_POINTERS && frame->buf[plane]; ++plane)
        std::fill_n(frame->buf[plane]->data, frame->buf[plane]->size, uint8_t(16 + 20 * pts));
    return frame;
}

} // namespace

TEST(AvEncode, TheEndBringsOutEveryPacketTheEncoderHeld)
{
    av::CodecPtr encoder = pictureEncoder();
    ASSERT_TRUE(encoder);
    av::PacketPtr scratch = av::makePacket();
    std::vector<int64_t> written;
    const av::PacketWriter write = [&](AVPacket* packet) {
        written.push_back(packet->pts);
        return av::Status();
    };
    constexpr int kFrames = 10;
    for (int i = 0; i < kFrames; ++i)
        ASSERT_TRUE(av::encode(encoder.get(), picture(i).get(), scratch.get(), write).ok());
    EXPECT_LT(int(written.size()), kFrames) << "the encoder held nothing back";
    ASSERT_TRUE(av::encode(encoder.get(), nullptr, scratch.get(), write).ok());
    std::sort(written.begin(), written.end());
    std::vector<int64_t> expected(kFrames);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(written, expected);
    // A second end finds nothing more, and is no failure.
    EXPECT_TRUE(av::encode(encoder.get(), nullptr, scratch.get(), write).ok());
    EXPECT_EQ(int(written.size()), kFrames);
}

TEST(AvEncode, FailuresStopWithTheirReason)
{
    // A writer that fails: its own words come back, and nothing more is written.
    av::CodecPtr encoder = pictureEncoder();
    ASSERT_TRUE(encoder);
    av::PacketPtr scratch = av::makePacket();
    int writes = 0;
    const av::PacketWriter failingWrite = [&](AVPacket*) {
        ++writes;
        return av::Status::failure("cannot write out.mp4", AVERROR(ENOSPC));
    };
    av::Status status;
    for (int i = 0; i < 5 && status.ok(); ++i)
        status = av::encode(encoder.get(), picture(i).get(), scratch.get(), failingWrite);
    if (status.ok())
        status = av::encode(encoder.get(), nullptr, scratch.get(), failingWrite);
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(status.error(), "cannot write out.mp4: " + av::errorText(AVERROR(ENOSPC)));
    EXPECT_EQ(status.code(), AVERROR(ENOSPC));

    // More samples than an AAC frame holds.
    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    av::CodecPtr sound = av::makeCodec(aac);
    sound->sample_fmt = AV_SAMPLE_FMT_FLTP;
    sound->sample_rate = 48000;
    av_channel_layout_default(&sound->ch_layout, 2);
    sound->time_base = AVRational{1, 48000};
    ASSERT_EQ(avcodec_open2(sound.get(), aac, nullptr), 0);
    av::FramePtr tooLong = av::makeFrame();
    tooLong->format = AV_SAMPLE_FMT_FLTP;
    tooLong->sample_rate = 48000;
    av_channel_layout_default(&tooLong->ch_layout, 2);
    tooLong->nb_samples = sound->frame_size * 2;
    ASSERT_EQ(av_frame_get_buffer(tooLong.get(), 0), 0);
    ASSERT_GE(av_samples_set_silence(tooLong->extended_data, 0, tooLong->nb_samples, 2,
                                     AV_SAMPLE_FMT_FLTP),
              0);
    const av::Status refused = av::encode(sound.get(), tooLong.get(), scratch.get(),
                                          [](AVPacket*) { return av::Status(); });
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(),
              "the aac encoder refused a frame: " + av::errorText(AVERROR(EINVAL)));
}
