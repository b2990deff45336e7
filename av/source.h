#pragma once

#include "av/decodestage.h"
#include "av/handles.h"
#include "av/picturesubtitles.h"
#include "av/status.h"
#include "av/timeline.h"

#include <atomic>
#include <memory>
#include <optional>
#include <string>

// A span of one media file, read and decoded into frames of the wanted shape: the one
// decode stage behind the encoder, the WMV conversion and the preview.
namespace av {

struct SourceRequest
{
    std::string path;
    double start = 0.0;           // seconds from the beginning of the file
    std::optional<double> length; // none: to the end
    bool video = true;            // the streams wanted, when the file has them
    bool audio = true;
    int audioStream = -1; // a stream index to take the sound from; -1: the best one
    // The user's choices: the source's sound track (1-based among its sound tracks, over
    // audioStream; 0: none chosen), and the subtitles drawn into the picture, the
    // source's subtitle track (1-based) or a .srt/.ass file (over the track). open()
    // refuses a track the file lacks, and refusedChoice() then says so.
    int audioTrack = 0;
    int subtitleTrack = 0;
    std::string subtitleFile;
};

// What the picture becomes. The picture keeps its proportions inside the frame; bars
// fill the rest.
struct VideoShape
{
    int width = 0; // the frame, at least 2 by 2
    int height = 0;
    double displayAspect = 0.0; // the frame's shape on screen; 0: square pixels
    AVRational frameRate{0, 1}; // 0: the source's own timing
    AVPixelFormat pixelFormat = AV_PIX_FMT_YUV420P;
    int colorDepth = 24; // fewer bits per pixel: the picture is brought down first
    int threads = 0;     // for the filters; 0: FFmpeg's choice
    // Run on the source's picture before it is fitted, after the stage's own steps
    // (deinterlacing and turning it upright by its display matrix); one that turns it
    // must be matched by displayAspect().
    std::string sourceFilters;
};

struct AudioShape
{
    int sampleRate = 44100;
    int channels = 2;
    AVSampleFormat sampleFormat = AV_SAMPLE_FMT_S16;
    int frameSize = 0; // samples per frame; 0 for whatever comes
    double volume = 1.0;
    int threads = 0;
    // Run on the source's sound before it is resampled (a downmix of its own, say: the
    // stage's own fold of surround to stereo, centre kept, is then left out).
    std::string sourceFilters;
};

class Source
{
public:
    enum class Kind
    {
        Video,
        Audio,
        End
    };

    // `cancel`, when set, ends reading at once.
    explicit Source(const std::atomic<bool>* cancel = nullptr) : m_cancel(cancel) {}
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // Opens the file and the decoders of the streams asked for that it has; a failure
    // when the file cannot be read at all. A stream that cannot be decoded is left out,
    // and leftOut() says why.
    Status open(const SourceRequest& request);
    // Why the picture (Kind::Video) or the sound was left out; ok when it was not.
    const Status& leftOut(Kind kind) const;
    // Whether open() failed on the request's sound track or subtitles rather than on
    // the file.
    bool refusedChoice() const { return m_refusedChoice; }
    AVFormatContext* input() const { return m_input.get(); }
    const std::string& path() const { return m_path; }
    // Whether the file's clock starts over midway: its header's length falls short then,
    // and its times are mended onto one running clock.
    bool clockStartsOver() const { return m_mender.has_value(); }

    bool hasVideo() const { return m_video != nullptr; }
    bool hasAudio() const { return m_audio != nullptr; }
    DecodeStage* video() const { return m_video.get(); }
    DecodeStage* audio() const { return m_audio.get(); }
    // The source's picture as shown: upright by its display matrix, its width after its
    // pixel aspect, its height.
    int displayWidth() const;
    int displayHeight() const;
    // Its proportions on screen (width by height, pixel aspect included, upright); 0
    // without video.
    double displayAspect() const;
    // Seconds the file holds of the span: the asked length cut at its end; without a
    // length, what is left of the file (0 when unknown).
    double length() const { return m_length; }

    // Call before the first frame; a failure when libavfilter refuses the chain.
    Status setVideoShape(const VideoShape& shape);
    Status setAudioShape(const AudioShape& shape);

    // The next packet of a stream that was opened, and the stage it belongs to; null at
    // the end of the file, on cancel, or where the file cannot be read any further
    // (readFailure() then says why).
    DecodeStage* read(AVPacket* packet);
    const Status& readFailure() const { return m_readFailure; }

    // Both streams in one thread: the next frame of either kind, the stream that lags
    // behind first; its pts in timeBase(kind) from the span's start. End when both are
    // done, on cancel, or on a failure (failure()).
    Kind next(AVFrame* out);
    AVRational timeBase(Kind kind) const;
    // Why the picture or the sound could not be delivered; ok while all is well.
    const Status& failure() const { return m_failure; }
    // Which of the two failed.
    Kind failedKind() const { return m_failedKind; }

private:
    bool cancelled() const { return m_cancel && m_cancel->load(); }
    // Steps of open(): the span's length, the decoders, and the first read's place.
    void setSpan(const SourceRequest& request, double start, double fileLength);
    Status openStages(const SourceRequest& request, int videoStream, int audioStream,
                      int64_t origin, int pictureSubtitles);
    void seekToStart(double start, int64_t fileStart, int64_t origin);
    std::string pictureSourceChain(const VideoShape& shape) const;

    const std::atomic<bool>* m_cancel;
    std::string m_path;
    InputPtr m_input;
    std::unique_ptr<DecodeStage> m_video;
    std::unique_ptr<DecodeStage> m_audio;
    std::optional<double> m_requestedLength;
    std::string m_subtitles; // draws the chosen text subtitles; "" for none
    std::unique_ptr<PictureSubtitles> m_pictureSubtitles; // or the chosen subtitle pictures
    int64_t m_subtitleOrigin = 0; // the span's start on the subtitles' clock (AV_TIME_BASE)
    bool m_refusedChoice = false;
    // For a file whose clock starts over: its times mended, and (for a later span) the
    // packets before it passed by unread, as times cannot be sought there.
    std::optional<TimelineMender> m_mender;
    int64_t m_skipBefore = AV_NOPTS_VALUE; // AV_TIME_BASE units, on the mended clock
    double m_length = 0.0;
    bool m_trimmed = false; // the span starts later than the file, or ends before it
    Status m_videoLeftOut;
    Status m_audioLeftOut;
    PacketPtr m_packet = makePacket();
    Status m_readFailure;
    Status m_failure;
    Kind m_failedKind = Kind::End;
    bool m_readDone = false;
    bool m_videoDone = false;
    bool m_audioDone = false;
    double m_videoAt = -1.0; // seconds of the last frame handed out
    double m_audioAt = -1.0;
};

} // namespace av
