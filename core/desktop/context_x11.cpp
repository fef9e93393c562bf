// context_x11.cpp - creating the context on an X display.
//
// glXCreateContextAttribsARB answers a context version or profile that
// the display does not have with an X error (GLXBadFBConfig from Mesa),
// and Xlib's default handler ends the program on any error, printing the
// failed request.  While the context is created, this handler passes
// such errors over; freeglut then sees no context and reports that.
#include "glplatform.h"

#include <X11/Xlib.h>

static int (*previousHandler)(Display*, XErrorEvent*) = nullptr;

static int passOver(Display*, XErrorEvent*)
{
    return 0;
}

void beginContextCreation()
{
    previousHandler = XSetErrorHandler(passOver);
}

void endContextCreation()
{
    XSetErrorHandler(previousHandler);
}
