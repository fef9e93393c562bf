// freeglut_ext.h - the freeglut extensions a lesson may call, for the
// browser build (emscripten 3.1.6 ships only freeglut_std.h).  The values
// are freeglut's; web/glut_extras.js implements the functions.
#ifndef VELMOR_WEB_FREEGLUT_EXT_H
#define VELMOR_WEB_FREEGLUT_EXT_H

#include <GL/freeglut_std.h>

#define GLUT_ACTION_EXIT 0
#define GLUT_ACTION_GLUTMAINLOOP_RETURNS 1
#define GLUT_ACTION_CONTINUE_EXECUTION 2
#define GLUT_ACTION_ON_WINDOW_CLOSE 0x01F9

#ifdef __cplusplus
extern "C" {
#endif

// Records the option; a page has no window that the user could close.
void glutSetOption(GLenum option, int value);
// Stops the lesson: no more frames or input, and the page says so.
void glutLeaveMainLoop(void);

#ifdef __cplusplus
}
#endif

#endif
