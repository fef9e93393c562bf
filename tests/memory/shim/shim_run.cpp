// shim_run.cpp - a private Xvfb, and one run of a program under the frame
// shim with a timeout.  Every wait here is bounded, and every failure
// comes back as one sentence naming the cause and the fix.
#include "shim_run.h"

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int XVFB_START_TIMEOUT_MS = 10000;
constexpr int XVFB_STOP_TIMEOUT_MS = 5000;
constexpr int POLL_INTERVAL_MS = 5;
constexpr long NS_PER_S = 1000000000L;
constexpr long NS_PER_MS = 1000000L;
// Larger than any window of ours, so a window at +0+0 is wholly on the
// screen, which XGetImage needs.
constexpr const char* XVFB_SCREEN = "1024x768x24";
constexpr const char* XVFB_PACKAGE_HINT = "install the Debian package xvfb (scripts/setup does)";

std::string findOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream directories(path != nullptr ? path : "/usr/bin:/bin");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return "";
}

long long monotonicNs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * NS_PER_S + t.tv_nsec;
}

// Waits up to timeoutMs for the child to end.  Returns its wait status,
// or -1 if it is still running.
int waitWithTimeout(pid_t pid, long long timeoutMs)
{
    const long long deadline = monotonicNs() + timeoutMs * NS_PER_MS;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return status;
        }
        if (done < 0 && errno != EINTR) {
            return 0;
        }
        if (monotonicNs() >= deadline) {
            return -1;
        }
        usleep(POLL_INTERVAL_MS * 1000);
    }
}

void stopChild(pid_t pid)
{
    kill(pid, SIGTERM);
    if (waitWithTimeout(pid, XVFB_STOP_TIMEOUT_MS) == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(&s[0]);
    }
    result.push_back(nullptr);
    return result;
}

// The caller's environment without anything that would change the run,
// followed by the given settings.
std::vector<std::string> childEnvironment(const std::vector<std::string>& settings)
{
    static const char* const replaced[] = {"DISPLAY=", "LD_PRELOAD=", "VELMOR_SHIM_"};
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        bool keep = true;
        for (const char* prefix : replaced) {
            keep = keep && std::strncmp(*entry, prefix, std::strlen(prefix)) != 0;
        }
        if (keep) {
            result.emplace_back(*entry);
        }
    }
    result.insert(result.end(), settings.begin(), settings.end());
    return result;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

std::string describeStatus(int status)
{
    if (WIFEXITED(status)) {
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return std::string("was killed by signal ") + strsignal(WTERMSIG(status));
    }
    return "ended oddly";
}

} // namespace

const char* frameShimPath()
{
    return VELMOR_FRAME_SHIM_PATH;
}

PrivateDisplay::PrivateDisplay()
{
    const std::string xvfb = findOnPath("Xvfb");
    if (xvfb.empty()) {
        error_ = "Xvfb is not installed: " + std::string(XVFB_PACKAGE_HINT) + ".";
        return;
    }
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        error_ = std::string("cannot create a pipe for Xvfb: ") + std::strerror(errno) + ".";
        return;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        // Xvfb writes the display number it chose to this descriptor.
        close(pipeFds[0]);
        const int devNull = open("/dev/null", O_RDWR);
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
        const std::string fd = std::to_string(pipeFds[1]);
        execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", XVFB_SCREEN,
              "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        error_ = std::string("cannot fork to start Xvfb: ") + std::strerror(errno) + ".";
        return;
    }
    pid_ = pid;

    std::string number;
    const long long deadline = monotonicNs() + XVFB_START_TIMEOUT_MS * NS_PER_MS;
    while (number.find('\n') == std::string::npos) {
        const long long leftMs = (deadline - monotonicNs()) / NS_PER_MS;
        pollfd wait = {pipeFds[0], POLLIN, 0};
        if (leftMs <= 0 || poll(&wait, 1, static_cast<int>(leftMs)) <= 0) {
            break;
        }
        char buffer[16];
        const ssize_t got = read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        number.append(buffer, static_cast<size_t>(got));
    }
    close(pipeFds[0]);
    if (number.find('\n') == std::string::npos) {
        error_ = "Xvfb did not report a display within " +
                 std::to_string(XVFB_START_TIMEOUT_MS / 1000) +
                 " s; check that it starts by hand (Xvfb -displayfd 1).";
        stopChild(pid_);
        pid_ = -1;
        return;
    }
    name_ = ":" + number.substr(0, number.find('\n'));
}

PrivateDisplay::~PrivateDisplay()
{
    if (pid_ > 0) {
        stopChild(pid_);
    }
}

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

ShimRun runUnderShim(const PrivateDisplay& display, const ShimOptions& options)
{
    ShimRun run;
    if (!display.error().empty()) {
        run.error = display.error();
        return run;
    }
    if (access(options.program.c_str(), X_OK) != 0) {
        run.error = options.program + " is not built; build the project first.";
        return run;
    }
    if (access(frameShimPath(), R_OK) != 0) {
        run.error = std::string(frameShimPath()) + " is not built; build the project first.";
        return run;
    }

    std::string base = options.program.substr(options.program.find_last_of('/') + 1);
    const std::string reportPath = options.workDirectory + "/" + base + ".report";
    const std::string logPath = options.workDirectory + "/" + base + ".log";
    std::remove(reportPath.c_str());

    std::vector<std::string> argv = {options.program};
    argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());
    std::vector<std::string> settings = {
        "DISPLAY=" + display.name(),
        std::string("LD_PRELOAD=") + frameShimPath(),
        "VELMOR_SHIM_FRAMES=" + std::to_string(options.frames),
        "VELMOR_SHIM_RSS_FRAME=" + std::to_string(options.rssFrame),
        "VELMOR_SHIM_REPORT=" + reportPath,
    };
    settings.insert(settings.end(), options.environment.begin(), options.environment.end());
    if (!options.capturePrefix.empty()) {
        settings.push_back("VELMOR_SHIM_CAPTURE=" + options.capturePrefix);
    }
    // The launch time goes last and is taken as late as possible, so the
    // first frame is timed from the fork of the program, not from here.
    settings.push_back("VELMOR_SHIM_START_NS=" + std::to_string(monotonicNs()));
    std::vector<std::string> environment = childEnvironment(settings);
    std::vector<char*> argvPointers = pointers(argv);
    std::vector<char*> environmentPointers = pointers(environment);

    const pid_t pid = fork();
    if (pid == 0) {
        const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
        execve(argvPointers[0], argvPointers.data(), environmentPointers.data());
        _exit(127);
    }
    if (pid < 0) {
        run.error = std::string("cannot fork: ") + std::strerror(errno) + ".";
        return run;
    }
    const int status = waitWithTimeout(pid, options.timeoutSeconds * 1000LL);
    if (status == -1) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        run.output = readFile(logPath);
        run.error = base + " did not finish " + std::to_string(options.frames) + " frames within " +
                    std::to_string(options.timeoutSeconds) + " s.";
        return run;
    }
    run.output = readFile(logPath);

    std::istringstream lines(readFile(reportPath));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        std::string& value = run.report[line.substr(0, equals)];
        value += (value.empty() ? "" : ", ") + line.substr(equals + 1);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !run.has("complete")) {
        run.error = base + " " + describeStatus(status) +
                    " without a complete report; its output: " + run.output;
    }
    return run;
}
