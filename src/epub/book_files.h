#pragma once

#include <filesystem>
#include <set>

namespace packager {

// Files placed in the book's OEBPS folder, by their paths inside it. Paths
// compare element by element, so the set holds them in the order a walk of
// the folder in name order meets them: the order the book lists them in.
using BookFiles = std::set<std::filesystem::path>;

}  // namespace packager
