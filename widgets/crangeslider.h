#pragma once

#include <QPixmap>
#include <QRect>
#include <QWidget>
#include <utility>

class QPainter;

// A horizontal slider with two thumbs selecting [left, right] within [min, max].
// Every change is reported synchronously with rangeChanged(which, released):
// which = 0 left edge, 1 right edge, 2 both; released is true when a drag ends.
// Keys: Left and Right move the selection one pixel's worth of value; against an end
// of the track they move the other edge alone. Shift moves the right edge alone, never
// below the left one.
class CRangeSlider : public QWidget
{
    Q_OBJECT

public:
    explicit CRangeSlider(QWidget* parent = nullptr);

    void SetRange(double a, double b);
    void SetSelection(double a, double b);
    void GetSelection(double& left, double& right) const;
    std::pair<double, double> GetSelection() const { return {m_left, m_right}; }
    double GetMin() const { return m_min; }
    double GetMax() const { return m_max; }
    bool IsDragging() const { return m_dragging; }

    // Geometry of the last paint (or of the current size before the first one).
    QRect leftThumbRect() const { return m_leftThumb; }
    QRect rightThumbRect() const { return m_rightThumb; }
    int trackLength() const { return m_trackLength; }

    QSize sizeHint() const override { return {222, 18}; }

signals:
    void rangeChanged(int which, bool released);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void clamp();
    void drawFocusMark(QPainter& p) const;
    void layoutThumbs();
    double valueStep() const; // value per pixel; 0 when the track or the range is empty

    double m_min = 0.0;
    double m_max = 1.0;
    double m_left = 0.0;
    double m_right = 1.0;
    int m_thumbWidth = 10;
    bool m_dragging = false;
    int m_dragPart = 0;
    QRect m_leftThumb;
    QRect m_rightThumb;
    int m_trackLength = 0;
    int m_dragOffsetX = 0;
    int m_dragOffsetY = 0;
    QPixmap m_track, m_thumbLeft, m_thumbRight, m_bar;
};
