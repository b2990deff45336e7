#pragma once

#include "filtergraph.h"
#include "handles.h"

#include <QString>
#include <atomic>

// Reads one segment of one media file and hands out its video and audio as frames that
// libavfilter has already brought into the wanted shape, timed from the segment's
// start. Used on a worker thread by the converter and by the preview player.
class SegmentReader
{
public:
    struct VideoShape
    {
        int width = 0;  // 0 with height 0: the source's size
        int height = 0; // the picture is fitted inside with black bars
        AVPixelFormat pixelFormat = AV_PIX_FMT_YUV420P;
        AVRational frameRate{0, 1}; // 0: the source's own timing
        int colorDepth = 24;
    };
    struct AudioShape
    {
        int sampleRate = 44100;
        int channels = 2;
        AVSampleFormat sampleFormat = AV_SAMPLE_FMT_S16;
        int frameSize = 0; // samples per frame; 0 for whatever comes
    };
    enum class Kind
    {
        Video,
        Audio,
        End
    };

    explicit SegmentReader(const std::atomic<bool>* cancel = nullptr) : m_cancel(cancel) {}

    // Opens the file and the decoders of the streams asked for that it has; false when
    // the file cannot be read at all. A stream that cannot be decoded is left out, and
    // `error` says why.
    bool open(const QString& path, double start, double length, bool wantVideo, bool wantAudio,
              QString* error);
    bool hasVideo() const { return m_video.decoder != nullptr; }
    bool hasAudio() const { return m_audio.decoder != nullptr; }
    // The source's picture size (after its pixel aspect) and its frame rate.
    int sourceWidth() const;
    int sourceHeight() const;
    // Seconds of the segment the file can give: the asked length, cut at its end.
    double length() const { return m_length; }

    // Call before the first next(); false when libavfilter refuses the chain.
    bool setVideoShape(const VideoShape& shape, QString* error);
    bool setAudioShape(const AudioShape& shape, QString* error);

    // The next frame of either kind, its pts in the time base of videoTimeBase() or
    // audioTimeBase(); End when both streams are done, on cancel, or on a failure.
    Kind next(AVFrame* out);
    // Why the picture or the sound could not be delivered; empty while all is well.
    QString failure() const { return m_failure; }
    AVRational videoTimeBase() const;
    AVRational audioTimeBase() const;
    int decodedFrames() const { return m_decodedFrames; }

private:
    struct Stream
    {
        int index = -1;
        AVStream* stream = nullptr;
        av::CodecPtr decoder;
        av::FilterGraph filters;
        bool decoderFlushed = false; // end of stream passed to the decoder
        bool sinkDone = false;
        int64_t lastPts = AV_NOPTS_VALUE;
        double lastOutput = -1.0; // seconds of the last frame handed out
    };

    bool openDecoder(Stream& s, int index, QString* error);
    bool drainDecoder(Stream& s, AVFrame* scratch);
    void feedFrame(Stream& s, AVFrame* frame);
    void closeSource(Stream& s);
    void failStream(const Stream& s, const av::Status& status);
    bool readPacket();

    const std::atomic<bool>* m_cancel;
    QString m_path;
    av::InputPtr m_input;
    Stream m_video;
    Stream m_audio;
    av::PacketPtr m_packet = av::makePacket();
    av::FramePtr m_scratch = av::makeFrame();
    double m_start = 0.0;
    double m_length = 0.0;
    int64_t m_fileStart = 0; // the container's start time, AV_TIME_BASE units
    bool m_demuxDone = false;
    std::string m_videoChain;
    std::string m_audioChain;
    int m_audioFrameSize = 0;
    int m_decodedFrames = 0;
    QString m_failure;
};
