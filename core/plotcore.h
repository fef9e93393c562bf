// plotcore.h - what every lesson shares.
//
// The lessons draw z = f(x, y) as a lit surface over a square grid.  This
// header gives them the small vector type and its two helpers, the two
// height functions, the grid walk, the smoothed vertex normal, the program
// start-up and the first few state changes of every frame.  What a lesson
// actually teaches (shading model, where the normals go, blending, drawing
// order) is left to the lesson file.
//
// All arithmetic is single precision, one IEEE operation at a time, in the
// order written here.  The build turns off fused multiply-add contraction
// (-ffp-contract=off) so that the coordinates come out the same on every
// machine, and vertices shared by neighbouring cells agree bit for bit.
#ifndef PLOTCORE_H
#define PLOTCORE_H

#ifdef __APPLE__
#define GL_SILENCE_DEPRECATION
#include <GLUT/glut.h>
#else
#include <GL/glut.h>
#endif

// A point on the surface or a normal.
struct Float3 {
    float x, y, z;
};

// A height field: z as a function of x and y.
using HeightFn = float (*)(float x, float y);

// a x b, each product and difference rounded to float.
Float3 cross(const Float3& a, const Float3& b);

// v scaled to unit length.  A (near) zero vector comes back unchanged
// rather than as infinities or NaN.
Float3 normalize(const Float3& v);

// Whether all three of v's coordinates are finite: a point where f has
// a value, or a normal that could be computed.
bool finite(const Float3& v);

// The square domain -5 <= x, y <= 5.
constexpr float GRID_MIN = -5.0f;
constexpr float GRID_MAX = 5.0f;

// One cell is 10/29 of a unit wide: the float nearest to it, 0.3448276,
// which lies slightly above 10/29.
constexpr float GRID_STEP = (GRID_MAX - GRID_MIN) / 29.0f;

// Below this length a vector is too short to normalise.
constexpr double NORMAL_EPSILON = 1e-6;

// Light 0 is directional (w = 0) and shines from (1, 1, 1), the side the
// eye is on, so the top of the bump is bright and its far slopes darker.
constexpr GLfloat LIGHT_POSITION[4] = {1.0f, 1.0f, 1.0f, 0.0f};

// A Gaussian bump of height 8 at the origin, nearly flat at the rim.
float bumpHeight(float x, float y);

// The same bump squeezed to 7 and lifted by 1, so that the whole surface
// stays at least one unit above the plane z = 0 where lesson 5 draws its
// grid.  The peak is still 8.
float raisedBumpHeight(float x, float y);

// Calls visit(x, y, x1, y1) once for every grid cell, x in the outer loop
// and y in the inner one, both ascending.  (x, y) is the cell's lower
// corner and (x1, y1) = (x + h, y + h) its upper one.
//
// The coordinates are advanced by repeated float addition of the step, so
// one cell's x1 is the next cell's x to the last bit: neighbouring quads
// meet without cracks.  The rounding also means that the loops run 28
// times, not 29: the last lower coordinate is 4.3103461, the next sum
// 4.6551738 just exceeds GRID_MAX - GRID_STEP = 4.6551723, and the strip
// from 4.6551738 to 5 is not drawn.
//
// Seen from the eye at (10, 10, 10) a surface point can only be hidden by
// points with larger x and y, that is by its own cell or by cells visited
// later.  Drawing in this order is what lets the lessons do without a
// depth buffer.
template <typename Visit> void forEachCell(Visit visit)
{
    const float last = GRID_MAX - GRID_STEP;
    for (float x = GRID_MIN; x <= last; x = x + GRID_STEP) {
        for (float y = GRID_MIN; y <= last; y = y + GRID_STEP) {
            const float x1 = x + GRID_STEP;
            const float y1 = y + GRID_STEP;
            visit(x, y, x1, y1);
        }
    }
}

// The unit normal of the surface H at the grid vertex p (p.z = H(p.x,
// p.y)): the normalised sum of the unit normals of the four triangles that
// p forms with its neighbours one step east, north, west and south.
// Writes the result into out and returns it.
Float3& vertexNormal(Float3& out, const Float3& p, HeightFn H);

// The same on a grid whose step is h instead of GRID_STEP.
Float3& vertexNormal(Float3& out, const Float3& p, HeightFn H, float h);

// Opens a 500 x 500 double-buffered window with the given title, draws it
// with display, keeps the camera in step with its size and runs the event
// loop.  argc and argv go to the toolkit, which takes its own options such
// as -geometry and -display.
int runLesson(int& argc, char** argv, const char* title, void (*display)());

// The window part of runLesson, for a lesson that asks for more than
// double buffering (displayMode, e.g. GLUT_DOUBLE | GLUT_DEPTH) and
// registers callbacks of its own before it runs the event loop itself.
// The camera still follows the window's size as in every lesson.
void openLessonWindow(int& argc, char** argv, const char* title, unsigned displayMode,
                      void (*display)());

// The start of every frame: clear to white, choose the shading model and
// light the surface with light 0 and colour material.
void beginFrame(GLenum shadeModel);

#endif
