// shim_run.cpp - one run of a program under the frame shim with a
// timeout, on the harness's Xvfb.  Every wait here is bounded, and every
// failure comes back as one sentence naming the cause and the fix.
#include "shim_run.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include <unistd.h>

namespace {

// Where CMake put the shim.
constexpr const char* FRAME_SHIM = VELMOR_FRAME_SHIM_PATH;

// "NAME=value" as (NAME, value).
std::pair<std::string, std::string> setting(const std::string& text)
{
    const size_t equals = text.find('=');
    return {text.substr(0, equals), equals == std::string::npos ? "" : text.substr(equals + 1)};
}

} // namespace

std::string ShimRun::text(const std::string& key) const
{
    const auto found = report.find(key);
    return found != report.end() ? found->second : "";
}

double ShimRun::number(const std::string& key) const
{
    const auto found = report.find(key);
    return found != report.end() ? std::strtod(found->second.c_str(), nullptr) : std::nan("");
}

ShimRun runUnderShim(const harness::VirtualDisplay& display, const ShimOptions& options)
{
    ShimRun run;
    if (access(options.program.c_str(), X_OK) != 0) {
        run.error = options.program + " is not built; build the project first.";
        return run;
    }
    if (access(FRAME_SHIM, R_OK) != 0) {
        run.error = std::string(FRAME_SHIM) + " is not built; build the project first.";
        return run;
    }

    std::string base = options.program.substr(options.program.find_last_of('/') + 1);
    const std::string reportPath = options.workDirectory + "/" + base + ".report";
    const std::string logPath = options.workDirectory + "/" + base + ".log";
    std::remove(reportPath.c_str());

    std::vector<std::string> argv = {options.program};
    argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());
    std::vector<std::pair<std::string, std::string>> settings = {
        {"DISPLAY", display.name()},
        {"LD_PRELOAD", FRAME_SHIM},
        {"VELMOR_SHIM_FRAMES", std::to_string(options.frames)},
        {"VELMOR_SHIM_RSS_FRAME", std::to_string(options.rssFrame)},
        {"VELMOR_SHIM_REPORT", reportPath},
    };
    for (const std::string& text : options.environment) {
        settings.push_back(setting(text));
    }
    if (!options.capturePrefix.empty()) {
        settings.emplace_back("VELMOR_SHIM_CAPTURE", options.capturePrefix);
    }
    // The launch time goes last and is taken as late as possible, so the
    // first frame is timed from the fork of the program, not from here.
    // The shim reads CLOCK_MONOTONIC, which is the steady clock's on Linux.
    const auto launched = harness::Clock::now().time_since_epoch();
    settings.emplace_back("VELMOR_SHIM_START_NS",
                          std::to_string(std::chrono::nanoseconds(launched).count()));
    // An inherited setting of the shim's (a capture, a warm-up) would
    // change the run.
    const std::vector<std::string> environment =
        harness::environmentWith(settings, {"VELMOR_SHIM_"});
    harness::Finished finished;
    try {
        finished = harness::runToEnd(argv, environment,
                                     std::chrono::seconds(options.timeoutSeconds), logPath);
    } catch (const harness::HarnessError& error) {
        run.error = error.what();
        return run;
    }
    run.output = finished.output;
    if (finished.hung) {
        run.error = base + " did not finish " + std::to_string(options.frames) + " frames within " +
                    std::to_string(options.timeoutSeconds) + " s.";
        return run;
    }

    std::istringstream lines(harness::readFile(reportPath));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string& value = run.report[line.substr(0, equals)];
        value += (value.empty() ? "" : ", ") + line.substr(equals + 1);
    }
    if (!finished.status.exited || finished.status.code != 0 || !run.has("complete")) {
        run.error = base + " ended with " + finished.status.describe() +
                    " without a complete report; its output: " + run.output;
    }
    return run;
}

ShimRun runUnderShimOnOwnDisplay(const ShimOptions& options)
{
    try {
        const harness::VirtualDisplay display(SHIM_SCREEN_WIDTH, SHIM_SCREEN_HEIGHT);
        return runUnderShim(display, options);
    } catch (const harness::HarnessError& error) {
        ShimRun run;
        run.error = error.what();
        return run;
    }
}
