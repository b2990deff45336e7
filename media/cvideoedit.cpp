#include "media/cvideoedit.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <QPainter>

namespace {
constexpr int kSoundFeedMs = 20;
}

CVideoEdit::CVideoEdit(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&m_preview, &MediaPreview::PlayEnded, this, [this](double seconds) {
        stopSound();
        emit PlayEnded(seconds);
    });
    connect(&m_preview, &PreviewEngine::PreviewFrame, this, &CVideoEdit::showFrame);
    connect(&m_preview, &PreviewEngine::PreviewSound, this, &CVideoEdit::queueSound);
    m_soundTimer.setInterval(kSoundFeedMs);
    connect(&m_soundTimer, &QTimer::timeout, this, &CVideoEdit::feedSound);
}

CVideoEdit::~CVideoEdit()
{
    stopSound();
}

void CVideoEdit::showFrame(const QImage& image)
{
    m_frame = image;
    update();
}

void CVideoEdit::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (m_frame.isNull())
        return;
    QSize fitted = m_frame.size().scaled(size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), fitted);
    target.moveCenter(rect().center());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, m_frame);
}

void CVideoEdit::queueSound(const QByteArray& pcm)
{
    if (!m_sink) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return; // no sound card: the preview plays silently
        QAudioFormat format;
        format.setSampleRate(PreviewEngine::kPreviewSampleRate);
        format.setChannelCount(PreviewEngine::kPreviewChannels);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format))
            return;
        m_sink = std::make_unique<QAudioSink>(device, format);
        m_soundOut = m_sink->start();
        if (!m_soundOut) {
            m_sink.reset();
            return;
        }
        m_soundTimer.start();
    }
    m_pendingSound += pcm;
    feedSound();
}

void CVideoEdit::feedSound()
{
    if (!m_sink || !m_soundOut || m_pendingSound.isEmpty())
        return;
    const qsizetype room = std::min<qsizetype>(m_sink->bytesFree(), m_pendingSound.size());
    const qint64 written = room > 0 ? m_soundOut->write(m_pendingSound.constData(), room) : 0;
    if (written > 0)
        m_pendingSound.remove(0, written);
}

void CVideoEdit::stopSound()
{
    m_soundTimer.stop();
    m_pendingSound.clear();
    if (m_sink)
        m_sink->stop();
    m_sink.reset();
    m_soundOut = nullptr;
}
