#pragma once

#include "av/decodestage.h"
#include "av/handles.h"

#include <atomic>
#include <functional>
#include <string>

namespace encoder {

class EncodeWorker;

// One stream's road through the conversion: the source's decode stage, then the
// encoder. Packets that come out of the encoder go to the muxer through `writePacket`.
class StreamPipeline
{
public:
    using PacketWriter =
        std::function<int(AVPacket* packet, AVStream* outStream, AVRational encoderTimeBase)>;

    StreamPipeline(av::DecodeStage& stage, av::CodecPtr encoder, PacketWriter writePacket);

    void setOutputStream(AVStream* stream) { m_outStream = stream; }
    av::DecodeStage& stage() const { return m_stage; }
    AVCodecContext* encoder() const { return m_encoder.get(); }
    bool isVideo() const { return m_stage.isVideo(); }

    // Decodes one packet and carries what it yields through to the muxer. A damaged
    // packet is counted and skipped. Returns a negative code on a fatal failure only.
    int sendPacket(const AVPacket* packet);
    // End of input: drains decoder, filter graph and encoder, in that order.
    int finish();

    // True once the filter graph has delivered everything the trim range holds.
    bool outputEnded() const { return m_outputEnded; }
    int64_t framesEncoded() const { return m_framesEncoded; }
    double reachedSeconds() const { return m_reachedSeconds; }
    int64_t damagedPackets() const { return m_stage.damagedPackets(); }
    const std::string& failure() const { return m_failure; }

private:
    friend class EncodeWorker;
    int drain();
    int encodeFrame(AVFrame* frame);
    int fail(const av::Status& status);

    av::DecodeStage& m_stage;
    av::CodecPtr m_encoder;
    PacketWriter m_writePacket;
    AVStream* m_outStream = nullptr;

    av::FramePtr m_filtered = av::makeFrame();
    av::PacketPtr m_packet = av::makePacket();
    bool m_finished = false;
    // Read by the main thread while a worker thread may run this pipeline.
    std::atomic<bool> m_outputEnded = false;
    std::atomic<int64_t> m_framesEncoded = 0;
    std::atomic<double> m_reachedSeconds = 0.0;
    std::string m_failure;
    EncodeWorker* m_encodeWorker = nullptr; // while one encodes for this pipeline
};

} // namespace encoder
