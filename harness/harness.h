// harness.h - runs the real lesson programs on a private X server and
// looks at what they show.  Made for GoogleTest programs, but it depends on
// nothing from GoogleTest: every failure is a harness::HarnessError whose
// message says what went wrong and, where a package is missing, which
// Debian package to install.
//
// Typical use (one X server per test program, one lesson at a time):
//
//     harness::VirtualDisplay display;                  // starts Xvfb
//     harness::Lesson lesson(display, {VELMOR5_PROGRAM}); // first frame shown
//     EXPECT_EQ(lesson.title(), "5. Adding the domain grid");
//     harness::Image picture = lesson.capture();
//     lesson.resize(800, 400);                          // and its redraw
//     harness::ExitStatus status = lesson.stop();       // SIGTERM, SIGKILL
//
// Linking with the CMake target lesson_harness makes sure the programs are
// built first and brings, through lessons_built.h (made from the registry
// lessons/lessons.txt), each built lesson's path and window title as the
// string macros VELMOR3_PROGRAM, VELMOR3_TITLE, ... and the list of them
// all, lessons::BUILT.  VELMOR7_PROGRAM is defined only where lesson 7 is
// built (it needs freeglut).
//
// How frames are recognised.  Waiting for a picture to "settle" is both
// slow and unreliable, so the harness preloads a small library of its own
// into the lesson, which reports every frame shown, and the repaint it was
// drawn after, through a pipe (frame_notify.cpp says how, also under a
// tracer).  A wait for a frame is therefore a wait on that pipe, with a
// timeout.  The program's binary is the one that ships; nothing in it is
// changed.
//
// Every wait has a timeout; on a timeout or an early exit of the program
// the error carries the program's own output.
#ifndef LESSON_HARNESS_H
#define LESSON_HARNESS_H

#include "lessons_built.h"

#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

// Xlib's Display, without pulling its macros (None, Status, Bool, ...)
// into every test.
struct _XDisplay;

namespace harness {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

inline Milliseconds since(Clock::time_point start)
{
    return std::chrono::duration_cast<Milliseconds>(Clock::now() - start);
}

// Everything the harness cannot do is reported with this.
class HarnessError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------------------
// Images

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};
inline bool operator==(const Rgb& a, const Rgb& b)
{
    return a.r == b.r && a.g == b.g && a.b == b.b;
}
inline bool operator!=(const Rgb& a, const Rgb& b)
{
    return !(a == b);
}
// "(r, g, b)", for failure messages.
std::string toString(const Rgb& colour);

// An RGB picture, 8 bits per channel, row 0 at the top and column 0 at the
// left, as the window shows it.
class Image {
  public:
    Image() = default;
    // Every pixel `fill`.
    Image(int width, int height, Rgb fill = {});

    int width() const
    {
        return width_;
    }
    int height() const
    {
        return height_;
    }
    bool empty() const
    {
        return width_ == 0 || height_ == 0;
    }
    bool contains(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width_ && y < height_;
    }

    // Throws HarnessError outside the picture.
    Rgb pixel(int x, int y) const;
    void setPixel(int x, int y, Rgb colour);

    // How many different colours the picture holds.
    std::size_t distinctColours() const;

    // Writes a binary PPM (P6); ImageMagick's convert turns it into PNG.
    // Handy to keep the picture of a failing test.
    void writePpm(const std::string& path) const;

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<Rgb> pixels_;
};

// Calls visit(x, y) for the pixels of columns left to right - 1 and rows
// top to bottom - 1, row by row; the second form for a whole width x height
// picture.
template <typename Visit> void forEachPixel(int left, int top, int right, int bottom, Visit&& visit)
{
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            visit(x, y);
        }
    }
}
template <typename Visit> void forEachPixel(int width, int height, Visit&& visit)
{
    forEachPixel(0, 0, width, height, visit);
}

// Reads a binary PPM (P6, 255 levels) such as writePpm and the frame shim
// write; an empty Image if the file is missing or not such a picture.
Image readPpm(const std::string& path);
// The same from the file's bytes.
Image parsePpm(const std::string& bytes);

// ---------------------------------------------------------------------------
// Comparing pictures

