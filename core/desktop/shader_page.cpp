// shader_page.cpp - the desktop's side of acceptNewShaders: a lesson in a
// window of its own has no page around it to edit its shaders, so there
// is nothing to keep.  (web/shader_page.cpp is the browser's.)
#include "modern.h"

void acceptNewShaders(const char*, const char*, UseShaderProgram) {}
