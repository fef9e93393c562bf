// harness.cpp - the private X server, the lesson processes and the image
// helpers declared in harness.h.
#include "harness.h"

#include "frame_record.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

#ifndef LESSON_HARNESS_FRAME_NOTIFY
#error "LESSON_HARNESS_FRAME_NOTIFY must name the frame notifier library (CMake sets it)"
#endif

namespace harness {
namespace {

// How often the loops that cannot block on a descriptor look again.
constexpr Milliseconds POLL_INTERVAL(10);

// How long a stopped Xvfb may take to end before it is killed.
constexpr Milliseconds XVFB_STOP_TIMEOUT(5000);

// A program that draws no frame for this long has handled all the input
// it was sent.
constexpr Milliseconds INPUT_QUIET(150);

// How much of a program's output goes into an error message.
constexpr std::size_t OUTPUT_TAIL = 4000;

// The notifier is preloaded; ASan insists on coming first among the
// preloaded libraries unless told otherwise, which matters when the
// lessons are built with -fsanitize=address.
constexpr const char* ASAN_LINK_ORDER_OFF = "verify_asan_link_order=0";

// ---------------------------------------------------------------------------
// X errors

// Xlib's default error handler ends the process.  A test must instead see
// a failing request as a failure, so errors are only recorded here and
// looked at after XSync.
int lastXError = 0;

int recordXError(Display*, XErrorEvent* event)
{
    lastXError = event->error_code;
    return 0;
}

// Runs request and XSync; throws if the server answered with an error.
template <typename Request> void checkedX(Display* display, const char* what, Request request)
{
    lastXError = 0;
    request();
    XSync(display, False);
    if (lastXError != 0) {
        char text[256];
        XGetErrorText(display, lastXError, text, sizeof text);
        throw HarnessError(std::string("X request failed: ") + what + ": " + text);
    }
}

// ---------------------------------------------------------------------------
// Processes

Milliseconds remaining(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? left : Milliseconds(0);
}

std::string tail(const std::string& text)
{
    if (text.size() <= OUTPUT_TAIL) {
        return text;
    }
    return "..." + text.substr(text.size() - OUTPUT_TAIL);
}

std::string temporaryRoot()
{
    const char* tmp = std::getenv("TMPDIR");
    return (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
}

// A new empty file for a process's output; its path.
std::string makeLogFile(const std::string& prefix)
{
    std::string path = temporaryRoot() + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0) {
        throw HarnessError("cannot create a log file under " + temporaryRoot() + ": " +
                           std::strerror(errno));
    }
    ::close(fd);
    return buffer.data();
}

std::string environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Replaces the child with `argv`, output to `logFd`, input from
// /dev/null.  Only async-signal-safe calls after fork.
[[noreturn]] void execChild(std::vector<char*>& argv, std::vector<char*>& envp, int logFd,
                            int deathSignal)
{
    setpgid(0, 0);
    // If the test program dies, its servers and lessons go with it.
    prctl(PR_SET_PDEATHSIG, deathSignal);
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
    }
    if (logFd >= 0) {
        dup2(logFd, STDOUT_FILENO);
        dup2(logFd, STDERR_FILENO);
    }
    execvpe(argv[0], argv.data(), envp.data());
    const char* message = "harness: cannot execute ";
    (void)!write(STDERR_FILENO, message, std::strlen(message));
    (void)!write(STDERR_FILENO, argv[0], std::strlen(argv[0]));
    (void)!write(STDERR_FILENO, "\n", 1);
    _exit(127);
}

ExitStatus decodeStatus(int status)
{
    ExitStatus result;
    if (WIFEXITED(status)) {
        result.exited = true;
        result.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

// Orphaned grandchildren (a wrapper's child that outlives the wrapper)
// become this process's children, so that they can be waited for.
void becomeSubreaper()
{
    static const bool done = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    (void)done;
}

int shiftOf(unsigned long mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// Scales a channel of the given mask to 0..255.
std::uint8_t channel(unsigned long value, unsigned long mask)
{
    if (mask == 0) {
        return 0;
    }
    const int shift = shiftOf(mask);
    const unsigned long maximum = mask >> shift;
    const unsigned long level = (value & mask) >> shift;
    return static_cast<std::uint8_t>((level * 255 + maximum / 2) / maximum);
}

} // namespace

// ---------------------------------------------------------------------------
// Images

std::string toString(const Rgb& colour)
{
    return "(" + std::to_string(colour.r) + ", " + std::to_string(colour.g) + ", " +
           std::to_string(colour.b) + ")";
}

Image::Image(int width, int height)
    : width_(width), height_(height),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
{
    if (width < 0 || height < 0) {
        throw HarnessError("an image cannot have a negative size");
    }
}

Rgb Image::pixel(int x, int y) const
{
    if (!contains(x, y)) {
        throw HarnessError("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                           ") lies outside the " + std::to_string(width_) + " x " +
                           std::to_string(height_) + " image");
    }
    return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                   static_cast<std::size_t>(x)];
}

void Image::setPixel(int x, int y, Rgb colour)
{
    if (!contains(x, y)) {
        throw HarnessError("pixel (" + std::to_string(x) + ", " + std::to_string(y) +
                           ") lies outside the image");
    }
    pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
            static_cast<std::size_t>(x)] = colour;
}