// Two pictures of one lesson drawn by the same driver are the same to the
// pixel, and are compared exactly.  Drawn by another rasteriser (WebGL in
// a browser) or another Mesa, edges and blending round differently by a
// level here and there, while a real change to a lesson (the drawing
// order, the shading model, the camera) changes far more; so such
// pictures count as the same when at most TOLERATED_SHARE_PERCENT of their
// pixels are off, a pixel being off when one of its channels differs by
// more than TOLERATED_CHANNEL_PERCENT of the full range.  (These are the
// pixels that ImageMagick's "compare -fuzz 10% -metric AE" counts.)
constexpr int TOLERATED_SHARE_PERCENT = 1;
constexpr int TOLERATED_CHANNEL_PERCENT = 10;
// A lesson drawn with buffers and shaders runs the same shaders in the
// browser as natively, with no emulation in between, so only the
// rasterisers' rounding at edges differs: such pictures are held to a
// tenth of that share (Match::Close), TOLERATED_CLOSE_SHARE_PER_MILLE of
// their pixels off, by the same measure.
constexpr int TOLERATED_CLOSE_SHARE_PER_MILLE = 1;

enum class Match { Exact, Tolerant, Close };

struct Comparison {
    std::size_t differing = 0; // pixels that differ (Tolerant, Close: that are off)
    std::size_t allowed = 0;   // how many may (Exact: none)
    bool same() const
    {
        return differing <= allowed;
    }
};

// Throws HarnessError if the sizes differ.
Comparison comparePictures(const Image& a, const Image& b, Match match);

// A picture of where a and b differ under `match`: those pixels red, the
// others a's, faded.  For a look at a failed comparison.
Image differencePicture(const Image& a, const Image& b, Match match);

// The number of pixels whose colours differ at all: comparePictures(a, b,
// Match::Exact).differing.  Throws if the sizes differ.
std::size_t countDifferentPixels(const Image& a, const Image& b);

// ---------------------------------------------------------------------------
// The private X server

// An Xvfb of its own for the lifetime of this object, at a display number
// Xvfb picks itself (-displayfd), not listening on TCP, with one screen
// of width x height pixels at 24 bits.  The destructor stops it.
class VirtualDisplay {
  public:
    static constexpr int DEFAULT_WIDTH = 2000;
    static constexpr int DEFAULT_HEIGHT = 2000;

    // Throws HarnessError if Xvfb is not installed (naming the Debian
    // package xvfb) or does not come up within the timeout.
    explicit VirtualDisplay(int width = DEFAULT_WIDTH, int height = DEFAULT_HEIGHT,
                            Milliseconds timeout = Milliseconds(20000));
    // A display that is already there, such as a desktop's ":0"; nothing is
    // started or stopped.  Throws HarnessError if it does not answer.
    explicit VirtualDisplay(const std::string& existing);
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N", for DISPLAY.
    const std::string& name() const
    {
        return name_;
    }
    // The harness's own connection to the server.
    _XDisplay* connection() const
    {
        return connection_;
    }
    // The Xvfb process, or -1 for a display that was already there.
    pid_t server() const
    {
        return server_;
    }

  private:
    pid_t server_ = -1;
    std::string name_;
    _XDisplay* connection_ = nullptr;
};

// ---------------------------------------------------------------------------
// A running lesson program

struct LaunchOptions {
    LaunchOptions() = default;
    // Not explicit, so that a program path alone converts: {VELMOR3_PROGRAM}.
    LaunchOptions(std::string path) : program(std::move(path)) {}

