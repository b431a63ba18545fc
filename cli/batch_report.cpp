#include "batch_report.h"

#include <string_view>

namespace {

constexpr std::string_view kMessagePrefix = "ebookpack: ";

// The last non-empty line a job printed: its package's path on success, the
// library's message on failure.
std::string lastLine(std::string_view output) {
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.remove_suffix(1);
    auto newline = output.find_last_of('\n');
    std::string_view line = newline == std::string_view::npos ? output : output.substr(newline + 1);
    if (line.starts_with(kMessagePrefix)) line.remove_prefix(kMessagePrefix.size());
    return std::string(line);
}

std::string failureMessage(const JobOutcome& outcome) {
    std::string message = lastLine(outcome.output);
    if (!message.empty()) return message;
    if (outcome.signal != 0) return "ended by signal " + std::to_string(outcome.signal);
    return "ended without a message";
}

}  // namespace

BatchReport::BatchReport(std::ostream& out, std::string jobFileName, std::size_t total)
    : out(out), jobFileName(std::move(jobFileName)), total(total) {}

void BatchReport::finished(const Job& job, const JobOutcome& outcome) {
    if (!outcome.succeeded()) {
        std::string code = outcome.signal != 0 ? "signal " + std::to_string(outcome.signal)
                                               : std::to_string(outcome.exitCode);
        failed(job, code, failureMessage(outcome));
        return;
    }
    std::string written = lastLine(outcome.output);
    std::lock_guard lock(mutex);
    ++reported;
    ++succeeded;
    out << "[" << reported << "/" << total << "] ok " << written << std::endl;
}

void BatchReport::notStarted(const Job& job, const std::string& problem) { failed(job, "not started", problem); }

void BatchReport::failed(const Job& job, const std::string& code, const std::string& message) {
    std::string failure = "(" + code + ") " + jobFileName + ":" + std::to_string(job.lineNumber) + ": " + message;
    std::lock_guard lock(mutex);
    ++reported;
    out << "[" << reported << "/" << total << "] failed " << failure << std::endl;
    failures.push_back(std::move(failure));
}

void BatchReport::printSummary() {
    std::lock_guard lock(mutex);
    out << "done " << succeeded << ", failed " << failures.size();
    if (reported < total) out << ", not run " << total - reported;
    out << "\n";
    for (const auto& failure : failures) out << "  failed " << failure << "\n";
    out.flush();
}

bool BatchReport::allSucceeded() const {
    std::lock_guard lock(mutex);
    return succeeded == total;
}
