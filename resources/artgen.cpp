// Draws the program's icons and bitmaps into PNG files, each at 1x and 2x:
//   artgen OUTPUT_FOLDER [APP_ICON_SIZE...]
// writes icon_N.png, icon_N@2x.png, bitmap_N.png, bitmap_N@2x.png, and the program's
// icon for the desktop's icon theme as app_icon_S.png, S by S pixels, for each size
// given. Shapes only (no text), so no font or display is needed.
#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// One palette for everything: deep indigo to violet, lavender like the list's rows.
const QColor deepNight(0x12, 0x0c, 0x30);
const QColor indigo(0x23, 0x1a, 0x5a);
const QColor violet(0x5a, 0x3a, 0xa8);
const QColor brightViolet(0x8a, 0x66, 0xe8);
const QColor lavender(0xdc, 0xdc, 0xff);
const QColor lavenderDim(0xb4, 0xb4, 0xff);
const QColor orchid(0xc8, 0x6e, 0xe6);
const QColor keyGreen(0x00, 0xff, 0x00);

using Painter = std::function<void(QPainter&)>;

QImage render(QSize size, qreal scale, bool opaque, const Painter& draw)
{
    QImage image((QSizeF(size) * scale).toSize(),
                 opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    image.fill(opaque ? Qt::black : Qt::transparent);
    QPainter p(&image);
    p.scale(scale, scale);
    draw(p);
    p.end();
    return image;
}

// Bitmaps shown with a transparent colour: every pixel is either exactly the key
// colour or fully opaque, so nothing is blended into the green.
QImage keyed(const QImage& art, const QColor& under)
{
    QImage out(art.size(), QImage::Format_RGB32);
    const QImage src = art.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(in[x]);
            if (a < 128) {
                dst[x] = keyGreen.rgb();
                continue;
            }
            auto mix = [a](int c, int base) { return (c * a + base * (255 - a)) / 255; };
            QRgb px = qRgb(mix(qRed(in[x]), under.red()), mix(qGreen(in[x]), under.green()),
                           mix(qBlue(in[x]), under.blue()));
            if (px == keyGreen.rgb())
                px = qRgb(0, 254, 0);
            dst[x] = px;
        }
    }
    return out;
}

bool save(const QString& folder, const QString& name, int scale, const QImage& image)
{
    const QString file = QStringLiteral("%1/%2%3.png")
                             .arg(folder, name, scale == 2 ? QStringLiteral("@2x") : QString());
    if (!image.save(file, "PNG")) {
        std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(file));
        return false;
    }
    return true;
}

// --- icons ---------------------------------------------------------------------------

QPainterPath roundButton(QRectF r)
{
    QPainterPath path;
    path.addEllipse(r);
    return path;
}

