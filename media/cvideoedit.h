#pragma once

#include "mediaengine.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <memory>

class QAudioSink;
class QIODevice;

// The media component as the main window hosts it: the preview surface over the
// engine. Every member of the component is here under its name; the events come out
// as this widget's own signals.
class CVideoEdit : public QWidget
{
    Q_OBJECT
public:
    explicit CVideoEdit(QWidget* parent = nullptr);
    ~CVideoEdit() override;

    // The engine itself, for the batch driver and the pre-conversion.
    MediaComponent* component() { return &m_engine; }

    MediaCollection WmvProfiles() const { return m_engine.WmvProfiles(); }
    void SetWmvProfileIndex(short index) { m_engine.SetWmvProfileIndex(index); }
    void SetVideoCompressorIndex(short index) { m_engine.SetVideoCompressorIndex(index); }
    MediaCollection VideoCompressors() const { return m_engine.VideoCompressors(); }
    void SetUseVideoCompressor(bool use) { m_engine.SetUseVideoCompressor(use); }
    void SetAudioCompressorIndex(short index) { m_engine.SetAudioCompressorIndex(index); }
    MediaCollection AudioCompressors() const { return m_engine.AudioCompressors(); }
    void SetUseAudioCompressor(bool use) { m_engine.SetUseAudioCompressor(use); }
    void SetOutputHeight(short pixels) { m_engine.SetOutputHeight(pixels); }
    void SetOutputWidth(short pixels) { m_engine.SetOutputWidth(pixels); }
    void SetColorDepth(short bits) { m_engine.SetColorDepth(bits); }
    void SetOutputFormat(int format) { m_engine.SetOutputFormat(format); }
    void SetFrameRate(double fps) { m_engine.SetFrameRate(fps); }
    bool ConvertToFile(const QString& path) { return m_engine.ConvertToFile(path); }
    double GetDuration(const QString& path) { return m_engine.GetDuration(path); }
    bool Play() { return m_engine.Play(); }
    bool AddAudioSegment(const QString& path, double start, double second)
    {
        return m_engine.AddAudioSegment(path, start, second);
    }
    bool AddVideoSegment(const QString& path, double start, double second, short flags)
    {
        return m_engine.AddVideoSegment(path, start, second, flags);
    }
    void Reset() { m_engine.Reset(); }
    void StopConversion() { m_engine.StopConversion(); }
    void StopPlay() { m_engine.StopPlay(); }
    void ShowStill(const QString& path, double time) { m_engine.ShowStill(path, time); }
    void ClearPicture() { m_engine.ClearPicture(); }
    QString LastError() const { return m_engine.LastError(); }

    // The picture shown now; null before the first preview.
    QImage currentFrame() const { return m_frame; }

signals:
    void ConversionComplete();
    void ConversionProgress(double position, double total);
    void PlayEnded(double unused);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showFrame(const QImage& image);
    void queueSound(const QByteArray& pcm);
    void feedSound();
    void stopSound();

    MediaEngine m_engine;
    QImage m_frame;
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_soundOut = nullptr;
    QByteArray m_pendingSound;
    QTimer m_soundTimer;
};
