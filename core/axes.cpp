// axes.cpp - the axes and labels of lesson 10, written once for the
// lessons after it.  Lesson 10 itself has the same code inline, where it
// is taught.
#include "axes.h"

#include "glyphs.h"

#include <algorithm>
#include <cmath>
#include <vector>

// A tick sticks out of the square by this much (in the scene's units),
// and its label starts this many pixels beyond its end.  The key's ticks
// are as long, in the window's coordinates.
static constexpr float TICK_LENGTH = 0.3f;
static constexpr float LABEL_GAP = 4.0f;
static constexpr float KEY_TICK = 0.02f;

// Two labels closer than this (in pixels) count as overlapping: one of
// them is left out.
static constexpr float LABEL_MARGIN = 3.0f;

// Room for the axes' lines and ticks, and for the glyphs of their labels:
// 3 axes with at most 8 ticks, and 2 + 3 + 8 + 3 * 8 labels of at most
// 12 characters each.
static constexpr int AXIS_VERTICES = 2 * (3 + 3 * MAX_TICKS + MAX_TICKS);
static constexpr int AXIS_LABELS = 4 * MAX_TICKS + 8;
static constexpr int CORNERS_PER_GLYPH = 6;

// The labels' shaders.  A glyph's corner comes in window pixels (from
// the bottom left) with the point of the atlas it shows, in the atlas's
// pixels; the fragment shader reads how much of the pixel the glyph
// covers from the texture and draws black that opaque, so that blending
// lays the text over the plot with smooth edges.
static const char* const TEXT_VERTEX_SHADER = R"(
layout (location = 0) in vec2 corner;
layout (location = 1) in vec2 atlasPoint;

uniform vec2 windowSize;
uniform vec2 atlasSize;

out vec2 texturePoint;

void main()
{
    gl_Position = vec4(corner / windowSize * 2.0 - 1.0, 0.0, 1.0);
    texturePoint = atlasPoint / atlasSize;
}
)";

static const char* const TEXT_FRAGMENT_SHADER = R"(
in vec2 texturePoint;

uniform sampler2D atlas;

out vec4 fragmentColour;

void main()
{
    fragmentColour = vec4(0.0, 0.0, 0.0, texture(atlas, texturePoint).r);
}
)";

// One corner of a glyph's quad: where it goes in the window, and which
// point of the atlas it shows there.
struct GlyphCorner {
    float x, y;
    float u, v;
};

// The axes' ticks, and what a frame draws of the axes and labels, in
// arrays made once as big as they can be.
static Ticks fTicks;
static Ticks gridTicks;
static std::vector<Vertex> axisVertices;
static GLsizei axisCount = 0;
static GLsizei keyMarks = 0;
static std::vector<GlyphCorner> glyphCorners;
static GLsizei textCorners = 0;
static std::vector<Box> placed;
static int placedCount = 0;

static GLuint axisArray = 0;
static GLuint axisBuffer = 0;
static GLuint textProgram = 0;
static GLint windowSizeUniform = -1;
static GLuint textArray = 0;
static GLuint textBuffer = 0;
static GLuint atlasTexture = 0;

static float windowWidth = 1.0f;
static float windowHeight = 1.0f;

// The plot being numbered, while layOutAxes runs.
static const FunctionPlot* numbered = nullptr;

void makeAxesAndLabels(int extraVertices, int extraLabels)
{
    axisVertices.resize(static_cast<std::size_t>(AXIS_VERTICES + extraVertices));
    placed.resize(static_cast<std::size_t>(AXIS_LABELS + extraLabels));
    glyphCorners.resize(placed.size() * MAX_LABEL_LENGTH * CORNERS_PER_GLYPH);

    // The axes' lines change with the camera: a buffer of their own,
    // made as big as they can be and refilled every frame.
    glGenVertexArrays(1, &axisArray);
    glBindVertexArray(axisArray);
    glGenBuffers(1, &axisBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, axisBuffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(axisVertices.size() * sizeof(Vertex)),
                 nullptr, GL_DYNAMIC_DRAW);
    describeVertices();

    // The text: its own shaders, and the atlas as a texture of one
    // channel, a byte a pixel (rows of any length: unpack alignment 1).
    // Each glyph is drawn at its own size on whole pixels, so each pixel
    // of the window takes the one pixel of the atlas it falls on: nearest
    // sampling, which keeps the glyphs as sharp as they were baked.
    textProgram = buildShaderProgram(TEXT_VERTEX_SHADER, TEXT_FRAGMENT_SHADER);
    glUseProgram(textProgram);
    windowSizeUniform = glGetUniformLocation(textProgram, "windowSize");
    glUniform2f(glGetUniformLocation(textProgram, "atlasSize"),
                static_cast<float>(GLYPH_ATLAS.width), static_cast<float>(GLYPH_ATLAS.height));
    glUniform1i(glGetUniformLocation(textProgram, "atlas"), 0);
    glGenTextures(1, &atlasTexture);
    glBindTexture(GL_TEXTURE_2D, atlasTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, GLYPH_ATLAS.width, GLYPH_ATLAS.height, 0, GL_RED,
                 GL_UNSIGNED_BYTE, GLYPH_ATLAS.pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);

    // A glyph's corner: two floats of position, two of atlas point.
    glGenVertexArrays(1, &textArray);
    glBindVertexArray(textArray);
    glGenBuffers(1, &textBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, textBuffer);
    glBufferData(GL_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(glyphCorners.size() * sizeof(GlyphCorner)), nullptr,
                 GL_DYNAMIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(GlyphCorner),
                          reinterpret_cast<const void*>(offsetof(GlyphCorner, x)));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(GlyphCorner),
                          reinterpret_cast<const void*>(offsetof(GlyphCorner, u)));
    glEnableVertexAttribArray(1);
}

