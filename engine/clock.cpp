#include "engine/clock.h"

#include <QElapsedTimer>

uint32_t tickCount()
{
    static const QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    // Start away from zero so that a tick never reads as "not taken yet".
    return uint32_t(timer.elapsed() + 1000);
}
