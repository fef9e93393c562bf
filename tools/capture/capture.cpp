// capture.cpp - takes one picture of a lesson program, or compares two
// pictures.  Every picture the scripts and the shell checks take goes
// through here, and every comparison of two pictures.
//
//   capture [options] PROGRAM OUT.png
//       Starts PROGRAM (at the top-left corner, -geometry +0+0), waits for
//       the frame drawn for the request, optionally resized and after keys,
//       and writes exactly the window's drawing area to OUT.png.
//
//       --display NAME       the X display to use; by default $DISPLAY when
//                            it answers, else a private Xvfb started for
//                            this one picture
//       --private-display    always a private Xvfb
//       --size WxH           resize the window first
//       --keys "KEY ..."     then send these keys (xdotool key names)
//       --title TITLE        the window title the program shows: checked,
//                            and named when no window appears
//       --settle             the program cannot report its frames (a
//                            Windows program under Wine): see settle()
//       --timeout SECONDS    for the whole picture (default 60)
//       --timeout-hint TEXT  added to a message about a timeout
//       --name NAME          the name messages start with (default capture)
//
//   capture --run COMMAND [ARGUMENT...]
//       Runs COMMAND with DISPLAY set to a private Xvfb started for it, and
//       ends with its exit status once it has ended and the Xvfb is gone;
//       for a check that needs a display of its own for a while.
//
//   capture --compare [--tolerant | --close] A.png B.png [DIFF.png]
//       Prints how many pixels differ (with --tolerant or --close: are off
//       by more than the tolerance, see harness.h) and exits 0 if the pictures
//       count as the same, 1 if not, 2 if they cannot be compared.
//       DIFF.png, if named, shows where they differ.
//
// Every failure is one line on standard error and a non-zero exit.  Both
// forms need ImageMagick's convert for reading and writing PNG files.
#include "harness.h"

#include <X11/Xlib.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using harness::Clock;
using harness::HarnessError;
using harness::Milliseconds;

constexpr int DEFAULT_TIMEOUT_SECONDS = 60;
// A private screen is at least this big, and always big enough for the window.
constexpr int MIN_SCREEN_WIDTH = 1024;
constexpr int MIN_SCREEN_HEIGHT = 768;
// How often to look again for a window, or (settling) at the picture.
constexpr Milliseconds POLL_INTERVAL(100);
// Settling: captures in a row that must agree after a resize or keys.
constexpr int STEADY_CAPTURES = 5;
// How long a program whose frame pipe has closed may take to end.
constexpr Milliseconds EXIT_GRACE(2000);
// Lines of the program's output that go into a message.
constexpr int OUTPUT_LINES = 3;

// Exit statuses of the comparison.
constexpr int SAME = 0;
constexpr int DIFFERENT = 1;
constexpr int CANNOT_COMPARE = 2;

// What a failure is reported as: the name, the text, one line.
class Failure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

// The last few lines of the program's output, on one line.
std::string lastLines(const std::string& output)
{
    std::size_t start = output.size();
    for (int lines = 0; start > 0 && lines <= OUTPUT_LINES;) {
        --start;
        if (output[start] == '\n' && start + 1 < output.size()) {
            ++lines;
        }
    }
    return oneLine(output.substr(start == 0 ? 0 : start + 1));
}

// ---------------------------------------------------------------------------
// PNG files, through ImageMagick

void needConvert()
{
    if (!harness::commandExists("convert")) {
        throw Failure("'convert' is missing: install the Debian package imagemagick "
                      "(scripts/setup installs everything).");
    }
}

harness::Image readPicture(const std::string& path)
{
    if (access(path.c_str(), R_OK) != 0) {
        throw Failure("cannot read the picture " + path + ".");
    }
    std::string errors;
    std::string bytes;
    try {
        bytes = harness::runCommand({"convert", path, "-depth", "8", "ppm:-"}, Milliseconds(60000),
                                    &errors);
    } catch (const HarnessError&) {
        throw Failure("ImageMagick cannot read " + path + ": " + oneLine(errors));
    }
    harness::Image image = harness::parsePpm(bytes);
    if (image.empty()) {
        throw Failure(path + " holds no picture.");
    }
    return image;
}

