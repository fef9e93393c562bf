// modern.h - what every lesson drawn with buffers and shaders shares.
//
// Lessons 3 to 7 draw with the fixed-function calls of OpenGL 1.x; a
// modern lesson asks for an OpenGL 3.3 core profile context, keeps its
// vertices in buffers and draws them with shaders.  This header gives it
// the platform's OpenGL (glplatform.h, one per platform on the include
// path), the window with the context checked, and the shader program
// built from two sources.  The buffers, the attributes, the uniforms and
// the shaders themselves stay in the lesson.
#ifndef MODERN_H
#define MODERN_H

// The platform's OpenGL header must come before the plot core's GLUT.
#include "glplatform.h"

#include "plotcore.h"

// Opens the lesson's 500 x 500 window with the context the lesson asked
// for after glutInit (glutInitContextVersion and glutInitContextProfile),
// and finds its functions.  Where the display cannot give that context,
// says in one sentence what the lesson needs and what the display
// offers, and ends the program with status 1.  The lesson's display and
// reshape are registered; reshape keeps the viewport and the projection.
void openModernLessonWindow(const char* title, unsigned displayMode, void (*display)(),
                            void (*reshape)(int width, int height));

// Compiles the two shaders (each after the platform's SHADER_PROLOGUE)
// and links them into a program, which it returns.  If either does not
// compile, or the two do not link, prints which one failed with the
// driver's log and ends the program with status 1: a lesson with a broken
// shader would draw nothing, so there is nothing to go on with.
GLuint buildShaderProgram(const char* vertexSource, const char* fragmentSource);

// The same, for shaders that may be wrong while the lesson runs: returns
// 0 instead of ending the program, and shaderProgramLog() then says which
// shader failed, with the driver's log after it.
GLuint tryShaderProgram(const char* vertexSource, const char* fragmentSource);
const char* shaderProgramLog();

// For a page around the lesson where the learner edits its shaders while
// it runs (the web edition's shader editor).  The lesson hands over its
// own two sources, for the editor to start from, and how it takes a built
// program into use (the uniforms it finds and sets).  A program without
// such a page ignores all this.
using UseShaderProgram = void (*)(GLuint program);
void acceptNewShaders(const char* vertexSource, const char* fragmentSource, UseShaderProgram use);

// What such a page does with the learner's two sources: builds them, and
// once they link deletes the program in use, takes the new one into use,
// gives it the projection again (a uniform belongs to its program, so the
// lesson's reshape runs once more) and asks for a frame: the same camera
// draws with the new shaders.  Returns false, the last program drawing
// on, when they do not build; shaderProgramLog() then says why.
bool replaceShaderProgram(const char* vertexSource, const char* fragmentSource,
                          UseShaderProgram use);

#endif
