#include "resources/artresource.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

struct Art
{
    art::Kind kind;
    int id;
    QSize size;
};

const Art kArt[] = {
    {art::Kind::Icon, 128, {64, 64}},     {art::Kind::Icon, 135, {32, 32}},
    {art::Kind::Icon, 136, {32, 32}},     {art::Kind::Icon, 137, {32, 32}},
    {art::Kind::Icon, 138, {32, 32}},     {art::Kind::Icon, 139, {32, 32}},
    {art::Kind::Icon, 140, {32, 32}},     {art::Kind::Icon, 145, {56, 36}},
    {art::Kind::Icon, 146, {56, 36}},     {art::Kind::Icon, 147, {56, 36}},
    {art::Kind::Icon, 148, {56, 36}},     {art::Kind::Bitmap, 185, {777, 513}},
    {art::Kind::Bitmap, 191, {264, 200}}, {art::Kind::Bitmap, 192, {17, 17}},
    {art::Kind::Bitmap, 202, {17, 17}},   {art::Kind::Bitmap, 203, {17, 17}},
    {art::Kind::Bitmap, 210, {17, 17}},   {art::Kind::Bitmap, 212, {6, 11}},
    {art::Kind::Bitmap, 213, {13, 18}},   {art::Kind::Bitmap, 214, {13, 18}},
    {art::Kind::Bitmap, 215, {3, 7}},
};

} // namespace

TEST(Resources, EveryImageLoadsAtItsSizeAtOneAndTwoTimes)
{
    for (const Art& a : kArt) {
        SCOPED_TRACE(qPrintable(art::path(a.kind, a.id)));
        const QImage one = art::image(a.kind, a.id, 1.0);
        ASSERT_FALSE(one.isNull());
        EXPECT_EQ(one.size(), a.size);
        const QImage two = art::image(a.kind, a.id, 2.0);
        ASSERT_FALSE(two.isNull());
        EXPECT_EQ(two.size(), a.size * 2);
        EXPECT_EQ(two.deviceIndependentSize().toSize(), a.size);
        EXPECT_FALSE(art::pixmap(a.kind, a.id, 1.0).isNull());
    }
    EXPECT_EQ(art::path(art::Kind::Icon, 138), ":/icon/138");
    EXPECT_EQ(art::path(art::Kind::Bitmap, 185), ":/bitmap/185");
    EXPECT_TRUE(art::image(art::Kind::Bitmap, 999).isNull());
    EXPECT_TRUE(art::image(art::Kind::Icon, 185).isNull());
}

// The preview bitmaps are shown with pure green as their transparent colour: every
// pixel is either exactly green or opaque and clearly not green, at both sizes.
TEST(Resources, PreviewBitmapsKeepTheirGreenPixelExact)
{
    for (int id : {192, 202, 203, 210}) {
        for (qreal dpr : {1.0, 2.0}) {
            SCOPED_TRACE(id);
            const QImage img =
                art::image(art::Kind::Bitmap, id, dpr).convertToFormat(QImage::Format_ARGB32);
            int green = 0;
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < img.width(); ++x) {
                    const QRgb px = img.pixel(x, y);
                    ASSERT_EQ(qAlpha(px), 255);
                    if ((px & 0xFFFFFF) == 0x00FF00) {
                        ++green;
                        continue;
                    }
                    // No blend of art into green: green never dominates the other channels.
                    EXPECT_FALSE(qGreen(px) > 200 && qRed(px) < 80 && qBlue(px) < 80)
                        << x << "," << y;
                }
            }
            EXPECT_EQ(img.pixel(0, 0) & 0xFFFFFF, 0x00FF00u);
            EXPECT_GT(green, 0);
            EXPECT_LT(green, img.width() * img.height() / 4);
        }
    }
}
