#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace packager::testing {

// What a child process is made to suffer from its first instruction on.
struct ChildLimits {
    // Lets file permissions bind the child even when it runs as root, so that
    // a read-only folder is read-only to it.
    bool obeyPermissions = false;
};

struct ChildOutcome {
    bool exited = false;   // ended by exit(); `code` holds its status
    int code = -1;
    int signal = 0;        // the signal that ended it, if any
    bool timedOut = false; // still running at the deadline, then killed
    std::chrono::duration<double> elapsed{};
};

// A program run in a child process with the test's environment (TMPDIR
// included), its output appended to `log`. The destructor kills and reaps a
// child still running, so no test leaves one behind.
class ChildProcess {
public:
    static std::optional<ChildProcess> start(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                                             const std::filesystem::path& log, const ChildLimits& limits = {});

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&&) = delete;
    ~ChildProcess();

    // True while the child has not ended; never blocks.
    bool running();
    void kill();
    // Waits for the end, killing the child once `timeout` has passed.
    ChildOutcome wait(std::chrono::seconds timeout = std::chrono::seconds(120));

private:
    explicit ChildProcess(pid_t pid);
    pid_t pid = -1;
    std::chrono::steady_clock::time_point started;
    std::optional<int> status;  // set once reaped
};

}  // namespace packager::testing
