// Reading a piece ahead on a thread of its own gives what reading it in place gives, in
// the same order and times, passes on the source that failed, and can be left midway.
#include "av/readahead.h"

#include "common/testmedia.h"

#include <QFile>

#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

using Frames = std::vector<std::pair<av::Source::Kind, double>>;

std::unique_ptr<av::Piece> openPiece(const QString& path, double seconds)
{
    const av::Segment picture{QFile::encodeName(path).toStdString(), 0.0, seconds};
    const av::Segment sound = picture;
    auto piece = std::make_unique<av::Piece>();
    if (!piece->open(&picture, &sound))
        return nullptr;
    av::VideoShape small;
    small.width = 160;
    small.height = 120;
    av::AudioShape frames;
    frames.frameSize = 1024;
    for (const auto& source : piece->sources()) {
        if (!source->setVideoShape(small) || !source->setAudioShape(frames))
            return nullptr;
    }
    return piece;
}

template <typename Next> Frames readAll(Next next)
{
    Frames frames;
    av::FramePtr frame = av::makeFrame();
    AVRational timeBase{1, 1};
    for (av::Source::Kind kind; (kind = next(frame.get(), &timeBase)) != av::Source::Kind::End;) {
        frames.emplace_back(kind, frame->pts * av_q2d(timeBase));
        av_frame_unref(frame.get());
    }
    return frames;
}

} // namespace

TEST(ReadAhead, GivesWhatThePieceGivesAndCanBeLeftMidway)
{
    const QString clip = testmedia::clip("avi", 2);
    ASSERT_FALSE(clip.isEmpty());
    auto direct = openPiece(clip, 2.0);
    auto ahead = openPiece(clip, 2.0);
    ASSERT_TRUE(direct && ahead);
    const Frames expected = readAll([&](AVFrame* frame, AVRational* timeBase) {
        return direct->next(frame, timeBase, nullptr, nullptr);
    });
    ASSERT_GT(expected.size(), 60u);
    av::ReadAhead reader(*ahead, 4);
    EXPECT_EQ(readAll([&](AVFrame* frame, AVRational* timeBase) {
                  return reader.next(frame, timeBase, nullptr);
              }),
              expected);

    // Left after a few frames, with the reader waiting for room: it stops and is joined.
    auto left = openPiece(clip, 2.0);
    ASSERT_TRUE(left);
    {
        av::ReadAhead early(*left, 2);
        av::FramePtr frame = av::makeFrame();
        for (int i = 0; i < 3; ++i)
            ASSERT_NE(early.next(frame.get(), nullptr, nullptr), av::Source::Kind::End);
    }
}
