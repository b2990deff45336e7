#pragma once

#include "av/handles.h"
#include "encoder/queuethread.h"

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
    int finish() { return m_queue.finish(); }

private:
    StreamPipeline& m_pipeline;
    QueueThread<av::FramePtr> m_queue;
};

} // namespace encoder