std::size_t Image::distinctColours() const
{
    std::set<std::uint32_t> colours;
    for (const Rgb& c : pixels_) {
        colours.insert((std::uint32_t(c.r) << 16) | (std::uint32_t(c.g) << 8) | c.b);
    }
    return colours.size();
}

void Image::writePpm(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width_ << " " << height_ << "\n255\n";
    for (const Rgb& c : pixels_) {
        out.put(static_cast<char>(c.r)).put(static_cast<char>(c.g)).put(static_cast<char>(c.b));
    }
    if (!out) {
        throw HarnessError("cannot write " + path);
    }
}

Image readPpm(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return parsePpm(bytes.str());
}

Image parsePpm(const std::string& bytes)
{
    std::istringstream in(bytes);
    std::string magic;
    int width = 0, height = 0, maximum = 0;
    in >> magic >> width >> height >> maximum;
    in.get(); // the one white space character before the pixels
    if (!in || magic != "P6" || maximum != 255 || width <= 0 || height <= 0) {
        return Image();
    }
    Image result(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            char rgb[3];
            if (!in.read(rgb, sizeof rgb)) {
                return Image();
            }
            result.setPixel(x, y,
                            Rgb{static_cast<std::uint8_t>(rgb[0]),
                                static_cast<std::uint8_t>(rgb[1]),
                                static_cast<std::uint8_t>(rgb[2])});
        }
    }
    return result;
}

namespace {

bool pixelsDiffer(const Rgb& a, const Rgb& b, Match match)
{
    if (match == Match::Exact) {
        return a != b;
    }
    // Off when a channel differs by more than the percentage of 255, in
    // integers: 100 |d| > percent x 255.
    const auto off = [](int p, int q) {
        return 100 * std::abs(p - q) > TOLERATED_CHANNEL_PERCENT * 255;
    };
    return off(a.r, b.r) || off(a.g, b.g) || off(a.b, b.b);
}

void checkSameSize(const Image& a, const Image& b)
{
    if (a.width() != b.width() || a.height() != b.height()) {
        throw HarnessError("cannot compare a " + std::to_string(a.width()) + " x " +
                           std::to_string(a.height()) + " image with a " +
                           std::to_string(b.width()) + " x " + std::to_string(b.height()) + " one");
    }
}

} // namespace

Comparison comparePictures(const Image& a, const Image& b, Match match)
{
    checkSameSize(a, b);
    Comparison result;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            result.differing += pixelsDiffer(a.pixel(x, y), b.pixel(x, y), match) ? 1 : 0;
        }
    }
    const std::size_t pixels =
        static_cast<std::size_t>(a.width()) * static_cast<std::size_t>(a.height());
    if (match == Match::Tolerant) {
        result.allowed = pixels * TOLERATED_SHARE_PERCENT / 100;
    } else if (match == Match::Close) {
        result.allowed = pixels * TOLERATED_CLOSE_SHARE_PER_MILLE / 1000;
    }
    return result;
}

Image differencePicture(const Image& a, const Image& b, Match match)
{
    checkSameSize(a, b);
    const Rgb marked{255, 0, 0};
    const auto fade = [](std::uint8_t level) {
        return static_cast<std::uint8_t>(255 - (255 - level) / 4);
    };
    Image result(a.width(), a.height());
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const Rgb p = a.pixel(x, y);
            result.setPixel(x, y,
                            pixelsDiffer(p, b.pixel(x, y), match)
                                ? marked
                                : Rgb{fade(p.r), fade(p.g), fade(p.b)});
        }
    }
    return result;
}

std::size_t countDifferentPixels(const Image& a, const Image& b)
{
    return comparePictures(a, b, Match::Exact).differing;
}

// ---------------------------------------------------------------------------
// Commands