// -strip leaves out time stamps, so that the same picture gives the same
// file.  Written next to the target and renamed, so that a failure leaves
// nothing half-written under the name asked for.
void writePicture(const harness::Image& image, const std::string& path)
{
    const std::string ppm = path + ".ppm.tmp";
    const std::string png = path + ".tmp";
    image.writePpm(ppm);
    try {
        harness::runCommand({"convert", "ppm:" + ppm, "-strip", "png:" + png}, Milliseconds(60000));
    } catch (const HarnessError& error) {
        std::remove(ppm.c_str());
        std::remove(png.c_str());
        throw Failure("cannot write " + path + ": " + oneLine(error.what()));
    }
    std::remove(ppm.c_str());
    if (std::rename(png.c_str(), path.c_str()) != 0) {
        std::remove(png.c_str());
        throw Failure("cannot write " + path + ": " + std::strerror(errno));
    }
}

bool samePicture(const harness::Image& a, const harness::Image& b)
{
    return a.width() == b.width() && a.height() == b.height() &&
           harness::countDifferentPixels(a, b) == 0;
}

// ---------------------------------------------------------------------------
// Stopped from outside: whatever was started goes too

pid_t startedProgram = -1; // the lesson's process group
pid_t startedServer = -1;  // a private Xvfb

