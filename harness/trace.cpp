// trace.cpp - apitrace recordings, read through `apitrace pickle` and
// Python's own unpickler (trace_calls.py, whose header describes the plain
// form it passes on).
#include "trace.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <limits>
#include <sstream>
#include <unistd.h>

#if !defined(LESSON_HARNESS_TRACE_CALLS) || !defined(LESSON_HARNESS_PYTHON)
#error "CMake names trace_calls.py and python3 in LESSON_HARNESS_TRACE_CALLS and _PYTHON"
#endif

namespace harness {
namespace {

constexpr const char* APITRACE = "apitrace";
constexpr const char* APITRACE_PACKAGE = "apitrace";

// Fields of one pickled call: (number, name, arguments, result, flags).
constexpr std::size_t CALL_FIELDS = 5;

// One value of trace_calls.py's output, from `at` on.
TraceValue readValue(const std::string& text, std::size_t& at)
{
    const auto fail = [&](const std::string& what) {
        return HarnessError("cannot read the calls of the trace at byte " + std::to_string(at) +
                            ": " + what);
    };
    // The digits up to `end`, as a number.
    const auto field = [&](char end) {
        const std::size_t stop = text.find(end, at);
        if (stop == std::string::npos || stop == at) {
            throw fail("a number that does not end");
        }
        const std::string digits = text.substr(at, stop - at);
        at = stop + 1;
        return digits;
    };
    const auto whole = [&](char end) {
        const std::string digits = field(end);
        char* stop = nullptr;
        errno = 0;
        const long long value = std::strtoll(digits.c_str(), &stop, 10);
        if (*stop != '\0' || errno != 0) {
            throw fail("'" + digits + "' is not a 64-bit integer");
        }
        return value;
    };
    if (at >= text.size()) {
        throw fail("it ends in the middle of a value");
    }
    TraceValue v;
    const char tag = text[at++];
    switch (tag) {
    case 'N':
        break;
    case 'T':
    case 'F':
        v.kind = TraceValue::Kind::Bool;
        v.boolean = tag == 'T';
        break;
    case 'i':
        v.kind = TraceValue::Kind::Int;
        v.integer = whole(';');
        break;
    case 'r':
        v.kind = TraceValue::Kind::Real;
        v.real = std::strtod(field(';').c_str(), nullptr);
        break;
    case 's':
    case 'o': {
        const long long length = whole(':');
        if (length < 0 || static_cast<unsigned long long>(length) > text.size() - at) {
            throw fail("a string longer than the rest of the output");
        }
        v.kind = tag == 's' ? TraceValue::Kind::Text : TraceValue::Kind::Object;
        v.text = text.substr(at, static_cast<std::size_t>(length));
        at += static_cast<std::size_t>(length);
        if (tag == 'o') {
            v.items = readValue(text, at).asList();
        }
        break;
    }
    case 'l': {
        const long long count = whole(';');
        if (count < 0 || static_cast<unsigned long long>(count) > text.size() - at) {
            throw fail("a list longer than the rest of the output");
        }
        v.kind = TraceValue::Kind::List;
        v.items.resize(static_cast<std::size_t>(count));
        for (TraceValue& item : v.items) {
            item = readValue(text, at);
        }
        break;
    }
    default:
        throw fail(std::string("an unknown tag '") + tag + "'");
    }
    return v;
}

TraceCall toCall(const TraceValue& value)
{
    const auto bad = [&](const std::string& what) {
        return HarnessError("apitrace's pickle output holds a call that is not " + what + ": " +
                            value.describe());
    };
    if (value.kind != TraceValue::Kind::List || value.items.size() != CALL_FIELDS) {
        throw bad("a tuple of " + std::to_string(CALL_FIELDS) + " fields");
    }
    TraceCall call;
    call.number = static_cast<unsigned>(value.items[0].asInt());
    if (value.items[1].kind != TraceValue::Kind::Text) {
        throw bad("named");
    }
    call.name = value.items[1].text;
    for (const TraceValue& argument : value.items[2].asList()) {
        if (argument.kind != TraceValue::Kind::List || argument.items.size() != 2 ||
            argument.items[0].kind != TraceValue::Kind::Text) {
            throw bad("made of (name, value) arguments");
        }
        call.arguments.emplace_back(argument.items[0].text, argument.items[1]);
    }
    call.result = value.items[3];
    call.flags = static_cast<int>(value.items[4].asInt());
    return call;
}

// What a value of another kind than expected was, for the error.
HarnessError wrongKind(const char* expected, const TraceValue& value)
{
    static const char* const KINDS[] = {
        "None",     "a boolean", "an integer",     "a number with a fraction",
        "a string", "a list",    "an opaque value"};
    return HarnessError(std::string("expected ") + expected + " in the trace, found " +
                        KINDS[static_cast<int>(value.kind)] + ": " + value.describe());
}

} // namespace

std::int64_t TraceValue::asInt() const
{
    if (kind == Kind::Bool) {
        return boolean ? 1 : 0;
    }
    if (kind != Kind::Int) {
        throw wrongKind("an integer", *this);
    }
    return integer;
}

double TraceValue::asDouble() const
{
    if (kind == Kind::Int) {
        return static_cast<double>(integer);
    }
    if (kind != Kind::Real) {
        throw wrongKind("a number", *this);
    }
    return real;
}

float TraceValue::asFloat() const
{
    const double value = asDouble();
    const float narrowed = static_cast<float>(value);
    if (static_cast<double>(narrowed) != value && !std::isnan(value)) {
        throw HarnessError("expected a float in the trace, found the double " + describe());
    }
    return narrowed;
}

const std::vector<TraceValue>& TraceValue::asList() const
{
    if (kind != Kind::List) {
        throw wrongKind("a list", *this);
    }
    return items;
}

std::string TraceValue::describe() const
{
    std::ostringstream out;
    switch (kind) {
    case Kind::None:
        out << "NULL";
        break;
    case Kind::Bool:
        out << (boolean ? "true" : "false");
        break;
    case Kind::Int:
        out << integer;
        break;
    case Kind::Real:
        out << std::setprecision(std::numeric_limits<double>::max_digits10) << real;
        break;
    case Kind::Text:
        out << '"' << text << '"';
        break;
    case Kind::List:
    case Kind::Object:
        out << (kind == Kind::Object ? text : "") << '{';
        for (std::size_t i = 0; i < items.size(); ++i) {
            out << (i > 0 ? ", " : "") << items[i].describe();
        }
        out << '}';
        break;
    }
    return out.str();
}

const TraceValue& TraceCall::argument(const std::string& argumentName) const
{
    for (const auto& entry : arguments) {
        if (entry.first == argumentName) {
            return entry.second;
        }
    }
    throw HarnessError("call " + describe() + " has no argument '" + argumentName + "'");
}

const TraceValue& TraceCall::argument(std::size_t index) const
{
    if (index >= arguments.size()) {
        throw HarnessError("call " + describe() + " has no argument number " +
                           std::to_string(index + 1));
    }
    return arguments[index].second;
}

std::string TraceCall::describe() const
{
    std::string text = std::to_string(number) + " " + name + "(";
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        text += (i > 0 ? ", " : "") + arguments[i].first + " = " + arguments[i].second.describe();
    }
    text += ")";
    if (result.kind != TraceValue::Kind::None) {
        text += " = " + result.describe();
    }
    return text;
}

