// memory_tests.cpp - how the real lesson programs use memory while they
// draw, measured with the frame shim (shim/frame_shim.cpp) preloaded into
// the unmodified programs on a private Xvfb.
//
//  - No heap allocation by our code in any frame: the shim counts the
//    allocator calls whose caller lies in the executable, which holds the
//    lesson and the statically linked plot core.  A probe program that
//    allocates on purpose shows that the counter sees such calls.
//  - A soak of 2000 redraws: no growth of the heap in use or of the
//    resident set beyond the driver's own noise, and the last picture
//    identical to the first.
#include "harness.h"
#include "shim_run.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <sys/stat.h>
#include <vector>

namespace {

// Enough frames for any allocation made "only now and then" (a lazily
// grown buffer, a cache) to show up, and quick: 200 frames of the slowest
// lesson take about two seconds.
constexpr long ALLOCATION_FRAMES = 200;
constexpr int ALLOCATION_TIMEOUT_S = 120;

constexpr long PROBE_FRAMES = 20;
// What alloc_probe.cpp allocates in every frame.
constexpr unsigned long PROBE_ALLOCATIONS_PER_FRAME = 6;

constexpr long SOAK_FRAMES = 2000;
constexpr long SOAK_BASE_FRAME = 100;
// The shim keeps the smallest heap in use over this many frames at the
// start and at the end of the soak.
constexpr long HEAP_WINDOW = 100;
// What the probe leaks in every frame for the soak to see.
constexpr int PROBE_LEAK_BYTES = 1024;
// velmor5 and velmor6 take about 13 ms a frame with the driver's
// rasteriser threads off (see the soak below): under 30 s alone, and
// twice that with another test on the second core.
constexpr int SOAK_TIMEOUT_S = 300;

// Growth allowed between the soak's start (frames 100-199) and end (the
// last 100 frames).  The heap in use (malloc's, heap and mapped blocks) is
// the sharp measure: measured growth is under 40 KiB for every lesson (the
// driver's bookkeeping), and the two minima are 1801 frames apart, so
// 1 MiB is crossed by a leak of about 580 bytes per frame.  The resident
// set also grows while the heap in use stays flat, by up to 8 MiB in
// velmor5 and velmor6: the C library's heap grows around fragments of
// free space as the driver allocates and frees its per-frame blocks.  16
// MiB is twice that; it is there for memory that does not come from
// malloc (mappings the driver or Xlib make), which would have to leak
// less than 9 KiB per frame to stay under it.
constexpr double SOAK_HEAP_GROWTH_LIMIT_KIB = 1024;
constexpr double SOAK_RSS_GROWTH_LIMIT_KIB = 16 * 1024;

// Every lesson paints its surface over far more of the window than this;
// a blank or black picture does not.
constexpr double MIN_DRAWN_SHARE = 0.10;

std::string outputDirectory(const std::string& test)
{
    const std::string base = "memory-out";
    mkdir(base.c_str(), 0755);
    const std::string directory = base + "/" + test;
    mkdir(directory.c_str(), 0755);
    return directory;
}

double nonWhiteShare(const harness::Image& picture)
{
    const harness::Image white(picture.width(), picture.height(), {255, 255, 255});
    return picture.empty() ? 0.0
                           : static_cast<double>(harness::countDifferentPixels(picture, white)) /
                                 (static_cast<double>(picture.width()) * picture.height());
}

// A run of `frames` frames of the program, its report and log kept in
// `directory`.
ShimOptions framesOf(const char* program, long frames, const std::string& directory,
                     int timeoutSeconds)
{
    ShimOptions options;
    options.program = program;
    // The window must lie wholly on the screen for XGetImage.
    options.arguments = {"-geometry", "+0+0"};
    options.frames = frames;
    options.workDirectory = directory;
    options.timeoutSeconds = timeoutSeconds;
    return options;
}

struct Soak {
    ShimRun run;
    std::string directory;
    double heapGrowthKib = 0;
    double rssGrowthKib = 0;

