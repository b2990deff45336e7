#include "encoder/encodeworker.h"

#include "encoder/streampipeline.h"

#include <system_error>

namespace encoder {

namespace {
// A few pictures: enough to ride out the encoder's uneven pace, little memory.
constexpr size_t maxQueuedFrames = 8;
} // namespace

EncodeWorker::EncodeWorker(StreamPipeline& pipeline) : m_pipeline(pipeline)
{
    try {
        m_thread = std::thread([this] { work(); });
    } catch (const std::system_error&) {
        // No thread to be had: push() encodes at once.
    }
    m_pipeline.m_encodeWorker = this;
}

EncodeWorker::~EncodeWorker()
{
    {
        std::lock_guard lock(m_lock);
        m_queue.clear();
        m_closed = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    m_pipeline.m_encodeWorker = nullptr;
}

int EncodeWorker::push(AVFrame* frame)
{
    if (!m_thread.joinable())
        return m_pipeline.encodeFrame(frame);
    if (m_result < 0)
        return m_result;
    av::FramePtr queued = av::makeFrame();
    if (!queued)
        return AVERROR(ENOMEM);
    av_frame_move_ref(queued.get(), frame);
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [this] { return m_queue.size() < maxQueuedFrames || m_result < 0; });
    if (m_result < 0)
        return m_result;
    m_queue.push_back(std::move(queued));
    m_changed.notify_all();
    return 0;
}

int EncodeWorker::finish()
{
    {
        std::lock_guard lock(m_lock);
        m_closed = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
    return m_result;
}

void EncodeWorker::work()
{
    for (;;) {
        av::FramePtr frame;
        {
            std::unique_lock lock(m_lock);
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_closed; });
            if (m_queue.empty())
                return;
            frame = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_changed.notify_all();
        // After a failure nothing more is encoded; the pusher hears of it and stops.
        if (const int ret = m_pipeline.encodeFrame(frame.get()); ret < 0) {
            m_result = ret;
            m_changed.notify_all();
            return;
        }
    }
}

} // namespace encoder
