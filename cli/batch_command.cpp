// `ebookpack batch`: many packaging jobs, several at a time.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <csignal>
#include <fstream>
#include <iostream>
#include <optional>
#include <span>
#include <system_error>
#include <thread>
#include <variant>
#include <vector>

#include "batch_folder_lock.h"
#include "batch_report.h"
#include "commands.h"
#include "common/platform/platform.h"
#include "interrupt_watch.h"
#include "job_file.h"
#include "job_launcher.h"
#include "private_folder.h"

namespace {

// Far beyond any useful count; it stops a typo from forking a million processes.
constexpr unsigned kMaxWorkers = 256;
constexpr std::string_view kBatchFolderPrefix = "ebookpack-batch-";
// Exit status when a job failed or the batch could not run its jobs.
constexpr int kBatchFailed = 1;

struct BatchCommandLine {
    std::string jobFile;  // "-" is standard input
    unsigned workers = 0;
};

unsigned defaultWorkers() { return std::max(1u, std::thread::hardware_concurrency()); }

std::optional<BatchCommandLine> parseBatchCommandLine(std::span<const std::string> arguments, std::string& problem) {
    BatchCommandLine line{"", defaultWorkers()};
    bool haveJobFile = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (argument == "--jobs" || argument.starts_with("--jobs=")) {
            std::string_view value;
            if (argument != "--jobs") value = argument.substr(7);
            else if (i + 1 < arguments.size()) value = arguments[++i];
            unsigned workers = 0;
            auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), workers);
            if (error != std::errc() || end != value.data() + value.size() || workers < 1 || workers > kMaxWorkers) {
                problem = "--jobs needs a number from 1 to " + std::to_string(kMaxWorkers);
                return std::nullopt;
            }
            line.workers = workers;
        } else if (argument.starts_with("--") || haveJobFile) {
            problem = "unexpected argument '" + std::string(argument) + "'";
            return std::nullopt;
        } else {
            line.jobFile = argument;
            haveJobFile = true;
        }
    }
    if (!haveJobFile) {
        problem = "batch needs a job file";
        return std::nullopt;
    }
    return line;
}

// How messages name the job file.
std::string displayName(const std::string& jobFile) { return jobFile == "-" ? "stdin" : jobFile; }

// The jobs of the file, or the exit status after saying what is wrong with it.
std::variant<std::vector<Job>, int> loadJobs(const std::string& jobFile) {
    const std::string cannotRead = "cannot read the job file " + displayName(jobFile);
    std::ifstream file;
    if (jobFile != "-") {
        file.open(jobFile);
        if (!file) return usageError(cannotRead);
    }
    JobFileProblem problem;
    auto jobs = readJobs(jobFile == "-" ? std::cin : file, problem);
    if (jobs) return std::move(*jobs);
    if (problem.lineNumber == 0) return usageError(cannotRead);
    return usageError(displayName(jobFile) + ":" + std::to_string(problem.lineNumber) + ": " + problem.reason);
}

// Each worker takes the next job until none is left or the batch is stopped.
void work(const std::vector<Job>& jobs, std::atomic<std::size_t>& next, const PrivateFolder& tempFolder,
          JobLauncher& launcher, BatchReport& report) {
    for (std::size_t index = next++; index < jobs.size(); index = next++) {
        std::string problem;
        auto outcome = launcher.run(jobs[index].words, tempFolder.path(), problem);
        if (outcome) report.finished(jobs[index], *outcome);
        else if (!problem.empty()) report.notStarted(jobs[index], problem);
        else return;  // stopped
    }
}

int fail(const std::string& problem) {
    printProblem(problem);
    return kBatchFailed;
}

}  // namespace

int runBatch(std::span<const std::string> arguments) {
    std::string problem;
    auto line = parseBatchCommandLine(arguments, problem);
    if (!line) return usageError(problem);
    auto loaded = loadJobs(line->jobFile);
    if (auto* status = std::get_if<int>(&loaded)) return *status;
    const auto& jobs = std::get<std::vector<Job>>(loaded);

    // Watching starts before any folder exists, so an interruption always
    // finds its folders to remove.
    JobLauncher launcher;
    InterruptWatch watch([&launcher] { launcher.stop(); });
    // A reader that goes away (`| head`) must not kill the batch before it
    // has cleaned up; the progress lines are then simply lost.
    std::signal(SIGPIPE, SIG_IGN);

    auto base = packager::platform::userTempFolder();
    if (!base) return fail("cannot find a private temporary folder (check TMPDIR)");
    removeAbandonedBatchFolders(*base, kBatchFolderPrefix);
    auto batchFolder = PrivateFolder::create(*base, std::string(kBatchFolderPrefix), problem);
    if (!batchFolder) return fail(problem);
    auto inUse = BatchFolderLock::take(batchFolder->path(), problem);
    if (!inUse) return fail(problem);

    // Each worker's runs get a TMPDIR of their own, hence a workspace and a
    // workspace lock of their own, so the workers do not wait for each other.
    std::vector<PrivateFolder> workerFolders;
    std::size_t workers = std::min<std::size_t>(line->workers, jobs.size());
    for (std::size_t i = 0; i < workers; ++i) {
        auto folder = PrivateFolder::create(batchFolder->path(), "worker-", problem);
        if (!folder) return fail(problem);
        workerFolders.push_back(std::move(*folder));
    }

    BatchReport report(std::cout, displayName(line->jobFile), jobs.size());
    {
        std::atomic<std::size_t> next{0};
        std::vector<std::jthread> threads;
        try {
            for (const auto& folder : workerFolders)
                threads.emplace_back([&, worker = &folder] { work(jobs, next, *worker, launcher, report); });
        } catch (const std::system_error&) {
            // Fewer workers than asked for still finish the batch; none cannot.
            if (threads.empty()) return fail("cannot start a worker thread");
        }
    }  // joins the workers
    report.printSummary();
    if (int signal = watch.signal(); signal != 0) {
        workerFolders.clear();
        batchFolder.reset();
        dieOf(signal);
    }
    return report.allSucceeded() ? 0 : kBatchFailed;
}
