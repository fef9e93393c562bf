// orbit.cpp - the camera of lesson 7, written once for the lessons after
// it.  Lesson 7 itself has the same arithmetic inline, where it is taught.
#include "orbit.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cmath>

static constexpr double PI = 3.14159265358979323846;
static constexpr double RADIANS_PER_DEGREE = PI / 180.0;

// The start, (10, 10, 10): 45 degrees around from the x axis,
// atan(1 / sqrt 2) (about 35.26) degrees up and sqrt(300) away.
static constexpr double START_AZIMUTH = 45.0;
static const double START_ELEVATION = std::atan(1.0 / std::sqrt(2.0)) / RADIANS_PER_DEGREE;
static const double START_DISTANCE = std::sqrt(300.0);

static constexpr double KEY_TURN = 5.0;  // degrees per arrow key
static constexpr double DRAG_TURN = 0.5; // degrees per pixel dragged
static constexpr double ZOOM_STEP = 1.1; // distance factor per key or wheel notch
// Straight above or below the origin the up vector +z points along the
// line of sight, and a look-at matrix has no view to give.
static constexpr double MAX_ELEVATION = 85.0;
// Every point the lessons draw lies within about 9.3 of the origin, so
// from 22 away or nearer all of it stays in front of a far plane at 30
// or more; 8 keeps the eye outside the surface, well clear of it.
static constexpr double MIN_DISTANCE = 8.0;
static constexpr double MAX_DISTANCE = 22.0;

// Each coordinate of the eye is rounded to a multiple of 2^-20, so that
// the trigonometric functions' last-bit errors do not move the start off
// (10, 10, 10); the power of two keeps the division exact.
static constexpr double EYE_GRID = 1048576.0;

// freeglut reports a notch of the wheel as a click of button 3 (away
// from the user) or 4 (towards the user).
static constexpr int WHEEL_UP = 3;
static constexpr int WHEEL_DOWN = 4;

static double azimuth = START_AZIMUTH;
static double elevation = START_ELEVATION;
static double distance = START_DISTANCE;

static bool dragging = false;
static bool dragged = false;
static int dragX = 0;
static int dragY = 0;

static void (*lessonKeys)(unsigned char key) = nullptr;
static void (*lessonReleases)(int x, int y, bool click) = nullptr;

static double snapped(double coordinate)
{
    return std::round(coordinate * EYE_GRID) / EYE_GRID;
}

// The azimuth is kept below 360 degrees in size so that any number of
// turns leaves it exact.
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
    case 'r':
    case 'R':
        azimuth = START_AZIMUTH;
        elevation = START_ELEVATION;
        distance = START_DISTANCE;
        glutPostRedisplay();
        break;
    }
    lessonKeys(key);
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
        if (state == GLUT_UP && dragging && lessonReleases != nullptr) {
            lessonReleases(x, y, !dragged);
        }
        dragging = state == GLUT_DOWN;
        dragged = false;
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
// eye.  The pointer may leave the window while the button is held: the
// turn is still by the pixels moved.
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
    dragged = true;
    turn(-dx * DRAG_TURN, dy * DRAG_TURN);
}

void orbitWithInput(void (*lessonKey)(unsigned char key))
{
    lessonKeys = lessonKey;
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(special);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
}

void orbitReleases(void (*lessonRelease)(int x, int y, bool click))
{
    lessonReleases = lessonRelease;
}

glm::dvec3 orbitEye()
{
    const double a = azimuth * RADIANS_PER_DEGREE;
    const double e = elevation * RADIANS_PER_DEGREE;
    return {snapped(distance * std::cos(e) * std::cos(a)),
            snapped(distance * std::cos(e) * std::sin(a)), snapped(distance * std::sin(e))};
}
