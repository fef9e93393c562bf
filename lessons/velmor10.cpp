// Lesson 10: axes and labels.
//
// Lesson 9's plot of the learner's function, now with numbers on it:
//
//   velmor10 'sin(x) * y'           velmor10 --cells 100 'x * y / 5'
//
// x and y are numbered along two edges of the grid's square and f along
// a vertical edge at one of its corners, the edges chosen from the camera
// every frame so that they stand beside the surface or behind it, never
// across it.  The ticks are at nice numbers, f's in f's own units at the
// heights they are drawn at, and the colour key has the same numbers.
// The text is drawn with a texture: every glyph of the font baked into
// one picture at build time (core/glyphs.h), and each label a few
// quads facing the screen that take their glyphs from it, blended over
// the plot.
//
// With no function it plots the bump of the earlier lessons.  Whatever the
// range of f, the surface is scaled to fit the view between heights 1 and
// 6, above the grid plane at 0, and coloured by height with the viridis
// colour map, computed in the fragment shader: dark purple at the lowest
// value on the grid, yellow at the highest.  The strip at the window's
// right edge is the key; the terminal says which values its ends stand
// for and how z was scaled.  Where f has no finite value (log(x) for
// x <= 0, 1/x at 0) the cells around the point are left out, and the
// lesson says how many.
//
//   Right / Left, Up / Down   turn the camera 5 degrees around / up and down
//   drag with the left button turn the camera; the surface follows the hand
//   + (or =) and -, wheel     move in and out
//   d                         depth test off and on again
//   r                         back to the start
//   q, Esc                    quit
#include "arguments.h"
#include "functionplot.h"
#include "glyphs.h"
#include "modern.h"
#include "orbit.h"
#include "ticks.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

// The bump of lessons 3 and 4, written in the language the learner uses.
static const char* const DEFAULT_FUNCTION = "8 * exp(-(x^2 + y^2) / 5)";

// Cells along each side of the square.  28 is what the earlier lessons
// draw; 400 x 400 cells are 960000 triangle corners, some 27 MB in the
// buffer, about as far as a learner's machine should be asked to go.
static constexpr int DEFAULT_CELLS = 28;
static constexpr int MAX_CELLS = 400;

static constexpr double PI = 3.14159265358979323846;
static constexpr double RADIANS_PER_DEGREE = PI / 180.0;

// Lesson 8's projection, but for the far plane: a surface that reaches
// height 6 at a corner of the square, (5, 5, 6), lies sqrt(86) (about
// 9.3) from the origin, so from the farthest eye, 22 away, all of it
// stays nearer than 35.
static constexpr double FIELD_OF_VIEW = 60.0;
static constexpr float NEAR_PLANE = 0.1f;
static constexpr double FAR_PLANE = 35.0;

static constexpr unsigned char ESCAPE = 27;

// What a draw is drawing, for the shaders' uniform "part".
static constexpr GLint GRID_PART = 0;
static constexpr GLint SURFACE_PART = 1;
static constexpr GLint KEY_PART = 2;
static constexpr GLint KEY_MARK_PART = 3;

// A tick sticks out of the square by this much (in the scene's units),
// and its label starts this many pixels beyond its end.  The key's ticks
// are as long, in the window's coordinates.
static constexpr float TICK_LENGTH = 0.3f;
static constexpr float LABEL_GAP = 4.0f;
static constexpr float KEY_TICK = 0.02f;

// Two labels closer than this (in pixels) count as overlapping: one of
// them is left out.
static constexpr float LABEL_MARGIN = 3.0f;

// Room for the axes' lines and ticks, and for the glyphs of every label
// of a frame: 3 axes with at most 8 ticks, and 2 + 3 + 8 + 3 * 8 labels
// of at most 12 characters each.  The buffers are made this big once, so
// a frame only fills them.
static constexpr int MAX_AXIS_VERTICES = 2 * (3 + 3 * MAX_TICKS + MAX_TICKS);
static constexpr int MAX_LABELS = 4 * MAX_TICKS + 8;
static constexpr int MAX_LABEL_LENGTH = 24;
static constexpr int MAX_GLYPHS = MAX_LABELS * MAX_LABEL_LENGTH;
static constexpr int CORNERS_PER_GLYPH = 6;

// Lesson 8's lighting, with the colour now a function of the level.  The
// key is not in the world and not lit: its diffuse term of 0.8 with the
// ambient 0.2 gives each colour of the map at full strength.
static const char* const VERTEX_SHADER = R"(
layout (location = 0) in vec3 position;
layout (location = 1) in vec3 normal;
layout (location = 2) in float level;

uniform mat4 projection;
uniform mat4 view;
uniform vec3 lightDirection;
uniform highp int part;

out float diffuse;
out float height;

