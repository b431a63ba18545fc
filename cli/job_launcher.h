#pragma once

#include <sys/types.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

// How a child run of ebookpack ended.
struct JobOutcome {
    int exitCode = 0;  // its exit status when it exited
    int signal = 0;    // the signal that ended it, else 0
    std::string output;  // what it wrote to standard output and error (the tail, when long)

    bool succeeded() const { return signal == 0 && exitCode == 0; }
};

// Runs jobs as child processes of this very program, so that each can be given
// a temporary folder of its own: the library's workspace lives there, and runs
// with different workspaces do not wait for each other. Safe to use from
// several threads.
class JobLauncher {
public:
    // Runs `ebookpack WORDS...` with TMPDIR set to `tempFolder` and waits for
    // it. Nothing once stop() has been called, or when no child could be
    // started (`problem` then says why).
    std::optional<JobOutcome> run(const std::vector<std::string>& words, const std::filesystem::path& tempFolder,
                                  std::string& problem);

    // Terminates the running children and refuses to start new ones. Callable
    // from any thread; their runs report the signal.
    void stop();

private:
    // The child's id, or nothing when stopped or when fork() failed (`problem` then says why).
    std::optional<pid_t> start(char* const* argv, char* const* envp, int output, std::string& problem);
    // Waits for the child and records how it ended.
    void reap(pid_t child, JobOutcome& outcome);

    std::mutex mutex;
    std::set<pid_t> running;  // started and not yet reaped, so never a reused id
    bool stopped = false;
};
