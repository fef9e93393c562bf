// late_expose.cpp - preloaded into a lesson by late_expose_test.cpp.
//
// On a loaded machine the toolkit now and then reads its new window's
// MapNotify in one batch of events and the first Expose in the next, and
// so draws the first picture twice.  This library makes that happen every
// time: right after the first MapNotify, XPending reports an empty queue
// once, which ends the toolkit's batch there.
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <cstdlib>

namespace {

bool endBatchNow = false;

template <typename Fn> Fn next(const char* name)
{
    const auto fn = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
    if (fn == nullptr) {
        std::abort();
    }
    return fn;
}

} // namespace

extern "C" int XNextEvent(Display* display, XEvent* event)
{
    static const auto realNext = next<int (*)(Display*, XEvent*)>("XNextEvent");
    static bool mapped = false;
    const int result = realNext(display, event);
    if (event->type == MapNotify && !mapped) {
        mapped = true;
        endBatchNow = true;
    }
    return result;
}

extern "C" int XPending(Display* display)
{
    static const auto realPending = next<int (*)(Display*)>("XPending");
    if (endBatchNow) {
        endBatchNow = false;
        return 0;
    }
    return realPending(display);
}
