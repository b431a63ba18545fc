#include "epub/epub_packager.h"

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/platform/platform.h"

namespace packager {

namespace {

constexpr std::string_view kWorkspaceRootName = "TavrinEpubTemp";
constexpr std::string_view kWorkspaceLockName = "TavrinEpubTemp.lock";

}  // namespace

bool isFlowPageName(const std::string& name) {
    return name.starts_with("Flow_") && fs::path(name).extension() == ".xhtml";
}

EpubPackager::EpubPackager() {
    if (auto temporary = platform::userTempFolder()) {
        baseTempDir_ = standardizePath(temporary->string()) / kWorkspaceRootName;
        epubTempDir_ = baseTempDir_ / EpubPackagerFileUtility::randomFileName();
    }
}

EpubPackager EpubPackager::initWithSource(const std::string& source, const std::string& destination) {
    EpubPackager packager;
    packager.sourceDir_ = standardizePath(source);
    packager.destDir_ = standardizePath(destination);
    packager.readXml(packager.sourceDir_ / "AssetList.xml");
    return packager;
}

void EpubPackager::readXml(const fs::path& assetListFile) {
    if (exists(assetListFile) && !isFolder(assetListFile))
        pgwAssetList_ = AssetHelper::assetArrayWithContentsOfFileURL(assetListFile);
}

std::uint32_t EpubPackager::initializeComponents() { return initializeComponents(platform::bundleFolder()); }

std::uint32_t EpubPackager::initializeComponents(const std::optional<fs::path>& bundle) {
    if (!bundle) return EBOOKPACKAGER_CANNOT_INITIALIZE;
    appDir_ = *bundle;
    templatesDir_ = appDir_ / "Resources" / "Templates";
    if (!exists(templatesDir_)) return EBOOKPACKAGER_TEMPLATES_MISSING;
    return setupEpubTempDir();
}

std::uint32_t EpubPackager::setupEpubTempDir() {
    if (baseTempDir_.empty()) return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    // The root's name is the same for every run of the user: wait for a run
    // that is still using it rather than deleting its workspace.
    auto lock = platform::WorkspaceLock::acquire(baseTempDir_.parent_path() / kWorkspaceLockName);
    if (!lock) return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    workspaceLock.emplace(std::move(*lock));
    if (isFolder(baseTempDir_)) EpubPackagerFileUtility::remove(baseTempDir_);
    // What remains at the root after the removal (another user's folder in a
    // shared temporary folder) must not receive the book's files.
    if (!EpubPackagerFileUtility::createDirectoryAtPath(baseTempDir_) || !platform::isPrivateFolder(baseTempDir_)) {
        workspaceLock.reset();
        return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    }
    return EBOOKPACKAGER_OK;
}

void EpubPackager::tearDownEpubTempDir() {
    if (!workspaceLock) return;  // the workspace was never made by this packager
    EpubPackagerFileUtility::remove(baseTempDir_);
    workspaceLock.reset();
}

void EpubPackager::deleteComponents() { tearDownEpubTempDir(); }

}  // namespace packager
