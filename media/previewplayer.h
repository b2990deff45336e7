#pragma once

#include "av/pieces.h"
#include "media/conversionjob.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <atomic>
#include <memory>

// Lives on the preview thread and plays a segment set in real time: it hands out the
// pictures and the sound (44.1 kHz stereo 16-bit PCM) when they are due.
class PreviewPlayer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kChannels = 2;

    using QObject::QObject;
    // Segments with end times, the user's choices of sound track and subtitles.
    void play(quint64 generation, const QVector<MediaSegment>& video,
              const QVector<MediaSegment>& audio, const av::TrackChoices& choices,
              const std::shared_ptr<std::atomic<bool>>& cancel);
    // The picture at `time`, or the last one before it; a null image when there is none.
    void still(quint64 generation, const QString& path, double time,
               const std::shared_ptr<std::atomic<bool>>& cancel);

signals:
    void frame(quint64 generation, const QImage& image);
    void sound(quint64 generation, const QByteArray& pcm);
    void ended(quint64 generation, double seconds);
    void stillPicture(quint64 generation, const QImage& image);
};
