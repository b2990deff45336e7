#include "widgets/cimagebutton.h"

#include "resources/artresource.h"
#include "widgets/colorref.h"

#include <QApplication>
#include <QBitmap>
#include <QEnterEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace {

constexpr int kSystemIconSize = 32;

// The colour bitmap with its transparent colour made transparent, at the image's own
// device pixel ratio. Null when the image is null.
QPixmap maskedBitmap(const QImage& image, ColorRef transparent, bool* maskFailed)
{
    *maskFailed = false;
    if (image.isNull())
        return {};
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull()) {
        *maskFailed = true;
        return {};
    }
    const QColor key = colorFromRef(transparent);
    if (key.isValid()) {
        const QRgb keyRgb = key.rgb() & 0xFFFFFF;
        for (int y = 0; y < argb.height(); ++y) {
            QRgb* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
            for (int x = 0; x < argb.width(); ++x) {
                if ((line[x] & 0xFFFFFF) == keyRgb)
                    line[x] = 0;
            }
        }
    }
    return QPixmap::fromImage(argb);
}

} // namespace

CImageButton::CImageButton(QWidget* parent) : QPushButton(parent)
{
    setAutoDefault(false);
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    ResetColors(false);
}

int CImageButton::SetIconPair(int hotId, int normalId, int loadFlag, bool repaint)
{
    auto load = [&](int id) {
        QPixmap icon = art::pixmap(art::Kind::Icon, id, devicePixelRatioF());
        if (!icon.isNull() && loadFlag == 1) {
            const qreal dpr = icon.devicePixelRatio();
            icon = icon.scaled(QSize(kSystemIconSize, kSystemIconSize) * dpr, Qt::IgnoreAspectRatio,
                               Qt::SmoothTransformation);
            icon.setDevicePixelRatio(dpr);
        }
        return icon;
    };
    const QPixmap hot = load(hotId);
    const QPixmap normal = normalId != 0 ? load(normalId) : QPixmap();
    if (normalId != 0 && normal.isNull()) {
        dropImages();
        finish(repaint);
        return InvalidImage;
    }
    return SetIconHandles(hot, normal, repaint);
}

int CImageButton::SetIconHandles(const QPixmap& hot, const QPixmap& normal, bool repaint)
{
    dropImages();
    if (hot.isNull()) {
        finish(repaint);
        return InvalidImage;
    }
    m_hotImage = hot;
    m_normalImage = normal;
    finish(repaint);
    return Ok;
}

int CImageButton::SetBitmapPair(int hotId, ColorRef hotTransparent, int normalId,
                                ColorRef normalTransparent, bool repaint)
{
    const qreal dpr = devicePixelRatioF();
    const QImage hot = art::image(art::Kind::Bitmap, hotId, dpr);
    const QImage normal = normalId != 0 ? art::image(art::Kind::Bitmap, normalId, dpr) : QImage();
    if (normalId != 0 && normal.isNull()) {
        dropImages();
        finish(repaint);
        return InvalidImage;
    }
    return SetBitmapHandles(hot, hotTransparent, normal, normalTransparent, repaint);
}

int CImageButton::SetBitmapHandles(const QImage& hot, ColorRef hotTransparent, const QImage& normal,
                                   ColorRef normalTransparent, bool repaint)
{
    dropImages();
    if (hot.isNull()) {
        finish(repaint);
        return InvalidImage;
    }
    bool failedHot = false, failedNormal = false;
    QPixmap hotPixmap = maskedBitmap(hot, hotTransparent, &failedHot);
    QPixmap normalPixmap = maskedBitmap(normal, normalTransparent, &failedNormal);
    if (failedHot || failedNormal) {
        finish(repaint);
        return MaskFailed;
    }
    m_hotImage = hotPixmap;
    m_normalImage = normalPixmap;
    finish(repaint);
    return Ok;
}

int CImageButton::SetImageAlignment(int alignment, bool repaint)
{
    if (alignment < ImageLeft || alignment > ImageOverlap)
        return InvalidAlignment;
    m_alignment = alignment;
    finish(repaint);
    return Ok;
}

