// context_windows.cpp - creating the context on Windows.
//
// wglCreateContextAttribsARB answers a context version or profile that
// the driver does not have by returning no context, which freeglut
// reports; nothing ends the program on the way, so there is nothing to
// set aside around the creation.
#include "glplatform.h"

void beginContextCreation() {}

void endContextCreation() {}
