// Lesson 11: the value under the mouse.
//
// Lesson 10's plot with numbered axes, now read point by point: the mouse
// over the surface shows x, y and f(x, y) in a label beside the pointer,
// with a small square on the surface where they are, and a click pins
// the square and its label there.  Off the surface nothing is shown.
//
//   velmor11 'sin(x) * y'           velmor11 --cells 100 'x * y / 5'
//
// The point under the mouse is found as the picture was made, in
// reverse: the pixel's line of sight is taken back through the camera
// (the inverse of projection times view) and met with the surface's
// triangles, the two of each cell as they are drawn (core/pick.h walks
// only the cells the line crosses).  No depth buffer is read back, which
// a browser's WebGL cannot do.
//
// Lesson 10's axes and labels:
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
//   move the mouse            x, y and f(x, y) under the pointer
//   click (no drag)           pin the value there
//   p                         pin the value at the middle of the window
//   c                         clear the pins
//   q, Esc                    quit
#include "arguments.h"
#include "axes.h"
#include "functionplot.h"
#include "glyphs.h"
#include "modern.h"
#include "orbit.h"
#include "pick.h"
#include "ticks.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

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
static constexpr GLint BACKING_PART = 4;

// The values shown: the one under the pointer and at most this many
// pins (a click past them moves the oldest).  Each is a square of
// MARKER_SIZE pixels around its point and a label of three lines,
// x, y and f(x, y), that starts VALUE_OFFSET pixels to the upper right
// of it, on a white backing BACKING_MARGIN pixels bigger, so that it
// reads over the dark end of the colour map too.
static constexpr int MAX_PINS = 8;
static constexpr int MAX_VALUES = 1 + MAX_PINS;
static constexpr float MARKER_SIZE = 7.0f;
static constexpr float VALUE_OFFSET = 8.0f;
static constexpr float BACKING_MARGIN = 2.0f;

// A pin turned behind the surface is hidden: the line of sight to it
// meets the surface this far (in the scene's units) or more in front.
static constexpr double HIDDEN_BY = 1e-3;

// Room for the values beside the axes' lines and labels: each value's
// square (4 lines) and backing (2 triangles), and its three lines of
// text.  The buffers are made this big once, so a frame only fills them.
static constexpr int VALUE_VERTICES = 14 * MAX_VALUES;
static constexpr int VALUE_LABELS = 3 * MAX_VALUES;

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
    vec3 colour = part == 0 || part == 3 ? vec3(0.0) : part == 4 ? vec3(1.0) : viridis(height);
    fragmentColour = vec4(min((0.2 + diffuse) * colour, vec3(1.0)), 1.0);
}
)";

// The learner's function as lesson 9 plots it (functionplot.h).
static FunctionPlot plot;

// Where the values' backings start among the lines of a frame.
static GLsizei backingsFrom = 0;

static bool depthTest = true;

// The pointer, in window pixels from the top left as GLUT gives them, and
// the pins: points of the drawn surface.  The values of a frame are
// those of them that show, with their squares and labels' backings.
static bool pointerSeen = false;
static bool pinWanted = false;
static int pointerX = 0;
static int pointerY = 0;
static glm::dvec3 pins[MAX_PINS];
static int pinCount = 0;
static int oldestPin = 0;
static glm::vec2 markers[MAX_VALUES];
static Box backings[MAX_VALUES];
static int valueCount = 0;

static GLuint program = 0;
static GLint projectionUniform = -1;
static GLint viewUniform = -1;
static GLint partUniform = -1;
static GLuint vertexArray = 0;
static GLuint buffer = 0;
static GLuint elementBuffer = 0;

// The projection and the window's size, for placing the values.
static glm::mat4 projection(1.0f);
static float windowWidth = 1.0f;
static float windowHeight = 1.0f;

// A new plot, lesson 9's way (functionplot.h), numbered lesson 10's way
// (axes.h).  Returns false, with why in message, as plotFunction.
static bool newPlot(const std::string& text, int cells, std::string& message)
{
    if (!plotFunction(text, cells, plot, message)) {
        return false;
    }
    numberAxes(plot);
    // The pins were points of the last function's surface.
    pinCount = 0;
    oldestPin = 0;
    return true;
}

// Hands the plot to the buffers, replacing what they held.
static void uploadVertices()
{
    uploadPlot(plot, vertexArray, buffer, elementBuffer);
}

// Where a point of the window (in pixels from its bottom left) lies in
// the window's own coordinates, -1 to 1 across and up, as the key's ticks
// and the values' squares are drawn.
static glm::vec3 inWindow(const glm::vec2& pixel)
{
    return {pixel.x / windowWidth * 2.0f - 1.0f, pixel.y / windowHeight * 2.0f - 1.0f, 0.0f};
}

