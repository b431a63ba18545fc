#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

#include "common/file/workspace.h"

namespace packager {

namespace fs = std::filesystem;

// The package's folder of Blio files, which every run rebuilds whole.
inline constexpr std::string_view kKnfbEntry = "Documents/1/Other/KNFB";

// The places in a Blio run's workspace. The staging tree mirrors the
// package's entries; the description files and the filled-in metadata wait
// beside it until they are added.
struct BlioPlaces {
    fs::path root;

    fs::path staging() const { return root / "xpsTemp"; }
    fs::path knfb() const { return staging() / kKnfbEntry; }
    fs::path enhancedContent() const { return knfb() / "EnhancedContent"; }
};

// Makes the workspace at `root` ("BlioTemp" in the user's temporary folder),
// its staging tree holding the viewer templates copied from `templates`: 0,
// or 9 or 10 as Workspace::make gives them (nothing of it is left on failure).
std::uint32_t setupBlioTempDir(const fs::path& root, const fs::path& templates, std::optional<Workspace>& made);

}  // namespace packager
