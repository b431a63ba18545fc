// ebookpack: the library's packagers from a shell or a batch job.
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"

namespace {

constexpr Command kCommands[] = {
    {"epub", "EXPORT DEST [--epub-version 2|3] [--fixed-layout] [--orientation auto|landscape|portrait]\n"
             "           [--spread auto|none|left|right] [--page-size WxH] [--layout-variant N]",
     "package an export folder as an ePub", runEpub},
    {"blio", "EXPORT DEST", "update the export's XPS with its enhanced content and copy it to DEST", runBlio},
    {"message", "CODE", "print the message of a result code", runMessage},
};

void printUsage(std::ostream& out) {
    out << "Usage: ebookpack COMMAND ARGUMENTS...\n"
           "       ebookpack --help | --version\n\nCommands:\n";
    for (const auto& command : commands())
        out << "  " << command.name << " " << command.arguments << "\n      " << command.summary << "\n";
    out << "\nOn failure the library's message goes to standard error and the exit status is its result code.\n";
}

}  // namespace

std::span<const Command> commands() { return kCommands; }

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
