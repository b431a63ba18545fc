#include "epub/epub_run.h"

#include <algorithm>
#include <cctype>

#include "common/on_scope_exit.h"
#include "common/file/file_io.h"
#include "common/file/writable_folder.h"
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
constexpr std::uint32_t kReflowFolderMissing = EBOOKPACKAGER_REFLOW_FOLDER_MISSING;
constexpr std::uint32_t kReflowFilesMissing = EBOOKPACKAGER_REFLOW_FILES_MISSING;

std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The destination with ".epub" appended unless the part after the last dot of
// its last component is exactly "epub" ("out/" becomes "out/.epub").
std::string withEpubExtension(std::string destination) {
    const std::string name = destination.substr(destination.find_last_of('/') + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || name.substr(dot + 1) != "epub") destination += ".epub";
    return destination;
}

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

    // An empty destination names no file at all.
    if (destination.empty()) return kDestinationNotWritable;
    const std::string target = withEpubExtension(destination);
    const fs::path targetPath(target);
    const std::string destinationFolder = targetPath.parent_path().string();
    if (lowerCased(source) != lowerCased(target) && !isWritableFolder(destinationFolder))
        return kDestinationNotWritable;

    if (!isFolder(source)) return kSourceNotFolder;
    // A linked OEBPS would bring in a folder from anywhere: it counts as missing.
    if (!isPlainFolder(fs::path(source) / "OEBPS")) return kReflowFolderMissing;
    if (!hasFlowPage(fs::path(source) / "OEBPS")) return kReflowFilesMissing;

    EpubPackager packager = EpubPackager::initWithSource(source, destinationFolder);
    if (std::uint32_t code = packager.initializeComponents(bundle); code != 0) return code;
    const OnScopeExit removeWorkspace([&] { packager.deleteComponents(); });
    packager.setDestFileName(targetPath.filename().string());

    packager.createEPubStructure();
    packager.copyResources(options);
    packager.createBookCover();
    packager.createTableOfContents(options.epubVersion);
    packager.createContentOPF(options);
    packager.generateEpubFile();
    return EBOOKPACKAGER_OK;
}

}  // namespace packager
