#pragma once

#include <cstddef>
#include <istream>
#include <optional>
#include <string>
#include <vector>

// One line of a batch file: a packaging command as `ebookpack` would take it.
struct Job {
    std::size_t lineNumber = 0;     // 1-based, for messages
    std::vector<std::string> words;  // "epub" or "blio", then that command's arguments
};

// Why a batch file cannot be run, pointing at the line that says so.
struct JobFileProblem {
    std::size_t lineNumber = 0;  // 0 when the file itself cannot be read
    std::string reason;
};

// Splits one line into words. Words are separated by spaces or tabs; double
// quotes group a part of a word, spaces and '#' included, and inside them a
// backslash takes the next character literally (so \" and \\). Outside quotes
// every character is literal. Nothing, with the reason, for an unterminated
// quote or a NUL byte.
std::optional<std::vector<std::string>> splitJobLine(const std::string& line, std::string& problem);

// Reads every job, skipping blank lines and lines whose first non-blank
// character is '#', and checks each against its command's own parser, so a
// batch that would stop half-way on a typo is refused before anything runs.
// A leading UTF-8 byte-order mark is skipped; over-long lines, and files of
// more lines than any catalogue, are refused. The first problem found is
// stored in `problem`.
std::optional<std::vector<Job>> readJobs(std::istream& in, JobFileProblem& problem);
