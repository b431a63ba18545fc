// ebookpack: the library's packagers from a shell or a batch job.
#include <cstdint>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "ebookpackager.h"
#include "text.h"

namespace {

constexpr Command kCommands[] = {
    {"epub", "EXPORT DEST [--epub-version 2|3] [--fixed-layout] [--orientation auto|landscape|portrait]\n"
             "           [--spread auto|none|left|right] [--page-size WxH] [--layout-variant N]",
     "package an export folder as an ePub", runEpub},
    {"blio", "EXPORT DEST", "update the export's XPS with its enhanced content and copy it to DEST", runBlio},
    {"batch", "JOBS [--jobs N]", "run the epub and blio jobs listed in the file JOBS, N at a time", runBatch},
    {"message", "CODE", "print the message of a result code", runMessage},
};

void printUsage(std::ostream& out) {
    out << "Usage: ebookpack COMMAND ARGUMENTS...\n"
           "       ebookpack --help | --version\n\nCommands:\n";
    for (const auto& command : commands())
        out << "  " << command.name << " " << command.arguments << "\n      " << command.summary << "\n";
    out << "\nOn failure the library's message goes to standard error and the exit status is its result code:\n";
    // Success has no message of its own: it shares the one of unknown codes.
    const std::string unknown = resultMessage(EBOOKPACKAGER_OK);
    for (std::uint32_t code = 1; code <= EBOOKPACKAGER_LAST_RESULT; ++code)
        if (std::string message = resultMessage(code); message != unknown)
            out << std::setw(4) << code << "  " << message << "\n";
    out << "A command line that cannot be understood exits with 64.\n"
           "\n"
           "A batch file holds one job per line: 'epub EXPORT DEST [options]' or 'blio EXPORT DEST'.\n"
           "Blank lines and lines starting with # are skipped. Words are separated by spaces; a\n"
           "path with spaces goes in double quotes (\"My Books/Book\"), inside which \\\" and \\\\\n"
           "stand for \" and \\. JOBS may be - for standard input. N defaults to the number of\n"
           "cores. Each job prints '[k/n] ok DEST' or '[k/n] failed (CODE) JOBS:LINE: message', and a\n"
           "summary follows. Exit status: 0 when every job succeeded, 1 when any failed, 64 when the\n"
           "command line or a line of JOBS cannot be understood (the line number is given).\n";
}

}  // namespace

std::span<const Command> commands() { return kCommands; }

void printProblem(std::string_view problem) { std::cerr << "ebookpack: " << problem << "\n"; }

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        printUsage(std::cerr);
        return kUsageError;
    }
    if (arguments[0] == "--help" || arguments[0] == "-h") {
        printUsage(std::cout);
        return 0;
    }
    if (arguments[0] == "--version") {
        std::cout << "ebookpack " << EBOOKPACK_VERSION << "\n";
        return 0;
    }
    for (const auto& command : commands())
        if (command.name == arguments[0]) return command.run(std::span(arguments).subspan(1));
    std::cerr << "ebookpack: unknown command '" << arguments[0] << "'\n";
    printUsage(std::cerr);
    return kUsageError;
}
