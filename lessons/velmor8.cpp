// Lesson 8: buffers and shaders.
//
// Lesson 7's picture, drawn the way every OpenGL since the 3.2 core
// profile, WebGL and OpenGL ES require.  The vertices are computed once
// into a buffer that lives with the driver; each frame hands it two
// matrices and asks for two draws.  The lighting that lessons 3 to 7 got
// from glEnable(GL_LIGHTING) is written out in a vertex shader, and the
// Gouraud shading of glShadeModel(GL_SMOOTH) is what the interpolation
// between the vertex and the fragment shader does.
//
//   Right / Left, Up / Down   turn the camera 5 degrees around / up and down
//   drag with the left button turn the camera; the surface follows the hand
//   + (or =) and -, wheel     move in and out
//   d                         depth test off and on again
//   r                         back to the start
//   q, Esc                    quit
#include "modern.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <cmath>
#include <cstddef>

// The surface this lesson plots: the bump of lesson 4 on a plinth of 1.
static const HeightFn HEIGHT = raisedBumpHeight;

static constexpr double PI = 3.14159265358979323846;
static constexpr double RADIANS_PER_DEGREE = PI / 180.0;

// The camera orbits the origin.  It starts where lessons 3 to 6 have it,
// at (10, 10, 10): 45 degrees around from the x axis, atan(1 / sqrt 2)
// (about 35.26) degrees up and sqrt(300) (about 17.32) away.
static constexpr double START_AZIMUTH = 45.0;
static const double START_ELEVATION = std::atan(1.0 / std::sqrt(2.0)) / RADIANS_PER_DEGREE;
static const double START_DISTANCE = std::sqrt(300.0);

static constexpr double KEY_TURN = 5.0;  // degrees per arrow key
static constexpr double DRAG_TURN = 0.5; // degrees per pixel dragged
static constexpr double ZOOM_STEP = 1.1; // distance factor per key or wheel notch
// Straight above or below the origin the up vector +z points along the
// line of sight, and glm::lookAt has no view to give.
static constexpr double MAX_ELEVATION = 85.0;
// Every point drawn lies within 8 of the origin, the peak at (0, 0, 8)
// being the farthest, so from 22 away or nearer all of it stays in front
// of the far plane (30).  The near plane (0.1) sets no bound: 8 is a
// margin that keeps the eye outside the bump, well clear of it.
static constexpr double MIN_DISTANCE = 8.0;
static constexpr double MAX_DISTANCE = 22.0;

// The trigonometric functions are off by an ulp or two, which would put
// the eye of the start a few 1e-15 away from (10, 10, 10).  Rounding each
// coordinate to a multiple of 2^-20 (about a millionth of a unit, far less
// than a pixel) puts it there exactly; the power of two keeps the division
// exact.
static constexpr double EYE_GRID = 1048576.0;

// The projection of lessons 3 to 7: a vertical field of view of 60
// degrees, the near plane at 0.1 and the far one at 30.
static constexpr double FIELD_OF_VIEW = 60.0;
static constexpr float NEAR_PLANE = 0.1f;
static constexpr double FAR_PLANE = 30.0;

// The wheel: freeglut reports each notch as a click of button 3 (away from
// the user) or 4 (towards the user).
static constexpr int WHEEL_UP = 3;
static constexpr int WHEEL_DOWN = 4;
static constexpr unsigned char ESCAPE = 27;

// Where each vertex attribute comes in to the vertex shader: its
// "layout (location = ...)" and glVertexAttribPointer's first argument.
static constexpr GLuint POSITION_ATTRIBUTE = 0;
static constexpr GLuint NORMAL_ATTRIBUTE = 1;

// The vertex shader runs once for every vertex drawn.  It does what the
// fixed-function pipeline did for lessons 3 to 7: moves the vertex to the
// screen with the view and the projection, and lights it with the light
// model's ambient 0.2 and the directional light 0 of plotcore's
// LIGHT_POSITION, both white, on a material whose ambient and diffuse
// colour is the colour asked for (glColorMaterial's default).  The light
// is given in the world, so it stays fixed while the camera moves.  The
// sum is clamped to 1 at the vertex, as the fixed pipeline does, before
// it is interpolated across the triangle.
static const char* const VERTEX_SHADER = R"(
layout (location = 0) in vec3 position;
layout (location = 1) in vec3 normal;

