#include "media/mediaengine.h"

#include "av/exclusiveoutput.h"
#include "av/input.h"
#include "media/conversionworker.h"
#include "media/mediacatalog.h"
#include "media/mediaprobe.h"
#include "media/previewplayer.h"
#include "media/segmenttranscoder.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

// A glimpse at the very end of a file still shows a picture.
constexpr double kShortestPreview = 0.1;

void quietFfmpeg()
{
    static const bool once = [] {
        av_log_set_level(qEnvironmentVariableIsSet("TRELVO_FFMPEG_LOG") ? AV_LOG_INFO
                                                                        : AV_LOG_QUIET);
        return true;
    }();
    Q_UNUSED(once);
}

// Bits for the intermediate files: plenty, since the encoder converts them again.
int videoKbpsFor(int width, int height, double fps)
{
    const double pixelsPerSecond =
        double(std::max(width, 16)) * std::max(height, 16) * (fps > 0 ? fps : 25.0);
    return int(std::clamp(1200.0 * pixelsPerSecond / (320.0 * 240 * 25), 400.0, 8000.0));
}

} // namespace

MediaEngine::MediaEngine(QObject* parent) : MediaEngine(transcode, parent) {}

MediaEngine::MediaEngine(ConversionRun run, QObject* parent)
    : MediaConverter(parent), m_worker(std::make_unique<ConversionWorker>(std::move(run)))
{
    quietFfmpeg();
    connect(m_worker.get(), &ConversionWorker::progress, this, &MediaEngine::onWorkerProgress);
    connect(m_worker.get(), &ConversionWorker::finished, this, &MediaEngine::onWorkerFinished);
    m_thread = startWorkerThread(m_worker.get(), "conversion");
}

MediaEngine::~MediaEngine()
{
    if (m_cancel)
        *m_cancel = true;
    m_thread.reset();
}

MediaCollection MediaEngine::WmvProfiles() const
{
    return MediaCollection(wmvProfileDescriptions());
}

MediaCollection MediaEngine::VideoCompressors() const
{
    return MediaCollection(compressorNames(videoCompressorTable()));
}

MediaCollection MediaEngine::AudioCompressors() const
{
    return MediaCollection(compressorNames(audioCompressorTable()));
}

QString MediaEngine::SourceProblem(const QString& path)
{
    return mediaSourceProblem(path);
}

double MediaEngine::GetDuration(const QString& path)
{
    return mediaDuration(path);
}

bool MediaEngine::AddAudioSegment(const QString& path, double start, double end)
{
    m_audioSegments.append(MediaSegment{path, start, end});
    return true;
}

bool MediaEngine::AddVideoSegment(const QString& path, double start, double end, short)
{
    m_videoSegments.append(MediaSegment{path, start, end});
    return true;
}

void MediaEngine::Reset()
{
    m_videoSegments.clear();
    m_audioSegments.clear();
}

ConversionJob MediaEngine::jobFor(const QString& outputPath) const
{
    ConversionJob job;
    job.videoSegments = m_videoSegments;
    job.audioSegments = m_audioSegments;
    job.outputPath = outputPath;
    job.colorDepth = m_colorDepth;
    job.width = m_outputWidth;
    job.height = m_outputHeight;
    job.frameRate = m_frameRate > 0 ? m_frameRate : 25.0;
    job.sampleRate = 44100;
    job.channels = 2;
    job.videoKbps = videoKbpsFor(job.width, job.height, job.frameRate);
    job.audioTrack = m_audioTrack;
    job.subtitleTrack = m_subtitleTrack;
    job.subtitleFile = m_subtitleFile;
    if (m_outputFormat == FormatWmv) {
        const auto& profiles = wmvProfileTable();
        const WmvProfile& profile =
            profiles[size_t(std::clamp<int>(m_wmvProfile, 0, int(profiles.size()) - 1))];
        job.muxer = "asf";
        job.videoEncoder = "wmv2";
        job.audioEncoder = "wmav2";
        job.width = profile.width;
        job.height = profile.height;
        job.frameRate = profile.frameRate;
        job.videoKbps = profile.videoKbps;
        job.audioKbps = profile.audioKbps;
        job.title = m_title;
    } else if (m_outputFormat == FormatAvi) {
        const auto& videos = videoCompressorTable();
        const auto& audios = audioCompressorTable();
        const Compressor& video = m_useVideoCompressor && m_videoCompressor >= 0 &&
                                          size_t(m_videoCompressor) < videos.size()
                                      ? videos[size_t(m_videoCompressor)]
                                      : videos.front();
        const Compressor& audio = m_useAudioCompressor && m_audioCompressor >= 0 &&
                                          size_t(m_audioCompressor) < audios.size()
                                      ? audios[size_t(m_audioCompressor)]
                                      : audios.front();
        job.muxer = "avi";
        job.videoEncoder = video.encoder;
        job.videoTag = video.tag;
        job.audioEncoder = audio.encoder;
        job.audioKbps = 128;
    } else if (m_outputFormat == FormatMpeg) {
        job.muxer = "mpeg";
        job.videoEncoder = "mpeg1video";
        job.audioEncoder = "mp2";
        job.audioKbps = 192;
    }
    return job;
}

