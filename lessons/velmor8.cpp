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
// The camera is lesson 7's, now behind two calls of the core (orbit.h),
// with lesson 7's keys and mouse:
//
//   Right / Left, Up / Down   turn the camera 5 degrees around / up and down
//   drag with the left button turn the camera; the surface follows the hand
//   + (or =) and -, wheel     move in and out
//   d                         depth test off and on again
//   r                         back to the start
//   q, Esc                    quit
#include "modern.h"
#include "orbit.h"

#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include <cstddef>

// The surface this lesson plots: the bump of lesson 4 on a plinth of 1.
static const HeightFn HEIGHT = raisedBumpHeight;

static constexpr double PI = 3.14159265358979323846;
static constexpr double RADIANS_PER_DEGREE = PI / 180.0;

// The projection of lessons 3 to 7: a vertical field of view of 60
// degrees, the near plane at 0.1 and the far one at 30.
static constexpr double FIELD_OF_VIEW = 60.0;
static constexpr float NEAR_PLANE = 0.1f;
static constexpr double FAR_PLANE = 30.0;

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
// it is interpolated across the triangle.  (The driver's messages number
// the lines of a shader from the one that opens its string, R"( .)
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

// The switch of the depth test.
static bool depthTest = true;

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
    const glm::dvec3 eye = orbitEye();
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

// The lesson's own keys, after the camera has taken its own (r puts the
// camera back to the start too).
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

// Draws from now on with the program built from the shaders: finds where
// its uniforms are, and sets the light, which is fixed in the world and so
// set once.
static void useShaderProgram(GLuint built)
{
    program = built;
    glUseProgram(program);
    projectionUniform = glGetUniformLocation(program, "projection");
    viewUniform = glGetUniformLocation(program, "view");
    colourUniform = glGetUniformLocation(program, "colour");
    glUniform3f(glGetUniformLocation(program, "lightDirection"), LIGHT_POSITION[0],
                LIGHT_POSITION[1], LIGHT_POSITION[2]);
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

    // The shaders and the vertices, once.
    useShaderProgram(buildShaderProgram(VERTEX_SHADER, FRAGMENT_SHADER));
    uploadVertices();

    orbitWithInput(keyboard);
    // In a browser the page beside the lesson edits these two shaders and
    // hands each program it builds from them to useShaderProgram.
    acceptNewShaders(VERTEX_SHADER, FRAGMENT_SHADER, useShaderProgram);
    // q and Esc leave the event loop and main returns 0; closing the
    // window does the same.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);
    glutMainLoop();
    return 0;
}
