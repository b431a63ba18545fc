#pragma once

#include <map>
#include <string>
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

// Every item below `folder` by relative path, files with their bytes and
// folders marked by a trailing "/": two snapshots differ when a run touched it.
using Snapshot = std::map<std::string, std::string>;
inline Snapshot snapshot(const fs::path& folder) {
    Snapshot items;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        std::string name = fs::relative(entry.path(), folder).generic_string();
        if (entry.is_directory()) items[name + "/"] = "";
        else items[name] = readText(entry.path());
    }
    return items;
}

}  // namespace packager::testing
