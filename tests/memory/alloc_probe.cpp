// alloc_probe.cpp - a lesson-shaped program that allocates on purpose, so
// the memory tests can show the frame shim's allocation counter sees
// allocations made in the executable's own frames.  Built only for that
// test; it is not a lesson.
//
// Each frame makes exactly six allocations (memory_tests.cpp counts on
// that number), one through each route a careless display routine might
// take: malloc, calloc, realloc of a null pointer, new, new[] and a
// std::vector growing, and frees them again.  With ALLOC_PROBE_LEAK_BYTES=n in the environment it
// also leaks a block of n bytes in every frame, for the soak test to
// catch.
#include "plotcore.h"

#include <cstdlib>
#include <cstring>
#include <vector>

static std::size_t leakBytes = 0;

// Every block escapes through this pointer, so the compiler may not
// remove an allocation together with its release.
static void* volatile escape;

static void display()
{
    beginFrame(GL_FLAT);

    void* a = std::malloc(16);
    escape = a;
    void* b = std::calloc(4, 8);
    escape = b;
    void* c = std::realloc(nullptr, 24);
    escape = c;
    int* d = new int(1);
    escape = d;
    int* e = new int[8];
    escape = e;
    std::vector<float> f;
    f.push_back(1.0f);
    escape = f.data();

    if (leakBytes > 0) {
        void* leaked = std::malloc(leakBytes);
        std::memset(leaked, 1, leakBytes);
        escape = leaked;
    }

    std::free(a);
    std::free(b);
    std::free(c);
    delete d;
    delete[] e;

    glutSwapBuffers();
}

int main(int argc, char** argv)
{
    if (const char* leak = std::getenv("ALLOC_PROBE_LEAK_BYTES")) {
        leakBytes = std::strtoul(leak, nullptr, 10);
    }
    return runLesson(argc, argv, "allocation probe", display);
}