void main()
{
    if (part >= 2) {
        gl_Position = vec4(position, 1.0);
        diffuse = 0.8;
    } else {
        gl_Position = projection * (view * vec4(position, 1.0));
        diffuse = max(dot(normal, normalize(lightDirection)), 0.0);
    }
    height = level;
}
)";

// (The uniform part is declared highp in both shaders: in OpenGL ES, and
// so in the browser, an int of the fragment shader is otherwise of lower
// precision than the vertex shader's, and the two would not link.)
//
// The colour is looked up for every pixel from the interpolated level, so
// that a band of colour may run across a triangle.  Viridis goes from
// dark purple through blue and green to yellow with an even step in
// lightness, so equal steps in height look equally different, and it
// stays readable to the common kinds of colour blindness and in grey.
// Nine of its colours, evenly spaced, are joined by straight lines here;
// between them the map changes too little to tell.
static const char* const FRAGMENT_SHADER = R"(
in float diffuse;
in float height;

uniform highp int part;

out vec4 fragmentColour;

const vec3 VIRIDIS[9] = vec3[9](
    vec3(0.267, 0.004, 0.329), vec3(0.278, 0.176, 0.482), vec3(0.231, 0.322, 0.545),
    vec3(0.173, 0.447, 0.557), vec3(0.129, 0.565, 0.549), vec3(0.153, 0.678, 0.506),
    vec3(0.365, 0.784, 0.388), vec3(0.667, 0.863, 0.196), vec3(0.992, 0.906, 0.145));

vec3 viridis(float level)
{
    float at = clamp(level, 0.0, 1.0) * 8.0;
    int below = min(int(at), 7);
    return mix(VIRIDIS[below], VIRIDIS[below + 1], at - float(below));
}

void main()
{
    vec3 colour = part == 0 || part == 3 ? vec3(0.0) : viridis(height);
    fragmentColour = vec4(min((0.2 + diffuse) * colour, vec3(1.0)), 1.0);
}
)";

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

// A label's box in window pixels, for telling whether two overlap.
struct Box {
    float left, bottom, right, top;
};

// The learner's function as lesson 9 plots it (functionplot.h).
static FunctionPlot plot;

// The axes' ticks, from the fitted range of f, and what each frame draws
// of the axes and labels.
static Ticks fTicks;
static Ticks gridTicks;
static Vertex axisVertices[MAX_AXIS_VERTICES];
static GLsizei axisCount = 0;
static GLsizei keyMarksFrom = 0;
static GlyphCorner glyphCorners[MAX_GLYPHS * CORNERS_PER_GLYPH];
static GLsizei textCorners = 0;
static Box placed[MAX_LABELS];
static int placedCount = 0;

static bool depthTest = true;

static GLuint program = 0;
static GLint projectionUniform = -1;
static GLint viewUniform = -1;
static GLint partUniform = -1;
static GLuint vertexArray = 0;
static GLuint buffer = 0;
static GLuint elementBuffer = 0;
static GLuint axisArray = 0;
static GLuint axisBuffer = 0;

static GLuint textProgram = 0;
static GLint windowSizeUniform = -1;
static GLuint textArray = 0;
static GLuint textBuffer = 0;
static GLuint atlasTexture = 0;

// The projection and the window's size, for placing the labels.
static glm::mat4 projection(1.0f);
static float windowWidth = 1.0f;
static float windowHeight = 1.0f;

// A new plot, lesson 9's way (functionplot.h), and the axes' ticks from
// its fitted range.  Returns false, with why in message, as plotFunction.
static bool newPlot(const std::string& text, int cells, std::string& message)
{
    if (!plotFunction(text, cells, plot, message)) {
        return false;
    }
    fTicks = niceTicks(plot.lowest, plot.highest);
    gridTicks = niceTicks(GRID_MIN, GRID_MAX);
    return true;
}

// Hands the plot to the buffers, replacing what they held.
static void uploadVertices()
{
    uploadPlot(plot, vertexArray, buffer, elementBuffer);
}

// The height f is drawn at.
static float drawnAt(double f)
{
    return static_cast<float>(LOWEST_DRAWN + plot.levelOf(f) * (HIGHEST_DRAWN - LOWEST_DRAWN));
}

// Where the key shows f, in the window's coordinates.
static float keyHeightOf(double f)
{
    return KEY_BOTTOM + static_cast<float>(plot.levelOf(f)) * (KEY_TOP - KEY_BOTTOM);
}

// Where a point of the scene lands in the window, in pixels from its
// bottom left corner.
static glm::vec2 onScreen(const glm::mat4& toScreen, const glm::vec3& p)
{
    const glm::vec4 clip = toScreen * glm::vec4(p, 1.0f);
    return {(clip.x / clip.w + 1.0f) * 0.5f * windowWidth,
            (clip.y / clip.w + 1.0f) * 0.5f * windowHeight};
}

