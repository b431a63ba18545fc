#include "blio/asset_list.h"

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/platform/platform.h"
#include "ebookpackager.h"

namespace packager {

namespace {

constexpr std::string_view kWorkspaceLockName = "BlioTemp.lock";

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
    if (!bundle) return EBOOKPACKAGER_CANNOT_INITIALIZE;
    appDir_ = *bundle;
    templatesDir_ = appDir_ / "Resources" / "Templates";
    if (!exists(templatesDir_)) return EBOOKPACKAGER_TEMPLATES_MISSING;
    return setupBlioTempDir();
}

std::uint32_t AssetList::setupBlioTempDir() {
    if (tempDir_.empty()) return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    // "BlioTemp" is the same for every run of the user: wait for a run that
    // is still using it rather than deleting its workspace.
    if (!workspaceLock) {
        auto lock = platform::WorkspaceLock::acquire(tempDir_ / kWorkspaceLockName);
        if (!lock) return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
        workspaceLock.emplace(std::move(*lock));
    }
    auto fail = [this](std::uint32_t code) {
        workspaceLock.reset();
        return code;
    };

    if (isFolder(blioTempDir()) && !EpubPackagerFileUtility::remove(blioTempDir()))
        return fail(EBOOKPACKAGER_CANNOT_REMOVE_WORKSPACE);
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

void AssetList::tearDownBlioTempDir() {
    if (!workspaceLock) return;  // the workspace was never made by this object
    EpubPackagerFileUtility::remove(blioTempDir());
    workspaceLock.reset();
}

void AssetList::deleteComponents() {
    cleanup();
    tearDownBlioTempDir();
}

}  // namespace packager
