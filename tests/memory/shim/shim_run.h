// shim_run.h - runs a program under the frame shim (frame_shim.cpp) on a
// private X server and reads back the shim's report.  Used by the memory
// tests and by the whole-frame benchmark.
#ifndef SHIM_RUN_H
#define SHIM_RUN_H

#include <map>
#include <string>
#include <vector>

// An Xvfb of our own, so that runs never share a display with each other
// or with the user's desktop.  Stopped when the object goes away.
class PrivateDisplay {
  public:
    PrivateDisplay();
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    // Empty when the server is up; otherwise one sentence saying why not.
    const std::string& error() const
    {
        return error_;
    }
    // The DISPLAY value, e.g. ":3".
    const std::string& name() const
    {
        return name_;
    }

  private:
    int pid_ = -1;
    std::string name_;
    std::string error_;
};

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
ShimRun runUnderShim(const PrivateDisplay& display, const ShimOptions& options);

// Where CMake put the shim; defined by the build.
const char* frameShimPath();

#endif