// The point of the surface under a point of the window: the line of
// sight through it, taken back into the scene by toScene (the inverse of
// projection times view), met with the triangles as they are drawn.
// hit.found is false where the window shows no surface there.
static Hit surfaceUnder(const glm::dmat4& toScene, const glm::vec2& pixel)
{
    GridPoints grid;
    grid.cells = plot.cells;
    grid.first = &plot.vertices[plot.gridFirst].position;
    grid.stride = sizeof(Vertex);
    const glm::vec3 at = inWindow(pixel);
    return pickSurface(grid, pixelRay(glm::value_ptr(toScene), at.x, at.y));
}

// A value's square at its place in the window, and its label: x, y and
// f(x, y), from the learner's function itself rather than the triangle,
// in three lines to the upper right of it, or to the left or below where
// the window has no room.  The pointer's label always shows; a pin's
// only where it has room, as the axes' numbers (its square shows anyway).
static void addValue(const glm::dvec3& point, const glm::vec2& at, bool always)
{
    if (valueCount == MAX_VALUES) {
        return;
    }
    char lines[3][2 * MAX_LABEL_LENGTH];
    char number[MAX_LABEL_LENGTH];
    const double shown[3] = {point.x, point.y, plot.function(point.x, point.y)};
    const char* const names[3] = {"x = ", "y = ", "f(x, y) = "};
    float width = 0.0f;
    for (int k = 0; k < 3; ++k) {
        const bool some = formatValue(number, sizeof number, shown[k]) > 0;
        std::snprintf(lines[k], sizeof lines[k], "%s%s", names[k], some ? number : "no value");
        width = std::max(width, std::round(textWidth(lines[k])));
    }
    const float lineHeight = GLYPH_ATLAS.ascent + GLYPH_ATLAS.descent;
    float left = at.x + VALUE_OFFSET;
    float bottom = at.y + VALUE_OFFSET;
    if (left + width > windowWidth) {
        left = at.x - VALUE_OFFSET - width;
    }
    if (bottom + 3.0f * lineHeight > windowHeight) {
        bottom = at.y - VALUE_OFFSET - 3.0f * lineHeight;
    }
    left = std::round(std::max(0.0f, left));
    bottom = std::round(std::max(0.0f, bottom));
    const Box block = {left - BACKING_MARGIN, bottom - BACKING_MARGIN,
                       left + width + BACKING_MARGIN, bottom + 3.0f * lineHeight + BACKING_MARGIN};
    markers[valueCount] = at;
    backings[valueCount] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (always || clearOfOthers(block)) {
        backings[valueCount] = block;
        for (int k = 0; k < 3; ++k) {
            const float lineBottom = bottom + float(2 - k) * lineHeight;
            addText(lines[k], labelBox(lines[k], left, lineBottom, 0.0f, 0.0f));
        }
    }
    ++valueCount;
}

// The values of this frame: first the one under the pointer, pinned too
// if it was clicked, then the pins the camera sees.  A pin out of the
// window or behind the surface shows nothing: the line of sight to it
// meets the surface well in front of it.
static void layOutValues(const glm::mat4& toScreen)
{
    const glm::dmat4 toScene = glm::inverse(glm::dmat4(toScreen));
    valueCount = 0;
    if (pointerSeen) {
        const glm::vec2 pixel = {float(pointerX) + 0.5f, windowHeight - (float(pointerY) + 0.5f)};
        const Hit hit = surfaceUnder(toScene, pixel);
        if (hit.found) {
            const glm::dvec3 point = {hit.point[0], hit.point[1], hit.point[2]};
            addValue(point, onScreen(toScreen, glm::vec3(point)), true);
            if (pinWanted && pinCount < MAX_PINS) {
                pins[pinCount++] = point;
            } else if (pinWanted) {
                pins[oldestPin] = point;
                oldestPin = (oldestPin + 1) % MAX_PINS;
            }
        }
    }
    pinWanted = false;
    for (int p = 0; p < pinCount; ++p) {
        const glm::vec2 at = onScreen(toScreen, glm::vec3(pins[p]));
        if (at.x < 0.0f || at.y < 0.0f || at.x > windowWidth || at.y > windowHeight) {
            continue;
        }
        const Hit hit = surfaceUnder(toScene, at);
        const glm::dvec3 seen = {hit.point[0], hit.point[1], hit.point[2]};
        if (hit.found && glm::distance(seen, pins[p]) < HIDDEN_BY) {
            addValue(pins[p], at, false);
        }
    }
}