void numberAxes(const FunctionPlot& plot)
{
    fTicks = niceTicks(plot.lowest, plot.highest);
    gridTicks = niceTicks(GRID_MIN, GRID_MAX);
}

void labelWindow(float width, float height)
{
    windowWidth = width;
    windowHeight = height;
}

void clearAxesAndLabels()
{
    axisCount = 0;
    textCorners = 0;
    placedCount = 0;
}

// The height f is drawn at.
static float drawnAt(double f)
{
    return static_cast<float>(LOWEST_DRAWN + numbered->levelOf(f) * (HIGHEST_DRAWN - LOWEST_DRAWN));
}

// Where the key shows f, in the window's coordinates.
static float keyHeightOf(double f)
{
    return KEY_BOTTOM + static_cast<float>(numbered->levelOf(f)) * (KEY_TOP - KEY_BOTTOM);
}

glm::vec2 onScreen(const glm::mat4& toScreen, const glm::vec3& p)
{
    const glm::vec4 clip = toScreen * glm::vec4(p, 1.0f);
    return {(clip.x / clip.w + 1.0f) * 0.5f * windowWidth,
            (clip.y / clip.w + 1.0f) * 0.5f * windowHeight};
}

void addLine(const glm::vec3& a, const glm::vec3& b)
{
    if (static_cast<std::size_t>(axisCount) + 2 <= axisVertices.size()) {
        axisVertices[axisCount++] = {{a.x, a.y, a.z}, {0.0f, 0.0f, 1.0f}, 0.0f};
        axisVertices[axisCount++] = {{b.x, b.y, b.z}, {0.0f, 0.0f, 1.0f}, 0.0f};
    }
}

void addVertex(const glm::vec3& p)
{
    if (static_cast<std::size_t>(axisCount) < axisVertices.size()) {
        axisVertices[axisCount++] = {{p.x, p.y, p.z}, {0.0f, 0.0f, 1.0f}, 0.0f};
    }
}

GLsizei axisVertexCount()
{
    return axisCount;
}

GLsizei keyMarksFrom()
{
    return keyMarks;
}

Box labelBox(const char* text, float x, float y, float alignX, float alignY)
{
    const float height = GLYPH_ATLAS.ascent + GLYPH_ATLAS.descent;
    const float width = std::round(textWidth(text));
    const float left =
        std::max(0.0f, std::min(std::round(x - alignX * width), windowWidth - width));
    const float bottom =
        std::max(0.0f, std::min(std::round(y - alignY * height), windowHeight - height));
    return {left, bottom, left + width, bottom + height};
}

static bool overlap(const Box& a, const Box& b)
{
    return a.left < b.right + LABEL_MARGIN && b.left < a.right + LABEL_MARGIN &&
           a.bottom < b.top + LABEL_MARGIN && b.bottom < a.top + LABEL_MARGIN;
}

bool clearOfOthers(const Box& box)
{
    for (int i = 0; i < placedCount; ++i) {
        if (overlap(box, placed[i])) {
            return false;
        }
    }
    return true;
}

// For each glyph one quad, two triangles, whose corners take the glyph's
// place in the atlas as their texture coordinates.  The atlas runs down
// from its top row, the window up.
void addText(const char* text, const Box& box)
{
    if (static_cast<std::size_t>(placedCount) == placed.size()) {
        return;
    }
    placed[placedCount++] = box;
    const float baseline = box.bottom + GLYPH_ATLAS.descent;
    float pen = box.left;
    for (const char* c = text; *c != '\0'; ++c) {
        const Glyph& g = glyphOf(*c);
        if (static_cast<std::size_t>(textCorners) + CORNERS_PER_GLYPH > glyphCorners.size()) {
            return;
        }
        const float x0 = std::round(pen + g.left);
        const float x1 = x0 + static_cast<float>(g.x1 - g.x0);
        const float y1 = std::round(baseline - g.top);
        const float y0 = y1 - static_cast<float>(g.y1 - g.y0);
        const GlyphCorner quad[4] = {{x0, y0, float(g.x0), float(g.y1)},
                                     {x1, y0, float(g.x1), float(g.y1)},
                                     {x1, y1, float(g.x1), float(g.y0)},
                                     {x0, y1, float(g.x0), float(g.y0)}};
        for (const int corner : {0, 1, 2, 0, 2, 3}) {
            glyphCorners[textCorners++] = quad[corner];
        }
        pen += g.advance;
    }
}

