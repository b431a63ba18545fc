#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace packager::xps {

namespace fs = std::filesystem;

// Extracts the named entries of `archiveFile` below `folder` as
// archive::Archive::extract() does, on all cores: inflating large images is
// as costly as converting them. Each thread reads through its own handle on
// the archive. Returns the names extracted, in the order given.
std::vector<std::string> extractInParallel(const fs::path& archiveFile, const std::vector<std::string>& names,
                                           const fs::path& folder);

}  // namespace packager::xps
