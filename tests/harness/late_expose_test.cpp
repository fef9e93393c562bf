// A window's first appearance may ask for two frames: one for its first
// ConfigureNotify and MapNotify, one for an Expose that the program reads
// a moment later.  A repaint the harness asks for in between must wait for
// the frame drawn for it, not take the second of those; otherwise "nothing
// is drawn after the repaint" fails on a loaded machine for no fault of the
// program.  late_expose.cpp forces the late Expose every time.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

constexpr harness::Milliseconds QUIET(500);

} // namespace

// The frame that answers the repaint is the last one.  (If the program is
// slow enough to read the late Expose together with the repaint's, it
// draws once for both, which is as right.)
TEST(LateFirstExpose, RepaintWaitsForItsOwnFrame)
{
    // Ahead of anything already preloaded (the sanitizer build keeps its
    // driver library there); the harness puts its notifier first.
    const char* preloaded = std::getenv("LD_PRELOAD");
    std::string preload = LATE_EXPOSE_LIBRARY;
    if (preloaded != nullptr && *preloaded != '\0') {
        preload += std::string(":") + preloaded;
    }
    setenv("LD_PRELOAD", preload.c_str(), 1);

    harness::VirtualDisplay display;
    harness::Lesson lesson(display, {VELMOR5_PROGRAM});
    lesson.repaint();
    const unsigned frames = lesson.framesDrawn();
    EXPECT_EQ(lesson.drainFrames(QUIET), frames);
}
