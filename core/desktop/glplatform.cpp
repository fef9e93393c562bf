// glplatform.cpp - finding OpenGL's functions on the desktop, with GLEW.
#include "glplatform.h"

bool loadGLFunctions(const char*& why)
{
    // GLEW 2.2 looks for the functions of a core profile context only
    // when asked to, and then leaves behind the GL_INVALID_ENUM of its
    // own probe for the extension string, which the core profile no
    // longer has.  Clearing it leaves the lesson's first error its own.
    glewExperimental = GL_TRUE;
    const GLenum result = glewInit();
    glGetError();
    if (result != GLEW_OK) {
        why = reinterpret_cast<const char*>(glewGetErrorString(result));
        return false;
    }
    return true;
}
