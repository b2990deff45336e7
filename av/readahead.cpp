#include "av/readahead.h"

#include <algorithm>
#include <system_error>

namespace av {

ReadAhead::ReadAhead(Piece& piece, size_t depth) : m_piece(piece)
{
    // The frames go round between the two threads: at most `depth` wait to be taken.
    for (size_t i = 0; i <= std::max<size_t>(depth, 1); ++i) {
        FramePtr frame = makeFrame();
        if (!frame)
            return;
        m_spare.push_back(std::move(frame));
    }
    try {
        m_thread = std::thread([this] { read(); });
    } catch (const std::system_error&) {
    }
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ReadAhead::read()
{
    for (;;) {
        Item item;
        {
            std::unique_lock lock(m_lock);
            m_changed.wait(lock, [this] { return m_stop || !m_spare.empty(); });
            if (m_stop)
                return;
            item.frame = std::move(m_spare.front());
            m_spare.pop_front();
        }
        item.kind = m_piece.next(item.frame.get(), &item.timeBase, nullptr, &item.failed);
        const bool end = item.kind == Source::Kind::End;
        {
            std::lock_guard lock(m_lock);
            m_ready.push_back(std::move(item));
        }
        m_changed.notify_all();
        if (end)
            return;
    }
}

Source::Kind ReadAhead::next(AVFrame* out, AVRational* timeBase, Source** failed)
{
    av_frame_unref(out); // what the caller left there would be lost
    if (!m_thread.joinable() && !m_ended) {
        const Source::Kind kind = m_piece.next(out, timeBase, nullptr, failed);
        m_ended = kind == Source::Kind::End;
        return kind;
    }
    std::unique_lock lock(m_lock);
    if (m_ended)
        return Source::Kind::End;
    m_changed.wait(lock, [this] { return !m_ready.empty(); });
    Item item = std::move(m_ready.front());
    m_ready.pop_front();
    if (item.kind == Source::Kind::End) {
        m_ended = true;
        if (failed)
            *failed = item.failed;
        return Source::Kind::End;
    }
    av_frame_move_ref(out, item.frame.get());
    if (timeBase)
        *timeBase = item.timeBase;
    m_spare.push_back(std::move(item.frame));
    lock.unlock();
    m_changed.notify_all();
    return item.kind;
}

} // namespace av
