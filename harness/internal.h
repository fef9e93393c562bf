// internal.h - what the harness's own rooms share and its users do not
// see: the X error check (x_errors.cpp) and the process plumbing
// (process.cpp) that the display and the lessons (lesson.cpp) are built on.
#ifndef LESSON_HARNESS_INTERNAL_H
#define LESSON_HARNESS_INTERNAL_H

#include "harness.h"

#include <functional>
#include <string>

namespace harness {

// How often the loops that cannot block on a descriptor look again.
constexpr Milliseconds POLL_INTERVAL(10);

// Xlib's default error handler ends the process; this one only records
// the error, for checkedX.  Installed before the harness opens a display.
void recordXErrors();
// Runs request and XSync; throws if the server answered with an error.
void checkedX(_XDisplay* display, const char* what, const std::function<void()>& request);

Milliseconds remaining(Clock::time_point deadline);
// The end of a program's output, short enough for an error message.
std::string tail(const std::string& text);
// A new empty file for a process's output; its path.
std::string makeLogFile(const std::string& prefix);
// The variable's value, or empty.
std::string environmentValue(const char* name);
ExitStatus decodeStatus(int status);
// Orphaned grandchildren (a wrapper's child that outlives the wrapper)
// become this process's children, so that they can be waited for.
void becomeSubreaper();

} // namespace harness

#endif
