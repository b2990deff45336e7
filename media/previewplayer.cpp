#include "media/previewplayer.h"

#include "av/pieces.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <algorithm>
#include <vector>

namespace {

// Sound goes out this much before it is due, so that the audio output never runs dry.
constexpr double kSoundLead = 0.3;
// Pictures wider than this are made smaller here; the widget scales them anyway.
constexpr int kMaxWidth = 960;

class Clock
{
public:
    // Seconds of media played; the first call starts the clock at `media`.
    double now() const { return m_started ? m_origin + m_timer.nsecsElapsed() / 1e9 : 0.0; }
    void startAt(double media)
    {
        if (m_started)
            return;
        m_started = true;
        m_origin = media;
        m_timer.start();
    }
    // Sleeps until `media` is due; false when cancelled first.
    bool waitFor(double media, const std::atomic<bool>& cancel) const
    {
        for (;;) {
            if (cancel.load())
                return false;
            const double ahead = media - now();
            if (ahead <= 0)
                return true;
            QThread::usleep(static_cast<unsigned long>(std::min(ahead, 0.01) * 1e6));
        }
    }

private:
    QElapsedTimer m_timer;
    double m_origin = 0.0;
    bool m_started = false;
};

// Pictures in RGB32 at most kMaxWidth wide, sound as the audio output takes it.
bool shapeForPreview(av::Source& source)
{
    if (source.hasVideo()) {
        av::VideoShape shape;
        const int width = source.displayWidth();
        const int height = source.displayHeight();
        const double scale = width > kMaxWidth ? double(kMaxWidth) / width : 1.0;
        shape.width = int(width * scale) & ~1;
        shape.height = int(height * scale) & ~1;
        shape.pixelFormat = AV_PIX_FMT_RGB32;
        shape.threads = 1;
        if (!source.setVideoShape(shape))
            return false;
    }
    if (source.hasAudio()) {
        av::AudioShape shape;
        shape.sampleRate = PreviewPlayer::kSampleRate;
        shape.channels = PreviewPlayer::kChannels;
        shape.sampleFormat = AV_SAMPLE_FMT_S16;
        shape.threads = 1;
        if (!source.setAudioShape(shape))
            return false;
    }
    return true;
}

av::Segment segmentOf(const MediaSegment& segment)
{
    return {QFile::encodeName(segment.path).toStdString(), segment.start, segment.end};
}

QImage pictureOf(const AVFrame& frame)
{
    const QImage image(frame.data[0], frame.width, frame.height, frame.linesize[0],
                       QImage::Format_RGB32);
    return image.copy();
}

// The first picture from `start` on, or with `last` the last one before start + length.
QImage pictureIn(const QString& path, double start, double length, bool last,
                 const std::atomic<bool>& cancel)
{
    av::Source source(&cancel);
    av::SourceRequest request;
    request.path = QFile::encodeName(path).toStdString();
    request.start = start;
    request.length = length;
    request.audio = false;
    if (!source.open(request) || !source.hasVideo() || !shapeForPreview(source))
        return {};
    av::FramePtr frame = av::makeFrame();
    av::FramePtr kept = av::makeFrame();
    bool any = false;
    while (source.next(frame.get()) == av::Source::Kind::Video) {
        av_frame_unref(kept.get());
        av_frame_move_ref(kept.get(), frame.get());
        any = true;
        if (!last)
            break;
    }
    return any ? pictureOf(*kept) : QImage();
}

} // namespace

void PreviewPlayer::still(quint64 generation, const QString& path, double time,
                          const std::shared_ptr<std::atomic<bool>>& cancel)
{
    // Long enough to hold a picture at any common rate.
    constexpr double kSpan = 0.5;
    // Where a picture lasts beyond its neighbours' spacing (a still scene, a slow rate).
    constexpr double kLookBack = 5.0;
    time = std::max(0.0, time);
    QImage picture = pictureIn(path, time, kSpan, false, *cancel);
    // Nothing there: the edge lies at or beyond the end of the pictures.
    if (picture.isNull() && !cancel->load() && time > 0.0) {
        const double from = std::max(0.0, time - kLookBack);
        picture = pictureIn(path, from, time - from, true, *cancel);
    }
    if (!cancel->load())
        emit stillPicture(generation, picture);
}

void PreviewPlayer::play(quint64 generation, const QVector<MediaSegment>& video,
                         const QVector<MediaSegment>& audio, const av::TrackChoices& choices,
                         const std::shared_ptr<std::atomic<bool>>& cancel)
{
    Clock clock;
    double pieceStart = 0.0;
    double playedTo = 0.0;
    av::FramePtr frame = av::makeFrame();
    const int pieces = int(std::max(video.size(), audio.size()));
    for (int i = 0; i < pieces && !cancel->load(); ++i) {
        const av::Segment v = i < video.size() ? segmentOf(video[i]) : av::Segment{};
        const av::Segment a = i < audio.size() ? segmentOf(audio[i]) : av::Segment{};
        // What cannot be read, or shaped, has nothing to show; the preview has no place
        // for the reason and goes on with the rest. A choice the file refuses is let go.
        av::Piece piece(cancel.get(), choices);
        (void)piece.open(i < video.size() ? &v : nullptr, i < audio.size() ? &a : nullptr);
        if (piece.refusedChoice()) {
            piece = av::Piece(cancel.get());
            (void)piece.open(i < video.size() ? &v : nullptr, i < audio.size() ? &a : nullptr);
        }
        std::vector<const av::Source*> refused;
        for (const auto& source : piece.sources()) {
            if (!shapeForPreview(*source))
                refused.push_back(source.get());
        }
        for (const av::Source* source : refused)
            piece.remove(source);
        // A piece without pictures (a sound-only source) must not leave the last
        // preview's picture on screen.
        if (!piece.videoSource())
            emit this->frame(generation, QImage());

        for (;;) {
            AVRational tb{1, 1};
            const av::Source::Kind kind = piece.next(frame.get(), &tb, nullptr, nullptr);
            if (kind == av::Source::Kind::End)
                break;
            const bool isVideo = kind == av::Source::Kind::Video;
            const double at = pieceStart + double(frame->pts) * av_q2d(tb);
            clock.startAt(at);
            if (isVideo) {
                if (!clock.waitFor(at, *cancel))
                    break;
                emit this->frame(generation, pictureOf(*frame));
                playedTo = std::max(playedTo, at + 1.0 / 25);
            } else {
                if (!clock.waitFor(at - kSoundLead, *cancel))
                    break;
                const int bytes = frame->nb_samples * kChannels * 2;
                emit sound(generation,
                           QByteArray(reinterpret_cast<const char*>(frame->data[0]), bytes));
                playedTo = std::max(playedTo, at + double(frame->nb_samples) / kSampleRate);
            }
            av_frame_unref(frame.get());
        }
        pieceStart += piece.length();
    }
    // Let the last picture stay for its time and the sound play out.
    if (!cancel->load())
        clock.waitFor(playedTo, *cancel);
    emit ended(generation, playedTo);
}
