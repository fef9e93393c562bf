// trace.cpp - apitrace recordings, read through `apitrace pickle`.
//
// The decoder understands the subset of the pickle format (protocols 2
// and 3) that apitrace writes: numbers, doubles, byte strings, lists,
// tuples, dictionaries, None and booleans, memo puts and gets, and its
// opaque values (a GLOBAL class applied with REDUCE, e.g. a pointer).
// Anything else is reported, never guessed at.
#include "trace.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <limits>
#include <map>
#include <sstream>
#include <unistd.h>

namespace harness {
namespace {

constexpr const char* APITRACE = "apitrace";
constexpr const char* APITRACE_PACKAGE = "apitrace";

// Pickle opcodes used by apitrace, named as in Python's pickletools.
enum Opcode : unsigned char {
    MARK = '(',
    STOP = '.',
    NONE = 'N',
    BININT = 'J',
    BININT1 = 'K',
    BININT2 = 'M',
    BINFLOAT = 'G',
    SHORT_BINSTRING = 'U',
    BINSTRING = 'T',
    BINUNICODE = 'X',
    SHORT_BINBYTES = 'C',
    BINBYTES = 'B',
    EMPTY_LIST = ']',
    EMPTY_TUPLE = ')',
    EMPTY_DICT = '}',
    APPEND = 'a',
    APPENDS = 'e',
    LIST = 'l',
    TUPLE = 't',
    DICT = 'd',
    SETITEM = 's',
    SETITEMS = 'u',
    BINPUT = 'q',
    LONG_BINPUT = 'r',
    BINGET = 'h',
    LONG_BINGET = 'j',
    GLOBAL = 'c',
    REDUCE = 'R',
    PROTO = 0x80,
    TUPLE1 = 0x85,
    TUPLE2 = 0x86,
    TUPLE3 = 0x87,
    NEWTRUE = 0x88,
    NEWFALSE = 0x89,
    LONG1 = 0x8a,
    SHORT_BINUNICODE = 0x8c,
};

// Fields of one pickled call: (number, name, arguments, result, flags).
constexpr std::size_t CALL_FIELDS = 5;

class Reader {
  public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}

    bool atEnd() const
    {
        return position_ >= bytes_.size();
    }