    // The program to run, usually one of the VELMOR*_PROGRAM paths.
    std::string program;
    // Arguments after the harness's own "-geometry +0+0".
    std::vector<std::string> arguments;
    // Leave out "-geometry +0+0".  Without a window manager freeglut
    // places the window at (-1, -1), a pixel off the screen's edge.
    bool omitGeometry = false;
    // A command to run the program under, e.g. {"apitrace", "trace", "-o",
    // file}.  The program and its arguments follow the wrapper's words.
    std::vector<std::string> wrapper;
    // A Debian package to name if the wrapper's command is not installed.
    std::string wrapperPackage;
    // Extra environment variables (name, value) for the program.  An
    // ASAN_OPTIONS given here is added to the harness's own (which turns
    // off ASan's library order check, see lesson.cpp), not put in its
    // place; it is read after the inherited ASAN_OPTIONS, so it wins.
    std::vector<std::pair<std::string, std::string>> environment;
    // How long the first frame may take (tracing and sanitizers are slow).
    Milliseconds startTimeout = Milliseconds(60000);
    // How long any later wait may take.
    Milliseconds timeout = Milliseconds(30000);
    // Whether the constructor waits for the first frame (else see
    // awaitFirstFrame).
    bool waitForFirstFrame = true;
    // Whether the program can report its frames: false for one that the
    // notifier cannot be preloaded into (a Windows program under Wine).
    // Then nothing is preloaded, nothing is waited for, and the caller
    // names the window (useWindow) before anything else but stop().
    bool reportsFrames = true;
};

struct ExitStatus {
    bool exited = false; // ended through exit() or return from main
    int code = 0;        // its exit code, if exited
    int signal = 0;      // the signal that ended it, if not exited
    // "exit code 0" or "signal 15 (Terminated)".
    std::string describe() const;
};

struct Size {
    int width = 0;
    int height = 0;
};
inline bool operator==(const Size& a, const Size& b)
{
    return a.width == b.width && a.height == b.height;
}

struct Point {
    int x = 0;
    int y = 0;
};

// One lesson program on a VirtualDisplay.  The constructor starts it and
// returns once its first frame is on the screen and its window is
// mapped; the destructor stops it if it still runs.  The program runs in
// a process group of its own (together with any wrapper), so that stopping
// it also stops a wrapper's child.  Its standard output and error go to
// a file, read by output().
class Lesson {
  public:
    Lesson(VirtualDisplay& display, LaunchOptions options);
    ~Lesson();

    // With waitForFirstFrame off: waits up to `wait` for the first frame;
    // true once it is on the screen and the window mapped.  Throws if the
    // program has ended.
    bool awaitFirstFrame(Milliseconds wait);
    // With reportsFrames off: the window to look at, found by the caller.
    void useWindow(unsigned long window)
    {
        window_ = window;
    }
    Lesson(const Lesson&) = delete;
    Lesson& operator=(const Lesson&) = delete;

    // The X window the frames are drawn into: the program's top-level
    // window.
    unsigned long window() const
    {
        return window_;
    }
    // The process the harness started (the wrapper, if there is one).
    pid_t pid() const
    {
        return pid_;
    }

    std::string title() const;
    Size size() const;
    // The window's position on the screen.
    Point position() const;
    // Frames the program has finished (glutSwapBuffers calls) so far, as
    // far as the harness has read them.
    unsigned framesDrawn() const
    {
        return frames_;
    }

    // The window's client area, as XGetImage (and so xwd) reads it.
    Image capture() const;

    // Resizes the window and returns once a frame has been drawn at the
    // new size.  A frame the program was drawing when the resize came is
    // shown in the resized window at the old size; so after the first
    // frame shown at the new size the harness asks for one more (a
    // repaint), which is certainly drawn after the program's reshape.  A
    // resize to the size the window already has is only a repaint.
    void resize(int width, int height);

    // Asks the program to repaint, as the window system does when a
    // covered window is uncovered (an Expose of the whole window), and
    // returns once the frame drawn for it is shown: not one that an
    // earlier event, such as the window's first appearance, asked for.
    void repaint();

    // Sends input as a user would, through the XTest extension with
    // xdotool (Debian package xdotool): `xdotoolWords` are xdotool's
    // command words, e.g. {"key", "Right", "d"} or {"mousemove", "--window",
    // id, "250", "250", "mousedown", "1"}.  The window gets the keyboard
    // focus first.  Then, unless the input ends the program, asks for a
    // repaint and returns once its frame, drawn after all of the input,
    // is shown.
    void sendInput(const std::vector<std::string>& xdotoolWords, bool thenRepaint = true);

    // Waits for the program to end by itself; throws on a timeout.
    ExitStatus waitForExit();

    // Collects the frames reported so far without waiting, then waits up
    // to `quiet` for more; returns the number of frames drawn.  For
    // checking that a program draws nothing unasked.
    unsigned drainFrames(Milliseconds quiet);

