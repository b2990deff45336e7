#pragma once

#include "encoderoptions.h"
#include "exclusiveoutput.h"
#include "handles.h"
#include "streampipeline.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One conversion from the source to a Zune MP4, as the options ask.
class Transcoder
{
public:
    explicit Transcoder(EncoderOptions options);
    ~Transcoder();

    // Exit statuses of run() besides 0, success.
    static constexpr int kFailed = 1;
    static constexpr int kOutputExists = 3;     // the caller may retry under another name
    static constexpr int kSourceUnreadable = 4; // not a video or sound this can decode
    static constexpr int kOutputUnwritable = 5; // the output could not be made or written

    // Runs the whole conversion; the exit status of the program. Every failure has been
    // said on standard error by then, in one line.
    int run();

private:
    bool openInput();
    bool setUpVideo(AVStream* stream);
    bool setUpAudio(AVStream* stream);
    bool openOutput();
    bool seekToStart();
    bool convert();
    int writePacket(AVPacket* packet, AVStream* outStream, AVRational encoderTimeBase);
    int64_t bytesWritten() const;
    double reachedSeconds() const;
    int64_t framesEncoded() const;
    bool failWith(const std::string& message);
    bool sourceFails(const std::string& message);
    bool outputFails(const std::string& message);

    EncoderOptions m_options;
    av::InputPtr m_input;
    // The file before the muxer that writes into it, so that the muxer goes first.
    std::unique_ptr<trelvo::ExclusiveOutput> m_file;
    av::OutputPtr m_output;
    std::vector<std::unique_ptr<StreamPipeline>> m_pipelines;
    double m_inputStart = 0.0;    // the source's first timestamp, in seconds
    std::string m_subtitlesChain; // draws the chosen subtitles; needs the source's times
    bool m_outputExists = false;
    // Set by what failed, for the exit status; a write may fail on the sound's thread.
    bool m_sourceFailed = false;
    std::atomic<bool> m_outputFailed = false;
    // The sound's pipeline writes from its own thread.
    mutable std::mutex m_muxLock;
    std::atomic<int64_t> m_packetsWritten = 0;
};