bool MediaEngine::ConvertToFile(const QString& path)
{
    StopConversion();
    if (m_videoSegments.isEmpty() && m_audioSegments.isEmpty()) {
        setError(tr("No segment to convert"), FailureKind::Other);
        return false;
    }
    for (const QVector<MediaSegment>* list : {&m_videoSegments, &m_audioSegments}) {
        for (const MediaSegment& segment : *list) {
            av::Status why;
            if (!av::openInput(QFile::encodeName(segment.path).toStdString(), &why)) {
                setError(
                    tr("Cannot read %1: %2").arg(segment.path, QString::fromStdString(why.error())),
                    FailureKind::SourceUnreadable);
                return false;
            }
        }
    }
    ConversionJob job = jobFor(path);
    if (job.muxer.isEmpty()) {
        setError(tr("Unknown output format %1").arg(m_outputFormat), FailureKind::Other);
        return false;
    }
    // Made here, so that the caller knows at once whether the name was free; another
    // conversion that got there first keeps its file.
    av::Status created;
    job.output = av::createOutput(QFile::encodeName(path).toStdString(), &created);
    if (!job.output) {
        setError(media::sentence(created.error()), FailureKind::OutputUnwritable);
        return false;
    }
    setError({}, FailureKind::None);
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_discard = job.discard = std::make_shared<std::atomic<bool>>(false);
    m_converting = true;
    const quint64 generation = ++m_generation;
    // Behind a stopped conversion that has not ended yet, if any: one at a time.
    QMetaObject::invokeMethod(
        m_worker.get(),
        [worker = m_worker.get(), generation, job, cancel = m_cancel] {
            worker->convert(generation, job, cancel);
        },
        Qt::QueuedConnection);
    return true;
}

void MediaEngine::DiscardConversion()
{
    if (m_discard)
        *m_discard = true;
    StopConversion();
}

void MediaEngine::StopConversion()
{
    // The worker hears of it at its next packet; nothing waits for that here, and what
    // it still reports is stale from now on.
    ++m_generation;
    if (m_cancel) {
        *m_cancel = true;
        m_cancel.reset();
    }
    if (m_converting) {
        m_converting = false;
        setError(tr("The conversion was stopped"), FailureKind::Other);
    }
}

void MediaEngine::setError(const QString& error, FailureKind kind)
{
    m_lastError = error;
    m_lastFailureKind = error.isEmpty() ? FailureKind::None : kind;
}

void MediaEngine::onWorkerProgress(quint64 generation, double position, double total)
{
    if (isCurrent(generation))
        emit ConversionProgress(position, total);
}

void MediaEngine::onWorkerFinished(quint64 generation, const QString& error, int kind,
                                   bool cancelled)
{
    if (!isCurrent(generation))
        return;
    m_converting = false;
    m_cancel.reset();
    if (cancelled && error.isEmpty())
        setError(tr("The conversion was stopped"), FailureKind::Other);
    else
        setError(error, FailureKind(kind));
    emit ConversionComplete();
}