uniform mat4 projection;
uniform mat4 view;
uniform vec3 lightDirection;
uniform vec3 colour;

out vec3 shade;

void main()
{
    gl_Position = projection * (view * vec4(position, 1.0));
    float diffuse = max(dot(normal, normalize(lightDirection)), 0.0);
    shade = min(0.2 * colour + diffuse * colour, vec3(1.0));
}
)";

// The fragment shader runs once for every pixel a triangle or line
// covers, with shade interpolated between the vertices: Gouraud shading.
static const char* const FRAGMENT_SHADER = R"(
in vec3 shade;

out vec4 fragmentColour;

void main()
{
    fragmentColour = vec4(shade, 1.0);
}
)";

// One vertex as the buffer holds it, and as the two attributes read it.
struct Vertex {
    Float3 position;
    Float3 normal;
};

// Each cell gives the grid four edges of two vertices and the surface two
// triangles of three.  forEachCell visits 28 x 28 cells (plotcore.h says
// why not 29); the array has room for one more a side than the domain
// holds whole steps, whatever the step.
static constexpr int GRID_VERTICES_PER_CELL = 8;
static constexpr int SURFACE_VERTICES_PER_CELL = 6;
static constexpr int MAX_CELLS_PER_SIDE = static_cast<int>((GRID_MAX - GRID_MIN) / GRID_STEP) + 1;
static constexpr int MAX_VERTICES = MAX_CELLS_PER_SIDE * MAX_CELLS_PER_SIDE *
                                    (GRID_VERTICES_PER_CELL + SURFACE_VERTICES_PER_CELL);

// The camera, in degrees and units, and the switch of the depth test.
static double azimuth = START_AZIMUTH;
static double elevation = START_ELEVATION;
static double distance = START_DISTANCE;
static bool depthTest = true;

// Where the left button was pressed or last moved to, while it is held.
static bool dragging = false;
static int dragX = 0;
static int dragY = 0;

// The vertices, computed once at start-up into this array and copied to
// the driver; a fixed array rather than a growing one, so that the
// lesson's own code takes nothing from the heap.
static Vertex vertices[MAX_VERTICES];
static GLsizei vertexCount = 0;

// What start-up leaves with the driver: the shader program, where its
// uniforms are, and the vertex array object that says where the
// attributes are in the buffer.  The grid's lines come first in the
// buffer, then the surface's triangles.
static GLuint program = 0;
static GLint projectionUniform = -1;
static GLint viewUniform = -1;
static GLint colourUniform = -1;
static GLuint vertexArray = 0;
static GLsizei gridVertices = 0;
static GLsizei surfaceVertices = 0;

static double snapped(double coordinate)
{
    return std::round(coordinate * EYE_GRID) / EYE_GRID;
}

// A cell that would not fit (only a changed grid step could make one) is
// left out rather than written past the array's end.
static void addVertex(const Float3& position, const Float3& normal)
{
    if (vertexCount < MAX_VERTICES) {
        vertices[vertexCount] = {position, normal};
        vertexCount = vertexCount + 1;
    }
}

