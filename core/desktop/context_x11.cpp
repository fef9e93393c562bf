// context_x11.cpp - creating the context on an X display.
//
// glXCreateContextAttribsARB answers a context version or profile that
// the display does not have with an X error (GLXBadFBConfig from Mesa),
// and Xlib's default handler ends the program on any error, printing the
// failed request.  While the context is created, this handler passes
// such errors over; freeglut then sees no context and reports that.
//
// Before the context exists, it also sets how the C library keeps freed
// memory, for the driver that the context brings.
#include "glplatform.h"

#include <X11/Xlib.h>
#include <malloc.h>

// Mesa's software rasteriser (llvmpipe) frees some 14 MiB at the end of
// every frame of lesson 9 at 200 x 200 cells and allocates it again in
// the next.  By default glibc hands freed memory above 128 KiB at the top
// of the heap back to the kernel, and the next frame faults every page of
// it in again: thousands of page faults, a third of the frame.  Keeping up
// to 64 MiB of it in the process makes the next frame reuse it.
static constexpr int KEPT_FREE_BYTES = 64 * 1024 * 1024;

static int (*previousHandler)(Display*, XErrorEvent*) = nullptr;

static int passOver(Display*, XErrorEvent*)
{
    return 0;
}

void beginContextCreation()
{
    mallopt(M_TRIM_THRESHOLD, KEPT_FREE_BYTES);
    previousHandler = XSetErrorHandler(passOver);
}

void endContextCreation()
{
    XSetErrorHandler(previousHandler);
}
