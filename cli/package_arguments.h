#pragma once

#include <optional>
#include <span>
#include <string>

#include "ebookpackager.h"

// The command lines of `epub` and `blio`, understood once for the commands
// themselves and for the lines of a batch file. On failure the parsers leave a
// one-line reason in `problem` and answer nothing.

// The ePub settings a host would pass, from command-line flags.
struct EpubCommandLine {
    std::string exportFolder;
    std::string destination;
    EpubOptions options{};
};

struct BlioCommandLine {
    std::string exportFolder;
    std::string destination;
};

std::optional<EpubCommandLine> parseEpubCommandLine(std::span<const std::string> arguments, std::string& problem);
std::optional<BlioCommandLine> parseBlioCommandLine(std::span<const std::string> arguments, std::string& problem);
