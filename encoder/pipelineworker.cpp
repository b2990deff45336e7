#include "encoder/pipelineworker.h"

namespace encoder {

namespace {
// About a second of sound: enough to ride out the picture's bursts, little memory.
constexpr size_t maxQueuedPackets = 64;
} // namespace

PipelineWorker::PipelineWorker(StreamPipeline& pipeline)
    : m_pipeline(pipeline), m_thread([this] { work(); })
{
}

PipelineWorker::~PipelineWorker()
{
    finish();
}

void PipelineWorker::push(AVPacket* packet)
{
    av::PacketPtr copy = av::makePacket();
    av_packet_move_ref(copy.get(), packet);
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [this] { return m_queue.size() < maxQueuedPackets || m_closed; });
    if (m_closed)
        return;
    m_queue.push_back(std::move(copy));
    m_changed.notify_all();
}

int PipelineWorker::finish()
{
    {
        std::lock_guard lock(m_lock);
        m_closed = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    return m_result;
}

void PipelineWorker::work()
{
    for (;;) {
        av::PacketPtr packet;
        {
            std::unique_lock lock(m_lock);
            m_changed.wait(lock, [this] { return !m_queue.empty() || m_closed; });
            if (m_queue.empty())
                break;
            packet = std::move(m_queue.front());
            m_queue.pop_front();
            m_changed.notify_all();
        }
        // After a failure the queue is still emptied, so that a pusher never waits.
        if (m_result >= 0) {
            if (const int ret = m_pipeline.sendPacket(packet.get()); ret < 0)
                m_result = ret;
        }
    }
    if (m_result >= 0)
        m_result = m_pipeline.finish();
}

} // namespace encoder
