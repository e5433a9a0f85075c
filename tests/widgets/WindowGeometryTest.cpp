#include "widgets/WindowGeometry.h"

#include <gtest/gtest.h>

using qm::widgets::pixelsToTwips;
using qm::widgets::twipsToPixels;

TEST(WindowGeometry, TwipsRoundToTheNearestPixelWhateverTheSign)
{
    EXPECT_EQ(twipsToPixels(1440, 96.0), 96);
    EXPECT_EQ(twipsToPixels(330, 96.0), 22);
    EXPECT_EQ(twipsToPixels(7, 96.0), 0); // 0.47 px
    EXPECT_EQ(twipsToPixels(8, 96.0), 1); // 0.53 px
    EXPECT_EQ(twipsToPixels(-8, 96.0), -1);
    EXPECT_EQ(twipsToPixels(6, 120.0), 1); // exactly half a pixel
    EXPECT_EQ(twipsToPixels(-6, 120.0), -1);
    EXPECT_EQ(twipsToPixels(10000, 144.5), 1003); // 1003.47 px at a fractional resolution
    EXPECT_EQ(pixelsToTwips(-1, 96.0), -15);

    // Whole pixels survive the trip through twips, so a layout rule in twips moves nothing.
    for (const qreal dpi : {96.0, 120.0, 144.0, 192.0}) {
        for (int px = -100; px <= 3000; ++px)
            ASSERT_EQ(twipsToPixels(pixelsToTwips(px, dpi), dpi), px) << px << " px at " << dpi;
    }
}

TEST(WindowGeometry, AWindowIsBroughtWhollyOntoTheScreenTitleBarAndAll)
{
    using qm::widgets::fittedOnScreen;
    const QRect screen(0, 0, 1024, 768);
    const QRect room = screen.marginsRemoved(qm::widgets::assumedFrame());
    // At (0,0) the title bar would sit above the screen.
    EXPECT_EQ(fittedOnScreen(QRect(0, 0, 700, 338), screen),
              QRect(room.topLeft(), QSize(700, 338)));
    EXPECT_TRUE(room.contains(fittedOnScreen(QRect(900, 700, 700, 338), screen)));
    EXPECT_EQ(fittedOnScreen(QRect(100, 100, 700, 338), screen), QRect(100, 100, 700, 338));
    // Larger than the screen: shrunk to it, never off it.
    EXPECT_EQ(fittedOnScreen(QRect(-50, -50, 3000, 2000), screen), room);
}
