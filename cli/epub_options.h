#pragma once

#include <optional>
#include <span>
#include <string>

#include "ebookpackager.h"

// The ePub settings a host would pass, from command-line flags.
struct EpubCommandLine {
    std::string exportFolder;
    std::string destination;
    EpubOptions options{};
};

// Nothing, after printing the reason, when the flags are not understood.
std::optional<EpubCommandLine> parseEpubCommandLine(std::span<const std::string> arguments);
