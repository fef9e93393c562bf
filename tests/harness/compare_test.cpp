// The one comparer of pictures (harness.h): what counts as a different
// pixel exactly and with the tolerance, and where the tolerance ends.
#include "harness.h"

#include <gtest/gtest.h>

namespace {

constexpr int SIDE = 100; // 10000 pixels, so 1 % is 100
const harness::Rgb GREY{100, 100, 100};

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
// levels are, 25 are not, in whichever channel and direction, under both
// the tolerant and the close rule.
TEST(ComparePictures, APixelIsOffWhenOneChannelMovesMoreThanTenPercent)
{
    const harness::Image grey(SIDE, SIDE, GREY);
    const harness::Rgb near[] = {{125, 100, 100}, {100, 75, 100}, {125, 125, 125}};
    const harness::Rgb far[] = {{126, 100, 100}, {100, 74, 100}, {100, 100, 126}};
    for (const harness::Match match : {harness::Match::Tolerant, harness::Match::Close}) {
        for (const harness::Rgb& colour : near) {
            const harness::Image other = withPixels(grey, 1, colour);
            EXPECT_EQ(harness::comparePictures(grey, other, match).differing, 0u)
                << harness::toString(colour);
            EXPECT_EQ(harness::comparePictures(grey, other, harness::Match::Exact).differing, 1u);
        }
        for (const harness::Rgb& colour : far) {
            const harness::Image other = withPixels(grey, 1, colour);
            EXPECT_EQ(harness::comparePictures(grey, other, match).differing, 1u)
                << harness::toString(colour);
        }
    }
}

// Each rule at its edge, with a pair of pictures just inside and just
// outside it: exactly, no pixel may differ (by a single level); closely,
// one in a thousand may be off; tolerantly, one in a hundred.
TEST(ComparePictures, EachRuleAllowsItsShareOfPixelsAndNotOneMore)
{
    struct Rule {
        harness::Match match;
        int allowed;       // of the 10000 pixels
        harness::Rgb away; // a colour just off GREY under this rule
    };
    const Rule rules[] = {{harness::Match::Exact, 0, {101, 100, 100}},
                          {harness::Match::Close, 10, {126, 100, 100}},
                          {harness::Match::Tolerant, 100, {126, 100, 100}}};
    const harness::Image grey(SIDE, SIDE, GREY);
    for (const Rule& rule : rules) {
        const auto compared = [&](int off) {
            return harness::comparePictures(grey, withPixels(grey, off, rule.away), rule.match);
        };
        const harness::Comparison inside = compared(rule.allowed);
        EXPECT_EQ(inside.allowed, static_cast<std::size_t>(rule.allowed));
        EXPECT_TRUE(inside.same()) << rule.allowed << " pixels off";
        EXPECT_FALSE(compared(rule.allowed + 1).same()) << rule.allowed + 1 << " pixels off";
    }
    EXPECT_THROW(
        harness::comparePictures(grey, harness::Image(SIDE, SIDE + 1), harness::Match::Exact),
        harness::HarnessError);
}
