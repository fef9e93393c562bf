// glplatform.h - the OpenGL of the browser, for the lessons drawn with
// buffers and shaders.
//
// The browser's copy of core/desktop/glplatform.h, found first on the
// include path of the web build.  The browser's modern OpenGL is WebGL 2,
// which is OpenGL ES 3.0: its header is GLES3's, its shading language
// GLSL ES 3.00, and its functions need no loader.
#ifndef GLPLATFORM_H
#define GLPLATFORM_H

#include <GLES3/gl3.h>

#include <GL/freeglut.h>

// Put in front of each shader's source.  GLSL ES has no default precision
// for floats in a fragment shader; highp is what the desktop's shaders
// compute with, so the two draw the same picture.
constexpr const char* SHADER_PROLOGUE = "#version 300 es\nprecision highp float;\n";

// Checks that the page has its WebGL 2 context; there is nothing to load.
bool loadGLFunctions(const char*& why);

// Nothing to do around the window's creation in a page: a browser that
// cannot give WebGL 2 says so with an event that the page's script turns
// into a sentence on the page.
void beginContextCreation();
void endContextCreation();

#endif
