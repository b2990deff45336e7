#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

// The program's own art, addressed by resource number: icons as ":/icon/N", bitmaps
// as ":/bitmap/N". Each also exists at twice the size as ":/icon/N@2x".
namespace art {

enum class Kind
{
    Icon,
    Bitmap
};

QString path(Kind kind, int id);
// dpr 0: the application's device pixel ratio. Loads the @2x image when dpr > 1 and
// marks it with that ratio, so its size in logical pixels is the same. Null when the
// resource does not exist.
QImage image(Kind kind, int id, qreal dpr = 0);
QPixmap pixmap(Kind kind, int id, qreal dpr = 0);

} // namespace art
