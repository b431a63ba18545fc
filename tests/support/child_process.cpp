#include "child_process.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace packager::testing {

namespace {

// Exit status of a child that could not be set up as asked.
constexpr int kSetupFailed = 125;

// Root ignores permission bits through these capabilities; dropping them from
// the bounding set keeps them from coming back at exec.
bool dropPermissionOverrides() {
    if (::geteuid() != 0) return true;
    for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
        if (::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) return false;
    return true;
}

// Runs in the forked child: only async-signal-safe calls until exec.
[[noreturn]] void becomeChild(char* const* argv, int logDescriptor, const ChildLimits& limits) {
    ::dup2(logDescriptor, STDOUT_FILENO);
    ::dup2(logDescriptor, STDERR_FILENO);
    if (limits.obeyPermissions && !dropPermissionOverrides()) ::_exit(kSetupFailed);
    ::execv(argv[0], argv);
    ::_exit(kSetupFailed);
}

}  // namespace

std::optional<ChildProcess> ChildProcess::start(const std::filesystem::path& program,
                                                const std::vector<std::string>& arguments,
                                                const std::filesystem::path& log, const ChildLimits& limits) {
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    const int logDescriptor = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logDescriptor < 0) return std::nullopt;
    const pid_t pid = ::fork();
    if (pid == 0) becomeChild(argv.data(), logDescriptor, limits);
    ::close(logDescriptor);
    if (pid < 0) return std::nullopt;
    return ChildProcess(pid);
}

ChildProcess::ChildProcess(pid_t pid) : pid(pid), started(std::chrono::steady_clock::now()) {}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid(other.pid), started(other.started), status(other.status) {
    other.pid = -1;
}

ChildProcess::~ChildProcess() {
    if (pid > 0 && !status) {
        kill();
        wait();
    }
}

bool ChildProcess::running() {
    if (status) return false;
    int result = 0;
    if (::waitpid(pid, &result, WNOHANG) != pid) return true;
    status = result;
    return false;
}

void ChildProcess::kill() {
    if (!status) ::kill(pid, SIGKILL);
}

ChildOutcome ChildProcess::wait(std::chrono::seconds timeout) {
    ChildOutcome outcome;
    const auto deadline = started + timeout;
    while (running()) {
        if (std::chrono::steady_clock::now() > deadline && !outcome.timedOut) {
            outcome.timedOut = true;
            kill();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    outcome.elapsed = std::chrono::steady_clock::now() - started;
    if (WIFEXITED(*status)) {
        outcome.exited = true;
        outcome.code = WEXITSTATUS(*status);
    } else if (WIFSIGNALED(*status)) {
        outcome.signal = WTERMSIG(*status);
    }
    return outcome;
}

}  // namespace packager::testing
