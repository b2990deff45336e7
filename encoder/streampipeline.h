#pragma once

#include "filtergraph.h"
#include "handles.h"

#include <atomic>
#include <functional>
#include <string>

// One stream's road through the conversion: decoder, filter graph, encoder. Packets
// that come out of the encoder go to the muxer through `writePacket`.
class StreamPipeline
{
public:
    using PacketWriter =
        std::function<int(AVPacket* packet, AVStream* outStream, AVRational encoderTimeBase)>;

    StreamPipeline(AVStream* inStream, av::CodecPtr decoder, av::CodecPtr encoder,
                   std::string filterChain, PacketWriter writePacket);

    void setOutputStream(AVStream* stream) { m_outStream = stream; }
    AVStream* inputStream() const { return m_inStream; }
    AVCodecContext* encoder() const { return m_encoder.get(); }
    bool isVideo() const { return m_inStream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO; }

    // Decodes one packet and carries what it yields through to the muxer. A damaged
    // packet is counted and skipped. Returns a negative code on a fatal failure only.
    int sendPacket(const AVPacket* packet);
    // End of input: drains decoder, filter graph and encoder, in that order.
    int finish();

    // True once the filter graph has delivered everything the trim range holds.
    bool outputEnded() const { return m_outputEnded; }
    int64_t framesEncoded() const { return m_framesEncoded; }
    double reachedSeconds() const { return m_reachedSeconds; }
    int64_t damagedPackets() const { return m_damaged; }
    const std::string& failure() const { return m_failure; }

private:
    int receiveFrames();
    int filterFrame(AVFrame* frame, int64_t span);
    int configureGraph(const AVFrame* frame);
    int drainSink();
    int encodeFrame(AVFrame* frame);
    int fail(const av::Status& status);

    AVStream* m_inStream;
    av::CodecPtr m_decoder;
    av::CodecPtr m_encoder;
    std::string m_filterChain;
    PacketWriter m_writePacket;
    AVStream* m_outStream = nullptr;

    av::FilterGraph m_filters;

    av::FramePtr m_frame = av::makeFrame();
    av::FramePtr m_filtered = av::makeFrame();
    av::PacketPtr m_packet = av::makePacket();
    int64_t m_nextPts = AV_NOPTS_VALUE;
    bool m_inputEnded = false;
    // Read by the main thread while a worker thread may run this pipeline.
    std::atomic<bool> m_outputEnded = false;
    std::atomic<int64_t> m_framesEncoded = 0;
    std::atomic<double> m_reachedSeconds = 0.0;
    int64_t m_damaged = 0;
    std::string m_failure;
};