// A frame's lines and labels: the values first, as the axes' numbers
// make room for their labels, then lesson 10's axes for the camera at
// eye (axes.h), and after the key's ticks the values' squares.
static void layOutFrame(const glm::dvec3& eye, const glm::mat4& toScreen)
{
    clearAxesAndLabels();
    layOutValues(toScreen);
    layOutAxes(eye, toScreen, plot);

    // Then the values' squares, in the same coordinates, and last their
    // labels' backings, two triangles each.
    for (int v = 0; v < valueCount; ++v) {
        const glm::vec2 m = markers[v];
        const float h = MARKER_SIZE / 2.0f;
        const glm::vec3 square[4] = {inWindow(m + glm::vec2(-h, -h)),
                                     inWindow(m + glm::vec2(h, -h)), inWindow(m + glm::vec2(h, h)),
                                     inWindow(m + glm::vec2(-h, h))};
        for (int side = 0; side < 4; ++side) {
            addLine(square[side], square[(side + 1) % 4]);
        }
    }
    backingsFrom = axisVertexCount();
    for (int v = 0; v < valueCount; ++v) {
        const Box& b = backings[v];
        const glm::vec3 corner[4] = {inWindow({b.left, b.bottom}), inWindow({b.right, b.bottom}),
                                     inWindow({b.right, b.top}), inWindow({b.left, b.top})};
        for (const int c : {0, 1, 2, 0, 2, 3}) {
            addVertex(corner[c]);
        }
    }
}

static void display()
{
    const glm::dvec3 eye = orbitEye();
    const glm::mat4 view = glm::lookAt(eye, glm::dvec3(0.0, 0.0, 0.0), glm::dvec3(0.0, 0.0, 1.0));
    layOutFrame(eye, projection * view);
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
    uploadAxisLines();
    glUniform1i(partUniform, GRID_PART);
    glDrawArrays(GL_LINES, 0, keyMarksFrom());
    glUniform1i(partUniform, KEY_MARK_PART);
    glDisable(GL_DEPTH_TEST);
    glDrawArrays(GL_LINES, keyMarksFrom(), backingsFrom - keyMarksFrom());

    // The values' squares over everything, as their labels; the backings
    // under the labels.
    glUniform1i(partUniform, BACKING_PART);
    glDrawArrays(GL_TRIANGLES, backingsFrom, axisVertexCount() - backingsFrom);

    // The labels over everything (axes.h).
    drawLabels();

    glutSwapBuffers();
}

// The pointer moved with no button held: its value is looked up as the
// frame is drawn, with that frame's camera.
static void pointerMoved(int x, int y)
{
    pointerSeen = true;
    pointerX = x;
    pointerY = y;
    glutPostRedisplay();
}

// The left button let go.  A click (no drag since the press) pins the
// value under it.  After a drag the camera has turned under the pointer:
// its value is shown again once the pointer moves.
static void released(int x, int y, bool click)
{
    pointerMoved(x, y);
    pointerSeen = click;
    pinWanted = click;
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
    case 'p':
    case 'P':
        released(static_cast<int>(windowWidth) / 2, static_cast<int>(windowHeight) / 2, true);
        break;
    case 'c':
    case 'C':
        pinCount = 0;
        oldestPin = 0;
        glutPostRedisplay();
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
    labelWindow(w, h);
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
    openModernLessonWindow("11. The value under the mouse", GLUT_DOUBLE | GLUT_DEPTH, display,
                           reshape);

    useShaderProgram(buildShaderProgram(VERTEX_SHADER, FRAGMENT_SHADER));

    // The vertex array records the buffer and the three attributes; a new
    // function only refills the buffer.
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(1, &buffer);
    glGenBuffers(1, &elementBuffer);
    uploadVertices();
    describeVertices();

    // Lesson 10's axes and labels, with room for the values too.
    makeAxesAndLabels(VALUE_VERTICES, VALUE_LABELS);

    // The key's end values, which the window has no text for: said once
    // the window is there to show what they belong to.
    std::printf("%s", report.c_str());
    std::fflush(stdout);

    orbitWithInput(keyboard);
    orbitReleases(released);
    glutPassiveMotionFunc(pointerMoved);
    acceptNewFunctions(newPlot, uploadVertices, text, cells, MAX_CELLS, &plot.lowest,
                       &plot.highest);
    acceptNewShaders(VERTEX_SHADER, FRAGMENT_SHADER, useShaderProgram);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutMainLoop();
    return 0;
}
