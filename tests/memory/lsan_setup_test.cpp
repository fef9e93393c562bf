// lsan_setup_test.cpp - the sanitizer build's leak checking of programs
// that use OpenGL, with the settings scripts/test --sanitize runs under:
// Mesa's own leaks are suppressed (lsan.supp, with keep_drivers.cpp
// preloaded so the driver can be named), and a leak of ours is not.
//
// The program is alloc_probe, built with the sanitizers like the lessons.
// It is closed the way a window manager closes a window, so freeglut
// closes the display and exits, and LeakSanitizer checks at exit.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Two repaints after the first frame: with a leak of one block per frame,
// two blocks are lost (the last one stays reachable through the probe's
// escape pointer).
constexpr int REPAINTS = 2;
constexpr const char* PROBE_LEAK_BYTES = "64";

harness::ExitStatus runAndClose(harness::VirtualDisplay& display, bool leak, std::string& output)
{
    // The harness puts its own preload first and keeps what it finds here.
    setenv("LD_PRELOAD", KEEP_DRIVERS_LIBRARY, 1);
    harness::LaunchOptions options(ALLOC_PROBE_PROGRAM);
    options.environment = {{"LSAN_OPTIONS", std::string("suppressions=") + LSAN_SUPPRESSIONS +
                                                ":print_suppressions=0"}};
    if (leak) {
        options.environment.emplace_back("ALLOC_PROBE_LEAK_BYTES", PROBE_LEAK_BYTES);
    }
    harness::Lesson probe(display, options);
    for (int i = 0; i < REPAINTS; ++i) {
        probe.repaint();
    }
    const harness::ExitStatus status = probe.close();
    output = probe.output();
    return status;
}

TEST(LeakCheckUnderXvfb, SuppressesOnlyMesasLeaksWhenAProgramClosesItsWindow)
{
    harness::VirtualDisplay display;
    std::string output;
    const harness::ExitStatus status = runAndClose(display, false, output);
    EXPECT_TRUE(status.exited && status.code == 0) << status.describe() << "; output:\n" << output;
    EXPECT_EQ(output, "");
}

TEST(LeakCheckUnderXvfb, StillReportsALeakInOurDisplayRoutine)
{
    harness::VirtualDisplay display;
    std::string output;
    const harness::ExitStatus status = runAndClose(display, true, output);
    EXPECT_FALSE(status.exited && status.code == 0) << status.describe();
    EXPECT_NE(output.find("ERROR: LeakSanitizer"), std::string::npos) << output;
    // The leaked blocks are reported with our function as their caller;
    // freeglut, which calls it, is on the same stack, which is why
    // lsan.supp must never name freeglut.
    EXPECT_NE(output.find("in display"), std::string::npos) << output;
    const std::string lost = std::to_string(REPAINTS * std::atoi(PROBE_LEAK_BYTES)) +
                             " byte(s) in " + std::to_string(REPAINTS) + " object(s)";
    EXPECT_NE(output.find(lost), std::string::npos) << output;
}

} // namespace
