#pragma once

#include "widgets/cellrequest.h"

#include <QColor>

// A 0x00BBGGRR colour reference as a QColor: CLR_DEFAULT gives `fallback`, CLR_NONE an
// invalid colour (nothing is painted).
inline QColor colorFromRef(ColorRef ref, const QColor& fallback = QColor())
{
    if (ref == CLR_NONE)
        return QColor();
    if (ref == CLR_DEFAULT)
        return fallback;
    return QColor(int(ref & 0xFF), int((ref >> 8) & 0xFF), int((ref >> 16) & 0xFF));
}

inline ColorRef refFromColor(const QColor& color)
{
    return color.isValid() ? rgbRef(color.red(), color.green(), color.blue()) : CLR_NONE;
}
