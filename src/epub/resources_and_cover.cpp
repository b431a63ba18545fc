// Fills the book's OEBPS folder with what the export already holds: images,
// reflow pages, style sheets, and a cover page and image (the export's own or
// the library's templates).
#include <array>

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/image/image_utility.h"
#include "epub/epub_packager.h"
#include "epub/page_viewport.h"
#include "epub/workspace_copy.h"

namespace packager {

namespace {

// The host's publishing module keeps its table-of-contents style sheet here,
// relative to the library's bundle folder.
constexpr std::string_view kHostTocStyleSheet = "../../../../Inkfold/Templates/css/toc.css";

constexpr std::array<std::string_view, 3> kCoverImageNames = {"cover.jpg", "cover.gif", "cover.png"};

}  // namespace

// The first of the cover image names that exists in `imagesFolder`; the last
// one when none does.
std::string coverImageName(const fs::path& imagesFolder) {
    for (std::string_view name : kCoverImageNames)
        if (name == kCoverImageNames.back() || exists(imagesFolder / name)) return std::string(name);
    return std::string(kCoverImageNames.back());
}

bool EpubPackager::copyResources(const EpubOptions& options) {
    const fs::path target = oebpsDir();
    const fs::path exportedImages = sourceDir_ / "OEBPS" / "images";
    if (!EpubPackagerFileUtility::createDirectoryAtPath(target / "images") ||
        (isFolder(exportedImages) && !placeTree(exportedImages, target / "images")))
        return false;

    for (const fs::path& entry : listFolder(sourceDir_ / "OEBPS")) {
        const std::string name = entry.filename().string();
        const fs::path source = sourceDir_ / "OEBPS" / name;
        if (isFlowPageName(name)) {
            // Every page is pointed at its media, as a page naming files the
            // book does not hold is broken; a fixed-layout page also states its size.
            if (!placeIfEligible(source, target / name) || !updateInteractiveAssetsInFileAtPath(target / name))
                return false;
            if (options.fixedLayout != 0 && !addViewportIfMissing(target / name, options.pageWidth, options.pageHeight))
                return false;
        } else if (entry.extension() == ".css" && !placeIfEligible(source, target / name)) {
            return false;
        }
    }
    return placeIfEligible(appDir_ / kHostTocStyleSheet, target / "toc.css");
}

bool EpubPackager::createBookCover(const EpubOptions& options) {
    const fs::path target = oebpsDir();
    const fs::path exportedPage = sourceDir_ / "OEBPS" / "cover.xhtml";
    const fs::path page = target / "cover.xhtml";
    if (!placeIfEligible(exists(exportedPage) ? exportedPage : templatesDir_ / "ePub" / "cover.xhtml", page))
        return false;
    if (options.fixedLayout != 0 && !addViewportIfMissing(page, options.pageWidth, options.pageHeight)) return false;

    const fs::path exportedImages = sourceDir_ / "OEBPS" / "images";
    const std::string name = coverImageName(exportedImages);
    if (exists(exportedImages / name) && EpubPackagerImageUtility::isImageFile(exportedImages / name))
        return placeIfEligible(exportedImages / name, target / "images" / name);
    return EpubPackagerFileUtility::createDirectoryAtPath(target / "images") &&
           placeIfEligible(templatesDir_ / "ePub" / "cover.png", target / "images" / "cover.png");
}

}  // namespace packager
