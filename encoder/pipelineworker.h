#pragma once

#include "av/handles.h"
#include "encoder/streampipeline.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace encoder {

// Runs one StreamPipeline on a thread of its own, fed by a short queue of packets, so
// that the sound is decoded and encoded while the main thread works on the picture.
class PipelineWorker
{
public:
    explicit PipelineWorker(StreamPipeline& pipeline);
    ~PipelineWorker();

    StreamPipeline& pipeline() const { return m_pipeline; }
    // Takes the packet's data; waits while the queue is full.
    void push(AVPacket* packet);
    // Lets the queued packets through, drains the pipeline and waits for the thread;
    // the pipeline's result (negative on a fatal failure).
    int finish();
    bool failed() const { return m_result.load() < 0; }

private:
    void work();

    StreamPipeline& m_pipeline;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<av::PacketPtr> m_queue;
    bool m_closed = false;
    std::atomic<int> m_result{0};
    std::thread m_thread;
};

} // namespace encoder
