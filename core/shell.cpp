// shell.cpp - everything around a lesson's drawing: the window and event
// loop, the fixed camera, and the prologue of every frame.
#include "plotcore.h"
#include "plotcore_internal.h"

// The point the camera looks at and the x and y of its up vector.  They
// stay zero: the eye at (10, 10, 10) looks at the origin with +z up.  They
// are variables rather than literals so that a learner can move the
// camera by changing one line.
static float centerX = 0.0f;
static float centerY = 0.0f;
static float centerZ = 0.0f;
static float upX = 0.0f;
static float upY = 0.0f;

static constexpr int WINDOW_SIZE = 500;
static constexpr double FIELD_OF_VIEW = 60.0; // vertical, in degrees
static constexpr float NEAR_PLANE = 0.1f;     // GLU gets it widened
static constexpr double FAR_PLANE = 30.0;     // the whole domain fits

void reshape(int width, int height)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(10.0, 10.0, 10.0, centerX, centerY, centerZ, upX, upY, 1.0);

    // A minimised window can report a zero width or height.  Counting it
    // as one pixel keeps the projection finite: a zero height would make
    // the aspect ratio infinite, a zero width would make it 0, which GLU
    // divides by.  Nothing is visible at that size anyway.
    const float w = static_cast<float>(width > 0 ? width : 1);
    const float h = static_cast<float>(height > 0 ? height : 1);
    const float aspect = w / h;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(FIELD_OF_VIEW, aspect, NEAR_PLANE, FAR_PLANE);
    glViewport(0, 0, width, height);
    // GL_PROJECTION stays current.  Lessons 3 to 6 touch no matrix;
    // lesson 7 selects the model-view matrix itself to move its camera.
}

void beginFrame(GLenum shadeModel)
{
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    // Lessons 3 to 6 have no depth buffer, so for them the depth bit
    // clears nothing and what is seen is decided by the order the cells
    // are drawn in.  Lesson 7 asks for one, and this clears it.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glShadeModel(shadeModel);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    // The model-view matrix holds the view transform now, so the light
    // direction is fixed in the world, not to the camera.
    glLightfv(GL_LIGHT0, GL_POSITION, LIGHT_POSITION);
    // Let glColor choose the material, so a lesson colours its surface
    // (and its alpha) with one call.
    glEnable(GL_COLOR_MATERIAL);
}

void openLessonWindow(int& argc, char** argv, const char* title, unsigned displayMode,
                      void (*display)())
{
    glutInit(&argc, argv);
    glutInitDisplayMode(displayMode);
    glutInitWindowSize(WINDOW_SIZE, WINDOW_SIZE);
    glutCreateWindow(title);
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
}

int runLesson(int& argc, char** argv, const char* title, void (*display)())
{
    // Double buffered and nothing else: no depth buffer is needed.
    openLessonWindow(argc, argv, title, GLUT_DOUBLE, display);
    glutMainLoop();
    return 0;
}
