// bake_glyphs.cpp - bakes the labels' glyphs into a C++ source.
//
//   bake_glyphs FONT.ttf PIXEL_HEIGHT OUTPUT.cpp
//
// A program the build runs on the machine that builds (also when it builds
// for Windows or the browser): it rasterises ' ' to '~' of the font with
// stb_truetype into an atlas and writes the atlas and the glyphs' places
// as the definition of GLYPH_ATLAS (core/glyphs.h).
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

#include "glyphs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

// Wide enough for the glyphs at a label's size in a few rows; the height
// is cut down to the rows used.
static constexpr int ATLAS_WIDTH = 256;
static constexpr int ATLAS_MOST_ROWS = 256;

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: bake_glyphs FONT.ttf PIXEL_HEIGHT OUTPUT.cpp\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<unsigned char> font((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    stbtt_fontinfo info;
    if (font.empty() ||
        !stbtt_InitFont(&info, font.data(), stbtt_GetFontOffsetForIndex(font.data(), 0))) {
        std::fprintf(stderr,
                     "bake_glyphs: %s is not a font that can be read: install the Debian "
                     "package fonts-dejavu-core.\n",
                     argv[1]);
        return 1;
    }
    const float pixelHeight = std::strtof(argv[2], nullptr);
    std::vector<unsigned char> pixels(ATLAS_WIDTH * ATLAS_MOST_ROWS);
    stbtt_bakedchar baked[GLYPH_COUNT];
    const int rows = stbtt_BakeFontBitmap(font.data(), 0, pixelHeight, pixels.data(), ATLAS_WIDTH,
                                          ATLAS_MOST_ROWS, FIRST_GLYPH, GLYPH_COUNT, baked);
    if (rows <= 0) {
        std::fprintf(stderr, "bake_glyphs: the glyphs at %s pixels do not fit a %d x %d atlas.\n",
                     argv[2], ATLAS_WIDTH, ATLAS_MOST_ROWS);
        return 1;
    }
    int ascent, descent, lineGap;
    stbtt_GetFontVMetrics(&info, &ascent, &descent, &lineGap);
    const float scale = stbtt_ScaleForPixelHeight(&info, pixelHeight);

    std::FILE* out = std::fopen(argv[3], "w");
    if (out == nullptr) {
        std::fprintf(stderr, "bake_glyphs: cannot write %s.\n", argv[3]);
        return 1;
    }
    const char* name = std::strrchr(argv[1], '/');
    std::fprintf(out, "// Written by bake_glyphs from %s at %s pixels: do not edit.\n",
                 name != nullptr ? name + 1 : argv[1], argv[2]);
    std::fprintf(out, "#include \"glyphs.h\"\n\nstatic const unsigned char PIXELS[] = {");
    for (int i = 0; i < ATLAS_WIDTH * rows; ++i) {
        std::fprintf(out, "%s%d,", i % 24 == 0 ? "\n    " : "", pixels[i]);
    }
    std::fprintf(
        out, "\n};\n\nconst GlyphAtlas GLYPH_ATLAS = {%d, %d, %.9g, %.9g, %.9g, PIXELS, {\n",
        ATLAS_WIDTH, rows, ascent * scale, -descent * scale, (ascent - descent + lineGap) * scale);
    for (const stbtt_bakedchar& g : baked) {
        std::fprintf(out, "    {%d, %d, %d, %d, %.9g, %.9g, %.9g},\n", g.x0, g.y0, g.x1, g.y1,
                     g.xoff, g.yoff, g.xadvance);
    }
    std::fprintf(out, "}};\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