void drawGem(QPainter& p, const QRectF& r, bool hot, const QPainterPath& body)
{
    p.setRenderHint(QPainter::Antialiasing);
    if (hot) {
        QRadialGradient glow(r.center(), r.width() * 0.62);
        glow.setColorAt(0.70, QColor(200, 110, 230, 110));
        glow.setColorAt(1.0, QColor(200, 110, 230, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawRect(r.adjusted(-2, -2, 2, 2));
    }
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0.0, hot ? brightViolet.lighter(115) : violet);
    fill.setColorAt(1.0, hot ? violet : indigo);
    p.setPen(QPen(hot ? lavender : lavenderDim.darker(140), 1.0));
    p.setBrush(fill);
    p.drawPath(body);
    // A soft gloss over the upper half.
    QPainterPath gloss;
    const QRectF g(r.left() + r.width() * 0.18, r.top() + 1.5, r.width() * 0.64, r.height() * 0.42);
    gloss.addRoundedRect(g, g.height() / 2, g.height() / 2);
    QLinearGradient shine(g.topLeft(), g.bottomLeft());
    shine.setColorAt(0.0, QColor(255, 255, 255, hot ? 90 : 55));
    shine.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawPath(gloss.intersected(body));
}

void glyphPen(QPainter& p, bool hot, qreal width)
{
    QPen pen(hot ? Qt::white : lavender, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
}

enum class Glyph
{
    Minus,
    Plus,
    Cross
};

void drawRoundIcon(QPainter& p, Glyph glyph, bool hot)
{
    const QRectF r(2.5, 2.5, 27, 27);
    drawGem(p, r, hot, roundButton(r));
    glyphPen(p, hot, 3.2);
    const QPointF c = r.center();
    switch (glyph) {
    case Glyph::Minus:
        p.drawLine(QPointF(c.x() - 7, c.y()), QPointF(c.x() + 7, c.y()));
        break;
    case Glyph::Plus:
        p.drawLine(QPointF(c.x() - 7, c.y()), QPointF(c.x() + 7, c.y()));
        p.drawLine(QPointF(c.x(), c.y() - 7), QPointF(c.x(), c.y() + 7));
        break;
    case Glyph::Cross:
        p.drawLine(QPointF(c.x() - 5.5, c.y() - 5.5), QPointF(c.x() + 5.5, c.y() + 5.5));
        p.drawLine(QPointF(c.x() + 5.5, c.y() - 5.5), QPointF(c.x() - 5.5, c.y() + 5.5));
        break;
    }
}

void drawPillIcon(QPainter& p, bool start, bool hot)
{
    const QRectF r(2.5, 2.5, 51, 31);
    QPainterPath body;
    body.addRoundedRect(r, 15.5, 15.5);
    drawGem(p, r, hot, body);
    p.setPen(Qt::NoPen);
    p.setBrush(hot ? QColor(Qt::white) : lavender);
    const QPointF c = r.center();
    if (start) {
        QPainterPath tri;
        tri.moveTo(c.x() - 6, c.y() - 9);
        tri.lineTo(c.x() + 10, c.y());
        tri.lineTo(c.x() - 6, c.y() + 9);
        tri.closeSubpath();
        p.drawPath(tri);
    } else {
        p.drawRoundedRect(QRectF(c.x() - 7.5, c.y() - 7.5, 15, 15), 2.5, 2.5);
    }
}

void drawAppIcon(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(3, 3, 58, 58);
    QLinearGradient fill(r.topLeft(), r.bottomRight());
    fill.setColorAt(0.0, brightViolet);
    fill.setColorAt(0.55, violet);
    fill.setColorAt(1.0, indigo);
    p.setPen(QPen(deepNight, 1.5));
    p.setBrush(fill);
    p.drawRoundedRect(r, 13, 13);
    // Film strip across the top and the bottom.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(18, 12, 48, 170));
    p.drawRect(QRectF(6, 9, 52, 7));
    p.drawRect(QRectF(6, 48, 52, 7));
    p.setBrush(lavenderDim);
    for (int i = 0; i < 6; ++i) {
        p.drawRoundedRect(QRectF(9 + i * 8.4, 11, 4, 3), 0.8, 0.8);
        p.drawRoundedRect(QRectF(9 + i * 8.4, 50, 4, 3), 0.8, 0.8);
    }
    // Play triangle, and an arrow bending round it: a video turned into another.
    QPainterPath tri;
    tri.moveTo(24, 22);
    tri.lineTo(42, 32);
    tri.lineTo(24, 42);
    tri.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(tri);
    QPen arc(orchid, 3, Qt::SolidLine, Qt::RoundCap);
    p.setPen(arc);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(14, 19, 36, 26), 200 * 16, 120 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(orchid);
    QPainterPath head;
    head.moveTo(40.5, 41);
    head.lineTo(47, 36.5);
    head.lineTo(46.5, 44.5);
    head.closeSubpath();
    p.drawPath(head);
}

// --- bitmaps -------------------------------------------------------------------------

void drawBackground(QPainter& p)
{
    const QRectF r(0, 0, 777, 513);
    QLinearGradient base(r.topLeft(), r.bottomLeft());
    base.setColorAt(0.0, QColor(0x2a, 0x1f, 0x66));
    base.setColorAt(0.45, indigo);
    base.setColorAt(1.0, deepNight);
    p.fillRect(r, base);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient glowA(QPointF(120, 40), 420);
    glowA.setColorAt(0.0, QColor(138, 102, 232, 95));
    glowA.setColorAt(1.0, QColor(138, 102, 232, 0));
    p.fillRect(r, glowA);
    QRadialGradient glowB(QPointF(700, 470), 380);
    glowB.setColorAt(0.0, QColor(200, 110, 230, 60));
    glowB.setColorAt(1.0, QColor(200, 110, 230, 0));
    p.fillRect(r, glowB);
    // Faint diagonal light streaks with soft edges: each a gradient across the band.
    const QPointF across = QPointF(513, 300) / std::hypot(513.0, 300.0);
    for (int i = 0; i < 6; ++i) {
        const QPointF start(-120 + i * 170.0, 513);
        const qreal width = 70 + (i % 3) * 25;
        QLinearGradient streak(start, start + across * width);
        streak.setColorAt(0.0, QColor(255, 255, 255, 0));
        streak.setColorAt(0.5, QColor(255, 255, 255, i % 2 ? 7 : 11));
        streak.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.fillRect(r, streak);
    }
    // A hairline under the top edge and over the bottom edge.
    p.setPen(QPen(QColor(180, 180, 255, 60), 1));
    p.drawLine(QPointF(0, 0.5), QPointF(777, 0.5));
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.drawLine(QPointF(0, 512.5), QPointF(777, 512.5));
}

void drawPicture(QPainter& p)
{
    const QRectF r(0, 0, 264, 200);
    QRadialGradient base(QPointF(132, 96), 190);
    base.setColorAt(0.0, QColor(0x4a, 0x32, 0x96));
    base.setColorAt(0.6, indigo);
    base.setColorAt(1.0, deepNight);
    p.fillRect(r, base);
    p.setRenderHint(QPainter::Antialiasing);
    // Concentric rings spreading from the centre, like sound.
    for (int i = 1; i <= 5; ++i) {
        p.setPen(QPen(QColor(180, 180, 255, 48 - i * 7), 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(132, 100), 34.0 + i * 17, 34.0 + i * 17);
    }
    // Film strips over the top and the bottom.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(8, 5, 24, 200));
    p.drawRect(QRectF(0, 8, 264, 18));
    p.drawRect(QRectF(0, 174, 264, 18));
    p.setBrush(QColor(180, 180, 255, 150));
    for (int i = 0; i < 17; ++i) {
        p.drawRoundedRect(QRectF(5 + i * 15.5, 13, 8, 8), 1.5, 1.5);
        p.drawRoundedRect(QRectF(5 + i * 15.5, 179, 8, 8), 1.5, 1.5);
    }
    // The play disc.
    const QRectF disc(92, 60, 80, 80);
    QLinearGradient fill(disc.topLeft(), disc.bottomLeft());
    fill.setColorAt(0.0, brightViolet);
    fill.setColorAt(1.0, QColor(0x3a, 0x24, 0x80));
    p.setPen(QPen(lavender, 2));
    p.setBrush(fill);
    p.drawEllipse(disc);
    QPainterPath tri;
    tri.moveTo(121, 80);
    tri.lineTo(151, 100);
    tri.lineTo(121, 120);
    tri.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(tri);
    // A small player beside it, the place the video goes.
    const QRectF player(196, 70, 36, 60);
    p.setPen(QPen(lavenderDim, 1.5));
    p.setBrush(QColor(18, 12, 48, 220));
    p.drawRoundedRect(player, 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(138, 102, 232, 200));
    p.drawRoundedRect(QRectF(201, 76, 26, 30), 2, 2);
    p.setPen(QPen(lavenderDim, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(214, 119), 6, 6);
    // Dotted path from the disc to the player.
    p.setPen(Qt::NoPen);
    p.setBrush(orchid);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(177 + i * 5.5, 100), 1.4, 1.4);
}

const QColor previewUnder(0x1c, 0x14, 0x48);

void drawPreviewButton(QPainter& p, bool play, bool hot)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(0.5, 0.5, 16, 16);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0.0, hot ? brightViolet : violet);
    fill.setColorAt(1.0, hot ? violet : indigo);
    p.setPen(QPen(hot ? lavender : lavenderDim.darker(130), 1));
    p.setBrush(fill);
    p.drawRoundedRect(r, 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(hot ? QColor(Qt::white) : lavender);
    if (play) {
        QPainterPath tri;
        tri.moveTo(6, 4.5);
        tri.lineTo(12.5, 8.5);
        tri.lineTo(6, 12.5);
        tri.closeSubpath();
        p.drawPath(tri);
    } else {
        p.drawRect(QRectF(5, 5, 7, 7));
    }
}

// Slider pieces are drawn row by row on whole logical pixels so they stay crisp and
// can be stretched sideways.
void drawTrack(QPainter& p)
{
    const QColor rows[11] = {Qt::transparent,           Qt::transparent,     QColor(8, 5, 24, 160),
                             QColor(10, 6, 30),         QColor(28, 20, 70),  QColor(34, 26, 84),
                             QColor(40, 30, 96),        QColor(46, 36, 108), QColor(120, 104, 200),
                             QColor(180, 180, 255, 70), Qt::transparent};
    for (int y = 0; y < 11; ++y)
        p.fillRect(QRectF(0, y, 6, 1), rows[y]);
}

void drawThumb(QPainter& p, bool left)
{
    // Rows 0..16 are drawn; a bracket that holds the bar on its inner side.
    for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 13; ++x) {
            const int ix = left ? x : 12 - x; // mirror the right thumb
            const bool outline = y == 0 || y == 16 || ix == 0 || (ix == 12 && (y < 4 || y > 12));
            const bool corner = (y == 0 || y == 16) && (ix == 0 || ix == 12);
            const bool notch = ix >= 11 && y >= 4 && y <= 12; // where the bar enters
            if (corner || notch)
                continue;
            QColor c;
            if (outline) {
                c = QColor(14, 9, 40);
            } else {
                const int t = (y * 255) / 16; // vertical shade, light at the top
                c = QColor(220 - t * 80 / 255, 220 - t * 110 / 255, 255 - t * 30 / 255);
                if (ix == 4 || ix == 6) // grip lines
                    c = c.darker(135);
                if (y == 1)
                    c = QColor(246, 244, 255);
            }
            p.fillRect(QRectF(x, y, 1, 1), c);
        }
    }
}

