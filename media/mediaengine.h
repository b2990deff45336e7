#pragma once

#include "conversionjob.h"
#include "mediacomponent.h"
#include "workerthread.h"

#include <QByteArray>
#include <QImage>
#include <atomic>
#include <memory>

class ConversionWorker;
class PreviewPlayer;
struct ConversionControl;

// The media component on the FFmpeg libraries. Conversions and the preview run on two
// worker threads; everything they report reaches this object's thread as queued signals.
class MediaEngine : public MediaComponent
{
    Q_OBJECT
public:
    // The preview's sound: interleaved signed 16-bit samples at this rate.
    static constexpr int kPreviewSampleRate = 44100;
    static constexpr int kPreviewChannels = 2;

    explicit MediaEngine(QObject* parent = nullptr);
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

    bool ConvertToFile(const QString& path) override;
    double GetDuration(const QString& path) override;
    bool Play() override;
    bool AddAudioSegment(const QString& path, double start, double second) override;
    bool AddVideoSegment(const QString& path, double start, double second, short flags) override;
    void Reset() override;
    void StopConversion() override;
    void StopPlay() override;
    void ShowStill(const QString& path, double time) override;
    void ClearPicture() override;
    QString LastError() const override { return m_lastError; }
    FailureKind LastFailureKind() const override { return m_lastFailureKind; }
    QString SourceProblem(const QString& path) override;

    bool isConverting() const { return m_converting; }
    bool isPlaying() const { return m_playing; }
    // The job ConvertToFile would start now with the current settings.
    ConversionJob jobFor(const QString& outputPath) const;

signals:
    // Preview output, on this object's thread.
    void PreviewFrame(const QImage& image);
    void PreviewSound(const QByteArray& pcm);

private:
    void onWorkerProgress(quint64 generation, double position, double total);
    void setError(const QString& error, FailureKind kind);
    void onWorkerFinished(quint64 generation, const QString& error, int kind, bool cancelled);
    void onPlayerEnded(quint64 generation, double seconds);
    // Ends the playback and makes whatever the preview thread still delivers stale.
    void dropPreview();

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

    QVector<MediaSegment> m_videoSegments;
    QVector<MediaSegment> m_audioSegments;
    QString m_lastError;
    FailureKind m_lastFailureKind = FailureKind::None;

    quint64 m_conversionGeneration = 0;
    bool m_converting = false;
    std::shared_ptr<ConversionControl> m_control;
    quint64 m_playGeneration = 0;
    bool m_playing = false;
    std::shared_ptr<std::atomic<bool>> m_playCancel;

    // Workers before their threads: the threads stop first, then the workers go.
    std::unique_ptr<ConversionWorker> m_converter;
    std::unique_ptr<PreviewPlayer> m_player;
    WorkerThreadPtr m_conversionThread;
    WorkerThreadPtr m_previewThread;
};
