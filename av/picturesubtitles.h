#pragma once

#include "av/filtergraph.h"
#include "av/handles.h"
#include "av/status.h"

#include <deque>
#include <memory>
#include <string>

struct SwsContext;

// Subtitles made of pictures (Blu-ray PGS, DVD VobSub, DVB), drawn into the picture.
// Their packets are decoded as the file is read; each subtitle is drawn once, scaled
// from its canvas to the size the picture has in the frame, and that drawing goes to
// the picture's filters beside every picture it covers, for an overlay to lay on top.
// Decoding and feeding happen on the thread that reads the file.
namespace av {

class PictureSubtitles
{
public:
    PictureSubtitles();
    ~PictureSubtitles();
    PictureSubtitles(const PictureSubtitles&) = delete;
    PictureSubtitles& operator=(const PictureSubtitles&) = delete;

    // `origin` (AV_TIME_BASE units, the source's clock) becomes time 0; the picture's
    // coded size is the canvas of subtitles that do not name their own.
    Status open(const AVStream* stream, int64_t origin, int videoWidth, int videoHeight);
    int streamIndex() const { return m_streamIndex; }

    // The size of the picture once fitted into the frame (what the drawings are scaled
    // to), and the time base of the pictures' timestamps.
    void setPicture(int width, int height, AVRational timeBase);
    // The filters' second input: pictures of that size with transparency.
    std::string sideInput() const;
    // The overlay of the second input onto the picture, between chains of filters.
    static std::string overlayChain(const std::string& before, const std::string& after);

    // Takes one of the stream's packets. A damaged one is skipped.
    void decode(const AVPacket* packet);
    // Hands `filters` the subtitle shown at `pts` (the pictures' time base, from the
    // origin): a drawing, or a clear picture between subtitles.
    Status feed(FilterGraph& filters, int64_t pts);

private:
    struct Shown
    {
        int64_t start = 0; // AV_TIME_BASE units from the origin
        int64_t end = 0;   // INT64_MAX: until the next one
        int64_t bytes = 0; // what its drawing holds
        std::shared_ptr<AVSubtitle> subtitle;
    };
    FramePtr draw(const AVSubtitle& subtitle);
    FramePtr blankPicture() const;

    CodecPtr m_decoder;
    int m_streamIndex = -1;
    int64_t m_origin = 0;
    int m_canvasWidth = 0, m_canvasHeight = 0; // the video's, when the stream names none
    int m_width = 0, m_height = 0;
    AVRational m_timeBase{1, AV_TIME_BASE};
    std::deque<Shown> m_waiting; // decoded, not yet due
    int64_t m_waitingBytes = 0;
    FramePtr m_shown; // the drawing on screen; null between subtitles
    int64_t m_shownEnd = 0;
    FramePtr m_clear;
    SwsContext* m_scaler = nullptr;
};

} // namespace av
