// shim_run.h - runs a program under the frame shim (frame_shim.cpp) on a
// private X server (the harness's VirtualDisplay, harness/) and reads
// back the shim's report.  Used by the memory tests and by the
// whole-frame benchmark.
#ifndef SHIM_RUN_H
#define SHIM_RUN_H

#include "harness.h"

#include <map>
#include <string>
#include <vector>

// The screen for runs under the shim: larger than any window of ours, so
// a window at +0+0 lies wholly on it, which XGetImage needs.
constexpr int SHIM_SCREEN_WIDTH = 1024;
constexpr int SHIM_SCREEN_HEIGHT = 768;

struct ShimOptions {
    std::string program;                  // path of the executable
    std::vector<std::string> arguments;   // after the program name
    long frames = 1;                      // VELMOR_SHIM_FRAMES
    long rssFrame = 100;                  // VELMOR_SHIM_RSS_FRAME
    std::string capturePrefix;            // VELMOR_SHIM_CAPTURE, empty for none
    std::vector<std::string> environment; // extra NAME=value settings
    std::string workDirectory = ".";      // where the report and the log go
    int timeoutSeconds = 60;              // the run is killed after this
};

struct ShimRun {
    std::string error;                         // empty when a complete report came back
    std::map<std::string, std::string> report; // key=value lines; repeated keys joined by ", "
    std::string output;                        // what the program printed

    bool has(const std::string& key) const
    {
        return report.count(key) != 0;
    }
    std::string text(const std::string& key) const;
    double number(const std::string& key) const; // NaN when missing
};

// Starts the program with the shim preloaded and the launch time in its
// environment, waits for it with a timeout, and parses the report.
ShimRun runUnderShim(const harness::VirtualDisplay& display, const ShimOptions& options);

// The same on an Xvfb of the run's own (SHIM_SCREEN), started for it and
// stopped after; a display that cannot start (Xvfb not installed, ...)
// comes back in ShimRun::error like any other failure.
ShimRun runUnderShimOnOwnDisplay(const ShimOptions& options);

#endif
