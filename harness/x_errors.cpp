// x_errors.cpp - X requests whose errors are failures of the test, not
// the end of the process.
#include "internal.h"

#include <X11/Xlib.h>

namespace harness {
namespace {

// Errors are only recorded here and looked at after XSync.
int lastXError = 0;

int recordXError(Display*, XErrorEvent* event)
{
    lastXError = event->error_code;
    return 0;
}

} // namespace

void recordXErrors()
{
    XSetErrorHandler(recordXError);
}

void checkedX(Display* display, const char* what, const std::function<void()>& request)
{
    lastXError = 0;
    request();
    XSync(display, False);
    if (lastXError != 0) {
        char text[256];
        XGetErrorText(display, lastXError, text, sizeof text);
        throw HarnessError(std::string("X request failed: ") + what + ": " + text);
    }
}

} // namespace harness
