// frame_shim.cpp - an LD_PRELOAD library that drives, times and inspects
// the frames of an unmodified lesson program.
//
// The lessons draw only when the toolkit asks, so on its own a program
// shows one frame and waits.  Loaded with LD_PRELOAD, this library wraps
// glXSwapBuffers (which glutSwapBuffers calls at the end of every display)
// and after each swap:
//   - finishes the driver's work (glFinish) and takes the time, so a frame's
//     time includes rasterisation and not just the queuing of commands;
//   - optionally captures the window with XGetImage, the call xwd makes;
//   - samples the resident set size;
//   - asks for the next frame with glutPostRedisplay, found with dlsym;
//   - after the requested number of frames writes a report and ends the
//     process.
// It also puts a timer around the display routine the program registers
// with glutDisplayFunc, to see when the first frame starts.  The glFinish,
// the capture, the timer and the redisplay request are the harness's
// additions; the program's own call sequence is untouched.
//
// It also wraps malloc, calloc, realloc, the aligned allocators and every
// form of operator new, and counts the calls whose return address lies in
// the main executable's code.  The plot core is a static library, so its
// code is part of the executable too; Mesa, freeglut, Xlib and the C++
// runtime live in shared objects and are not counted.  The executable's
// code ranges are taken once from dl_iterate_phdr, so the check inside the
// allocator is two comparisons per range and takes no lock (dladdr would
// take the loader's lock, which is not safe inside malloc).
//
// Settings, all from the environment:
//   VELMOR_SHIM_FRAMES    frames to draw before reporting (required)
//   VELMOR_SHIM_REPORT    file for the key=value report (default stderr)
//   VELMOR_SHIM_START_NS  CLOCK_MONOTONIC time in ns at which the launcher
//                         started the process; the first frame is timed
//                         from it (default: this library's constructor)
//   VELMOR_SHIM_RSS_FRAME frame whose RSS is the soak baseline (default 100);
//                         the heap in use is also sampled from there on
//   VELMOR_SHIM_CAPTURE   path prefix: frame 1 and the last frame are saved
//                         as <prefix>-first.ppm and <prefix>-last.ppm
//   VELMOR_SHIM_WARMUP    frames left out of the steady-state statistics
//                         (default 10)
#include "ximage.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <dlfcn.h>
#include <errno.h>
#include <link.h>
#include <malloc.h>
#include <new>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

extern "C" {
// glibc's own allocator entry points: calling them directly avoids the
// dlsym(RTLD_NEXT, "malloc") bootstrap, during which dlsym itself allocates.
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

constexpr int MAX_CODE_RANGES = 8;
constexpr int MAX_RECORDED_CALLERS = 16;
constexpr long DEFAULT_RSS_FRAME = 100;
constexpr long DEFAULT_WARMUP = 10;
// The heap in use is sampled over this many frames at the soak's start and
// end and the smallest value kept: the rasteriser holds large scene
// buffers for part of some frames, and the minimum sees past them.
constexpr long HEAP_WINDOW = 100;
constexpr double NS_PER_MS = 1e6;
constexpr long NS_PER_S = 1000000000L;

struct CodeRange {
    uintptr_t begin, end;
};

// The executable's code, filled in by the constructor.  Before that only
// the loader and the C library run, so nothing of ours can be missed.
CodeRange codeRanges[MAX_CODE_RANGES];
int codeRangeCount = 0;
uintptr_t executableBase = 0;

// Allocation counts, split at the end of the first frame's swap.  The
// rasteriser's threads allocate too, so every update is atomic.
unsigned long allocsBeforeFirstSwap = 0;
unsigned long allocsAfterFirstSwap = 0;
bool firstSwapDone = false;
uintptr_t recordedCallers[MAX_RECORDED_CALLERS];
unsigned recordedCallerCount = 0;

// Frame bookkeeping, touched only by the thread that swaps.
long framesWanted = 0;
long rssFrame = DEFAULT_RSS_FRAME;
long warmupFrames = DEFAULT_WARMUP;
long framesDone = 0;
long long startNs = 0;
long long constructedNs = 0;  // this library's constructor ran
long long firstDisplayNs = 0; // the program's display routine was first called
long long lastSwapNs = 0;
double* frameMs = nullptr; // frameMs[i]: time of frame i + 1
long rssFirstKib = 0, rssBaseKib = 0, rssLastKib = 0;
size_t heapBaseMin = SIZE_MAX, heapLastMin = SIZE_MAX;
const char* capturePrefix = nullptr;
const char* reportPath = nullptr;
char captureError[4400] = "";
char glRenderer[256] = "";
char glVersion[256] = "";

using SwapFn = void (*)(Display*, GLXDrawable);
using PostRedisplayFn = void (*)();
using DisplayFn = void (*)();
using DisplayFuncFn = void (*)(DisplayFn);
SwapFn realSwap = nullptr;
PostRedisplayFn postRedisplay = nullptr;
DisplayFn programDisplay = nullptr;

long long nowNs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * NS_PER_S + t.tv_nsec;
}