std::vector<TraceCall> recordTrace(VirtualDisplay& display, const std::string& program,
                                   const std::function<void(Lesson&)>& drive)
{
    const std::string directory = makeTemporaryDirectory("velmor-trace");
    const std::string file =
        directory + "/" + program.substr(program.find_last_of('/') + 1) + ".trace";
    const auto removeFile = [&] {
        std::remove(file.c_str());
        ::rmdir(directory.c_str());
    };
    try {
        LaunchOptions options(program);
        options.wrapper = {APITRACE, "trace", "--output=" + file};
        options.wrapperPackage = APITRACE_PACKAGE;
        {
            Lesson lesson(display, options);
            drive(lesson);
            lesson.close(); // if drive has not ended it
        }
        std::vector<TraceCall> calls = readTrace(file);
        removeFile();
        return calls;
    } catch (...) {
        removeFile();
        throw;
    }
}

std::vector<TraceCall> readTrace(const std::string& traceFile, Milliseconds timeout)
{
    for (const auto& [command, package] :
         {std::pair<const char*, const char*>{APITRACE, APITRACE_PACKAGE},
          {LESSON_HARNESS_PYTHON, "python3"}}) {
        if (!commandExists(command)) {
            throw HarnessError(std::string(command) +
                               " is not installed, so OpenGL calls cannot be "
                               "recorded: install the Debian package " +
                               package + " (scripts/setup --tests does).");
        }
    }
    const std::string text =
        runCommand({LESSON_HARNESS_PYTHON, LESSON_HARNESS_TRACE_CALLS, traceFile}, timeout);
    std::vector<TraceCall> calls;
    for (std::size_t at = 0; at < text.size();) {
        calls.push_back(toCall(readValue(text, at)));
    }
    return calls;
}

} // namespace harness
