#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Seconds of media in a file, read from its container and stream headers; where they
// carry none (a cut-off stream), from the first and last packets' timestamps; where the
// packets have none (a raw video stream), by counting its pictures through the whole
// file, for at most ten seconds. Nothing is decoded. 0 for a file that cannot be opened,
// or too long to measure.
double mediaDuration(const QString& path);

// Why the file cannot be converted, in a user's words: not a media file this program
// reads, no picture nor sound it can decode, or (once mediaDuration has tried) too long
// to measure without a length in its header. Empty when it can be converted.
QString mediaSourceProblem(const QString& path);

// A source's sound and subtitle tracks as a user reads them ("1: English, AC-3 5.1"),
// and the ones taken when the user chooses none: the sound the file marks as default
// (else the first), and subtitles only when forced in the sound's language. Indexes into
// the lists; -1 for none. Empty lists for a file that cannot be read.
struct MediaTracks
{
    QStringList audio;
    QStringList subtitles;
    QStringList subtitleFiles; // a .srt or .ass file beside the source, by its name
    int defaultAudio = -1;
    int defaultSubtitles = -1;
};
MediaTracks mediaTracks(const QString& path);

// The subtitle track a new Task takes when the user chooses none (1-based), or 0: a
// forced text track in the language of the sound track `audioTrack` (1-based; 0 for the
// one the file marks as default, else the first). Picture subtitles, which cannot be
// drawn in, are never taken.
int mediaForcedSubtitleTrack(const QString& path, int audioTrack);

// Why the sound track `audioTrack` or the subtitles (`subtitleTrack`, or the file
// `subtitleFile`) cannot be had from `path`, in a user's words; empty when they can (or
// when none is chosen: 0 and empty).
QString mediaChoiceProblem(const QString& path, int audioTrack, int subtitleTrack,
                           const QString& subtitleFile);
