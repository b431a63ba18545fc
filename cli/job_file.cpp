#include "job_file.h"

#include <span>
#include <string_view>

#include "package_arguments.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Far beyond any real job line or back catalogue; they stop a job file such
// as /dev/zero from being read forever.
constexpr std::size_t kMaxLineLength = 64 * 1024;
constexpr std::size_t kMaxLines = 10'000'000;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class LineRead { line, tooLong, end };

// The next line, without its line feed, read no further than kMaxLineLength.
LineRead readLine(std::istream& in, std::string& line) {
    line.clear();
    char c;
    while (in.get(c)) {
        if (c == '\n') return LineRead::line;
        if (line.size() == kMaxLineLength) return LineRead::tooLong;
        line += c;
    }
    return line.empty() ? LineRead::end : LineRead::line;
}

// The words must be a command line `ebookpack` itself would accept.
bool checkCommand(const std::vector<std::string>& words, std::string& problem) {
    std::span<const std::string> arguments(words.begin() + 1, words.end());
    if (words[0] == "epub") return parseEpubCommandLine(arguments, problem).has_value();
    if (words[0] == "blio") return parseBlioCommandLine(arguments, problem).has_value();
    problem = "unknown command '" + words[0] + "' (a job is epub or blio)";
    return false;
}

}  // namespace

std::optional<std::vector<std::string>> splitJobLine(const std::string& line, std::string& problem) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\0') {
            problem = "NUL byte in the line";
            return std::nullopt;
        }
        if (quoted) {
            if (c == '"') quoted = false;
            else if (c == '\\' && i + 1 < line.size()) word += line[++i];
            else word += c;
        } else if (isBlank(c)) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == '"') quoted = true;
            else word += c;
        }
    }
    if (quoted) {
        problem = "unterminated double quote";
        return std::nullopt;
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

std::optional<std::vector<Job>> readJobs(std::istream& in, JobFileProblem& problem) {
    std::vector<Job> jobs;
    std::string line;
    for (std::size_t lineNumber = 1;; ++lineNumber) {
        const LineRead read = readLine(in, line);
        if (read == LineRead::end) break;
        problem.lineNumber = lineNumber;
        if (read == LineRead::tooLong) {
            problem.reason = "line longer than " + std::to_string(kMaxLineLength) + " bytes";
            return std::nullopt;
        }
        if (lineNumber > kMaxLines) {
            problem.reason = "more than " + std::to_string(kMaxLines) + " lines";
            return std::nullopt;
        }
        // Editors on some systems start a UTF-8 file with a byte-order mark.
        if (lineNumber == 1 && line.starts_with(kByteOrderMark)) line.erase(0, kByteOrderMark.size());
        std::string_view text = line;
        auto first = text.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || text[first] == '#') continue;
        auto words = splitJobLine(line, problem.reason);
        if (!words || !checkCommand(*words, problem.reason)) return std::nullopt;
        jobs.push_back(Job{lineNumber, std::move(*words)});
    }
    if (in.bad()) {
        problem = {0, "cannot be read"};
        return std::nullopt;
    }
    return jobs;
}