bool commandExists(const std::string& command)
{
    if (command.find('/') != std::string::npos) {
        return access(command.c_str(), X_OK) == 0;
    }
    std::istringstream path(environmentValue("PATH"));
    std::string directory;
    while (std::getline(path, directory, ':')) {
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + command;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

std::string runCommand(const std::vector<std::string>& command, Milliseconds timeout,
                       std::string* errors)
{
    if (command.empty()) {
        throw HarnessError("runCommand: no command given");
    }
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw HarnessError(std::string("cannot create a pipe: ") + std::strerror(errno));
    }
    std::vector<std::string> words = command;
    std::vector<char*> argv = pointers(words);
    std::vector<std::string> env = environmentWith({});
    std::vector<char*> envp = pointers(env);

    const pid_t pid = fork();
    if (pid < 0) {
        throw HarnessError(std::string("cannot fork: ") + std::strerror(errno));
    }
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execChild(argv, envp, -1, SIGKILL);
    }
    ::close(out[1]);
    ::close(err[1]);

    std::string output, errorText;
    const Clock::time_point deadline = Clock::now() + timeout;
    bool outOpen = true, errOpen = true, timedOut = false;
    while (outOpen || errOpen) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(remaining(deadline).count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            timedOut = true;
            break;
        }
        char buffer[65536];
        for (int i = 0; i < 2; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) {
                continue;
            }
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                (i == 0 ? output : errorText).append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                (i == 0 ? outOpen : errOpen) = false;
            }
        }
    }
    ::close(out[0]);
    ::close(err[0]);
    if (timedOut) {
        kill(-pid, SIGKILL);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (errors != nullptr) {
        *errors = errorText;
    }
    if (timedOut) {
        throw HarnessError("'" + command[0] + "' did not finish within " +
                           std::to_string(timeout.count()) + " ms");
    }
    const ExitStatus result = decodeStatus(status);
    if (!result.exited || result.code != 0) {
        throw HarnessError("'" + command[0] + "' failed (" + result.describe() +
                           "): " + tail(errorText));
    }
    return output;
}

std::string makeTemporaryDirectory(const std::string& prefix)
{
    std::string path = temporaryRoot() + "/" + prefix + "-XXXXXX";
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw HarnessError("cannot create a directory under " + temporaryRoot() + ": " +
                           std::strerror(errno));
    }
    return buffer.data();
}

std::string ExitStatus::describe() const
{
    if (exited) {
        return "exit code " + std::to_string(code);
    }
    if (signal != 0) {
        return "signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
    }
    return "no exit status";
}

// ---------------------------------------------------------------------------
// Process helpers

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string>
environmentWith(const std::vector<std::pair<std::string, std::string>>& changes,
                const std::vector<std::string>& droppedPrefixes)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        const bool replaced = std::any_of(changes.begin(), changes.end(), [&](const auto& change) {
            return change.first == name;
        });
        const bool dropped = std::any_of(droppedPrefixes.begin(), droppedPrefixes.end(),
                                         [&](const std::string& prefix) {
                                             return name.compare(0, prefix.size(), prefix) == 0;
                                         });
        if (!replaced && !dropped) {
            result.push_back(text);
        }
    }
    for (const auto& change : changes) {
        result.push_back(change.first + "=" + change.second);
    }
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& words)
{
    std::vector<char*> result;
    for (std::string& word : words) {
        result.push_back(&word[0]);
    }
    result.push_back(nullptr);
    return result;
}

bool waitForChild(pid_t pid, Clock::time_point deadline, ExitStatus* status)
{
    for (;;) {
        int raw = 0;
        const pid_t done = waitpid(pid, &raw, WNOHANG);
        if (done == pid) {
            if (status != nullptr) {
                *status = decodeStatus(raw);
            }
            return true;
        }
        if (done < 0 && errno != EINTR) {
            return true; // not our child, or already reaped: nothing to wait for
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(POLL_INTERVAL);
    }
}

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
    std::vector<std::string> words = {"Xvfb",
                                      "-displayfd",
                                      std::to_string(ready[1]),
                                      "-nolisten",
                                      "tcp",
                                      "-screen",
                                      "0",
                                      std::to_string(width) + "x" + std::to_string(height) + "x24"};
    std::vector<char*> argv = pointers(words);
    std::vector<std::string> env = environmentWith({});
    std::vector<char*> envp = pointers(env);
    const int logFd = open(log.c_str(), O_WRONLY | O_CLOEXEC);

    server_ = fork();
    if (server_ < 0) {
        throw HarnessError(std::string("cannot fork: ") + std::strerror(errno));
    }
    if (server_ == 0) {
        fcntl(ready[1], F_SETFD, 0); // Xvfb writes its display number here
        execChild(argv, envp, logFd, SIGTERM);
    }
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
            kill(server_, SIGKILL);
            waitpid(server_, nullptr, 0);
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

    XSetErrorHandler(recordXError);
    connection_ = XOpenDisplay(name_.c_str());
    if (connection_ == nullptr) {
        kill(server_, SIGKILL);
        waitpid(server_, nullptr, 0);
        throw HarnessError("Xvfb started at " + name_ + " but refuses connections");
    }
}