    std::string heapText() const
    {
        return "heap in use, KiB: " + run.text("heap_kib_base_min") + " at frames 100-199, " +
               run.text("heap_kib_last_min") + " in the last 100 frames";
    }
    std::string rssText() const
    {
        return "resident set, KiB: " + run.text("rss_kib_base") + " after frame 100, " +
               run.text("rss_kib_last") + " after frame 2000";
    }
};

Soak runSoak(const lessons::Built& program, std::vector<std::string> environment)
{
    Soak soak;
    soak.directory = outputDirectory(std::string("soak-") + program.name);
    ShimOptions options = framesOf(program.program, SOAK_FRAMES, soak.directory, SOAK_TIMEOUT_S);
    options.rssFrame = SOAK_BASE_FRAME;
    options.capturePrefix = soak.directory + "/frame";
    // Rasterise in the drawing thread.  With the driver's worker threads the
    // number of rasteriser scenes it keeps (about 10 MiB each) depends on
    // how the threads happen to race, so the heap in use jumps by tens of
    // MiB at random frames; single-threaded, it is steady to a few KiB.
    options.environment = std::move(environment);
    options.environment.push_back("LP_NUM_THREADS=0");
    soak.run = runUnderShimOnOwnDisplay(options);
    soak.heapGrowthKib =
        soak.run.number("heap_kib_last_min") - soak.run.number("heap_kib_base_min");
    soak.rssGrowthKib = soak.run.number("rss_kib_last") - soak.run.number("rss_kib_base");
    return soak;
}

TEST(AllocationCounter, SeesEveryAllocationAProgramMakesInItsFrames)
{
    const ShimRun run = runUnderShimOnOwnDisplay(framesOf(
        ALLOC_PROBE_PROGRAM, PROBE_FRAMES, outputDirectory("probe"), ALLOCATION_TIMEOUT_S));
    ASSERT_EQ(run.error, "");
    // The first frame is drawn before the first swap; the rest after it.
    EXPECT_EQ(run.number("allocs_before_first_swap"), PROBE_ALLOCATIONS_PER_FRAME);
    EXPECT_EQ(run.number("allocs_after_first_swap"),
              PROBE_ALLOCATIONS_PER_FRAME * (PROBE_FRAMES - 1));
    EXPECT_NE(run.text("alloc_caller"), "");
}

class LessonMemory : public ::testing::TestWithParam<lessons::Built> {};

TEST_P(LessonMemory, MakesNoHeapAllocationWhileDrawing)
{
    const lessons::Built& lesson = GetParam();
    const ShimRun run = runUnderShimOnOwnDisplay(
        framesOf(lesson.program, ALLOCATION_FRAMES,
                 outputDirectory(std::string("alloc-") + lesson.name), ALLOCATION_TIMEOUT_S));
    ASSERT_EQ(run.error, "");
    EXPECT_EQ(run.number("frames"), ALLOCATION_FRAMES);
    // Start-up and the first frame, then frames 2 to 200.  The callers are
    // offsets into the executable, for addr2line.  A lesson that plots the
    // learner's function (it needs "expression") reads it and the grid's
    // size at start-up and sizes its vertices to them, so only its frames
    // must not allocate.
    if (std::string(lesson.needs).find(" expression ") == std::string::npos) {
        EXPECT_EQ(run.number("allocs_before_first_swap"), 0) << run.text("alloc_caller");
    }
    EXPECT_EQ(run.number("allocs_after_first_swap"), 0) << run.text("alloc_caller");
}

TEST_P(LessonMemory, Soak2000RedrawsWithoutGrowthAndWithTheSamePicture)
{
    const lessons::Built& lesson = GetParam();
    const Soak soak = runSoak(lesson, {});
    ASSERT_EQ(soak.run.error, "");
    ASSERT_EQ(soak.run.number("frames"), SOAK_FRAMES);
    ASSERT_EQ(soak.run.text("capture_error"), "");

    EXPECT_LE(soak.heapGrowthKib, SOAK_HEAP_GROWTH_LIMIT_KIB) << soak.heapText();
    EXPECT_LE(soak.rssGrowthKib, SOAK_RSS_GROWTH_LIMIT_KIB) << soak.rssText();

    const harness::Image first = harness::readPpm(soak.directory + "/frame-first.ppm");
    const harness::Image last = harness::readPpm(soak.directory + "/frame-last.ppm");
    ASSERT_FALSE(first.empty()) << "no picture of frame 1 in " << soak.directory;
    ASSERT_FALSE(last.empty()) << "no picture of frame 2000 in " << soak.directory;
    EXPECT_GT(nonWhiteShare(first), MIN_DRAWN_SHARE) << "frame 1 shows no surface";
    // The comparer also fails on pictures of different sizes.
    EXPECT_EQ(harness::countDifferentPixels(first, last), 0u)
        << "pixels that differ between frame 1 and frame 2000; pictures in " << soak.directory;
}

// The soak's heap measure is sharp enough to see a small leak.  The probe
// draws an empty frame, so its 2000 frames take a fraction of a second.
TEST(SoakMeasure, SeesALeakOfOneKibibytePerFrame)
{
    const lessons::Built probe = {"alloc_probe", ALLOC_PROBE_PROGRAM, "", " "};
    const Soak soak =
        runSoak(probe, {"ALLOC_PROBE_LEAK_BYTES=" + std::to_string(PROBE_LEAK_BYTES)});
    ASSERT_EQ(soak.run.error, "");
    // The two minima are taken at frames 100 and 1901: 1801 leaked blocks.
    const double leakedKib =
        (SOAK_FRAMES - SOAK_BASE_FRAME - HEAP_WINDOW + 1) * PROBE_LEAK_BYTES / 1024.0;
    EXPECT_GE(soak.heapGrowthKib, leakedKib) << soak.heapText();
    EXPECT_GT(soak.heapGrowthKib, SOAK_HEAP_GROWTH_LIMIT_KIB) << soak.heapText();
}

// Every lesson this build makes, from the registry (lessons_built.h).
INSTANTIATE_TEST_SUITE_P(Lessons, LessonMemory, ::testing::ValuesIn(lessons::BUILT),
                         ::testing::PrintToStringParamName());

} // namespace