long envLong(const char* name, long fallback)
{
    const char* text = getenv(name);
    return text != nullptr && *text != '\0' ? strtol(text, nullptr, 10) : fallback;
}

bool inExecutable(uintptr_t address)
{
    for (int i = 0; i < codeRangeCount; ++i) {
        if (address >= codeRanges[i].begin && address < codeRanges[i].end) {
            return true;
        }
    }
    return false;
}

// Called at the top of every allocator wrapper with its return address.
void noteAllocation(void* caller)
{
    const uintptr_t address = reinterpret_cast<uintptr_t>(caller);
    if (!inExecutable(address)) {
        return;
    }
    if (__atomic_load_n(&firstSwapDone, __ATOMIC_RELAXED)) {
        __atomic_fetch_add(&allocsAfterFirstSwap, 1, __ATOMIC_RELAXED);
    } else {
        __atomic_fetch_add(&allocsBeforeFirstSwap, 1, __ATOMIC_RELAXED);
    }
    const unsigned slot = __atomic_fetch_add(&recordedCallerCount, 1, __ATOMIC_RELAXED);
    if (slot < MAX_RECORDED_CALLERS) {
        recordedCallers[slot] = address;
    }
}

// The first object dl_iterate_phdr reports is the main program.
int findExecutable(dl_phdr_info* info, size_t, void*)
{
    executableBase = info->dlpi_addr;
    for (int i = 0; i < info->dlpi_phnum && codeRangeCount < MAX_CODE_RANGES; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type == PT_LOAD && (header.p_flags & PF_X) != 0) {
            const uintptr_t begin = info->dlpi_addr + header.p_vaddr;
            codeRanges[codeRangeCount++] = CodeRange{begin, begin + header.p_memsz};
        }
    }
    return 1; // stop after the first object
}

long residentKib()
{
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm == nullptr) {
        return -1;
    }
    long sizePages = 0, residentPages = 0;
    const int read = fscanf(statm, "%ld %ld", &sizePages, &residentPages);
    fclose(statm);
    return read == 2 ? residentPages * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// Bytes handed out by malloc and not yet freed, in the heap and in
// separately mapped blocks: a block can move between the two when it is
// freed and allocated again, but not out of this sum.
size_t allocatedBytes()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

int captureErrorCode = 0;
int recordXError(Display*, XErrorEvent* event)
{
    captureErrorCode = event->error_code;
    return 0;
}