    // One pickle, up to and including its STOP.
    TraceValue readPickle()
    {
        stack_.clear();
        marks_.clear();
        for (;;) {
            const std::size_t at = position_;
            const unsigned char op = byte();
            switch (op) {
            case PROTO:
                byte();
                break;
            case MARK:
                marks_.push_back(stack_.size());
                break;
            case STOP:
                if (stack_.size() != 1) {
                    fail(at, "STOP with " + std::to_string(stack_.size()) + " values on the stack");
                }
                return pop(at);
            case NONE:
                stack_.push_back(TraceValue{});
                break;
            case NEWTRUE:
            case NEWFALSE: {
                TraceValue v;
                v.kind = TraceValue::Kind::Bool;
                v.boolean = op == NEWTRUE;
                stack_.push_back(v);
                break;
            }
            case BININT1:
                pushInt(byte());
                break;
            case BININT2:
                pushInt(static_cast<std::int64_t>(little(2)));
                break;
            case BININT:
                pushInt(static_cast<std::int32_t>(static_cast<std::uint32_t>(little(4))));
                break;
            case LONG1: {
                const std::size_t n = byte();
                if (n > 8) {
                    fail(at, "an integer of " + std::to_string(n) + " bytes");
                }
                std::uint64_t value = little(n);
                if (n > 0 && n < 8 && (value >> (8 * n - 1)) != 0) {
                    value |= ~std::uint64_t(0) << (8 * n); // sign-extend
                }
                pushInt(static_cast<std::int64_t>(value));
                break;
            }
            case BINFLOAT: {
                std::uint64_t bits = 0;
                for (int i = 0; i < 8; ++i) {
                    bits = (bits << 8) | byte();
                }
                TraceValue v;
                v.kind = TraceValue::Kind::Real;
                std::memcpy(&v.real, &bits, sizeof v.real);
                stack_.push_back(v);
                break;
            }
            case SHORT_BINSTRING:
            case SHORT_BINBYTES:
            case SHORT_BINUNICODE:
                pushText(byte());
                break;
            case BINSTRING:
            case BINBYTES:
            case BINUNICODE:
                pushText(little(4));
                break;
            case EMPTY_LIST:
            case EMPTY_TUPLE:
            case EMPTY_DICT: {
                TraceValue v;
                v.kind = TraceValue::Kind::List;
                stack_.push_back(v);
                break;
            }
            case APPEND: {
                TraceValue item = pop(at);
                listAt(at, stack_.size() - 1).items.push_back(std::move(item));
                break;
            }
            case APPENDS:
            case SETITEMS: {
                std::vector<TraceValue> items = popToMark(at);
                if (op == SETITEMS) {
                    items = pairs(at, std::move(items));
                }
                TraceValue& list = listAt(at, stack_.size() - 1);
                for (TraceValue& item : items) {
                    list.items.push_back(std::move(item));
                }
                break;
            }
            case SETITEM: {
                TraceValue value = pop(at);
                TraceValue key = pop(at);
                listAt(at, stack_.size() - 1)
                    .items.push_back(pairOf(std::move(key), std::move(value)));
                break;
            }
            case LIST:
            case TUPLE:
            case DICT: {
                TraceValue v;
                v.kind = TraceValue::Kind::List;
                v.items = popToMark(at);
                if (op == DICT) {
                    v.items = pairs(at, std::move(v.items));
                }
                stack_.push_back(std::move(v));
                break;
            }
            case TUPLE1:
            case TUPLE2:
            case TUPLE3: {
                const std::size_t n = static_cast<std::size_t>(op - TUPLE1 + 1);
                if (stack_.size() < n) {
                    fail(at, "a tuple with too few values on the stack");
                }
                TraceValue v;
                v.kind = TraceValue::Kind::List;
                v.items.assign(std::make_move_iterator(stack_.end() - static_cast<long>(n)),
                               std::make_move_iterator(stack_.end()));
                stack_.resize(stack_.size() - n);
                stack_.push_back(std::move(v));
                break;
            }
            case BINPUT:
                memo_[byte()] = top(at);
                break;
            case LONG_BINPUT:
                memo_[little(4)] = top(at);
                break;
            case BINGET:
            case LONG_BINGET: {
                const std::uint64_t key = op == BINGET ? byte() : little(4);
                const auto found = memo_.find(key);
                if (found == memo_.end()) {
                    fail(at, "a memo entry that was never stored");
                }
                stack_.push_back(found->second);
                break;
            }
            case GLOBAL: {
                TraceValue v;
                v.kind = TraceValue::Kind::Object;
                v.text = line(at) + ".";
                v.text += line(at);
                stack_.push_back(v);
                break;
            }
            case REDUCE: {
                TraceValue arguments = pop(at);
                TraceValue& callable = top(at);
                if (callable.kind != TraceValue::Kind::Object ||
                    arguments.kind != TraceValue::Kind::List) {
                    fail(at, "REDUCE of something other than a class and a tuple");
                }
                callable.items = std::move(arguments.items);
                break;
            }
            default: {
                std::ostringstream text;
                text << "an unknown opcode 0x" << std::hex << static_cast<int>(op);
                fail(at, text.str());
            }
            }
        }
    }

  private:
    [[noreturn]] void fail(std::size_t at, const std::string& what) const
    {
        throw HarnessError("cannot read apitrace's pickle output at byte " + std::to_string(at) +
                           ": " + what);
    }

    unsigned char byte()
    {
        if (position_ >= bytes_.size()) {
            fail(position_, "it ends in the middle of a value");
        }
        return static_cast<unsigned char>(bytes_[position_++]);
    }

    std::uint64_t little(std::size_t n)
    {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < n; ++i) {
            value |= std::uint64_t(byte()) << (8 * i);
        }
        return value;
    }

    std::string line(std::size_t at)
    {
        const std::size_t end = bytes_.find('\n', position_);
        if (end == std::string::npos) {
            fail(at, "an unterminated GLOBAL");
        }
        std::string text = bytes_.substr(position_, end - position_);
        position_ = end + 1;
        return text;
    }

    void pushInt(std::int64_t value)
    {
        TraceValue v;
        v.kind = TraceValue::Kind::Int;
        v.integer = value;
        stack_.push_back(v);
    }

