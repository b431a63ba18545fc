#pragma once

#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "job_file.h"
#include "job_launcher.h"

// The batch's progress lines and its closing summary. Workers call it from
// their own threads; each line is written whole.
class BatchReport {
public:
    // `jobFileName` and a job's line number locate each failure, as in "jobs.txt:4".
    BatchReport(std::ostream& out, std::string jobFileName, std::size_t total);

    // "[k/n] ok DEST" or "[k/n] failed (CODE) JOBS:LINE: message".
    void finished(const Job& job, const JobOutcome& outcome);
    // A job whose process could not be started counts as failed.
    void notStarted(const Job& job, const std::string& problem);

    // Counts, then each failure again; jobs never run (after an interruption)
    // are counted apart.
    void printSummary();

    bool allSucceeded() const;

private:
    void failed(const Job& job, const std::string& code, const std::string& message);

    mutable std::mutex mutex;
    std::ostream& out;
    std::string jobFileName;
    std::size_t total;
    std::size_t reported = 0;
    std::size_t succeeded = 0;
    std::vector<std::string> failures;
};
