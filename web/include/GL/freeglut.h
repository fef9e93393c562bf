// freeglut.h - the browser build's stand-in for freeglut's header of the
// same name, which emscripten 3.1.6 does not ship: its GLUT plus the
// freeglut extensions that web/glut_extras.js supplies.
#ifndef VELMOR_WEB_FREEGLUT_H
#define VELMOR_WEB_FREEGLUT_H

#include <GL/freeglut_std.h>
#include <GL/freeglut_ext.h>

#endif