    void pushText(std::uint64_t length)
    {
        if (length > bytes_.size() - position_) {
            fail(position_, "a string longer than the rest of the output");
        }
        TraceValue v;
        v.kind = TraceValue::Kind::Text;
        v.text = bytes_.substr(position_, static_cast<std::size_t>(length));
        position_ += static_cast<std::size_t>(length);
        stack_.push_back(v);
    }

    TraceValue& top(std::size_t at)
    {
        if (stack_.empty()) {
            fail(at, "an empty stack");
        }
        return stack_.back();
    }

    TraceValue pop(std::size_t at)
    {
        TraceValue v = std::move(top(at));
        stack_.pop_back();
        return v;
    }

    TraceValue& listAt(std::size_t at, std::size_t index)
    {
        if (index >= stack_.size() || stack_[index].kind != TraceValue::Kind::List) {
            fail(at, "appending to something that is not a list");
        }
        return stack_[index];
    }

    std::vector<TraceValue> popToMark(std::size_t at)
    {
        if (marks_.empty() || marks_.back() > stack_.size()) {
            fail(at, "no MARK to collect values from");
        }
        const std::size_t mark = marks_.back();
        marks_.pop_back();
        std::vector<TraceValue> items(
            std::make_move_iterator(stack_.begin() + static_cast<long>(mark)),
            std::make_move_iterator(stack_.end()));
        stack_.resize(mark);
        return items;
    }

    static TraceValue pairOf(TraceValue key, TraceValue value)
    {
        TraceValue pair;
        pair.kind = TraceValue::Kind::List;
        pair.items.push_back(std::move(key));
        pair.items.push_back(std::move(value));
        return pair;
    }

    std::vector<TraceValue> pairs(std::size_t at, std::vector<TraceValue> flat)
    {
        if (flat.size() % 2 != 0) {
            fail(at, "a dictionary with an odd number of values");
        }
        std::vector<TraceValue> result;
        for (std::size_t i = 0; i < flat.size(); i += 2) {
            result.push_back(pairOf(std::move(flat[i]), std::move(flat[i + 1])));
        }
        return result;
    }

    const std::string& bytes_;
    std::size_t position_ = 0;
    std::vector<TraceValue> stack_;
    std::vector<std::size_t> marks_;
    std::map<std::uint64_t, TraceValue> memo_;
};

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

std::string kindName(TraceValue::Kind kind)
{
    switch (kind) {
    case TraceValue::Kind::None:
        return "None";
    case TraceValue::Kind::Bool:
        return "a boolean";
    case TraceValue::Kind::Int:
        return "an integer";
    case TraceValue::Kind::Real:
        return "a number with a fraction";
    case TraceValue::Kind::Text:
        return "a string";
    case TraceValue::Kind::List:
        return "a list";
    case TraceValue::Kind::Object:
        return "an opaque value";
    }
    return "?";
}

} // namespace

std::int64_t TraceValue::asInt() const
{
    if (kind == Kind::Bool) {
        return boolean ? 1 : 0;
    }
    if (kind != Kind::Int) {
        throw HarnessError("expected an integer in the trace, found " + kindName(kind) + ": " +
                           describe());
    }
    return integer;
}

double TraceValue::asDouble() const
{
    if (kind == Kind::Int) {
        return static_cast<double>(integer);
    }
    if (kind != Kind::Real) {
        throw HarnessError("expected a number in the trace, found " + kindName(kind) + ": " +
                           describe());
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
        throw HarnessError("expected a list in the trace, found " + kindName(kind) + ": " +
                           describe());
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

std::vector<TraceCall> parsePickledCalls(const std::string& bytes)
{
    std::vector<TraceCall> calls;
    Reader reader(bytes);
    while (!reader.atEnd()) {
        calls.push_back(toCall(reader.readPickle()));
    }
    return calls;
}

std::vector<TraceCall> readTrace(const std::string& traceFile, Milliseconds timeout)
{
    if (!commandExists(APITRACE)) {
        throw HarnessError(std::string("apitrace is not installed, so OpenGL calls cannot be "
                                       "recorded: install the Debian package ") +
                           APITRACE_PACKAGE + " (scripts/setup --tests does).");
    }
    return parsePickledCalls(runCommand({APITRACE, "pickle", traceFile}, timeout));
}

} // namespace harness
