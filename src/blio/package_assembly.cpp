#include <charconv>

#include "blio/blio_steps.h"
#include "blio/page_number_map.h"
#include "common/file/file_identity.h"
#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/image/image_utility.h"
#include "ebookpackager.h"
#include "xps/xps_utility.h"

namespace packager {

namespace {

using Files = EpubPackagerFileUtility;

// JPEG quality of the images made from the XPS file's TIFF images.
constexpr float kImageCompressionLevel = 0.7f;
constexpr double kDefaultSpineDepth = 1.0;
constexpr std::string_view kSpineDepthPlaceholder = "#SPINEDEPTH#";

constexpr std::string_view kThumbnailEntry = "Documents/1/Metadata/";
// Always declared, for the KNFB files, art and thumbnails.
constexpr std::string_view kFixedFileTypes[] = {"xml", "jpg", "jpeg", "png"};

// The shortest text that reads back as the same number: 1 for 1.0, 0.25 for 0.25.
std::string shortestText(double number) {
    char digits[32];
    auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    return std::string(digits, end);
}

// The spine's thickness as the reader expects it, from the spine art when the
// export has some.
std::string spineDepthText(const fs::path& sourceDir) {
    const fs::path spineArt = sourceDir / "SpineArt.jpg";
    return shortestText(exists(spineArt) ? EpubPackagerImageUtility::getImageWidth(spineArt) : kDefaultSpineDepth);
}

void addIfPresent(XpsUtility& xps, const fs::path& file, const std::string& entryName) {
    if (isPlainFile(file)) xps.addFile(file, entryName);
}

void addFlow(XpsUtility& xps, const fs::path& flow) {
    for (const fs::path& relative : walkFolder(flow)) {
        const fs::path file = flow / relative;
        if (!isFolder(file)) xps.addFile(file, std::string(kKnfbEntry) + "/Flow/" + relative.generic_string());
    }
}

// The files collectAssets placed in the staging tree, which mirrors the
// package's entries, with their extensions declared.
void addEnhancedContent(XpsUtility& xps, const fs::path& staging, const fs::path& enhancedContent) {
    for (const fs::path& relative : walkFolder(enhancedContent)) {
        const fs::path file = enhancedContent / relative;
        if (isFolder(file)) continue;
        xps.addStagedFile(file.lexically_relative(staging).generic_string());
        const std::string extension = relative.extension().string();
        if (!extension.empty()) xps.registerFileType(extension.substr(1));
    }
}

// Stages the page thumbnails and answers how many there are.
std::size_t addThumbnails(XpsUtility& xps, const fs::path& thumbnails) {
    std::size_t count = 0;
    for (const fs::path& entry : listFolder(thumbnails)) {
        if (!isPlainFile(entry) || !EpubPackagerImageUtility::isImageFile(entry)) continue;
        xps.addFile(entry, std::string(kThumbnailEntry) + entry.filename().string());
        ++count;
    }
    return count;
}

}  // namespace

std::uint32_t embedDataInBlioPackage(const BlioExport& source, const BlioPlaces& places, const fs::path& package) {
    XpsUtility xps = XpsUtility::initWithXpsFile(source.xpsFile, kImageCompressionLevel,
                                                 {places.staging(), std::string(kKnfbEntry)});
    Files::createDirectoryAtPath(places.knfb());

    // The spine depth goes into a copy in the workspace; the export's own file
    // (never one reached through a link) gets the same edit only once the
    // package is updated, so a failed run leaves the export as it was.
    const fs::path metadata = source.folder / "Metadata.xml";
    const fs::path filledMetadata = places.root / "Metadata.xml";
    const bool hasMetadata = isPlainFile(metadata) && copyFileAtomically(metadata, filledMetadata);
    const std::string spineDepth = hasMetadata ? spineDepthText(source.folder) : std::string();
    if (hasMetadata) Files::replaceInFile(filledMetadata, kSpineDepthPlaceholder, spineDepth);

    const std::string knfb = std::string(kKnfbEntry) + "/";
    addIfPresent(xps, source.folder / "TableOfContents.xml", knfb + "TableOfContents.xml");
    if (hasMetadata) xps.addFile(filledMetadata, knfb + "Metadata.xml");
    addEnhancedContent(xps, places.staging(), places.enhancedContent());
    addIfPresent(xps, places.root / "OverlayContent.xml", knfb + "EnhancedContent/OverlayContent.xml");
    addIfPresent(xps, places.root / "VideoContent.xml", knfb + "EnhancedContent/VideoContent.xml");
    addFlow(xps, source.folder / "Flow");
    for (std::string_view art : {"CoverArt.jpg", "BackArt.jpg", "SpineArt.jpg"})
        addIfPresent(xps, source.folder / art, knfb + std::string(art));

    const fs::path thumbnails = source.folder / "Thumbnails";
    if (isPlainFolder(thumbnails)) {  // a linked folder could hold any of the user's images
        Files::createDirectoryAtPath(places.staging() / kThumbnailEntry);
        const fs::path pageNumbers = places.root / "PageNumbers.xml";
        if (const std::size_t pages = addThumbnails(xps, thumbnails); pages > 0) {
            Files::remove(pageNumbers);
            // Without its page-number map the enhanced content is incomplete.
            if (!writePageNumberMap(pageNumbers, pages)) return EBOOKPACKAGER_CANNOT_MODIFY_PACKAGE;
            xps.addFile(pageNumbers, knfb + "PageNumbers.xml");
        }
    }
    for (std::string_view type : kFixedFileTypes) xps.registerFileType(std::string(type));

    // An XPS file that was not updated, or updated without every file staged
    // above (addFile() failures make it refuse), is not the package asked for.
    if (!xps.compressXps()) return EBOOKPACKAGER_CANNOT_MODIFY_PACKAGE;
    if (hasMetadata) Files::replaceInFile(metadata, kSpineDepthPlaceholder, spineDepth);
    if (isSameFileSystemObject(source.xpsFile, package) || copyFileAtomically(source.xpsFile, package))
        return EBOOKPACKAGER_OK;
    return EBOOKPACKAGER_DESTINATION_NOT_WRITABLE;
}

}  // namespace packager
