#include "encoder/encodeworker.h"

#include "encoder/streampipeline.h"

namespace encoder {

namespace {
// A few pictures: enough to ride out the encoder's uneven pace, little memory.
constexpr size_t maxQueuedFrames = 8;
} // namespace

EncodeWorker::EncodeWorker(StreamPipeline& pipeline)
    : m_pipeline(pipeline), m_queue(maxQueuedFrames, [this](av::FramePtr& frame) {
          return m_pipeline.encodeFrame(frame.get());
      })
{
    m_pipeline.m_encodeWorker = this;
}

EncodeWorker::~EncodeWorker()
{
    m_pipeline.m_encodeWorker = nullptr;
}

int EncodeWorker::push(AVFrame* frame)
{
    av::FramePtr queued = av::makeFrame();
    if (!queued)
        return AVERROR(ENOMEM);
    av_frame_move_ref(queued.get(), frame);
    return m_queue.push(std::move(queued));
}

} // namespace encoder
