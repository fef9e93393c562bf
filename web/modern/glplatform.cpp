// glplatform.cpp - the browser's WebGL 2, for the lessons drawn with
// buffers and shaders.
#include "glplatform.h"

#include <emscripten/html5.h>

bool loadGLFunctions(const char*& why)
{
    if (emscripten_webgl_get_current_context() == 0) {
        why = "this browser offers no WebGL 2";
        return false;
    }
    return true;
}

void beginContextCreation() {}

void endContextCreation() {}
