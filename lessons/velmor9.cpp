// Lesson 9: your own function.
//
// Lesson 8's buffer, shaders and camera (orbit.h), plotting whatever
// z = f(x, y) the learner types:
//
//   velmor9 'sin(x) * cos(y)'       velmor9 --cells 100 'x * y / 5'
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
#include "expression.h"
#include "modern.h"
#include "orbit.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cfloat>
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

// The grid plane is drawn with about this many lines each way whatever
// the cells, so that a fine grid does not paint the plane black.
static constexpr int PLANE_LINES = 28;

// The heights the surface is scaled into: the lowest value of f on the
// grid at 1, above the grid plane at 0, and the highest at 6.  Lesson 8's
// peak at 8 is mid-square; here the highest point may be at a corner, and
// from the start a far corner at 6 stays well inside the window (79% of
// the way from its centre to the top edge).  A constant f: halfway.
static constexpr double LOWEST_DRAWN = 1.0;
static constexpr double HIGHEST_DRAWN = 6.0;

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

// The vertex attributes, as lesson 8 has them, and one more: the level of
// the vertex's height between the lowest (0) and the highest (1).
static constexpr GLuint POSITION_ATTRIBUTE = 0;
static constexpr GLuint NORMAL_ATTRIBUTE = 1;
static constexpr GLuint LEVEL_ATTRIBUTE = 2;

// What a draw is drawing, for the shaders' uniform "part".
static constexpr GLint GRID_PART = 0;
static constexpr GLint SURFACE_PART = 1;
static constexpr GLint KEY_PART = 2;

// The key's strip, in the window's own coordinates (-1 to 1 across and
// up): near the right edge, over most of the height, clear of the
// square's right corner (at 0.88 from the start).
static constexpr float KEY_LEFT = 0.92f;
static constexpr float KEY_RIGHT = 0.97f;
static constexpr float KEY_BOTTOM = -0.8f;
static constexpr float KEY_TOP = 0.8f;

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
    if (part == 2) {
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
    vec3 colour = part == 0 ? vec3(0.0) : viridis(height);
    fragmentColour = vec4(min((0.2 + diffuse) * colour, vec3(1.0)), 1.0);
}
)";

struct Vertex {
    Float3 position;
    Float3 normal;
    float level;
};

// The function and how it is fitted: the lowest and highest of its values
// on the grid, and the step between two grid lines.
static Expression function;
static double lowest = 0.0;
static double highest = 0.0;
static float step = 0.0f;

// What the vertex buffer holds: the grid plane's lines, the key's two
// triangles, then every point of the grid once.  The surface's triangles
// are drawn from that last part by their corners' indices (the element
// buffer): a grid of 200 x 200 cells has 40401 points, and drawn as lesson
// 8 draws, with six vertices a cell, it would ask the vertex shader to
// light 240000.
static std::vector<Vertex> vertices;
static std::vector<GLuint> corners;
static GLsizei gridVertices = 0;
static GLsizei keyVertices = 0;
static GLsizei surfaceCorners = 0;

static bool depthTest = true;

static GLuint program = 0;
static GLint projectionUniform = -1;
static GLint viewUniform = -1;
static GLint partUniform = -1;
static GLuint vertexArray = 0;
static GLuint buffer = 0;
static GLuint elementBuffer = 0;

// Where f lies between its lowest and highest value on the grid, 0 to 1.
// Halving both sides first keeps the difference finite for values near
// the largest a double holds.  A constant has no range: the middle.
static double levelOf(double f)
{
    const double range = highest / 2.0 - lowest / 2.0;
    if (!(range > 0.0)) {
        return 0.5;
    }
    return (f / 2.0 - lowest / 2.0) / range;
}

// The surface as it is drawn: f scaled into 1 to 6.  It is a HeightFn, so
// plotcore's vertexNormal takes its normals from its neighbours exactly
// as for the bump.  Not finite where f is not.
static float drawnHeight(float x, float y)
{
    const double z = LOWEST_DRAWN + levelOf(function(x, y)) * (HIGHEST_DRAWN - LOWEST_DRAWN);
    // A neighbour just outside the square may lie far outside the range
    // (exp(100 * x) at x = 5.2), beyond what a float holds: converting
    // such a double to float is undefined, so it becomes an infinity and
    // the normal there comes from the triangle instead.
    if (std::fabs(z) > FLT_MAX) {
        return z > 0.0 ? INFINITY : -INFINITY;
    }
    return static_cast<float>(z);
}

// The i-th of cells + 1 grid coordinates from -5 to 5, computed in double
// and rounded once, so that 0 is on the grid when cells is even.
static float gridCoordinate(int i, int cells)
{
    return static_cast<float>(GRID_MIN + (double(GRID_MAX) - GRID_MIN) * i / cells);
}

