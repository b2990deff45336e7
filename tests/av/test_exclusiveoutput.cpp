// The exclusive output: made once, written only through its own descriptor, removed only
// while its name still leads to it.
#include "av/exclusiveoutput.h"

#include "av/handles.h"
#include "common/testmedia.h"

#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using trelvo::ExclusiveOutput;

namespace {

// The muxer writes through the exclusive output, which the output owner leaves alone.
using FormatPtr = av::OutputPtr;

constexpr int kFrames = 40;

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// Top-level box types of an MP4, in file order.
std::vector<std::string> topLevelBoxes(const std::string& path)
{
    const std::string data = readAll(path);
    std::vector<std::string> boxes;
    size_t at = 0;
    while (at + 8 <= data.size()) {
        uint64_t size = 0;
        for (int i = 0; i < 4; ++i)
            size = size << 8 | uint8_t(data[at + i]);
        boxes.push_back(data.substr(at + 4, 4));
        if (size < 8)
            break;
        at += size;
    }
    return boxes;
}

// Noise pictures, so that the file is several times the size of an I/O buffer and moving
// the index to the front reads and writes in many rounds.
int writeFaststartMp4(ExclusiveOutput& output)
{
    AVFormatContext* raw = nullptr;
    if (int ret = avformat_alloc_output_context2(&raw, nullptr, "mp4", nullptr); ret < 0)
        return ret;
    FormatPtr ctx(raw);
    if (int ret = output.attach(ctx.get()); ret < 0)
        return ret;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    av::CodecPtr enc = av::makeCodec(codec);
    enc->width = 320;
    enc->height = 240;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = AVRational{1, 25};
    enc->bit_rate = 20000000;
    enc->gop_size = 5;
    enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (int ret = avcodec_open2(enc.get(), codec, nullptr); ret < 0)
        return ret;
    AVStream* stream = avformat_new_stream(ctx.get(), nullptr);
    avcodec_parameters_from_context(stream->codecpar, enc.get());
    stream->time_base = enc->time_base;
    av::Dictionary options;
    int ret = options.set("movflags", "+faststart");
    if (ret >= 0)
        ret = avformat_write_header(ctx.get(), options.address());
    if (ret < 0)
        return ret;

    av::FramePtr frame = av::makeFrame();
    av::PacketPtr packet = av::makePacket();
    frame->format = enc->pix_fmt;
    frame->width = enc->width;
    frame->height = enc->height;
    av_frame_get_buffer(frame.get(), 0);
    uint32_t seed = 7;
    auto drain = [&]() {
        int rc;
        while ((rc = avcodec_receive_packet(enc.get(), packet.get())) >= 0) {
            packet->duration = 1; // else the last picture gets no time and is cut
            av_packet_rescale_ts(packet.get(), enc->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if ((rc = av_interleaved_write_frame(ctx.get(), packet.get())) < 0)
                return rc;
        }
        return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF ? 0 : rc;
    };
    for (int i = 0; i < kFrames; ++i) {
        av_frame_make_writable(frame.get());
        for (int plane = 0; plane < 3; ++plane) {
            const int rows = plane ? enc->height / 2 : enc->height;
            for (int y = 0; y < rows; ++y) {
                uint8_t* line = frame->data[plane] + y * frame->linesize[plane];
                for (int x = 0; x < (plane ? enc->width / 2 : enc->width); ++x) {
                    seed = seed * 1103515245u + 12345u;
                    line[x] = uint8_t(16 + (seed >> 16) % 220);
                }
            }
        }
        frame->pts = i;
        if ((ret = avcodec_send_frame(enc.get(), frame.get())) < 0 || (ret = drain()) < 0)
            return ret;
    }
    if ((ret = avcodec_send_frame(enc.get(), nullptr)) < 0 || (ret = drain()) < 0)
        return ret;
    if ((ret = av_write_trailer(ctx.get())) < 0)
        return ret;
    return output.flush();
}

int decodedFrames(const std::string& path, QString* errors)
{
    QString output;
    testmedia::run("ffprobe",
                   {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                    "stream=nb_read_frames", "-of", "csv=p=0", QString::fromStdString(path)},
                   &output);
    testmedia::run("ffmpeg", {"-v", "error", "-i", QString::fromStdString(path), "-f", "null", "-"},
                   errors);
    return output.trimmed().toInt();
}

class ExclusiveOutputTest : public ::testing::Test
{
protected:
    std::string path(const char* name) const { return m_dir.filePath(name).toStdString(); }
    QTemporaryDir m_dir;
};

} // namespace

// Someone who can write to the folder puts something else at the name while we write.
// Nothing of theirs is read or written; all of ours lands in the file we made.
TEST_F(ExclusiveOutputTest, WritesLandInOurFileWhateverTheNameLeadsToMeanwhile)
{
    const struct
    {
        const char* name;
        bool symbolic;
    } swaps[] = {{"a link to another file", true}, {"another file itself", false}};
    int n = 0;
    for (const auto& swap : swaps) {
        SCOPED_TRACE(swap.name);
        const std::string out = path("out") + std::to_string(n);
        const std::string kept = path("kept") + std::to_string(n);
        const std::string victim = path("victim") + std::to_string(n++);
        const std::string victimBytes(100000, 'v');
        writeFile(victim, victimBytes);

        int error = 0;
        auto output = ExclusiveOutput::create(out, &error);
        ASSERT_TRUE(output) << std::strerror(error);
        const std::string at = output->workingPath(); // the name it is written under
        ASSERT_EQ(::link(at.c_str(), kept.c_str()), 0);
        ASSERT_EQ(::unlink(at.c_str()), 0);
        ASSERT_EQ(swap.symbolic ? ::symlink(victim.c_str(), at.c_str())
                                : ::link(victim.c_str(), at.c_str()),
                  0);

        ASSERT_EQ(writeFaststartMp4(*output), 0);
        EXPECT_FALSE(output->keep()); // what is at the working name is not ours to name
        output.reset();               // not kept: must not remove what is now at the name

        EXPECT_TRUE(readAll(victim) == victimBytes) << "the other file was changed";
        struct stat info = {};
        EXPECT_EQ(::lstat(at.c_str(), &info), 0) << "what was put at the name was removed";
        EXPECT_NE(::lstat(out.c_str(), &info), 0) << "another file took our final name";
        const std::vector<std::string> boxes = topLevelBoxes(kept);
        const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
        const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
        EXPECT_TRUE(moov != boxes.end() && moov < mdat) << "the index is not at the front";
        EXPECT_GT(readAll(kept).size(), size_t(300000));
        QString errors;
        EXPECT_EQ(decodedFrames(kept, &errors), kFrames);
        EXPECT_TRUE(errors.trimmed().isEmpty()) << errors.toStdString();
    }
}

TEST_F(ExclusiveOutputTest, NeverOpensWhatIsAlreadyAtTheName)
{
    writeFile(path("file"), "theirs");
    ::symlink(path("file").c_str(), path("link").c_str());
    ::symlink(path("nowhere").c_str(), path("dangling").c_str());
    ::mkdir(path("folder").c_str(), 0755);
    const struct
    {
        std::string at;
        int error;
    } cases[] = {
        {path("file"), EEXIST},     {path("link"), EEXIST},
        {path("dangling"), EEXIST}, // the link's target must not be made either
        {path("folder"), EEXIST},   {path("missing/out.mp4"), ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at);
        int error = 0;
        EXPECT_FALSE(ExclusiveOutput::create(c.at, &error));
        EXPECT_EQ(error, c.error) << std::strerror(error);
    }
    EXPECT_EQ(readAll(path("file")), "theirs");
    struct stat info = {};
    EXPECT_NE(::lstat(path("nowhere").c_str(), &info), 0);
}

TEST_F(ExclusiveOutputTest, RemovesTheNameOnlyWhileItLeadsToOurFile)
{
    enum Change
    {
        Nothing,
        OtherFile,
        LinkToOurs,
        Gone
    };
    const struct
    {
        const char* name;
        Change change;
        bool kept;
        bool removed;
    } cases[] = {
        {"untouched", Nothing, false, true},
        {"untouched and kept", Nothing, true, false},
        {"another file moved in", OtherFile, false, false},
        {"a link to our file moved in", LinkToOurs, false, false},
        {"removed by someone", Gone, false, false},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = path("out") + std::to_string(n);
        const std::string aside = path("aside") + std::to_string(n++);
        int error = 0;
        auto output = ExclusiveOutput::create(out, &error);
        ASSERT_TRUE(output);
        const std::string at = output->workingPath();
        ASSERT_EQ(::write(output->fd(), "ours", 4), 4);
        if (c.change == OtherFile) {
            writeFile(aside, "theirs");
            ::rename(aside.c_str(), at.c_str());
        } else if (c.change == LinkToOurs) {
            ::rename(at.c_str(), aside.c_str());
            ::symlink(aside.c_str(), at.c_str());
        } else if (c.change == Gone) {
            ::unlink(at.c_str());
        }
        if (c.kept)
            ASSERT_TRUE(output->keep());
        else
            EXPECT_EQ(output->removeIfOurs(), c.removed);
        const std::string before = readAll(at);
        output.reset();
        struct stat info = {};
        EXPECT_EQ(::lstat(at.c_str(), &info) == 0, !c.removed && !c.kept && c.change != Gone);
        EXPECT_EQ(readAll(at), before);
        EXPECT_EQ(readAll(out), c.kept ? "ours" : "");
        if (c.change == LinkToOurs) {
            EXPECT_EQ(readAll(aside), "ours");
        }
    }
}

// A file has its final name only once whole: until then it is written under a working
// name that says so, locked; it never takes a name another file took meanwhile, and no
// two processes write files of one name into one folder at once.
TEST_F(ExclusiveOutputTest, AFileTakesItsNameOnlyWhenWhole)
{
    int error = 0;
    auto output = ExclusiveOutput::create(path("film.mp4"), &error);
    ASSERT_TRUE(output);
    const std::string working = output->workingPath();
    EXPECT_EQ(working, path(".film.mp4.") + std::to_string(::getpid()) + ".part");
    struct stat info = {};
    EXPECT_NE(::lstat(path("film.mp4").c_str(), &info), 0);
    const int other = ::open(working.c_str(), O_RDONLY);
    EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0) << "the working file is not locked";
    ::close(other);
    // Another process finds the name in use; a child stands for it.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(ExclusiveOutput::create(path("film.mp4"), &error) || error != EEXIST ? 1 : 0);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    ASSERT_EQ(::write(output->fd(), "ours", 4), 4);
    EXPECT_TRUE(output->keep());
    EXPECT_EQ(readAll(path("film.mp4")), "ours");
    EXPECT_NE(::lstat(working.c_str(), &info), 0);

