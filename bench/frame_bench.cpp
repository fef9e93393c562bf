// frame_bench.cpp - whole frames of the real lesson programs: each one is
// run in its 500 x 500 window on a private Xvfb with the frame shim
// preloaded, which redraws it over and over and times every frame from
// one finished buffer swap (swap, then glFinish) to the next.  Reported
// per lesson: the median time of a frame in steady state, and the time
// from the start of the process to its first finished frame.
//
//   frame_bench [--frames N] [--runs R] [--cold]
//
// --frames  frames per run (default 300; the first 10 are warm-up)
// --runs    runs per lesson; the table shows the median run (default 5)
// --cold    give every run an empty shader cache, so the first frame
//           includes compiling the rasteriser's shaders
//
// The program binaries are the ones the project ships; the only calls
// added to them are the shim's glFinish, its redraw request and its timer.
#include "shim_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

struct Lesson {
    const char* name;
    double targetFrameMs; // what a frame may take with llvmpipe on 2 cores
    // For lessons 9 and 10: what they are told to plot, and the name of
    // that case.
    std::vector<std::string> arguments = {};
    const char* label = nullptr;
};

// Lesson 7 draws lesson 5's scene with a depth test: it should cost what
// lesson 5 does.  Lesson 8 draws lesson 7's picture in two draws of
// vertices already with the driver, instead of 1,568 small primitives
// with state changes between them: a tenth of lesson 7's target.
const Lesson LESSONS[] = {
    {"velmor3", 2.0},
    {"velmor4", 3.0},
    {"velmor5", 16.0},
    {"velmor6", 16.0},
#ifdef VELMOR7_BUILT
    {"velmor7", 16.0},
#endif
#ifdef VELMOR8_BUILT
    {"velmor8", 1.6},
#endif
#ifdef VELMOR9_BUILT
    {"velmor9", 16.0, {"sin(x) * cos(y)"}, "velmor9/28"},
    {"velmor9", 16.0, {"--cells", "200", "sin(x) * cos(y)"}, "velmor9/200"},
#endif
#ifdef VELMOR10_BUILT
    {"velmor10", 16.0, {"sin(x) * cos(y)"}, "velmor10/28"},
    {"velmor10", 16.0, {"--cells", "200", "sin(x) * cos(y)"}, "velmor10/200"},
#endif
};
constexpr double TARGET_FIRST_FRAME_MS = 120.0;

constexpr long DEFAULT_FRAMES = 300;
constexpr int DEFAULT_RUNS = 5;
// A run of 300 frames of the slowest lesson takes about 4 s.
constexpr int RUN_TIMEOUT_S = 300;

double median(std::vector<double> values)
{
    if (values.empty()) {
        return std::nan("");
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int usage(const char* message)
{
    std::fprintf(stderr, "frame_bench: %s\nusage: frame_bench [--frames N] [--runs R] [--cold]\n",
                 message);
    return 2;
}

bool parsePositive(const char* text, long& value)
{
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value > 0;
}

} // namespace

int main(int argc, char** argv)
{
    long frames = DEFAULT_FRAMES;
    long runs = DEFAULT_RUNS;
    bool cold = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--cold") {
            cold = true;
        } else if (option == "--frames" || option == "--runs") {
            long& value = option == "--frames" ? frames : runs;
            if (i + 1 >= argc || !parsePositive(argv[++i], value)) {
                return usage((option + " needs a positive whole number").c_str());
            }
        } else {
            return usage(("unknown option " + option).c_str());
        }
    }

    // One Xvfb for every run; it cannot start without the package xvfb,
    // and the error says so.
    std::unique_ptr<harness::VirtualDisplay> display;
    std::string work;
    try {
        display = std::make_unique<harness::VirtualDisplay>(SHIM_SCREEN_WIDTH, SHIM_SCREEN_HEIGHT);
        work = harness::makeTemporaryDirectory("velmor-frame-bench");
    } catch (const harness::HarnessError& error) {
        std::fprintf(stderr, "frame_bench: %s\n", error.what());
        return 1;
    }

    std::printf("%-11s %9s %8s %8s %8s %8s %8s %8s\n", "program", "ms/frame", "min", "max",
                "loaded", "display", "first", "target");
    std::string renderer;
    int missed = 0;
    for (const Lesson& lesson : LESSONS) {
        std::vector<double> medians, minima, maxima, firsts, loaded, displays;
        for (long run = 0; run < runs; ++run) {
            ShimOptions options;
            options.program = std::string(VELMOR_PROGRAM_DIR) + "/" + lesson.name;
            options.arguments = lesson.arguments;
            options.frames = frames;
            options.workDirectory = work;
            options.timeoutSeconds = RUN_TIMEOUT_S;
            if (cold) {
                const std::string cache = work + "/cache-" + lesson.name + std::to_string(run);
                mkdir(cache.c_str(), 0755);
                options.environment = {"MESA_SHADER_CACHE_DIR=" + cache};
            }
            const ShimRun result = runUnderShim(*display, options);
            if (!result.error.empty()) {
                std::fprintf(stderr, "frame_bench: %s\n", result.error.c_str());
                return 1;
            }
            if (result.has("frame_ms_median")) {
                medians.push_back(result.number("frame_ms_median"));
                minima.push_back(result.number("frame_ms_min"));
                maxima.push_back(result.number("frame_ms_max"));
            }
            firsts.push_back(result.number("first_frame_ms"));
            loaded.push_back(result.number("loaded_ms"));
            displays.push_back(result.number("first_display_ms"));
            renderer = result.text("gl_renderer") + ", OpenGL " + result.text("gl_version");
        }
        const double frameMs = median(medians);
        const double firstMs = median(firsts);
        const bool met = frameMs <= lesson.targetFrameMs && firstMs <= TARGET_FIRST_FRAME_MS;
        missed += met ? 0 : 1;
        std::printf("%-11s %9.3f %8.3f %8.3f %8.1f %8.1f %8.1f %4.0f/%3.0f %s\n",
                    lesson.label != nullptr ? lesson.label : lesson.name, frameMs, median(minima),
                    median(maxima), median(loaded), median(displays), firstMs, lesson.targetFrameMs,
                    TARGET_FIRST_FRAME_MS, met ? "met" : "MISSED");
    }
    std::printf("\nms/frame: median over frames 11-%ld, median of %ld runs; min and max "
                "likewise.\nloaded, display, first: ms from the start of the process until "
                "its libraries were\nloaded, its display routine was first called and its first "
                "frame was finished%s.\nrenderer: %s\n",
                frames, runs, cold ? ", each run with an empty shader cache" : "",
                renderer.c_str());
    // A benchmark reports; it does not fail on a slow machine.
    if (missed > 0) {
        std::printf("%d of %zu lessons missed a target.\n", missed, std::size(LESSONS));
    }
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return 0;
}
