#pragma once

#include "widgets/cellrequest.h"

#include <QImage>
#include <QPixmap>
#include <QPushButton>

// A flat push button that draws a hot/normal image pair over a state colour or over
// its parent. Images are the program's resources by number (icons ":/icon/N",
// bitmaps ":/bitmap/N"). A double click counts as two clicks.
// Check-box mode is setCheckable(true): the click toggles the check state.
class CImageButton : public QPushButton
{
    Q_OBJECT

public:
    enum Result
    {
        Ok = 0,
        InvalidImage = 1,
        MaskFailed = 2,
        InvalidIndex = 3,
        InvalidAlignment = 4,
        InvalidPressStyle = 6,
    };
    enum ImageAlignment
    {
        ImageLeft = 0,
        ImageAbove = 1,
        ImageRight = 2,
        ImageOverlap = 3
    };
    enum StateColor
    {
        BackHot = 0,
        TextHot = 1,
        BackNormal = 2,
        TextNormal = 3,
        BackFocused = 4,
        TextFocused = 5,
    };

    explicit CImageButton(QWidget* parent = nullptr);

    // loadFlag 0: each icon at its own size; 1: at the system icon size (32x32).
    // normalId 0: no normal image (the hot one is shown in every state).
    int SetIconPair(int hotId, int normalId, int loadFlag, bool repaint = true);
    int SetIconHandles(const QPixmap& hot, const QPixmap& normal = QPixmap(), bool repaint = true);
    // Pixels of the transparent colour show what lies behind the button.
    int SetBitmapPair(int hotId, ColorRef hotTransparent, int normalId, ColorRef normalTransparent,
                      bool repaint = true);
    int SetBitmapHandles(const QImage& hot, ColorRef hotTransparent,
                         const QImage& normal = QImage(), ColorRef normalTransparent = CLR_NONE,
                         bool repaint = true);

    int SetImageAlignment(int alignment, bool repaint = true);
    int SetPressShift(int style, bool repaint = true); // 0: (1, 1), 1: (0, 2)
    int SetChecked(bool checked, bool repaint = true); // check-box mode only
    bool IsChecked() const;
    int ResetColors(bool repaint = true);
    int SetStateColor(int index, ColorRef color, bool repaint = true);
    ColorRef GetStateColor(int index) const;
    int ShowFlatBorder(bool on, bool repaint = true);
    int UseParentBackground(bool repaint = true);
    void SetTipText(const QString& text, bool activate);

    bool isHot() const { return m_hover; }
    bool hasImages() const { return !m_hotImage.isNull(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void nextCheckState() override;

    // Drawing steps, in the order they are taken.
    virtual void DrawBackground(QPainter& painter, bool pressed);
    virtual void DrawBorder(QPainter& painter, bool pressed);
    virtual void DrawImage(QPainter& painter, bool pressed, QRect& captionRect);
    virtual void DrawText(QPainter& painter, bool pressed, const QRect& captionRect);

private:
    void setHot(bool hot);
    void drawFocusMark(QPainter& p) const;
    void dropImages();
    void finish(bool repaint);
    QColor stateColor(int index) const;

    bool m_hover = false;
    bool m_transparent = false;
    bool m_showBorder = true;
    int m_alignment = ImageLeft;
    int m_marginX = 3;
    int m_marginY = 3;
    QPoint m_pressShift{1, 1};
    ColorRef m_colors[6];
    QPixmap m_hotImage;    // with the transparent colour already made transparent
    QPixmap m_normalImage; // null when the pair has no normal image
    QString m_tipText;
};