int CImageButton::SetPressShift(int style, bool repaint)
{
    if (style == 0)
        m_pressShift = QPoint(1, 1);
    else if (style == 1)
        m_pressShift = QPoint(0, 2);
    else
        return InvalidPressStyle;
    finish(repaint);
    return Ok;
}

int CImageButton::SetChecked(bool checked, bool repaint)
{
    if (isCheckable()) {
        setChecked(checked);
        finish(repaint);
    }
    return Ok;
}

bool CImageButton::IsChecked() const
{
    return isCheckable() && isChecked();
}

int CImageButton::ResetColors(bool repaint)
{
    for (ColorRef& c : m_colors)
        c = CLR_DEFAULT;
    finish(repaint);
    return Ok;
}

int CImageButton::SetStateColor(int index, ColorRef color, bool repaint)
{
    if (index < 0 || index > TextFocused)
        return InvalidIndex;
    m_colors[index] = color;
    finish(repaint);
    return Ok;
}

ColorRef CImageButton::GetStateColor(int index) const
{
    return index >= 0 && index <= TextFocused ? m_colors[index] : CLR_DEFAULT;
}

int CImageButton::ShowFlatBorder(bool on, bool repaint)
{
    m_showBorder = on;
    finish(repaint);
    return Ok;
}

int CImageButton::UseParentBackground(bool repaint)
{
    m_transparent = true;
    finish(repaint);
    return Ok;
}

void CImageButton::SetTipText(const QString& text, bool activate)
{
    if (text.isNull())
        return;
    m_tipText = text;
    setToolTip(activate ? m_tipText : QString());
}

QSize CImageButton::sizeHint() const
{
    if (m_hotImage.isNull())
        return QPushButton::sizeHint();
    return m_hotImage.deviceIndependentSize().toSize() + QSize(6, 6);
}

QColor CImageButton::stateColor(int index) const
{
    const bool text = index % 2 == 1;
    return colorFromRef(m_colors[index],
                        palette().color(text ? QPalette::ButtonText : QPalette::Button));
}

void CImageButton::dropImages()
{
    m_hotImage = QPixmap();
    m_normalImage = QPixmap();
}

void CImageButton::finish(bool repaint)
{
    if (repaint)
        update();
}

void CImageButton::setHot(bool hot)
{
    if (m_hover == hot)
        return;
    m_hover = hot;
    update();
}

void CImageButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const bool pressed = isDown() || (isCheckable() && isChecked());
    DrawBackground(p, pressed);
    DrawBorder(p, pressed);
    QRect caption = rect();
    DrawImage(p, pressed, caption);
    if (!text().isEmpty())
        DrawText(p, pressed, caption);
    if (hasFocus())
        drawFocusMark(p);
}

void CImageButton::drawFocusMark(QPainter& p) const
{
    // The state colours cannot show the focus on a button drawn over its parent, and the
    // keyboard user must see which button Space presses: a ring in the colour of the
    // texts that stand on the same background.
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(palette().color(QPalette::WindowText), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4.0, 4.0);
    p.restore();
}

void CImageButton::DrawBackground(QPainter& p, bool pressed)
{
    // Over the parent nothing is painted: Qt has already drawn the parent beneath.
    if (m_transparent)
        return;
    const int index = (m_hover || pressed) ? BackHot : hasFocus() ? BackFocused : BackNormal;
    const QColor c = stateColor(index);
    if (c.isValid())
        p.fillRect(rect(), c);
}