// Saves the window as a binary PPM, reading it the way xwd does.
void captureWindow(Display* display, GLXDrawable drawable, const char* suffix)
{
    char path[4096];
    snprintf(path, sizeof path, "%s-%s.ppm", capturePrefix, suffix);

    XSync(display, False);
    captureErrorCode = 0;
    XErrorHandler previous = XSetErrorHandler(recordXError);
    Window root;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    XImage* image = nullptr;
    if (XGetGeometry(display, drawable, &root, &x, &y, &width, &height, &border, &depth)) {
        image = XGetImage(display, drawable, 0, 0, width, height, AllPlanes, ZPixmap);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    if (image == nullptr) {
        snprintf(captureError, sizeof captureError,
                 "XGetImage failed (X error %d); the window must lie wholly on the screen, "
                 "e.g. -geometry +0+0",
                 captureErrorCode);
        return;
    }
    try {
        harness::imageOf(image).writePpm(path);
    } catch (const std::exception& error) {
        snprintf(captureError, sizeof captureError, "%s", error.what());
    }
    XDestroyImage(image);
}

void writeReport()
{
    FILE* out = reportPath != nullptr ? fopen(reportPath, "w") : stderr;
    if (out == nullptr) {
        out = stderr;
    }
    fprintf(out, "frames=%ld\n", framesDone);
    fprintf(out, "allocs_before_first_swap=%lu\n", allocsBeforeFirstSwap);
    fprintf(out, "allocs_after_first_swap=%lu\n", allocsAfterFirstSwap);
    const unsigned recorded =
        recordedCallerCount < MAX_RECORDED_CALLERS ? recordedCallerCount : MAX_RECORDED_CALLERS;
    for (unsigned i = 0; i < recorded; ++i) {
        bool seen = false;
        for (unsigned j = 0; j < i; ++j) {
            seen = seen || recordedCallers[j] == recordedCallers[i];
        }
        if (seen) {
            continue;
        }
        Dl_info info{};
        dladdr(reinterpret_cast<void*>(recordedCallers[i]), &info);
        fprintf(out, "alloc_caller=%s+0x%lx\n", info.dli_sname ? info.dli_sname : "?",
                static_cast<unsigned long>(recordedCallers[i] - executableBase));
    }
    fprintf(out, "first_frame_ms=%.3f\n", frameMs[0]);
    // Where the first frame's time went: loading the program and its
    // libraries, then the toolkit's start-up (display connection, window,
    // GL context), then drawing the first frame.
    fprintf(out, "loaded_ms=%.3f\n", static_cast<double>(constructedNs - startNs) / NS_PER_MS);
    fprintf(out, "first_display_ms=%.3f\n",
            static_cast<double>(firstDisplayNs - startNs) / NS_PER_MS);

    // Steady state: the frames after the warm-up, which JIT-compiles the
    // rasteriser's shaders and fills the caches.
    const long first = warmupFrames < framesDone - 1 ? warmupFrames : framesDone - 1;
    const long count = framesDone - 1 - first;
    if (count > 0) {
        double* steady = frameMs + 1 + first;
        double sum = 0;
        for (long i = 0; i < count; ++i) {
            sum += steady[i];
        }
        std::sort(steady, steady + count);
        fprintf(out, "steady_frames=%ld\n", count);
        fprintf(out, "frame_ms_mean=%.4f\n", sum / static_cast<double>(count));
        fprintf(out, "frame_ms_median=%.4f\n", steady[count / 2]);
        fprintf(out, "frame_ms_min=%.4f\n", steady[0]);
        fprintf(out, "frame_ms_max=%.4f\n", steady[count - 1]);
    }
    fprintf(out, "rss_kib_first=%ld\n", rssFirstKib);
    fprintf(out, "rss_base_frame=%ld\n", rssFrame);
    fprintf(out, "rss_kib_base=%ld\n", rssBaseKib);
    fprintf(out, "rss_kib_last=%ld\n", rssLastKib);
    if (heapBaseMin != SIZE_MAX && framesWanted - HEAP_WINDOW >= rssFrame + HEAP_WINDOW) {
        fprintf(out, "heap_window=%ld\n", HEAP_WINDOW);
        fprintf(out, "heap_kib_base_min=%zu\n", heapBaseMin / 1024);
        fprintf(out, "heap_kib_last_min=%zu\n", heapLastMin / 1024);
    }
    fprintf(out, "gl_renderer=%s\n", glRenderer);
    fprintf(out, "gl_version=%s\n", glVersion);
    if (captureError[0] != '\0') {
        fprintf(out, "capture_error=%s\n", captureError);
    }
    fprintf(out, "complete=1\n");
    fflush(out);
    if (out != stderr) {
        fclose(out);
    }
}

void copyGlString(GLenum name, char* into, size_t size)
{
    const GLubyte* text = glGetString(name);
    snprintf(into, size, "%s", text != nullptr ? reinterpret_cast<const char*>(text) : "?");
}

__attribute__((constructor)) void startShim()
{
    constructedNs = nowNs();
    dl_iterate_phdr(findExecutable, nullptr);
    framesWanted = envLong("VELMOR_SHIM_FRAMES", 0);
    rssFrame = envLong("VELMOR_SHIM_RSS_FRAME", DEFAULT_RSS_FRAME);
    warmupFrames = envLong("VELMOR_SHIM_WARMUP", DEFAULT_WARMUP);
    startNs = envLong("VELMOR_SHIM_START_NS", 0);
    if (startNs == 0) {
        startNs = constructedNs;
    }
    capturePrefix = getenv("VELMOR_SHIM_CAPTURE");
    reportPath = getenv("VELMOR_SHIM_REPORT");
    if (framesWanted < 1) {
        fprintf(stderr, "frame_shim: set VELMOR_SHIM_FRAMES to the number of frames to draw.\n");
        _exit(2);
    }
    frameMs =
        static_cast<double*>(__libc_calloc(static_cast<size_t>(framesWanted), sizeof(double)));
    realSwap = reinterpret_cast<SwapFn>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
}

} // namespace

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    realSwap(display, drawable);
    glFinish();
    const long long now = nowNs();
    frameMs[framesDone] =
        static_cast<double>(now - (framesDone == 0 ? startNs : lastSwapNs)) / NS_PER_MS;
    lastSwapNs = now;
    ++framesDone;

    if (framesDone == 1) {
        __atomic_store_n(&firstSwapDone, true, __ATOMIC_RELAXED);
        rssFirstKib = residentKib();
        copyGlString(GL_RENDERER, glRenderer, sizeof glRenderer);
        copyGlString(GL_VERSION, glVersion, sizeof glVersion);
        postRedisplay = reinterpret_cast<PostRedisplayFn>(dlsym(RTLD_DEFAULT, "glutPostRedisplay"));
        if (capturePrefix != nullptr) {
            captureWindow(display, drawable, "first");
        }
    }
    if (framesDone == rssFrame) {
        rssBaseKib = residentKib();
    }
    if (framesDone >= rssFrame && framesDone < rssFrame + HEAP_WINDOW) {
        const size_t inUse = allocatedBytes();
        heapBaseMin = inUse < heapBaseMin ? inUse : heapBaseMin;
    }
    if (framesDone > framesWanted - HEAP_WINDOW) {
        const size_t inUse = allocatedBytes();
        heapLastMin = inUse < heapLastMin ? inUse : heapLastMin;
    }
    if (framesDone == framesWanted) {
        rssLastKib = residentKib();
        if (capturePrefix != nullptr) {
            captureWindow(display, drawable, "last");
        }
        writeReport();
        _exit(0);
    }
    // The time spent here after the swap counts towards the next frame;
    // it is two comparisons and a flag in the toolkit.
    if (postRedisplay != nullptr) {
        postRedisplay();
    }
}

