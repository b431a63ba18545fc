#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "blio/description_document.h"
#include "common/assets/asset.h"
#include "common/file/workspace.h"

namespace packager {

namespace fs = std::filesystem;

// One Blio run: the paths and assets every step reads, and the steps that turn
// the assets into enhanced content and put it into the XPS package. Working
// steps report nothing; whatever fails is left out of the package. Destroying
// the object removes its workspace.
class AssetList {
public:
    // No source or destination; the workspace base is the user's temporary
    // folder (empty when there is none, which setup then refuses).
    AssetList();
    // Paths are standardised.
    static AssetList initWithSource(const std::string& source, const std::string& destination);

    AssetList(AssetList&&) = default;
    AssetList& operator=(AssetList&&) = delete;
    ~AssetList() = default;

    // Takes the resources of the bundle folder (the loaded library's when not
    // given): 8 without one, 7 without templates, else setupBlioTempDir().
    std::uint32_t initializeComponents();
    std::uint32_t initializeComponents(const std::optional<fs::path>& bundle);
    // Waits for other runs of the user, then rebuilds "BlioTemp" with its
    // staging tree and the copy of the viewer templates: 0, 9 or 10 (nothing
    // of it is left on failure).
    std::uint32_t setupBlioTempDir();

    // Appends the assets of the file when it is a file; a list that does not
    // parse adds nothing.
    void readXml(const fs::path& assetListFile);

    // Copies each asset's files into the enhanced-content folder, makes its
    // viewer page and describes it; then removes the templates no asset used.
    // An asset whose files cannot be read is left out; false when the
    // workspace could not take what the enhanced content needs.
    bool collectAssets();
    // Add one description to OverlayContent.xml or VideoContent.xml in the
    // workspace; paths are relative to the enhanced-content folder.
    void mapAssetToBlio(const Asset& asset, const std::string& assetPath);
    void mapVideoToBlio(const Asset& asset, const std::string& assetPath, const std::string& previewImage);
    // The descriptions are kept in memory while assets are added and written
    // here (collectAssets does so at its end); later ones start again from
    // the files. True when all are on disk.
    bool saveDescriptions();

    // Stages the export's KNFB files and the enhanced content into the XPS
    // file, updates it in place and copies it to the destination: 0 when the
    // updated package is there; 6 when the XPS could not be updated, which
    // leaves it as it was; 1 when the updated package could not be written to
    // the destination. Nothing is written at the destination unless whole.
    std::uint32_t embedDataInBlioPackage(const fs::path& xpsFile);

    // When the package was written into the export folder itself, removes every
    // other direct entry of it except the package's "_Assets" folder. Nothing
    // happens unless the package is there.
    void cleanup();

    const std::vector<Asset>& pgwAssetList() const { return pgwAssetList_; }
    std::size_t entries() const { return pgwAssetList_.size(); }
    const fs::path& appDir() const { return appDir_; }
    const fs::path& sourceDir() const { return sourceDir_; }
    const fs::path& destDir() const { return destDir_; }
    const std::string& destFileName() const { return destFileName_; }
    void setDestFileName(const std::string& name) { destFileName_ = name; }
    const fs::path& tempDir() const { return tempDir_; }
    const fs::path& templatesDir() const { return templatesDir_; }

    // The package's folder of Blio files, which every run rebuilds whole.
    static constexpr std::string_view kKnfbEntry = "Documents/1/Other/KNFB";

    // Places inside the workspace; the staging tree mirrors the package's entries.
    fs::path blioTempDir() const { return tempDir_ / "BlioTemp"; }
    fs::path stagingDir() const { return blioTempDir() / "xpsTemp"; }
    fs::path knfbDir() const { return stagingDir() / kKnfbEntry; }
    fs::path enhancedContentDir() const { return knfbDir() / "EnhancedContent"; }

private:
    std::vector<Asset> pgwAssetList_;
    fs::path appDir_;
    fs::path sourceDir_;
    fs::path destDir_;
    std::string destFileName_;
    fs::path tempDir_;
    fs::path templatesDir_;

    std::optional<Workspace> workspace;  // at blioTempDir(), once set up
    std::optional<DescriptionDocument> overlayContent_;
    std::optional<DescriptionDocument> videoContent_;
};

}  // namespace packager
