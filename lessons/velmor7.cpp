// Lesson 7: the depth buffer and a moving camera.
//
// Lesson 5's lifted surface over its grid, now seen from wherever the
// learner turns the camera.  Drawing order alone hid the right things only
// from the side the eye was on; from the other side the far cells, drawn
// last, would paint over the near ones.  So the window gets a depth buffer
// and the depth test decides what is seen, whatever the order.
//
//   Right / Left, Up / Down   turn the camera 5 degrees around / up and down
//   drag with the left button turn the camera; the surface follows the hand
//   + (or =) and -, wheel     move in and out
//   d                         depth test off and on again
//   r                         back to the start
//   q, Esc                    quit
#include "plotcore.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cmath>

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
// line of sight, and gluLookAt has no view to give.
static constexpr double MAX_ELEVATION = 85.0;
// Farther than 22 the peak, seen from 85 degrees below, passes the far plane (30); 8 is a margin:
// the near plane (0.1) first cuts into the surface at about 7.65, from 85 degrees above.
static constexpr double MIN_DISTANCE = 8.0;
static constexpr double MAX_DISTANCE = 22.0;

// The trigonometric functions are off by an ulp or two, which would put
// the eye of the start a few 1e-15 away from (10, 10, 10).  Rounding each
// coordinate to a multiple of 2^-20 (about a millionth of a unit, far less
// than a pixel) puts it there exactly; the power of two keeps the division
// exact.
static constexpr double EYE_GRID = 1048576.0;

// The wheel: freeglut reports each notch as a click of button 3 (away from
// the user) or 4 (towards the user).
static constexpr int WHEEL_UP = 3;
static constexpr int WHEEL_DOWN = 4;
static constexpr unsigned char ESCAPE = 27;

// The camera, in degrees and units, and the switch of the depth test.
static double azimuth = START_AZIMUTH;
static double elevation = START_ELEVATION;
static double distance = START_DISTANCE;
static bool depthTest = true;

// Where the left button was pressed or last moved to, while it is held.
static bool dragging = false;
static int dragX = 0;
static int dragY = 0;

static double snapped(double coordinate)
{
    return std::round(coordinate * EYE_GRID) / EYE_GRID;
}

static void display()
{
    // The camera's view, loaded before beginFrame positions the light, so
    // the light stays fixed in the world while the camera moves.  The
    // reshape callback leaves the projection matrix current.
    const double a = azimuth * RADIANS_PER_DEGREE;
    const double e = elevation * RADIANS_PER_DEGREE;
    const double eyeX = snapped(distance * std::cos(e) * std::cos(a));
    const double eyeY = snapped(distance * std::cos(e) * std::sin(a));
    const double eyeZ = snapped(distance * std::sin(e));
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eyeX, eyeY, eyeZ, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0);

    beginFrame(GL_SMOOTH);

    // A fragment is kept only if it is nearer than what the depth buffer
    // holds at its pixel, so the nearest surface wins in any order.
    if (depthTest) {
        glEnable(GL_DEPTH_TEST);
    } else {
        glDisable(GL_DEPTH_TEST);
    }

    forEachCell([](float x, float y, float x1, float y1) {
        const Float3 c00 = {x, y, HEIGHT(x, y)};
        const Float3 c10 = {x1, y, HEIGHT(x1, y)};
        const Float3 c11 = {x1, y1, HEIGHT(x1, y1)};
        const Float3 c01 = {x, y1, HEIGHT(x, y1)};

        // Normals per vertex, not per quad.  Each depends only on the
        // vertex, so the four cells around a vertex agree on it exactly.
        Float3 n00, n10, n11, n01;
        vertexNormal(n00, c00, HEIGHT);
        vertexNormal(n10, c10, HEIGHT);
        vertexNormal(n11, c11, HEIGHT);
        vertexNormal(n01, c01, HEIGHT);

        // The surface of this cell.  The outline below switches the
        // polygon mode and colour, so both are set again for every cell.
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glColor3f(0.0f, 1.0f, 0.0f);
        // A normal holds for every vertex that follows it, so each
        // glNormal3f comes just before its own glVertex3f.
        glBegin(GL_QUADS);
            glNormal3f(n00.x, n00.y, n00.z);
            glVertex3f(c00.x, c00.y, c00.z);
            glNormal3f(n10.x, n10.y, n10.z);
            glVertex3f(c10.x, c10.y, c10.z);
            glNormal3f(n11.x, n11.y, n11.z);
            glVertex3f(c11.x, c11.y, c11.z);
            glNormal3f(n01.x, n01.y, n01.z);
            glVertex3f(c01.x, c01.y, c01.z);
        glEnd();

        // The same cell's outline in the plane z = 0.  With the depth
        // test the surface hides it from every side; without it, the
        // order of lesson 5 hides it only from the start, and from the
        // far side the outlines of later cells, now farther away, are
        // drawn across the surface.  No normal is given: black stays
        // black whatever the lighting.
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glColor3f(0.0f, 0.0f, 0.0f);
        glBegin(GL_QUADS);
            glVertex3f(x, y, 0.0f);
            glVertex3f(x1, y, 0.0f);
            glVertex3f(x1, y1, 0.0f);
            glVertex3f(x, y1, 0.0f);
        glEnd();
    });

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

int main(int argc, char** argv)
{
    // A depth buffer beside the two colour buffers.
    openLessonWindow(argc, argv, "7. Depth buffer and a moving camera", GLUT_DOUBLE | GLUT_DEPTH,
                     display);
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
