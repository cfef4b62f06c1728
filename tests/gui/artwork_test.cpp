// Our pictures render at the sizes the panel's controls are made for, crisp at twice the pixels.

#include "resources/artwork.h"

#include <gtest/gtest.h>

#include <QImage>

#include "panel/bitmap_table.h"

namespace voltina::test {
namespace {

TEST(Artwork, EveryPictureRendersAtItsSizeAndAtTwice) {
    std::vector<int> ids = {999, 1000, 1001, 1009, 6005, 6006, 6007, 6008};
    for (const auto& row : kBitmapTable) {
        for (int id : row)
            if (id != kNoPicture) ids.push_back(id);
    }
    for (int id : ids) {
        const QSize size = artworkSize(id);
        ASSERT_TRUE(size.isValid()) << id;
        const QPixmap one = renderArtwork(id, 1.0);
        const QPixmap two = renderArtwork(id, 2.0);
        ASSERT_FALSE(one.isNull()) << id;
        EXPECT_EQ(one.size(), size) << id;
        EXPECT_EQ(two.size(), size * 2) << id;
        EXPECT_EQ(two.deviceIndependentSize().toSize(), size) << id;
        // Not blank: more than one colour.
        const QImage img = one.toImage();
        bool varied = false;
        for (int y = 0; y < img.height() && !varied; ++y)
            for (int x = 1; x < img.width() && !varied; ++x) varied = img.pixel(x, y) != img.pixel(0, 0);
        EXPECT_TRUE(varied) << id;
    }
    EXPECT_TRUE(renderArtwork(4242).isNull());
}

TEST(Artwork, KnobFacesArePureRedAndBlueUnderThePointer) {
    // The pointer is drawn over the face and taken off in the face colour.
    const QImage red = renderArtwork(1000).toImage();
    const QImage blue = renderArtwork(1009).toImage();
    for (QPoint p : {QPoint(17, 16), QPoint(12, 22), QPoint(24, 12)}) {
        EXPECT_EQ(QColor(red.pixel(p)), QColor(255, 0, 0)) << p.x() << "," << p.y();
        EXPECT_EQ(QColor(blue.pixel(p)), QColor(0, 0, 255)) << p.x() << "," << p.y();
    }
}

TEST(Artwork, PlugCursorHasItsHotSpotOnTheTip) {
    const QCursor c = plugCursor(1.0);
    EXPECT_EQ(c.hotSpot(), QPoint(15, 29));
    const QImage img = c.pixmap().toImage();
    EXPECT_GT(qAlpha(img.pixel(15, 28)), 0);  // the tip is drawn there
    EXPECT_EQ(qAlpha(img.pixel(1, 1)), 0);    // and the corners are clear
}

}  // namespace
}  // namespace voltina::test
