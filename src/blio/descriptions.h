#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "blio/description_document.h"
#include "common/assets/asset.h"

namespace packager {

// The enhanced-content descriptions of a run: "OverlayContent.xml" and
// "VideoContent.xml" in `folder`, held in memory while assets are described
// and written by saveDescriptions.
class Descriptions {
public:
    explicit Descriptions(std::filesystem::path folder);

    // Add one description; paths are relative to the enhanced-content folder.
    void mapAssetToBlio(const Asset& asset, const std::string& assetPath);
    void mapVideoToBlio(const Asset& asset, const std::string& assetPath, const std::string& previewImage);

    // True when every description is on disk; later ones start again from the files.
    bool saveDescriptions();

private:
    std::filesystem::path folder;
    std::optional<DescriptionDocument> overlayContent;
    std::optional<DescriptionDocument> videoContent;
};

}  // namespace packager
