#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/archive/archive.h"
#include "scratch.h"

namespace packager::testing {

// Entry names of a package; empty when it cannot be opened.
inline std::vector<std::string> entryNames(const fs::path& package) {
    auto archive = archive::Archive::open(package);
    return archive ? archive->entryNames() : std::vector<std::string>{};
}

// One entry's bytes; empty when the package or the entry cannot be read.
inline std::string entryText(const fs::path& package, const std::string& name) {
    auto archive = archive::Archive::open(package);
    if (!archive) return {};
    return archive->read(name).value_or("");
}

// Every item below `folder` with its bytes, to show that a run left it alone.
inline std::vector<std::pair<std::string, std::string>> snapshot(const fs::path& folder) {
    std::vector<std::pair<std::string, std::string>> items;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        items.emplace_back(entry.path().string(), entry.is_regular_file() ? readText(entry.path()) : "");
    std::sort(items.begin(), items.end());
    return items;
}

}  // namespace packager::testing
