#pragma once

#include "media/mediaengine.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <memory>

class QAudioSink;
class QIODevice;

// The media component as the main window hosts it: the preview surface, with the
// preview's members under their names, and the converter beside it. A conversion and
// the preview each keep their own segments and settings.
class CVideoEdit : public QWidget
{
    Q_OBJECT
public:
    explicit CVideoEdit(QWidget* parent = nullptr);
    ~CVideoEdit() override;

    // For the batch driver and the pre-conversion.
    MediaConverter* converter() { return &m_converter; }
    // For the window's trimming and preview.
    MediaPreview* preview() { return &m_preview; }

    double GetDuration(const QString& path) { return m_preview.GetDuration(path); }
    void SetColorDepth(short bits) { m_preview.SetColorDepth(bits); }
    bool AddAudioSegment(const QString& path, double start, double second)
    {
        return m_preview.AddAudioSegment(path, start, second);
    }
    bool AddVideoSegment(const QString& path, double start, double second, short flags)
    {
        return m_preview.AddVideoSegment(path, start, second, flags);
    }
    void Reset() { m_preview.Reset(); }
    bool Play() { return m_preview.Play(); }
    void StopPlay() { m_preview.StopPlay(); }
    void ShowStill(const QString& path, double time) { m_preview.ShowStill(path, time); }
    void ClearPicture() { m_preview.ClearPicture(); }

    // The picture shown now; null before the first preview.
    QImage currentFrame() const { return m_frame; }

signals:
    void PlayEnded(double unused);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showFrame(const QImage& image);
    void queueSound(const QByteArray& pcm);
    void feedSound();
    void stopSound();

    MediaEngine m_converter;
    PreviewEngine m_preview;
    QImage m_frame;
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_soundOut = nullptr;
    QByteArray m_pendingSound;
    QTimer m_soundTimer;
};
