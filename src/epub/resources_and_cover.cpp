// Fills the book's OEBPS folder with what the export already holds: images,
// reflow pages, style sheets, and a cover page and image (the export's own or
// the library's templates).
#include <array>

#include "common/file/file_io.h"
#include "common/file/file_utility.h"
#include "common/image/image_utility.h"
#include "epub/epub_packager.h"
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

void EpubPackager::copyResources(const EpubOptions& options) {
    const fs::path target = oebpsDir();
    const fs::path images = target / "images";
    if (!isFolder(images)) EpubPackagerFileUtility::createDirectoryAtPath(images);
    placeTree(sourceDir_ / "OEBPS" / "images", images);

    for (const fs::path& entry : listFolder(sourceDir_ / "OEBPS")) {
        const std::string name = entry.filename().string();
        const fs::path source = sourceDir_ / "OEBPS" / name;
        if (isFlowPageName(name)) {
            // Only reflowable pages are re-pointed at their media: a fixed-layout
            // page is delivered as the host laid it out.
            if (placeFile(source, target / name) && options.fixedLayout == 0)
                updateInteractiveAssetsInFileAtPath(target / name);
        } else if (entry.extension() == ".css") {
            placeFile(source, target / name);
        }
    }

    if (const fs::path styleSheet = appDir_ / kHostTocStyleSheet; exists(styleSheet))
        placeFile(styleSheet, target / "toc.css");
}

void EpubPackager::createBookCover() {
    const fs::path target = oebpsDir();
    const fs::path exportedPage = sourceDir_ / "OEBPS" / "cover.xhtml";
    placeFile(exists(exportedPage) ? exportedPage : templatesDir_ / "ePub" / "cover.xhtml", target / "cover.xhtml");

    const fs::path exportedImages = sourceDir_ / "OEBPS" / "images";
    const std::string name = coverImageName(exportedImages);
    const fs::path exportedCover = exportedImages / name;
    // placeFile judges the file alone, and a linked images folder is no part of the export.
    if (isPlainFolder(exportedImages) && isPlainFile(exportedCover) &&
        EpubPackagerImageUtility::isImageFile(exportedCover)) {
        placeFile(exportedCover, target / "images" / name);
        return;
    }
    EpubPackagerFileUtility::createDirectoryAtPath(target / "images");
    placeFile(templatesDir_ / "ePub" / "cover.png", target / "images" / "cover.png");
}

}  // namespace packager