    // Ends the program with SIGTERM, then SIGKILL if it has not ended
    // after `grace`.  Returns once every process of its group is gone.
    ExitStatus stop(Milliseconds grace = Milliseconds(10000));

    // Closes the window the way a window manager does (WM_DELETE_WINDOW)
    // and waits for the program to end.  Throws on a timeout.
    ExitStatus close();

    // Whether the program is still running.
    bool running();

    // What the program has written to standard output and error.
    std::string output() const;
    // What it has written to standard error alone: what lesson 9 tells the
    // learner goes to standard output, so anything here is an error report.
    std::string errors() const;

  private:
    // Stops the program and removes what it leaves: the destructor's work.
    void release();
    void checkMapped();
    bool readFrames(Clock::time_point deadline, const std::function<bool()>& done,
                    const std::string& what, bool throwOnTimeout);
    void reap(bool block, Clock::time_point deadline);
    ExitStatus finish(Clock::time_point deadline);
    std::string describeFailure(const std::string& what) const;

    VirtualDisplay& display_;
    LaunchOptions options_;
    pid_t pid_ = -1;
    int frameFd_ = -1;
    std::string logPath_;
    std::string errorsPath_;
    unsigned long window_ = 0;
    unsigned frames_ = 0;
    std::uint32_t repaintsAsked_ = 0;
    std::uint32_t repaintAnswered_ = 0;
    // The size the window had once the last frame was shown.
    Size lastFrameSize_;
    bool reaped_ = false;
    ExitStatus status_;
};

// Whether a command is found on PATH.
bool commandExists(const std::string& command);

// ---------------------------------------------------------------------------
// Process helpers, for launchers of their own (harness/shim runs the
// programs under the frame shim with these)

// The whole contents of a file; empty if it cannot be read.
std::string readFile(const std::string& path);

// The current environment less every variable whose name starts with one
// of `droppedPrefixes`, with `changes` applied (set or replaced).
std::vector<std::string>
environmentWith(const std::vector<std::pair<std::string, std::string>>& changes,
                const std::vector<std::string>& droppedPrefixes = {});

// Where a started process writes, and what else it keeps.
struct ChildOutput {
    int out = -1;       // its standard output, or -1 for this process's own
    int errors = -1;    // its standard error, likewise
    int inherited = -1; // a descriptor it inherits (others close on exec)
    // The signal it gets if this process dies first.
    int deathSignal = SIGKILL;
    // Whether a crash may leave a core file (else it shows only as a signal).
    bool coreFile = true;
};

// Starts `command` (looked up on PATH) with `environment`, in a process
// group of its own, reading /dev/null; throws HarnessError if it cannot
// fork.  A command that cannot be run ends with status 127.
pid_t startProcess(std::vector<std::string> command, std::vector<std::string> environment,
                   const ChildOutput& output = {});

// Waits for the child `pid` to end, at most until `deadline`.  Returns
// false if it still runs then (it is left running); otherwise true, with
// how it ended in `status` if given.
bool waitForChild(pid_t pid, Clock::time_point deadline, ExitStatus* status = nullptr);

// A program run to its end by runToEnd.
struct Finished {
    ExitStatus status;
    bool hung = false; // still running at the time limit, then killed
    Milliseconds elapsed{0};
    std::string output; // its standard output and error together
};

// Runs `command` with `environment` as startProcess does, without core
// files, its standard output and error both into `logPath` (a temporary
// file, removed after, if empty), and waits at most `limit` for it to end;
// one still running then is killed.  Throws HarnessError if it cannot
// start.
Finished runToEnd(std::vector<std::string> command, std::vector<std::string> environment,
                  Milliseconds limit, const std::string& logPath = "");

// Runs a command, waits for it (with a timeout) and returns what it wrote
// to standard output; standard error goes to `errors` if given.  Throws
// HarnessError if it cannot start, times out or exits non-zero.
std::string runCommand(const std::vector<std::string>& command, Milliseconds timeout,
                       std::string* errors = nullptr);

// A fresh, empty directory under $TMPDIR (or /tmp), for a test's files.
std::string makeTemporaryDirectory(const std::string& prefix);

} // namespace harness

#endif
