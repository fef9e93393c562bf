// The baked atlas: every glyph inside it and inked where it should be,
// digits all one width so that the numbers of an axis line up.
#include "glyphs.h"

#include <gtest/gtest.h>

namespace {

TEST(Glyphs, EveryGlyphInTheAtlasAndInked)
{
    const GlyphAtlas& atlas = GLYPH_ATLAS;
    ASSERT_GT(atlas.width, 0);
    ASSERT_GT(atlas.height, 0);
    EXPECT_GT(atlas.ascent, 8.0f);
    EXPECT_GE(atlas.lineHeight, atlas.ascent + atlas.descent);
    for (char c = FIRST_GLYPH; c <= LAST_GLYPH; ++c) {
        const Glyph& g = glyphOf(c);
        EXPECT_GE(g.x0, 0) << c;
        EXPECT_LE(g.x1, atlas.width) << c;
        EXPECT_LE(g.y1, atlas.height) << c;
        EXPECT_GT(g.advance, 0.0f) << c;
        int ink = 0;
        for (int y = g.y0; y < g.y1; ++y) {
            for (int x = g.x0; x < g.x1; ++x) {
                ink += atlas.pixels[y * atlas.width + x] > 128;
            }
        }
        EXPECT_EQ(ink > 0, c != ' ') << c;
    }
    // Glyphs stand on the baseline: a digit's top above it, its foot on it.
    EXPECT_LT(glyphOf('8').top, -8.0f);
    EXPECT_NEAR(glyphOf('8').top + (glyphOf('8').y1 - glyphOf('8').y0), 0.0f, 1.0f);
    for (char c = '0'; c <= '9'; ++c) {
        EXPECT_EQ(glyphOf(c).advance, glyphOf('0').advance) << c;
    }
    EXPECT_EQ(textWidth("-0.5"), glyphOf('-').advance + glyphOf('0').advance +
                                     glyphOf('.').advance + glyphOf('5').advance);
    EXPECT_EQ(&glyphOf('\n'), &glyphOf(' '));
}

} // namespace
