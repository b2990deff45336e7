#include "resources/artresource.h"

#include <QFile>
#include <QGuiApplication>

namespace art {

QString path(Kind kind, int id)
{
    return QStringLiteral(":/%1/%2")
        .arg(kind == Kind::Icon ? QStringLiteral("icon") : QStringLiteral("bitmap"))
        .arg(id);
}

QImage image(Kind kind, int id, qreal dpr)
{
    if (dpr <= 0)
        dpr = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                  ? qApp->devicePixelRatio()
                  : 1.0;
    const QString base = path(kind, id);
    if (dpr > 1.0) {
        QImage large(base + QStringLiteral("@2x"));
        if (!large.isNull()) {
            large.setDevicePixelRatio(2.0);
            return large;
        }
    }
    return QImage(base);
}

QPixmap pixmap(Kind kind, int id, qreal dpr)
{
    const QImage img = image(kind, id, dpr);
    return img.isNull() ? QPixmap() : QPixmap::fromImage(img);
}

} // namespace art