static void addLine(const glm::vec3& a, const glm::vec3& b)
{
    if (axisCount + 2 <= MAX_AXIS_VERTICES) {
        axisVertices[axisCount++] = {{a.x, a.y, a.z}, {0.0f, 0.0f, 1.0f}, 0.0f};
        axisVertices[axisCount++] = {{b.x, b.y, b.z}, {0.0f, 0.0f, 1.0f}, 0.0f};
    }
}

// The box text takes with its anchor at (x, y): align 0 puts the anchor
// at the text's left (or bottom) edge, 1 at its right (or top), 0.5 in
// the middle.  Moved into the window where it would stick out of it, and
// on whole pixels, so that each pixel of a glyph's quad shows one pixel
// of the atlas.
static Box labelBox(const char* text, float x, float y, float alignX, float alignY)
{
    const float height = GLYPH_ATLAS.ascent + GLYPH_ATLAS.descent;
    const float width = std::round(textWidth(text));
    const float left = std::max(0.0f, std::min(std::round(x - alignX * width), windowWidth - width));
    const float bottom =
        std::max(0.0f, std::min(std::round(y - alignY * height), windowHeight - height));
    return {left, bottom, left + width, bottom + height};
}

static bool overlap(const Box& a, const Box& b)
{
    return a.left < b.right + LABEL_MARGIN && b.left < a.right + LABEL_MARGIN &&
           a.bottom < b.top + LABEL_MARGIN && b.bottom < a.top + LABEL_MARGIN;
}

static bool clearOfOthers(const Box& box)
{
    for (int i = 0; i < placedCount; ++i) {
        if (overlap(box, placed[i])) {
            return false;
        }
    }
    return true;
}

