// The one comparer of pictures (harness.h): what counts as a different
// pixel exactly and with the tolerance, and where the tolerance ends.
#include "harness.h"

#include <gtest/gtest.h>

namespace {

constexpr int SIDE = 100; // 10000 pixels, so 1 % is 100
const harness::Rgb GREY{100, 100, 100};

harness::Image filled(harness::Rgb colour)
{
    harness::Image image(SIDE, SIDE);
    for (int y = 0; y < SIDE; ++y) {
        for (int x = 0; x < SIDE; ++x) {
            image.setPixel(x, y, colour);
        }
    }
    return image;
}

// `count` pixels of `image`, row by row, set to `colour`.
harness::Image withPixels(harness::Image image, int count, harness::Rgb colour)
{
    for (int i = 0; i < count; ++i) {
        image.setPixel(i % SIDE, i / SIDE, colour);
    }
    return image;
}

} // namespace

// Off by more than 10 % of 255 (25.5 levels) in any one channel: 26
// levels are, 25 are not, in whichever channel and direction.
TEST(ComparePictures, APixelIsOffWhenOneChannelMovesMoreThanTenPercent)
{
    const harness::Image grey = filled(GREY);
    const harness::Rgb near[] = {{125, 100, 100}, {100, 75, 100}, {125, 125, 125}};
    const harness::Rgb far[] = {{126, 100, 100}, {100, 74, 100}, {100, 100, 126}};
    for (const harness::Rgb& colour : near) {
        const harness::Image other = withPixels(grey, 1, colour);
        EXPECT_EQ(harness::comparePictures(grey, other, harness::Match::Tolerant).differing, 0u)
            << harness::toString(colour);
        EXPECT_EQ(harness::comparePictures(grey, other, harness::Match::Exact).differing, 1u);
    }
    for (const harness::Rgb& colour : far) {
        const harness::Image other = withPixels(grey, 1, colour);
        EXPECT_EQ(harness::comparePictures(grey, other, harness::Match::Tolerant).differing, 1u)
            << harness::toString(colour);
    }
}

// At most 1 % of the pixels may be off; exactly, none may differ.
TEST(ComparePictures, ToleratesOnePercentOfThePixelsAndExactlyNone)
{
    const harness::Image grey = filled(GREY);
    const harness::Rgb white{255, 255, 255};
    const harness::Comparison onePercent =
        harness::comparePictures(grey, withPixels(grey, 100, white), harness::Match::Tolerant);
    EXPECT_EQ(onePercent.allowed, 100u);
    EXPECT_TRUE(onePercent.same());
    EXPECT_FALSE(
        harness::comparePictures(grey, withPixels(grey, 101, white), harness::Match::Tolerant)
            .same());
    EXPECT_TRUE(harness::comparePictures(grey, grey, harness::Match::Exact).same());
    EXPECT_FALSE(
        harness::comparePictures(grey, withPixels(grey, 1, {101, 100, 100}), harness::Match::Exact)
            .same());
    EXPECT_THROW(
        harness::comparePictures(grey, harness::Image(SIDE, SIDE + 1), harness::Match::Exact),
        harness::HarnessError);
}
