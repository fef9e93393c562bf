// lesson.cpp - the private X server and a lesson program running on it.
#include "internal.h"

#include "frame_record.h"
#include "ximage.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#ifndef LESSON_HARNESS_FRAME_NOTIFY
#error "LESSON_HARNESS_FRAME_NOTIFY must name the frame notifier library (CMake sets it)"
#endif

namespace harness {
namespace {

// How long a stopped Xvfb may take to end before it is killed.
constexpr Milliseconds XVFB_STOP_TIMEOUT(5000);

// The notifier is preloaded; ASan insists on coming first among the
// preloaded libraries unless told otherwise, which matters when the
// lessons are built with -fsanitize=address.
constexpr const char* ASAN_LINK_ORDER_OFF = "verify_asan_link_order=0";

// For a server that must go at once.
void killAndReap(pid_t pid)
{
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Sends the window a ClientMessage of the type named, with two longs.
void sendClientMessage(Display* x, Window window, const char* type, long first, long second)
{
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, type, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = first;
    event.xclient.data.l[1] = second;
    checkedX(x, type, [&] {
        XSendEvent(x, window, False, NoEventMask, &event);
    });
}

} // namespace

// ---------------------------------------------------------------------------
// VirtualDisplay

VirtualDisplay::VirtualDisplay(int width, int height, Milliseconds timeout)
{
    if (!commandExists("Xvfb")) {
        throw HarnessError("Xvfb is not installed, so the programs cannot be run on a virtual "
                           "display: install the Debian package xvfb (scripts/setup does).");
    }
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        throw HarnessError(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    const std::string log = makeLogFile("xvfb");
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::vector<std::string> words = {
        "Xvfb", "-displayfd", std::to_string(ready[1]), "-nolisten", "tcp", "-screen", "0", screen};
    const int logFd = open(log.c_str(), O_WRONLY | O_CLOEXEC);
    // Xvfb writes its display number to ready[1].
    server_ = startProcess(words, environmentWith({}), {logFd, logFd, ready[1], SIGTERM});
    ::close(ready[1]);
    if (logFd >= 0) {
        ::close(logFd);
    }

    // Xvfb writes the display number and a newline once it accepts
    // connections.
    std::string number;
    const Clock::time_point deadline = Clock::now() + timeout;
    while (number.find('\n') == std::string::npos) {
        pollfd fd = {ready[0], POLLIN, 0};
        const int got = poll(&fd, 1, static_cast<int>(remaining(deadline).count()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        char buffer[32];
        const ssize_t n = got > 0 ? read(ready[0], buffer, sizeof buffer) : 0;
        if (n <= 0) {
            ::close(ready[0]);
            killAndReap(server_);
            const std::string output = readFile(log);
            std::remove(log.c_str());
            throw HarnessError(
                std::string("Xvfb ") +
                (got == 0 ? "did not start within " + std::to_string(timeout.count()) + " ms"
                          : "ended before it was ready") +
                ": " + tail(output));
        }
        number.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(ready[0]);
    std::remove(log.c_str());
    name_ = ":" + number.substr(0, number.find('\n'));

    recordXErrors();
    connection_ = XOpenDisplay(name_.c_str());
    if (connection_ == nullptr) {
        killAndReap(server_);
        throw HarnessError("Xvfb started at " + name_ + " but refuses connections");
    }
}

VirtualDisplay::VirtualDisplay(const std::string& existing) : name_(existing)
{
    recordXErrors();
    connection_ = XOpenDisplay(name_.c_str());
    if (connection_ == nullptr) {
        throw HarnessError("the display " + name_ + " does not answer");
    }
}

VirtualDisplay::~VirtualDisplay()
{
    if (connection_ != nullptr) {
        XCloseDisplay(connection_);
    }
    if (server_ > 0) {
        kill(server_, SIGTERM);
        // Xvfb ends within milliseconds; do not hang on it regardless.
        if (!waitForChild(server_, Clock::now() + XVFB_STOP_TIMEOUT)) {
            killAndReap(server_);
        }
    }
}

// ---------------------------------------------------------------------------
// Lesson

Lesson::Lesson(VirtualDisplay& display, LaunchOptions options)
    : display_(display), options_(std::move(options))
{
    if (access(options_.program.c_str(), X_OK) != 0) {
        throw HarnessError("the program '" + options_.program +
                           "' does not exist or cannot be run; build it first.");
    }
    if (!options_.wrapper.empty() && !commandExists(options_.wrapper[0])) {
        throw HarnessError("'" + options_.wrapper[0] + "' is not installed" +
                           (options_.wrapperPackage.empty()
                                ? std::string(".")
                                : ": install the Debian package " + options_.wrapperPackage +
                                      " (scripts/setup --tests does)."));
    }
    const std::string notifier = LESSON_HARNESS_FRAME_NOTIFY;
    if (options_.reportsFrames && access(notifier.c_str(), R_OK) != 0) {
        throw HarnessError("the frame notifier library '" + notifier + "' is missing; rebuild.");
    }
    becomeSubreaper();

    int frames[2];
    if (pipe2(frames, O_CLOEXEC) != 0) {
        throw HarnessError(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    logPath_ = makeLogFile("lesson");

    std::vector<std::string> words = options_.wrapper;
    words.push_back(options_.program);
    if (!options_.omitGeometry) {
        words.push_back("-geometry");
        words.push_back("+0+0");
    }
    words.insert(words.end(), options_.arguments.begin(), options_.arguments.end());

    const std::string preload = environmentValue("LD_PRELOAD");
    std::string asan = environmentValue("ASAN_OPTIONS");
    asan += (asan.empty() ? "" : ":") + std::string(ASAN_LINK_ORDER_OFF);
    std::vector<std::pair<std::string, std::string>> changes = {{"DISPLAY", display_.name()}};
    if (options_.reportsFrames) {
        changes.emplace_back("LD_PRELOAD", preload.empty() ? notifier : notifier + ":" + preload);
        changes.emplace_back(FRAME_FD_VARIABLE, std::to_string(frames[1]));
    }
    for (const auto& variable : options_.environment) {
        if (variable.first == "ASAN_OPTIONS") {
            asan += ":" + variable.second; // later options win
        } else {
            changes.push_back(variable);
        }
    }
    changes.emplace_back("ASAN_OPTIONS", asan);
    // What the lesson says to the learner goes to its standard output;
    // anything on its standard error is a report of something wrong.
    errorsPath_ = makeLogFile("lesson-errors");
    const int logFd = open(logPath_.c_str(), O_WRONLY | O_CLOEXEC);
    const int errorsFd = open(errorsPath_.c_str(), O_WRONLY | O_CLOEXEC);
    frameFd_ = frames[0];
    try {
        pid_ = startProcess(words, environmentWith(changes),
                            {logFd, errorsFd, options_.reportsFrames ? frames[1] : -1, SIGKILL});
        for (const int fd : {logFd, errorsFd, frames[1]}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        if (options_.waitForFirstFrame && options_.reportsFrames &&
            !awaitFirstFrame(options_.startTimeout)) {
            throw HarnessError(describeFailure("timed out waiting for its first frame"));
        }
    } catch (...) {
        // The destructor will not run: release everything here, and let
        // the first error, which carries the program's output, through.
        release();
        throw;
    }
}

void Lesson::checkMapped()
{
    // The first frame answers the first Expose, which only a mapped
    // window receives; check anyway rather than trust it.
    Display* x = display_.connection();
    XWindowAttributes attributes;
    checkedX(x, "XGetWindowAttributes", [&] {
        XGetWindowAttributes(x, window_, &attributes);
    });
    if (attributes.map_state != IsViewable) {
        throw HarnessError(describeFailure("its window is not mapped after the first frame"));
    }
}

bool Lesson::awaitFirstFrame(Milliseconds wait)
{
    if (!readFrames(
            Clock::now() + wait,
            [this] {
                return frames_ >= 1;
            },
            "its first frame", false)) {
        return false;
    }
    checkMapped();
    return true;
}

Lesson::~Lesson()
{
    release();
}

void Lesson::release()
{
    try {
        stop(Milliseconds(2000));
    } catch (...) {
        // Nothing may throw here; stop() already did what it could.
    }
    if (frameFd_ >= 0) {
        ::close(frameFd_);
        frameFd_ = -1;
    }
    if (!logPath_.empty()) {
        std::remove(logPath_.c_str());
        std::remove(errorsPath_.c_str());
    }
}

std::string Lesson::output() const
{
    return readFile(logPath_) + readFile(errorsPath_);
}

std::string Lesson::errors() const
{
    return readFile(errorsPath_);
}

std::string Lesson::describeFailure(const std::string& what) const
{
    std::string text = options_.program + ": " + what + ".";
    const std::string out = output();
    if (!out.empty()) {
        text += " Its output:\n" + tail(out);
    }
    return text;
}

bool Lesson::readFrames(Clock::time_point deadline, const std::function<bool()>& done,
                        const std::string& what, bool throwOnTimeout)
{
    while (!done()) {
        pollfd fd = {frameFd_, POLLIN, 0};
        const int ready = poll(&fd, 1, static_cast<int>(remaining(deadline).count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            if (throwOnTimeout) {
                throw HarnessError(describeFailure("timed out waiting for " + what + " (" +
                                                   std::to_string(frames_) +
                                                   " frames drawn so far)"));
            }
            return false;
        }
        FrameRecord record;
        std::size_t got = 0;
        while (got < sizeof record) {
            const ssize_t n =
                read(frameFd_, reinterpret_cast<char*>(&record) + got, sizeof record - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                reap(false, deadline);
                throw HarnessError(describeFailure(
                    "the program ended (" + (reaped_ ? status_.describe() : "still exiting") +
                    ") while the harness waited for " + what));
            }
            got += static_cast<std::size_t>(n);
        }
        if (record.magic != FRAME_RECORD_MAGIC) {
            throw HarnessError(describeFailure("garbled frame report from the notifier"));
        }
        if (window_ == 0) {
            window_ = record.window;
        } else if (record.window != window_) {
            throw HarnessError(describeFailure("a frame was drawn into a second window"));
        }
        frames_ = record.frame;
        repaintAnswered_ = record.repaint;
        lastFrameSize_ = Size{static_cast<int>(record.width), static_cast<int>(record.height)};
    }
    return true;
}

void Lesson::sendInput(const std::vector<std::string>& xdotoolWords, bool thenRepaint)
{
    if (!commandExists("xdotool")) {
        throw HarnessError("'xdotool' is not installed: install the Debian package xdotool "
                           "(scripts/setup does).");
    }
    Display* x = display_.connection();
    checkedX(x, "XSetInputFocus", [&] {
        XSetInputFocus(x, window_, RevertToPointerRoot, CurrentTime);
    });
    std::vector<std::string> command = {"env", "DISPLAY=" + display_.name(), "xdotool"};
    command.insert(command.end(), xdotoolWords.begin(), xdotoolWords.end());
    runCommand(command, options_.timeout);
    // xdotool waits for the server to take its input before it ends, and
    // the server hands the input's events to the program before it handles
    // any later request of ours.  So the program reads all of the input
    // before the repaint's note: the frame answering the note was drawn
    // after all of it, however the toolkit merged the frames between.
    if (thenRepaint) {
        repaint();
    }
}

ExitStatus Lesson::waitForExit()
{
    return finish(Clock::now() + options_.timeout);
}

unsigned Lesson::drainFrames(Milliseconds quiet)
{
    readFrames(
        Clock::now() + quiet,
        [] {
            return false;
        },
        "more frames", false);
    return frames_;
}

std::string Lesson::title() const
{
    Display* x = display_.connection();
    char* name = nullptr;
    checkedX(x, "XFetchName", [&] {
        XFetchName(x, window_, &name);
    });
    const std::string result = name != nullptr ? name : "";
    if (name != nullptr) {
        XFree(name);
    }
    return result;
}

Size Lesson::size() const
{
    Display* x = display_.connection();
    XWindowAttributes attributes;
    checkedX(x, "XGetWindowAttributes", [&] {
        XGetWindowAttributes(x, window_, &attributes);
    });
    return Size{attributes.width, attributes.height};
}

Point Lesson::position() const
{
    Display* x = display_.connection();
    int left = 0, top = 0;
    Window child;
    checkedX(x, "XTranslateCoordinates", [&] {
        XTranslateCoordinates(x, window_, DefaultRootWindow(x), 0, 0, &left, &top, &child);
    });
    return Point{left, top};
}

Image Lesson::capture() const
{
    Display* x = display_.connection();
    const Size area = size();
    XImage* picture = nullptr;
    checkedX(x, "XGetImage", [&] {
        picture = XGetImage(x, window_, 0, 0, static_cast<unsigned>(area.width),
                            static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
    });
    if (picture == nullptr) {
        throw HarnessError("XGetImage returned no image of the window");
    }
    Image result = imageOf(picture);
    XDestroyImage(picture);
    return result;
}

void Lesson::resize(int width, int height)
{
    const Size wanted{width, height};
    if (size() == wanted) {
        // The server sends no event for a resize to the size the window
        // already has, so no frame would come; a repaint is all it shows.
        repaint();
        return;
    }
    Display* x = display_.connection();
    const unsigned before = frames_;
    checkedX(x, "XResizeWindow", [&] {
        XResizeWindow(x, window_, static_cast<unsigned>(width), static_cast<unsigned>(height));
    });
    readFrames(
        Clock::now() + options_.timeout,
        [&] {
            return frames_ > before && lastFrameSize_ == wanted;
        },
        "a frame at " + std::to_string(width) + " x " + std::to_string(height), true);
    // That frame may have been drawn before the program saw the resize
    // and only shown after it, at the old size.  Every frame after it is
    // drawn after the program's reshape (the toolkit handles the resize
    // before anything that follows it), and a repaint makes sure there is
    // one.
    repaint();
}

void Lesson::repaint()
{
    Display* x = display_.connection();
    const std::uint32_t request = ++repaintsAsked_;
    // A numbered note, then an Expose for the whole window, as if it had
    // just been uncovered.  The program reads them in this order, so the
    // first frame reporting the number was drawn after this Expose, not
    // for an earlier event still on its way (see frame_notify.cpp).
    sendClientMessage(x, window_, "LESSON_HARNESS_REPAINT", REPAINT_MESSAGE_MAGIC,
                      static_cast<long>(request));
    checkedX(x, "XClearArea", [&] {
        XClearArea(x, window_, 0, 0, 0, 0, True);
    });
    readFrames(
        Clock::now() + options_.timeout,
        [&] {
            return repaintAnswered_ >= request;
        },
        "a repainted frame", true);
}

void Lesson::reap(bool block, Clock::time_point deadline)
{
    // Reap every process of the group that is our child: the program (or
    // its wrapper) and, once the wrapper is gone, an orphaned program.
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(-pid_, &status, WNOHANG);
        if (done == pid_) {
            reaped_ = true;
            status_ = decodeStatus(status);
            continue;
        }
        if (done > 0 || (done < 0 && errno == EINTR)) {
            continue;
        }
        if (done < 0 || !block || Clock::now() >= deadline) {
            return; // ECHILD: the group is empty; or not waiting
        }
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
}

ExitStatus Lesson::finish(Clock::time_point deadline)
{
    reap(true, deadline);
    if (!reaped_ || kill(-pid_, 0) == 0) {
        throw HarnessError(describeFailure("it did not end in time"));
    }
    return status_;
}

ExitStatus Lesson::stop(Milliseconds grace)
{
    if (pid_ <= 0) {
        return status_;
    }
    reap(false, Clock::now());
    if (kill(-pid_, SIGTERM) == 0) {
        reap(true, Clock::now() + grace);
        if (kill(-pid_, 0) == 0) {
            kill(-pid_, SIGKILL);
            reap(true, Clock::now() + grace);
        }
    }
    if (!reaped_) {
        reap(true, Clock::now() + grace);
    }
    return finish(Clock::now());
}

ExitStatus Lesson::close()
{
    if (!running()) {
        return status_;
    }
    Display* x = display_.connection();
    sendClientMessage(x, window_, "WM_PROTOCOLS",
                      static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False)), CurrentTime);
    try {
        return finish(Clock::now() + options_.timeout);
    } catch (...) {
        stop(Milliseconds(2000));
        throw;
    }
}

bool Lesson::running()
{
    reap(false, Clock::now());
    return !reaped_;
}
} // namespace harness
