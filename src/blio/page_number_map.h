#pragma once

#include <cstddef>
#include <filesystem>

namespace packager {

// Writes the reader's page-number map: one "Page" per page, indexed from 0 and
// numbered (folio) from 1. False when the file could not be written.
bool writePageNumberMap(const std::filesystem::path& file, std::size_t pages);

}  // namespace packager
