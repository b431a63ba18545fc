#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace packager::fuzzing {

// A folder of this process's own below the user's temporary folder, made on
// first use and removed when the process exits normally. Targets write every
// file there, so parallel or crashed runs never touch the repository or each
// other.
const std::filesystem::path& scratchFolder();

// Writes the fuzz input to `name` inside the scratch folder and returns its path.
std::filesystem::path writeInput(const char* name, const std::uint8_t* data, std::size_t size);

}  // namespace packager::fuzzing
