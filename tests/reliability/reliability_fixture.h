#pragma once

// Shared by the fault and concurrency drivers: the two corpus books, runs of
// the real ebookpack, and the checks that tell a complete result from damage.

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "common/archive/archive.h"
#include "package_contents.h"

namespace packager::testing {

// One entry point and the corpus export it packages.
struct BookKind {
    std::string command;                     // ebookpack's command
    fs::path corpusExport;
    std::string extension;                   // of the package it writes
    std::vector<std::string> changedInPlace; // export files a run updates
    std::string xpsName;                     // the export's XPS, if any

    // The destination handed to the run and the file it names.
    fs::path package(const fs::path& folder) const { return folder / ("Book." + extension); }
    std::vector<std::string> arguments(const fs::path& exportFolder, const fs::path& folder,
                                       const std::string& name = "Book") const {
        return {command, exportFolder.string(), (folder / name).string()};
    }
};

inline BookKind epubBook() { return {"epub", corpusDir() / "export" / "sierra", "epub", {}, ""}; }
inline BookKind blioBook() {
    return {"blio", corpusDir() / "blio-export" / "book1", "xps", {"Metadata.xml", "book1.xps"}, "book1.xps"};
}

// A writable copy of a corpus export whose asset list names the copy.
inline void prepareExport(const BookKind& kind, const fs::path& to) {
    fs::remove_all(to);
    copyExportFolder(kind.corpusExport, to);
}

// What a run killed between staging a file and publishing it can leave beside
// the file, for the next run to remove.
inline bool isAbandonedTemporary(const std::string& name) {
    return name.starts_with(".ebookpack-") && name.ends_with(".tmp");
}

// A run names copied files and assets with 12 random hexadecimal digits; two
// complete runs differ only there.
inline std::string withoutRandomNames(const std::string& name) {
    auto isLowerHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    std::string result;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t end = i;
        while (end < name.size() && isLowerHex(name[end])) ++end;
        if (end == i) {
            result += name[i++];
            continue;
        }
        result += end - i == 12 ? std::string("*") : name.substr(i, end - i);
        i = end;
    }
    return result;
}

// The archive's entry names, random parts masked and sorted, or nothing when
// it does not open or any entry fails to read back whole (CRC, truncation).
inline std::optional<std::vector<std::string>> readableEntries(const fs::path& file) {
    auto archive = archive::Archive::open(file);
    if (!archive) return std::nullopt;
    std::vector<std::string> names;
    for (const std::string& name : archive->entryNames()) {
        if (!archive->read(name)) return std::nullopt;
        names.push_back(withoutRandomNames(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What an XPS must show once its update is complete.
inline bool holdsEnhancedContentWithoutTiff(const std::vector<std::string>& entries) {
    bool enhanced = false;
    for (std::string name : entries) {
        enhanced = enhanced || name.starts_with("Documents/1/Other/KNFB/");
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        if (name.ends_with(".tif") || name.ends_with(".tiff")) return false;
    }
    return enhanced;
}

}  // namespace packager::testing
