#include "previewplayer.h"

#include "segmentreader.h"

#include <QElapsedTimer>
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
bool shapeForPreview(SegmentReader& reader)
{
    QString why;
    if (reader.hasVideo()) {
        SegmentReader::VideoShape shape;
        const int width = reader.sourceWidth();
        const int height = reader.sourceHeight();
        const double scale = width > kMaxWidth ? double(kMaxWidth) / width : 1.0;
        shape.width = int(width * scale) & ~1;
        shape.height = int(height * scale) & ~1;
        shape.pixelFormat = AV_PIX_FMT_RGB32;
        if (!reader.setVideoShape(shape, &why))
            return false;
    }
    if (reader.hasAudio()) {
        SegmentReader::AudioShape shape;
        shape.sampleRate = PreviewPlayer::kSampleRate;
        shape.channels = PreviewPlayer::kChannels;
        shape.sampleFormat = AV_SAMPLE_FMT_S16;
        if (!reader.setAudioShape(shape, &why))
            return false;
    }
    return true;
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
    SegmentReader reader(&cancel);
    if (!reader.open(path, start, length, true, false, nullptr) || !reader.hasVideo() ||
        !shapeForPreview(reader))
        return {};
    av::FramePtr frame = av::makeFrame();
    av::FramePtr kept = av::makeFrame();
    bool any = false;
    while (reader.next(frame.get()) == SegmentReader::Kind::Video) {
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
                         const QVector<MediaSegment>& audio,
                         const std::shared_ptr<std::atomic<bool>>& cancel)
{
    Clock clock;
    double pieceStart = 0.0;
    double playedTo = 0.0;
    av::FramePtr frame = av::makeFrame();
    const int pieces = int(std::max(video.size(), audio.size()));
    for (int i = 0; i < pieces && !cancel->load(); ++i) {
        std::vector<std::unique_ptr<SegmentReader>> readers;
        auto openReader = [&](const MediaSegment& segment, bool wantVideo, bool wantAudio) {
            auto reader = std::make_unique<SegmentReader>(cancel.get());
            QString why;
            if (reader->open(segment.path, segment.start, segment.end - segment.start, wantVideo,
                             wantAudio, &why))
                readers.push_back(std::move(reader));
        };
        const MediaSegment* v = i < video.size() ? &video[i] : nullptr;
        const MediaSegment* a = i < audio.size() ? &audio[i] : nullptr;
        if (v && a && v->path == a->path && v->start == a->start) {
            openReader(*v, true, true);
        } else {
            if (v)
                openReader(*v, true, false);
            if (a)
                openReader(*a, false, true);
        }
        // A reader whose filters are refused has nothing to show; the preview has no
        // place for the reason and goes on with the others.
        double pieceLength = 0.0;
        std::erase_if(readers, [](const std::unique_ptr<SegmentReader>& reader) {
            return !shapeForPreview(*reader);
        });
        for (const auto& reader : readers)
            pieceLength = std::max(pieceLength, reader->length());
        // A piece without pictures (a sound-only source) must not leave the last
        // preview's picture on screen.
        if (std::none_of(readers.begin(), readers.end(),
                         [](const auto& reader) { return reader->hasVideo(); }))
            emit this->frame(generation, QImage());

        std::vector<bool> done(readers.size(), false);
        size_t remaining = readers.size();
        for (size_t turn = 0; remaining > 0 && !cancel->load();
             turn = (turn + 1) % readers.size()) {
            if (done[turn])
                continue;
            SegmentReader& reader = *readers[turn];
            const SegmentReader::Kind kind = reader.next(frame.get());
            if (kind == SegmentReader::Kind::End) {
                done[turn] = true;
                --remaining;
                continue;
            }
            const bool isVideo = kind == SegmentReader::Kind::Video;
            const AVRational tb = isVideo ? reader.videoTimeBase() : reader.audioTimeBase();
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
        pieceStart += pieceLength;
    }
    // Let the last picture stay for its time and the sound play out.
    if (!cancel->load())
        clock.waitFor(playedTo, *cancel);
    emit ended(generation, playedTo);
}