// The normal at a grid point next to one that is left out, where
// vertexNormal has no neighbour to go on: from the slopes towards the
// neighbours on the grid that do have a height, one each way if there is
// one, or straight up.
static Float3 sideNormal(const std::vector<Vertex>& grid, int points, int i, int j)
{
    const Float3 p = grid[static_cast<std::size_t>(i) * points + j].position;
    auto slope = [&](int di, int dj) {
        for (const int sign : {1, -1}) {
            const int ni = i + sign * di, nj = j + sign * dj;
            if (ni >= 0 && nj >= 0 && ni < points && nj < points) {
                const Float3 q = grid[static_cast<std::size_t>(ni) * points + nj].position;
                if (finite(q)) {
                    return Float3{(q.x - p.x) * sign, (q.y - p.y) * sign, (q.z - p.z) * sign};
                }
            }
        }
        return Float3{static_cast<float>(di), static_cast<float>(dj), 0.0f};
    };
    return normalize(cross(slope(1, 0), slope(0, 1)));
}

// Reads text as the function, evaluates it over a grid of cells x cells
// and computes every vertex into `vertices`.  Returns false with the
// reason in `message` if it cannot be plotted; the last function read
// stays as it was.  Otherwise `message` gets what a learner should know:
// cells left out, and the key.
static bool plotFunction(const std::string& text, int cells, std::string& message)
{
    // A mistake in the text is told with its column (arguments.h).
    Expression candidate;
    if (!readFunction(text, candidate, message)) {
        return false;
    }

    // f at every grid point, and its range where it is finite.
    const int points = cells + 1;
    std::vector<double> values(static_cast<std::size_t>(points) * points);
    double low = INFINITY;
    double high = -INFINITY;
    for (int i = 0; i < points; ++i) {
        for (int j = 0; j < points; ++j) {
            const double f = candidate(gridCoordinate(i, cells), gridCoordinate(j, cells));
            values[static_cast<std::size_t>(i) * points + j] = f;
            if (std::isfinite(f)) {
                low = std::min(low, f);
                high = std::max(high, f);
            }
        }
    }
    if (!(low <= high)) {
        message = functionName(text) + " has no finite value anywhere on the grid, -5 <= x, y " +
                  "<= 5, so there is no surface to draw.";
        return false;
    }
    function = std::move(candidate);
    // Adding 0 makes a negative zero (the highest of -x^2) plain 0, as
    // the key should show it.
    lowest = low + 0.0;
    highest = high + 0.0;
    step = (GRID_MAX - GRID_MIN) / static_cast<float>(cells);

    // The grid plane at z = 0: every k-th line of the grid, and the far
    // edges.  No light falls on black, so the normal is never used.
    vertices.clear();
    const int every = (cells + PLANE_LINES - 1) / PLANE_LINES;
    const Float3 up = {0.0f, 0.0f, 1.0f};
    std::vector<int> lines;
    for (int i = 0; i < cells; i += every) {
        lines.push_back(i);
    }
    lines.push_back(cells);
    for (const int i : lines) {
        const float c = gridCoordinate(i, cells);
        vertices.push_back({{c, GRID_MIN, 0.0f}, up, 0.0f});
        vertices.push_back({{c, GRID_MAX, 0.0f}, up, 0.0f});
        vertices.push_back({{GRID_MIN, c, 0.0f}, up, 0.0f});
        vertices.push_back({{GRID_MAX, c, 0.0f}, up, 0.0f});
    }
    gridVertices = static_cast<GLsizei>(vertices.size());

    // The key: a strip from level 0 at the bottom to 1 at the top.
    const Vertex key[4] = {{{KEY_LEFT, KEY_BOTTOM, 0.0f}, up, 0.0f},
                           {{KEY_RIGHT, KEY_BOTTOM, 0.0f}, up, 0.0f},
                           {{KEY_RIGHT, KEY_TOP, 0.0f}, up, 1.0f},
                           {{KEY_LEFT, KEY_TOP, 0.0f}, up, 1.0f}};
    for (const int corner : {0, 1, 2, 0, 2, 3}) {
        vertices.push_back(key[corner]);
    }
    keyVertices = 6;

    // Every grid point's position and level, then its normal: from its
    // neighbours, as in every lesson, with plotcore's vertexNormal.
    const std::size_t first = vertices.size();
    std::vector<Vertex> grid(values.size());
    for (int i = 0; i < points; ++i) {
        for (int j = 0; j < points; ++j) {
            const std::size_t at = static_cast<std::size_t>(i) * points + j;
            const float x = gridCoordinate(i, cells);
            const float y = gridCoordinate(j, cells);
            grid[at].position = {x, y, drawnHeight(x, y)};
            grid[at].level = static_cast<float>(levelOf(values[at]));
        }
    }
    for (int i = 0; i < points; ++i) {
        for (int j = 0; j < points; ++j) {
            Vertex& v = grid[static_cast<std::size_t>(i) * points + j];
            if (finite(v.position)) {
                vertexNormal(v.normal, v.position, drawnHeight, step);
                if (!finite(v.normal)) {
                    v.normal = sideNormal(grid, points, i, j);
                }
            }
        }
    }
    vertices.insert(vertices.end(), grid.begin(), grid.end());

    // The surface: two triangles per cell that share the diagonal from its
    // lower corner to its upper one, as in lesson 8, for every cell whose
    // four corners have a finite value.
    corners.clear();
    long leftOut = 0;
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            const std::size_t at = static_cast<std::size_t>(i) * points + j;
            const std::size_t c00 = at, c10 = at + points, c11 = at + points + 1, c01 = at + 1;
            if (!finite(grid[c00].position) || !finite(grid[c10].position) ||
                !finite(grid[c11].position) || !finite(grid[c01].position)) {
                ++leftOut;
                continue;
            }
            for (const std::size_t corner : {c00, c10, c11, c00, c11, c01}) {
                corners.push_back(static_cast<GLuint>(first + corner));
            }
        }
    }
    surfaceCorners = static_cast<GLsizei>(corners.size());

    // What the picture cannot say by itself (arguments.h).
    message = plotReport(leftOut, cells, lowest, highest, LOWEST_DRAWN, HIGHEST_DRAWN);
    return true;
}