VirtualDisplay::VirtualDisplay(const std::string& existing) : name_(existing)
{
    XSetErrorHandler(recordXError);
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
            kill(server_, SIGKILL);
            waitpid(server_, nullptr, 0);
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
    std::vector<std::string> env = environmentWith(changes);
    std::vector<char*> argv = pointers(words);
    std::vector<char*> envp = pointers(env);
    const int logFd = open(logPath_.c_str(), O_WRONLY | O_CLOEXEC);

    pid_ = fork();
    if (pid_ < 0) {
        std::remove(logPath_.c_str());
        throw HarnessError(std::string("cannot fork: ") + std::strerror(errno));
    }
    if (pid_ == 0) {
        if (options_.reportsFrames) {
            fcntl(frames[1], F_SETFD, 0); // the notifier writes here
        }
        execChild(argv, envp, logFd, SIGKILL);
    }
    setpgid(pid_, pid_); // also in the child: whichever runs first
    ::close(frames[1]);
    if (logFd >= 0) {
        ::close(logFd);
    }
    frameFd_ = frames[0];

    if (!options_.waitForFirstFrame || !options_.reportsFrames) {
        return;
    }
    try {
        readFrames(
            Clock::now() + options_.startTimeout,
            [this] {
                return frames_ >= 1;
            },
            "its first frame", true);
        checkMapped();
    } catch (...) {
        // The destructor will not run: release everything here, and let
        // the first error, which carries the program's output, through.
        try {
            stop(Milliseconds(2000));
        } catch (...) {
        }
        ::close(frameFd_);
        frameFd_ = -1;
        std::remove(logPath_.c_str());
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
    try {
        stop(Milliseconds(2000));
    } catch (...) {
        // A destructor must not throw; stop() already did what it could.
    }
    if (frameFd_ >= 0) {
        ::close(frameFd_);
    }
    if (!logPath_.empty()) {
        std::remove(logPath_.c_str());
    }
}

std::string Lesson::output() const
{
    return readFile(logPath_);
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
    if (!thenRepaint) {
        return;
    }
    // Each input may ask for a frame, and the toolkit merges requests
    // that come faster than it draws, so the frames say only that some of
    // the input has been handled.  Wait until no frame has come for a
    // while, ask for one more, and accept it only if the program stays
    // quiet after it too: a program that was merely kept off the processor
    // with input still to handle would draw again.
    const Clock::time_point deadline = Clock::now() + options_.timeout;
    for (;;) {
        unsigned seen = 0;
        do {
            if (Clock::now() >= deadline) {
                throw HarnessError(describeFailure("it kept drawing after the input"));
            }
            seen = frames_;
            drainFrames(INPUT_QUIET);
        } while (frames_ != seen);
        repaint();
        const unsigned repainted = frames_;
        if (drainFrames(INPUT_QUIET) == repainted) {
            return;
        }
    }
}

ExitStatus Lesson::waitForExit()
{
    return finish(Clock::now() + options_.timeout);
}

void Lesson::waitForFrames(unsigned count)
{
    readFrames(
        Clock::now() + options_.timeout,
        [&] {
            return frames_ >= count;
        },
        "frame number " + std::to_string(count), true);
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
    Image result(area.width, area.height);
    for (int row = 0; row < area.height; ++row) {
        for (int column = 0; column < area.width; ++column) {
            const unsigned long value = XGetPixel(picture, column, row);
            result.setPixel(column, row,
                            Rgb{channel(value, picture->red_mask),
                                channel(value, picture->green_mask),
                                channel(value, picture->blue_mask)});
        }
    }
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
    XEvent note = {};
    note.xclient.type = ClientMessage;
    note.xclient.window = window_;
    note.xclient.message_type = XInternAtom(x, "LESSON_HARNESS_REPAINT", False);
    note.xclient.format = 32;
    note.xclient.data.l[0] = REPAINT_MESSAGE_MAGIC;
    note.xclient.data.l[1] = static_cast<long>(request);
    checkedX(x, "XSendEvent", [&] {
        XSendEvent(x, window_, False, NoEventMask, &note);
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
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window_;
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    checkedX(x, "XSendEvent(WM_DELETE_WINDOW)", [&] {
        XSendEvent(x, window_, False, NoEventMask, &event);
    });
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

std::string unexpectedOutput(const std::string& output)
{
    static const char* const ON_PURPOSE[] = {"Colour key (the strip on the right): ", "f is ",
                                             " cells are left out: "};
    std::string kept;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        end = end == std::string::npos ? output.size() : end + 1;
        const std::string line = output.substr(start, end - start);
        bool meant = false;
        for (const char* phrase : ON_PURPOSE) {
            const std::size_t at = line.find(phrase);
            meant = meant || at == 0 || (phrase[0] == ' ' && at != std::string::npos);
        }
        if (!meant) {
            kept += line;
        }
        start = end;
    }
    return kept;
}

} // namespace harness
