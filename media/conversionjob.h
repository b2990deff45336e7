#pragma once

#include <QString>
#include <QVector>
#include <atomic>
#include <memory>

namespace trelvo {
class ExclusiveOutput;
}

// One piece of the segment set: a file and a span of it, in seconds.
struct MediaSegment
{
    QString path;
    double start = 0.0;
    double end = 0.0;
};

// Everything a conversion needs, copied out of the component when it starts so that
// later calls on the component cannot change a running conversion.
struct ConversionJob
{
    QVector<MediaSegment> videoSegments; // paired with audioSegments by position
    QVector<MediaSegment> audioSegments;
    QString outputPath;
    // The file made at outputPath when the conversion was accepted; written only through
    // this, and removed when the conversion leaves nothing worth keeping.
    std::shared_ptr<trelvo::ExclusiveOutput> output;
    // Set before a stop whose file is not wanted: it goes rather than being finished.
    std::shared_ptr<std::atomic<bool>> discard;
    QString muxer;         // FFmpeg's name: "asf", "avi", "mpeg"
    QString videoEncoder;  // FFmpeg's encoder name
    unsigned videoTag = 0; // codec tag in the container; 0 for the muxer's own
    int width = 0;         // 0: the source's size
    int height = 0;
    double frameRate = 25.0;
    int colorDepth = 24;
    int videoKbps = 800;
    QString audioEncoder;
    int audioKbps = 128;
    int sampleRate = 44100;
    int channels = 2;
    QString title; // the file's title tag; none when empty
    // The user's choices, for every segment: the sound track (1-based; 0: the file's
    // own), the subtitle track drawn into the picture (1-based; 0: none) or a subtitle
    // file (over the track).
    int audioTrack = 0;
    int subtitleTrack = 0;
    QString subtitleFile;
};