void CImageButton::DrawBorder(QPainter& p, bool pressed)
{
    if (!m_showBorder || !(pressed || m_hover))
        return;
    const QColor light = palette().color(QPalette::Light);
    const QColor shadow = palette().color(QPalette::Dark);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    p.setPen(pressed ? shadow : light);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(pressed ? light : shadow);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

void CImageButton::DrawImage(QPainter& p, bool pressed, QRect& caption)
{
    if (m_hotImage.isNull())
        return;
    bool useHot;
    if (isCheckable())
        useHot = pressed;
    else
        useHot = pressed || m_hover;
    const QPixmap& image = (useHot || m_normalImage.isNull()) ? m_hotImage : m_normalImage;
    const QSize size = image.deviceIndependentSize().toSize();
    const int W = size.width(), H = size.height();
    const QRect item = rect();
    const bool hasText = !text().isEmpty();
    QPoint at;
    switch (m_alignment) {
    case ImageLeft:
        if (hasText) {
            at.setX(item.left() + m_marginX);
            caption.setLeft(caption.left() + m_marginX + W);
        } else {
            at.setX(item.left() + (item.width() - W) / 2);
        }
        at.setY(item.top() + (item.height() - H) / 2);
        break;
    case ImageAbove:
        at.setX(item.left() + (item.width() - W) / 2);
        if (hasText) {
            at.setY(m_marginY);
            caption.setTop(caption.top() + H);
        } else {
            at.setY(item.top() + (item.height() - H) / 2);
        }
        break;
    case ImageRight:
        if (hasText) {
            at.setX(item.right() + 1 - m_marginX - W);
            caption.setLeft(m_marginX);
            caption.setWidth(caption.width() - (m_marginX + W));
            at.setY(item.top() + (item.height() - H) / 2);
        } else {
            at = QPoint(item.left() + (item.width() - W) / 2, item.top());
        }
        break;
    default:
        at = item.topLeft();
        break;
    }
    if (pressed && !isCheckable())
        at += m_pressShift;
    if (!isEnabled()) {
        QStyleOption option;
        option.initFrom(this);
        // Grey alone hardly shows on light pictures: faded too, it reads as unusable.
        p.save();
        p.setOpacity(0.35);
        p.drawPixmap(at, style()->generatedIconPixmap(QIcon::Disabled, image, &option));
        p.restore();
    } else {
        p.drawPixmap(at, image);
    }
}

void CImageButton::DrawText(QPainter& p, bool pressed, const QRect& captionRect)
{
    QRect caption = captionRect;
    if (pressed && !isCheckable())
        caption.translate(m_pressShift);
    const int flags = Qt::TextWordWrap | Qt::AlignCenter;
    if (!isEnabled()) {
        p.setPen(palette().color(QPalette::Light));
        p.drawText(caption.translated(1, 1), flags, text());
        return;
    }
    const int index = (m_hover || pressed) ? TextHot : hasFocus() ? TextFocused : TextNormal;
    p.setPen(stateColor(index));
    p.drawText(caption, flags, text());
}

void CImageButton::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    // Sliding in while another button is held down does not light this one.
    if (!(QApplication::mouseButtons() & Qt::LeftButton) || m_hover)
        setHot(true);
}

void CImageButton::mouseMoveEvent(QMouseEvent* event)
{
    QPushButton::mouseMoveEvent(event);
    const bool inside = rect().contains(event->position().toPoint());
    if ((event->buttons() & Qt::LeftButton) && !m_hover && !isDown())
        return;
    setHot(inside);
}

void CImageButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    setHot(false);
}

void CImageButton::focusOutEvent(QFocusEvent* event)
{
    QPushButton::focusOutEvent(event);
    setHot(false);
}

void CImageButton::changeEvent(QEvent* event)
{
    QPushButton::changeEvent(event);
    switch (event->type()) {
    case QEvent::ActivationChange:
        if (!isActiveWindow())
            setHot(false);
        break;
    case QEvent::EnabledChange:
        if (!isEnabled()) {
            // Pass the keyboard focus on, to the parent when nothing else takes it.
            if (hasFocus() && parentWidget()) {
                QWidget* next = nextInFocusChain();
                while (next && next != this &&
                       !(next->isEnabled() && next->isVisible() &&
                         (next->focusPolicy() & Qt::TabFocus)))
                    next = next->nextInFocusChain();
                if (next && next != this)
                    next->setFocus(Qt::TabFocusReason);
                else
                    parentWidget()->setFocus();
            }
            setHot(false);
        }
        break;
    case QEvent::ThemeChange:
        // A change of the desktop's colours: back to fresh system colours.
        ResetColors(true);
        break;
    default:
        break;
    }
}

void CImageButton::nextCheckState()
{
    setFocus(Qt::MouseFocusReason);
    QPushButton::nextCheckState();
}
