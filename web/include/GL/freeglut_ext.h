// freeglut_ext.h - the freeglut extensions a lesson may call, for the
// browser build (emscripten 3.1.6 ships only freeglut_std.h).  The values
// are freeglut's; web/glut_extras.js implements the functions.
#ifndef VELMOR_WEB_FREEGLUT_EXT_H
#define VELMOR_WEB_FREEGLUT_EXT_H

#include <GL/freeglut_std.h>

#include <stdarg.h>

#define GLUT_ACTION_EXIT 0
#define GLUT_ACTION_GLUTMAINLOOP_RETURNS 1
#define GLUT_ACTION_CONTINUE_EXECUTION 2
#define GLUT_ACTION_ON_WINDOW_CLOSE 0x01F9

#define GLUT_INIT_MAJOR_VERSION 0x0200
#define GLUT_INIT_MINOR_VERSION 0x0201
#define GLUT_CORE_PROFILE 0x0001
#define GLUT_COMPATIBILITY_PROFILE 0x0002

#ifdef __cplusplus
extern "C" {
#endif

// Records the option; a page has no window that the user could close.
void glutSetOption(GLenum option, int value);
// Stops the lesson: no more frames or input, and the page says so.
void glutLeaveMainLoop(void);
// A page has one modern OpenGL, WebGL 2 (OpenGL ES 3.0), which the build
// of a lesson that asks for a core profile context is linked for: the
// version recorded, and reported by glutGet, is that one's, 3.0.
void glutInitContextVersion(int majorVersion, int minorVersion);
void glutInitContextProfile(int profile);
// Never called: a browser that cannot give the context fires an event
// instead, which the page's script turns into a sentence on the page.
void glutInitErrorFunc(void (*callback)(const char* format, va_list arguments));

#ifdef __cplusplus
}
#endif

#endif
