#include "blio/blio_run.h"

#include "blio/asset_list.h"
#include "blio/blio_package_run.h"
#include "blio/lower_cased.h"
#include "common/on_scope_exit.h"
#include "common/file/file_io.h"
#include "common/file/writable_folder.h"
#include "common/platform/platform.h"
#include "ebookpackager.h"

namespace packager {

namespace {

// The destination with ".xps" appended unless its last component already ends
// in exactly ".xps" (the test is case-sensitive: "Book.XPS" gets one too).
std::string withXpsExtension(std::string destination) {
    const std::string name = destination.substr(destination.find_last_of('/') + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || name.substr(dot + 1) != "xps") destination += ".xps";
    return destination;
}

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
    if (!bundle) return EBOOKPACKAGER_CANNOT_INITIALIZE;
    if (!isFolder(*bundle / "Resources" / "Templates")) return EBOOKPACKAGER_TEMPLATES_MISSING;

    // An empty destination names no file at all.
    if (destination.empty()) return EBOOKPACKAGER_DESTINATION_NOT_WRITABLE;
    const fs::path target(withXpsExtension(destination));
    const std::string destinationFolder = target.parent_path().string();
    if (lowerCased(source) != lowerCased(target.string()) && !isWritableFolder(destinationFolder))
        return EBOOKPACKAGER_DESTINATION_NOT_WRITABLE;

    if (!isFolder(source)) return EBOOKPACKAGER_SOURCE_NOT_FOLDER;
    const fs::path sourceDir = standardizePath(source);
    if (!exists(sourceDir / "AssetList.xml")) return EBOOKPACKAGER_ASSET_LIST_MISSING;
    const std::optional<fs::path> xpsFile = findXpsFile(sourceDir);
    if (!xpsFile) return EBOOKPACKAGER_XPS_MISSING;

    AssetList list = AssetList::initWithSource(source, destinationFolder);
    if (std::uint32_t code = list.initializeComponents(bundle); code != EBOOKPACKAGER_OK) return code;
    const OnScopeExit removeWorkspace([&] { list.tearDownBlioTempDir(); });
    list.setDestFileName(target.filename().string());

    list.readXml(sourceDir / "AssetList.xml");
    list.collectAssets();
    // The source XPS is left as it was and nothing is delivered; the export
    // folder is not tidied, since the user still needs it.
    if (!list.embedDataInBlioPackage(*xpsFile)) return EBOOKPACKAGER_CANNOT_MODIFY_PACKAGE;
    list.deleteComponents();
    return EBOOKPACKAGER_OK;
}

}  // namespace packager
