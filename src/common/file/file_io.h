#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace packager {

namespace fs = std::filesystem;

// Whole-file reads and writes, and ordered folder walks.

std::optional<std::string> readFile(const fs::path& file);

// Writes to a temporary file in the same folder, flushes it and renames it over
// `file`, so a crash never leaves a truncated file behind.
bool writeFileAtomically(const fs::path& file, std::string_view bytes);

// Copies `from` to a temporary name beside `to`, then renames it into place:
// a failed copy leaves `to` as it was.
bool copyFileAtomically(const fs::path& from, const fs::path& to);

// Direct entries of a folder, sorted by name; empty when it cannot be listed.
std::vector<fs::path> listFolder(const fs::path& folder);

// Every entry below `folder`, as paths relative to it, each folder before its
// contents and names sorted within a folder. Symbolic links are left out, so a
// walk never leaves the tree or loops.
std::vector<fs::path> walkFolder(const fs::path& folder);

// Tilde expanded, "." and ".." resolved, redundant and trailing separators removed.
fs::path standardizePath(const std::string& path);

bool isFolder(const fs::path& path);
bool exists(const fs::path& path);  // also true for a dangling link

}  // namespace packager
