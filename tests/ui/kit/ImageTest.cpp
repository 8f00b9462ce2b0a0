#include <gtest/gtest.h>

#include <QPainter>

#include "ui/kit/UIImage.h"
#include "ui/kit/UIScreen.h"
#include "ui/kit/testing/KitTestDriver.h"

using namespace lumora;

namespace {

TEST(ImageTest, ImagesByNameComeFromTheDrawnArtAndAreCached) {
    KitTestDriver driver;
    auto check = UIImage::imageNamed("check.png");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->size(), (CGSize{22, 22}));
    EXPECT_EQ(check->scale(), 1);
    EXPECT_EQ(UIImage::imageNamed("check"), check);
    for (const char* bad : {"", "no-such-picture.png", "../images/check.png", "/etc/passwd", "..", "images/check"})
        EXPECT_EQ(UIImage::imageNamed(bad), nullptr) << bad;
}

TEST(ImageTest, DoubleScaleScreensLoadTheSharperPictureAtTheSamePointSize) {
    KitTestDriver driver(KitTestDriver::Options{ScreenProfile::Phone480, 2, true});
    auto check = UIImage::imageNamed("check.png");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->scale(), 2);
    EXPECT_EQ(check->size(), (CGSize{22, 22}));
    EXPECT_EQ(check->qImage().width(), 44);
}

TEST(ImageTest, ResizableImagesKeepTheirCapsAndDrawAsNinePatch) {
    KitTestDriver driver;
    QImage src(9, 9, QImage::Format_ARGB32_Premultiplied);
    src.fill(Qt::red);
    for (int i = 3; i < 6; ++i)
        for (int j = 3; j < 6; ++j) src.setPixelColor(i, j, Qt::blue);
    auto image = UIImage::imageWithQImage(src)->resizableImageWithCapInsets(UIEdgeInsetsMake(3, 3, 3, 3));
    EXPECT_TRUE(image->isResizable());
    QImage out(30, 30, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    {
        QPainter p(&out);
        image->drawInRect(p, CGRectMake(0, 0, 30, 30));
    }
    // Corners keep their size; the middle stretches.
    EXPECT_EQ(out.pixelColor(1, 1), QColor(Qt::red));
    EXPECT_EQ(out.pixelColor(15, 15), QColor(Qt::blue));
    EXPECT_EQ(out.pixelColor(28, 15), QColor(Qt::red));
    auto stretch = UIImage::imageWithQImage(src)->stretchableImageWithLeftCapWidth(3, 3);
    EXPECT_EQ(stretch->capInsets(), UIEdgeInsetsMake(3, 3, 5, 5));
}

}  // namespace