// A label just beyond a point of the window, on the side that direction
// (a unit vector in pixels) points to: to its right for (1, 0), below it
// for (0, -1), and in between for the directions in between.
// A label that hangs (those of the square's sides) goes below the point
// or beside it with its top level with it, never above it, where the
// surface is when the camera looks down on it.
static Box labelBeyond(const char* text, const glm::vec2& point, glm::vec2 direction,
                       bool hangs = false)
{
    if (hangs) {
        direction.y = std::min(direction.y, 0.0f);
        direction =
            glm::length(direction) > 0.1f ? glm::normalize(direction) : glm::vec2(0.0f, -1.0f);
    }
    const glm::vec2 anchor = point + direction * LABEL_GAP;
    return labelBox(text, anchor.x, anchor.y, 0.5f - 0.5f * direction.x,
                    hangs ? 1.0f : 0.5f - 0.5f * direction.y);
}

// The unit vector from a to b in the window, or from the window's middle
// outward where a and b fall on the same pixel.
static glm::vec2 screenDirection(const glm::vec2& a, const glm::vec2& b)
{
    const glm::vec2 d = b - a;
    if (glm::length(d) > 0.5f) {
        return glm::normalize(d);
    }
    const glm::vec2 out = b - glm::vec2(windowWidth, windowHeight) * 0.5f;
    return glm::length(out) > 0.5f ? glm::normalize(out) : glm::vec2(1.0f, 0.0f);
}

// The numbers of one axis, each beyond the outer end of its tick.  Where
// they crowd each other (or labels already placed) only every second is
// written, or every fourth; a number that still has no room is left out.
static void addTickLabels(const Ticks& ticks, const glm::vec2 (&inner)[MAX_TICKS],
                          const glm::vec2 (&outer)[MAX_TICKS], bool hang)
{
    char text[MAX_TICKS][MAX_LABEL_LENGTH];
    Box boxes[MAX_TICKS];
    for (int i = 0; i < ticks.count; ++i) {
        formatTick(text[i], sizeof text[i], ticks, i);
        boxes[i] = labelBeyond(text[i], outer[i], screenDirection(inner[i], outer[i]), hang);
    }
    for (int every = 1; every <= MAX_TICKS; every *= 2) {
        bool fits = true;
        for (int i = 0; i < ticks.count && fits; i += every) {
            fits = clearOfOthers(boxes[i]) && (i < every || !overlap(boxes[i - every], boxes[i]));
        }
        if (fits || every == MAX_TICKS) {
            for (int i = 0; i < ticks.count; i += every) {
                if (clearOfOthers(boxes[i])) {
                    addText(text[i], boxes[i]);
                }
            }
            return;
        }
    }
}

// An axis's name, out from its side in the direction from inner to
// outer, past the number that may be there; left out where it has no room.
static void addName(const char* name, const glm::vec2& inner, const glm::vec2& outer, bool hang)
{
    glm::vec2 out = screenDirection(inner, outer);
    if (hang) {
        out = glm::vec2(out.x, std::min(out.y, 0.0f));
        out = glm::length(out) > 0.1f ? glm::normalize(out) : glm::vec2(0.0f, -1.0f);
    }
    const float numberHeight = GLYPH_ATLAS.ascent + GLYPH_ATLAS.descent;
    const float past = std::fabs(out.x) * textWidth("-0.0") + std::fabs(out.y) * numberHeight;
    const Box box = labelBeyond(name, outer + out * (past + LABEL_GAP), out, hang);
    if (clearOfOthers(box)) {
        addText(name, box);
    }
}