namespace {

// Registered with the toolkit in place of the program's display routine,
// only to note when the first frame starts.
void timedDisplay()
{
    if (firstDisplayNs == 0) {
        firstDisplayNs = nowNs();
    }
    programDisplay();
}

} // namespace

extern "C" void glutDisplayFunc(DisplayFn display)
{
    static const DisplayFuncFn realDisplayFunc =
        reinterpret_cast<DisplayFuncFn>(dlsym(RTLD_NEXT, "glutDisplayFunc"));
    programDisplay = display;
    realDisplayFunc(display != nullptr ? timedDisplay : nullptr);
}

// The allocator wrappers.  Each records its own return address, which is
// the instruction after the call in whoever asked for the memory.
extern "C" void* malloc(size_t size)
{
    noteAllocation(__builtin_return_address(0));
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size)
{
    noteAllocation(__builtin_return_address(0));
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* pointer, size_t size)
{
    noteAllocation(__builtin_return_address(0));
    return __libc_realloc(pointer, size);
}

extern "C" void* memalign(size_t alignment, size_t size)
{
    noteAllocation(__builtin_return_address(0));
    return __libc_memalign(alignment, size);
}

extern "C" void* aligned_alloc(size_t alignment, size_t size)
{
    noteAllocation(__builtin_return_address(0));
    return __libc_memalign(alignment, size);
}

extern "C" int posix_memalign(void** result, size_t alignment, size_t size)
{
    noteAllocation(__builtin_return_address(0));
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) {
        return ENOMEM;
    }
    *result = pointer;
    return 0;
}

namespace {

// An alignment of 0 is malloc's own.
void* newOrThrow(size_t size, size_t alignment = 0)
{
    const size_t bytes = size != 0 ? size : 1;
    void* pointer = alignment == 0 ? __libc_malloc(bytes) : __libc_memalign(alignment, bytes);
    if (pointer == nullptr) {
        throw std::bad_alloc();
    }
    return pointer;
}

} // namespace

// Memory from these is released by the runtime's operator delete, which
// calls free: the same glibc heap, so the pairs stay matched.
void* operator new(size_t size)
{
    noteAllocation(__builtin_return_address(0));
    return newOrThrow(size);
}

void* operator new[](size_t size)
{
    noteAllocation(__builtin_return_address(0));
    return newOrThrow(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    noteAllocation(__builtin_return_address(0));
    return __libc_malloc(size != 0 ? size : 1);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    noteAllocation(__builtin_return_address(0));
    return __libc_malloc(size != 0 ? size : 1);
}

void* operator new(size_t size, std::align_val_t alignment)
{
    noteAllocation(__builtin_return_address(0));
    return newOrThrow(size, static_cast<size_t>(alignment));
}

void* operator new[](size_t size, std::align_val_t alignment)
{
    noteAllocation(__builtin_return_address(0));
    return newOrThrow(size, static_cast<size_t>(alignment));
}
