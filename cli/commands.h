#pragma once

#include <span>
#include <string>
#include <string_view>

// Exit status for a command line that cannot be understood; the library's own
// result codes stay below it.
inline constexpr int kUsageError = 64;

// Prints "ebookpack: <problem>" to standard error.
void printProblem(std::string_view problem);

inline int usageError(std::string_view problem) {
    printProblem(problem);
    return kUsageError;
}

struct Command {
    std::string_view name;
    std::string_view arguments;  // shown in the usage text
    std::string_view summary;
    int (*run)(std::span<const std::string> arguments);
};

std::span<const Command> commands();

int runMessage(std::span<const std::string> arguments);
int runEpub(std::span<const std::string> arguments);
int runBlio(std::span<const std::string> arguments);
int runBatch(std::span<const std::string> arguments);