// x along the side of the square nearer the eye in y, y along the side
// nearer it in x, both in the plane z = 0 where the grid lies, below the
// surface; f up the corner of the square that is further left in the
// picture of the two beside it (not the nearest corner, in front of the
// surface, nor the farthest, behind it).  Their ticks point out of the
// square.  The colour key gets f's ticks too.
void layOutAxes(const glm::dvec3& eye, const glm::mat4& toScreen, const FunctionPlot& plot)
{
    numbered = &plot;
    const float nearX = eye.x >= 0.0 ? GRID_MAX : GRID_MIN;
    const float nearY = eye.y >= 0.0 ? GRID_MAX : GRID_MIN;
    const float outX = nearX > 0.0f ? TICK_LENGTH : -TICK_LENGTH;
    const float outY = nearY > 0.0f ? TICK_LENGTH : -TICK_LENGTH;
    glm::vec2 inner[MAX_TICKS];
    glm::vec2 outer[MAX_TICKS];

    // The lines: x, y, and f from its lowest tick to its highest (from
    // the lowest drawn height to the highest for a constant f).
    addLine({GRID_MIN, nearY, 0.0f}, {GRID_MAX, nearY, 0.0f});
    addLine({nearX, GRID_MIN, 0.0f}, {nearX, GRID_MAX, 0.0f});
    const glm::vec2 besideX = onScreen(toScreen, {-nearX, nearY, 0.0f});
    const glm::vec2 besideY = onScreen(toScreen, {nearX, -nearY, 0.0f});
    const glm::vec2 corner =
        besideX.x < besideY.x ? glm::vec2(-nearX, nearY) : glm::vec2(nearX, -nearY);
    const glm::vec2 outward = glm::normalize(corner) * TICK_LENGTH;
    const bool constant = fTicks.count == 1;
    const float bottom = constant ? float(LOWEST_DRAWN) : drawnAt(fTicks.low);
    const float top = constant ? float(HIGHEST_DRAWN) : drawnAt(fTicks.high);
    addLine({corner, bottom}, {corner, top});

    // The colour key's numbers first, as they stay where they are, then
    // the numbers along the axes, then the axes' names beyond them.
    const float keyWidth = windowWidth / 2.0f;
    const float keyHeight = windowHeight / 2.0f;
    for (int i = 0; i < fTicks.count; ++i) {
        const float y = keyHeightOf(fTicks.value[i]);
        inner[i] = {(KEY_LEFT + 1.0f) * keyWidth, (y + 1.0f) * keyHeight};
        outer[i] = {(KEY_LEFT - KEY_TICK + 1.0f) * keyWidth, inner[i].y};
    }
    addTickLabels(fTicks, inner, outer, false);

    // Each axis's ticks in the scene, and their numbers.
    for (int i = 0; i < fTicks.count; ++i) {
        const glm::vec3 at = {corner, drawnAt(fTicks.value[i])};
        const glm::vec3 end = at + glm::vec3(outward, 0.0f);
        addLine(at, end);
        inner[i] = onScreen(toScreen, at);
        outer[i] = onScreen(toScreen, end);
    }
    addTickLabels(fTicks, inner, outer, false);
    for (const bool alongX : {true, false}) {
        for (int i = 0; i < gridTicks.count; ++i) {
            const float c = static_cast<float>(gridTicks.value[i]);
            const glm::vec3 at = alongX ? glm::vec3(c, nearY, 0.0f) : glm::vec3(nearX, c, 0.0f);
            const glm::vec3 end =
                at + (alongX ? glm::vec3(0.0f, outY, 0.0f) : glm::vec3(outX, 0.0f, 0.0f));
            addLine(at, end);
            inner[i] = onScreen(toScreen, at);
            outer[i] = onScreen(toScreen, end);
        }
        addTickLabels(gridTicks, inner, outer, true);
    }

    // The names: x and y out from the middle of their sides, past the
    // numbers there, and f above its axis.
    addName("x", onScreen(toScreen, {0.0f, nearY, 0.0f}),
            onScreen(toScreen, {0.0f, nearY + outY, 0.0f}), true);
    addName("y", onScreen(toScreen, {nearX, 0.0f, 0.0f}),
            onScreen(toScreen, {nearX + outX, 0.0f, 0.0f}), true);
    const glm::vec2 fTop = onScreen(toScreen, {corner, top});
    addName("f(x, y)", fTop - glm::vec2(0.0f, 1.0f), fTop, false);

    // Last the key's ticks, which are drawn in the window's coordinates.
    keyMarks = axisCount;
    for (int i = 0; i < fTicks.count; ++i) {
        const float y = keyHeightOf(fTicks.value[i]);
        addLine({KEY_LEFT - KEY_TICK, y, 0.0f}, {KEY_LEFT, y, 0.0f});
    }
    numbered = nullptr;
}

void uploadAxisLines()
{
    glBindVertexArray(axisArray);
    glBindBuffer(GL_ARRAY_BUFFER, axisBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(axisCount * sizeof(Vertex)),
                    axisVertices.data());
}

void drawLabels()
{
    glUseProgram(textProgram);
    glUniform2f(windowSizeUniform, windowWidth, windowHeight);
    glBindVertexArray(textArray);
    glBindBuffer(GL_ARRAY_BUFFER, textBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(textCorners * sizeof(GlyphCorner)),
                    glyphCorners.data());
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, atlasTexture);
    glDrawArrays(GL_TRIANGLES, 0, textCorners);
    glDisable(GL_BLEND);
}
