// keep_drivers.cpp - a library to preload, together with the suppressions
// in lsan.supp, into programs that use OpenGL under the sanitizers, so
// that LeakSanitizer can tell Mesa's leaks from ours (lsan_setup_test.cpp
// runs a program that way).
//
// Mesa's GLX library loads its rendering driver (.../dri/swrast_dri.so,
// with LLVM behind it) with dlopen, and unloads it with dlclose when the
// X display is closed: freeglut closes it on the way out after a window
// is closed, and so do tests that make a GL context of their own.  The
// driver loses a few blocks that way.  Once it is unloaded LeakSanitizer,
// which checks at exit, can only say those blocks came from an "<unknown
// module>", which no suppression can name.
//
// This library wraps dlclose and leaves DRI drivers loaded; every other
// library is closed as usual.  The leaks then name swrast_dri.so, and
// lsan.supp suppresses exactly that module.  Nothing else in the process
// changes.
//
// It is built without the sanitizers (it must not bring their runtime
// into processes that have none) and does not define malloc, so ASan's
// allocator still serves every process it is preloaded into; only ASan's
// check that its runtime is the first library has to be switched off
// (ASAN_OPTIONS=verify_asan_link_order=0).
#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace {

// Where Mesa's loader finds its drivers, e.g. /usr/lib/x86_64-linux-gnu/dri/.
constexpr const char* DRIVER_SUFFIX = "_dri.so";

bool isDriver(void* handle)
{
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) {
        return false;
    }
    const size_t length = std::strlen(map->l_name);
    const size_t suffix = std::strlen(DRIVER_SUFFIX);
    return length >= suffix && std::strcmp(map->l_name + length - suffix, DRIVER_SUFFIX) == 0;
}

} // namespace

extern "C" int dlclose(void* handle)
{
    using DlcloseFn = int (*)(void*);
    static const DlcloseFn realDlclose = reinterpret_cast<DlcloseFn>(dlsym(RTLD_NEXT, "dlclose"));
    if (isDriver(handle)) {
        return 0; // stays loaded until the process ends
    }
    return realDlclose(handle);
}