void drawBar(QPainter& p)
{
    const QColor rows[7] = {QColor(40, 16, 70),   QColor(226, 150, 250), QColor(200, 110, 230),
                            QColor(170, 84, 214), QColor(140, 64, 196),  QColor(110, 44, 170),
                            QColor(40, 16, 70)};
    for (int y = 0; y < 7; ++y)
        p.fillRect(QRectF(0, y, 3, 1), rows[y]);
}

// The tick of a ticked box, dark on the box's light fill.
void drawTick(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(27, 20, 69), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF{QPointF(2.2, 5.6), QPointF(4.5, 8.2), QPointF(8.9, 2.6)});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: artgen OUTPUT_FOLDER [APP_ICON_SIZE...]\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QList<int> appIconSizes;
    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            std::fprintf(stderr, "artgen: not an icon size: %s\n", argv[i]);
            return 2;
        }
        appIconSizes.append(size);
    }

    struct Item
    {
        QString name;
        QSize size;
        bool opaque;
        Painter draw;
        bool keyedArt = false;
    };
    const Item items[] = {
        {"icon_128", {64, 64}, false, drawAppIcon},
        {"icon_135", {32, 32}, false, [](QPainter& p) { drawRoundIcon(p, Glyph::Minus, false); }},
        {"icon_136", {32, 32}, false, [](QPainter& p) { drawRoundIcon(p, Glyph::Minus, true); }},
        {"icon_137", {32, 32}, false, [](QPainter& p) { drawRoundIcon(p, Glyph::Plus, false); }},
        {"icon_138", {32, 32}, false, [](QPainter& p) { drawRoundIcon(p, Glyph::Plus, true); }},
        {"icon_139", {32, 32}, false, [](QPainter& p) { drawRoundIcon(p, Glyph::Cross, false); }},
        {"icon_140", {32, 32}, false, [](QPainter& p) { drawRoundIcon(p, Glyph::Cross, true); }},
        {"icon_145", {56, 36}, false, [](QPainter& p) { drawPillIcon(p, false, true); }},
        {"icon_146", {56, 36}, false, [](QPainter& p) { drawPillIcon(p, false, false); }},
        {"icon_147", {56, 36}, false, [](QPainter& p) { drawPillIcon(p, true, false); }},
        {"icon_148", {56, 36}, false, [](QPainter& p) { drawPillIcon(p, true, true); }},
        {"bitmap_185", {777, 513}, true, drawBackground},
        {"bitmap_191", {264, 200}, true, drawPicture},
        {"bitmap_192",
         {17, 17},
         false,
         [](QPainter& p) { drawPreviewButton(p, false, true); },
         true},
        {"bitmap_202",
         {17, 17},
         false,
         [](QPainter& p) { drawPreviewButton(p, true, false); },
         true},
        {"bitmap_203",
         {17, 17},
         false,
         [](QPainter& p) { drawPreviewButton(p, true, true); },
         true},
        {"bitmap_210",
         {17, 17},
         false,
         [](QPainter& p) { drawPreviewButton(p, false, false); },
         true},
        {"bitmap_212", {6, 11}, false, drawTrack},
        {"bitmap_213", {13, 18}, false, [](QPainter& p) { drawThumb(p, true); }},
        {"bitmap_214", {13, 18}, false, [](QPainter& p) { drawThumb(p, false); }},
        {"bitmap_215", {3, 7}, false, drawBar},
        {"bitmap_216", {11, 11}, false, drawTick},
    };
    bool ok = true;
    for (const Item& item : items) {
        for (int scale : {1, 2}) {
            QImage image = render(item.size, scale, item.opaque, item.draw);
            if (item.keyedArt)
                image = keyed(image, previewUnder);
            ok = save(out, item.name, scale, image) && ok;
        }
    }
    // Drawn at each size from the shapes rather than scaled from one picture, so the
    // small ones stay sharp.
    const QSize appIconBase(64, 64);
    for (int size : appIconSizes) {
        const QImage image =
            render(appIconBase, qreal(size) / appIconBase.width(), false, drawAppIcon);
        const QString file = QStringLiteral("%1/app_icon_%2.png").arg(out).arg(size);
        if (!image.save(file, "PNG")) {
            std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(file));
            ok = false;
        }
    }
    return ok ? 0 : 1;
}
