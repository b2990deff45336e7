#pragma once

#include "av/handles.h"
#include "encoder/queuethread.h"
#include "encoder/streampipeline.h"

namespace encoder {

// Runs one StreamPipeline on a thread of its own, fed by a short queue of packets, so
// that the sound is decoded and encoded while the main thread works on the picture.
class PipelineWorker
{
public:
    explicit PipelineWorker(StreamPipeline& pipeline);
    // Lets the queued packets through and drains the pipeline, as finish() does.
    ~PipelineWorker();

    StreamPipeline& pipeline() const { return m_pipeline; }
    // Takes the packet's data; waits while the queue is full.
    void push(AVPacket* packet);
    // Lets the queued packets through, drains the pipeline and waits for the thread;
    // the pipeline's result (negative on a fatal failure).
    int finish() { return m_queue.finish(); }
    bool failed() const { return m_queue.failed(); }

private:
    StreamPipeline& m_pipeline;
    QueueThread<av::PacketPtr> m_queue;
};

} // namespace encoder
