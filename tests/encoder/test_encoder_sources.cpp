// Today's sources through the encoder program: a phone's portrait video comes out
// upright, the sound track and the subtitles asked for are the ones in the file, surround
// keeps its centre, and a track that is not there is refused before anything is written.
#include "encoder/encoderrun.h"

#include "av/handles.h"
#include "common/testmedia.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>

#include <gtest/gtest.h>

using namespace encoderrun;

namespace {

// What an ffmpeg filter prints for the file's sound or first picture: `key`'s number.
double measure(const QString& path, const QStringList& inputArgs, const QString& filterOption,
               const QString& filters, const QString& key)
{
    QString output;
    QStringList args{"-hide_banner"};
    args << inputArgs << "-i" << path << filterOption << filters;
    if (filterOption == "-vf")
        args << "-frames:v"
             << "1";
    args << "-f"
         << "null"
         << "-";
    if (testmedia::run("ffmpeg", args, &output) != 0)
        return -1000;
    const QRegularExpression number(QRegularExpression::escape(key) + "[=:] *(-?[0-9.]+)");
    QRegularExpressionMatchIterator it = number.globalMatch(output);
    double value = -1000;
    while (it.hasNext())
        value = it.next().captured(1).toDouble();
    return value;
}

double loudness(const QString& path, const QString& band = {})
{
    return measure(path, {}, "-af", (band.isEmpty() ? QString() : band + ",") + "volumedetect",
                   "mean_volume");
}

double brightest(const QString& path, double at)
{
    return measure(path, {"-ss", QString::number(at)}, "-vf",
                   "signalstats,metadata=print:key=lavfi.signalstats.YMAX",
                   "lavfi.signalstats.YMAX");
}

class EncoderSources : public ::testing::Test
{
protected:
    QString out(const QString& name) const { return dir.filePath(name); }
    Result convert(const QString& source, const QString& output, const QStringList& extra = {})
    {
        QStringList args{"-i", source, "-s", "320x240", "-aspect", "4:3"};
        args << extra << output;
        return run(args);
    }
    QTemporaryDir dir;
};

// 3 s of black at 640x480 with one subtitle track of pictures, made by `encoder`
// ("dvdsub", "dvbsub"): a white bar over the lower part, x 40-600 and y 400-440, shown
// from 1 s to 2.5 s. ffmpeg draws no text into pictures, so the track is written here.
QString barSubtitlesFilm(const char* encoder)
{
    const QString bar = testmedia::folder() + "/bar-" + encoder + ".mkv";
    const QByteArray barPath = QFile::encodeName(bar + ".part");
    const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
    av::CodecPtr enc = av::makeCodec(codec);
    AVFormatContext* raw = nullptr;
    if (!QFile::exists(bar)) {
        if (!enc || avformat_alloc_output_context2(&raw, nullptr, "matroska", barPath) < 0)
            return {};
        av::OutputPtr output(raw);
        enc->width = 640;
        enc->height = 480;
        enc->time_base = {1, 1000};
        AVStream* stream = avformat_new_stream(output.get(), nullptr);
        if (avcodec_open2(enc.get(), codec, nullptr) < 0 || !stream ||
            avcodec_parameters_from_context(stream->codecpar, enc.get()) < 0 ||
            avio_open(&output->pb, barPath, AVIO_FLAG_WRITE) < 0)
            return {};
        stream->time_base = {1, 1000};
        if (avformat_write_header(output.get(), nullptr) < 0)
            return {};
        std::vector<uint8_t> indexes(560 * 40, 1);
        uint32_t palette[4] = {0x00000000, 0xffffffff, 0xff000000, 0xff808080};
        AVSubtitleRect rect = {};
        rect.x = 40;
        rect.y = 400;
        rect.w = 560;
        rect.h = 40;
        rect.nb_colors = 4;
        rect.type = SUBTITLE_BITMAP;
        rect.data[0] = indexes.data();
        rect.linesize[0] = 560;
        rect.data[1] = reinterpret_cast<uint8_t*>(palette);
        AVSubtitleRect* rects[] = {&rect};
        // The bar, and for DVB (whose time-outs count whole seconds) an empty page that
        // takes it away, as DVB broadcasts do.
        for (int shown = 0; shown < (QByteArray(encoder) == "dvbsub" ? 2 : 1); ++shown) {
            AVSubtitle sub = {};
            sub.end_display_time = 1500;
            sub.num_rects = shown == 0 ? 1 : 0;
            sub.rects = rects;
            sub.pts = (shown == 0 ? 1000 : 2500) * 1000;
            std::vector<uint8_t> data(1 << 20);
            const int size =
                avcodec_encode_subtitle(enc.get(), data.data(), int(data.size()), &sub);
            av::PacketPtr packet = av::makePacket();
            if (size <= 0 || av_new_packet(packet.get(), size) < 0)
                return {};
            std::copy_n(data.data(), size, packet->data);
            packet->pts = packet->dts = sub.pts / 1000;
            packet->duration = shown == 0 ? 1500 : 1;
            if (av_interleaved_write_frame(output.get(), packet.get()) < 0)
                return {};
        }
        if (av_write_trailer(output.get()) < 0 || !QFile::rename(bar + ".part", bar))
            return {};
    }
    return testmedia::make(QString("bar-film-") + encoder + ".mkv",
                           {"-f", "lavfi", "-i", "color=black:s=640x480:d=3", "-i", bar, "-map",
                            "0:v", "-map", "1:s", "-c:v", "mpeg4", "-c:s", "copy"});
}

} // namespace