void stopStarted(int signal)
{
    // Only async-signal-safe calls.
    if (startedProgram > 0) {
        kill(-startedProgram, SIGKILL);
        while (waitpid(-startedProgram, nullptr, 0) > 0 || errno == EINTR) {
        }
    }
    if (startedServer > 0) {
        kill(startedServer, SIGTERM);
        while (waitpid(startedServer, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    _exit(128 + signal);
}

// ---------------------------------------------------------------------------
// Taking the picture

struct Request {
    std::string name = "capture";
    std::string program;
    std::string out;
    std::string display;
    bool privateDisplay = false;
    int width = 0, height = 0; // 0: as the program opens it
    std::vector<std::string> keys;
    std::string title;
    bool settle = false;
    int timeoutSeconds = DEFAULT_TIMEOUT_SECONDS;
    std::string timeoutHint;
};

std::string withinTimeout(const Request& r)
{
    return " within " + std::to_string(r.timeoutSeconds) + " s" +
           (r.timeoutHint.empty() ? "" : " " + r.timeoutHint) + ".";
}

std::string atSize(const Request& r)
{
    return r.width == 0 ? "" : " at " + std::to_string(r.width) + "x" + std::to_string(r.height);
}

std::unique_ptr<harness::VirtualDisplay> openDisplay(const Request& r)
{
    if (!r.display.empty()) {
        return std::make_unique<harness::VirtualDisplay>(r.display);
    }
    const char* current = std::getenv("DISPLAY");
    if (!r.privateDisplay && current != nullptr && *current != '\0') {
        try {
            return std::make_unique<harness::VirtualDisplay>(std::string(current));
        } catch (const HarnessError&) {
            // It does not answer: a private one, as with no display at all.
        }
    }
    auto display = std::make_unique<harness::VirtualDisplay>(std::max(MIN_SCREEN_WIDTH, r.width),
                                                             std::max(MIN_SCREEN_HEIGHT, r.height),
                                                             Milliseconds(1000 * r.timeoutSeconds));
    startedServer = display->server();
    return display;
}

// The top-level windows (and their children, where Wine puts a program's
// window) with the given title.  X errors from windows that vanish while
// we look are only recorded by the harness.
std::set<unsigned long> windowsTitled(Display* x, const std::string& title)
{
    std::set<unsigned long> found;
    const std::function<void(Window, int)> walk = [&](Window window, int depth) {
        char* name = nullptr;
        if (XFetchName(x, window, &name) != 0 && name != nullptr) {
            if (title == name) {
                found.insert(window);
            }
            XFree(name);
        }
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        if (depth > 0 && XQueryTree(x, window, &root, &parent, &children, &count) != 0) {
            for (unsigned int i = 0; i < count; ++i) {
                walk(children[i], depth - 1);
            }
        }
        if (children != nullptr) {
            XFree(children);
        }
    };
    if (!title.empty()) {
        walk(DefaultRootWindow(x), 2);
    }
    return found;
}

// A window with the title that was not there before the program started
// (on a shared display another copy of the lesson may be open); 0 if none.
unsigned long newWindow(Display* x, const Request& r, const std::set<unsigned long>& before)
{
    for (unsigned long window : windowsTitled(x, r.title)) {
        if (before.count(window) == 0) {
            return window;
        }
    }
    return 0;
}

[[noreturn]] void programEnded(harness::Lesson& lesson, const Request& r, const std::string& before)
{
    const std::string said = lastLines(lesson.output());
    const harness::ExitStatus status = lesson.stop();
    const int code = status.exited ? status.code : 128 + status.signal;
    throw Failure(r.program + " ended (exit status " + std::to_string(code) + ") before " + before +
                  "; it said: " + said);
}

// The settle rule.  Under Wine nothing can be preloaded into the .exe: the
// frame notifier wraps the Linux toolkit's glutSwapBuffers, which a
// Windows program never calls, so no frame is ever reported.  What stands
// in for the report: the picture counts once it is drawn (more than one
// colour: an undrawn window is one), has the wanted size, and has stayed
// the same over `steady` comparisons POLL_INTERVAL apart.  Slower, and a
// guess where the report is a fact; so only for such programs.
harness::Image settle(harness::Lesson& lesson, harness::VirtualDisplay& display, const Request& r,
                      int steady, Clock::time_point deadline, const std::string& what)
{
    harness::Image previous;
    int agreeing = 0;
    for (;;) {
        if (!lesson.running()) {
            programEnded(lesson, r, "drawing " + what);
        }
        if (Clock::now() >= deadline) {
            throw Failure(r.program + " did not " +
                          (steady == 1 ? "draw a steady frame" + atSize(r) : "settle " + what) +
                          withinTimeout(r));
        }
        std::this_thread::sleep_for(POLL_INTERVAL);
        harness::Image current;
        try {
            current = lesson.capture();
        } catch (const HarnessError&) {
            continue; // not mapped yet
        }
        const bool drawn = current.distinctColours() > 1;
        const bool sized =
            r.width == 0 || (current.width() == r.width && current.height() == r.height);
        const bool same = samePicture(previous, current);
        agreeing = drawn && sized && same ? agreeing + 1 : 0;
        if (agreeing >= steady) {
            return current;
        }
        // A program still settling its window (Wine does, when it maps
        // one) can put back the size it had: a drawn, steady frame at
        // another size asks for the wanted size again.
        if (drawn && same && !sized) {
            XResizeWindow(display.connection(), lesson.window(), static_cast<unsigned>(r.width),
                          static_cast<unsigned>(r.height));
            XSync(display.connection(), False);
        }
        previous = current;
    }
}

harness::Image settledPicture(harness::Lesson& lesson, harness::VirtualDisplay& display,
                              const Request& r, const std::set<unsigned long>& before,
                              Clock::time_point deadline)
{
    unsigned long window = 0;
    while ((window = newWindow(display.connection(), r, before)) == 0) {
        if (!lesson.running()) {
            programEnded(lesson, r, "showing its window");
        }
        if (Clock::now() >= deadline) {
            throw Failure(r.program + " showed no window titled '" + r.title + "'" +
                          withinTimeout(r));
        }
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
    lesson.useWindow(window);
    // The first frame at the size the program chose, and only then the
    // resize, as for a program that reports its frames.  A resize that
    // reaches Wine before it has mapped the window may change the X window
    // alone: the program, never told, would draw its old viewport into the
    // new size for good, a steady, wrong picture.  A drawn frame means the
    // window is mapped.
    Request opened = r;
    opened.width = opened.height = 0;
    harness::Image picture = settle(lesson, display, opened, 1, deadline, "a frame");
    if (r.width != 0) {
        XResizeWindow(display.connection(), window, static_cast<unsigned>(r.width),
                      static_cast<unsigned>(r.height));
        XSync(display.connection(), False);
        // Under Wine a resized window first shows its old picture, before
        // the program's reshape has run: hence the longer wait.
        picture = settle(lesson, display, r, STEADY_CAPTURES, deadline, atSize(r).substr(1));
    }
    if (!r.keys.empty()) {
        std::vector<std::string> words = {"key", "--window", std::to_string(window), "--delay",
                                          "0"};
        words.insert(words.end(), r.keys.begin(), r.keys.end());
        lesson.sendInput(words, false);
        picture = settle(lesson, display, r, STEADY_CAPTURES, deadline, "after the keys");
    }
    return picture;
}

// The frame notifier says when each frame is on the screen, and which
// repaint it answers: no guessing.
harness::Image reportedPicture(harness::Lesson& lesson, harness::VirtualDisplay& display,
                               const Request& r, const std::set<unsigned long>& before,
                               Clock::time_point deadline)
{
    bool windowSeen = false;
    for (;;) {
        try {
            if (lesson.awaitFirstFrame(POLL_INTERVAL)) {
                break;
            }
        } catch (const HarnessError&) {
            // Its end closes the pipe a moment before it can be reaped.
            const Clock::time_point grace = Clock::now() + EXIT_GRACE;
            while (lesson.running() && Clock::now() < grace) {
                std::this_thread::sleep_for(Milliseconds(10));
            }
            if (lesson.running()) {
                throw;
            }
        }
        windowSeen = windowSeen || newWindow(display.connection(), r, before) != 0;
        if (!lesson.running()) {
            programEnded(lesson, r, windowSeen ? "drawing a frame" : "showing its window");
        }
        if (Clock::now() >= deadline) {
            if (!windowSeen && !r.title.empty()) {
                throw Failure(r.program + " showed no window titled '" + r.title + "'" +
                              withinTimeout(r));
            }
            throw Failure(r.program + " did not draw a steady frame" + withinTimeout(r));
        }
    }
    if (!r.title.empty() && lesson.title() != r.title) {
        throw Failure(r.program + " drew into a window titled '" + lesson.title() + "', not '" +
                      r.title + "'.");
    }
    if (r.width != 0) {
        lesson.resize(r.width, r.height);
    }
    if (!r.keys.empty()) {
        std::vector<std::string> words = {"key", "--window", std::to_string(lesson.window()),
                                          "--delay", "0"};
        words.insert(words.end(), r.keys.begin(), r.keys.end());
        lesson.sendInput(words);
    }
    return lesson.capture();
}

void takePicture(const Request& r)
{
    if (access(r.program.c_str(), X_OK) != 0) {
        throw Failure("the program " + r.program + " does not exist or is not executable.");
    }
    needConvert();
    if (!r.keys.empty() && !harness::commandExists("xdotool")) {
        throw Failure("'xdotool' is missing: install the Debian package xdotool "
                      "(scripts/setup installs everything).");
    }
    const Clock::time_point deadline = Clock::now() + Milliseconds(1000 * r.timeoutSeconds);
    std::unique_ptr<harness::VirtualDisplay> display = openDisplay(r);
    const std::set<unsigned long> before = windowsTitled(display->connection(), r.title);

    harness::LaunchOptions options(r.program);
    options.startTimeout = options.timeout = Milliseconds(1000 * r.timeoutSeconds);
    options.waitForFirstFrame = false;
    options.reportsFrames = !r.settle;
    harness::Lesson lesson(*display, options);
    startedProgram = lesson.pid();

    const harness::Image picture = r.settle
                                       ? settledPicture(lesson, *display, r, before, deadline)
                                       : reportedPicture(lesson, *display, r, before, deadline);
    writePicture(picture, r.out);
}

// ---------------------------------------------------------------------------
// A command on a private display

int runOnPrivateDisplay(std::vector<std::string> command, int timeoutSeconds)
{
    harness::VirtualDisplay display(MIN_SCREEN_WIDTH, MIN_SCREEN_HEIGHT,
                                    Milliseconds(1000 * timeoutSeconds));
    startedServer = display.server();
    // A process group of its own, so that stopping this tool stops all of it.
    const pid_t child = harness::startProcess(
        std::move(command), harness::environmentWith({{"DISPLAY", display.name()}}));
    startedProgram = child;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    startedProgram = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// ---------------------------------------------------------------------------
// Comparing

int comparePictures(const std::vector<std::string>& files, harness::Match match)
{
    needConvert();
    const harness::Image a = readPicture(files[0]);
    const harness::Image b = readPicture(files[1]);
    if (a.width() != b.width() || a.height() != b.height()) {
        throw Failure(files[0] + " is " + std::to_string(a.width()) + "x" +
                      std::to_string(a.height()) + ", " + files[1] + " is " +
                      std::to_string(b.width()) + "x" + std::to_string(b.height()) +
                      ": they cannot be compared.");
    }
    const harness::Comparison result = harness::comparePictures(a, b, match);
    if (files.size() == 3) {
        writePicture(harness::differencePicture(a, b, match), files[2]);
    }
    std::cout << result.differing << "\n";
    return result.same() ? SAME : DIFFERENT;
}

// ---------------------------------------------------------------------------
// The command line

[[noreturn]] void usage()
{
    std::cerr
        << "usage: capture [--display NAME | --private-display] [--size WxH] [--keys \"KEY ...\"]"
           " [--title TITLE] [--settle] [--timeout SECONDS] PROGRAM OUT.png\n"
           "       capture --run COMMAND [ARGUMENT...]\n"
           "       capture --compare [--tolerant | --close] A.png B.png [DIFF.png]\n";
    std::exit(CANNOT_COMPARE);
}

int positiveNumber(const std::string& text, const std::string& what)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 1 || value > 100000) {
        throw Failure("bad " + what + " '" + text + "'.");
    }
    return static_cast<int>(value);
}

} // namespace

int main(int argc, char** argv)
{
    Request r;
    bool compare = false;
    bool run = false;
    harness::Match match = harness::Match::Exact;
    std::vector<std::string> positional;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string word = argv[i];
            const auto value = [&]() -> std::string {
                if (i + 1 >= argc) {
                    usage();
                }
                return argv[++i];
            };
            if (word == "--run") {
                run = true;
                positional.assign(argv + i + 1, argv + argc);
                break;
            }
            if (word == "--compare") {
                compare = true;
            } else if (word == "--tolerant") {
                match = harness::Match::Tolerant;
            } else if (word == "--close") {
                match = harness::Match::Close;
            } else if (word == "--display") {
                r.display = value();
            } else if (word == "--private-display") {
                r.privateDisplay = true;
            } else if (word == "--size") {
                const std::string size = value();
                const std::size_t x = size.find('x');
                if (x == std::string::npos) {
                    throw Failure("bad size '" + size + "'; give it as WIDTHxHEIGHT.");
                }
                r.width = positiveNumber(size.substr(0, x), "width");
                r.height = positiveNumber(size.substr(x + 1), "height");
            } else if (word == "--keys") {
                const std::string keys = value();
                std::size_t start = 0;
                while ((start = keys.find_first_not_of(' ', start)) != std::string::npos) {
                    const std::size_t end = keys.find(' ', start);
                    r.keys.push_back(keys.substr(start, end - start));
                    start = end;
                }
            } else if (word == "--title") {
                r.title = value();
            } else if (word == "--settle") {
                r.settle = true;
            } else if (word == "--timeout") {
                r.timeoutSeconds = positiveNumber(value(), "timeout");
            } else if (word == "--timeout-hint") {
                r.timeoutHint = value();
            } else if (word == "--name") {
                r.name = value();
            } else if (word.rfind("--", 0) == 0) {
                usage();
            } else {
                positional.push_back(word);
            }
        }
        if (run) {
            if (positional.empty()) {
                usage();
            }
            signal(SIGTERM, stopStarted);
            signal(SIGINT, stopStarted);
            signal(SIGHUP, stopStarted);
            return runOnPrivateDisplay(positional, r.timeoutSeconds);
        }
        if (compare) {
            if (positional.size() < 2 || positional.size() > 3) {
                usage();
            }
            return comparePictures(positional, match);
        }
        if (positional.size() != 2) {
            usage();
        }
        if (r.settle && r.title.empty()) {
            throw Failure("--settle needs --title: the window is found by its title.");
        }
        r.program = positional[0];
        r.out = positional[1];
        signal(SIGTERM, stopStarted);
        signal(SIGINT, stopStarted);
        signal(SIGHUP, stopStarted);
        takePicture(r);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << r.name << ": " << oneLine(error.what()) << "\n";
        return compare ? CANNOT_COMPARE : 1;
    }
}