PreviewEngine::PreviewEngine(QObject* parent)
    : MediaPreview(parent), m_player(std::make_unique<PreviewPlayer>())
{
    quietFfmpeg();
    connect(m_player.get(), &PreviewPlayer::frame, this,
            [this](quint64 generation, const QImage& image) {
                if (isCurrent(generation) && m_playing)
                    emit PreviewFrame(image);
            });
    connect(m_player.get(), &PreviewPlayer::sound, this,
            [this](quint64 generation, const QByteArray& pcm) {
                if (isCurrent(generation) && m_playing)
                    emit PreviewSound(pcm);
            });
    connect(m_player.get(), &PreviewPlayer::ended, this, &PreviewEngine::onPlayerEnded);
    connect(m_player.get(), &PreviewPlayer::stillPicture, this,
            [this](quint64 generation, const QImage& image) {
                if (isCurrent(generation) && !m_playing)
                    emit PreviewFrame(image);
            });
    m_thread = startWorkerThread(m_player.get(), "preview");
}

PreviewEngine::~PreviewEngine()
{
    if (m_cancel)
        *m_cancel = true;
    m_thread.reset();
}

double PreviewEngine::GetDuration(const QString& path)
{
    return mediaDuration(path);
}

bool PreviewEngine::AddAudioSegment(const QString& path, double start, double second)
{
    m_audioSegments.append(MediaSegment{path, start, second});
    return true;
}

bool PreviewEngine::AddVideoSegment(const QString& path, double start, double second, short)
{
    m_videoSegments.append(MediaSegment{path, start, second});
    return true;
}

void PreviewEngine::Reset()
{
    m_videoSegments.clear();
    m_audioSegments.clear();
    m_choices = {};
}

void PreviewEngine::SetTrackChoices(int audioTrack, int subtitleTrack, const QString& subtitleFile)
{
    m_choices = {audioTrack, subtitleTrack, QFile::encodeName(subtitleFile).toStdString()};
}

bool PreviewEngine::Play()
{
    dropPreview();
    // The preview passes lengths; a glimpse, which has no sound, passes end times.
    const bool lengths = !m_audioSegments.isEmpty();
    auto spans = [lengths](QVector<MediaSegment> list) {
        for (MediaSegment& segment : list) {
            const double end = lengths ? segment.start + segment.end : segment.end;
            segment.end = std::max(end, segment.start + kShortestPreview);
        }
        return list;
    };
    const QVector<MediaSegment> video = spans(m_videoSegments);
    const QVector<MediaSegment> audio = spans(m_audioSegments);

    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_playing = true;
    const quint64 generation = ++m_generation;
    QMetaObject::invokeMethod(
        m_player.get(),
        [player = m_player.get(), generation, video, audio, choices = m_choices,
         cancel = m_cancel] { player->play(generation, video, audio, choices, cancel); },
        Qt::QueuedConnection);
    return !video.isEmpty() || !audio.isEmpty();
}

void PreviewEngine::StopPlay()
{
    if (!m_playing)
        return;
    m_playing = false;
    ++m_generation;
    *m_cancel = true;
    emit PlayEnded(0.0);
}

void PreviewEngine::dropPreview()
{
    StopPlay();
    ++m_generation;
    if (m_cancel)
        *m_cancel = true;
}

void PreviewEngine::ShowStill(const QString& path, double time)
{
    dropPreview();
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    QMetaObject::invokeMethod(
        m_player.get(),
        [player = m_player.get(), generation = m_generation, path, time, cancel = m_cancel] {
            player->still(generation, path, time, cancel);
        },
        Qt::QueuedConnection);
}

void PreviewEngine::ClearPicture()
{
    dropPreview();
    emit PreviewFrame(QImage());
}

void PreviewEngine::onPlayerEnded(quint64 generation, double seconds)
{
    if (!isCurrent(generation) || !m_playing)
        return;
    m_playing = false;
    emit PlayEnded(seconds);
}