// Puts text's glyphs into box: for each glyph one quad, two triangles,
// whose corners take the glyph's place in the atlas as their texture
// coordinates.  The atlas runs down from its top row, the window up.
static void addText(const char* text, const Box& box)
{
    if (placedCount == MAX_LABELS) {
        return;
    }
    placed[placedCount++] = box;
    const float baseline = box.bottom + GLYPH_ATLAS.descent;
    float pen = box.left;
    for (const char* c = text; *c != '\0'; ++c) {
        const Glyph& g = glyphOf(*c);
        if (textCorners + CORNERS_PER_GLYPH > MAX_GLYPHS * CORNERS_PER_GLYPH) {
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
        direction = glm::length(direction) > 0.1f ? glm::normalize(direction)
                                                  : glm::vec2(0.0f, -1.0f);
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

// The axes for the camera at eye: x along the side of the square nearer
// the eye in y, y along the side nearer it in x, both in the plane z = 0
// where the grid lies, below the surface; f up the corner of the square
// that is further left in the picture of the two beside it (not the
// nearest corner, in front of the surface, nor the farthest, behind it).
// Their ticks point out of the square.  The colour key gets f's ticks too.
static void layOutAxes(const glm::dvec3& eye, const glm::mat4& toScreen)
{
    axisCount = 0;
    textCorners = 0;
    placedCount = 0;
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
            const glm::vec3 end = at + (alongX ? glm::vec3(0.0f, outY, 0.0f)
                                               : glm::vec3(outX, 0.0f, 0.0f));
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
    keyMarksFrom = axisCount;
    for (int i = 0; i < fTicks.count; ++i) {
        const float y = keyHeightOf(fTicks.value[i]);
        addLine({KEY_LEFT - KEY_TICK, y, 0.0f}, {KEY_LEFT, y, 0.0f});
    }
}

static void display()
{
    const glm::dvec3 eye = orbitEye();
    const glm::mat4 view = glm::lookAt(eye, glm::dvec3(0.0, 0.0, 0.0), glm::dvec3(0.0, 0.0, 1.0));
    layOutAxes(eye, projection * view);
    glUseProgram(program);
    glUniformMatrix4fv(projectionUniform, 1, GL_FALSE, glm::value_ptr(projection));
    glUniformMatrix4fv(viewUniform, 1, GL_FALSE, glm::value_ptr(view));

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (depthTest) {
        glEnable(GL_DEPTH_TEST);
    } else {
        glDisable(GL_DEPTH_TEST);
    }

    // The grid, the surface, and last the key, which lies in front of
    // everything (at the near plane) and so is never hidden.
    glBindVertexArray(vertexArray);
    glUniform1i(partUniform, GRID_PART);
    glDrawArrays(GL_LINES, 0, plot.gridVertices);
    glUniform1i(partUniform, SURFACE_PART);
    glDrawElements(GL_TRIANGLES, plot.surfaceCorners, GL_UNSIGNED_INT, nullptr);
    glUniform1i(partUniform, KEY_PART);
    glDrawArrays(GL_TRIANGLES, plot.gridVertices, plot.keyVertices);

    // The axes and their ticks, in black like the grid, hidden where the
    // surface is in front of them; then the key's ticks.
    glBindVertexArray(axisArray);
    glBindBuffer(GL_ARRAY_BUFFER, axisBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(axisCount * sizeof(Vertex)),
                    axisVertices);
    glUniform1i(partUniform, GRID_PART);
    glDrawArrays(GL_LINES, 0, keyMarksFrom);
    glUniform1i(partUniform, KEY_MARK_PART);
    glDrawArrays(GL_LINES, keyMarksFrom, axisCount - keyMarksFrom);

    // The labels over everything: no depth test, and each glyph's pixels
    // blended over what is there by how much of them it covers.
    glUseProgram(textProgram);
    glUniform2f(windowSizeUniform, windowWidth, windowHeight);
    glBindVertexArray(textArray);
    glBindBuffer(GL_ARRAY_BUFFER, textBuffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0,
                    static_cast<GLsizeiptr>(textCorners * sizeof(GlyphCorner)), glyphCorners);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, atlasTexture);
    glDrawArrays(GL_TRIANGLES, 0, textCorners);
    glDisable(GL_BLEND);

    glutSwapBuffers();
}

static void keyboard(unsigned char key)
{
    switch (key) {
    case 'd':
    case 'D':
        depthTest = !depthTest;
        glutPostRedisplay();
        break;
    case 'r':
    case 'R':
        depthTest = true;
        break;
    case 'q':
    case 'Q':
    case ESCAPE:
        glutLeaveMainLoop();
        break;
    }
}

static void reshape(int width, int height)
{
    const float w = static_cast<float>(width > 0 ? width : 1);
    const float h = static_cast<float>(height > 0 ? height : 1);
    const float aspect = w / h;

    projection = glm::perspective(FIELD_OF_VIEW * RADIANS_PER_DEGREE, static_cast<double>(aspect),
                                  static_cast<double>(NEAR_PLANE), FAR_PLANE);
    windowWidth = w;
    windowHeight = h;
    glViewport(0, 0, width, height);
}

// Lesson 8's way to draw with a program.
static void useShaderProgram(GLuint built)
{
    program = built;
    glUseProgram(program);
    projectionUniform = glGetUniformLocation(program, "projection");
    viewUniform = glGetUniformLocation(program, "view");
    partUniform = glGetUniformLocation(program, "part");
    glUniform3f(glGetUniformLocation(program, "lightDirection"), LIGHT_POSITION[0],
                LIGHT_POSITION[1], LIGHT_POSITION[2]);
}

int main(int argc, char** argv)
{
    // The function first: a mistake in it is told before any window.
    std::string text = DEFAULT_FUNCTION;
    int cells = DEFAULT_CELLS;
    readFunctionArguments(argc, argv, MAX_CELLS, text, cells);
    std::string report;
    if (!newPlot(text, cells, report)) {
        refuseInput(report);
    }

    glutInit(&argc, argv);
    glutInitContextVersion(3, 3);
    glutInitContextProfile(GLUT_CORE_PROFILE);
    openModernLessonWindow("10. Axes and labels", GLUT_DOUBLE | GLUT_DEPTH, display, reshape);

    useShaderProgram(buildShaderProgram(VERTEX_SHADER, FRAGMENT_SHADER));

    // The vertex array records the buffer and the three attributes; a new
    // function only refills the buffer.
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(1, &buffer);
    glGenBuffers(1, &elementBuffer);
    uploadVertices();
    describeVertices();

    // The axes' lines change with the camera: a buffer of their own,
    // made as big as they can be and refilled every frame.
    glGenVertexArrays(1, &axisArray);
    glBindVertexArray(axisArray);
    glGenBuffers(1, &axisBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, axisBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof axisVertices, nullptr, GL_DYNAMIC_DRAW);
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
    glBufferData(GL_ARRAY_BUFFER, sizeof glyphCorners, nullptr, GL_DYNAMIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(GlyphCorner),
                          reinterpret_cast<const void*>(offsetof(GlyphCorner, x)));
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(GlyphCorner),
                          reinterpret_cast<const void*>(offsetof(GlyphCorner, u)));
    glEnableVertexAttribArray(1);

    // The key's end values, which the window has no text for: said once
    // the window is there to show what they belong to.
    std::printf("%s", report.c_str());
    std::fflush(stdout);

    orbitWithInput(keyboard);
    acceptNewFunctions(newPlot, uploadVertices, text, cells, MAX_CELLS, &plot.lowest,
                       &plot.highest);
    acceptNewShaders(VERTEX_SHADER, FRAGMENT_SHADER, useShaderProgram);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutMainLoop();
    return 0;
}