    // Someone took the name while we wrote: theirs stays, ours goes.
    auto late = ExclusiveOutput::create(path("late.mp4"), &error);
    ASSERT_TRUE(late);
    writeFile(path("late.mp4"), "theirs");
    EXPECT_FALSE(late->keep(&error));
    EXPECT_EQ(error, EEXIST);
    const std::string lateWorking = late->workingPath();
    late.reset();
    EXPECT_EQ(readAll(path("late.mp4")), "theirs");
    EXPECT_NE(::lstat(lateWorking.c_str(), &info), 0);
}

TEST_F(ExclusiveOutputTest, TheMuxerReopensItsOwnFileOnly)
{
    int error = 0;
    auto output = ExclusiveOutput::create(path("out.mp4"), &error);
    ASSERT_TRUE(output);
    ::symlink(path("out.mp4").c_str(), path("alias.mp4").c_str());
    AVFormatContext* raw = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&raw, nullptr, "mp4", nullptr), 0);
    FormatPtr ctx(raw);
    ASSERT_EQ(output->attach(ctx.get()), 0);
    avio_write(ctx->pb, reinterpret_cast<const unsigned char*>("0123456789"), 10);
    ASSERT_EQ(output->flush(), 0);

    for (const std::string& other :
         {path("other.mp4"), "file:" + path("out.mp4"), path("alias.mp4"), std::string()}) {
        SCOPED_TRACE(other);
        AVIOContext* pb = nullptr;
        EXPECT_EQ(ctx->io_open(ctx.get(), &pb, other.c_str(), AVIO_FLAG_READ, nullptr),
                  AVERROR(EPERM));
        EXPECT_EQ(pb, nullptr);
    }
    struct stat info = {};
    EXPECT_NE(::lstat(path("other.mp4").c_str(), &info), 0);

    // Reading back from the start leaves the writer where it was, and the other way round.
    AVIOContext* reader = nullptr;
    ASSERT_EQ(ctx->io_open(ctx.get(), &reader, path("out.mp4").c_str(), AVIO_FLAG_READ, nullptr),
              0);
    unsigned char head[4] = {};
    EXPECT_EQ(avio_read(reader, head, 4), 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(head), 4), "0123");
    avio_write(ctx->pb, reinterpret_cast<const unsigned char*>("AB"), 2);
    ASSERT_EQ(output->flush(), 0);
    EXPECT_EQ(avio_tell(ctx->pb), 12);
    EXPECT_EQ(avio_size(reader), 12);
    EXPECT_EQ(avio_seek(reader, 10, SEEK_SET), 10);
    EXPECT_EQ(avio_read(reader, head, 4), 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(head), 2), "AB");
    EXPECT_EQ(ctx->io_close2(ctx.get(), reader), 0);
    output->keep();
    output.reset();
    EXPECT_EQ(readAll(path("out.mp4")), "0123456789AB");
}
