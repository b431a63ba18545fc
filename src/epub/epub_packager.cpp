#include "epub/epub_packager.h"

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/file/run_checks.h"
#include "common/platform/platform.h"

namespace packager {

namespace {

constexpr std::string_view kWorkspaceRootName = "TavrinEpubTemp";

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
    if (std::uint32_t code = checkBundle(bundle); code != EBOOKPACKAGER_OK) return code;
    appDir_ = *bundle;
    templatesDir_ = templatesFolder(appDir_);
    return setupEpubTempDir();
}

// The run works in a fresh folder below the root, so a leftover of an earlier
// run that cannot be removed does it no harm.
std::uint32_t EpubPackager::setupEpubTempDir() {
    return Workspace::make(baseTempDir_, Workspace::Leftover::harmless, workspace);
}

}  // namespace packager