// Computes every vertex once, with the positions and normals of lesson 7,
// and copies them into a buffer on the driver's side.
static void uploadVertices()
{
    // The outline of every cell in the plane z = 0, each edge a line of
    // two vertices, going round the cell as lesson 7's GL_LINE quad does.
    // No light falls on black, so the normal is never used.
    forEachCell([](float x, float y, float x1, float y1) {
        const Float3 up = {0.0f, 0.0f, 1.0f};
        const Float3 corners[4] = {{x, y, 0.0f}, {x1, y, 0.0f}, {x1, y1, 0.0f}, {x, y1, 0.0f}};
        for (int i = 0; i < 4; ++i) {
            addVertex(corners[i], up);
            addVertex(corners[(i + 1) % 4], up);
        }
    });
    gridVertices = vertexCount;

    // The surface: each cell as two triangles that share the diagonal from
    // its lower corner to its upper one.  That is where the driver cut
    // lesson 7's quads, so the picture is the same to the pixel.
    forEachCell([](float x, float y, float x1, float y1) {
        const Float3 c00 = {x, y, HEIGHT(x, y)};
        const Float3 c10 = {x1, y, HEIGHT(x1, y)};
        const Float3 c11 = {x1, y1, HEIGHT(x1, y1)};
        const Float3 c01 = {x, y1, HEIGHT(x, y1)};

        Float3 n00, n10, n11, n01;
        vertexNormal(n00, c00, HEIGHT);
        vertexNormal(n10, c10, HEIGHT);
        vertexNormal(n11, c11, HEIGHT);
        vertexNormal(n01, c01, HEIGHT);

        addVertex(c00, n00);
        addVertex(c10, n10);
        addVertex(c11, n11);
        addVertex(c00, n00);
        addVertex(c11, n11);
        addVertex(c01, n01);
    });
    surfaceVertices = vertexCount - gridVertices;

    // The vertex array object records the buffer and the layout of its
    // attributes as they are set, so that each draw needs only bind it.
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount * sizeof(Vertex)), vertices,
                 GL_STATIC_DRAW);
    // Each attribute is three floats, one whole Vertex apart.
    glVertexAttribPointer(POSITION_ATTRIBUTE, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, position)));
    glEnableVertexAttribArray(POSITION_ATTRIBUTE);
    glVertexAttribPointer(NORMAL_ATTRIBUTE, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex),
                          reinterpret_cast<const void*>(offsetof(Vertex, normal)));
    glEnableVertexAttribArray(NORMAL_ATTRIBUTE);
}

static void display()
{
    // The camera's view, now a matrix handed to the vertex shader.
    const double a = azimuth * RADIANS_PER_DEGREE;
    const double e = elevation * RADIANS_PER_DEGREE;
    const glm::dvec3 eye = {snapped(distance * std::cos(e) * std::cos(a)),
                            snapped(distance * std::cos(e) * std::sin(a)),
                            snapped(distance * std::sin(e))};
    const glm::mat4 view = glm::lookAt(eye, glm::dvec3(0.0, 0.0, 0.0), glm::dvec3(0.0, 0.0, 1.0));
    glUniformMatrix4fv(viewUniform, 1, GL_FALSE, glm::value_ptr(view));

    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // A fragment is kept only if it is nearer than what the depth buffer
    // holds at its pixel, so the nearest surface wins in any order.
    if (depthTest) {
        glEnable(GL_DEPTH_TEST);
    } else {
        glDisable(GL_DEPTH_TEST);
    }

    // Two draws, the grid and then the surface.  With the depth test the
    // order does not matter.  Without it the surface is painted over the
    // whole grid: from the start that is lesson 7's picture, since from
    // above the surface is nearer than z = 0 everywhere; from the far
    // side the surface's own far cells, drawn last, still paint over its
    // near ones.
    glBindVertexArray(vertexArray);
    glUniform3f(colourUniform, 0.0f, 0.0f, 0.0f);
    glDrawArrays(GL_LINES, 0, gridVertices);
    glUniform3f(colourUniform, 0.0f, 1.0f, 0.0f);
    glDrawArrays(GL_TRIANGLES, gridVertices, surfaceVertices);

    glutSwapBuffers();
}

// Turns the camera; every input below ends in one of these three, which
// keep it within its bounds and ask for one redraw.  The azimuth is kept
// below 360 degrees in size so that any number of turns leaves it exact.
static void turn(double around, double up)
{
    azimuth = std::fmod(azimuth + around, 360.0);
    elevation = std::clamp(elevation + up, -MAX_ELEVATION, MAX_ELEVATION);
    glutPostRedisplay();
}

static void moveTo(double newDistance)
{
    distance = std::clamp(newDistance, MIN_DISTANCE, MAX_DISTANCE);
    glutPostRedisplay();
}

static void reset()
{
    azimuth = START_AZIMUTH;
    elevation = START_ELEVATION;
    distance = START_DISTANCE;
    depthTest = true;
    glutPostRedisplay();
}

