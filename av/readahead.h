#pragma once

#include "av/handles.h"
#include "av/pieces.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace av {

// Reads a piece on a thread of its own, a few frames ahead of the one that takes them, so
// that decoding, scaling and resampling run beside an encoder that uses one core. The
// piece is the reader's alone until it is destroyed or next() has said End. Where no
// thread can be had, next() reads the piece itself.
class ReadAhead
{
public:
    ReadAhead(Piece& piece, size_t depth);
    // Stops reading (after the frame being made) and waits for the thread.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // What Piece::next gives, in the same order; waits while the reader is behind.
    Source::Kind next(AVFrame* out, AVRational* timeBase, Source** failed);

private:
    struct Item
    {
        Source::Kind kind = Source::Kind::End;
        FramePtr frame;
        AVRational timeBase{1, 1};
        Source* failed = nullptr;
    };
    void read();

    Piece& m_piece;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Item> m_ready;
    std::deque<FramePtr> m_spare; // emptied frames, for the reader to fill again
    bool m_stop = false;
    bool m_ended = false;
    std::thread m_thread;
};

} // namespace av
