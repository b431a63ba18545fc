#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "blio/blio_workspace.h"
#include "common/assets/asset.h"

namespace packager {

// An export folder as a Blio run reads it, once, before anything is written.
struct BlioExport {
    fs::path folder;            // standardised
    fs::path xpsFile;           // the layout's package, updated in place
    std::vector<Asset> assets;  // from "AssetList.xml"
};

// The steps of a Blio run, in the order it takes them.

// Copies each asset's files into the workspace's enhanced-content folder,
// makes its viewer page and describes it; then removes the templates no asset
// used. An asset whose files cannot be read is left out; false when the
// workspace could not take what the enhanced content needs.
bool collectAssets(const std::vector<Asset>& assets, const BlioPlaces& places);

// Adds the export's KNFB files and the enhanced content to the XPS file,
// updates it in place and copies it to `package`: 0 when the updated package
// is there; 6 when the XPS could not be updated, which leaves it as it was;
// 1 when the updated package could not be written to `package`. Nothing is
// written there unless whole.
std::uint32_t embedDataInBlioPackage(const BlioExport& source, const BlioPlaces& places, const fs::path& package);

// When `package` was written into the export folder itself, removes every
// other direct entry of it except the package's "_Assets" folder and the
// user's temporary folder `tempFolder`. Nothing happens unless the package is
// there.
void cleanup(const fs::path& exportFolder, const fs::path& package, const fs::path& tempFolder);

}  // namespace packager