// Hands the vertices and the triangles' corners to the buffers, replacing
// what they held.  The element buffer's binding is part of the vertex
// array's state, so the vertex array must be bound.
static void uploadVertices()
{
    glBindVertexArray(vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)),
                 vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, elementBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(corners.size() * sizeof(GLuint)),
                 corners.data(), GL_STATIC_DRAW);
}

static void display()
{
    const glm::dvec3 eye = orbitEye();
    const glm::mat4 view = glm::lookAt(eye, glm::dvec3(0.0, 0.0, 0.0), glm::dvec3(0.0, 0.0, 1.0));
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
    glDrawArrays(GL_LINES, 0, gridVertices);
    glUniform1i(partUniform, SURFACE_PART);
    glDrawElements(GL_TRIANGLES, surfaceCorners, GL_UNSIGNED_INT, nullptr);
    glUniform1i(partUniform, KEY_PART);
    glDrawArrays(GL_TRIANGLES, gridVertices, keyVertices);

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

    const glm::mat4 projection =
        glm::perspective(FIELD_OF_VIEW * RADIANS_PER_DEGREE, static_cast<double>(aspect),
                         static_cast<double>(NEAR_PLANE), FAR_PLANE);
    glUniformMatrix4fv(projectionUniform, 1, GL_FALSE, glm::value_ptr(projection));
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
    if (!plotFunction(text, cells, report)) {
        refuseInput(report);
    }

    glutInit(&argc, argv);
    glutInitContextVersion(3, 3);
    glutInitContextProfile(GLUT_CORE_PROFILE);
    openModernLessonWindow("9. Your own function", GLUT_DOUBLE | GLUT_DEPTH, display, reshape);

    useShaderProgram(buildShaderProgram(VERTEX_SHADER, FRAGMENT_SHADER));

    // The vertex array records the buffer and the three attributes; a new
    // function only refills the buffer.
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(1, &buffer);
    glGenBuffers(1, &elementBuffer);
    uploadVertices();
    glVertexAttribPointer(POSITION_ATTRIBUTE, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, position)));
    glEnableVertexAttribArray(POSITION_ATTRIBUTE);
    glVertexAttribPointer(NORMAL_ATTRIBUTE, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, normal)));
    glEnableVertexAttribArray(NORMAL_ATTRIBUTE);
    glVertexAttribPointer(LEVEL_ATTRIBUTE, 1, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, level)));
    glEnableVertexAttribArray(LEVEL_ATTRIBUTE);

    // The key's end values, which the window has no text for: said once
    // the window is there to show what they belong to.
    std::printf("%s", report.c_str());
    std::fflush(stdout);

    orbitWithInput(keyboard);
    acceptNewFunctions(plotFunction, uploadVertices, text, cells, MAX_CELLS, &lowest, &highest);
    acceptNewShaders(VERTEX_SHADER, FRAGMENT_SHADER, useShaderProgram);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutMainLoop();
    return 0;
}
