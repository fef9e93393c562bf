// frame_notify.cpp - a tiny library the harness preloads into a lesson
// program to learn, without guessing, when a frame has reached the screen.
//
// It stands in for glutSwapBuffers: it calls the toolkit's own function,
// waits until the X server has processed everything the frame sent, and
// then writes one FrameRecord to the pipe named by LESSON_HARNESS_FRAME_FD.
// The program itself is not changed and draws exactly as it would alone.
//
// It also watches the events the toolkit reads, so that the harness can
// tell the frame that answers its own repaint request from one that an
// earlier event asked for: a window that has just appeared may draw once
// for its first ConfigureNotify and again for an Expose that reached the
// program a moment later.  The harness sends a numbered ClientMessage and
// then an Expose; every frame reports the number of the last request
// whose Expose the program had read before drawing.
//
// Why glutSwapBuffers and not glXSwapBuffers: a GL call tracer such as
// apitrace is preloaded ahead of us and would take glXSwapBuffers first,
// while nothing else claims the toolkit's function.  For the same reason
// the GLX queries below are taken from the GLX library itself rather than
// by plain name, so that a tracer neither sees nor records them.
#include "frame_record.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

using SwapFn = void (*)();
using NextEventFn = int (*)(Display*, XEvent*);
using CurrentDisplayFn = Display* (*)();
using CurrentDrawableFn = GLXDrawable (*)();

// Libraries that define the GLX entry points, most specific first.
constexpr const char* GLX_LIBRARIES[] = {"libGLX.so.0", "libGL.so.1"};

void* glxSymbol(const char* name)
{
    for (const char* library : GLX_LIBRARIES) {
        // RTLD_NOLOAD: only a library the program has loaded already.
        if (void* handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD)) {
            void* symbol = dlsym(handle, name);
            dlclose(handle);
            if (symbol != nullptr) {
                return symbol;
            }
        }
    }
    return nullptr;
}

int frameDescriptor()
{
    const char* text = std::getenv(harness::FRAME_FD_VARIABLE);
    if (text == nullptr) {
        return -1;
    }
    char* end = nullptr;
    const long fd = std::strtol(text, &end, 10);
    return (end != text && *end == '\0' && fd >= 0) ? static_cast<int>(fd) : -1;
}

void writeAll(int fd, const void* data, size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return; // the harness has gone; nothing left to tell
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
}

// The number of the last repaint request read, and of the last one whose
// Expose has been read after it.  The toolkit reads events and draws on
// one thread.
std::uint32_t repaintAsked = 0;
std::uint32_t repaintAnswered = 0;

} // namespace

// The toolkit reads every event through XNextEvent.  The harness's
// ClientMessage is left for it too; it ignores a message it does not know.
extern "C" int XNextEvent(Display* display, XEvent* event)
{
    static const auto realNext = reinterpret_cast<NextEventFn>(dlsym(RTLD_NEXT, "XNextEvent"));
    if (realNext == nullptr) {
        std::abort(); // preloaded into a program without Xlib
    }
    const int result = realNext(display, event);
    if (event->type == ClientMessage && event->xclient.format == 32 &&
        event->xclient.data.l[0] == harness::REPAINT_MESSAGE_MAGIC) {
        repaintAsked = static_cast<std::uint32_t>(event->xclient.data.l[1]);
    } else if (event->type == Expose && event->xexpose.count == 0) {
        // The Expose that follows a request, or a later one: either way a
        // frame drawn from here on is drawn after the request.
        repaintAnswered = repaintAsked;
    }
    return result;
}

extern "C" void glutSwapBuffers()
{
    static const auto realSwap = reinterpret_cast<SwapFn>(dlsym(RTLD_NEXT, "glutSwapBuffers"));
    static const auto currentDisplay =
        reinterpret_cast<CurrentDisplayFn>(glxSymbol("glXGetCurrentDisplay"));
    static const auto currentDrawable =
        reinterpret_cast<CurrentDrawableFn>(glxSymbol("glXGetCurrentDrawable"));
    static const int fd = frameDescriptor();
    static std::uint32_t frames = 0;

    if (realSwap == nullptr) {
        std::abort(); // preloaded into a program that has no toolkit
    }
    realSwap();
    if (fd < 0 || currentDisplay == nullptr || currentDrawable == nullptr) {
        return;
    }

    Display* display = currentDisplay();
    const GLXDrawable drawable = currentDrawable();
    harness::FrameRecord record = {harness::FRAME_RECORD_MAGIC,
                                   ++frames,
                                   static_cast<std::uint32_t>(drawable),
                                   0,
                                   0,
                                   repaintAnswered};
    if (display != nullptr && drawable != 0) {
        // XSync returns once the server has handled the frame's image, so
        // a capture the harness asks for next sees the finished frame.
        XSync(display, False);
        Window root;
        int x, y;
        unsigned int width, height, border, depth;
        if (XGetGeometry(display, drawable, &root, &x, &y, &width, &height, &border, &depth)) {
            record.width = width;
            record.height = height;
        }
    }
    writeAll(fd, &record, sizeof record);
}
