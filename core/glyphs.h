// glyphs.h - the printable ASCII glyphs of DejaVu Sans, ready to draw.
//
// The build bakes them from the font (core/glyphs/bake_glyphs.cpp, with
// stb_truetype) into one greyscale picture, the atlas, and writes it and
// each glyph's place in it as a C++ source that is compiled into the
// program: no font file is read when it runs, so the labels look the same
// on every machine, in the browser and on Windows.  Each byte of the atlas
// is how much of its pixel the glyph covers, 0 to 255.
#ifndef GLYPHS_H
#define GLYPHS_H

// The glyphs baked: ' ' to '~'.
constexpr int FIRST_GLYPH = 32;
constexpr int LAST_GLYPH = 126;
constexpr int GLYPH_COUNT = LAST_GLYPH - FIRST_GLYPH + 1;

// One glyph: its box in the atlas (x0, y0 to x1, y1, in pixels, y down),
// where that box goes relative to the pen on the baseline (left, and top,
// which is negative above the baseline, as in the atlas y runs down), and
// how far the pen moves on after it.
struct Glyph {
    short x0, y0, x1, y1;
    float left, top;
    float advance;
};

struct GlyphAtlas {
    int width;
    int height;
    // The tallest glyph's height above the baseline and the deepest one's
    // below it, in pixels, and the height of a line of text.
    float ascent;
    float descent;
    float lineHeight;
    const unsigned char* pixels;
    Glyph glyphs[GLYPH_COUNT];
};

extern const GlyphAtlas GLYPH_ATLAS;

// The glyph of c, or the space's for a character that was not baked.
inline const Glyph& glyphOf(char c)
{
    const int code = static_cast<unsigned char>(c);
    return GLYPH_ATLAS.glyphs[code >= FIRST_GLYPH && code <= LAST_GLYPH ? code - FIRST_GLYPH : 0];
}

// How far the pen moves across text, in pixels.
inline float textWidth(const char* text)
{
    float width = 0.0f;
    for (; *text != '\0'; ++text) {
        width += glyphOf(*text).advance;
    }
    return width;
}

#endif
