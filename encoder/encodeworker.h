#pragma once

#include "av/handles.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace encoder {

class StreamPipeline;

// Runs a pipeline's encoder on a thread of its own, a few pictures behind the decoding
// and filtering that make them, so that neither waits for the other. The pipeline hands
// its frames here for as long as the worker lives.
class EncodeWorker
{
public:
    explicit EncodeWorker(StreamPipeline& pipeline);
    // Drops what is still queued, waits for the thread and gives the pipeline its
    // encoder back.
    ~EncodeWorker();
    EncodeWorker(const EncodeWorker&) = delete;
    EncodeWorker& operator=(const EncodeWorker&) = delete;

    // Takes the frame's data; waits while the queue is full. The encoder's failure so
    // far (negative), else 0.
    int push(AVFrame* frame);
    // Encodes what is queued and waits for the thread: the first failure, else 0.
    int finish();

private:
    void work();

    StreamPipeline& m_pipeline;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<av::FramePtr> m_queue;
    bool m_closed = false;
    std::atomic<int> m_result{0};
    std::thread m_thread;
};

} // namespace encoder
