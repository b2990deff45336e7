#include "widgets/cfadepicture.h"

#include "resources/artresource.h"

#include <QMetaObject>
#include <QPainter>
#include <chrono>
#include <condition_variable>
#include <mutex>

CFadePicture::CFadePicture(QWidget* parent) : QWidget(parent) {}

CFadePicture::~CFadePicture()
{
    stopWorker();
}

bool CFadePicture::StartFade(int bitmapId, int stepDelayMs)
{
    const QPixmap bitmap = art::pixmap(art::Kind::Bitmap, bitmapId, devicePixelRatioF());
    if (bitmap.isNull())
        return false;
    stopWorker();
    m_bitmap = bitmap;
    m_bitmapId = bitmapId;
    m_stepDelay = qMax(0, stepDelayMs);
    m_fadeDone = false;
    m_opacity = 0.0;
    resize(m_bitmap.deviceIndependentSize().toSize());
    raise();
    update();

    const auto delay = std::chrono::milliseconds(m_stepDelay);
    m_worker = std::jthread([this, delay](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wake;
        for (int alpha = 0; alpha <= 255; alpha += 5) {
            if (stop.stop_requested())
                return;
            // Only the alpha crosses over: the widget paints on its own thread.
            QMetaObject::invokeMethod(
                this, [this, alpha] { applyStep(alpha); }, Qt::QueuedConnection);
            std::unique_lock lock(mutex);
            if (wake.wait_for(lock, stop, delay, [] { return false; }), stop.stop_requested())
                return;
        }
        QMetaObject::invokeMethod(
            this, [this] { finishFade(); }, Qt::QueuedConnection);
    });
    return true;
}

void CFadePicture::stopWorker()
{
    if (m_worker.joinable()) {
        m_worker.request_stop();
        m_worker.join();
    }
}

void CFadePicture::applyStep(int alpha)
{
    // Each step blends over what the steps before it left, as layers of paint would.
    const double a = alpha / 255.0;
    m_opacity = m_opacity + a * (1.0 - m_opacity);
    update();
}

void CFadePicture::finishFade()
{
    m_fadeDone = true;
    m_opacity = 1.0;
    update();
    emit fadeFinished();
}

void CFadePicture::paintEvent(QPaintEvent*)
{
    if (m_bitmap.isNull() || m_opacity <= 0.0)
        return;
    QPainter p(this);
    if (!m_fadeDone)
        p.setOpacity(m_opacity);
    p.drawPixmap(0, 0, m_bitmap);
}