TEST_F(EncoderSources, APortraitPhoneVideoStandsUprightPillarboxed)
{
    // A white band at the top of the stored picture; the file's matrix turns it
    // counter-clockwise, as ffmpeg's own player shows it: the band stands at the left.
    const QString band = testmedia::make(
        "band320.mp4",
        {"-f", "lavfi", "-i", "color=black:s=320x240:d=2,drawbox=y=0:w=320:h=60:c=white:t=fill",
         "-c:v", "libx264", "-pix_fmt", "yuv420p"});
    const QString portrait =
        testmedia::make("portrait.mp4", {"-i", band, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
    const Result result = convert(portrait, out("portrait.mp4"));
    ASSERT_EQ(result.exitCode, 0) << result.output.toStdString();
    // Upright, the 240x320 picture is 180 wide in the frame, from x 70 to 250; its band
    // is its left quarter.
    EXPECT_GT(firstFrameLuma(out("portrait.mp4"), {}, "30:160:75:40"), 180);
    EXPECT_LT(firstFrameLuma(out("portrait.mp4"), {}, "50:160:10:40"), 30); // the bar
    EXPECT_LT(firstFrameLuma(out("portrait.mp4"), {}, "50:160:180:40"), 30);
}

TEST_F(EncoderSources, TheSoundTrackAskedForIsTakenAndOneMissingIsRefused)
{
    const QString path =
        testmedia::make("tones.mkv", testmedia::filmArgs("320x240", 2, 440, 1760, {},
                                                         {"-metadata:s:a:0", "language=eng",
                                                          "-metadata:s:a:1", "language=fre"}));
    const Result second = convert(path, out("second.mp4"), {"-atrack", "2"});
    ASSERT_EQ(second.exitCode, 0) << second.output.toStdString();
    const Result first = convert(path, out("first.mp4"));
    ASSERT_EQ(first.exitCode, 0) << first.output.toStdString();
    // The tone tells the track: the high one passes a high-pass filter, the low one not.
    const QString high = "highpass=f=1000,highpass=f=1000";
    EXPECT_GT(loudness(out("second.mp4"), high), loudness(out("second.mp4")) - 3);
    EXPECT_LT(loudness(out("first.mp4"), high), loudness(out("first.mp4")) - 20);

    const Result missing = convert(path, out("missing.mp4"), {"-atrack", "3"});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_TRUE(missing.output.contains("there is no sound track 3; the file has 2"))
        << missing.output.toStdString();
    EXPECT_FALSE(QFile::exists(out("missing.mp4")));
}

TEST_F(EncoderSources, TextSubtitlesAreBurnedInFromTheFileOrBesideIt)
{
    const QString cue = testmedia::cue(testmedia::folder() + "/burn.srt");
    const QString inFile =
        testmedia::make("burn.mkv", {"-f", "lavfi", "-i", "color=black:s=640x480:d=3", "-i", cue,
                                     "-c:v", "mpeg4", "-c:s", "srt"});
    const struct
    {
        QString name;
        QStringList choice;
    } cases[] = {{"track.mp4", {"-subtitles", "1"}}, {"file.mp4", {"-subtitles", cue}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const Result result = convert(inFile, out(c.name), c.choice);
        ASSERT_EQ(result.exitCode, 0) << result.output.toStdString();
        EXPECT_GT(brightest(out(c.name), 1.6), 150);
        EXPECT_LT(brightest(out(c.name), 0.4), 40);
    }
    // A span later in a file whose clock starts at 10 s: the track's cue keeps its place
    // on that clock, the file's its place from the start, both 1 s earlier in the output.
    const QString late = testmedia::make(
        "burnlate.mkv", {"-f", "lavfi", "-i", "color=black:s=640x480:d=3", "-i", cue, "-c:v",
                         "mpeg4", "-c:s", "srt", "-output_ts_offset", "10"});
    for (const auto& c : cases) {
        SCOPED_TRACE(("late " + c.name).toStdString());
        const Result result =
            convert(late, out("late" + c.name), QStringList{"-ss", "1"} + c.choice);
        ASSERT_EQ(result.exitCode, 0) << result.output.toStdString();
        EXPECT_GT(brightest(out("late" + c.name), 0.6), 150);
        EXPECT_LT(brightest(out("late" + c.name), 1.8), 40);
    }
    // Without a choice nothing is drawn, as before.
    ASSERT_EQ(convert(inFile, out("none.mp4")).exitCode, 0);
    EXPECT_LT(brightest(out("none.mp4"), 1.6), 40);

    const Result missing = convert(inFile, out("missing.mp4"), {"-subtitles", "2"});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_TRUE(missing.output.contains("there is no subtitle track 2; the file has 1"))
        << missing.output.toStdString();
    EXPECT_FALSE(QFile::exists(out("missing.mp4")));
}

TEST_F(EncoderSources, PictureSubtitlesAreBurnedInScaledWithThePicture)
{
    for (const char* encoder : {"dvdsub", "dvbsub"}) {
        SCOPED_TRACE(encoder);
        const QString film = barSubtitlesFilm(encoder);
        ASSERT_FALSE(film.isEmpty());
        // At 320x240 the bar lies over x 20-300, y 200-220; the rest stays black.
        auto bar = [](const QString& path, const char* at) {
            return firstFrameLuma(path, at, "270:14:25:203");
        };
        const QString whole = out(QString(encoder) + ".mp4");
        const Result result = convert(film, whole, {"-subtitles", "1"});
        ASSERT_EQ(result.exitCode, 0) << result.output.toStdString();
        EXPECT_GT(bar(whole, "1.6"), 180);
        EXPECT_LT(firstFrameLuma(whole, "1.6", "320:190:0:0"), 30);
        EXPECT_LT(bar(whole, "0.4"), 30);
        EXPECT_LT(bar(whole, "2.8"), 30);
        // From 1.5 s on: the bar, shown since before the span, is there from its start.
        const QString late = out(QString("late-") + encoder + ".mp4");
        ASSERT_EQ(convert(film, late, {"-subtitles", "1", "-ss", "1.5"}).exitCode, 0);
        EXPECT_GT(bar(late, "0.2"), 180);
        EXPECT_LT(bar(late, "1.2"), 30);
    }
}

TEST_F(EncoderSources, SurroundKeepsItsCentreInStereo)
{
    // A voice only in the centre of 5.1 AC-3 and of 7.1 FLAC.
    for (const QString& kind : {QString("ac3"), QString("flac")}) {
        SCOPED_TRACE(kind.toStdString());
        const QString layout = kind == "ac3" ? "5.1" : "7.1";
        const QString path = testmedia::make(
            "centre-" + kind + ".mkv",
            {"-f", "lavfi", "-i", "color=black:s=320x240:d=2", "-f", "lavfi", "-i", "sine=440:d=2",
             "-af", "pan=" + layout + "|FC=c0", "-c:v", "mpeg4", "-c:a", kind});
        const Result result = convert(path, out(kind + ".mp4"), {"-ac", "2"});
        ASSERT_EQ(result.exitCode, 0) << result.output.toStdString();
        const double source = loudness(path); // the centre, spread over all channels
        const double centreAlone = source + 10 * std::log10(double(layout == "5.1" ? 6 : 8));
        // Mixed into both sides at -3 dB.
        EXPECT_NEAR(loudness(out(kind + ".mp4")), centreAlone - 3, 1.5);
    }
}
