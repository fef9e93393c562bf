// glplatform.h - the OpenGL of the desktop, for the lessons drawn with
// buffers and shaders.
//
// Every platform has its own copy of this header, found on the include
// path: this one for Linux and Windows, another in web/ for the browser.
// It names the header that declares OpenGL 3.3, the first line of every
// shader, and how the functions beyond OpenGL 1.1 are found.
#ifndef GLPLATFORM_H
#define GLPLATFORM_H

// GLEW declares every OpenGL function and must come before any other
// OpenGL header; freeglut follows it.
#include <GL/glew.h>

#include <GL/freeglut.h>

// Put in front of each shader's source: the shading language of OpenGL
// 3.3's core profile.  The #line makes the driver's messages count the
// lines of the lesson's source, not of this prologue too.
constexpr const char* SHADER_PROLOGUE = "#version 330 core\n#line 1\n";

// Finds the OpenGL functions of the current context.  Windows' and
// Linux's OpenGL libraries export OpenGL 1.1 or little more by name; the
// rest must be asked for at run time.  Returns false, with the reason in
// why, when they cannot be found.
bool loadGLFunctions(const char*& why);

// Around the creation of the window and its context.  A display that
// cannot give the context asked for may refuse it with an error of the
// windowing system, which would end the program with a message about a
// protocol request; between these two calls such an error is passed
// over, so that freeglut reports the failure and the lesson can say what
// it needs instead.
void beginContextCreation();
void endContextCreation();

#endif
