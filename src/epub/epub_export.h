#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/assets/asset.h"
#include "epub/metadata_reader.h"

namespace packager {

// An export folder as an ePub run reads it, once, before anything is written.
struct EpubExport {
    std::filesystem::path folder;  // standardised
    std::vector<Asset> assets;     // from "AssetList.xml"; none when it is missing or a folder
    MetaDataReader metadata;       // "OEBPS/Metadata.xml" over the defaults

    // The reflow folder: pages, style sheets, images, navigation.
    std::filesystem::path reflowFolder() const { return folder / "OEBPS"; }
};

EpubExport readEpubExport(const std::string& folder);

// "Flow_" followed by anything, with the extension exactly "xhtml".
bool isFlowPageName(const std::string& name);

}  // namespace packager
