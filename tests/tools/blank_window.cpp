// blank_window.cpp - a stand-in for a lesson that opens its window but
// never draws into it, for the test that scripts/snapshot then gives up
// with a message instead of saving an empty picture or waiting for ever.
#include <GL/glut.h>

// The title of a real lesson, so that the snapshot finds the window.
static const char* const TITLE = "4. Smooth shaded graph";
static constexpr int WINDOW_SIZE = 500;

// Draws nothing and never swaps: the window keeps whatever the X server
// put there.
static void display() {}

int main(int argc, char** argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE);
    glutInitWindowSize(WINDOW_SIZE, WINDOW_SIZE);
    glutCreateWindow(TITLE);
    glutDisplayFunc(display);
    glutMainLoop();
    return 0;
}
