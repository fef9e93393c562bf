// process.cpp - starting, waiting for and reading from other programs,
// and the files they leave.
#include "internal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace harness {
namespace {

// How much of a program's output goes into an error message.
constexpr std::size_t OUTPUT_TAIL = 4000;

std::string temporaryRoot()
{
    const char* tmp = std::getenv("TMPDIR");
    return (tmp != nullptr && *tmp != '\0') ? tmp : "/tmp";
}

// A new file or directory (`make` is mkstemp or mkdtemp, true if it made
// one) named prefix-XXXXXX under the temporary root; its path.
template <typename Make> std::string makeTemporary(const std::string& prefix, Make make)
{
    std::string path = temporaryRoot() + "/" + prefix + "-XXXXXX";
    if (!make(&path[0])) {
        throw HarnessError("cannot create " + path + ": " + std::strerror(errno));
    }
    return path;
}

// Null-terminated pointers into `words`, for execve and its kin.  Valid
// while `words` is unchanged.
std::vector<char*> pointers(std::vector<std::string>& words)
{
    std::vector<char*> result;
    for (std::string& word : words) {
        result.push_back(&word[0]);
    }
    result.push_back(nullptr);
    return result;
}

} // namespace

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

std::string makeLogFile(const std::string& prefix)
{
    return makeTemporary(prefix, [](char* path) {
        const int fd = mkstemp(path);
        return fd >= 0 && ::close(fd) == 0;
    });
}

std::string environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

pid_t startProcess(std::vector<std::string> command, std::vector<std::string> environment,
                   const ChildOutput& output)
{
    std::vector<char*> argv = pointers(command);
    std::vector<char*> envp = pointers(environment);
    const pid_t pid = fork();
    if (pid < 0) {
        throw HarnessError(std::string("cannot fork: ") + std::strerror(errno));
    }
    if (pid > 0) {
        setpgid(pid, pid); // also in the child: whichever runs first
        return pid;
    }
    // Only async-signal-safe calls from here on.
    setpgid(0, 0);
    // If the test program dies, its servers and lessons go with it.
    prctl(PR_SET_PDEATHSIG, output.deathSignal);
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
    }
    if (output.out >= 0) {
        dup2(output.out, STDOUT_FILENO);
    }
    if (output.errors >= 0) {
        dup2(output.errors, STDERR_FILENO);
    }
    if (output.inherited >= 0) {
        fcntl(output.inherited, F_SETFD, 0);
    }
    if (!output.coreFile) {
        const rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
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

void becomeSubreaper()
{
    static const bool done = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    (void)done;
}

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
    const pid_t pid = startProcess(command, environmentWith({}), {out[1], err[1]});
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

Finished runToEnd(std::vector<std::string> command, std::vector<std::string> environment,
                  Milliseconds limit, const std::string& logPath)
{
    const std::string log = logPath.empty() ? makeLogFile("harness-run") : logPath;
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw HarnessError("cannot write " + log + ": " + std::strerror(errno));
    }
    ChildOutput output{fd, fd};
    output.coreFile = false;
    Finished run;
    const Clock::time_point start = Clock::now();
    pid_t pid = -1;
    try {
        pid = startProcess(std::move(command), std::move(environment), output);
    } catch (const HarnessError&) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    run.hung = !waitForChild(pid, start + limit, &run.status);
    if (run.hung) {
        kill(-pid, SIGKILL);
        waitForChild(pid, Clock::time_point::max(), &run.status);
    }
    run.elapsed = since(start);
    run.output = readFile(log);
    if (logPath.empty()) {
        unlink(log.c_str());
    }
    return run;
}

std::string makeTemporaryDirectory(const std::string& prefix)
{
    return makeTemporary(prefix, [](char* path) {
        return mkdtemp(path) != nullptr;
    });
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
} // namespace harness
