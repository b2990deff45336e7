// Opening a source: what is no file is refused with a reason, a name is a file name
// whatever it holds, a cover picture is no video, and a decoder that cannot start says
// why.
#include "av/input.h"

#include "common/testmedia.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

std::string local(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// Works in `folder` while it lives, so that names are relative to it.
class InFolder
{
public:
    explicit InFolder(const QString& folder) : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(folder);
    }
    ~InFolder() { QDir::setCurrent(m_previous); }

private:
    QString m_previous;
};

QString coverFile(const QString& extension, const QStringList& codecs)
{
    return testmedia::make("cover." + extension,
                           QStringList{"-f", "lavfi", "-i", "sine=duration=2", "-f", "lavfi", "-i",
                                       "color=c=red:size=64x64:duration=0.04", "-map", "0:a",
                                       "-map", "1:v"} +
                               codecs);
}

} // namespace

TEST(AvInput, WhatIsNoFileIsRefusedWithAReason)
{
    QTemporaryDir dir;
    const std::string fifo = local(dir.filePath("pipe.avi"));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string socketPath = local(dir.filePath("socket.avi"));
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    QFile(dir.filePath("empty.avi")).open(QIODevice::WriteOnly);
    QDir(dir.path()).mkdir("folder.avi");

    const struct
    {
        std::string path;
        std::string reason;
    } cases[] = {
        {fifo, "pipe or a device"},
        {socketPath, "pipe or a device"},
        {"/dev/zero", "pipe or a device"},
        {"/dev/null", "pipe or a device"},
        {local(dir.filePath("missing.avi")), av::errorText(AVERROR(ENOENT))},
        {local(dir.filePath("empty.avi")), av::errorText(AVERROR_INVALIDDATA)},
        {local(dir.filePath("folder.avi")), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        av::Status error;
        auto opening =
            std::async(std::launch::async, [&] { return av::openInput(c.path, &error); });
        if (opening.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ADD_FAILURE() << "still waiting for a writer";
            // A writer that comes and goes ends the wait.
            ::close(::open(c.path.c_str(), O_WRONLY | O_NONBLOCK));
        }
        EXPECT_FALSE(opening.get());
        EXPECT_FALSE(error.ok());
        EXPECT_NE(error.error().find(c.reason), std::string::npos) << error.error();
    }
    ::close(sock);
}

// Left to FFmpeg, "a:b.avi" names the protocol "a", and "http:x.avi" a web address.
TEST(AvInput, NamesWithAColonAreFileNames)
{
    const QString clip = testmedia::clip("avi", 1);
    ASSERT_FALSE(clip.isEmpty());
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("sub"));
    InFolder here(dir.path());
    for (const char* name : {"a:b.avi", "http:c.avi", "file:d.avi", "sub/e:f.avi", "g.avi"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(QFile::copy(clip, name));
        av::Status error;
        av::InputPtr input = av::openInput(name, &error);
        ASSERT_TRUE(input) << error.error();
        EXPECT_TRUE(av::readStreamInfo(input.get()).ok());
        const av::StreamChoice streams = av::chooseStreams(input.get());
        EXPECT_GE(streams.video, 0);
        EXPECT_GE(streams.audio, 0);
    }
}

TEST(AvInput, ACoverPictureIsNotChosenAsVideo)
{
    const struct
    {
        QString path;
        bool video;
        bool audio;
    } cases[] = {
        {coverFile("mp3", {"-c:a", "libmp3lame", "-c:v", "mjpeg"}), false, true},
        {coverFile("m4a", {"-c:a", "aac", "-c:v", "png", "-disposition:v", "attached_pic"}), false,
         true},
        {testmedia::clip("mov", 1), true, true},
        {testmedia::videoOnly("avi", 1), true, false},
        {testmedia::audioOnly("wav", 1), false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        ASSERT_FALSE(c.path.isEmpty());
        av::Status error;
        av::InputPtr input = av::openInput(local(c.path), &error);
        ASSERT_TRUE(input) << error.error();
        ASSERT_TRUE(av::readStreamInfo(input.get()).ok());
        const av::StreamChoice streams = av::chooseStreams(input.get());
        EXPECT_EQ(streams.video >= 0, c.video);
        EXPECT_EQ(streams.audio >= 0, c.audio);
        if (streams.video >= 0) {
            const AVStream* video = input->streams[streams.video];
            EXPECT_EQ(video->codecpar->codec_type, AVMEDIA_TYPE_VIDEO);
            EXPECT_FALSE(video->disposition & AV_DISPOSITION_ATTACHED_PIC);
        }
        if (streams.audio >= 0) {
            EXPECT_EQ(input->streams[streams.audio]->codecpar->codec_type, AVMEDIA_TYPE_AUDIO);
        }
        for (int index : {streams.video, streams.audio}) {
            if (index >= 0) {
                EXPECT_TRUE(av::openDecoder(input->streams[index], &error)) << error.error();
            }
        }
    }
}

TEST(AvInput, ADecoderThatCannotStartSaysWhy)
{
    const struct
    {
        AVMediaType type;
        AVCodecID codec;
        int channels;
        std::string reason;
    } cases[] = {
        {AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_NONE, 0, "no decoder for none"},
        {AVMEDIA_TYPE_DATA, AV_CODEC_ID_BIN_DATA, 0, "no decoder for bin_data"},
        // Sound without channels cannot be decoded.
        {AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_PCM_S16LE, 0,
         "cannot open the pcm_s16le decoder: " + av::errorText(AVERROR(EINVAL))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        av::InputPtr container(avformat_alloc_context());
        AVStream* stream = avformat_new_stream(container.get(), nullptr);
        ASSERT_TRUE(stream);
        stream->codecpar->codec_type = c.type;
        stream->codecpar->codec_id = c.codec;
        stream->codecpar->sample_rate = 44100;
        stream->codecpar->ch_layout.nb_channels = c.channels;
        stream->time_base = AVRational{1, 44100};
        av::Status error;
        EXPECT_FALSE(av::openDecoder(stream, &error));
        EXPECT_EQ(error.error(), c.reason);
    }
}
