#include "blio/blio_run.h"

#include "blio/blio_package_run.h"
#include "blio/blio_steps.h"
#include "common/file/file_io.h"
#include "common/file/run_checks.h"
#include "common/file/staged_file.h"
#include "common/platform/platform.h"
#include "ebookpackager.h"

namespace packager {

namespace {

// The first entry (in name order) whose extension is exactly "xps" and which
// is a regular file; none when there is no such entry. Anything else of that
// name counts as absent: a link, since the update would replace it by a file
// and publish whatever it led to, and a special file, which could block.
std::optional<fs::path> findXpsFile(const fs::path& sourceDir) {
    for (const fs::path& entry : listFolder(sourceDir))
        if (entry.extension() == ".xps" && isPlainFile(entry)) return entry;
    return std::nullopt;
}

}  // namespace

std::uint32_t createBlioPackage(const std::string& source, const std::string& destination) {
    return createBlioPackage(source, destination, platform::bundleFolder());
}

std::uint32_t createBlioPackage(const std::string& source, const std::string& destination,
                                const std::optional<fs::path>& bundle) {
    CheckedRun checked = checkRun(source, destination, "xps", bundle);
    if (checked.code != EBOOKPACKAGER_OK) return checked.code;
    Delivery& delivery = *checked.delivery;
    const fs::path sourceDir = standardizePath(source);
    if (!exists(sourceDir / "AssetList.xml")) return EBOOKPACKAGER_ASSET_LIST_MISSING;
    const std::optional<fs::path> xpsFile = findXpsFile(sourceDir);
    if (!xpsFile) return EBOOKPACKAGER_XPS_MISSING;

    // The export's XPS and metadata are replaced in place, beside what runs
    // killed while replacing them may have left.
    removeAbandonedTemporaries(sourceDir);
    const BlioExport exported{sourceDir, *xpsFile,
                              AssetHelper::assetArrayWithContentsOfFileURL(sourceDir / "AssetList.xml")};
    std::optional<Workspace> workspace;
    if (std::uint32_t code = setupBlioTempDir(inUserTempFolder("BlioTemp"), templatesFolder(*bundle), workspace);
        code != EBOOKPACKAGER_OK)
        return code;
    const BlioPlaces places{workspace->folder()};
    const fs::path package = delivery.target();

    if (!collectAssets(exported.assets, places)) return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    // Nothing is delivered and the export folder is not tidied, since the
    // user still needs it.
    if (std::uint32_t code = embedDataInBlioPackage(exported, places, package); code != EBOOKPACKAGER_OK) return code;
    cleanup(exported.folder, package, places.root.parent_path());
    delivery.folder.keep();
    return EBOOKPACKAGER_OK;
}

}  // namespace packager