static void keyboard(unsigned char key, int, int)
{
    switch (key) {
    case '+':
    case '=':
        moveTo(distance / ZOOM_STEP);
        break;
    case '-':
        moveTo(distance * ZOOM_STEP);
        break;
    case 'd':
    case 'D':
        depthTest = !depthTest;
        glutPostRedisplay();
        break;
    case 'r':
    case 'R':
        reset();
        break;
    case 'q':
    case 'Q':
    case ESCAPE:
        glutLeaveMainLoop();
        break;
    }
}

static void special(int key, int, int)
{
    switch (key) {
    case GLUT_KEY_RIGHT:
        turn(KEY_TURN, 0.0);
        break;
    case GLUT_KEY_LEFT:
        turn(-KEY_TURN, 0.0);
        break;
    case GLUT_KEY_UP:
        turn(0.0, KEY_TURN);
        break;
    case GLUT_KEY_DOWN:
        turn(0.0, -KEY_TURN);
        break;
    }
}

static void mouse(int button, int state, int x, int y)
{
    if (button == GLUT_LEFT_BUTTON) {
        dragging = state == GLUT_DOWN;
        dragX = x;
        dragY = y;
    } else if (button == WHEEL_UP && state == GLUT_DOWN) {
        moveTo(distance / ZOOM_STEP);
    } else if (button == WHEEL_DOWN && state == GLUT_DOWN) {
        moveTo(distance * ZOOM_STEP);
    }
}

// A drag to the right moves the eye the other way round, so that the near
// side of the surface moves right with the hand; a drag down raises the
// eye, tipping the near side down.  The pointer may leave the window while
// the button is held: the turn is still by the pixels moved.
static void motion(int x, int y)
{
    if (!dragging) {
        return;
    }
    const int dx = x - dragX;
    const int dy = y - dragY;
    if (dx == 0 && dy == 0) {
        return;
    }
    dragX = x;
    dragY = y;
    turn(-dx * DRAG_TURN, dy * DRAG_TURN);
}

// The projection follows the window's shape, as in every lesson; it too is
// a matrix handed to the vertex shader.
static void reshape(int width, int height)
{
    // A minimised window can report a zero width or height.  Counting it
    // as one pixel keeps the projection finite.
    const float w = static_cast<float>(width > 0 ? width : 1);
    const float h = static_cast<float>(height > 0 ? height : 1);
    const float aspect = w / h;

    const glm::mat4 projection =
        glm::perspective(FIELD_OF_VIEW * RADIANS_PER_DEGREE, static_cast<double>(aspect),
                         static_cast<double>(NEAR_PLANE), FAR_PLANE);
    glUniformMatrix4fv(projectionUniform, 1, GL_FALSE, glm::value_ptr(projection));
    glViewport(0, 0, width, height);
}

int main(int argc, char** argv)
{
    // OpenGL 3.3 with the core profile, which has none of the calls that
    // lessons 3 to 7 draw with.  A depth buffer beside the two colour
    // buffers, as in lesson 7.
    glutInit(&argc, argv);
    glutInitContextVersion(3, 3);
    glutInitContextProfile(GLUT_CORE_PROFILE);
    openModernLessonWindow("8. Buffers and shaders", GLUT_DOUBLE | GLUT_DEPTH, display, reshape);

    // The shaders and the vertices, once; the light is fixed in the world,
    // so its uniform is set once too.
    program = buildShaderProgram(VERTEX_SHADER, FRAGMENT_SHADER);
    glUseProgram(program);
    projectionUniform = glGetUniformLocation(program, "projection");
    viewUniform = glGetUniformLocation(program, "view");
    colourUniform = glGetUniformLocation(program, "colour");
    glUniform3f(glGetUniformLocation(program, "lightDirection"), LIGHT_POSITION[0],
                LIGHT_POSITION[1], LIGHT_POSITION[2]);
    uploadVertices();

    glutKeyboardFunc(keyboard);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    // q and Esc leave the event loop and main returns 0; closing the
    // window does the same.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutMainLoop();
    return 0;
}
