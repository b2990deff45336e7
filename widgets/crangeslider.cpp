#include "widgets/crangeslider.h"

#include "resources/artresource.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kThumbWidth = 13;

QPixmap sliderArt(int id)
{
    return art::pixmap(art::Kind::Bitmap, id);
}

} // namespace

CRangeSlider::CRangeSlider(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    m_track = sliderArt(212);
    m_thumbLeft = sliderArt(213);
    m_thumbRight = sliderArt(214);
    m_bar = sliderArt(215);
    layoutThumbs();
}

void CRangeSlider::SetRange(double a, double b)
{
    m_min = qMin(a, b);
    m_max = qMax(a, b);
    clamp();
    layoutThumbs();
    update();
}

void CRangeSlider::SetSelection(double a, double b)
{
    m_left = a;
    m_right = b;
    clamp();
    layoutThumbs();
    update();
}

void CRangeSlider::GetSelection(double& left, double& right) const
{
    left = m_left;
    right = m_right;
}

void CRangeSlider::clamp()
{
    if (m_left < m_min) {
        m_left = m_min;
        emit rangeChanged(0, false);
        if (m_right < m_left) {
            m_right = m_left;
            emit rangeChanged(1, false);
        }
    }
    if (m_right > m_max) {
        m_right = m_max;
        emit rangeChanged(1, false);
        if (m_left > m_right) {
            m_left = m_right;
            emit rangeChanged(0, false);
        }
    }
}

double CRangeSlider::valueStep() const
{
    // An empty track or an empty range has no value per pixel: the thumbs rest at the
    // start and the mouse and keys leave the values alone.
    if (m_trackLength <= 0 || !(m_max > m_min))
        return 0.0;
    return (m_max - m_min) / m_trackLength;
}

void CRangeSlider::layoutThumbs()
{
    m_thumbWidth = kThumbWidth;
    m_trackLength = width() - 2 * kThumbWidth;
    int xL = 0, xR = 0;
    if (m_trackLength > 0 && m_max > m_min) {
        const double span = m_max - m_min;
        xL = int(m_trackLength * (m_left - m_min) / span + 0.5);
        xR = int(m_trackLength * (m_right - m_min) / span + 0.5);
    }
    m_leftThumb = QRect(xL, 0, kThumbWidth, height());
    m_rightThumb = QRect(xR + kThumbWidth, 0, kThumbWidth, height());
}

void CRangeSlider::resizeEvent(QResizeEvent*)
{
    layoutThumbs();
}

void CRangeSlider::paintEvent(QPaintEvent*)
{
    layoutThumbs();
    // The parent shows through wherever the art is transparent.
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    // Greyed with the rest of the window while a batch runs or no Task is loaded.
    if (!isEnabled())
        p.setOpacity(0.35);
    const int xL = m_leftThumb.left();
    const int xR = m_rightThumb.left() - kThumbWidth;
    p.drawPixmap(QRect(0, 3, width(), 11), m_track);
    auto part = [](const QPixmap& pm, int w, int h) {
        const qreal dpr = pm.devicePixelRatio();
        return QRectF(0, 0, w * dpr, h * dpr);
    };
    p.drawPixmap(QRectF(xL, 0, kThumbWidth, 17), m_thumbLeft, part(m_thumbLeft, kThumbWidth, 17));
    p.drawPixmap(QRectF(xR + kThumbWidth, 0, kThumbWidth, 17), m_thumbRight,
                 part(m_thumbRight, kThumbWidth, 17));
    p.drawPixmap(QRect(xL + 12, 5, xR - xL + 2, 7), m_bar);
    if (hasFocus())
        drawFocusMark(p);
}

void CRangeSlider::drawFocusMark(QPainter& p) const
{
    // The arrow keys act on the focused slider: a ring in the colour of the window's
    // texts says which one that is, on the window's dark picture and on a light one.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3.0, 3.0);
}

