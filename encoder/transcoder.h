#pragma once

#include "av/exclusiveoutput.h"
#include "av/handles.h"
#include "av/source.h"
#include "encoder/encoderoptions.h"
#include "encoder/streampipeline.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace encoder {

// One conversion from the source to a Zune MP4, as the options ask.
class Transcoder
{
public:
    explicit Transcoder(EncoderOptions options);
    ~Transcoder();

    // Runs the whole conversion; the exit status of the program (encoderprotocol.h).
    // Every failure has been said on standard error by then, in one line.
    int run();

private:
    bool openInput();
    bool setUpVideo(av::DecodeStage& stage);
    bool setVideoLevel(AVCodecContext* encoder, bool h264, av::Dictionary& settings);
    bool setUpAudio(av::DecodeStage& stage);
    bool openOutput();
    bool convert();
    int writePacket(AVPacket* packet, AVStream* outStream, AVRational encoderTimeBase);
    int64_t bytesWritten() const;
    double reachedSeconds() const;
    int64_t framesEncoded() const;
    bool failWith(const std::string& message);
    bool sourceFails(const std::string& message);
    bool outputFails(const std::string& message);

    EncoderOptions m_options;
    av::Source m_source;
    // The file before the muxer that writes into it, so that the muxer goes first.
    std::unique_ptr<trelvo::ExclusiveOutput> m_file;
    av::OutputPtr m_output;
    std::vector<std::unique_ptr<StreamPipeline>> m_pipelines;
    bool m_outputExists = false;
    // Set by what failed, for the exit status; a write may fail on the sound's thread.
    bool m_sourceFailed = false;
    std::atomic<bool> m_outputFailed = false;
    // The sound's pipeline writes from its own thread.
    mutable std::mutex m_muxLock;
    std::atomic<int64_t> m_packetsWritten = 0;
};

} // namespace encoder
