// trace.h - records the OpenGL calls of a real lesson process with
// apitrace and reads the recording back, call by call, with every float
// exact.
//
//     std::vector<harness::TraceCall> calls = harness::recordTrace(
//         display, VELMOR3_PROGRAM, [](harness::Lesson& lesson) { lesson.repaint(); });
//
// Why `apitrace pickle` and not `apitrace dump`: dump prints floats with
// about 7 significant digits (-4.6551723 comes out as -4.655172), which
// cannot tell neighbouring floats apart.  pickle writes every recorded
// value as a Python pickle, floats as 8-byte doubles; a float argument
// widened to double is exact, and Python's unpickler passes each on in a
// form that reads back to the bit (trace_calls.py), so the values below are
// the very bits the program passed.  Enumerants arrive as plain numbers (GL_QUADS is 7).
#ifndef LESSON_HARNESS_TRACE_H
#define LESSON_HARNESS_TRACE_H

#include "harness.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace harness {

// One value of a recorded call: an argument, an element of an array
// argument, or a result.
struct TraceValue {
    enum class Kind { None, Bool, Int, Real, Text, List, Object };

    Kind kind = Kind::None;
    bool boolean = false;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string text;              // Text; for Object the class name
    std::vector<TraceValue> items; // List; for Object its arguments

    // These throw HarnessError when the value is of another kind.
    std::int64_t asInt() const;
    double asDouble() const;
    // A Real that is exactly a float (every float argument is).
    float asFloat() const;
    const std::vector<TraceValue>& asList() const;

    // Roughly as apitrace dump would print it, but with floats in full.
    std::string describe() const;
};

struct TraceCall {
    unsigned number = 0; // apitrace's call number
    std::string name;    // "glVertex3f", "glXSwapBuffers", ...
    std::vector<std::pair<std::string, TraceValue>> arguments;
    TraceValue result;
    // apitrace's call flags: CALL_FAKE marks a call the tracer made up
    // itself (to record state, e.g. a glViewport after the first
    // glXMakeCurrent); other bits describe the call (8: it draws).
    int flags = 0;
    static constexpr int CALL_FAKE = 1;
    bool madeUp() const
    {
        return (flags & CALL_FAKE) != 0;
    }

    // The argument of that name; throws HarnessError if there is none.
    const TraceValue& argument(const std::string& argumentName) const;
    // The argument at that position; throws if there are fewer.
    const TraceValue& argument(std::size_t index) const;
    // "123 glVertex3f(x = -5, y = -5, z = 0.000363)", floats in full.
    std::string describe() const;
};

// Runs `program` under `apitrace trace` on `display`, lets `drive` work
// the running lesson, closes its window unless `drive` has ended it (the
// tracer writes its file as the program ends) and returns every call
// recorded.  The trace file is removed however this ends.
std::vector<TraceCall> recordTrace(VirtualDisplay& display, const std::string& program,
                                   const std::function<void(Lesson&)>& drive);

// Reads a trace written by apitrace.  Throws HarnessError if apitrace or
// python3 is not installed (naming the Debian package) or fails.
std::vector<TraceCall> readTrace(const std::string& traceFile,
                                 Milliseconds timeout = Milliseconds(120000));

} // namespace harness

#endif
