#include "encoder/pipelineworker.h"

namespace encoder {

namespace {
// About a second of sound: enough to ride out the picture's bursts, little memory.
constexpr size_t maxQueuedPackets = 64;
} // namespace

PipelineWorker::PipelineWorker(StreamPipeline& pipeline)
    : m_pipeline(pipeline),
      m_queue(
          maxQueuedPackets,
          [this](av::PacketPtr& packet) { return m_pipeline.sendPacket(packet.get()); },
          [this] { return m_pipeline.finish(); })
{
}

PipelineWorker::~PipelineWorker()
{
    finish();
}

void PipelineWorker::push(AVPacket* packet)
{
    av::PacketPtr copy = av::makePacket();
    if (!copy)
        return;
    av_packet_move_ref(copy.get(), packet);
    m_queue.push(std::move(copy));
}

} // namespace encoder
