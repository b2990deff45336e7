#pragma once

#include <QPixmap>
#include <QWidget>
#include <thread>

// A picture that fades in from nothing to full opacity. A worker thread only times
// the steps and hands each step's alpha to the widget on the user-interface thread;
// destroying the widget mid-fade stops and joins the worker.
class CFadePicture : public QWidget
{
    Q_OBJECT

public:
    explicit CFadePicture(QWidget* parent = nullptr);
    ~CFadePicture() override;

    // Loads bitmap resource `bitmapId`, resizes the widget to it and starts the
    // 52-step fade (alpha 0, 5, ... 255, stepDelayMs after each step). False, and
    // nothing else, when the bitmap cannot be loaded.
    bool StartFade(int bitmapId, int stepDelayMs = 100);

    bool IsFadeDone() const { return m_fadeDone; }
    bool IsFading() const { return m_worker.joinable() && !m_fadeDone; }
    // The picture's opacity on screen, 0 to 1.
    double opacity() const { return m_opacity; }

signals:
    void fadeFinished();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void stopWorker();
    void applyStep(int alpha);
    void finishFade();

    int m_bitmapId = 0;
    int m_stepDelay = 100;
    bool m_fadeDone = false;
    double m_opacity = 0.0;
    QPixmap m_bitmap;
    std::jthread m_worker;
};
