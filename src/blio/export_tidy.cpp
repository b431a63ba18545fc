
#include <algorithm>
#include <system_error>

#include "blio/asset_list.h"
#include "blio/lower_cased.h"
#include "common/file/file_io.h"
#include "common/file/file_utility.h"

namespace packager {

namespace {

// True when `inner` is `outer` or lies below it, compared by name.
bool isWithin(const fs::path& inner, const fs::path& outer) {
    auto [outerEnd, innerAt] = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return outerEnd == outer.end();
}

}  // namespace

void AssetList::cleanup() {
    if (destFileName_.empty() || lowerCased(sourceDir_.string()) != lowerCased(destDir_.string())) return;
    const std::string keptPackage = lowerCased(destFileName_);
    const std::string keptAssets = lowerCased(fs::path(destFileName_).stem().string() + "_Assets");
    auto nameOf = [](const fs::path& entry) { return lowerCased(entry.filename().string()); };

    const std::vector<fs::path> entries = listFolder(destDir_);
    // Without the package the export is all the user has.
    const bool packageThere = std::any_of(entries.begin(), entries.end(), [&](const fs::path& entry) {
        std::error_code error;
        return nameOf(entry) == keptPackage && fs::is_regular_file(fs::symlink_status(entry, error));
    });
    if (!packageThere) return;

    for (const fs::path& entry : entries) {
        const std::string name = nameOf(entry);
        if (name == keptPackage || name == keptAssets) continue;
        // A temporary folder set inside the export holds this run's workspace.
        std::error_code error;
        if (isWithin(tempDir_, fs::absolute(entry, error))) continue;
        // Removes a link itself, never what it points to.
        EpubPackagerFileUtility::remove(entry);
    }
}

}  // namespace packager
