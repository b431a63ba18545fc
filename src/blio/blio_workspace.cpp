#include "blio/asset_list.h"

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/file/run_checks.h"
#include "common/platform/platform.h"
#include "ebookpackager.h"

namespace packager {

namespace {

// Template folders that belong to other packagers and stay out of the package.
constexpr std::string_view kForeignTemplateFolders[] = {"ePub", "Video"};

}  // namespace

AssetList::AssetList() {
    if (auto temporary = platform::userTempFolder()) tempDir_ = standardizePath(temporary->string());
}

AssetList AssetList::initWithSource(const std::string& source, const std::string& destination) {
    AssetList list;
    list.sourceDir_ = standardizePath(source);
    list.destDir_ = standardizePath(destination);
    return list;
}

void AssetList::readXml(const fs::path& assetListFile) {
    if (!exists(assetListFile) || isFolder(assetListFile)) return;
    for (Asset& asset : AssetHelper::assetArrayWithContentsOfFileURL(assetListFile))
        pgwAssetList_.push_back(std::move(asset));
}

std::uint32_t AssetList::initializeComponents() { return initializeComponents(platform::bundleFolder()); }

std::uint32_t AssetList::initializeComponents(const std::optional<fs::path>& bundle) {
    if (std::uint32_t code = checkBundle(bundle); code != EBOOKPACKAGER_OK) return code;
    appDir_ = *bundle;
    templatesDir_ = templatesFolder(appDir_);
    return setupBlioTempDir();
}

// The workspace is the staging tree itself: a leftover of an earlier run would
// go into the package.
std::uint32_t AssetList::setupBlioTempDir() {
    if (std::uint32_t code = Workspace::make(blioTempDir(), Workspace::Leftover::fatal, workspace);
        code != EBOOKPACKAGER_OK)
        return code;
    auto fail = [this](std::uint32_t code) {
        workspace.reset();
        return code;
    };
    if (!EpubPackagerFileUtility::createDirectoryAtPath(enhancedContentDir() / "VideoAssets"))
        return fail(EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE);
    const fs::path overlayAssets = enhancedContentDir() / "OverlayAssets";
    if (!EpubPackagerFileUtility::copy(templatesDir_, overlayAssets)) return fail(EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE);
    for (std::string_view folder : kForeignTemplateFolders) {
        const fs::path copied = overlayAssets / folder;
        if (isFolder(copied) && !EpubPackagerFileUtility::remove(copied))
            return fail(EBOOKPACKAGER_CANNOT_REMOVE_WORKSPACE);
    }
    return EBOOKPACKAGER_OK;
}

}  // namespace packager
