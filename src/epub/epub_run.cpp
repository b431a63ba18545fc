#include "epub/epub_run.h"

#include "common/file/file_io.h"
#include "common/file/run_checks.h"
#include "common/platform/platform.h"
#include "epub/epub_package_run.h"
#include "epub/epub_packager.h"

namespace packager {

namespace {

constexpr BundleFile kMediaTypes[] = {{"Resources/MediaTypes.xml", EBOOKPACKAGER_MEDIA_TYPES_MISSING}};

bool hasFlowPage(const fs::path& reflowFolder) {
    for (const fs::path& entry : listFolder(reflowFolder))
        if (isFlowPageName(entry.filename().string())) return true;
    return false;
}

}  // namespace

std::uint32_t createEPubPackage(const std::string& source, const std::string& destination, const EpubOptions& options) {
    return createEPubPackage(source, destination, options, platform::bundleFolder());
}

std::uint32_t createEPubPackage(const std::string& source, const std::string& destination, const EpubOptions& options,
                                const std::optional<fs::path>& bundle) {
    CheckedRun checked = checkRun(source, destination, "epub", bundle, kMediaTypes);
    if (checked.code != EBOOKPACKAGER_OK) return checked.code;
    Delivery& delivery = *checked.delivery;
    // A linked OEBPS would bring in a folder from anywhere: it counts as missing.
    if (!isPlainFolder(fs::path(source) / "OEBPS")) return EBOOKPACKAGER_REFLOW_FOLDER_MISSING;
    if (!hasFlowPage(fs::path(source) / "OEBPS")) return EBOOKPACKAGER_REFLOW_FILES_MISSING;

    EpubPackager packager = EpubPackager::initWithSource(source, delivery.package.parent_path().string());
    if (std::uint32_t code = packager.initializeComponents(bundle); code != EBOOKPACKAGER_OK) return code;
    packager.setDestFileName(delivery.package.filename().string());

    // A step that cannot write what the book needs ends the run: a book
    // missing a part is not delivered, and the destination stays as it was.
    if (!packager.createEPubStructure() || !packager.copyResources(options) || !packager.createBookCover(options) ||
        !packager.createTableOfContents(options.epubVersion) || !packager.createContentOPF(options))
        return EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
    if (!packager.generateEpubFile()) return EBOOKPACKAGER_DESTINATION_NOT_WRITABLE;
    delivery.folder.keep();
    return EBOOKPACKAGER_OK;
}

}  // namespace packager
