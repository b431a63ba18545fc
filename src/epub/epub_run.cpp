#include "epub/epub_run.h"

#include "common/on_scope_exit.h"
#include "common/file/file_io.h"
#include "common/file/destination_folder.h"
#include "common/platform/platform.h"
#include "epub/epub_package_run.h"
#include "epub/epub_packager.h"

namespace packager {

namespace {

constexpr std::uint32_t kDestinationNotWritable = EBOOKPACKAGER_DESTINATION_NOT_WRITABLE;
constexpr std::uint32_t kMediaTypesMissing = EBOOKPACKAGER_MEDIA_TYPES_MISSING;
constexpr std::uint32_t kSourceNotFolder = EBOOKPACKAGER_SOURCE_NOT_FOLDER;
constexpr std::uint32_t kTemplatesMissing = EBOOKPACKAGER_TEMPLATES_MISSING;
constexpr std::uint32_t kCannotInitialize = EBOOKPACKAGER_CANNOT_INITIALIZE;
constexpr std::uint32_t kCannotCreateWorkspace = EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE;
constexpr std::uint32_t kReflowFolderMissing = EBOOKPACKAGER_REFLOW_FOLDER_MISSING;
constexpr std::uint32_t kReflowFilesMissing = EBOOKPACKAGER_REFLOW_FILES_MISSING;

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
    if (!bundle) return kCannotInitialize;
    if (!exists(*bundle / "Resources" / "MediaTypes.xml")) return kMediaTypesMissing;
    if (!isFolder(*bundle / "Resources" / "Templates")) return kTemplatesMissing;

    std::optional<Delivery> delivery = prepareDelivery(source, destination, "epub");
    if (!delivery) return kDestinationNotWritable;
    const std::string destinationFolder = delivery->package.parent_path().string();

    if (!isFolder(source)) return kSourceNotFolder;
    // A linked OEBPS would bring in a folder from anywhere: it counts as missing.
    if (!isPlainFolder(fs::path(source) / "OEBPS")) return kReflowFolderMissing;
    if (!hasFlowPage(fs::path(source) / "OEBPS")) return kReflowFilesMissing;

    EpubPackager packager = EpubPackager::initWithSource(source, destinationFolder);
    if (std::uint32_t code = packager.initializeComponents(bundle); code != 0) return code;
    const OnScopeExit removeWorkspace([&] { packager.deleteComponents(); });
    packager.setDestFileName(delivery->package.filename().string());

    // A step that cannot write what the book needs ends the run: a book
    // missing a part is not delivered, and the destination stays as it was.
    if (!packager.createEPubStructure() || !packager.copyResources(options) || !packager.createBookCover(options) ||
        !packager.createTableOfContents(options.epubVersion) || !packager.createContentOPF(options))
        return kCannotCreateWorkspace;
    if (!packager.generateEpubFile()) return kDestinationNotWritable;
    delivery->folder.keep();
    return EBOOKPACKAGER_OK;
}

}  // namespace packager
