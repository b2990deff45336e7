#pragma once

#include "av/pieces.h"
#include "engine/mediacomponent.h"
#include "media/conversionjob.h"
#include "media/conversionworker.h"
#include "media/workerthread.h"

#include <QByteArray>
#include <QImage>
#include <atomic>
#include <memory>

class PreviewPlayer;

// The conversions of the media component on the FFmpeg libraries. They run on a thread
// of their own, one after the other; what they report reaches this object's thread as
// queued signals.
class MediaEngine : public MediaConverter
{
    Q_OBJECT
public:
    explicit MediaEngine(QObject* parent = nullptr);
    // With `run` doing the work of each conversion in place of the transcoder.
    explicit MediaEngine(ConversionRun run, QObject* parent = nullptr);
    // Stops a running conversion and waits until it has ended.
    ~MediaEngine() override;

    MediaCollection WmvProfiles() const override;
    void SetWmvProfileIndex(short index) override { m_wmvProfile = index; }
    void SetVideoCompressorIndex(short index) override { m_videoCompressor = index; }
    MediaCollection VideoCompressors() const override;
    void SetUseVideoCompressor(bool use) override { m_useVideoCompressor = use; }
    void SetAudioCompressorIndex(short index) override { m_audioCompressor = index; }
    MediaCollection AudioCompressors() const override;
    void SetUseAudioCompressor(bool use) override { m_useAudioCompressor = use; }
    void SetOutputHeight(short pixels) override { m_outputHeight = pixels; }
    void SetOutputWidth(short pixels) override { m_outputWidth = pixels; }
    void SetColorDepth(short bits) override { m_colorDepth = bits; }
    void SetOutputFormat(int format) override { m_outputFormat = format; }
    void SetFrameRate(double fps) override { m_frameRate = fps; }
    void SetTitle(const QString& title) override { m_title = title; }
    void SetTrackChoices(int audioTrack, int subtitleTrack, const QString& subtitleFile) override
    {
        m_audioTrack = audioTrack;
        m_subtitleTrack = subtitleTrack;
        m_subtitleFile = subtitleFile;
    }

    bool ConvertToFile(const QString& path) override;
    double GetDuration(const QString& path) override;
    bool AddAudioSegment(const QString& path, double start, double end) override;
    bool AddVideoSegment(const QString& path, double start, double end, short flags) override;
    void Reset() override;
    void StopConversion() override;
    void DiscardConversion() override;
    QString LastError() const override { return m_lastError; }
    FailureKind LastFailureKind() const override { return m_lastFailureKind; }
    QString SourceProblem(const QString& path) override;

    bool isConverting() const { return m_converting; }
    // The job ConvertToFile would start now with the current settings.
    ConversionJob jobFor(const QString& outputPath) const;

private:
    // Whether an event of the worker belongs to the conversion running now: those of a
    // stopped or replaced one may still be on their way.
    bool isCurrent(quint64 generation) const { return m_converting && generation == m_generation; }
    void onWorkerProgress(quint64 generation, double position, double total);
    void setError(const QString& error, FailureKind kind);
    void onWorkerFinished(quint64 generation, const QString& error, int kind, bool cancelled);

    short m_wmvProfile = 0;
    short m_videoCompressor = 0;
    short m_audioCompressor = 0;
    bool m_useVideoCompressor = false;
    bool m_useAudioCompressor = false;
    short m_outputWidth = 0;
    short m_outputHeight = 0;
    short m_colorDepth = 24;
    int m_outputFormat = FormatWmv;
    double m_frameRate = 0.0;
    QString m_title;
    int m_audioTrack = 0;
    int m_subtitleTrack = 0;
    QString m_subtitleFile;

    QVector<MediaSegment> m_videoSegments;
    QVector<MediaSegment> m_audioSegments;
    QString m_lastError;
    FailureKind m_lastFailureKind = FailureKind::None;

    quint64 m_generation = 0;
    bool m_converting = false;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    std::shared_ptr<std::atomic<bool>> m_discard; // the running conversion's

    // The worker before its thread: the thread stops first, then the worker goes.
    std::unique_ptr<ConversionWorker> m_worker;
    WorkerThreadPtr m_thread;
};

// The preview of the media component on the FFmpeg libraries. It plays on a thread of
// its own; the pictures and the sound reach this object's thread as queued signals.
class PreviewEngine : public MediaPreview
{
    Q_OBJECT
public:
    // The preview's sound: interleaved signed 16-bit samples at this rate.
    static constexpr int kPreviewSampleRate = 44100;
    static constexpr int kPreviewChannels = 2;

    explicit PreviewEngine(QObject* parent = nullptr);
    ~PreviewEngine() override;

    double GetDuration(const QString& path) override;
    // The preview shows every picture in full colour.
    void SetColorDepth(short) override {}
    bool AddAudioSegment(const QString& path, double start, double second) override;
    bool AddVideoSegment(const QString& path, double start, double second, short flags) override;
    void Reset() override;
    void SetTrackChoices(int audioTrack, int subtitleTrack, const QString& subtitleFile) override;
    bool Play() override;
    void StopPlay() override;
    void ShowStill(const QString& path, double time) override;
    void ClearPicture() override;

    bool isPlaying() const { return m_playing; }

signals:
    void PreviewFrame(const QImage& image);
    void PreviewSound(const QByteArray& pcm);

private:
    // Whether an event of the player belongs to the playback or still asked for last:
    // those of an earlier one may still be on their way.
    bool isCurrent(quint64 generation) const { return generation == m_generation; }
    void onPlayerEnded(quint64 generation, double seconds);
    // Ends the playback and makes whatever the preview thread still delivers stale.
    void dropPreview();

    QVector<MediaSegment> m_videoSegments;
    QVector<MediaSegment> m_audioSegments;
    av::TrackChoices m_choices;

    quint64 m_generation = 0;
    bool m_playing = false;
    std::shared_ptr<std::atomic<bool>> m_cancel;

    // The player before its thread: the thread stops first, then the player goes.
    std::unique_ptr<PreviewPlayer> m_player;
    WorkerThreadPtr m_thread;
};
