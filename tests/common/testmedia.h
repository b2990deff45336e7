#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// Test media, made at test time with the ffmpeg program into one shared folder. Safe
// when several test programs ask for the same file at once.
namespace testmedia {

// The folder the files are made in (created when missing).
QString folder();

// Makes `fileName` in the folder with `ffmpeg -y <args> <path>` unless it exists;
// returns its path, or an empty string when ffmpeg failed.
QString make(const QString& fileName, const QStringList& ffmpegArgs);

// Writes a subtitle file of one cue, `text` from `from` to `to` ("00:00:01,000"), at
// `path`; returns the path, or an empty string when it cannot be written.
QString cue(const QString& path, const QString& from = "00:00:01,000",
            const QString& to = "00:00:02,500", const QString& text = "HELLO THERE");

// A small clip (320x240, 25 fps, testsrc2 and a sine tone) in the container of the
// extension: avi, mpg, vob, wmv, asf, mov, qt, 3gp, mp4, rm, rmvb. `seconds` long.
QString clip(const QString& extension, int seconds = 3);
// Video without audio, and audio without video (wma, mp3, wav...).
QString videoOnly(const QString& extension, int seconds = 3);
QString audioOnly(const QString& extension, int seconds = 3);

// A clip whose second n is one plain colour, colourSeconds()[n] ("#rrggbb"), for tests
// that judge which moment a picture shows (320x240, 25 fps, no sound, MPEG-4 in AVI).
QString colourClip();
const QStringList& colourSeconds();

// ffmpeg's arguments for a film: `seconds` of black at `size` ("320x240") with two
// AC-3 sound tracks, sine tones of `low` and `high` Hz, and then the text subtitles of
// `srt` when one is given, mapped in that order. `extra` (metadata, dispositions) follows.
QStringList filmArgs(const QString& size, int seconds, int low, int high, const QString& srt = {},
                     const QStringList& extra = {});

// ffprobe -show_format -show_streams as JSON; an empty object when ffprobe fails.
QJsonObject probe(const QString& path);
// The first stream of a type ("video", "audio") in a probe result; empty when none.
QJsonObject probeStream(const QJsonObject& probeResult, const QString& codecType);
double probeDuration(const QString& path);

// Runs a program and returns its exit code (-1 when it could not start or timed out);
// standard output and error are joined into `output` when given.
int run(const QString& program, const QStringList& args, QString* output = nullptr,
        int timeoutMs = 120000);

} // namespace testmedia
