#include "job_launcher.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Enough for any message ebookpack prints; a runaway child cannot fill memory.
constexpr std::size_t kOutputLimit = 64 * 1024;

const char* const kSelf = "/proc/self/exe";

// An argv or envp array: the strings and the null-terminated pointers to them,
// built before fork() because the child may only make async-signal-safe calls.
class CStringArray {
public:
    explicit CStringArray(std::vector<std::string> strings) : strings(std::move(strings)) {
        for (auto& string : this->strings) pointers.push_back(string.data());
        pointers.push_back(nullptr);
    }
    CStringArray(CStringArray&&) = delete;  // the pointers point into the strings
    char* const* get() const { return pointers.data(); }

private:
    std::vector<std::string> strings;
    std::vector<char*> pointers;
};

CStringArray environmentWith(const std::filesystem::path& tempFolder) {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (std::strncmp(*variable, "TMPDIR=", 7) != 0) variables.emplace_back(*variable);
    variables.push_back("TMPDIR=" + tempFolder.string());
    return CStringArray(std::move(variables));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }
    int get() const { return fd; }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }

private:
    int fd;
};

// In the child between fork() and exec: only async-signal-safe calls.
[[noreturn]] void becomeJob(pid_t batch, int output, char* const* argv, char* const* envp) {
    // A batch killed outright must not leave its jobs running unattended.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != batch) ::_exit(127);
    // The batch blocks and ignores signals for its own sake; a job starts clean.
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &byDefault, nullptr);
    int input = ::open("/dev/null", O_RDONLY);
    if (input < 0 || ::dup2(input, STDIN_FILENO) < 0 || ::dup2(output, STDOUT_FILENO) < 0 ||
        ::dup2(output, STDERR_FILENO) < 0)
        ::_exit(127);
    ::execve(kSelf, argv, envp);
    ::_exit(127);
}

std::string errorText(int error) { return std::generic_category().message(error); }

std::string readAll(int fd) {
    std::string output;
    char buffer[4096];
    for (;;) {
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        output.append(buffer, static_cast<std::size_t>(count));
        if (output.size() > kOutputLimit) output.erase(0, output.size() - kOutputLimit);
    }
    return output;
}

}  // namespace

std::optional<JobOutcome> JobLauncher::run(const std::vector<std::string>& words,
                                           const std::filesystem::path& tempFolder, std::string& problem) {
    std::vector<std::string> arguments{"ebookpack"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    CStringArray argv(std::move(arguments));
    CStringArray envp = environmentWith(tempFolder);

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        problem = "cannot create a pipe: " + errorText(errno);
        return std::nullopt;
    }
    FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);
    auto child = start(argv.get(), envp.get(), writeEnd.get(), problem);
    if (!child) return std::nullopt;
    writeEnd.reset();  // so the read sees end of file when the child is done
    JobOutcome outcome;
    outcome.output = readAll(readEnd.get());
    reap(*child, outcome);
    return outcome;
}

std::optional<pid_t> JobLauncher::start(char* const* argv, char* const* envp, int output, std::string& problem) {
    pid_t batch = ::getpid();
    // Registering under the lock that stop() takes means no child is started
    // after stop() and none escapes it.
    std::lock_guard lock(mutex);
    if (stopped) return std::nullopt;
    pid_t child = ::fork();
    if (child == 0) becomeJob(batch, output, argv, envp);
    if (child < 0) {
        problem = "cannot start a job: " + errorText(errno);
        return std::nullopt;
    }
    running.insert(child);
    return child;
}

void JobLauncher::reap(pid_t child, JobOutcome& outcome) {
    // Wait without reaping first: while the id is still ours, stop() may signal it.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    {
        std::lock_guard lock(mutex);
        running.erase(child);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    else outcome.exitCode = WEXITSTATUS(status);
}

void JobLauncher::stop() {
    std::lock_guard lock(mutex);
    stopped = true;
    for (pid_t child : running) ::kill(child, SIGTERM);
}