void CRangeSlider::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    update();
    if (m_dragging || event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    // Rectangles with exclusive right and bottom edges, tested in this order.
    auto inside = [&pos](int l, int t, int r, int b) {
        return pos.x() >= l && pos.x() < r && pos.y() >= t && pos.y() < b;
    };
    const int lL = m_leftThumb.left(), lR = m_leftThumb.left() + m_leftThumb.width();
    const int rL = m_rightThumb.left(), rR = m_rightThumb.left() + m_rightThumb.width();
    const int h = height();
    int part = -1;
    int cx = 0;
    if (inside(lL, 0, lR, h)) {
        part = 0;
        cx = (lL + lR) / 2;
    } else if (inside(rL, 0, rR, h)) {
        part = 1;
        cx = (rL + rR) / 2;
    } else if (inside(lR + 1, 0, rL - 1, h)) {
        part = 2;
        cx = (lR + 1 + rL - 1) / 2;
    }
    if (part < 0)
        return;
    m_dragging = true;
    m_dragPart = part;
    m_dragOffsetX = pos.x() - cx;
    m_dragOffsetY = pos.y() - h / 2;
}

void CRangeSlider::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging)
        return;
    const double s = valueStep();
    if (s <= 0.0)
        return;
    const int p = event->position().toPoint().x() - m_dragOffsetX;
    switch (m_dragPart) {
    case 0:
        m_left = m_min + (p - 6) * s;
        if (m_left >= m_right)
            m_left = m_right;
        if (m_left <= m_min)
            m_left = m_min;
        emit rangeChanged(0, false);
        break;
    case 1: {
        const double old = m_right;
        m_right = m_min + (p - 19) * s;
        if (m_right <= m_left)
            m_right = m_left;
        if (m_right >= m_max)
            m_right = m_max;
        emit rangeChanged(m_right != old ? 1 : 0, false);
        break;
    }
    default: {
        const double w = m_right - m_left;
        const double d = (p - 13) * s;
        m_left = m_min + d - w / 2;
        m_right = m_min + d + w / 2;
        if (m_left <= m_min) {
            m_left = m_min;
            m_right = m_min + w;
        }
        if (m_right >= m_max) {
            m_right = m_max;
            m_left = m_max - w;
        }
        emit rangeChanged(2, false);
        break;
    }
    }
    layoutThumbs();
    update();
}

void CRangeSlider::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    emit rangeChanged(m_dragPart, true);
    update();
}

void CRangeSlider::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key != Qt::Key_Left && key != Qt::Key_Right) ||
        (event->modifiers() & Qt::ControlModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    const double s = valueStep();
    if (s == 0.0)
        return;
    // The edges in whole pixels of the track; a key moves them by one.
    const int step = key == Qt::Key_Right ? 1 : -1;
    const int a = int((m_left - m_min) * (1.0 / s) + 0.5);
    const int b = int((m_right - m_min) * (1.0 / s) + 0.5);
    const auto at = [&](int pixel) { return pixel * s + m_min; };
    int which;
    if (event->modifiers() & Qt::ShiftModifier) {
        // The end alone; it stops at the start, so a Task never ends before it begins.
        which = 1;
        if (b + step <= m_trackLength)
            m_right = std::max(at(b + step), m_left);
    } else if (a + step >= 0 && b + step <= m_trackLength) {
        which = 2;
        m_left = at(a + step);
        m_right = at(b + step);
    } else if (step > 0) {
        // The end is at the end of the track: the start moves on alone, so that a new
        // Task, which spans the whole video, can be trimmed from its start by keys too.
        which = 0;
        m_left = std::min(at(a + 1), m_right);
    } else {
        // Likewise at the start of the track: the end moves back alone.
        which = 1;
        m_right = std::max(at(b - 1), m_left);
    }
    emit rangeChanged(which, false);
    layoutThumbs();
    update();
}

void CRangeSlider::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void CRangeSlider::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}
